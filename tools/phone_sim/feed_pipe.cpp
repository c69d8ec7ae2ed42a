#include "tools/phone_sim/feed_pipe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

namespace brindle::sim {

FeedPipe::~FeedPipe() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
  if (made_) {
    (void)::unlink(path_.c_str());
  }
}

bool FeedPipe::Open(std::string& error) {
  struct stat status {};
  if (::stat(path_.c_str(), &status) != 0) {
    if (errno != ENOENT || ::mkfifo(path_.c_str(), 0600) != 0) {
      error = path_ + ": " + std::strerror(errno);
      return false;
    }
    made_ = true;
  } else if (!S_ISFIFO(status.st_mode)) {
    error = path_ + " exists and is not a named pipe";
    return false;
  }
  // Read and write: a pipe with a writer never reads as ended.
  fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    error = path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void FeedPipe::Read(std::vector<std::string>& lines) {
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
    if (count <= 0) {
      return;
    }
    for (const char byte : std::string_view(buffer.data(), static_cast<std::size_t>(count))) {
      if (byte == '\n') {
        lines.push_back(std::move(partial_));
        partial_.clear();
      } else if (partial_.size() == kFeedLineCapacity) {
        lines.push_back(std::exchange(partial_, std::string(1, byte)));
      } else {
        partial_.push_back(byte);
      }
    }
  }
}

std::string PduOfLine(std::string_view line) {
  constexpr std::string_view kBlanks = " \t\r";
  const std::size_t first = line.find_first_not_of(kBlanks);
  if (first == std::string_view::npos || line[first] == '#') {
    return {};
  }
  const std::size_t last = line.find_last_not_of(kBlanks);
  return std::string(line.substr(first, last - first + 1));
}

}  // namespace brindle::sim
