// Brindle: send a player's highscore as an SMS through a phone on a serial line.
//
// SendHighScore shows the modal highscore dialog over `parentWindow` (may be null) and, when the
// player presses "Send SMS", sends the score to the score service. Returns 0 in every case; a
// null `gameName` shows nothing. Not re-entrant: a call while one is in progress returns 0 at
// once.
#pragma once

#if defined(_WIN32)
#include <windows.h>

// Brindle.dll exports the function at ordinal 1 under the name a Windows C++ compiler gives
// int SendHighScore(unsigned short*, int, int, HWND), so that hosts built for that name keep
// working. The import library (libBrindle.dll.a, made from Brindle.def) binds the plain C name
// to that export, so a C or C++ game calls it through this declaration and links with -lBrindle.
#ifdef __cplusplus
extern "C" {
#endif
int SendHighScore(const wchar_t* gameName, int gameId, int score, HWND parentWindow);
#ifdef __cplusplus
}
#endif

#elif defined(__cplusplus)
#include <cstdint>

// libbrindle exports the C++ function.
int SendHighScore(const char16_t* gameName, std::int32_t gameId, std::int32_t score,
                  void* parentWindow);

#else
#error "libbrindle exports SendHighScore as a C++ function outside Windows: call it from C++"
#endif
