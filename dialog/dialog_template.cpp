#include "dialog/dialog_template.h"

#include <array>

namespace brindle {
namespace {

constexpr std::array<ControlTemplate, 11> kControls = {{
    {IDC_HANDLE, u"EDIT", u"", 0x50810080, 58, 13, 66, 12},
    {IDC_SCORE, u"EDIT", u"", 0x58810080, 58, 40, 66, 12},
    {IDOK, u"BUTTON", u"OK", 0x40010000, 81, 0, 50, 14},
    {IDC_SEND, u"BUTTON", u"Send SMS", 0x50010001, 15, 88, 50, 14},
    {IDCANCEL, u"BUTTON", u"Cancel", 0x50014000, 70, 88, 50, 14},
    {IDC_RESULT, u"EDIT", u"", 0x50810044, 6, 63, 125, 24},
    {IDC_STATIC, u"STATIC", u"Score", 0x50020000, 24, 42, 19, 8},
    {IDC_STATIC, u"BUTTON", u"Result", 0x50004007, 6, 31, 125, 27},
    {IDC_STATIC, u"STATIC", u"Handle", 0x50020000, 24, 15, 23, 8},
    {IDC_STATIC, u"BUTTON", u"Player", 0x50004007, 6, 3, 125, 28},
    {IDC_RESET, u"BUTTON", u"Reset", 0x40010000, 58, 0, 50, 14},
}};

}  // namespace

const DialogTemplate kHighscoreDialog = {
    0x90C800C0, 0, 0, 137, 126, u"Send highscore", u"System", 8, 1033, kControls,
};

}  // namespace brindle
