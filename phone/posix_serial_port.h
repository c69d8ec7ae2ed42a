// The serial port on POSIX systems, over termios. Port names "COMn:" map to the device named
// by the environment variable BRINDLE_COMn when it is set, otherwise to /dev/ttyS<n-1>; a name
// that starts with '/' is the device's path. Handles are file descriptors; error codes are
// errno values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "phone/serial_port.h"

namespace brindle {

class PosixSerialPort final : public SerialPort {
 public:
  PosixSerialPort() = default;

  // Opens exclusively: a second open of the same device fails with EBUSY until Close.
  PortHandle Open(std::u16string_view name) override;
  bool GetState(PortHandle port, PortSettings& settings) override;
  // Always raw 8-bit input and output; the rate must be one termios knows.
  bool SetState(PortHandle port, const PortSettings& settings) override;
  bool GetTimeouts(PortHandle port, PortTimeouts& timeouts) override;
  // Total time-outs (multiplier times bytes plus constant, 0 meaning none) are honoured; a
  // read with an interval time-out of 0xFFFFFFFF and no total time-out returns at once.
  bool SetTimeouts(PortHandle port, const PortTimeouts& timeouts) override;
  // Fails with ENOTTY on a device without modem lines, such as a pseudo-terminal.
  bool Escape(PortHandle port, EscapeFunction function) override;
  bool Purge(PortHandle port, std::uint32_t flags) override;
  bool Read(PortHandle port, std::span<std::uint8_t> bytes, std::uint32_t& done) override;
  bool Write(PortHandle port, std::span<const std::uint8_t> bytes, std::uint32_t& done) override;
  bool Close(PortHandle port) override;
  std::uint32_t LastError() override;
  // strerror's text; 0 for a code the system does not know.
  std::size_t ErrorText(std::uint32_t code, std::span<char16_t> out) override;

  // The device path a port name stands for, NUL-terminated in `path`; false when it does not fit.
  static bool ResolvePath(std::u16string_view name, std::span<char> path);

 private:
  bool Fail();
  bool Fail(int error);

  PortTimeouts timeouts_{};
  int lastError_ = 0;
};

}  // namespace brindle
