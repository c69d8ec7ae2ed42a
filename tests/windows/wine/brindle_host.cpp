// A stand-in game for the end-to-end test under wine: loads Brindle.dll, finds ordinal 1 and
// calls it once per game name given ("-" passes a null name). Everything the dialog and its
// message boxes show is reported on standard output, one event a line, as it happens:
//   LOADED game=P module=M (the game's window, the dialog's parent; the DLL's module)
//   DIALOG title=.. handle=.. score=.. result=.. send=X,Y cancel=X,Y handleBox=X,Y window=P
//   RESULT text            (each text the result box is given)
//   BOX caption=.. text=..
//   RETURN n
// X,Y are the screen centres of the controls, for the test to click on. A box is not placed
// yet when it is activated, so the test finds it by its caption instead.
#include <windows.h>

#include <array>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kIdHandle = 1001;
constexpr int kIdScore = 1002;
constexpr int kIdSend = 1000;
constexpr int kIdCancel = 2;
constexpr int kIdResult = 1010;
constexpr int kGameId = 42;
constexpr int kScore = 123456;

using SendHighScoreFn = int (*)(unsigned short*, int, int, HWND);

std::string Escape(const wchar_t* text) {
  std::string out;
  for (; *text != L'\0'; ++text) {
    const auto c = static_cast<unsigned>(*text);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::array<char, 8> code{};
      (void)std::snprintf(code.data(), code.size(), "\\u%04X", c);
      out += code.data();
    }
  }
  return out;
}

void Emit(const std::string& line) {
  (void)std::fputs(line.c_str(), stdout);
  (void)std::fputc('\n', stdout);
  (void)std::fflush(stdout);
}

std::string WindowText(HWND window) {
  std::array<wchar_t, 1024> text{};
  GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return Escape(text.data());
}

std::string Centre(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return std::to_string((rect.left + rect.right) / 2) + "," +
         std::to_string((rect.top + rect.bottom) / 2);
}

// As the C runtime prints %p, so that the test can match it with other reports.
std::string Pointer(const void* handle) {
  std::array<char, 32> text{};
  (void)std::snprintf(text.data(), text.size(), "%p", handle);
  return text.data();
}

bool IsHighscoreDialog(HWND window) { return GetDlgItem(window, kIdResult) != nullptr; }

BOOL CALLBACK CollectBoxPart(HWND child, LPARAM data) {
  auto* text = reinterpret_cast<std::string*>(data);  // NOLINT(performance-no-int-to-ptr)
  std::array<wchar_t, 32> className{};
  GetClassNameW(child, className.data(), static_cast<int>(className.size()));
  if (_wcsicmp(className.data(), L"Static") == 0) {
    *text += WindowText(child);
  }
  return TRUE;
}

void ReportWindow(HWND window) {
  std::array<wchar_t, 32> className{};
  GetClassNameW(window, className.data(), static_cast<int>(className.size()));
  if (std::wcscmp(className.data(), L"#32770") != 0) {
    return;
  }
  if (IsHighscoreDialog(window)) {
    Emit("DIALOG title=" + WindowText(window) +
         " handle=" + WindowText(GetDlgItem(window, kIdHandle)) +
         " score=" + WindowText(GetDlgItem(window, kIdScore)) +
         " result=" + WindowText(GetDlgItem(window, kIdResult)) + " send=" +
         Centre(GetDlgItem(window, kIdSend)) + " cancel=" + Centre(GetDlgItem(window, kIdCancel)) +
         " handleBox=" + Centre(GetDlgItem(window, kIdHandle)) + " window=" + Pointer(window));
    return;
  }
  std::string text;
  EnumChildWindows(window, CollectBoxPart, reinterpret_cast<LPARAM>(&text));
  Emit("BOX caption=" + WindowText(window) + " text=" + text);
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    ReportWindow(reinterpret_cast<HWND>(wParam));  // NOLINT(performance-no-int-to-ptr)
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the hook hands the message over as an integer
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && message->message == WM_SETTEXT &&
      GetDlgCtrlID(message->hwnd) == kIdResult && IsHighscoreDialog(GetParent(message->hwnd))) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_SETTEXT carries the text as an integer
    Emit("RESULT " + Escape(reinterpret_cast<const wchar_t*>(message->lParam)));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    Emit("usage: brindle_host DLL NAME... (NAME '-' passes a null name)");
    return 2;
  }
  HMODULE library = LoadLibraryW(argv[1]);
  if (library == nullptr) {
    Emit("ERROR LoadLibraryW " + std::to_string(GetLastError()));
    return 1;
  }
  FARPROC proc = GetProcAddress(library, MAKEINTRESOURCEA(1));
  if (proc == nullptr) {
    Emit("ERROR GetProcAddress(1) " + std::to_string(GetLastError()));
    return 1;
  }
  auto sendHighScore = reinterpret_cast<SendHighScoreFn>(reinterpret_cast<void (*)()>(proc));
  HWND game =
      CreateWindowExW(0, L"STATIC", L"Brindle host game", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600,
                      400, 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  const DWORD thread = GetCurrentThreadId();
  HHOOK cbt = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, thread);
  HHOOK calls = SetWindowsHookExW(WH_CALLWNDPROC, CallWndHook, nullptr, thread);
  Emit("LOADED game=" + Pointer(game) + " module=" + Pointer(library));
  for (int i = 2; i < argc; ++i) {
    std::wstring name = argv[i];
    const int result =
        sendHighScore(name == L"-" ? nullptr : reinterpret_cast<unsigned short*>(name.data()),
                      kGameId, kScore, game);
    Emit("RETURN " + std::to_string(result));
  }
  UnhookWindowsHookEx(calls);
  UnhookWindowsHookEx(cbt);
  DestroyWindow(game);
  FreeLibrary(library);
  return 0;
}
