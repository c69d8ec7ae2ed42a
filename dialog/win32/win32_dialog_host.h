// The dialog-window interface over Win32 dialogs: the modal run from the module's template
// resource, and the item, title and box calls on one open dialog.
#pragma once

#include <windows.h>

#include "dialog/dialog_window.h"

namespace brindle {

class Win32DialogWindow final : public DialogWindow {
 public:
  explicit Win32DialogWindow(HWND window) : window_(window) {}

  [[nodiscard]] HWND Handle() const { return window_; }
  void Attach(HWND window) { window_ = window; }

  std::size_t GetItemText(int id, std::span<char16_t> out) override;
  void SetItemText(int id, std::u16string_view text) override;
  void LimitText(int id, std::uint32_t limit) override;
  void Repaint() override;
  void SetTitle(std::u16string_view title) override;
  void End(std::intptr_t result) override;
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override;

 private:
  HWND window_;
};

class Win32DialogHost final : public DialogHost {
 public:
  // `instance` is the module whose resources hold the templates.
  explicit Win32DialogHost(HINSTANCE instance) : instance_(instance) {}

  std::intptr_t RunModal(int templateId, void* parentWindow, DialogProc proc) override;
  // A box with no owner window.
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override;

 private:
  HINSTANCE instance_;
};

}  // namespace brindle
