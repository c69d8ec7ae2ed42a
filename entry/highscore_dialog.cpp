#include "entry/highscore_dialog.h"

#include <array>

#include "base/decimal_text.h"
#include "base/text.h"
#include "dialog/dialog_template.h"
#include "entry/score_request.h"
#include "entry/send_high_score.h"

namespace brindle {

static_assert(kTitleCapacity >=
              std::u16string_view(u"Send  highscores").size() + (kGameNameCapacity - 1) + 1);

std::intptr_t HighscoreDlgProc(DialogWindow& dialog, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t /*lParam*/) {
  if (g_activeRequest == nullptr) {
    return 0;
  }
  switch (message) {
    case kWmInitDialog:
      g_activeRequest->InitDialog(dialog);
      // TRUE lets the dialog manager focus the first control that takes it, the handle box.
      return 1;
    case kWmCommand:
      return g_activeRequest->HandleCommand(dialog, message, wParam);
    default:
      return 0;
  }
}

int ScoreRequest::InitDialog(DialogWindow& window) {
  dialog = &window;
  window.LimitText(IDC_HANDLE, kHandleLimit);
  window.LimitText(IDC_RESULT, kResultLimit);
  window.SetItemText(IDC_HANDLE, FieldText(handle));
  std::array<char16_t, kDecimalCapacity> scoreText{};
  window.SetItemText(IDC_SCORE, FormatDecimal(score, scoreText));
  window.Repaint();

  std::array<char16_t, kTitleCapacity> title{};
  AppendText(u"Send ", title);
  AppendText(FieldText(gameName), title);
  AppendText(u" highscores", title);
  window.SetTitle(TerminatedView(std::span<const char16_t>(title)));
  return 1;
}

int ScoreRequest::HandleCommand(DialogWindow& window, std::uint32_t /*message*/,
                                std::uintptr_t wParam) {
  // The notification code in the high word is not looked at: Cancel, with its notify style,
  // ends the dialog whatever it reports.
  switch (static_cast<int>(wParam & 0xFFFFU)) {
    case IDOK:
      TransferText(true);
      window.End(0);
      return 1;
    case IDCANCEL:
      TransferText(true);
      window.End(-1);
      return 1;
    case IDC_SEND:
      TransferText(true);
      SendScore();
      return 1;
    default:
      return 0;
  }
}

}  // namespace brindle
