#include "tools/phone_sim/phone_dialogue.h"

#include <algorithm>
#include <array>
#include <utility>

#include "codec/score_reader.h"
#include "tools/phone_sim/at_text.h"

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
constexpr std::string_view kNotSupportedText = "\r\nCOMMAND NOT SUPPORT\r\n";
constexpr int kMaxCmgsLength = 255;
// After a stall longer than this the flood restarts instead of catching up.
constexpr std::uint64_t kRingCatchUpMs = 1000;
constexpr int kGarbageMin = 40;
constexpr int kGarbageMax = 700;
// Longer than any reader's answer buffer, so a reader that stops at its buffer's end leaves
// the final result code behind on the line.
constexpr std::size_t kChattyLineLength = 300;
// sim-busy: "SIM busy", and every third time "please wait, initialising".
constexpr int kCmeSimBusy = 14;
constexpr int kCmeInitialising = 515;
constexpr int kBusyOdds = 3;

// What follows "AT" holds only echo and reset commands (ATE0, ATZ, a bare AT), which a phone
// with a busy SIM still takes.
bool EchoOrResetOnly(std::string_view body) {
  return std::all_of(body.begin(), body.end(), [](char c) {
    return c == ' ' || c == 'E' || c == 'e' || c == 'Z' || c == 'z' || IsDigit(c);
  });
}

// The line is an AT command line with ATZ (or AT&F) among its basic commands.
bool Resets(std::string_view line) {
  const std::string upper = UpperText(Trim(line));
  if (!upper.starts_with("AT")) {
    return false;
  }
  const std::string_view basic = std::string_view(upper).substr(0, upper.find('+')).substr(2);
  return basic.find('Z') != std::string_view::npos || basic.find("&F") != std::string_view::npos;
}

std::string CmsErrorText(int code) { return "\r\n+CMS ERROR: " + std::to_string(code) + "\r\n"; }

}  // namespace

PhoneDialogue::PhoneDialogue(PhoneModes modes, std::uint64_t startMs, std::uint32_t seed,
                             int storeCapacity)
    : nextRingMs_(startMs + kRingPeriodMs),
      lastDueMs_(startMs),
      busyUntilMs_(startMs + kSimBusyMs),
      random_(seed),
      noise_(seed),
      memories_(storeCapacity, modes.Has(PhoneMode::kIndexZero) ? 0 : 1,
                modes.Has(PhoneMode::kMemories)),
      modes_(modes) {}

void PhoneDialogue::Receive(std::string_view bytes, std::uint64_t nowMs) {
  if (In(PhoneMode::kSilent)) {
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
  // A phone stuck in a listing echoes nothing and hears nothing but ATZ.
  if (stuck_ == Stuck::kNo) {
    Echo(byte, nowMs);
  }
  if (byte == '\r') {
    if (stuck_ != Stuck::kNo && !lineOverflow_ && Resets(line_)) {
      EndStuckListing();
    }
    Reply reply = Reply::kNone;
    if (stuck_ == Stuck::kNo) {
      reply = lineOverflow_ ? Reply::kError : ExecuteLine(line_, nowMs);
    }
    line_.clear();
    lineOverflow_ = false;
    SendReply(reply, nowMs);
    ReleaseWithheld(nowMs);
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

PhoneDialogue::Reply PhoneDialogue::ExecuteLine(std::string_view line, std::uint64_t nowMs) {
  line = Trim(line);
  // Anything that is not an AT command line is noise on the line: no answer.
  if (line.size() < 2 || Upper(line[0]) != 'A' || Upper(line[1]) != 'T') {
    return Reply::kNone;
  }
  if (In(PhoneMode::kError)) {
    return Reply::kError;
  }
  const std::string_view body = line.substr(2);
  if (In(PhoneMode::kSimBusy) && nowMs < busyUntilMs_ && !EchoOrResetOnly(body)) {
    return CmeError(++busyAnswers_ % kBusyOdds == 0 ? kCmeInitialising : kCmeSimBusy);
  }
  bool echoAfter = echo_;
  bool resetAfter = false;
  std::size_t i = 0;
  while (i < body.size() && body[i] != '+') {
    const char name = Upper(body[i]);
    ++i;
    if (name == ' ' || name == ';') {
      continue;  // ';' may end the basic commands before an extended one
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
      if (value == 0 && In(PhoneMode::kErrorAte0)) {
        return Reply::kError;
      }
      echoAfter = value != 0;
    } else if (letter == 'Z' || (ampersand && letter == 'F')) {
      echoAfter = true;  // back to the stored profile: echo on, no indications
      resetAfter = true;
    }
  }
  // Extended commands, ';' between them; the first failure ends the line.
  Reply reply = Reply::kOk;
  std::string_view rest = body.substr(i);
  while (!rest.empty() && reply == Reply::kOk) {
    const std::size_t end = std::min(rest.find(';'), rest.size());
    reply = ExecuteExtended(Trim(rest.substr(0, end)), nowMs);
    rest = end < rest.size() ? rest.substr(end + 1) : std::string_view();
  }
  if (reply != Reply::kError && reply != Reply::kNotSupported && reply != Reply::kCmsError) {
    echo_ = echoAfter;
    if (resetAfter) {
      indications_ = IndicationSettings{};
      busyUntilMs_ = nowMs + kSimBusyMs;
    }
  }
  return reply;
}

PhoneDialogue::Reply PhoneDialogue::ExecuteExtended(std::string_view command, std::uint64_t nowMs) {
  const std::size_t nameEnd = std::min(command.find_first_of("=?"), command.size());
  const std::string name = UpperText(Trim(command.substr(0, nameEnd)));
  const std::string_view argument = command.substr(nameEnd);
  if (name == "+CPIN") {
    return EnterPin(argument);
  }
  static constexpr std::array<std::string_view, 6> kNeedSim = {"+CMGS", "+CMGL", "+CMGR",
                                                               "+CMGD", "+CNMI", "+CPMS"};
  if (!pin_.empty() && std::find(kNeedSim.begin(), kNeedSim.end(), name) != kNeedSim.end()) {
    return CmeError(wrongPins_ >= kPinTries ? kCmeSimPukRequired : kCmeSimPinRequired);
  }
  if (name == "+CMGS") {
    return StartSubmit(argument);
  }
  if (name == "+CMGL") {
    return ListMessages(argument, nowMs);
  }
  if (name == "+CMGR") {
    return ReadMessage(argument);
  }
  if (name == "+CMGD") {
    return DeleteMessages(argument);
  }
  if (name == "+CNMI") {
    return SetIndications(argument);
  }
  if (name == "+CPMS") {
    return SelectStorage(argument);
  }
  if (name == "+CMGF") {
    if (argument == "?") {
      Info("+CMGF: 0");
    } else if (argument == "=?") {
      Info("+CMGF: (0)");
    } else if (argument.starts_with('=') && Trim(argument.substr(1)) == "1") {
      return Reply::kError;  // this phone knows PDU mode only
    }
    return Reply::kOk;
  }
  if (name == "+CSCA") {
    if (argument == "?") {
      Info("+CSCA: \"" + std::string(kServiceCentre) + "\",145");
    }
    return Reply::kOk;
  }
  // Settings this phone takes without doing anything with them.
  static constexpr std::array<std::string_view, 10> kHarmless = {
      "+CMEE", "+CSCS", "+CSMP", "+CSMS", "+CSCB", "+CREG", "+CSQ", "+CGMI", "+CGMM", "+CGMR"};
  if (std::find(kHarmless.begin(), kHarmless.end(), name) != kHarmless.end()) {
    return Reply::kOk;
  }
  return Reply::kNotSupported;
}

PhoneDialogue::Reply PhoneDialogue::StartSubmit(std::string_view argument) {
  if (argument == "=?") {
    return Reply::kOk;
  }
  const auto length =
      argument.starts_with('=') ? SmallNumber(Trim(argument.substr(1))) : std::nullopt;
  if (!length || *length < 1 || *length > kMaxCmgsLength || In(PhoneMode::kNoPrompt)) {
    return Reply::kError;
  }
  state_ = State::kPdu;
  cmgsLength_ = *length;
  pdu_.clear();
  pduOverflow_ = false;
  return Reply::kPrompt;
}

PhoneDialogue::Reply PhoneDialogue::EnterPin(std::string_view argument) {
  if (argument == "?") {
    Info(pin_.empty()              ? "+CPIN: READY"
         : wrongPins_ >= kPinTries ? "+CPIN: SIM PUK"
                                   : "+CPIN: SIM PIN");
    return Reply::kOk;
  }
  if (argument == "=?") {
    return Reply::kOk;
  }
  if (!argument.starts_with('=')) {
    return Reply::kError;
  }
  std::string_view given = Trim(argument.substr(1));
  if (given.size() >= 2 && given.front() == '"' && given.back() == '"') {
    given = given.substr(1, given.size() - 2);
  }
  if (pin_.empty()) {
    return CmeError(kCmeNotAllowed);
  }
  if (wrongPins_ >= kPinTries) {
    return CmeError(kCmeSimPukRequired);
  }
  if (given != pin_) {
    ++wrongPins_;
    return CmeError(kCmeIncorrectPassword);
  }
  pin_.clear();
  return Reply::kOk;
}

PhoneDialogue::Reply PhoneDialogue::CmsError(int code) {
  errorCode_ = code;
  return Reply::kCmsError;
}

PhoneDialogue::Reply PhoneDialogue::CmeError(int code) {
  errorCode_ = code;
  return Reply::kCmeError;
}

void PhoneDialogue::Info(std::string_view line) {
  info_ += "\r\n";
  info_ += line;
  info_ += "\r\n";
}

void PhoneDialogue::Push(EventKind kind, int index, std::string reason) {
  DialogueEvent event;
  event.kind = kind;
  event.index = index;
  event.memory = MemoryName(memories_.reading());
  event.reason = std::move(reason);
  events_.push_back(std::move(event));
}

DialogueEvent& PhoneDialogue::PushPduEvent(EventKind kind) {
  DialogueEvent& event = events_.emplace_back();
  event.kind = kind;
  event.pdu = pdu_;
  event.cmgsLength = cmgsLength_;
  return event;
}

// Held unsolicited codes follow the final result code of the command that held them.
void PhoneDialogue::ReleaseHeld(std::uint64_t nowMs) {
  if (!held_.empty()) {
    Queue(std::exchange(held_, {}), nowMs);
  }
}

void PhoneDialogue::ReceivePduByte(char byte, std::uint64_t nowMs) {
  if (byte == kEscape) {
    LeavePduEntry(nowMs);
    PushPduEvent(EventKind::kCancelled);
    Answer(kOkText, nowMs);
    ReleaseHeld(nowMs);
    return;
  }
  if (byte == kCtrlZ) {
    LeavePduEntry(nowMs);
    FinishPdu(nowMs);
    ReleaseHeld(nowMs);
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
  if (In(PhoneMode::kHangup) && pdu_.size() >= halfway) {
    hangupPending_ = true;
    LeavePduEntry(nowMs);
    PushPduEvent(EventKind::kHangup);
  }
}

void PhoneDialogue::FinishPdu(std::uint64_t nowMs) {
  if (pduOverflow_) {
    Reject("PDU longer than " + std::to_string(kPduEntryCapacity) + " characters", nowMs);
    return;
  }
  PduReading reading;
  const PduError error = ReadScorePdu(pdu_, reading);
  if (error != PduError::kNone && error != PduError::kBadPayloadFields) {
    Reject(
        std::string(DescribePduError(error)) + " at offset " + std::to_string(reading.errorOffset),
        nowMs);
    return;
  }
  const std::size_t octets = pdu_.size() / 2;
  const std::size_t tpduOctets = TpduOctets(pdu_);
  if (tpduOctets != static_cast<std::size_t>(cmgsLength_)) {
    Reject("AT+CMGS=" + std::to_string(cmgsLength_) + " announced, but " +
               std::to_string(tpduOctets) + " octets followed the service-centre field",
           nowMs);
    return;
  }
  if (reading.pdu.messageType != MessageType::kSubmit) {
    Reject("not an SMS-SUBMIT", nowMs);
    return;
  }
  if (In(PhoneMode::kCmsError)) {
    DialogueEvent& event = PushPduEvent(EventKind::kRejected);
    event.octets = octets;
    event.reason = "refused by the network (cms-error mode)";
    Answer(CmsErrorText(kCmsNetworkFailure), nowMs);
    return;
  }
  lastReference_ = lastReference_ % 255 + 1;
  Answer("\r\n+CMGS: " + std::to_string(lastReference_) + "\r\n\r\nOK\r\n", nowMs);

  DialogueEvent& event = PushPduEvent(EventKind::kMessage);
  event.octets = octets;
  event.reference = lastReference_;
  event.number = reading.pdu.address.number.data();
  event.payload.assign(reading.payload, reading.payloadLength);
  event.scoreFields = error == PduError::kNone;
  if (event.scoreFields) {
    event.gameId = reading.fields.gameId;
    event.fixed = reading.fields.fixed;
    event.score = reading.fields.score;
    event.handle.assign(reading.fields.handle, reading.fields.handleLength);
  }
}

void PhoneDialogue::Reject(std::string reason, std::uint64_t nowMs) {
  DialogueEvent& event = PushPduEvent(EventKind::kRejected);
  event.octets = pdu_.size() / 2;
  event.reason = std::move(reason);
  Answer(CmsErrorText(kCmsInvalidPduParameter), nowMs);
}

void PhoneDialogue::Echo(char byte, std::uint64_t nowMs) {
  if (echo_ && !In(PhoneMode::kGarbage)) {
    Queue(std::string(1, byte), nowMs);
  }
}

void PhoneDialogue::Answer(std::string_view text, std::uint64_t nowMs) {
  const std::uint64_t due =
      nowMs + answerDelayMs_ + (In(PhoneMode::kSlow) ? kSlowAnswerDelayMs : 0);
  Queue(Noisy(In(PhoneMode::kGarbage) ? Garbage() : std::string(text)), due);
}

void PhoneDialogue::SendReply(Reply reply, std::uint64_t nowMs) {
  if (firstRead_ && In(PhoneMode::kLate)) {
    answerDelayMs_ = kLateAnswerMs;
  }
  if (firstRead_ && In(PhoneMode::kStrayOk)) {
    Answer(kOkText, nowMs);
  }
  firstRead_ = false;
  if (reply != Reply::kNone && !info_.empty()) {
    Answer(info_, nowMs);
  }
  info_.clear();
  if (In(PhoneMode::kChatty) && reply != Reply::kNone && reply != Reply::kPrompt &&
      reply != Reply::kHangup && reply != Reply::kUnfinished) {
    Answer("\r\n+INFO: " + std::string(kChattyLineLength, 'i') + "\r\n", nowMs);
  }
  switch (reply) {
    case Reply::kNone:
    case Reply::kUnfinished:
      break;
    case Reply::kOk:
      Answer(kOkText, nowMs);
      break;
    case Reply::kError:
      Answer(kErrorText, nowMs);
      break;
    case Reply::kNotSupported:
      Answer(In(PhoneMode::kNotSupport) ? kNotSupportedText : kErrorText, nowMs);
      break;
    case Reply::kPrompt:
      Answer(kPromptText, nowMs);
      break;
    case Reply::kCmsError:
      Answer(CmsErrorText(errorCode_), nowMs);
      break;
    case Reply::kCmeError:
      Answer("\r\n+CME ERROR: " + std::to_string(errorCode_) + "\r\n", nowMs);
      break;
    case Reply::kHangup: {
      hangupPending_ = true;
      DialogueEvent event;
      event.kind = EventKind::kHangup;
      events_.push_back(std::move(event));
      break;
    }
  }
  answerDelayMs_ = 0;
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
  return In(PhoneMode::kFlood) && unsolicited_ && state_ != State::kPdu;
}

std::string PhoneDialogue::TakeDue(std::uint64_t nowMs) {
  Stream(nowMs);
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
  if (stuck_ == Stuck::kStreaming) {
    next = next ? std::min(*next, nextStreamMs_) : nextStreamMs_;
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
  held_.clear();
  info_.clear();
  indications_ = IndicationSettings{};
  memories_.ChooseDefault();
  EndStuckListing();
  lastDueMs_ = nowMs;
  nextRingMs_ = nowMs + kRingPeriodMs;
  LineOpened(nowMs);
}

void PhoneDialogue::LineOpened(std::uint64_t nowMs) {
  busyUntilMs_ = nowMs + kSimBusyMs;
  readSinceOpen_ = false;
  if (stuck_ == Stuck::kHung) {
    EndStuckListing();
  }
}

}  // namespace brindle::sim
