// The Pocket PC shell's part of starting a dialog, made only where the shell library exists.
#pragma once

#include <windows.h>

namespace brindle {

// Fits the dialog to the screen, lowers the input panel and adds the input-panel preference
// control. Without the shell library in the system folder (desktop Windows, wine) it does
// nothing.
void PreparePocketDialog(HWND dialog);

}  // namespace brindle
