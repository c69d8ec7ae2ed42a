#include "dialog/terminal/keys.h"

#include <curses.h>
#include <gtest/gtest.h>

namespace brindle::terminal {
namespace {

TEST(Keys, MapToTheirActions) {
  struct Row {
    bool functionKey;
    std::uint32_t code;
    KeyAction action;
    char16_t character;
  };
  const Row rows[] = {
      {false, '\t', KeyAction::kNextControl, 0},
      {true, KEY_BTAB, KeyAction::kPreviousControl, 0},
      {false, '\r', KeyAction::kEnter, 0},
      {false, '\n', KeyAction::kEnter, 0},
      {true, KEY_ENTER, KeyAction::kEnter, 0},
      {false, 0x1B, KeyAction::kCancel, 0},
      {false, ' ', KeyAction::kSpace, u' '},
      {false, 0xE9, KeyAction::kType, u'\u00E9'},
      {false, 0x20AC, KeyAction::kType, u'\u20AC'},
      {false, 0x1F600, KeyAction::kNone, 0},
      {false, 0x01, KeyAction::kNone, 0},
      {false, 0x7F, KeyAction::kBackspace, 0},
      {true, KEY_BACKSPACE, KeyAction::kBackspace, 0},
      {true, KEY_DC, KeyAction::kDelete, 0},
      {true, KEY_LEFT, KeyAction::kLeft, 0},
      {true, KEY_RIGHT, KeyAction::kRight, 0},
      {true, KEY_HOME, KeyAction::kHome, 0},
      {true, KEY_END, KeyAction::kEnd, 0},
      {true, KEY_RESIZE, KeyAction::kResize, 0},
      {true, KEY_F(1), KeyAction::kNone, 0},
  };
  for (const Row& row : rows) {
    const KeyEvent event = MapKey(row.functionKey, row.code);
    EXPECT_EQ(event.action, row.action) << row.code;
    EXPECT_EQ(event.character, row.character) << row.code;
  }
}

}  // namespace
}  // namespace brindle::terminal
