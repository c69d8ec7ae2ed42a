// The --link symlink to the simulator's terminal: replaced atomically when the terminal
// changes, removed on every way out.
#pragma once

#include <string>
#include <utility>

namespace brindle::sim {

class TerminalLink {
 public:
  explicit TerminalLink(std::string path) : path_(std::move(path)) {}
  TerminalLink(const TerminalLink&) = delete;
  TerminalLink& operator=(const TerminalLink&) = delete;
  TerminalLink(TerminalLink&&) = delete;
  TerminalLink& operator=(TerminalLink&&) = delete;
  ~TerminalLink() { Remove(); }

  // Makes the link point at `target`. A path held by anything but a symlink is left alone
  // and refused.
  bool Point(const std::string& target, std::string& error);
  // Removes the link if it is still the one made here.
  void Remove();

 private:
  std::string path_;
  std::string target_;
};

}  // namespace brindle::sim
