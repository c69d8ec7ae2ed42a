// A stand-in for the Pocket PC shell library, for the end-to-end test: placed beside the host
// program as aygshell.dll, it reports each call the dialog makes to it, and the creation of
// its input-panel preference control, on standard output.
#include <windows.h>

#include <array>
#include <cstdio>

namespace {

struct ShellDialogInfo {
  DWORD mask;
  HWND dialog;
  DWORD flags;
};

void Report(const char* format, ...) {
  std::array<char, 256> line{};
  va_list arguments;
  va_start(arguments, format);
  (void)std::vsnprintf(line.data(), line.size(), format, arguments);
  va_end(arguments);
  (void)std::fputs(line.data(), stdout);
  (void)std::fputc('\n', stdout);
  (void)std::fflush(stdout);
}

LRESULT CALLBACK PreferenceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_CREATE carries the record as an integer
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    Report("SIPPREF parent=%p id=%d style=0x%08lX exstyle=0x%08lX x=%d y=%d cx=%d cy=%d text=%ls",
           static_cast<void*>(create->hwndParent), GetDlgCtrlID(window),
           static_cast<unsigned long>(create->style), static_cast<unsigned long>(create->dwExStyle),
           create->x, create->y, create->cx, create->cy,
           create->lpszName != nullptr ? create->lpszName : L"(null)");
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    WNDCLASSW preference{};
    preference.style = CS_GLOBALCLASS;
    preference.lpfnWndProc = PreferenceProc;
    preference.hInstance = instance;
    preference.lpszClassName = L"SIPPREF";
    RegisterClassW(&preference);
  }
  return TRUE;
}

extern "C" BOOL WINAPI FakeShInitDialog(ShellDialogInfo* info) {
  Report("SHELL 56 mask=%lu dialog=%p flags=%lu", static_cast<unsigned long>(info->mask),
         static_cast<void*>(info->dialog), static_cast<unsigned long>(info->flags));
  return TRUE;
}

extern "C" BOOL WINAPI FakeShell65(HWND window, DWORD value) {
  Report("SHELL 65 dialog=%p value=%lu", static_cast<void*>(window),
         static_cast<unsigned long>(value));
  return TRUE;
}

extern "C" BOOL WINAPI FakeShell21(HWND window, DWORD value) {
  Report("SHELL 21 dialog=%p value=%lu", static_cast<void*>(window),
         static_cast<unsigned long>(value));
  return TRUE;
}
