#include <array>

#include "brindle/brindle.h"
#include "dialog/win32/win32_dialog_host.h"
#include "entry/score_request.h"
#include "entry/send_high_score.h"
#include "phone/win32/win32_serial_port.h"

int SendHighScore(const wchar_t* gameName, int gameId, int score, HWND parentWindow) {
  if (gameName == nullptr) {
    return 0;
  }
  // The host's 16-bit units become char16_t one by one; the record keeps no more than this.
  std::array<char16_t, brindle::kGameNameCapacity> name{};
  for (std::size_t i = 0; i + 1 < name.size() && gameName[i] != 0; ++i) {
    name[i] = static_cast<char16_t>(gameName[i]);
  }
  brindle::Win32DialogHost dialogs(static_cast<HINSTANCE>(brindle::g_instance));
  brindle::Win32SerialPort port;
  brindle::RealSleeper sleeper;
  const brindle::Platform platform{&dialogs, &port, &sleeper};
  brindle::RunHighScore(name.data(), gameId, score, parentWindow, platform);
  return 0;
}
