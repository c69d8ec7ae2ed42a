// What the pages and the API take from a request: game ids, row counts, and the API's query
// text, read whole. Anything that is not exactly one of these is refused, never guessed at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "service/message_store.h"

namespace brindle::service::web {

// Rows per game on the front page, and the most any page or API call shows.
inline constexpr std::int64_t kFrontPageTop = 10;
inline constexpr std::int64_t kMaxTop = 100;

// A game id as games send it: a decimal 32-bit signed number, nothing around it.
std::optional<std::int64_t> ParseGameId(std::string_view text);
// Rows per game: a decimal number from 1 to kMaxTop.
std::optional<std::int64_t> ParseTop(std::string_view text);

// The API's query text (what follows the target's first '?'): `game` (optional) and `top`
// (kFrontPageTop when not given), each at most once. Items are split at '&' and each at its
// first '=' only, so a value is read whole; names and values are percent-decoded. False with
// `why` for anything else.
bool ReadLeaderboardQuery(std::string_view text, LeaderboardQuery& query, std::string& why);

// Whether an If-None-Match header (a list of entity tags, or "*") names `tag`: weak
// comparison, as that header asks, so W/"x" names "x".
bool NamesTag(std::string_view ifNoneMatch, std::string_view tag);

}  // namespace brindle::service::web
