#include "phone/win32/win32_serial_port.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace brindle {
namespace {

static_assert(sizeof(DCB) == 28 && sizeof(PortSettings) == sizeof(DCB));
static_assert(sizeof(COMMTIMEOUTS) == sizeof(PortTimeouts));

// Handles cross the port interface as integers; this is where they become handles again.
HANDLE ToHandle(PortHandle port) {
  return reinterpret_cast<HANDLE>(port);  // NOLINT(performance-no-int-to-ptr)
}

// The name must reach CreateFileW terminated, and a device name is short.
constexpr std::size_t kPortNameCapacity = 64;

constexpr DWORD kGenericReadWrite = 0xC0000000;
constexpr DWORD kWriteThrough = 0x80000000;
constexpr DWORD kSystemTextFlags = 0x1300;  // ALLOCATE_BUFFER | IGNORE_INSERTS | FROM_SYSTEM

// DCB keeps its flag bits in C bit-fields; the word behind them is copied whole.
std::uint32_t FlagWord(const DCB& dcb) {
  std::uint32_t word = 0;
  std::memcpy(&word, reinterpret_cast<const unsigned char*>(&dcb) + 8, sizeof word);
  return word;
}

void SetFlagWord(DCB& dcb, std::uint32_t word) {
  std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + 8, &word, sizeof word);
}

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
  settings.dcbLength = dcb.DCBlength;
  settings.baudRate = dcb.BaudRate;
  settings.flags = FlagWord(dcb);
  settings.wReserved = dcb.wReserved;
  settings.xonLim = dcb.XonLim;
  settings.xoffLim = dcb.XoffLim;
  settings.byteSize = dcb.ByteSize;
  settings.parity = dcb.Parity;
  settings.stopBits = dcb.StopBits;
  settings.xonChar = dcb.XonChar;
  settings.xoffChar = dcb.XoffChar;
  settings.errorChar = dcb.ErrorChar;
  settings.eofChar = dcb.EofChar;
  settings.evtChar = dcb.EvtChar;
  settings.wReserved1 = dcb.wReserved1;
  return ok != FALSE;
}

bool Win32SerialPort::SetState(PortHandle port, const PortSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = settings.dcbLength;
  dcb.BaudRate = settings.baudRate;
  SetFlagWord(dcb, settings.flags);
  dcb.wReserved = settings.wReserved;
  dcb.XonLim = settings.xonLim;
  dcb.XoffLim = settings.xoffLim;
  dcb.ByteSize = settings.byteSize;
  dcb.Parity = settings.parity;
  dcb.StopBits = settings.stopBits;
  dcb.XonChar = settings.xonChar;
  dcb.XoffChar = settings.xoffChar;
  dcb.ErrorChar = settings.errorChar;
  dcb.EofChar = settings.eofChar;
  dcb.EvtChar = settings.evtChar;
  dcb.wReserved1 = settings.wReserved1;
  return SetCommState(ToHandle(port), &dcb) != FALSE;
}

bool Win32SerialPort::GetTimeouts(PortHandle port, PortTimeouts& timeouts) {
  COMMTIMEOUTS values{};
  const BOOL ok = GetCommTimeouts(ToHandle(port), &values);
  timeouts.readIntervalTimeout = values.ReadIntervalTimeout;
  timeouts.readTotalTimeoutMultiplier = values.ReadTotalTimeoutMultiplier;
  timeouts.readTotalTimeoutConstant = values.ReadTotalTimeoutConstant;
  timeouts.writeTotalTimeoutMultiplier = values.WriteTotalTimeoutMultiplier;
  timeouts.writeTotalTimeoutConstant = values.WriteTotalTimeoutConstant;
  return ok != FALSE;
}

bool Win32SerialPort::SetTimeouts(PortHandle port, const PortTimeouts& timeouts) {
  COMMTIMEOUTS values{};
  values.ReadIntervalTimeout = timeouts.readIntervalTimeout;
  values.ReadTotalTimeoutMultiplier = timeouts.readTotalTimeoutMultiplier;
  values.ReadTotalTimeoutConstant = timeouts.readTotalTimeoutConstant;
  values.WriteTotalTimeoutMultiplier = timeouts.writeTotalTimeoutMultiplier;
  values.WriteTotalTimeoutConstant = timeouts.writeTotalTimeoutConstant;
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
