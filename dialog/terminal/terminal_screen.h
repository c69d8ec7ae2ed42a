// One ncurses session on a pair of terminal streams. Whatever ends the process while it is
// open (return, SIGINT, SIGTERM, SIGHUP, SIGQUIT) leaves the terminal as it was found.
#pragma once

#include <cstdint>
#include <cstdio>

namespace brindle::terminal {

struct KeyPress {
  bool isFunctionKey = false;
  std::uint32_t code = 0;
};

class TerminalScreen {
 public:
  TerminalScreen(std::FILE* input, std::FILE* output);
  TerminalScreen(const TerminalScreen&) = delete;
  TerminalScreen& operator=(const TerminalScreen&) = delete;
  TerminalScreen(TerminalScreen&&) = delete;
  TerminalScreen& operator=(TerminalScreen&&) = delete;
  ~TerminalScreen();

  // false, with a line on stderr saying why, when the streams are not a usable terminal.
  bool Open();
  [[nodiscard]] bool IsOpen() const { return screen_ != nullptr; }
  // Blocks for the next key; false when input has ended.
  bool ReadKey(KeyPress& key);
  // Drops keys typed while the program was busy, so they cannot answer a box unseen.
  void DropPendingKeys();
  [[nodiscard]] int Lines() const;
  [[nodiscard]] int Cols() const;

 private:
  void Close();

  std::FILE* input_;
  std::FILE* output_;
  void* screen_ = nullptr;  // SCREEN*, kept opaque so callers need no curses header
  char savedLocale_[64] = {};
};

}  // namespace brindle::terminal
