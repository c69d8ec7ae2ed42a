// A stand-in for the Pocket PC shell library, for the wine test: once loaded as aygshell.dll it
// reports each call the dialog makes to it, and the creation of its input-panel preference
// control, on standard output.
#include <windows.h>

#include <array>
#include <cstdio>

namespace {

struct ShellDialogInfo {
  DWORD mask;
  HWND dialog;
  DWORD flags;
};

using Line = std::array<char, 256>;

void Emit(const Line& line) {
  (void)std::puts(line.data());
  (void)std::fflush(stdout);
}

LRESULT CALLBACK PreferenceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_CREATE carries the record as an integer
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    Line line{};
    (void)std::snprintf(
        line.data(), line.size(),
        "SIPPREF parent=%p id=%d style=0x%08lX exstyle=0x%08lX x=%d y=%d cx=%d cy=%d text=%ls",
        static_cast<void*>(create->hwndParent), GetDlgCtrlID(window),
        static_cast<unsigned long>(create->style), static_cast<unsigned long>(create->dwExStyle),
        create->x, create->y, create->cx, create->cy,
        create->lpszName != nullptr ? create->lpszName : L"(null)");
    Emit(line);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

BOOL ReportWindowCall(int ordinal, HWND window, DWORD value) {
  Line line{};
  (void)std::snprintf(line.data(), line.size(), "SHELL %d dialog=%p value=%lu", ordinal,
                      static_cast<void*>(window), static_cast<unsigned long>(value));
  Emit(line);
  return TRUE;
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
  Line line{};
  (void)std::snprintf(line.data(), line.size(), "SHELL 56 mask=%lu dialog=%p flags=%lu",
                      static_cast<unsigned long>(info->mask), static_cast<void*>(info->dialog),
                      static_cast<unsigned long>(info->flags));
  Emit(line);
  return TRUE;
}

extern "C" BOOL WINAPI FakeShell65(HWND window, DWORD value) {
  return ReportWindowCall(65, window, value);
}

extern "C" BOOL WINAPI FakeShell21(HWND window, DWORD value) {
  return ReportWindowCall(21, window, value);
}
