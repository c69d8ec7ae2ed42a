// The Win32 port layer against a real serial device, under wine: opens the port through
// PhoneLink with the Win32 port, reads the settings and time-outs back from the device with
// the plain Win32 calls, exchanges one command with the phone, and reports it all as
// key=value lines for the test to check.
#include <windows.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "phone/phone_link.h"
#include "phone/win32/win32_serial_port.h"

namespace {

void Emit(const std::string& line) {
  (void)std::fputs(line.c_str(), stdout);
  (void)std::fputc('\n', stdout);
  (void)std::fflush(stdout);
}

std::string Ascii(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\n') {
      out += "\\n";
    } else {
      out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
  }
  return out;
}

std::string Hex(unsigned long value) {
  std::array<char, 16> text{};
  (void)std::snprintf(text.data(), text.size(), "0x%08lX", value);
  return text.data();
}

class PrintedBoxes final : public brindle::MessageSink {
 public:
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override {
    Emit("box caption=" + Ascii(caption) + " style=" + Hex(style) + " text=" + Ascii(text));
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    Emit("usage: port_probe PORT");
    return 2;
  }
  std::u16string port;
  for (const wchar_t* c = argv[1]; *c != L'\0'; ++c) {
    port.push_back(static_cast<char16_t>(*c));
  }
  brindle::Win32SerialPort serial;
  PrintedBoxes boxes;
  brindle::RealSleeper sleeper;
  brindle::PhoneLink link({&serial, &boxes, &sleeper, nullptr});

  const bool opened = link.Open(port, brindle::kPortBaudRate);
  Emit("open=" + std::to_string(opened ? 1 : 0) + " opened=" + std::to_string(link.opened));
  if (opened) {
    auto* handle = reinterpret_cast<HANDLE>(link.portHandle);  // NOLINT(performance-no-int-to-ptr)
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const BOOL gotState = GetCommState(handle, &dcb);
    unsigned long flags = 0;
    std::memcpy(&flags, reinterpret_cast<const unsigned char*>(&dcb) + 8, 4);
    Emit("getstate=" + std::to_string(gotState) + " baud=" + std::to_string(dcb.BaudRate) +
         " flags=" + Hex(flags) + " bytesize=" + std::to_string(dcb.ByteSize) +
         " parity=" + std::to_string(dcb.Parity) + " stopbits=" + std::to_string(dcb.StopBits));
    COMMTIMEOUTS timeouts{};
    const BOOL gotTimeouts = GetCommTimeouts(handle, &timeouts);
    Emit("gettimeouts=" + std::to_string(gotTimeouts) +
         " interval=" + Hex(timeouts.ReadIntervalTimeout) +
         " readmult=" + std::to_string(timeouts.ReadTotalTimeoutMultiplier) +
         " readconst=" + std::to_string(timeouts.ReadTotalTimeoutConstant) +
         " writemult=" + std::to_string(timeouts.WriteTotalTimeoutMultiplier) +
         " writeconst=" + std::to_string(timeouts.WriteTotalTimeoutConstant));

    const bool wrote = link.WriteCommand(u"AT\r");
    std::array<char16_t, brindle::kResponseCapacity> response{};
    const DWORD start = GetTickCount();
    link.ReadResponse(response);
    const DWORD elapsed = GetTickCount() - start;
    Emit("write=" + std::to_string(wrote ? 1 : 0) + " response=" +
         Ascii(std::u16string_view(response.data())) + " readms=" + std::to_string(elapsed));
  }
  Emit("close=" + std::to_string(link.Close()));
  return 0;
}
