// What a request may ask for, at the lowest level: game ids, row counts, the API's query text.
#include "service/web/request_parameters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::service::web {
namespace {

TEST(Parameters, GameIdsAreThe32BitNumbers) {
  const std::vector<std::pair<const char*, std::optional<std::int64_t>>> cases = {
      {"0", 0},
      {"-7", -7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483648LL},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"+7", std::nullopt},
      {" 7", std::nullopt},
      {"7x", std::nullopt},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(ParseGameId(text), value) << text;
  }
}

TEST(Parameters, TopRunsFromOneToAHundred) {
  const std::vector<std::pair<const char*, std::optional<std::int64_t>>> cases = {
      {"1", 1},           {"100", 100},          {"0", std::nullopt}, {"101", std::nullopt},
      {"", std::nullopt}, {"ten", std::nullopt},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(ParseTop(text), value) << text;
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

}  // namespace
}  // namespace brindle::service::web
