#include "tools/phone_sim/phone_dialogue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <utility>

#include "codec/payload_decode.h"
#include "codec/pdu_reader.h"
#include "tools/phone_sim/deliver_pdu.h"

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
constexpr int kCmsNotAllowed = 302;
constexpr int kCmsInvalidPduParameter = 304;
constexpr int kCmsInvalidIndex = 321;
constexpr int kCmsNetworkFailure = 500;
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

// Comma-separated decimal parameters, each of at most six digits or left out; nothing when
// one is anything else.
std::optional<std::vector<std::optional<int>>> Numbers(std::string_view text) {
  std::vector<std::optional<int>> values;
  if (Trim(text).empty()) {
    return values;
  }
  for (;;) {
    const std::size_t comma = std::min(text.find(','), text.size());
    const std::string_view item = Trim(text.substr(0, comma));
    if (item.empty()) {
      values.emplace_back();
    } else if (item.size() > 6 || !std::all_of(item.begin(), item.end(), IsDigit)) {
      return std::nullopt;
    } else {
      int value = 0;
      std::from_chars(item.data(), item.data() + item.size(), value);
      values.emplace_back(value);
    }
    if (comma == text.size()) {
      return values;
    }
    text.remove_prefix(comma + 1);
  }
}

}  // namespace

PhoneDialogue::PhoneDialogue(PhoneMode mode, std::uint64_t startMs, std::uint32_t seed,
                             int storeCapacity)
    : mode_(mode),
      nextRingMs_(startMs + kRingPeriodMs),
      lastDueMs_(startMs),
      random_(seed),
      store_(storeCapacity) {}

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
      if (value == 0 && mode_ == PhoneMode::kErrorAte0) {
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
    reply = ExecuteExtended(Trim(rest.substr(0, end)));
    rest = end < rest.size() ? rest.substr(end + 1) : std::string_view();
  }
  if (reply != Reply::kError && reply != Reply::kCmsError) {
    echo_ = echoAfter;
    if (resetAfter) {
      indications_ = IndicationSettings{};
    }
  }
  return reply;
}

PhoneDialogue::Reply PhoneDialogue::ExecuteExtended(std::string_view command) {
  const std::size_t nameEnd = std::min(command.find_first_of("=?"), command.size());
  const std::string name = UpperText(Trim(command.substr(0, nameEnd)));
  const std::string_view argument = command.substr(nameEnd);
  if (name == "+CMGS") {
    return StartSubmit(argument);
  }
  if (name == "+CMGL") {
    return ListMessages(argument);
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
  return Reply::kError;
}

PhoneDialogue::Reply PhoneDialogue::StartSubmit(std::string_view argument) {
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

PhoneDialogue::Reply PhoneDialogue::ListMessages(std::string_view argument) {
  if (argument == "=?") {
    Info("+CMGL: (0-4)");
    return Reply::kOk;
  }
  int stat = static_cast<int>(MessageStat::kUnread);  // what a bare AT+CMGL lists
  if (argument.starts_with('=')) {
    const auto values = Numbers(argument.substr(1));
    if (!values || values->size() > 1) {
      return CmsError(kCmsInvalidPduParameter);
    }
    stat = values->empty() ? stat : values->front().value_or(stat);
  } else if (!argument.empty()) {
    return Reply::kError;
  }
  if (stat < 0 || stat > static_cast<int>(MessageStat::kAll)) {
    return CmsError(kCmsInvalidPduParameter);
  }
  std::vector<const StoredMessage*> listed = store_.List(static_cast<MessageStat>(stat));
  // Once: the phone that comes back lists in full.
  const bool hangup = mode_ == PhoneMode::kHangupListing && !listingDropped_ && !listed.empty();
  if (hangup) {
    listingDropped_ = true;
    listed.erase(listed.begin() + 1, listed.end());  // the line drops after the first message
  }
  // One information text: "+CMGL: ..." and the PDU on lines of their own, CR LF between.
  std::string text;
  DialogueEvent event;
  event.kind = EventKind::kListed;
  event.stat = stat;
  for (const StoredMessage* message : listed) {
    if (!text.empty()) {
      text += "\r\n";
      if (mode_ == PhoneMode::kUnsolicitedListing && event.indexes.size() == 1) {
        text += "\r\nRING\r\n\r\n+CMTI: \"SM\"," + std::to_string(event.indexes.front()) + "\r\n";
      }
    }
    text += "+CMGL: " + std::to_string(message->index) + "," +
            std::to_string(static_cast<int>(message->stat)) + ",," +
            std::to_string(message->tpduOctets) + "\r\n" + message->pdu;
    event.indexes.push_back(message->index);
  }
  for (const int index : event.indexes) {
    store_.MarkRead(index);
  }
  events_.push_back(std::move(event));
  if (!text.empty()) {
    Info(text);
  }
  return hangup ? Reply::kHangup : Reply::kOk;
}

PhoneDialogue::Reply PhoneDialogue::ReadMessage(std::string_view argument) {
  if (argument == "=?") {
    return Reply::kOk;
  }
  const auto values = argument.starts_with('=') ? Numbers(argument.substr(1)) : std::nullopt;
  if (!values || values->size() != 1 || !values->front()) {
    return Reply::kError;
  }
  const int index = *values->front();
  const StoredMessage* message = store_.Find(index);
  if (message == nullptr) {
    return CmsError(kCmsInvalidIndex);
  }
  Info("+CMGR: " + std::to_string(static_cast<int>(message->stat)) + ",," +
       std::to_string(message->tpduOctets) + "\r\n" + message->pdu);
  DialogueEvent event;
  event.kind = EventKind::kRead;
  event.index = index;
  event.stat = static_cast<int>(message->stat);
  events_.push_back(std::move(event));
  store_.MarkRead(index);
  return Reply::kOk;
}

PhoneDialogue::Reply PhoneDialogue::DeleteMessages(std::string_view argument) {
  if (argument == "=?") {
    std::string used;
    for (const StoredMessage* message : store_.List(MessageStat::kAll)) {
      used += (used.empty() ? "" : ",") + std::to_string(message->index);
    }
    Info("+CMGD: (" + used + "),(0-4)");
    return Reply::kOk;
  }
  const auto values = argument.starts_with('=') ? Numbers(argument.substr(1)) : std::nullopt;
  if (!values || values->empty() || values->size() > 2) {
    return Reply::kError;
  }
  const int flag = values->size() == 2 ? values->back().value_or(0) : 0;
  if (flag < 0 || flag > 4 || (flag == 0 && !values->front())) {
    return Reply::kError;
  }
  std::vector<int> doomed;
  if (flag == 0) {
    const int index = *values->front();
    if (store_.Find(index) == nullptr) {
      Push(EventKind::kDeleteRefused, index, "no message there");
      return CmsError(kCmsInvalidIndex);
    }
    doomed.push_back(index);
  } else {
    // 1 to 3 take the read messages (and sent and unsent ones, of which this memory has
    // none); 4 takes them all.
    const MessageStat stat = flag == 4 ? MessageStat::kAll : MessageStat::kRead;
    for (const StoredMessage* message : store_.List(stat)) {
      doomed.push_back(message->index);
    }
  }
  if (mode_ == PhoneMode::kCmgdRefused) {
    for (const int index : doomed) {
      Push(EventKind::kDeleteRefused, index, "refused (cmgd-refused mode)");
    }
    return CmsError(kCmsNetworkFailure);
  }
  for (const int index : doomed) {
    store_.Remove(index);
    Push(EventKind::kDeleted, index);
  }
  return Reply::kOk;
}

PhoneDialogue::Reply PhoneDialogue::SetIndications(std::string_view argument) {
  IndicationSettings& now = indications_;
  if (argument == "=?") {
    Info("+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)");
    return Reply::kOk;
  }
  if (argument == "?") {
    Info("+CNMI: " + std::to_string(now.mode) + "," + std::to_string(now.mt) + "," +
         std::to_string(now.bm) + "," + std::to_string(now.ds) + "," + std::to_string(now.bfr));
    return Reply::kOk;
  }
  const auto values = argument.starts_with('=') ? Numbers(argument.substr(1)) : std::nullopt;
  if (!values || values->size() > 5) {
    return Reply::kError;
  }
  IndicationSettings next = now;
  const std::array<std::pair<int*, int>, 5> fields = {
      {{&next.mode, 3}, {&next.mt, 3}, {&next.bm, 3}, {&next.ds, 2}, {&next.bfr, 1}}};
  for (std::size_t i = 0; i < values->size(); ++i) {
    const auto& value = (*values)[i];
    if (!value) {
      continue;  // an omitted value stays as it was
    }
    if (*value > fields[i].second) {
      return Reply::kError;
    }
    *fields[i].first = *value;
  }
  now = next;
  return Reply::kOk;
}

PhoneDialogue::Reply PhoneDialogue::SelectStorage(std::string_view argument) {
  const std::string used = std::to_string(store_.used()) + "," + std::to_string(store_.capacity());
  if (argument == "=?") {
    Info(R"(+CPMS: ("SM"),("SM"),("SM"))");
    return Reply::kOk;
  }
  if (argument == "?") {
    Info("+CPMS: \"SM\"," + used + ",\"SM\"," + used + ",\"SM\"," + used);
    return Reply::kOk;
  }
  if (!argument.starts_with('=')) {
    return Reply::kError;
  }
  // Only the SIM's memory: "SM" for each of the (at most three) memories named.
  std::string_view rest = argument.substr(1);
  int named = 0;
  while (!rest.empty() || named == 0) {
    const std::size_t comma = std::min(rest.find(','), rest.size());
    if (UpperText(Trim(rest.substr(0, comma))) != "\"SM\"" || ++named > 3) {
      return CmsError(kCmsNotAllowed);
    }
    rest = comma < rest.size() ? rest.substr(comma + 1) : std::string_view();
  }
  Info("+CPMS: " + used + "," + used + "," + used);
  return Reply::kOk;
}

PhoneDialogue::Reply PhoneDialogue::CmsError(int code) {
  cmsCode_ = code;
  return Reply::kCmsError;
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
  event.reason = std::move(reason);
  events_.push_back(std::move(event));
}

std::optional<int> PhoneDialogue::Deliver(std::string_view pdu, std::string_view source,
                                          std::uint64_t nowMs) {
  std::string text(Trim(pdu));
  DialogueEvent event;
  event.source = source;
  event.pdu = text;
  // Checked as given (so that offsets point into what was given), then once more with the
  // phone's centre in place of an empty field.
  auto refusal = MessageStore::Refusal(text);
  if (!refusal && text.starts_with("00")) {
    text = ServiceCentreField(kServiceCentre) + text.substr(2);
    refusal = MessageStore::Refusal(text);
  }
  if (refusal) {
    event.kind = EventKind::kStoreRefused;
    event.reason = std::move(*refusal);
    events_.push_back(std::move(event));
    return std::nullopt;
  }
  event.pdu = text;
  if (Announcing() && indications_.mt == 2) {
    // Routed to the line, not stored: "+CMT: [<alpha>],<length>" and the PDU.
    const int centre = ParseHexByte(text);
    const auto length = static_cast<int>(text.size() / 2) - 1 - centre;
    Unsolicited("\r\n+CMT: ," + std::to_string(length) + "\r\n" + text + "\r\n", nowMs);
    event.kind = EventKind::kRouted;
    events_.push_back(std::move(event));
    return std::nullopt;
  }
  const auto index = store_.Add(text);
  if (!index) {
    event.kind = EventKind::kStoreRefused;
    event.reason = "memory full";
    events_.push_back(std::move(event));
    return std::nullopt;
  }
  event.kind = EventKind::kStored;
  event.index = *index;
  events_.push_back(std::move(event));
  if (Announcing() && (indications_.mt == 1 || indications_.mt == 3)) {
    Unsolicited("\r\n+CMTI: \"SM\"," + std::to_string(*index) + "\r\n", nowMs);
  }
  return index;
}

// Held unsolicited codes follow the final result code of the command that held them.
void PhoneDialogue::ReleaseHeld(std::uint64_t nowMs) {
  if (!held_.empty()) {
    Queue(std::exchange(held_, {}), nowMs);
  }
}

bool PhoneDialogue::Announcing() const {
  return indications_.mode != 0 && !hangupPending_ && mode_ != PhoneMode::kNoCmti &&
         mode_ != PhoneMode::kSilent;
}

void PhoneDialogue::Unsolicited(std::string_view text, std::uint64_t nowMs) {
  if (state_ != State::kPdu) {
    Queue(std::string(text), nowMs);
  } else if (indications_.mode != 1) {
    held_ += text;  // mode 1 drops what the reserved line cannot take; 2 and 3 hold it
  }
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
  if (reply != Reply::kNone && !info_.empty()) {
    Answer(info_, nowMs);
  }
  info_.clear();
  if (mode_ == PhoneMode::kChatty && reply != Reply::kNone && reply != Reply::kPrompt &&
      reply != Reply::kHangup) {
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
    case Reply::kCmsError:
      Answer("\r\n+CMS ERROR: " + std::to_string(cmsCode_) + "\r\n", nowMs);
      break;
    case Reply::kHangup: {
      hangupPending_ = true;
      DialogueEvent event;
      event.kind = EventKind::kHangup;
      events_.push_back(std::move(event));
      break;
    }
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
  held_.clear();
  info_.clear();
  indications_ = IndicationSettings{};
  lastDueMs_ = nowMs;
  nextRingMs_ = nowMs + kRingPeriodMs;
}

}  // namespace brindle::sim
