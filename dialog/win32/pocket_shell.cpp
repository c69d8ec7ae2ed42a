#include "dialog/win32/pocket_shell.h"

namespace brindle {
namespace {

// SHINITDLGINFO: which fields are valid, the dialog, what to do.
struct ShellDialogInfo {
  DWORD mask;
  HWND dialog;
  DWORD flags;
};

constexpr DWORD kShidimFlags = 0x1;
constexpr DWORD kSizeDialogSipDown = 0xA;  // SHIDIF_SIZEDLG | SHIDIF_SIPDOWN
constexpr WORD kShInitDialog = 56;
constexpr WORD kShellOrdinal65 = 65;
constexpr WORD kShellOrdinal21 = 21;
// IDC_SIPPREF; dialog_template.h cannot be included beside windows.h (IDOK, IDCANCEL).
constexpr INT_PTR kSipPrefId = 19991;

using ShInitDialogFn = BOOL(WINAPI*)(ShellDialogInfo*);
using ShellWindowCallFn = BOOL(WINAPI*)(HWND, DWORD);

#ifdef _WIN32_WCE
// CE's coredll.dll exports the lookup under its wide name only; the ordinal goes in the same
// way. (Declared here: the desktop headers in use have no CE-only functions.)
extern "C" FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR name);
#endif

template <typename Fn>
Fn ShellProc(HMODULE shell, WORD ordinal) {
#ifdef _WIN32_WCE
  FARPROC proc = GetProcAddressW(shell, MAKEINTRESOURCEW(ordinal));
#else
  FARPROC proc = GetProcAddress(shell, MAKEINTRESOURCEA(ordinal));
#endif
  // Through a generic function pointer, the conversion the platform documents for exports.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

void PreparePocketDialog(HWND dialog) {
  // From the system folder only, so that a file of that name beside the game is never loaded.
  // CE has no search flags: there the full path names the Windows folder, where the shell is.
#ifdef _WIN32_WCE
  HMODULE shell = LoadLibraryW(L"\\Windows\\aygshell.dll");
#else
  HMODULE shell = LoadLibraryExW(L"aygshell.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
#endif
  if (shell == nullptr) {
    return;
  }
  // Kept loaded (one more reference per dialog): the preference control's window class lives
  // in the shell library.
  if (auto initDialog = ShellProc<ShInitDialogFn>(shell, kShInitDialog)) {
    ShellDialogInfo info{kShidimFlags, dialog, kSizeDialogSipDown};
    initDialog(&info);
  }
  CreateWindowExW(0, L"SIPPREF", L"", WS_CHILD, -10, -10, 5, 5, dialog,
                  reinterpret_cast<HMENU>(kSipPrefId),  // NOLINT(performance-no-int-to-ptr)
                  nullptr, nullptr);
  if (auto call65 = ShellProc<ShellWindowCallFn>(shell, kShellOrdinal65)) {
    call65(dialog, 4);
  }
  if (auto call21 = ShellProc<ShellWindowCallFn>(shell, kShellOrdinal21)) {
    call21(dialog, 0);
  }
}

}  // namespace brindle
