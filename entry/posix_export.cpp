// The library's exported call on POSIX systems: the highscore dialog in the terminal, the phone on
// a termios serial port.
#include "brindle/brindle.h"
#include "dialog/terminal/terminal_dialog_host.h"
#include "dialog/terminal/terminal_sleeper.h"
#include "entry/send_high_score.h"
#include "phone/posix_serial_port.h"

int SendHighScore(const char16_t* gameName, std::int32_t gameId, std::int32_t score,
                  void* parentWindow) {
  brindle::terminal::TerminalDialogHost dialogs;
  brindle::terminal::TerminalSleeper sleeper(dialogs);
  brindle::PosixSerialPort port;
  brindle::RunHighScore(gameName, gameId, score, parentWindow,
                        brindle::Platform{&dialogs, &port, &sleeper});
  return 0;
}
