// The leaderboard as a page: plain HTML that reads without JavaScript and fits a phone's
// width. No sender (a phone number) is ever on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/message_store.h"

namespace brindle::service::web {

// Appends `bytes` for HTML text or a quoted attribute value: each byte as the character of the
// same code (Latin-1 to UTF-8), with & < > " ' as character references.
void AppendHtmlText(std::string& out, std::string_view bytes);
// The same for text that is UTF-8 already (a game's name).
void AppendHtmlUtf8(std::string& out, std::string_view text);

// The page for `games`. `gameId` set: one game's page, which says so when it has no scores
// yet. `events` is the event stream the page's script follows to notice new scores.
std::string RenderBoardPage(const std::vector<GameLeaderboard>& games,
                            std::optional<std::int64_t> gameId, std::string_view events);

// The script the pages load: follows the board's event stream and, when a board arrives that
// differs from the last, takes the new board from the page's own address, without reloading
// the page.
std::string_view LiveScript();

}  // namespace brindle::service::web
