// The dialogue's message memories: the commands that list, read, delete and choose, and the
// messages that arrive from the network.
#include <algorithm>
#include <array>
#include <utility>

#include "codec/score_reader.h"
#include "tools/phone_sim/at_text.h"
#include "tools/phone_sim/deliver_pdu.h"
#include "tools/phone_sim/phone_dialogue.h"

namespace brindle::sim {
namespace {

// After a stall longer than this an endless listing goes on from now instead of catching up.
constexpr std::uint64_t kStreamCatchUpMs = 1000;

// The announcement of a stored message, without its line breaks.
std::string Cmti(Memory memory, int index) {
  return "+CMTI: \"" + std::string(MemoryName(memory)) + "\"," + std::to_string(index);
}

std::string Entry(const StoredMessage& message, const std::string& pduLine) {
  return "+CMGL: " + std::to_string(message.index) + "," +
         std::to_string(static_cast<int>(message.stat)) + ",," +
         std::to_string(message.tpduOctets) + "\r\n" + pduLine;
}

}  // namespace

PhoneDialogue::Reply PhoneDialogue::ListMessages(std::string_view argument, std::uint64_t nowMs) {
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
  MessageStore& store = memories_.at(memories_.reading());
  std::vector<const StoredMessage*> listed = store.List(static_cast<MessageStat>(stat));
  // Once each: the phone lists in full afterwards.
  const bool hangup = In(PhoneMode::kHangupListing) && !listingDropped_ && !listed.empty();
  const bool hang = In(PhoneMode::kHangListing) && !listingHung_ && !listed.empty();
  const bool endless = In(PhoneMode::kEndlessListing) && !listed.empty();
  listingDropped_ = listingDropped_ || hangup;
  listingHung_ = listingHung_ || hang;
  if (hangup || hang) {
    listed.erase(listed.begin() + 1, listed.end());  // the answer ends after the first message
  }
  // One information text: "+CMGL: ..." and the PDU on lines of their own, CR LF between.
  std::string text;
  DialogueEvent event;
  event.kind = EventKind::kListed;
  event.memory = MemoryName(memories_.reading());
  event.stat = stat;
  for (const StoredMessage* message : listed) {
    std::string entry = Entry(*message, PduLine(*message));
    if (!text.empty()) {
      text += "\r\n";
      if (In(PhoneMode::kUnsolicitedListing) && event.indexes.size() == 1) {
        text += "\r\nRING\r\n\r\n" + Cmti(memories_.reading(), event.indexes.front()) + "\r\n";
      }
    }
    text += entry;
    event.indexes.push_back(message->index);
    if (endless) {
      stream_.push_back(std::move(entry) + "\r\n");
    }
  }
  for (const int index : event.indexes) {
    store.MarkRead(index);
  }
  events_.push_back(std::move(event));
  if (!text.empty()) {
    Info(text);
  }
  if (endless) {
    stuck_ = Stuck::kStreaming;
    streamNext_ = 0;
    nextStreamMs_ = nowMs + kStreamPeriodMs;
  }
  if (hang) {
    stuck_ = Stuck::kHung;
  }
  if (hang || endless) {
    return Reply::kUnfinished;
  }
  return hangup ? Reply::kHangup : Reply::kOk;
}

PhoneDialogue::Reply PhoneDialogue::ReadMessage(std::string_view argument) {
  firstRead_ = !readSinceOpen_;
  readSinceOpen_ = true;
  if (argument == "=?") {
    return Reply::kOk;
  }
  const auto values = argument.starts_with('=') ? Numbers(argument.substr(1)) : std::nullopt;
  if (!values || values->size() != 1 || !values->front()) {
    return Reply::kError;
  }
  const int index = *values->front();
  MessageStore& store = memories_.at(memories_.reading());
  const StoredMessage* message = store.Find(index);
  if (message == nullptr) {
    return CmsError(kCmsInvalidIndex);
  }
  const std::string stat =
      In(PhoneMode::kCmgrNoStat) ? "" : std::to_string(static_cast<int>(message->stat));
  Info("+CMGR: " + stat + ",," + std::to_string(message->tpduOctets) + "\r\n" + PduLine(*message));
  DialogueEvent event;
  event.kind = EventKind::kRead;
  event.memory = MemoryName(memories_.reading());
  event.index = index;
  event.stat = static_cast<int>(message->stat);
  events_.push_back(std::move(event));
  store.MarkRead(index);
  return Reply::kOk;
}

std::string PhoneDialogue::PduLine(const StoredMessage& message) const {
  std::string line = message.pdu;
  if (In(PhoneMode::kPadded) && line.size() < kPaddedPduDigits) {
    line.append(kPaddedPduDigits - line.size(), 'F');
  }
  return line;
}

PhoneDialogue::Reply PhoneDialogue::DeleteMessages(std::string_view argument) {
  MessageStore& store = memories_.at(memories_.reading());
  if (argument == "=?") {
    std::string used;
    for (const StoredMessage* message : store.List(MessageStat::kAll)) {
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
    if (store.Find(index) == nullptr) {
      Push(EventKind::kDeleteRefused, index, "no message there");
      return CmsError(kCmsInvalidIndex);
    }
    doomed.push_back(index);
  } else {
    // 1 to 3 take the read messages (and sent and unsent ones, of which this memory has
    // none); 4 takes them all.
    const MessageStat stat = flag == 4 ? MessageStat::kAll : MessageStat::kRead;
    for (const StoredMessage* message : store.List(stat)) {
      doomed.push_back(message->index);
    }
  }
  if (In(PhoneMode::kCmgdRefused)) {
    for (const int index : doomed) {
      Push(EventKind::kDeleteRefused, index, "refused (cmgd-refused mode)");
    }
    return CmsError(kCmsNetworkFailure);
  }
  for (const int index : doomed) {
    store.Remove(index);
    Push(EventKind::kDeleted, index);
  }
  return Reply::kOk;
}

PhoneDialogue::Reply PhoneDialogue::SetIndications(std::string_view argument) {
  if (In(PhoneMode::kNotSupport)) {
    return Reply::kNotSupported;
  }
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
  if (argument == "=?") {
    if (In(PhoneMode::kNotSupport)) {
      return Reply::kNotSupported;
    }
    Info("+CPMS: " + memories_.Choices());
    return Reply::kOk;
  }
  if (argument == "?") {
    Info("+CPMS: " + memories_.Current());
    return Reply::kOk;
  }
  if (!argument.starts_with('=')) {
    return Reply::kError;
  }
  const std::vector<std::string_view> names = Items(argument.substr(1));
  const auto named = std::count_if(names.begin(), names.end(),
                                   [](std::string_view name) { return !name.empty(); });
  if ((In(PhoneMode::kCpmsOne) && named > 1) || !memories_.Choose(names)) {
    return CmsError(kCmsNotAllowed);
  }
  Info("+CPMS: " + memories_.Counts());
  return Reply::kOk;
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
  if (!refusal) {
    text = WithPhoneCentre(text);
    refusal = MessageStore::Refusal(text);
  }
  if (refusal) {
    event.kind = EventKind::kStoreRefused;
    event.reason = std::move(*refusal);
    events_.push_back(std::move(event));
    return std::nullopt;
  }
  event.pdu = std::move(text);
  return Arrive(std::move(event), nowMs);
}

std::optional<int> PhoneDialogue::Arrive(DialogueEvent event, std::uint64_t nowMs) {
  if (Announcing() && indications_.mt == 2) {
    // Routed to the line, not stored: "+CMT: [<alpha>],<length>" and the PDU.
    Unsolicited("\r\n+CMT: ," + std::to_string(TpduOctets(event.pdu)) + "\r\n" + event.pdu + "\r\n",
                nowMs);
    event.kind = EventKind::kRouted;
    events_.push_back(std::move(event));
    return std::nullopt;
  }
  // The network keeps the order: nothing overtakes a message it holds back.
  if (In(PhoneMode::kFull) && (!withheld_.empty() || !memories_.HasRoom())) {
    event.kind = EventKind::kHeld;
    event.reason = "memory full";
    events_.push_back(event);
    withheld_.push_back(std::move(event));
    return std::nullopt;
  }
  return Store(std::move(event), nowMs);
}

std::optional<int> PhoneDialogue::Store(DialogueEvent event, std::uint64_t nowMs) {
  const auto memory = memories_.NextArrival();
  const auto index = memory ? memories_.at(*memory).Add(event.pdu) : std::nullopt;
  if (!index) {
    event.kind = EventKind::kStoreRefused;
    event.reason = "memory full";
    events_.push_back(std::move(event));
    return std::nullopt;
  }
  event.kind = EventKind::kStored;
  event.index = *index;
  event.memory = MemoryName(*memory);
  event.reason.clear();
  events_.push_back(std::move(event));
  lastStored_ = {*memory, *index};
  if (AnnouncingStored()) {
    Unsolicited("\r\n" + Cmti(*memory, *index) + "\r\n", nowMs);
  }
  return index;
}

// What the network held back arrives once a place is free, as soon as the command that freed
// it has its answer.
void PhoneDialogue::ReleaseWithheld(std::uint64_t nowMs) {
  while (!withheld_.empty() && memories_.HasRoom()) {
    DialogueEvent event = std::move(withheld_.front());
    withheld_.pop_front();
    Store(std::move(event), nowMs);
  }
}

bool PhoneDialogue::Announcing() const {
  return indications_.mode != 0 && !hangupPending_ && !In(PhoneMode::kNoCmti) &&
         !In(PhoneMode::kSilent);
}

bool PhoneDialogue::AnnouncingStored() const {
  return Announcing() && (indications_.mt == 1 || indications_.mt == 3);
}

void PhoneDialogue::Unsolicited(std::string_view text, std::uint64_t nowMs) {
  if (state_ != State::kPdu) {
    Queue(std::string(text), nowMs);
  } else if (indications_.mode != 1) {
    held_ += text;  // mode 1 drops what the reserved line cannot take; 2 and 3 hold it
  }
}

void PhoneDialogue::EndStuckListing() {
  stuck_ = Stuck::kNo;
  stream_.clear();
}

// An endless listing's entries, one each period, round and round.
void PhoneDialogue::Stream(std::uint64_t nowMs) {
  if (stuck_ != Stuck::kStreaming || stream_.empty()) {
    return;
  }
  if (nowMs > nextStreamMs_ + kStreamCatchUpMs) {
    nextStreamMs_ = nowMs;
  }
  while (nextStreamMs_ <= nowMs) {
    Queue(Noisy(stream_[streamNext_]), nextStreamMs_);
    streamNext_ = (streamNext_ + 1) % stream_.size();
    nextStreamMs_ += kStreamPeriodMs;
  }
}

std::string PhoneDialogue::Noisy(std::string bytes) {
  if (!In(PhoneMode::kNoisy)) {
    return bytes;
  }
  // Now and then the last message is announced again, if it is still there to be read.
  std::string announcement;
  if (lastStored_ && memories_.at(lastStored_->first).Find(lastStored_->second) != nullptr &&
      AnnouncingStored()) {
    announcement = Cmti(lastStored_->first, lastStored_->second);
  }
  return noise_.Interleave(bytes, announcement);
}

}  // namespace brindle::sim
