// The page's text at the lowest level: escaping, where each value lands, no sender on it.
#include "service/web/html_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::service::web {
namespace {

TEST(HtmlText, EscapesMarkupAndWidensLatin1) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Ann", "Ann"},
      {"<script>", "&lt;script&gt;"},
      {"a\"b'c&d", "a&quot;b&#39;c&amp;d"},
      {"&amp;", "&amp;amp;"},
      {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},
      {"\x80\xFF", "\xC2\x80\xC3\xBF"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& [bytes, html] : cases) {
    std::string out = "x";
    AppendHtmlText(out, bytes);
    EXPECT_EQ(out, "x" + html) << bytes;
  }
}

TEST(BoardPage, EveryValueInItsPlaceAndEscaped) {
  const std::vector<GameLeaderboard> games = {
      {-3,
       {{1, "<b>\"x\"", 250, "+447700900123", "2026-12-06T21:15:03+01:00"},
        {2, "Ann", -5, "+447700900124", "<b>\"&'"}}},
      {9,
       {{1, "Bob", 7, "+15550100", "2026-12-07T08:00:00Z"},
        {2, "Cy", 6, "+15550101", "2026-12-07T<i>&'\"</i>"}}}};
  const std::string all = RenderBoardPage(games, std::nullopt, "/api/scores?top=10");
  for (const char* part : {
           R"(<meta name="viewport" content="width=device-width, initial-scale=1">)",
           R"(<main id="board" data-api="/api/scores?top=10">)",
           "<a href=\"/games/-3\">Game -3</a>",
           "<a href=\"/games/9\">Game 9</a>",
           "<td class=\"rank\">1</td><td class=\"handle\" title=\"&lt;b&gt;&quot;x&quot;\">"
           "&lt;b&gt;&quot;x&quot;</td><td class=\"score\">250</td>",
           "<time datetime=\"2026-12-06T21:15:03+01:00\">2026-12-06<span class=\"time\"> "
           "21:15</span></time>",
           "<td class=\"score\">-5</td>",
           "<time datetime=\"&lt;b&gt;&quot;&amp;&#39;\">&lt;b&gt;&quot;&amp;&#39;</time>",
           "<time datetime=\"2026-12-07T&lt;i&gt;&amp;&#39;&quot;&lt;/i&gt;\">2026-12-07"
           "<span class=\"time\"> &lt;i&gt;&amp;&#39;</span></time>",
       }) {
    EXPECT_NE(all.find(part), std::string::npos) << part;
  }
  EXPECT_LT(all.find("Game -3"), all.find("Game 9"));
  EXPECT_EQ(all.find("No scores yet."), std::string::npos);
  for (const GameLeaderboard& game : games) {
    for (const LeaderboardEntry& entry : game.entries) {
      EXPECT_EQ(all.find(entry.sender.substr(1)), std::string::npos) << "senders stay off the page";
    }
  }

  const std::string one = RenderBoardPage({}, std::int64_t{5}, "/api/scores?game=5&top=100");
  EXPECT_NE(one.find("<title>Game 5 leaderboard</title>"), std::string::npos);
  EXPECT_NE(one.find("data-api=\"/api/scores?game=5&amp;top=100\""), std::string::npos);
  EXPECT_NE(one.find("No scores yet."), std::string::npos);
  EXPECT_NE(one.find("<a href=\"/\">"), std::string::npos);
}

}  // namespace
}  // namespace brindle::service::web
