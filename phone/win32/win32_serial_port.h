// The serial-port interface over the Win32 comm calls, one call per operation.
#pragma once

#include "phone/serial_port.h"

namespace brindle {

class Win32SerialPort final : public SerialPort {
 public:
  PortHandle Open(std::u16string_view name) override;
  bool GetState(PortHandle port, PortSettings& settings) override;
  bool SetState(PortHandle port, const PortSettings& settings) override;
  bool GetTimeouts(PortHandle port, PortTimeouts& timeouts) override;
  bool SetTimeouts(PortHandle port, const PortTimeouts& timeouts) override;
  bool Escape(PortHandle port, EscapeFunction function) override;
  bool Purge(PortHandle port, std::uint32_t flags) override;
  bool Read(PortHandle port, std::span<std::uint8_t> bytes, std::uint32_t& done) override;
  bool Write(PortHandle port, std::span<const std::uint8_t> bytes, std::uint32_t& done) override;
  bool Close(PortHandle port) override;
  std::uint32_t LastError() override;
  std::size_t ErrorText(std::uint32_t code, std::span<char16_t> out) override;
};

}  // namespace brindle
