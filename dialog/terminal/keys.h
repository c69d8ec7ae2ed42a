// What a key means in the terminal dialog, apart from the screen: Tab order moves, Enter,
// Esc, and editing. Key codes are ncurses' (get_wch), passed in as plain numbers.
#pragma once

#include <cstdint>

namespace brindle::terminal {

enum class KeyAction {
  kNone,
  kNextControl,
  kPreviousControl,
  kEnter,   // the focused button, else the default button
  kCancel,  // Esc: IDCANCEL, as the dialog manager sends it
  kSpace,   // presses a focused button; typed into a box
  kType,
  kBackspace,
  kDelete,
  kLeft,
  kRight,
  kHome,
  kEnd,
  kResize,
};

struct KeyEvent {
  KeyAction action = KeyAction::kNone;
  char16_t character = 0;  // for kType and kSpace
};

// `isFunctionKey` is get_wch's KEY_CODE_YES; `code` its key.
KeyEvent MapKey(bool isFunctionKey, std::uint32_t code);

}  // namespace brindle::terminal
