#include "dialog/terminal/keys.h"

#include <curses.h>

namespace brindle::terminal {
namespace {

constexpr std::uint32_t kTab = 0x09;
constexpr std::uint32_t kCtrlH = 0x08;
constexpr std::uint32_t kLineFeed = 0x0A;
constexpr std::uint32_t kReturn = 0x0D;
constexpr std::uint32_t kEscape = 0x1B;
constexpr std::uint32_t kSpaceChar = 0x20;
constexpr std::uint32_t kDel = 0x7F;
constexpr std::uint32_t kFirstSurrogate = 0xD800;
constexpr std::uint32_t kLastSurrogate = 0xDFFF;
constexpr std::uint32_t kLastBmp = 0xFFFF;

KeyEvent MapFunctionKey(std::uint32_t code) {
  switch (static_cast<int>(code)) {
    case KEY_BTAB:
    case KEY_UP:
      return {KeyAction::kPreviousControl};
    case KEY_DOWN:
      return {KeyAction::kNextControl};
    case KEY_ENTER:
      return {KeyAction::kEnter};
    case KEY_BACKSPACE:
      return {KeyAction::kBackspace};
    case KEY_DC:
      return {KeyAction::kDelete};
    case KEY_LEFT:
      return {KeyAction::kLeft};
    case KEY_RIGHT:
      return {KeyAction::kRight};
    case KEY_HOME:
      return {KeyAction::kHome};
    case KEY_END:
      return {KeyAction::kEnd};
    case KEY_RESIZE:
      return {KeyAction::kResize};
    default:
      return {};
  }
}

}  // namespace

KeyEvent MapKey(bool isFunctionKey, std::uint32_t code) {
  if (isFunctionKey) {
    return MapFunctionKey(code);
  }
  switch (code) {
    case kTab:
      return {KeyAction::kNextControl};
    case kLineFeed:
    case kReturn:
      return {KeyAction::kEnter};
    case kEscape:
      return {KeyAction::kCancel};
    case kCtrlH:
    case kDel:
      return {KeyAction::kBackspace};
    case kSpaceChar:
      return {KeyAction::kSpace, u' '};
    default:
      break;
  }
  // Other control characters and what UTF-16 cannot hold in one unit are not typed.
  if (code < kSpaceChar || code > kLastBmp || (code >= kFirstSurrogate && code <= kLastSurrogate)) {
    return {};
  }
  return {KeyAction::kType, static_cast<char16_t>(code)};
}

}  // namespace brindle::terminal
