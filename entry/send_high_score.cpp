#include "entry/send_high_score.h"

#include "base/text.h"
#include "dialog/dialog_template.h"

namespace brindle {

// Module state; NOLINT: the only data the library keeps between calls.
void* g_instance = nullptr;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
ScoreRequest* g_activeRequest =
    nullptr;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
char16_t g_lastHandle[kHandleCapacity] =
    {};  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

RunOutcome RunHighScore(const char16_t* gameName, std::int32_t gameId, std::int32_t score,
                        void* parentWindow, const Platform& platform) {
  // A call from the host's window procedure while a dialog is open would take over the one
  // g_activeRequest slot and leave the open dialog working on a dead record.
  if (gameName == nullptr || g_activeRequest != nullptr) {
    return RunOutcome::kRefused;
  }
  ScoreRequest request(gameName, gameId, score,
                       LinkServices{platform.port, platform.dialogs, platform.sleeper});
  request.portName = platform.portName;
  g_activeRequest = &request;
  if (!platform.handle.empty()) {
    CopyText(platform.handle, request.handle);
  } else if (g_lastHandle[0] != u'\0') {
    CopyText(FieldText(g_lastHandle), request.handle);
  }
  // Without a host there is no dialog to show; the steps after it still run.
  if (platform.dialogs != nullptr) {
    platform.dialogs->RunModal(IDD_SENDHIGHSCORE, parentWindow, HighscoreDlgProc);
  }
  CopyText(FieldText(request.handle), g_lastHandle);
  g_activeRequest = nullptr;
  if (platform.dialogs == nullptr) {
    return RunOutcome::kRefused;
  }
  if (request.sent) {
    return RunOutcome::kSent;
  }
  return request.sendFailed ? RunOutcome::kFailed : RunOutcome::kCancelled;
}

}  // namespace brindle
