// The serial link to the phone: opening and configuring the port, the AT command writer and
// response reader, and the dialogue of initialisation, submission and shutdown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "phone/message_sink.h"
#include "phone/serial_port.h"
#include "phone/sleeper.h"

namespace brindle {

// What a link talks through; all three outlive the link.
struct LinkServices {
  SerialPort* port = nullptr;
  MessageSink* boxes = nullptr;
  Sleeper* sleeper = nullptr;
};

inline constexpr std::uint32_t kPortBaudRate = 115200;
inline constexpr std::size_t kCommandCapacity = 256;
inline constexpr std::size_t kLineCapacity = 512;
inline constexpr std::size_t kResponseCapacity = 256;
inline constexpr std::size_t kErrorTextCapacity = 512;
inline constexpr std::size_t kMaxPduText = 254;
inline constexpr std::uint32_t kInitPause = 1500;
inline constexpr std::uint32_t kSubmitPause = 2000;
inline constexpr std::uint32_t kPduPause = 5000;

class PhoneLink {
 public:
  explicit PhoneLink(const LinkServices& services);
  PhoneLink(const PhoneLink&) = delete;
  PhoneLink& operator=(const PhoneLink&) = delete;
  PhoneLink(PhoneLink&&) = delete;
  PhoneLink& operator=(PhoneLink&&) = delete;
  virtual ~PhoneLink();

  bool Open(std::u16string_view portName, std::uint32_t baudRate);
  // 1 when the port was released or never opened, 0 otherwise.
  int Close();
  // Shows `prefix` followed by the system's text for `errorCode`. Always 0.
  int ReportError(const char* prefix, std::uint32_t errorCode, bool show);
  static void ApplyPortSettings(PortSettings& settings);
  static void ApplyPortTimeouts(PortTimeouts& timeouts);

  bool WriteCommand(std::u16string_view text);
  // `line` holds kLineCapacity characters at least. Always 1.
  int ReadLine(std::span<char16_t> line);
  // Always 1; `response` is NUL-terminated and cut to fit.
  int ReadResponse(std::span<char16_t> response);

  int InitPhone();
  int SendPdu(std::string_view pdu);

  PortHandle portHandle = kInvalidPortHandle;
  std::int32_t opened = 0;
  std::int32_t phoneReady = 0;

 private:
  void SendShutdownCommands();

  LinkServices services_;
};

}  // namespace brindle
