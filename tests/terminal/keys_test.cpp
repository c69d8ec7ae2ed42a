#include "dialog/terminal/keys.h"

#include <curses.h>
#include <gtest/gtest.h>

namespace brindle::terminal {
namespace {

struct KeyCase {
  bool functionKey;
  std::uint32_t code;
  KeyAction action;
  char16_t character;
};

class KeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTest, MapsToItsAction) {
  const KeyCase& c = GetParam();
  const KeyEvent event = MapKey(c.functionKey, c.code);
  EXPECT_EQ(event.action, c.action);
  EXPECT_EQ(event.character, c.character);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTest,
    ::testing::Values(
        KeyCase{false, '\t', KeyAction::kNextControl, 0},
        KeyCase{true, KEY_BTAB, KeyAction::kPreviousControl, 0},
        KeyCase{false, '\r', KeyAction::kEnter, 0}, KeyCase{false, '\n', KeyAction::kEnter, 0},
        KeyCase{true, KEY_ENTER, KeyAction::kEnter, 0}, KeyCase{false, 0x1B, KeyAction::kCancel, 0},
        KeyCase{false, ' ', KeyAction::kSpace, u' '}, KeyCase{false, 'a', KeyAction::kType, u'a'},
        KeyCase{false, 0xE9, KeyAction::kType, u'\u00E9'},
        KeyCase{false, 0x20AC, KeyAction::kType, u'\u20AC'},
        KeyCase{false, 0x1F600, KeyAction::kNone, 0}, KeyCase{false, 0x01, KeyAction::kNone, 0},
        KeyCase{false, 0x7F, KeyAction::kBackspace, 0},
        KeyCase{false, 0x08, KeyAction::kBackspace, 0},
        KeyCase{true, KEY_BACKSPACE, KeyAction::kBackspace, 0},
        KeyCase{true, KEY_DC, KeyAction::kDelete, 0}, KeyCase{true, KEY_LEFT, KeyAction::kLeft, 0},
        KeyCase{true, KEY_RIGHT, KeyAction::kRight, 0},
        KeyCase{true, KEY_HOME, KeyAction::kHome, 0}, KeyCase{true, KEY_END, KeyAction::kEnd, 0},
        KeyCase{true, KEY_RESIZE, KeyAction::kResize, 0},
        KeyCase{true, KEY_F(1), KeyAction::kNone, 0}));

}  // namespace
}  // namespace brindle::terminal
