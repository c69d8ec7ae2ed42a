// A stand-in game for the wine test: loads Brindle.dll, finds ordinal 1 and, for each game name
// given, waits for a line on standard input, then calls it. What it sees is reported on
// standard output, one event a line:
//   READY                  (waiting for the line that starts the next call)
//   DIALOG title=.. handle=.. send=X,Y cancel=X,Y handleBox=X,Y window=P
//   BOX caption=.. text=..
//   RETURN n
// X,Y are the screen centres of the controls, for the test to click on.
#include <windows.h>

#include <array>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kIdHandle = 1001;
constexpr int kIdSend = 1000;
constexpr int kIdCancel = 2;
constexpr int kIdResult = 1010;

using SendHighScoreFn = int (*)(unsigned short*, int, int, HWND);

void Emit(const std::string& line) {
  (void)std::puts(line.c_str());
  (void)std::fflush(stdout);
}

// Anything outside printable ASCII, line ends too, as '?': one event stays on one line.
std::string WindowText(HWND window) {
  std::array<wchar_t, 1024> text{};
  GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  std::string out;
  for (const wchar_t* c = text.data(); *c != L'\0'; ++c) {
    out += *c >= 0x20 && *c < 0x7F ? static_cast<char>(*c) : '?';
  }
  return out;
}

std::string Centre(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return std::to_string((rect.left + rect.right) / 2) + "," +
         std::to_string((rect.top + rect.bottom) / 2);
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM data) {
  std::array<wchar_t, 32> className{};
  GetClassNameW(child, className.data(), static_cast<int>(className.size()));
  if (_wcsicmp(className.data(), L"Static") == 0) {
    auto* text = reinterpret_cast<std::string*>(data);  // NOLINT(performance-no-int-to-ptr)
    *text += WindowText(child);
  }
  return TRUE;
}

// Each dialog or box, when it becomes active (a box is not placed yet then, so it is found by
// its caption instead of a position).
void Report(HWND window) {
  std::array<wchar_t, 32> className{};
  GetClassNameW(window, className.data(), static_cast<int>(className.size()));
  if (std::wcscmp(className.data(), L"#32770") != 0) {
    return;
  }
  if (GetDlgItem(window, kIdResult) == nullptr) {
    std::string text;
    EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    Emit("BOX caption=" + WindowText(window) + " text=" + text);
    return;
  }
  std::array<char, 32> pointer{};
  (void)std::snprintf(pointer.data(), pointer.size(), "%p", static_cast<void*>(window));
  Emit("DIALOG title=" + WindowText(window) + " handle=" +
       WindowText(GetDlgItem(window, kIdHandle)) + " send=" + Centre(GetDlgItem(window, kIdSend)) +
       " cancel=" + Centre(GetDlgItem(window, kIdCancel)) +
       " handleBox=" + Centre(GetDlgItem(window, kIdHandle)) + " window=" + pointer.data());
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    Report(reinterpret_cast<HWND>(wParam));  // NOLINT(performance-no-int-to-ptr)
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  constexpr int kGameId = 42;
  constexpr int kScore = 123456;
  HMODULE library = argc > 2 ? LoadLibraryW(argv[1]) : nullptr;
  FARPROC proc = library != nullptr ? GetProcAddress(library, MAKEINTRESOURCEA(1)) : nullptr;
  if (proc == nullptr) {
    Emit("ERROR usage: brindle_host DLL NAME..., or no ordinal 1: " +
         std::to_string(GetLastError()));
    return 1;
  }
  auto sendHighScore = reinterpret_cast<SendHighScoreFn>(reinterpret_cast<void (*)()>(proc));
  HWND game = CreateWindowExW(0, L"STATIC", L"Game", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 400,
                              200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HHOOK hook = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
  for (int i = 2; i < argc; ++i) {
    Emit("READY");
    std::array<char, 16> line{};
    if (std::fgets(line.data(), static_cast<int>(line.size()), stdin) == nullptr) {
      break;
    }
    std::wstring name = argv[i];
    Emit("RETURN " + std::to_string(sendHighScore(reinterpret_cast<unsigned short*>(name.data()),
                                                  kGameId, kScore, game)));
  }
  UnhookWindowsHookEx(hook);
  DestroyWindow(game);
  FreeLibrary(library);
  return 0;
}
