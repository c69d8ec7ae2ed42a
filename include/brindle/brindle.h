// Brindle: send a player's highscore as an SMS through a phone on a serial line.
#pragma once

#include <cstdint>

// Shows the modal highscore dialog over `parentWindow` (may be null) and, when the player
// presses "Send SMS", sends the score to the score service. Returns 0 in every case; a null
// `gameName` shows nothing. Not re-entrant: a call while one is in progress returns 0 at once.
int SendHighScore(const char16_t* gameName, std::int32_t gameId, std::int32_t score,
                  void* parentWindow);
