// The narrow dialog-window interface the dialog procedure works through: item text, text
// limit, repaint, title, end and message box on one open dialog, and a host that runs the
// modal dialog. Win32, terminal (ncurses) and test implementations stand behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/message_sink.h"

namespace brindle {

inline constexpr std::uint32_t kWmInitDialog = 0x110;
inline constexpr std::uint32_t kWmCommand = 0x111;
inline constexpr std::uint32_t kEmLimitText = 0xC5;

class DialogWindow {
 public:
  DialogWindow() = default;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  DialogWindow(DialogWindow&&) = delete;
  DialogWindow& operator=(DialogWindow&&) = delete;
  virtual ~DialogWindow() = default;

  // GetDlgItemTextW: at most out.size() - 1 characters and a NUL; returns the count copied.
  virtual std::size_t GetItemText(int id, std::span<char16_t> out) = 0;
  virtual void SetItemText(int id, std::u16string_view text) = 0;
  // EM_LIMITTEXT: the most characters the player can type into the box.
  virtual void LimitText(int id, std::uint32_t limit) = 0;
  // UpdateWindow: paints pending changes now, even while the caller blocks the dialog.
  virtual void Repaint() = 0;
  virtual void SetTitle(std::u16string_view title) = 0;
  // EndDialog: the modal run returns `result` once control is back in its loop.
  virtual void End(std::intptr_t result) = 0;
  // A message box owned by the dialog; returns when the player has dismissed it.
  virtual void ShowMessage(std::u16string_view text, std::u16string_view caption,
                           std::uint32_t style) = 0;
};

using DialogProc = std::intptr_t (*)(DialogWindow& dialog, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam);

// Runs modal dialogs from the module's templates; also shows boxes with no owner.
class DialogHost : public MessageSink {
 public:
  // Sends kWmInitDialog, then kWmCommand for the player's actions, until End is called.
  virtual std::intptr_t RunModal(int templateId, void* parentWindow, DialogProc proc) = 0;
};

}  // namespace brindle
