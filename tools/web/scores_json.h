// The leaderboard as JSON, one text for `brindle scores --json` and the web API.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/message_store.h"

namespace brindle::tools {

// Whether rows say who sent them: the operator's own view does, the public web API never (a
// sender is a phone number).
enum class Senders : std::uint8_t { kShown, kLeftOut };

// {"games": [{"gameId": N, "entries": [{"rank", "handle", "score", "sender", "sentAt"}]}]} on
// one line, without a line end, "sender" only when shown; handles as the characters of their
// bytes' codes.
std::string ScoresJson(const std::vector<service::GameLeaderboard>& games,
                       Senders senders = Senders::kShown);

}  // namespace brindle::tools
