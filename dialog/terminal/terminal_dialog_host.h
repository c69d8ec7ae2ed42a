// Runs the highscore dialog in a terminal with ncurses: the Linux stand-in for the platform's
// dialog manager. One modal dialog at a time; message boxes appear on top of it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "dialog/dialog_template.h"
#include "dialog/dialog_window.h"
#include "dialog/terminal/dialog_model.h"
#include "dialog/terminal/terminal_screen.h"

namespace brindle::terminal {

class TerminalDialogHost final : public DialogHost {
 public:
  // `dialog` is the table of template IDD_SENDHIGHSCORE; it must outlive the host.
  explicit TerminalDialogHost(const DialogTemplate& dialog = kHighscoreDialog,
                              std::FILE* input = stdin, std::FILE* output = stdout);

  // -1, with a line on stderr and nothing drawn, without a terminal or for an unknown
  // template; otherwise the value given to End.
  std::intptr_t RunModal(int templateId, void* parentWindow, DialogProc proc) override;
  // On top of the open dialog; on stderr when none is open.
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override;

  // For the sleeper: a pause of `total` ms of which `elapsed` have passed; total 0 ends it.
  void ShowPause(std::uint32_t elapsed, std::uint32_t total);
  [[nodiscard]] bool DialogOpen() const { return window_ != nullptr; }

 private:
  class Window;

  const DialogTemplate& dialog_;
  std::FILE* input_;
  std::FILE* output_;
  Window* window_ = nullptr;
};

}  // namespace brindle::terminal
