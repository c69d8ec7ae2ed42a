#include "phone/phone_link.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <utility>

#include "base/text.h"

namespace brindle {

namespace {

// The port as the phone wants it: binary, parity checked, DTR and RTS held on, and no
// handshake, flow control, character replacement or abort on error.
constexpr std::uint32_t kFlagsCleared = dcb::kOutxCtsFlow | dcb::kOutxDsrFlow |
                                        dcb::kDtrControlMask | dcb::kDsrSensitivity | dcb::kOutX |
                                        dcb::kInX | dcb::kErrorChar | dcb::kNull |
                                        dcb::kRtsControlMask | dcb::kAbortOnError;
constexpr std::uint32_t kFlagsSet = dcb::kBinary | dcb::kParity | dcb::kDtrControlEnable |
                                    dcb::kTxContinueOnXoff | dcb::kRtsControlEnable;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::size_t kReadLineCapacity = 1024;

constexpr std::u16string_view kErrorCaption = u"Error";
constexpr std::u16string_view kResetCommand = u"ATZ\r";
constexpr std::u16string_view kEchoOffCommand = u"ATE0\r";
constexpr std::u16string_view kPduModeCommand = u"AT+CMGF=0\r";
constexpr std::u16string_view kIndicationsOffCommand = u"AT+CNMI=0,0\r";
constexpr std::uint8_t kAccepted = 1;
constexpr std::uint8_t kPrompt = 2;
constexpr std::uint8_t kRejected = 4;
constexpr std::array<std::pair<std::u16string_view, std::uint8_t>, 3> kMarkers{{
    {u"OK", kAccepted},
    {u">", kPrompt},
    {u"ERROR", kRejected},
}};
constexpr std::uint32_t kOkLineEnd = 0x4F4B0D;  // "OK\r"
constexpr char kCtrlZ = '\x1a';

// The widened text, held in `out` (no terminator); cut to fit.
std::u16string_view WidenInto(std::string_view text, std::span<char16_t> out) {
  return {out.data(), WidenText(text, out)};
}

void Pause(Sleeper* sleeper, std::uint32_t milliseconds) {
  if (sleeper != nullptr) {
    sleeper->Pause(milliseconds);
  }
}

}  // namespace

PhoneLink::PhoneLink(const LinkServices& services) : services_(services) {}

PhoneLink::~PhoneLink() {
  if (portHandle != kInvalidPortHandle) {
    Close();
  }
}

bool PhoneLink::Open(std::u16string_view portName, std::uint32_t baudRate) {
  SerialPort& port = *services_.port;
  portHandle = port.Open(portName);
  if (portHandle == kInvalidPortHandle) {
    ReportError("Unable to open port", port.LastError(), true);
    return false;
  }
  opened = 1;

  bool result = false;
  PortSettings settings{};
  port.GetState(portHandle, settings);
  ApplyPortSettings(settings);
  settings.baudRate = baudRate;
  if (!port.SetState(portHandle, settings)) {
    ReportError("Unable to set CommState", port.LastError(), true);
  } else {
    PortTimeouts timeouts{};
    port.GetTimeouts(portHandle, timeouts);
    ApplyPortTimeouts(timeouts);
    if (!port.SetTimeouts(portHandle, timeouts)) {
      ReportError("Unable to set CommTimeouts", port.LastError(), true);
    } else {
      port.Escape(portHandle, EscapeFunction::kSetDtr);
      port.Escape(portHandle, EscapeFunction::kSetRts);
      result = true;
    }
  }

  if (!result) {
    port.Close(portHandle);
    portHandle = kInvalidPortHandle;
  } else {
    port.Purge(portHandle, kPurgeAll);
  }
  return result;
}

int PhoneLink::Close() {
  if (opened == 0) {
    return 1;
  }
  if (phoneReady != 0) {
    SendShutdownCommands();
  }
  if (portHandle == kInvalidPortHandle) {
    return 0;
  }
  services_.port->Purge(portHandle, kPurgeAll);
  if (!services_.port->Close(portHandle)) {
    return 0;
  }
  portHandle = kInvalidPortHandle;
  return 1;
}

int PhoneLink::ReportError(const char* prefix, std::uint32_t errorCode, bool show) const {
  std::array<char16_t, kErrorTextCapacity> systemText{};
  if (services_.port->ErrorText(errorCode, systemText) == 0) {
    return 0;
  }
  std::array<char16_t, kErrorTextCapacity> text{};
  const std::string_view narrowPrefix = prefix == nullptr ? std::string_view{} : prefix;
  // The prefix is widened into the box text directly; what does not fit is cut.
  const std::size_t prefixLength =
      WidenText(narrowPrefix, std::span<char16_t>(text).first(text.size() - 1));
  text[prefixLength] = u'\0';
  AppendText(TerminatedView(std::span<const char16_t>(systemText)), text);
  if (show && services_.boxes != nullptr) {
    services_.boxes->ShowMessage(TerminatedView(std::span<const char16_t>(text)), kErrorCaption,
                                 kMbOk | kMbIconInformation);
  }
  return 0;
}

void PhoneLink::ApplyPortSettings(PortSettings& settings) {
  settings.flags = (settings.flags & ~kFlagsCleared) | kFlagsSet;
  settings.byteSize = 8;
  settings.parity = dcb::kNoParity;
  settings.stopBits = dcb::kOneStopBit;
}

void PhoneLink::ApplyPortTimeouts(PortTimeouts& timeouts) {
  timeouts.readIntervalTimeout = kMaxDword;
  timeouts.readTotalTimeoutMultiplier = 1;
  timeouts.readTotalTimeoutConstant = 500;
  timeouts.writeTotalTimeoutMultiplier = 1;
  timeouts.writeTotalTimeoutConstant = 500;
}

// Not const: it changes what the port and the phone hold.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool PhoneLink::WriteCommand(std::u16string_view text) {
  // A command that does not fit the buffer is not put on the line at all: a cut command would
  // reach the phone as a different one.
  if (text.size() > kCommandCapacity) {
    return false;
  }
  std::array<std::uint8_t, kCommandCapacity> bytes{};
  for (std::size_t i = 0; i < text.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(NarrowChar(text[i]));
  }
  std::uint32_t written = 0;
  const bool ok = services_.port->Write(
      portHandle, std::span<const std::uint8_t>(bytes).first(text.size()), written);
  return ok && written == text.size();
}

int PhoneLink::ReadLine(std::span<char16_t> line) {
  ReadLineUntil(line, NowMs() + kResponseBoundMs);
  return 1;
}

void PhoneLink::ReadLineUntil(std::span<char16_t> line, std::uint64_t deadline) {
  if (!line.empty()) {
    line[0] = u'\0';
  }
  std::array<char, kLineCapacity> narrow{};
  std::size_t length = 0;
  std::uint8_t previous = ' ';
  bool firstBreak = false;
  for (;;) {
    std::array<std::uint8_t, 1> byte{};
    std::uint32_t received = 0;
    if (!services_.port->Read(portHandle, byte, received)) {
      readFailed_ = true;
      break;
    }
    if (received != 1) {
      break;
    }
    const std::uint8_t current = byte[0];
    recentBytes_ = (recentBytes_ << 8U) | current;
    if ((recentBytes_ & 0xFFFFFFU) == kOkLineEnd) {
      okReceived_ = true;
    }
    // Bytes beyond the buffer's room are dropped, but still count for the line break.
    if (current != 0 && length < narrow.size() - 1) {
      narrow[length++] = static_cast<char>(current);
    }
    if (current == kLineFeed && previous == kCarriageReturn) {
      if (firstBreak) {
        break;
      }
      firstBreak = true;
      length = 0;
    }
    previous = current;
    if (NowMs() >= deadline) {
      break;
    }
  }
  if (!line.empty()) {
    line[WidenText(std::string_view(narrow.data(), length), line.first(line.size() - 1))] = u'\0';
  }
}

int PhoneLink::ReadResponse(std::span<char16_t> response) {
  if (!response.empty()) {
    response[0] = u'\0';
  }
  answerMarkers_ = 0;
  const std::uint64_t deadline = NowMs() + kResponseBoundMs;
  std::array<char16_t, kReadLineCapacity> line{};
  // Once `response` is full the phone is still read until it goes quiet: what it sent for this
  // command must not be taken for the next command's answer. The markers are judged on every
  // line, kept or dropped.
  for (;;) {
    ReadLineUntil(line, deadline + kLineGraceMs);
    const std::u16string_view text = TerminatedView(std::span<const char16_t>(line));
    if (text.empty()) {
      break;
    }
    for (const auto& [marker, bit] : kMarkers) {
      if (text.find(marker) != std::u16string_view::npos) {
        answerMarkers_ |= bit;
      }
    }
    AppendText(text, response);
    if (NowMs() >= deadline) {
      break;
    }
  }
  return 1;
}

int PhoneLink::InitPhone() {
  if (opened == 0) {
    return 0;
  }
  std::array<char16_t, kResponseCapacity> response{};
  if (!WriteCommand(kResetCommand)) {
    return 0;
  }
  Pause(services_.sleeper, kInitPause);
  ReadResponse(response);
  for (const std::u16string_view command : {kEchoOffCommand, kPduModeCommand}) {
    if (!WriteCommand(command)) {
      return 0;
    }
    Pause(services_.sleeper, kInitPause);
    ReadResponse(response);
    if ((answerMarkers_ & kAccepted) == 0) {
      return 0;
    }
  }
  phoneReady = 1;
  return 1;
}

int PhoneLink::SendPdu(std::string_view pdu) {
  // The text ends at its first NUL, as a C string would.
  pdu = std::string_view(pdu.data(), std::min(pdu.size(), pdu.find('\0')));
  if (pdu.size() > kMaxPduText) {
    return 0;
  }
  std::array<char, kCommandCapacity> narrow{};
  std::array<char16_t, kCommandCapacity> command{};
  std::array<char16_t, kResponseCapacity> response{};

  // The count leaves out the service-centre octet in front.
  const int octets = static_cast<int>(pdu.size() / 2) - 1;
  std::size_t length = CopyText("AT+CMGS=", narrow);
  const auto converted =
      std::to_chars(narrow.data() + length, narrow.data() + narrow.size() - 1, octets);
  length = static_cast<std::size_t>(converted.ptr - narrow.data());
  narrow[length++] = '\r';
  if (!WriteCommand(WidenInto(std::string_view(narrow.data(), length), command))) {
    return 0;
  }
  Pause(services_.sleeper, kSubmitPause);
  ReadResponse(response);
  if ((answerMarkers_ & kPrompt) == 0) {
    return 0;
  }

  length = CopyText(pdu, narrow);
  narrow[length++] = kCtrlZ;
  if (!WriteCommand(WidenInto(std::string_view(narrow.data(), length), command))) {
    return 0;
  }
  Pause(services_.sleeper, kPduPause);
  // A phone that reports an error did not take the message, nor did one whose line failed
  // (it hung up) before it said OK; silence alone still counts as sent.
  readFailed_ = false;
  okReceived_ = false;
  ReadResponse(response);
  if ((answerMarkers_ & kRejected) != 0) {
    return 0;
  }
  return readFailed_ && !okReceived_ ? 0 : 1;
}

void PhoneLink::SendShutdownCommands() {
  std::array<char16_t, kResponseCapacity> response{};
  WriteCommand(kIndicationsOffCommand);
  ReadResponse(response);
  WriteCommand(kResetCommand);
  ReadResponse(response);
  phoneReady = 0;
}

std::uint64_t PhoneLink::NowMs() const {
  if (services_.clock != nullptr) {
    return services_.clock->NowMs();
  }
  SteadyClock steady;
  return steady.NowMs();
}

}  // namespace brindle
