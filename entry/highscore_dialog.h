// The highscore dialog's procedure. It keeps no state of its own: it reaches the request whose
// dialog is open through g_activeRequest and hands the work to ScoreRequest::InitDialog and
// ScoreRequest::HandleCommand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dialog/dialog_window.h"

namespace brindle {

// "Send " + the longest game name the request holds + " highscores" + terminator.
inline constexpr std::size_t kTitleCapacity = 64;

// 1 (TRUE) when the message was handled, 0 otherwise.
std::intptr_t HighscoreDlgProc(DialogWindow& dialog, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam);

}  // namespace brindle
