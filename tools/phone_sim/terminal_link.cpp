#include "tools/phone_sim/terminal_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace brindle::sim {
namespace {

std::string LinkTarget(const std::string& path) {
  std::array<char, 4096> target{};
  const ssize_t length = readlink(path.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
    return {};
  }
  return {target.data(), static_cast<std::size_t>(length)};
}

}  // namespace

bool TerminalLink::Point(const std::string& target, std::string& error) {
  struct stat status {};
  if (lstat(path_.c_str(), &status) == 0 && !S_ISLNK(status.st_mode)) {
    error = path_ + " exists and is not a symbolic link";
    return false;
  }
  // A stale link from an earlier run is replaced; rename() swaps it in one step.
  const std::string temporary = path_ + ".new" + std::to_string(getpid());
  (void)unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    error = path_ + ": " + std::strerror(errno);
    return false;
  }
  if (rename(temporary.c_str(), path_.c_str()) != 0) {
    error = path_ + ": " + std::strerror(errno);
    (void)unlink(temporary.c_str());
    return false;
  }
  target_ = target;
  return true;
}

void TerminalLink::Remove() {
  if (!target_.empty() && LinkTarget(path_) == target_) {
    (void)unlink(path_.c_str());
  }
  target_.clear();
}

}  // namespace brindle::sim
