#include "dialog/terminal/keys.h"

#include <curses.h>
#include <gtest/gtest.h>

#include <tuple>

namespace brindle::terminal {
namespace {

// The codes terminals differ in, and the characters a box cannot take.
TEST(Keys, VariantsMapToOneActionAndOnlyCharactersABoxHoldsAreTyped) {
  using K = KeyAction;
  const std::tuple<bool, std::uint32_t, KeyAction, char16_t> rows[] = {
      {false, '\r', K::kEnter, 0},          {false, '\n', K::kEnter, 0},
      {true, KEY_ENTER, K::kEnter, 0},      {false, 0x7F, K::kBackspace, 0},
      {false, 0x08, K::kBackspace, 0},      {true, KEY_BACKSPACE, K::kBackspace, 0},
      {false, 0x1B, K::kCancel, 0},         {true, KEY_BTAB, K::kPreviousControl, 0},
      {false, ' ', K::kSpace, u' '},        {false, 0xE9, K::kType, u'\u00E9'},
      {false, 0x20AC, K::kType, u'\u20AC'}, {false, 0x1F600, K::kNone, 0},
      {false, 0x01, K::kNone, 0},           {true, KEY_F(1), K::kNone, 0}};
  for (const auto& [functionKey, code, action, character] : rows) {
    const KeyEvent event = MapKey(functionKey, code);
    EXPECT_EQ(std::tie(event.action, event.character), std::tie(action, character)) << code;
  }
}

}  // namespace
}  // namespace brindle::terminal
