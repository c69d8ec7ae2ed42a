// The Windows export, declared as the host sees it. The .def file publishes it at ordinal 1
// under the name a Windows compiler gives this signature.
#pragma once

#include <windows.h>

int SendHighScore(unsigned short* gameName, int gameId, int score, HWND parentWindow);
