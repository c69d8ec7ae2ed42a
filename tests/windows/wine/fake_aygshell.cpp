// A stand-in for the Pocket PC shell library, for the wine test: once loaded as aygshell.dll it
// reports each call the dialog makes to it, and the creation of its input-panel preference
// control, on standard output.
#include <windows.h>

#include <cstdio>

namespace {

struct ShellDialogInfo {
  DWORD mask;
  HWND dialog;
  DWORD flags;
};

LRESULT CALLBACK PreferenceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_CREATE carries the record as an integer
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    (void)std::printf(
        "SIPPREF parent=%p id=%d style=0x%08lX exstyle=0x%08lX x=%d y=%d cx=%d cy=%d text=%ls\n",
        static_cast<void*>(create->hwndParent), GetDlgCtrlID(window),
        static_cast<unsigned long>(create->style), static_cast<unsigned long>(create->dwExStyle),
        create->x, create->y, create->cx, create->cy,
        create->lpszName != nullptr ? create->lpszName : L"(null)");
    (void)std::fflush(stdout);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

BOOL ReportWindowCall(int ordinal, HWND window, DWORD value) {
  (void)std::printf("SHELL %d dialog=%p value=%lu\n", ordinal, static_cast<void*>(window),
                    static_cast<unsigned long>(value));
  (void)std::fflush(stdout);
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
  (void)std::printf("SHELL 56 mask=%lu dialog=%p flags=%lu\n",
                    static_cast<unsigned long>(info->mask), static_cast<void*>(info->dialog),
                    static_cast<unsigned long>(info->flags));
  (void)std::fflush(stdout);
  return TRUE;
}

extern "C" BOOL WINAPI FakeShell65(HWND window, DWORD value) {
  return ReportWindowCall(65, window, value);
}

extern "C" BOOL WINAPI FakeShell21(HWND window, DWORD value) {
  return ReportWindowCall(21, window, value);
}
