#include "service/web/html_page.h"

#include <string>

#include "base/utf8.h"

namespace brindle::service::web {
namespace {

// Laid out at the device's width; the handle column takes what is left and breaks long
// handles, so nothing scrolls sideways on a narrow phone.
constexpr std::string_view kStyle = R"css(
:root{color-scheme:light dark;--line:#8884}
body{font:16px/1.4 system-ui,sans-serif;margin:0 auto;padding:12px;max-width:44rem}
h1{font-size:1.4rem;margin:.2rem 0 1rem}
h2{font-size:1.1rem;margin:1.4rem 0 .4rem}
a{color:inherit}
table{width:100%;border-collapse:collapse;table-layout:fixed}
th,td{padding:.35rem .3rem;border-bottom:1px solid var(--line);text-align:left;vertical-align:top}
th{font-size:.8rem;text-transform:uppercase;letter-spacing:.04em;opacity:.7}
.rank{width:2rem}
.handle{overflow-wrap:anywhere}
.score{width:5rem;text-align:right;font-variant-numeric:tabular-nums}
.sent{width:6rem;padding-left:.6rem}
.empty{opacity:.7}
@media (min-width:34rem){.sent{width:10.5rem}}
@media (max-width:33.99rem){.time{display:none}}
)css";

// & < > " ' as character references; each other byte as it is, or (latin1) as the character
// of its code.
void AppendEscaped(std::string& out, std::string_view bytes, bool latin1) {
  for (const char c : bytes) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (latin1) {
          AppendLatin1(out, std::string_view(&c, 1));
        } else {
          out += c;
        }
    }
  }
}

void AppendNumber(std::string& out, std::int64_t value) { out += std::to_string(value); }

// "2026-12-06T21:15:03+01:00" shows as the date, and the time of day where there is room;
// the full stamp is the element's datetime.
void AppendSentAt(std::string& out, std::string_view sentAt) {
  out += "<time datetime=\"";
  AppendHtmlText(out, sentAt);
  out += "\">";
  constexpr std::size_t kDate = 10;
  constexpr std::size_t kMinute = 16;
  if (sentAt.size() >= kMinute && sentAt[kDate] == 'T') {
    AppendHtmlText(out, sentAt.substr(0, kDate));
    out += "<span class=\"time\"> ";
    AppendHtmlText(out, sentAt.substr(kDate + 1, kMinute - kDate - 1));
    out += "</span>";
  } else {
    AppendHtmlText(out, sentAt);
  }
  out += "</time>";
}

// "Game 42", or the name the operator gave it.
void AppendGameTitle(std::string& out, std::int64_t gameId, std::string_view name) {
  if (name.empty()) {
    out += "Game " + std::to_string(gameId);
  } else {
    AppendHtmlUtf8(out, name);
  }
}

void AppendGame(std::string& out, const GameLeaderboard& game, bool linkTitle) {
  out += "<section>\n<h2 id=\"game-";
  AppendNumber(out, game.gameId);
  out += "\">";
  if (linkTitle) {
    out += "<a href=\"/games/";
    AppendNumber(out, game.gameId);
    out += "\">";
  }
  AppendGameTitle(out, game.gameId, game.gameName);
  if (linkTitle) {
    out += "</a>";
  }
  out +=
      "</h2>\n<table>\n<thead><tr><th class=\"rank\">#</th><th class=\"handle\">Player</th>"
      "<th class=\"score\">Score</th><th class=\"sent\">Sent</th></tr></thead>\n<tbody>\n";
  for (const LeaderboardEntry& entry : game.entries) {
    out += "<tr><td class=\"rank\">";
    AppendNumber(out, entry.rank);
    out += R"(</td><td class="handle" title=")";
    AppendHtmlText(out, entry.handle);
    out += "\">";
    AppendHtmlText(out, entry.handle);
    out += "</td><td class=\"score\">";
    AppendNumber(out, entry.score);
    out += "</td><td class=\"sent\">";
    AppendSentAt(out, entry.sentAt);
    out += "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n</section>\n";
}

}  // namespace

void AppendHtmlText(std::string& out, std::string_view bytes) { AppendEscaped(out, bytes, true); }

void AppendHtmlUtf8(std::string& out, std::string_view text) { AppendEscaped(out, text, false); }

std::string RenderBoardPage(const std::vector<GameLeaderboard>& games,
                            std::optional<std::int64_t> gameId, std::string_view events) {
  std::string title;
  if (gameId) {
    AppendGameTitle(title, *gameId, games.empty() ? std::string_view() : games[0].gameName);
    title += " leaderboard";
  } else {
    title = "Leaderboard";
  }
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  out += title;
  out += "</title>\n<style>";
  out += kStyle;
  out += "</style>\n<script src=\"/live.js\" defer></script>\n</head>\n<body>\n";
  if (gameId) {
    out += "<p><a href=\"/\">All games</a></p>\n";
  }
  out += "<h1>" + title + "</h1>\n<main id=\"board\" data-events=\"";
  AppendHtmlText(out, events);
  out += "\">\n";
  for (const GameLeaderboard& game : games) {
    AppendGame(out, game, !gameId);
  }
  if (games.empty()) {
    out += "<p class=\"empty\">No scores yet.</p>\n";
  }
  out += "</main>\n</body>\n</html>\n";
  return out;
}

std::string_view LiveScript() {
  return R"js("use strict";
(function () {
  var board = document.getElementById("board");
  if (!board || !window.EventSource || !window.fetch || !window.DOMParser) return;
  var seen = null;
  var shown = Promise.resolve();  // one page read at a time, in the order the boards came
  // The page is asked for again only when the board it shows has changed; a 304 when not.
  function refresh() {
    return fetch(location.pathname, {cache: "no-cache"}).then(function (response) {
      if (!response.ok) throw new Error(response.status);
      return response.text();
    }).then(function (html) {
      var fresh = new DOMParser().parseFromString(html, "text/html").getElementById("board");
      if (fresh) board.replaceChildren.apply(board, Array.from(fresh.childNodes));
    });
  }
  new EventSource(board.dataset.events).addEventListener("scores", function (event) {
    if (event.data === seen) return;
    seen = event.data;
    shown = shown.then(refresh).catch(function () { seen = null; });
  });
})();
)js";
}

}  // namespace brindle::service::web
