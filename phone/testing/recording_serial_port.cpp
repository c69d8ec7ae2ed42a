#include "phone/testing/recording_serial_port.h"

#include <algorithm>

#include "base/text.h"

namespace brindle {

void RecordingSerialPort::QueueInput(std::string_view bytes) {
  for (const char c : bytes) {
    input_.push_back(static_cast<unsigned char>(c));
  }
}

void RecordingSerialPort::AnswerLikeAPhone() {
  AnswerAfter("AT+CMGS=", "\r\n> ");
  AnswerAfter("\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  AnswerAfter("", "\r\nOK\r\n");
}

bool RecordingSerialPort::Call(PortCall call, PortHandle port, std::string entry) {
  bool ok = call == PortCall::kOpen || (open_ && port == openHandle_);
  lastError_ = ok ? lastError_ : kInvalidHandleError;
  Failure& failure = failures_[call];
  if (ok && failure.times != 0 && failure.skip-- <= 0) {
    failure.times -= failure.times > 0 ? 1 : 0;
    lastError_ = failure.errorCode;
    ok = false;
  }
  if (call != PortCall::kRead || !reading_) {
    trace_.push_back(std::move(entry));
  }
  reading_ = call == PortCall::kRead && ok;
  trace_.back() += ok ? "" : " -> fail";
  return ok;
}

PortHandle RecordingSerialPort::Open(std::u16string_view name) {
  open_ =
      Call(PortCall::kOpen, kInvalidPortHandle, "Open " + std::string(name.begin(), name.end()));
  return open_ ? openHandle_ : kInvalidPortHandle;
}

bool RecordingSerialPort::GetState(PortHandle port, PortSettings& settings) {
  const std::uint32_t length = settings.dcbLength;
  const bool ok = Call(PortCall::kGetState, port, "GetState " + std::to_string(length));
  settings = ok ? state_ : settings;
  settings.dcbLength = length;
  return ok;
}

bool RecordingSerialPort::SetState(PortHandle port, const PortSettings& settings) {
  const bool ok = Call(PortCall::kSetState, port, "SetState");
  state_ = ok ? settings : state_;
  return ok;
}

bool RecordingSerialPort::GetTimeouts(PortHandle port, PortTimeouts& timeouts) {
  const bool ok = Call(PortCall::kGetTimeouts, port, "GetTimeouts");
  timeouts = ok ? timeouts_ : timeouts;
  return ok;
}

bool RecordingSerialPort::SetTimeouts(PortHandle port, const PortTimeouts& timeouts) {
  const bool ok = Call(PortCall::kSetTimeouts, port, "SetTimeouts");
  timeouts_ = ok ? timeouts : timeouts_;
  return ok;
}

bool RecordingSerialPort::Escape(PortHandle port, EscapeFunction function) {
  return Call(PortCall::kEscape, port,
              function == EscapeFunction::kSetDtr ? "Escape SETDTR" : "Escape SETRTS");
}

bool RecordingSerialPort::Purge(PortHandle port, std::uint32_t flags) {
  return Call(PortCall::kPurge, port, "Purge " + std::to_string(flags));
}

bool RecordingSerialPort::Read(PortHandle port, std::span<std::uint8_t> bytes,
                               std::uint32_t& done) {
  done = 0;
  if (!Call(PortCall::kRead, port, "Read ")) {
    return false;
  }
  int next = kGap;
  if (!input_.empty()) {
    next = input_.front();
    input_.pop_front();
  }
  if (next != kGap) {
    bytes[0] = static_cast<std::uint8_t>(next);
    done = 1;
    trace_.back() += static_cast<char>(next);
  }
  return true;
}

bool RecordingSerialPort::Write(PortHandle port, std::span<const std::uint8_t> bytes,
                                std::uint32_t& done) {
  const std::string text(bytes.begin(), bytes.end());
  done = 0;
  if (!Call(PortCall::kWrite, port, "Write " + text)) {
    return false;
  }
  done = static_cast<std::uint32_t>(std::min(bytes.size(), writeLimit_));
  writes_.push_back(text.substr(0, done));
  if (respond_) {
    if (const std::string reply = respond_(writes_.back()); !reply.empty()) {
      QueueInput(reply);
      return true;
    }
  }
  const auto answer = std::find_if(answers_.begin(), answers_.end(), [&](const auto& rule) {
    return writes_.back().find(rule.first) != std::string::npos;
  });
  if (answer != answers_.end()) {
    QueueInput(answer->second);
  }
  return true;
}

bool RecordingSerialPort::Close(PortHandle port) {
  const bool ok = Call(PortCall::kClose, port, "Close");
  open_ = open_ && !ok;
  return ok;
}

std::size_t RecordingSerialPort::ErrorText(std::uint32_t code, std::span<char16_t> out) {
  return CopyText(errorTexts_[code], out);
}

}  // namespace brindle
