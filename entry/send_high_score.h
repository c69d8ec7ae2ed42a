// The library's exported call, independent of the platform: the module state and the call that runs
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
  Platform() = default;
  Platform(DialogHost* dialogHost, SerialPort* serialPort, Sleeper* pauses)
      : dialogs(dialogHost), port(serialPort), sleeper(pauses) {}

  DialogHost* dialogs = nullptr;
  SerialPort* port = nullptr;
  Sleeper* sleeper = nullptr;
  // Must outlive the call.
  std::u16string_view portName = kDefaultPortName;
  // Prefills the handle box; empty means the handle remembered from the last call.
  std::u16string_view handle;
};

enum class RunOutcome : std::uint8_t {
  kSent,       // a send succeeded and closed the dialog
  kCancelled,  // the player left without trying to send
  kFailed,     // the player left after a send that failed
  kRefused,    // no dialog ran: no host, a null game name, or a call while another runs
};

extern void* g_instance;
extern ScoreRequest* g_activeRequest;
extern char16_t g_lastHandle[kHandleCapacity];

// Runs the highscore dialog on `platform.dialogs` over `parentWindow` and remembers the handle
// for the next call. A null game name, or a call while another is in progress, does nothing.
RunOutcome RunHighScore(const char16_t* gameName, std::int32_t gameId, std::int32_t score,
                        void* parentWindow, const Platform& platform);

}  // namespace brindle
