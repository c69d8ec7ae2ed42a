#include "tools/web/scores_json.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "base/utf8.h"

namespace brindle::tools {

std::string ScoresJson(const std::vector<service::GameLeaderboard>& games, Senders senders) {
  using Json = nlohmann::ordered_json;
  Json list = Json::array();
  for (const service::GameLeaderboard& game : games) {
    Json entries = Json::array();
    for (const service::LeaderboardEntry& entry : game.entries) {
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
    item["entries"] = std::move(entries);
    list.push_back(std::move(item));
  }
  Json all;
  all["games"] = std::move(list);
  return all.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace brindle::tools
