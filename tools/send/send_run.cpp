#include "tools/send/send_run.h"

#include <array>
#include <cstdlib>

#include "base/text.h"
#include "dialog/terminal/terminal_dialog_host.h"
#include "dialog/terminal/terminal_sleeper.h"
#include "entry/send_high_score.h"
#include "phone/posix_serial_port.h"
#include "tools/commands.h"
#include "tools/send/auto_dialog_host.h"

namespace brindle::tools {
namespace {

constexpr std::size_t kPathCapacity = 4096;

// Keeps what the dialog run returned, which the door itself does not pass on: End(0) is
// reached only by a successful send, since the OK button is hidden.
class OutcomeHost final : public DialogHost {
 public:
  explicit OutcomeHost(DialogHost& inner) : inner_(inner) {}
  std::intptr_t RunModal(int templateId, void* parentWindow, DialogProc proc) override {
    result = inner_.RunModal(templateId, parentWindow, proc);
    return result;
  }
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override {
    inner_.ShowMessage(text, caption, style);
  }

  std::intptr_t result = -1;

 private:
  DialogHost& inner_;
};

}  // namespace

int RunSend(const SendOptions& options, std::FILE* out) {
  // The send always opens "COM3:"; another port is reached through the name's mapping.
  if (options.port != "COM3:") {
    std::array<char, kPathCapacity> path{};
    std::array<char16_t, kPathCapacity> wide{};
    const std::size_t length = WidenText(options.port, wide);
    if (length != options.port.size() ||
        !PosixSerialPort::ResolvePath({wide.data(), length}, path)) {
      static_cast<void>(std::fprintf(stderr, "brindle send: no device for the port name '%s'\n",
                                     options.port.c_str()));
      return kExitBadInput;
    }
    setenv("BRINDLE_COM3", path.data(), 1);
  }

  PosixSerialPort port;
  std::intptr_t result = -1;
  if (options.automatic) {
    AutoDialogHost dialogs(options.handle, out);
    OutcomeHost outcome(dialogs);
    RealSleeper sleeper;
    RunHighScore(options.game.c_str(), options.gameId, options.score, nullptr,
                 Platform{&outcome, &port, &sleeper});
    result = outcome.result;
  } else {
    // Prefilled as the remembered handle of an earlier call would be.
    CopyText(options.handle, g_lastHandle);
    terminal::TerminalDialogHost dialogs;
    terminal::TerminalSleeper sleeper(dialogs);
    OutcomeHost outcome(dialogs);
    RunHighScore(options.game.c_str(), options.gameId, options.score, nullptr,
                 Platform{&outcome, &port, &sleeper});
    result = outcome.result;
  }
  return result == 0 ? kExitOk : kExitFailed;
}

}  // namespace brindle::tools
