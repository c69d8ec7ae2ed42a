// Tells when a program opens the terminal, for the faults that come with each opening of the
// line (a busy SIM, a late first read). The kernel reports each open of the watched path.
#pragma once

#include <string>

namespace brindle::sim {

class OpenWatch {
 public:
  OpenWatch() = default;
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;
  OpenWatch(OpenWatch&&) = delete;
  OpenWatch& operator=(OpenWatch&&) = delete;
  ~OpenWatch();

  // Watches `path` from now on, instead of what it watched before. On failure `error` says
  // why, and opens go unnoticed.
  bool Watch(const std::string& path, std::string& error);
  // To poll for input; -1 when nothing is watched.
  [[nodiscard]] int fd() const { return fd_; }
  // Whether the path was opened since the last call.
  [[nodiscard]] bool TakeOpened() const;

 private:
  int fd_ = -1;
  int watch_ = -1;
};

}  // namespace brindle::sim
