#include "dialog/terminal/terminal_screen.h"

#include <curses.h>
#include <unistd.h>

#include <array>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace brindle::terminal {
namespace {

constexpr std::array<int, 4> kFatalSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kEscapeDelayMs = 50;

// The handlers run outside any object, so the open session and the handlers it replaced
// live here. One dialog runs at a time.
SCREEN* g_openScreen = nullptr;
std::array<struct sigaction, kFatalSignals.size()> g_previousActions{};

void RestoreHandlers() {
  for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
    sigaction(kFatalSignals.at(i), &g_previousActions.at(i), nullptr);
  }
}

extern "C" void OnFatalSignal(int signal) {
  if (g_openScreen != nullptr) {
    endwin();
  }
  RestoreHandlers();
  static_cast<void>(raise(signal));
}

void InstallHandlers() {
  struct sigaction action {};
  action.sa_handler = OnFatalSignal;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
    sigaction(kFatalSignals.at(i), nullptr, &g_previousActions.at(i));
    // A signal the host ignores stays ignored.
    if (g_previousActions.at(i).sa_handler != SIG_IGN) {
      sigaction(kFatalSignals.at(i), &action, nullptr);
    }
  }
}

}  // namespace

TerminalScreen::TerminalScreen(std::FILE* input, std::FILE* output)
    : input_(input), output_(output) {}

TerminalScreen::~TerminalScreen() { Close(); }

bool TerminalScreen::Open() {
  if (screen_ != nullptr) {
    return true;
  }
  if (input_ == nullptr || output_ == nullptr || isatty(fileno(input_)) == 0 ||
      isatty(fileno(output_)) == 0) {
    static_cast<void>(std::fputs(
        "brindle: the highscore dialog needs a terminal, but standard input or output is not "
        "one\n",
        stderr));
    return false;
  }
  // Wide characters need the user's character set; the host's locale is given back on close.
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  std::strncpy(savedLocale_, current != nullptr ? current : "C", sizeof savedLocale_ - 1);
  static_cast<void>(std::setlocale(LC_CTYPE, ""));

  // Installed first, so ncurses keeps its hands off these signals.
  InstallHandlers();
  SCREEN* screen = newterm(nullptr, output_, input_);
  if (screen == nullptr) {
    RestoreHandlers();
    static_cast<void>(std::setlocale(LC_CTYPE, savedLocale_));
    const char* term = std::getenv("TERM");
    static_cast<void>(
        std::fprintf(stderr, "brindle: cannot draw the highscore dialog on terminal type '%s'\n",
                     term != nullptr ? term : ""));
    return false;
  }
  g_openScreen = screen;
  screen_ = screen;
  set_term(screen);
  set_escdelay(kEscapeDelayMs);
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  return true;
}

void TerminalScreen::Close() {
  if (screen_ == nullptr) {
    return;
  }
  endwin();
  g_openScreen = nullptr;
  RestoreHandlers();
  delscreen(static_cast<SCREEN*>(screen_));
  screen_ = nullptr;
  static_cast<void>(std::setlocale(LC_CTYPE, savedLocale_));
}

bool TerminalScreen::ReadKey(KeyPress& key) {
  if (screen_ == nullptr) {
    return false;
  }
  wint_t code = 0;
  const int kind = wget_wch(stdscr, &code);
  if (kind == ERR) {
    return false;
  }
  key.isFunctionKey = kind == KEY_CODE_YES;
  key.code = static_cast<std::uint32_t>(code);
  return true;
}

void TerminalScreen::DropPendingKeys() {
  if (screen_ != nullptr) {
    flushinp();
  }
}

int TerminalScreen::Lines() const { return screen_ != nullptr ? LINES : 0; }
int TerminalScreen::Cols() const { return screen_ != nullptr ? COLS : 0; }

}  // namespace brindle::terminal
