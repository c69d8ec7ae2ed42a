#include "tools/phone_sim/pty_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace brindle::sim {
namespace {

std::string Describe(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

PtyDevice::~PtyDevice() { Close(); }

bool PtyDevice::Open(std::string& error) {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) {
    error = Describe("posix_openpt");
    return false;
  }
  std::array<char, 128> name{};
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name.data(), name.size()) != 0) {
    error = Describe("pseudo-terminal set-up");
    Close();
    return false;
  }
  slavePath_ = name.data();
  keptSlave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (keptSlave_ < 0 || tcgetattr(keptSlave_, &settings) != 0) {
    error = Describe(slavePath_.c_str());
    Close();
    return false;
  }
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&settings, B115200);
  cfsetospeed(&settings, B115200);
  const int flags = fcntl(master_, F_GETFL);
  if (tcsetattr(keptSlave_, TCSANOW, &settings) != 0 || flags < 0 ||
      fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0 ||
      fcntl(master_, F_SETFD, FD_CLOEXEC) != 0) {
    error = Describe("terminal settings");
    Close();
    return false;
  }
  return true;
}

void PtyDevice::Close() {
  if (master_ >= 0) {
    ::close(master_);
    master_ = -1;
  }
  if (keptSlave_ >= 0) {
    ::close(keptSlave_);
    keptSlave_ = -1;
  }
  slavePath_.clear();
}

long PtyDevice::Read(char* buffer, std::size_t capacity) const {
  const ssize_t count = ::read(master_, buffer, capacity);
  if (count >= 0) {
    return static_cast<long>(count);
  }
  // EIO means no slave is open; with the kept descriptor that does not happen, but it is
  // no reason to stop either.
  if (errno == EAGAIN || errno == EINTR || errno == EIO) {
    return 0;
  }
  return -1;
}

std::size_t PtyDevice::Write(std::string_view bytes) const {
  if (bytes.empty()) {
    return 0;
  }
  const ssize_t count = ::write(master_, bytes.data(), bytes.size());
  return count > 0 ? static_cast<std::size_t>(count) : 0;
}

std::size_t PtyDevice::Unread() const {
  int count = 0;
  if (keptSlave_ < 0 || ioctl(keptSlave_, FIONREAD, &count) != 0 || count < 0) {
    return 0;
  }
  return static_cast<std::size_t>(count);
}

}  // namespace brindle::sim
