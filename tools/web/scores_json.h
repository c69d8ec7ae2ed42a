// The leaderboard as JSON, one text for `brindle scores --json` and the web API.
#pragma once

#include <string>
#include <vector>

#include "service/message_store.h"

namespace brindle::tools {

// {"games": [{"gameId": N, "entries": [{"rank", "handle", "score", "sender", "sentAt"}]}]} on
// one line, without a line end; handles as the characters of their bytes' codes.
std::string ScoresJson(const std::vector<service::GameLeaderboard>& games);

}  // namespace brindle::tools
