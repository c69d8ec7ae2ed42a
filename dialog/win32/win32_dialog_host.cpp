#include "dialog/win32/win32_dialog_host.h"

#include "dialog/win32/pocket_shell.h"
#include "dialog/win32/wide_text.h"

namespace brindle {
namespace {

// Item texts, titles and box texts are all well below this.
constexpr std::size_t kTextCapacity = 512;
constexpr std::size_t kCaptionCapacity = 64;

// DialogBoxIndirectParamW carries no pointer for us (the creation parameter stays 0), so the
// procedure of the run in progress is found here. A nested run saves and restores it.
struct ModalRun {
  DialogProc proc;
  Win32DialogWindow window;
};
ModalRun* g_currentRun = nullptr;

INT_PTR CALLBACK DialogTrampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ModalRun* run = g_currentRun;
  if (run == nullptr) {
    return FALSE;
  }
  if (run->window.Handle() == nullptr) {
    run->window.Attach(window);
  }
  if (message == WM_INITDIALOG) {
    PreparePocketDialog(window);
  }
  return run->proc(run->window, message, wParam, lParam);
}

}  // namespace

std::size_t Win32DialogWindow::GetItemText(int id, std::span<char16_t> out) {
  std::array<wchar_t, kTextCapacity> text{};
  const std::size_t room = out.size() < text.size() ? out.size() : text.size();
  if (room == 0) {
    return 0;
  }
  GetDlgItemTextW(window_, id, text.data(), static_cast<int>(room));
  return CopyFromWide(text.data(), out.first(room));
}

void Win32DialogWindow::SetItemText(int id, std::u16string_view text) {
  SetDlgItemTextW(window_, id, WideText<kTextCapacity>(text).Get());
}

void Win32DialogWindow::LimitText(int id, std::uint32_t limit) {
  SendDlgItemMessageW(window_, id, EM_LIMITTEXT, limit, 0);
}

void Win32DialogWindow::Repaint() { UpdateWindow(window_); }

void Win32DialogWindow::SetTitle(std::u16string_view title) {
  SetWindowTextW(window_, WideText<kTextCapacity>(title).Get());
}

void Win32DialogWindow::End(std::intptr_t result) { EndDialog(window_, result); }

void Win32DialogWindow::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                    std::uint32_t style) {
  MessageBoxW(window_, WideText<kTextCapacity>(text).Get(),
              WideText<kCaptionCapacity>(caption).Get(), style);
}

std::intptr_t Win32DialogHost::RunModal(int templateId, void* parentWindow, DialogProc proc) {
  HRSRC found = FindResourceW(instance_, MAKEINTRESOURCEW(templateId), RT_DIALOG);
  HGLOBAL loaded = found != nullptr ? LoadResource(instance_, found) : nullptr;
#ifdef _WIN32_WCE
  // On CE a loaded resource is already its address; LockResource is a macro there, not a
  // coredll.dll function.
  const auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(static_cast<void*>(loaded));
#else
  const auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(loaded));
#endif
  if (dialogTemplate == nullptr) {
    return -1;
  }
  ModalRun run{proc, Win32DialogWindow(nullptr)};
  ModalRun* outer = g_currentRun;
  g_currentRun = &run;
  // From the template in memory: the call CE's coredll.dll exports (DialogBoxParamW, which
  // looks the template up itself, is a macro over this one on CE).
  const INT_PTR result = DialogBoxIndirectParamW(
      instance_, dialogTemplate, static_cast<HWND>(parentWindow), DialogTrampoline, 0);
  g_currentRun = outer;
  return result;
}

void Win32DialogHost::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                  std::uint32_t style) {
  MessageBoxW(nullptr, WideText<kTextCapacity>(text).Get(),
              WideText<kCaptionCapacity>(caption).Get(), style);
}

}  // namespace brindle
