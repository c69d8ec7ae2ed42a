#include "entry/score_request.h"

#include <array>

#include "base/decimal_text.h"
#include "base/text.h"
#include "dialog/dialog_template.h"

namespace brindle {

ScoreRequest::ScoreRequest(const char16_t* name, std::int32_t id, std::int32_t points,
                           const LinkServices& services)
    : gameId(id), score(points), link(services) {
  CopyText(TerminatedView(name), gameName);
}

void ScoreRequest::TransferText(bool fromDialog) {
  if (dialog == nullptr) {
    return;
  }
  if (fromDialog) {
    dialog->GetItemText(IDC_HANDLE, handle);
    dialog->GetItemText(IDC_RESULT, status);
  } else {
    std::array<char16_t, kDecimalCapacity> scoreText{};
    dialog->SetItemText(IDC_HANDLE, FieldText(handle));
    dialog->SetItemText(IDC_RESULT, FieldText(status));
    dialog->SetItemText(IDC_SCORE, FormatDecimal(score, scoreText));
  }
  dialog->Repaint();
}

}  // namespace brindle
