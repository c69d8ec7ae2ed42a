#include "tools/send/send_run.h"

#include <array>

#include "base/text.h"
#include "dialog/terminal/terminal_dialog_host.h"
#include "dialog/terminal/terminal_sleeper.h"
#include "entry/send_high_score.h"
#include "phone/posix_serial_port.h"
#include "tools/exit_status.h"
#include "tools/send/auto_dialog_host.h"

namespace brindle::tools {
namespace {

constexpr std::size_t kPortNameCapacity = 4096;

}  // namespace

int RunSend(const SendOptions& options, std::FILE* out) {
  std::array<char16_t, kPortNameCapacity> wide{};
  const std::size_t length = WidenText(options.port, wide);
  if (length != options.port.size()) {
    static_cast<void>(std::fprintf(stderr, "brindle send: the port name '%s' is too long\n",
                                   options.port.c_str()));
    return kExitBadInput;
  }
  Platform platform;
  PosixSerialPort port;
  platform.port = &port;
  platform.portName = {wide.data(), length};
  platform.handle = options.handle;
  RunOutcome outcome = RunOutcome::kRefused;
  if (options.automatic) {
    AutoDialogHost dialogs(options.handle, out);
    RealSleeper sleeper;
    platform.dialogs = &dialogs;
    platform.sleeper = &sleeper;
    outcome = RunHighScore(options.game.c_str(), options.gameId, options.score, nullptr, platform);
  } else {
    terminal::TerminalDialogHost dialogs;
    terminal::TerminalSleeper sleeper(dialogs);
    platform.dialogs = &dialogs;
    platform.sleeper = &sleeper;
    outcome = RunHighScore(options.game.c_str(), options.gameId, options.score, nullptr, platform);
  }
  return outcome == RunOutcome::kSent ? kExitOk : kExitFailed;
}

}  // namespace brindle::tools
