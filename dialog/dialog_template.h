// Template 129, IDD_SENDHIGHSCORE, as data: the one control table that the Windows resource
// and the terminal dialog are both checked against.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace brindle {

inline constexpr int IDD_SENDHIGHSCORE = 129;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_SEND = 1000;
inline constexpr int IDC_HANDLE = 1001;
inline constexpr int IDC_SCORE = 1002;
inline constexpr int IDC_RESULT = 1010;
inline constexpr int IDC_RESET = 1011;
inline constexpr int IDC_STATIC = 65535;
inline constexpr int IDC_SIPPREF = 19991;

inline constexpr std::uint32_t kHandleLimit = 16;
inline constexpr std::uint32_t kResultLimit = 256;

struct ControlTemplate {
  int id;
  std::u16string_view className;  // "EDIT", "BUTTON", "STATIC"
  std::u16string_view text;
  std::uint32_t style;
  std::int16_t x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
  std::uint32_t style;
  std::int16_t x, y, cx, cy;
  std::u16string_view title;
  std::u16string_view font;
  std::uint16_t pointSize;
  std::uint16_t language;
  std::span<const ControlTemplate> controls;  // in tab order
};

extern const DialogTemplate kHighscoreDialog;

}  // namespace brindle
