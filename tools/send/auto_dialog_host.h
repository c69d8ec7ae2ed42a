// The dialog of `brindle send --auto`: no screen. It opens the dialog, puts the handle into
// the handle box, presses "Send SMS" once and prints every status line and message box as it
// appears; a failed send is then left by Cancel, as a player would.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "dialog/dialog_window.h"

namespace brindle::tools {

class AutoDialogHost final : public DialogHost {
 public:
  // `handle` must outlive the host; empty leaves the box as the dialog filled it.
  AutoDialogHost(std::u16string_view handle, std::FILE* out) : handle_(handle), out_(out) {}

  // The value given to End: 0 when the send succeeded, -1 after Cancel.
  std::intptr_t RunModal(int templateId, void* parentWindow, DialogProc proc) override;
  // Printed as "[caption] text".
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override;

 private:
  std::u16string_view handle_;
  std::FILE* out_;
};

// Prints the lines of `text` ("\r\n" apart), one per output line, Latin-1 shown as UTF-8.
void PrintLines(std::u16string_view text, std::FILE* out);

}  // namespace brindle::tools
