#include "phone/win32/win32_serial_port.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>

namespace brindle {
namespace {

// PortSettings and PortTimeouts mirror DCB and COMMTIMEOUTS byte for byte, so each crosses the
// interface whole; these hold the layouts to that (the flag bits sit in the word at offset 8).
static_assert(sizeof(DCB) == kDcbLength && sizeof(PortSettings) == sizeof(DCB));
static_assert(offsetof(PortSettings, dcbLength) == offsetof(DCB, DCBlength) &&
              offsetof(PortSettings, baudRate) == offsetof(DCB, BaudRate) &&
              offsetof(PortSettings, flags) == 8 &&
              offsetof(PortSettings, wReserved) == offsetof(DCB, wReserved) &&
              offsetof(PortSettings, xonLim) == offsetof(DCB, XonLim) &&
              offsetof(PortSettings, xoffLim) == offsetof(DCB, XoffLim) &&
              offsetof(PortSettings, byteSize) == offsetof(DCB, ByteSize) &&
              offsetof(PortSettings, parity) == offsetof(DCB, Parity) &&
              offsetof(PortSettings, stopBits) == offsetof(DCB, StopBits) &&
              offsetof(PortSettings, xonChar) == offsetof(DCB, XonChar) &&
              offsetof(PortSettings, xoffChar) == offsetof(DCB, XoffChar) &&
              offsetof(PortSettings, errorChar) == offsetof(DCB, ErrorChar) &&
              offsetof(PortSettings, eofChar) == offsetof(DCB, EofChar) &&
              offsetof(PortSettings, evtChar) == offsetof(DCB, EvtChar) &&
              offsetof(PortSettings, wReserved1) == offsetof(DCB, wReserved1));
static_assert(sizeof(COMMTIMEOUTS) == sizeof(PortTimeouts) &&
              offsetof(PortTimeouts, readIntervalTimeout) ==
                  offsetof(COMMTIMEOUTS, ReadIntervalTimeout) &&
              offsetof(PortTimeouts, readTotalTimeoutMultiplier) ==
                  offsetof(COMMTIMEOUTS, ReadTotalTimeoutMultiplier) &&
              offsetof(PortTimeouts, readTotalTimeoutConstant) ==
                  offsetof(COMMTIMEOUTS, ReadTotalTimeoutConstant) &&
              offsetof(PortTimeouts, writeTotalTimeoutMultiplier) ==
                  offsetof(COMMTIMEOUTS, WriteTotalTimeoutMultiplier) &&
              offsetof(PortTimeouts, writeTotalTimeoutConstant) ==
                  offsetof(COMMTIMEOUTS, WriteTotalTimeoutConstant));

// Handles cross the port interface as integers; this is where they become handles again.
HANDLE ToHandle(PortHandle port) {
  return reinterpret_cast<HANDLE>(port);  // NOLINT(performance-no-int-to-ptr)
}

// The name must reach CreateFileW terminated, and a device name is short.
constexpr std::size_t kPortNameCapacity = 64;

constexpr DWORD kGenericReadWrite = 0xC0000000;
constexpr DWORD kWriteThrough = 0x80000000;
// ALLOCATE_BUFFER | IGNORE_INSERTS | FROM_SYSTEM: flags that CE's FormatMessageW takes as well,
// so both systems build the text the same way (a CE image without message texts returns 0).
constexpr DWORD kSystemTextFlags = 0x1300;

}  // namespace

PortHandle Win32SerialPort::Open(std::u16string_view name) {
  std::array<wchar_t, kPortNameCapacity> path{};
  const std::size_t count = std::min(name.size(), path.size() - 1);
  for (std::size_t i = 0; i < count; ++i) {
    path[i] = static_cast<wchar_t>(name[i]);
  }
  HANDLE handle = CreateFileW(path.data(), kGenericReadWrite, 0, nullptr, OPEN_EXISTING,
                              kWriteThrough, nullptr);
  return reinterpret_cast<PortHandle>(handle);
}

bool Win32SerialPort::GetState(PortHandle port, PortSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = settings.dcbLength;
  const BOOL ok = GetCommState(ToHandle(port), &dcb);
  settings = std::bit_cast<PortSettings>(dcb);
  return ok != FALSE;
}

bool Win32SerialPort::SetState(PortHandle port, const PortSettings& settings) {
  auto dcb = std::bit_cast<DCB>(settings);
  return SetCommState(ToHandle(port), &dcb) != FALSE;
}

bool Win32SerialPort::GetTimeouts(PortHandle port, PortTimeouts& timeouts) {
  COMMTIMEOUTS values{};
  const BOOL ok = GetCommTimeouts(ToHandle(port), &values);
  timeouts = std::bit_cast<PortTimeouts>(values);
  return ok != FALSE;
}

bool Win32SerialPort::SetTimeouts(PortHandle port, const PortTimeouts& timeouts) {
  auto values = std::bit_cast<COMMTIMEOUTS>(timeouts);
  return SetCommTimeouts(ToHandle(port), &values) != FALSE;
}

bool Win32SerialPort::Escape(PortHandle port, EscapeFunction function) {
  return EscapeCommFunction(ToHandle(port), static_cast<DWORD>(function)) != FALSE;
}

bool Win32SerialPort::Purge(PortHandle port, std::uint32_t flags) {
  return PurgeComm(ToHandle(port), flags) != FALSE;
}

bool Win32SerialPort::Read(PortHandle port, std::span<std::uint8_t> bytes, std::uint32_t& done) {
  DWORD count = 0;
  const BOOL ok =
      ReadFile(ToHandle(port), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
  done = count;
  return ok != FALSE;
}

bool Win32SerialPort::Write(PortHandle port, std::span<const std::uint8_t> bytes,
                            std::uint32_t& done) {
  DWORD count = 0;
  const BOOL ok =
      WriteFile(ToHandle(port), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
  done = count;
  return ok != FALSE;
}

bool Win32SerialPort::Close(PortHandle port) { return CloseHandle(ToHandle(port)) != FALSE; }

std::uint32_t Win32SerialPort::LastError() { return GetLastError(); }

std::size_t Win32SerialPort::ErrorText(std::uint32_t code, std::span<char16_t> out) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(kSystemTextFlags, nullptr, code, 0,
                                      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length == 0) {
    return 0;
  }
  std::size_t kept = 0;
  if (!out.empty()) {
    kept = std::min<std::size_t>(length, out.size() - 1);
    for (std::size_t i = 0; i < kept; ++i) {
      out[i] = static_cast<char16_t>(text[i]);
    }
    out[kept] = u'\0';
  }
  LocalFree(text);
  return kept;
}

}  // namespace brindle
