// The narrow serial-port interface PhoneLink talks through: the port calls of the Win32 comm
// API with their arguments, so the Win32 implementation is a thin layer, a termios one
// provides the same effects, and a recording double stands in for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace brindle {

using PortHandle = std::intptr_t;
inline constexpr PortHandle kInvalidPortHandle = -1;  // INVALID_HANDLE_VALUE
inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFF;

// The DCB flag word, bit by bit as the platform lays it out.
namespace dcb {
inline constexpr std::uint32_t kBinary = 0x1;
inline constexpr std::uint32_t kParity = 0x2;
inline constexpr std::uint32_t kOutxCtsFlow = 0x4;
inline constexpr std::uint32_t kOutxDsrFlow = 0x8;
inline constexpr std::uint32_t kDtrControlMask = 0x30;
inline constexpr std::uint32_t kDtrControlEnable = 0x10;
inline constexpr std::uint32_t kDsrSensitivity = 0x40;
inline constexpr std::uint32_t kTxContinueOnXoff = 0x80;
inline constexpr std::uint32_t kOutX = 0x100;
inline constexpr std::uint32_t kInX = 0x200;
inline constexpr std::uint32_t kErrorChar = 0x400;
inline constexpr std::uint32_t kNull = 0x800;
inline constexpr std::uint32_t kRtsControlMask = 0x3000;
inline constexpr std::uint32_t kRtsControlEnable = 0x1000;
inline constexpr std::uint32_t kRtsControlHandshake = 0x2000;
inline constexpr std::uint32_t kAbortOnError = 0x4000;
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kMarkParity = 3;
inline constexpr std::uint8_t kSpaceParity = 4;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kTwoStopBits = 2;
}  // namespace dcb

// The size of the Win32 port structure (DCB), which it carries in its first field.
inline constexpr std::uint32_t kDcbLength = 28;

// Mirrors DCB field for field (28 bytes).
struct PortSettings {
  std::uint32_t dcbLength = kDcbLength;
  std::uint32_t baudRate = 0;
  std::uint32_t flags = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t xonLim = 0;
  std::uint16_t xoffLim = 0;
  std::uint8_t byteSize = 0;
  std::uint8_t parity = 0;
  std::uint8_t stopBits = 0;
  char xonChar = 0;
  char xoffChar = 0;
  char errorChar = 0;
  char eofChar = 0;
  char evtChar = 0;
  std::uint16_t wReserved1 = 0;
};

// Mirrors COMMTIMEOUTS.
struct PortTimeouts {
  std::uint32_t readIntervalTimeout = 0;
  std::uint32_t readTotalTimeoutMultiplier = 0;
  std::uint32_t readTotalTimeoutConstant = 0;
  std::uint32_t writeTotalTimeoutMultiplier = 0;
  std::uint32_t writeTotalTimeoutConstant = 0;
};

enum class EscapeFunction : std::uint32_t { kSetRts = 3, kSetDtr = 5 };
// Purge's flags.
inline constexpr std::uint32_t kPurgeTxAbort = 0x1;
inline constexpr std::uint32_t kPurgeRxAbort = 0x2;
inline constexpr std::uint32_t kPurgeTxClear = 0x4;
inline constexpr std::uint32_t kPurgeRxClear = 0x8;
inline constexpr std::uint32_t kPurgeAll =
    kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;

class SerialPort {
 public:
  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  SerialPort(SerialPort&&) = delete;
  SerialPort& operator=(SerialPort&&) = delete;
  virtual ~SerialPort() = default;

  // Exclusive read/write open of an existing device; kInvalidPortHandle on failure.
  virtual PortHandle Open(std::u16string_view name) = 0;
  virtual bool GetState(PortHandle port, PortSettings& settings) = 0;
  virtual bool SetState(PortHandle port, const PortSettings& settings) = 0;
  virtual bool GetTimeouts(PortHandle port, PortTimeouts& timeouts) = 0;
  virtual bool SetTimeouts(PortHandle port, const PortTimeouts& timeouts) = 0;
  virtual bool Escape(PortHandle port, EscapeFunction function) = 0;
  virtual bool Purge(PortHandle port, std::uint32_t flags) = 0;
  // Blocking transfers bounded by the port's time-outs; `done` counts the bytes moved.
  virtual bool Read(PortHandle port, std::span<std::uint8_t> bytes, std::uint32_t& done) = 0;
  virtual bool Write(PortHandle port, std::span<const std::uint8_t> bytes, std::uint32_t& done) = 0;
  virtual bool Close(PortHandle port) = 0;
  // The error code of the call that just failed.
  virtual std::uint32_t LastError() = 0;
  // The system's text for `code`, NUL-terminated and cut to fit; 0 when it has none.
  virtual std::size_t ErrorText(std::uint32_t code, std::span<char16_t> out) = 0;
};

}  // namespace brindle
