// Really sleeps, and meanwhile shows the pause as a filling bar in the open terminal dialog.
#pragma once

#include <cstdint>

#include "base/sleeper.h"
#include "dialog/terminal/terminal_dialog_host.h"

namespace brindle::terminal {

class TerminalSleeper final : public Sleeper {
 public:
  explicit TerminalSleeper(TerminalDialogHost& host) : host_(host) {}
  void Pause(std::uint32_t milliseconds) override;

 private:
  TerminalDialogHost& host_;
};

}  // namespace brindle::terminal
