#include "phone/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/text.h"

namespace brindle {

namespace {

constexpr std::size_t kPathCapacity = 4096;

struct Rate {
  std::uint32_t bitsPerSecond;
  speed_t speed;
};

constexpr std::array kRates{
    Rate{50, B50},         Rate{75, B75},         Rate{110, B110},       Rate{134, B134},
    Rate{150, B150},       Rate{200, B200},       Rate{300, B300},       Rate{600, B600},
    Rate{1200, B1200},     Rate{1800, B1800},     Rate{2400, B2400},     Rate{4800, B4800},
    Rate{9600, B9600},     Rate{19200, B19200},   Rate{38400, B38400},   Rate{57600, B57600},
    Rate{115200, B115200}, Rate{230400, B230400}, Rate{460800, B460800}, Rate{921600, B921600},
};

int Descriptor(PortHandle port) { return static_cast<int>(port); }

using SteadyTime = std::chrono::steady_clock::time_point;

// Milliseconds left until `deadline` for poll(), or -1 (wait forever) when there is none.
int PollWait(bool limited, SteadyTime deadline) {
  if (!limited) {
    return -1;
  }
  // Rounded up: a time-out must never end early.
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
          .count();
  if (left <= 0) {
    return 0;
  }
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// "COMn:" or "COMn" (any case) gives n; anything else gives 0.
unsigned ComNumber(std::string_view name) {
  if (name.size() < 4 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' ||
      (name[2] | 0x20) != 'm') {
    return 0;
  }
  std::string_view digits = name.substr(3);
  if (digits.ends_with(':')) {
    digits.remove_suffix(1);
  }
  unsigned number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc{} || end != digits.data() + digits.size()) {
    return 0;
  }
  return number;
}

bool Store(std::string_view text, std::span<char> out) {
  return !out.empty() && text.size() < out.size() && CopyText(text, out) == text.size();
}

}  // namespace

bool PosixSerialPort::ResolvePath(std::u16string_view name, std::span<char> path) {
  std::array<char, kPathCapacity> narrow{};
  if (name.size() >= narrow.size()) {
    return false;
  }
  const std::string_view given(narrow.data(), NarrowText(name, narrow));
  const unsigned number = given.starts_with('/') ? 0 : ComNumber(given);
  if (number == 0) {
    return Store(given, path);
  }
  std::array<char, 32> variable{};
  const std::string_view prefix = "BRINDLE_COM";
  std::size_t length = CopyText(prefix, variable);
  length = static_cast<std::size_t>(
      std::to_chars(variable.data() + length, variable.data() + variable.size() - 1, number).ptr -
      variable.data());
  variable[length] = '\0';
  const char* mapped = std::getenv(variable.data());
  if (mapped != nullptr && *mapped != '\0') {
    return Store(mapped, path);
  }
  std::array<char, 32> device{};
  length = CopyText("/dev/ttyS", device);
  length = static_cast<std::size_t>(
      std::to_chars(device.data() + length, device.data() + device.size() - 1, number - 1).ptr -
      device.data());
  return Store(std::string_view(device.data(), length), path);
}

bool PosixSerialPort::Fail() { return Fail(errno); }

bool PosixSerialPort::Fail(int error) {
  lastError_ = error;
  return false;
}

PortHandle PosixSerialPort::Open(std::u16string_view name) {
  std::array<char, kPathCapacity> path{};
  if (!ResolvePath(name, path)) {
    Fail(ENAMETOOLONG);
    return kInvalidPortHandle;
  }
  // Non-blocking: every wait is a poll() bounded by the time-outs, and an open does not wait
  // for a carrier.
  const int fd = ::open(path.data(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail();
    return kInvalidPortHandle;
  }
  // Nobody else may use the phone while we talk to it. The lock keeps out every other opener
  // that locks (root included); TIOCEXCL keeps out the others, except root.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    Fail(error);
    return kInvalidPortHandle;
  }
  ::ioctl(fd, TIOCEXCL);
  timeouts_ = {};
  return fd;
}

bool PosixSerialPort::GetState(PortHandle port, PortSettings& settings) {
  termios tio{};
  if (::tcgetattr(Descriptor(port), &tio) != 0) {
    return Fail();
  }
  settings.baudRate = 0;
  const speed_t speed = ::cfgetospeed(&tio);
  for (const Rate& rate : kRates) {
    if (rate.speed == speed) {
      settings.baudRate = rate.bitsPerSecond;
    }
  }
  std::uint32_t flags = dcb::kBinary | dcb::kDtrControlEnable;
  if ((tio.c_iflag & INPCK) != 0) {
    flags |= dcb::kParity;
  }
  if ((tio.c_cflag & CRTSCTS) != 0) {
    flags |= dcb::kOutxCtsFlow | dcb::kRtsControlHandshake;
  } else {
    flags |= dcb::kRtsControlEnable;
  }
  if ((tio.c_iflag & IXON) != 0) {
    flags |= dcb::kOutX;
  }
  if ((tio.c_iflag & IXOFF) != 0) {
    flags |= dcb::kInX;
  }
  settings.flags = flags;
  settings.wReserved = 0;
  settings.xonLim = 0;
  settings.xoffLim = 0;
  switch (tio.c_cflag & CSIZE) {
    case CS5:
      settings.byteSize = 5;
      break;
    case CS6:
      settings.byteSize = 6;
      break;
    case CS7:
      settings.byteSize = 7;
      break;
    default:
      settings.byteSize = 8;
      break;
  }
  settings.parity = dcb::kNoParity;
  if ((tio.c_cflag & PARENB) != 0) {
    const bool odd = (tio.c_cflag & PARODD) != 0;
    if ((tio.c_cflag & CMSPAR) != 0) {
      settings.parity = odd ? dcb::kMarkParity : dcb::kSpaceParity;
    } else {
      settings.parity = odd ? dcb::kOddParity : dcb::kEvenParity;
    }
  }
  settings.stopBits = (tio.c_cflag & CSTOPB) != 0 ? dcb::kTwoStopBits : dcb::kOneStopBit;
  settings.xonChar = static_cast<char>(tio.c_cc[VSTART]);
  settings.xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
  settings.errorChar = 0;
  settings.eofChar = 0;
  settings.evtChar = 0;
  settings.wReserved1 = 0;
  return true;
}

bool PosixSerialPort::SetState(PortHandle port, const PortSettings& settings) {
  termios tio{};
  if (::tcgetattr(Descriptor(port), &tio) != 0) {
    return Fail();
  }
  ::cfmakeraw(&tio);
  const Rate* rate = nullptr;
  for (const Rate& candidate : kRates) {
    if (candidate.bitsPerSecond == settings.baudRate) {
      rate = &candidate;
    }
  }
  if (rate == nullptr || ::cfsetispeed(&tio, rate->speed) != 0 ||
      ::cfsetospeed(&tio, rate->speed) != 0) {
    return Fail(EINVAL);
  }
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  switch (settings.byteSize) {
    case 5:
      tio.c_cflag |= CS5;
      break;
    case 6:
      tio.c_cflag |= CS6;
      break;
    case 7:
      tio.c_cflag |= CS7;
      break;
    case 8:
      tio.c_cflag |= CS8;
      break;
    default:
      return Fail(EINVAL);
  }
  switch (settings.parity) {
    case dcb::kNoParity:
      break;
    case dcb::kOddParity:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case dcb::kEvenParity:
      tio.c_cflag |= PARENB;
      break;
    case dcb::kMarkParity:
      tio.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case dcb::kSpaceParity:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      return Fail(EINVAL);
  }
  switch (settings.stopBits) {
    case dcb::kOneStopBit:
      break;
    case dcb::kTwoStopBits:
      tio.c_cflag |= CSTOPB;
      break;
    default:
      return Fail(EINVAL);
  }
  const std::uint32_t flags = settings.flags;
  if ((flags & dcb::kOutxCtsFlow) != 0 ||
      (flags & dcb::kRtsControlMask) == dcb::kRtsControlHandshake) {
    tio.c_cflag |= CRTSCTS;
  }
  tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF);
  if ((flags & dcb::kParity) != 0) {
    tio.c_iflag |= INPCK;
  }
  if ((flags & dcb::kOutX) != 0) {
    tio.c_iflag |= IXON;
  }
  if ((flags & dcb::kInX) != 0) {
    tio.c_iflag |= IXOFF;
  }
  if (settings.xonChar != 0) {
    tio.c_cc[VSTART] = static_cast<cc_t>(settings.xonChar);
  }
  if (settings.xoffChar != 0) {
    tio.c_cc[VSTOP] = static_cast<cc_t>(settings.xoffChar);
  }
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(Descriptor(port), TCSANOW, &tio) != 0) {
    return Fail();
  }
  return true;
}

bool PosixSerialPort::GetTimeouts(PortHandle /*port*/, PortTimeouts& timeouts) {
  timeouts = timeouts_;
  return true;
}

bool PosixSerialPort::SetTimeouts(PortHandle /*port*/, const PortTimeouts& timeouts) {
  timeouts_ = timeouts;
  return true;
}

bool PosixSerialPort::Escape(PortHandle port, EscapeFunction function) {
  int bits = 0;
  switch (function) {
    case EscapeFunction::kSetDtr:
      bits = TIOCM_DTR;
      break;
    case EscapeFunction::kSetRts:
      bits = TIOCM_RTS;
      break;
    default:
      return Fail(EINVAL);
  }
  if (::ioctl(Descriptor(port), TIOCMBIS, &bits) != 0) {
    return Fail();
  }
  return true;
}

bool PosixSerialPort::Purge(PortHandle port, std::uint32_t flags) {
  const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
  const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
  if (!input && !output) {
    return true;
  }
  const int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
  if (::tcflush(Descriptor(port), queue) != 0) {
    return Fail();
  }
  return true;
}

bool PosixSerialPort::Read(PortHandle port, std::span<std::uint8_t> bytes, std::uint32_t& done) {
  done = 0;
  if (bytes.empty()) {
    return true;
  }
  const std::uint64_t total = std::uint64_t{timeouts_.readTotalTimeoutMultiplier} * bytes.size() +
                              timeouts_.readTotalTimeoutConstant;
  // Interval MAXDWORD with no total time-out: return at once with what has arrived.
  const bool immediate = timeouts_.readIntervalTimeout == kMaxDword && total == 0;
  const bool limited = immediate || total != 0;
  const SteadyTime deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(total);
  while (done < bytes.size()) {
    pollfd request{Descriptor(port), POLLIN, 0};
    const int ready = ::poll(&request, 1, PollWait(limited, deadline));
    if (ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      return Fail();
    }
    if (ready == 0) {
      if (std::chrono::steady_clock::now() < deadline && !immediate) {
        continue;
      }
      break;
    }
    const ssize_t got = ::read(Descriptor(port), bytes.subspan(done).data(), bytes.size() - done);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) {
        continue;
      }
      return Fail();
    }
    if (got == 0) {
      return Fail(EIO);  // readable yet empty: the other end hung up
    }
    done += static_cast<std::uint32_t>(got);
  }
  return true;
}

bool PosixSerialPort::Write(PortHandle port, std::span<const std::uint8_t> bytes,
                            std::uint32_t& done) {
  done = 0;
  const std::uint64_t total = std::uint64_t{timeouts_.writeTotalTimeoutMultiplier} * bytes.size() +
                              timeouts_.writeTotalTimeoutConstant;
  const SteadyTime deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(total);
  while (done < bytes.size()) {
    pollfd request{Descriptor(port), POLLOUT, 0};
    const int ready = ::poll(&request, 1, PollWait(total != 0, deadline));
    if (ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      return Fail();
    }
    if (ready == 0) {
      if (std::chrono::steady_clock::now() < deadline) {
        continue;
      }
      break;  // write time-out: the count tells how far it got
    }
    const ssize_t put = ::write(Descriptor(port), bytes.subspan(done).data(), bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR || errno == EAGAIN) {
        continue;
      }
      return Fail();
    }
    done += static_cast<std::uint32_t>(put);
  }
  return true;
}

bool PosixSerialPort::Close(PortHandle port) {
  ::ioctl(Descriptor(port), TIOCNXCL);
  if (::close(Descriptor(port)) != 0) {
    return Fail();
  }
  return true;
}

std::uint32_t PosixSerialPort::LastError() { return static_cast<std::uint32_t>(lastError_); }

std::size_t PosixSerialPort::ErrorText(std::uint32_t code, std::span<char16_t> out) {
  if (out.empty() || code > INT_MAX) {
    return 0;
  }
  const int error = static_cast<int>(code);
#ifdef __GLIBC__
  if (::strerrorname_np(error) == nullptr) {
    return 0;
  }
#endif
  const std::string_view text = std::strerror(error);
  const std::size_t length = WidenText(text, out.first(out.size() - 1));
  out[length] = u'\0';
  return length;
}

}  // namespace brindle
