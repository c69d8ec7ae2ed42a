#include "service/api_json.h"

#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

#include "base/utf8.h"

namespace brindle::service {
namespace {

using Json = nlohmann::ordered_json;  // keys in the order they are written

std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json TextOrNull(std::string_view text) {
  return text.empty() ? Json(nullptr) : Json(Latin1ToUtf8(text));
}

}  // namespace

std::string ScoresJson(const std::vector<GameLeaderboard>& games, Senders senders) {
  Json list = Json::array();
  for (const GameLeaderboard& game : games) {
    Json entries = Json::array();
    for (const LeaderboardEntry& entry : game.entries) {
      Json row;
      row["rank"] = entry.rank;
      row["handle"] = Latin1ToUtf8(entry.handle);
      row["score"] = entry.score;
      if (senders == Senders::kShown) {
        row["sender"] = entry.sender;
      }
      row["sentAt"] = entry.sentAt;
      entries.push_back(std::move(row));
    }
    Json item;
    item["gameId"] = game.gameId;
    item["gameName"] = game.gameName.empty() ? Json(nullptr) : Json(game.gameName);
    item["entries"] = std::move(entries);
    list.push_back(std::move(item));
  }
  Json all;
  all["games"] = std::move(list);
  return Dump(all);
}

std::string MessageJson(const StoredMessage& stored) {
  const Message& m = stored.message;
  const bool score = m.status == MessageStatus::kScore;
  Json line;
  line["id"] = stored.id;
  line["status"] = score ? "score" : "rejected";
  line["reason"] = score ? Json(nullptr) : Json(m.reason);
  line["sender"] = TextOrNull(m.sender);
  line["sentAt"] = TextOrNull(m.sentAt);
  line["pdu"] = Latin1ToUtf8(m.pdu);
  line["received"] = TextOrNull(m.received);
  if (score) {
    line["gameId"] = m.gameId;
    line["fixed"] = m.fixed;
    line["score"] = m.score;
    line["handle"] = Latin1ToUtf8(m.handle);
    line["hidden"] = TextOrNull(stored.hiddenBy);
  }
  return Dump(line);
}

}  // namespace brindle::service
