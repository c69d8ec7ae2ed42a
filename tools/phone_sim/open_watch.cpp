#include "tools/phone_sim/open_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace brindle::sim {

OpenWatch::~OpenWatch() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

bool OpenWatch::Watch(const std::string& path, std::string& error) {
  if (fd_ < 0) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  }
  if (fd_ < 0) {
    error = std::string("inotify: ") + std::strerror(errno);
    return false;
  }
  if (watch_ >= 0) {
    // The old terminal may be gone, its watch with it.
    (void)inotify_rm_watch(fd_, watch_);
  }
  watch_ = inotify_add_watch(fd_, path.c_str(), IN_OPEN);
  if (watch_ < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool OpenWatch::TakeOpened() const {
  if (fd_ < 0) {
    return false;
  }
  // An event of a watched file carries no name: 16 octets. Read until none are left.
  alignas(inotify_event) std::array<char, 4096> buffer{};
  bool opened = false;
  for (;;) {
    const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
    if (count <= 0) {
      return opened;
    }
    for (ssize_t at = 0; at < count;) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + at, sizeof event);
      opened = opened || (event.mask & IN_OPEN) != 0;
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
}

}  // namespace brindle::sim
