// The web server's parts at the lowest level: what a request may ask for (game ids, row counts,
// the API's query text) and the page's text (escaping, where each value lands, no sender on it).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/web/html_page.h"
#include "service/web/request_parameters.h"

namespace brindle::service::web {
namespace {

// Each text with what it reads as a game id and as a row count; none: refused.
TEST(Parameters, GameIdsAreThe32BitNumbersAndTopRunsFromOneToAHundred) {
  constexpr std::nullopt_t kNone = std::nullopt;
  const std::tuple<const char*, std::optional<std::int64_t>, std::optional<std::int64_t>> cases[] =
      {{"0", 0, kNone},
       {"1", 1, 1},
       {"100", 100, 100},
       {"101", 101, kNone},
       {"-7", -7, kNone},
       {"2147483647", 2147483647, kNone},
       {"-2147483648", -2147483648LL, kNone},
       {"2147483648", kNone, kNone},
       {"-2147483649", kNone, kNone},
       {"99999999999999999999", kNone, kNone},
       {"", kNone, kNone},
       {"-", kNone, kNone},
       {"+7", kNone, kNone},
       {" 7", kNone, kNone},
       {"7x", kNone, kNone},
       {"ten", kNone, kNone}};
  for (const auto& [text, game, top] : cases) {
    EXPECT_EQ(ParseGameId(text), game) << text;
    EXPECT_EQ(ParseTop(text), top) << text;
  }
}

TEST(Parameters, QueryTextIsReadWhole) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> game;  // what is read, when it is not refused
    std::int64_t top;
    const char* refusal;  // the start of `why`; nullptr: read
  };
  const std::vector<Case> cases = {
      {"", std::nullopt, 10, nullptr},
      {"game=7", 7, 10, nullptr},
      {"top=3&game=-3", -3, 3, nullptr},
      {"%67ame=%37&top=1%32", 7, 12, nullptr},
      {"game=7&", 7, 10, nullptr},
      {"game=42%20OR%201=1", std::nullopt, 0, "game must be"},
      {"game=42=1", std::nullopt, 0, "game must be"},
      {"game==7", std::nullopt, 0, "game must be"},
      {"game=7+", std::nullopt, 0, "game must be"},
      {"game", std::nullopt, 0, "game must be"},
      {"game=", std::nullopt, 0, "game must be"},
      {"top=5=5", std::nullopt, 0, "top must be"},
      {"top=%35%", std::nullopt, 0, "malformed"},
      {"game=%3x", std::nullopt, 0, "malformed"},
      {"game=1&game=1", std::nullopt, 0, "parameter 'game' given more than once"},
      {"top=1&top=2", std::nullopt, 0, "parameter 'top' given more than once"},
      {"game=1&&top=2", std::nullopt, 0, "unknown parameter ''"},
      {"Game=1", std::nullopt, 0, "unknown parameter 'Game'"},
      {"game%3D7", std::nullopt, 0, "unknown parameter 'game=7'"},
  };
  for (const Case& c : cases) {
    LeaderboardQuery query;
    std::string why;
    const bool read = ReadLeaderboardQuery(c.text, query, why);
    if (c.refusal == nullptr) {
      ASSERT_TRUE(read) << c.text << ": " << why;
      EXPECT_EQ(query.gameId, c.game) << c.text;
      EXPECT_EQ(query.top, c.top) << c.text;
    } else {
      EXPECT_FALSE(read) << c.text;
      EXPECT_TRUE(why.starts_with(c.refusal)) << c.text << ": " << why;
    }
  }
}

TEST(Parameters, IfNoneMatchNamesATagInItsList) {
  const std::pair<const char*, bool> cases[] = {
      {R"("a1")", true}, {R"(W/"a1")", true},    {R"("b", "a1")", true}, {R"( "b" ,W/"a1" )", true},
      {"*", true},       {R"("a")", false},      {R"("a1-")", false},    {"a1", false},
      {"", false},       {R"("b",,"c")", false},
  };
  for (const auto& [header, names] : cases) {
    EXPECT_EQ(NamesTag(header, R"("a1")"), names) << header;
  }
}

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
        {2, "Ann", -5, "+447700900124", "<b>\"&'"}},
       ""},
      {9,
       {{1, "Bob", 7, "+15550100", "2026-12-07T08:00:00Z"},
        {2, "Cy", 6, "+15550101", "2026-12-07T<i>&'\"</i>"}},
       "Z\xC3\xBCrich <b>"}};  // a name is UTF-8 already
  const std::string all = RenderBoardPage(games, std::nullopt, "/api/events?top=10");
  for (const char* part : {
           R"(<meta name="viewport" content="width=device-width, initial-scale=1">)",
           R"(<main id="board" data-events="/api/events?top=10">)",
           "<a href=\"/games/-3\">Game -3</a>",
           "<a href=\"/games/9\">Z\xC3\xBCrich &lt;b&gt;</a>",
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
  EXPECT_LT(all.find("Game -3"), all.find("Z\xC3\xBCrich"));
  EXPECT_EQ(all.find("No scores yet."), std::string::npos);
  for (const GameLeaderboard& game : games) {
    for (const LeaderboardEntry& entry : game.entries) {
      EXPECT_EQ(all.find(entry.sender.substr(1)), std::string::npos) << "senders stay off the page";
    }
  }

  const std::string one = RenderBoardPage({}, std::int64_t{5}, "/api/events?game=5&top=100");
  EXPECT_NE(one.find("<title>Game 5 leaderboard</title>"), std::string::npos);
  EXPECT_NE(one.find("data-events=\"/api/events?game=5&amp;top=100\""), std::string::npos);
  EXPECT_NE(one.find("No scores yet."), std::string::npos);
  EXPECT_NE(one.find("<a href=\"/\">"), std::string::npos);
}

}  // namespace
}  // namespace brindle::service::web
