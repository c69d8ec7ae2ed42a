// The library's door, independent of the platform: the module state and the call that runs
// one highscore dialog on a given dialog host, serial port and sleeper.
#pragma once

#include <cstdint>

#include "base/sleeper.h"
#include "dialog/dialog_window.h"
#include "entry/highscore_dialog.h"
#include "entry/score_request.h"
#include "phone/serial_port.h"

namespace brindle {

struct Platform {
  DialogHost* dialogs = nullptr;
  SerialPort* port = nullptr;
  Sleeper* sleeper = nullptr;
};

extern void* g_instance;
extern ScoreRequest* g_activeRequest;
extern char16_t g_lastHandle[kHandleCapacity];

// Runs the highscore dialog on `platform.dialogs` over `parentWindow` and remembers the handle
// for the next call. Always 0. A null game name, or a call while another is in progress, does
// nothing.
int RunHighScore(const char16_t* gameName, std::int32_t gameId, std::int32_t score,
                 void* parentWindow, const Platform& platform);

}  // namespace brindle
