#include "tools/phone_sim/phone_dialogue.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

#include "codec/payload_decode.h"
#include "codec/pdu_reader.h"

namespace brindle::sim {
namespace {

constexpr char kCtrlZ = '\x1a';
constexpr char kEscape = '\x1b';
constexpr char kBackspace = '\x08';
constexpr char kDelete = '\x7f';
constexpr std::string_view kOkText = "\r\nOK\r\n";
constexpr std::string_view kErrorText = "\r\nERROR\r\n";
constexpr std::string_view kPromptText = "\r\n> ";
constexpr std::string_view kRingText = "\r\nRING\r\n";
constexpr std::string_view kInvalidPduText = "\r\n+CMS ERROR: 304\r\n";
constexpr std::string_view kNetworkErrorText = "\r\n+CMS ERROR: 500\r\n";
constexpr int kMaxCmgsLength = 255;
// After a stall longer than this the flood restarts instead of catching up.
constexpr std::uint64_t kRingCatchUpMs = 1000;
constexpr int kGarbageMin = 40;
constexpr int kGarbageMax = 700;
// Longer than any reader's answer buffer, so a reader that stops at its buffer's end leaves
// the final result code behind on the line.
constexpr std::size_t kChattyLineLength = 300;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return Upper(c) >= 'A' && Upper(c) <= 'Z'; }
bool IsHexDigit(char c) { return IsDigit(c) || (Upper(c) >= 'A' && Upper(c) <= 'F'); }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

std::string UpperText(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
  return upper;
}

// A whole decimal number of at most three digits, as AT+CMGS takes it.
std::optional<int> SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), IsDigit)) {
    return std::nullopt;
  }
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

PhoneDialogue::PhoneDialogue(PhoneMode mode, std::uint64_t startMs, std::uint32_t seed)
    : mode_(mode), nextRingMs_(startMs + kRingPeriodMs), lastDueMs_(startMs), random_(seed) {}

void PhoneDialogue::Receive(std::string_view bytes, std::uint64_t nowMs) {
  if (mode_ == PhoneMode::kSilent) {
    return;
  }
  for (const char byte : bytes) {
    if (hangupPending_) {
      return;  // the line is going down; the rest is lost
    }
    if (state_ == State::kPdu) {
      ReceivePduByte(byte, nowMs);
    } else {
      ReceiveCommandByte(byte, nowMs);
    }
  }
}

void PhoneDialogue::ReceiveCommandByte(char byte, std::uint64_t nowMs) {
  Echo(byte, nowMs);
  if (byte == '\r') {
    const Reply reply = lineOverflow_ ? Reply::kError : ExecuteLine(line_);
    line_.clear();
    lineOverflow_ = false;
    SendReply(reply, nowMs);
    return;
  }
  if (byte == '\n') {
    return;  // terminals that end lines with CR LF
  }
  if (byte == kBackspace || byte == kDelete) {
    if (!line_.empty()) {
      line_.pop_back();
    }
    return;
  }
  if (line_.size() < kCommandLineCapacity) {
    line_.push_back(byte);
  } else {
    lineOverflow_ = true;
  }
}

PhoneDialogue::Reply PhoneDialogue::ExecuteLine(std::string_view line) {
  line = Trim(line);
  // Anything that is not an AT command line is noise on the line: no answer.
  if (line.size() < 2 || Upper(line[0]) != 'A' || Upper(line[1]) != 'T') {
    return Reply::kNone;
  }
  if (mode_ == PhoneMode::kError) {
    return Reply::kError;
  }
  const std::string_view body = line.substr(2);
  bool echoAfter = echo_;
  std::size_t i = 0;
  while (i < body.size() && body[i] != '+') {
    const char name = Upper(body[i]);
    ++i;
    if (name == ' ') {
      continue;
    }
    const bool ampersand = name == '&';
    char letter = name;
    if (ampersand) {
      if (i >= body.size() || !IsLetter(body[i])) {
        return Reply::kError;
      }
      letter = Upper(body[i]);
      ++i;
    } else if (!IsLetter(name)) {
      return Reply::kError;
    }
    int value = 0;  // an omitted value is 0
    while (i < body.size() && IsDigit(body[i])) {
      value = std::min(value * 10 + (body[i] - '0'), 1000);
      ++i;
    }
    if (!ampersand && letter == 'E') {
      if (value == 0 && mode_ == PhoneMode::kErrorAte0) {
        return Reply::kError;
      }
      echoAfter = value != 0;
    } else if (letter == 'Z' || (ampersand && letter == 'F')) {
      echoAfter = true;  // back to the stored profile, which echoes
    }
  }
  Reply reply = Reply::kOk;
  if (i < body.size()) {
    reply = ExecuteExtended(body.substr(i));
  }
  if (reply != Reply::kError) {
    echo_ = echoAfter;
  }
  return reply;
}

PhoneDialogue::Reply PhoneDialogue::ExecuteExtended(std::string_view command) {
  const std::size_t nameEnd = std::min(command.find_first_of("=?"), command.size());
  const std::string name = UpperText(Trim(command.substr(0, nameEnd)));
  const std::string_view argument = command.substr(nameEnd);
  if (name == "+CMGS") {
    if (argument == "=?") {
      return Reply::kOk;
    }
    const auto length =
        argument.starts_with('=') ? SmallNumber(Trim(argument.substr(1))) : std::nullopt;
    if (!length || *length < 1 || *length > kMaxCmgsLength || mode_ == PhoneMode::kNoPrompt) {
      return Reply::kError;
    }
    state_ = State::kPdu;
    cmgsLength_ = *length;
    pdu_.clear();
    pduOverflow_ = false;
    return Reply::kPrompt;
  }
  if (name == "+CMGF" && argument.starts_with('=') && Trim(argument.substr(1)) == "1") {
    return Reply::kError;  // this phone knows PDU mode only
  }
  return Reply::kOk;
}

void PhoneDialogue::ReceivePduByte(char byte, std::uint64_t nowMs) {
  if (byte == kEscape) {
    LeavePduEntry(nowMs);
    DialogueEvent event;
    event.kind = EventKind::kCancelled;
    event.pdu = pdu_;
    event.cmgsLength = cmgsLength_;
    events_.push_back(std::move(event));
    Answer(kOkText, nowMs);
    return;
  }
  if (byte == kCtrlZ) {
    LeavePduEntry(nowMs);
    FinishPdu(nowMs);
    return;
  }
  Echo(byte, nowMs);
  if (byte == '\r' || byte == '\n') {
    return;
  }
  if (pdu_.size() < kPduEntryCapacity) {
    pdu_.push_back(byte);
  } else {
    pduOverflow_ = true;
  }
  // Halfway through the announced PDU (service-centre octet included) the line drops.
  const std::size_t halfway = static_cast<std::size_t>(cmgsLength_) + 1;
  if (mode_ == PhoneMode::kHangup && pdu_.size() >= halfway) {
    hangupPending_ = true;
    LeavePduEntry(nowMs);
    DialogueEvent event;
    event.kind = EventKind::kHangup;
    event.pdu = pdu_;
    event.cmgsLength = cmgsLength_;
    events_.push_back(std::move(event));
  }
}

void PhoneDialogue::FinishPdu(std::uint64_t nowMs) {
  if (pduOverflow_) {
    Reject("PDU longer than " + std::to_string(kPduEntryCapacity) + " characters", nowMs);
    return;
  }
  if (pdu_.empty()) {
    Reject("empty PDU", nowMs);
    return;
  }
  const auto notHex = std::find_if_not(pdu_.begin(), pdu_.end(), IsHexDigit);
  if (notHex != pdu_.end()) {
    Reject("not a hex digit at offset " + std::to_string(notHex - pdu_.begin()), nowMs);
    return;
  }
  if (pdu_.size() % 2 != 0) {
    Reject("odd number of hex digits", nowMs);
    return;
  }
  const std::size_t octets = pdu_.size() / 2;
  const auto serviceCentre = static_cast<std::size_t>(ParseHexByte(pdu_));
  if (1 + serviceCentre > octets) {
    Reject("service-centre field longer than the PDU", nowMs);
    return;
  }
  const std::size_t tpduOctets = octets - 1 - serviceCentre;
  if (tpduOctets != static_cast<std::size_t>(cmgsLength_)) {
    Reject("AT+CMGS=" + std::to_string(cmgsLength_) + " announced, but " +
               std::to_string(tpduOctets) + " octets followed the service-centre field",
           nowMs);
    return;
  }
  PduReading reading;
  const PduError error = ReadPdu(pdu_, reading);
  if (error != PduError::kNone && error != PduError::kBadPayloadFields) {
    Reject(
        std::string(DescribePduError(error)) + " at offset " + std::to_string(reading.errorOffset),
        nowMs);
    return;
  }
  if (reading.type != PduType::kSubmit) {
    Reject("not an SMS-SUBMIT", nowMs);
    return;
  }
  if (mode_ == PhoneMode::kCmsError) {
    DialogueEvent event;
    event.kind = EventKind::kRejected;
    event.pdu = pdu_;
    event.cmgsLength = cmgsLength_;
    event.octets = octets;
    event.reason = "refused by the network (cms-error mode)";
    events_.push_back(std::move(event));
    Answer(kNetworkErrorText, nowMs);
    return;
  }
  lastReference_ = lastReference_ % 255 + 1;
  Answer("\r\n+CMGS: " + std::to_string(lastReference_) + "\r\n\r\nOK\r\n", nowMs);

  DialogueEvent event;
  event.kind = EventKind::kMessage;
  event.pdu = pdu_;
  event.cmgsLength = cmgsLength_;
  event.octets = octets;
  event.reference = lastReference_;
  event.number = reading.number;
  event.payload.assign(reading.payload, reading.payloadLength);
  event.scoreFields = error == PduError::kNone;
  if (event.scoreFields) {
    event.gameId = reading.fields.gameId;
    event.fixed = reading.fields.fixed;
    event.score = reading.fields.score;
    event.handle.assign(reading.fields.handle, reading.fields.handleLength);
  }
  events_.push_back(std::move(event));
}

void PhoneDialogue::Reject(std::string reason, std::uint64_t nowMs) {
  DialogueEvent event;
  event.kind = EventKind::kRejected;
  event.pdu = pdu_;
  event.cmgsLength = cmgsLength_;
  event.octets = pdu_.size() / 2;
  event.reason = std::move(reason);
  events_.push_back(std::move(event));
  Answer(kInvalidPduText, nowMs);
}

void PhoneDialogue::Echo(char byte, std::uint64_t nowMs) {
  if (echo_ && mode_ != PhoneMode::kGarbage) {
    Queue(std::string(1, byte), nowMs);
  }
}

void PhoneDialogue::Answer(std::string_view text, std::uint64_t nowMs) {
  const std::uint64_t due = mode_ == PhoneMode::kSlow ? nowMs + kSlowAnswerDelayMs : nowMs;
  Queue(mode_ == PhoneMode::kGarbage ? Garbage() : std::string(text), due);
}

void PhoneDialogue::SendReply(Reply reply, std::uint64_t nowMs) {
  if (mode_ == PhoneMode::kChatty && (reply == Reply::kOk || reply == Reply::kError)) {
    Answer("\r\n+INFO: " + std::string(kChattyLineLength, 'i') + "\r\n", nowMs);
  }
  switch (reply) {
    case Reply::kNone:
      break;
    case Reply::kOk:
      Answer(kOkText, nowMs);
      break;
    case Reply::kError:
      Answer(kErrorText, nowMs);
      break;
    case Reply::kPrompt:
      Answer(kPromptText, nowMs);
      break;
  }
}

void PhoneDialogue::Queue(std::string bytes, std::uint64_t dueMs) {
  // The line keeps its order: nothing overtakes an answer that is held back.
  dueMs = std::max(dueMs, lastDueMs_);
  lastDueMs_ = dueMs;
  if (!queue_.empty() && queue_.back().dueMs == dueMs) {
    queue_.back().bytes += bytes;
  } else {
    queue_.push_back({dueMs, std::move(bytes)});
  }
}

std::string PhoneDialogue::Garbage() {
  std::uniform_int_distribution<int> length(kGarbageMin, kGarbageMax);
  std::uniform_int_distribution<int> value(0, 255);
  std::string bytes(static_cast<std::size_t>(length(random_)), '\0');
  for (char& byte : bytes) {
    // No line breaks, and none of the markers a reader looks for.
    do {
      byte = static_cast<char>(value(random_));
    } while (byte == '\r' || byte == '\n' || byte == 'O' || byte == '>');
  }
  return bytes;
}

void PhoneDialogue::LeavePduEntry(std::uint64_t nowMs) {
  state_ = State::kCommand;
  nextRingMs_ = nowMs + kRingPeriodMs;
}

bool PhoneDialogue::Ringing() const {
  // Unsolicited codes wait while the line is reserved for PDU entry, as a phone holds them
  // until the prompt's text is done.
  return mode_ == PhoneMode::kFlood && unsolicited_ && state_ != State::kPdu;
}

std::string PhoneDialogue::TakeDue(std::uint64_t nowMs) {
  if (Ringing()) {
    if (nowMs > nextRingMs_ + kRingCatchUpMs) {
      nextRingMs_ = nowMs;
    }
    while (nextRingMs_ <= nowMs) {
      Queue(std::string(kRingText), nextRingMs_);
      nextRingMs_ += kRingPeriodMs;
    }
  }
  std::string due;
  while (!queue_.empty() && queue_.front().dueMs <= nowMs) {
    due += queue_.front().bytes;
    queue_.pop_front();
  }
  return due;
}

std::optional<std::uint64_t> PhoneDialogue::NextDueMs() const {
  std::optional<std::uint64_t> next;
  if (!queue_.empty()) {
    next = queue_.front().dueMs;
  }
  if (Ringing()) {
    next = next ? std::min(*next, nextRingMs_) : nextRingMs_;
  }
  return next;
}

std::vector<DialogueEvent> PhoneDialogue::TakeEvents() { return std::exchange(events_, {}); }

void PhoneDialogue::Reset(std::uint64_t nowMs) {
  state_ = State::kCommand;
  echo_ = true;
  hangupPending_ = false;
  line_.clear();
  lineOverflow_ = false;
  pdu_.clear();
  pduOverflow_ = false;
  queue_.clear();
  lastDueMs_ = nowMs;
  nextRingMs_ = nowMs + kRingPeriodMs;
}

}  // namespace brindle::sim
