// The service's JSON, made here so that every reader of the store answers in the same words:
// `brindle scores --json`, the web API and `brindle messages --json`. Each text is one line
// without a line end, so it can stand as a line of output or, unchanged, as the data of a
// server-sent event. Handles and PDU texts are Latin-1 bytes, written as the characters
// of their codes; bytes of any other text that are not UTF-8 are replaced, so one bad row
// never costs the whole answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/message_store.h"

namespace brindle::service {

// Whether rows say who sent them: the operator's own view does, the public web API never (a
// sender is a phone number).
enum class Senders : std::uint8_t { kShown, kLeftOut };

// {"games": [{"gameId", "gameName", "entries": [{"rank", "handle", "score", "sender",
// "sentAt"}]}]}, "sender" only when shown; "gameName" null for a game without a name.
std::string ScoresJson(const std::vector<GameLeaderboard>& games, Senders senders);

// {"id", "status", "reason", "sender", "sentAt", "pdu", "received"}, then for a score
// "gameId", "fixed", "score", "handle" and "hidden" (who took it off the boards: "operator",
// "blocked sender", or null); an unknown text is null.
std::string MessageJson(const StoredMessage& stored);

}  // namespace brindle::service
