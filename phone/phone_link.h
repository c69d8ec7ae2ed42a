// The serial link to the phone: opening and configuring the port, the AT command writer and
// response reader, and the dialogue of initialisation, submission and shutdown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/clock.h"
#include "base/message_sink.h"
#include "base/sleeper.h"
#include "phone/serial_port.h"

namespace brindle {

// What a link talks through; all of them outlive the link.
struct LinkServices {
  SerialPort* port = nullptr;
  MessageSink* boxes = nullptr;
  Sleeper* sleeper = nullptr;
  // Bounds an endless answer; nullptr means a steady clock.
  Clock* clock = nullptr;
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
// No well-behaved answer lasts this long; a phone that keeps sending is cut off here.
inline constexpr std::uint64_t kResponseBoundMs = 4000;
// A line under way when the bound passes may take this much longer to end: an answer cut in
// the middle of a line would leave its rest to be framed as the start of the next answer.
inline constexpr std::uint64_t kLineGraceMs = 500;

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
  int ReportError(const char* prefix, std::uint32_t errorCode, bool show) const;
  static void ApplyPortSettings(PortSettings& settings);
  static void ApplyPortTimeouts(PortTimeouts& timeouts);

  // Refuses (false, nothing written) a text longer than kCommandCapacity.
  bool WriteCommand(std::u16string_view text);
  // `line` holds kLineCapacity characters at least. Always 1. Bytes beyond 511 in one line are
  // dropped; reading stops after kResponseBoundMs of continuous input.
  int ReadLine(std::span<char16_t> line);
  // Always 1; `response` is NUL-terminated and keeps the answer's first characters that fit.
  // Reading goes on, dropping the excess, until the phone goes quiet or, after kResponseBoundMs,
  // the line under way has ended, so that no part of this answer is read as the next command's.
  int ReadResponse(std::span<char16_t> response);

  int InitPhone();
  // 0 for a PDU text longer than kMaxPduText (nothing written) and when the phone's answer
  // after the PDU contains "ERROR".
  int SendPdu(std::string_view pdu);

  PortHandle portHandle = kInvalidPortHandle;
  std::int32_t opened = 0;
  std::int32_t phoneReady = 0;

 private:
  void SendShutdownCommands();
  void ReadLineUntil(std::span<char16_t> line, std::uint64_t deadline);
  [[nodiscard]] std::uint64_t NowMs() const;

  LinkServices services_;
  // Set when a read of the port failed (the line is gone), not merely timed out, and when
  // "OK" and a carriage return arrived in the raw bytes, however the lines were framed.
  bool readFailed_ = false;
  // Which of "OK", ">" and "ERROR" the last answer held in any line, kept in `response` or not.
  std::uint8_t answerMarkers_ = 0;
  bool okReceived_ = false;
  std::uint32_t recentBytes_ = 0;
};

}  // namespace brindle
