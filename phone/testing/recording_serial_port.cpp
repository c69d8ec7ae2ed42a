#include "phone/testing/recording_serial_port.h"

#include <algorithm>

namespace brindle {

namespace {

std::string Quoted(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default: {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
          constexpr std::string_view kDigits = "0123456789ABCDEF";
          out += "\\x";
          out += kDigits[byte >> 4];
          out += kDigits[byte & 0xF];
        } else {
          out += c;
        }
      }
    }
  }
  return out + "\"";
}

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text) {
    out += c <= 0xFF ? static_cast<char>(c) : '?';
  }
  return out;
}

PortCallRecord Record(PortCall call, PortHandle handle) {
  PortCallRecord record;
  record.call = call;
  record.handle = handle;
  return record;
}

const char* CallName(PortCall call) {
  switch (call) {
    case PortCall::kOpen:
      return "Open";
    case PortCall::kGetState:
      return "GetState";
    case PortCall::kSetState:
      return "SetState";
    case PortCall::kGetTimeouts:
      return "GetTimeouts";
    case PortCall::kSetTimeouts:
      return "SetTimeouts";
    case PortCall::kEscape:
      return "Escape";
    case PortCall::kPurge:
      return "Purge";
    case PortCall::kRead:
      return "Read";
    case PortCall::kWrite:
      return "Write";
    case PortCall::kClose:
      return "Close";
    case PortCall::kLastError:
      return "LastError";
    case PortCall::kErrorText:
      return "ErrorText";
  }
  return "?";
}

}  // namespace

void RecordingSerialPort::QueueInput(std::string_view bytes) {
  for (const char c : bytes) {
    input_.push_back(static_cast<unsigned char>(c));
  }
}

void RecordingSerialPort::QueueGap() { input_.push_back(kGap); }

void RecordingSerialPort::AnswerAfter(std::string_view trigger, std::string_view reply) {
  answers_.push_back({std::string(trigger), std::string(reply)});
}

void RecordingSerialPort::AnswerLikeAPhone() {
  AnswerAfter("AT+CMGS=", "\r\n> ");
  AnswerAfter("\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  AnswerAfter("", "\r\nOK\r\n");
}

void RecordingSerialPort::SetEndlessInput(std::string_view pattern) {
  endless_ = pattern;
  endlessAt_ = 0;
}

void RecordingSerialPort::FailCall(PortCall call, std::uint32_t errorCode, int times, int skip) {
  failures_[call] = {errorCode, times, skip};
}

void RecordingSerialPort::LimitWrites(std::size_t maxBytes) { writeLimit_ = maxBytes; }

void RecordingSerialPort::SetErrorText(std::uint32_t code, std::u16string_view text) {
  errorTexts_[code] = text;
}

bool RecordingSerialPort::Failing(PortCall call) {
  const auto found = failures_.find(call);
  if (found == failures_.end() || found->second.times == 0) {
    return false;
  }
  if (found->second.skip > 0) {
    --found->second.skip;
    return false;
  }
  if (found->second.times > 0) {
    --found->second.times;
  }
  lastError_ = found->second.errorCode;
  return true;
}

PortHandle RecordingSerialPort::Open(std::u16string_view name) {
  PortCallRecord record = Record(PortCall::kOpen, kInvalidPortHandle);
  record.name = std::u16string(name);
  if (!Failing(PortCall::kOpen)) {
    record.handle = openHandle_;
    record.result = true;
    ++openHandles_;
  }
  calls_.push_back(record);
  return record.handle;
}

bool RecordingSerialPort::GetState(PortHandle port, PortSettings& settings) {
  PortCallRecord record = Record(PortCall::kGetState, port);
  record.settings = settings;
  record.result = !Failing(PortCall::kGetState);
  if (record.result) {
    // The caller's DCBlength stays; everything else is the port's.
    const std::uint32_t length = settings.dcbLength;
    settings = state_;
    settings.dcbLength = length;
  }
  calls_.push_back(record);
  return record.result;
}

bool RecordingSerialPort::SetState(PortHandle port, const PortSettings& settings) {
  PortCallRecord record = Record(PortCall::kSetState, port);
  record.settings = settings;
  record.result = !Failing(PortCall::kSetState);
  if (record.result) {
    state_ = settings;
  }
  calls_.push_back(record);
  return record.result;
}

bool RecordingSerialPort::GetTimeouts(PortHandle port, PortTimeouts& timeouts) {
  PortCallRecord record = Record(PortCall::kGetTimeouts, port);
  record.result = !Failing(PortCall::kGetTimeouts);
  if (record.result) {
    timeouts = timeouts_;
  }
  record.timeouts = timeouts;
  calls_.push_back(record);
  return record.result;
}

bool RecordingSerialPort::SetTimeouts(PortHandle port, const PortTimeouts& timeouts) {
  PortCallRecord record = Record(PortCall::kSetTimeouts, port);
  record.timeouts = timeouts;
  record.result = !Failing(PortCall::kSetTimeouts);
  if (record.result) {
    timeouts_ = timeouts;
  }
  calls_.push_back(record);
  return record.result;
}

bool RecordingSerialPort::Escape(PortHandle port, EscapeFunction function) {
  PortCallRecord record = Record(PortCall::kEscape, port);
  record.function = function;
  record.result = !Failing(PortCall::kEscape);
  calls_.push_back(record);
  return record.result;
}

bool RecordingSerialPort::Purge(PortHandle port, std::uint32_t flags) {
  PortCallRecord record = Record(PortCall::kPurge, port);
  record.value = flags;
  record.result = !Failing(PortCall::kPurge);
  calls_.push_back(record);
  return record.result;
}

bool RecordingSerialPort::Read(PortHandle port, std::span<std::uint8_t> bytes,
                               std::uint32_t& done) {
  PortCallRecord record = Record(PortCall::kRead, port);
  record.value = static_cast<std::uint32_t>(bytes.size());
  done = 0;
  record.result = !Failing(PortCall::kRead);
  if (record.result && !bytes.empty()) {
    int next = kGap;
    if (!input_.empty()) {
      next = input_.front();
      input_.pop_front();
    } else if (!endless_.empty()) {
      next = static_cast<unsigned char>(endless_[endlessAt_]);
      endlessAt_ = (endlessAt_ + 1) % endless_.size();
    }
    if (next != kGap) {
      bytes[0] = static_cast<std::uint8_t>(next);
      done = 1;
      record.bytes.push_back(static_cast<char>(next));
    }
  }
  calls_.push_back(record);
  return record.result;
}

bool RecordingSerialPort::Write(PortHandle port, std::span<const std::uint8_t> bytes,
                                std::uint32_t& done) {
  PortCallRecord record = Record(PortCall::kWrite, port);
  record.value = static_cast<std::uint32_t>(bytes.size());
  done = 0;
  record.result = !Failing(PortCall::kWrite);
  if (record.result) {
    const std::size_t accepted = std::min(bytes.size(), writeLimit_);
    done = static_cast<std::uint32_t>(accepted);
    for (std::size_t i = 0; i < accepted; ++i) {
      record.bytes.push_back(static_cast<char>(bytes[i]));
    }
    for (const Answer& answer : answers_) {
      if (record.bytes.find(answer.trigger) != std::string::npos) {
        QueueInput(answer.reply);
        break;
      }
    }
  }
  calls_.push_back(record);
  return record.result;
}

bool RecordingSerialPort::Close(PortHandle port) {
  PortCallRecord record = Record(PortCall::kClose, port);
  record.result = !Failing(PortCall::kClose);
  if (record.result) {
    --openHandles_;
  }
  calls_.push_back(record);
  return record.result;
}

std::uint32_t RecordingSerialPort::LastError() {
  PortCallRecord record = Record(PortCall::kLastError, kInvalidPortHandle);
  record.value = lastError_;
  record.result = true;
  calls_.push_back(record);
  return lastError_;
}

std::size_t RecordingSerialPort::ErrorText(std::uint32_t code, std::span<char16_t> out) {
  PortCallRecord record = Record(PortCall::kErrorText, kInvalidPortHandle);
  record.value = code;
  std::size_t length = 0;
  const auto found = errorTexts_.find(code);
  if (found != errorTexts_.end() && !out.empty()) {
    length = std::min(found->second.size(), out.size() - 1);
    std::copy_n(found->second.begin(), length, out.begin());
    out[length] = u'\0';
  }
  record.result = length != 0;
  calls_.push_back(record);
  return length;
}

std::vector<std::string> RecordingSerialPort::Trace() const {
  std::vector<std::string> trace;
  bool reading = false;
  std::string delivered;
  const auto endReads = [&] {
    if (reading) {
      trace.push_back("Read " + Quoted(delivered));
      reading = false;
      delivered.clear();
    }
  };
  for (const PortCallRecord& record : calls_) {
    if (record.call == PortCall::kLastError || record.call == PortCall::kErrorText) {
      continue;
    }
    if (record.call == PortCall::kRead) {
      reading = true;
      delivered += record.bytes;
      if (!record.result) {
        endReads();
        trace.back() += " -> fail";
      }
      continue;
    }
    endReads();
    std::string entry = CallName(record.call);
    switch (record.call) {
      case PortCall::kOpen:
        entry += " " + Narrow(record.name);
        break;
      case PortCall::kEscape:
        entry += record.function == EscapeFunction::kSetDtr ? " SETDTR" : " SETRTS";
        break;
      case PortCall::kPurge:
        entry += " " + std::to_string(record.value);
        break;
      case PortCall::kWrite:
        entry += " " + Quoted(record.bytes);
        break;
      default:
        break;
    }
    if (!record.result) {
      entry += " -> fail";
    }
    trace.push_back(entry);
  }
  endReads();
  return trace;
}

std::vector<std::string> RecordingSerialPort::Writes() const {
  std::vector<std::string> writes;
  for (const PortCallRecord& record : calls_) {
    if (record.call == PortCall::kWrite) {
      writes.push_back(record.bytes);
    }
  }
  return writes;
}

}  // namespace brindle
