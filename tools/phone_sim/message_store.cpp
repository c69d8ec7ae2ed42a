#include "tools/phone_sim/message_store.h"

#include <algorithm>

#include "codec/pdu.h"
#include "tools/phone_sim/deliver_pdu.h"

namespace brindle::sim {

MessageStore::MessageStore(int capacity, int firstIndex)
    : places_(static_cast<std::size_t>(std::clamp(capacity, 1, kMaxStoreCapacity))),
      firstIndex_(firstIndex) {}

std::optional<std::string> MessageStore::Refusal(std::string_view pdu) {
  if (pdu.size() > kStoredPduCapacity) {
    return "PDU longer than " + std::to_string(kStoredPduCapacity) + " characters";
  }
  Pdu read;
  std::size_t offset = 0;
  const PduError error = ReadPdu(pdu, read, offset);
  if (error == PduError::kEmpty || error == PduError::kNotHex || error == PduError::kOddLength) {
    return std::string(DescribePduError(error)) +
           (error == PduError::kNotHex ? " at offset " + std::to_string(offset) : "");
  }
  // A phone stores whatever the network hands it as an SMS-DELIVER; faults after the first
  // octet are the reader's to find.
  if (read.messageType != MessageType::kDeliver) {
    return error == PduError::kNone ? "not an SMS-DELIVER"
                                    : "not an SMS-DELIVER: " + std::string(DescribePduError(error));
  }
  return std::nullopt;
}

std::optional<int> MessageStore::Add(std::string_view pdu) {
  while (firstFree_ < places_.size() && places_[firstFree_]) {
    ++firstFree_;
  }
  if (firstFree_ == places_.size()) {
    return std::nullopt;
  }
  StoredMessage& message = places_[firstFree_].emplace();
  message.index = static_cast<int>(firstFree_) + firstIndex_;
  message.pdu = pdu;
  std::transform(message.pdu.begin(), message.pdu.end(), message.pdu.begin(), [](char c) {
    return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  message.tpduOctets = static_cast<int>(TpduOctets(message.pdu));
  ++used_;
  return message.index;
}

std::optional<std::size_t> MessageStore::Place(int index) const {
  if (index < firstIndex_ || index - firstIndex_ >= capacity()) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(index - firstIndex_);
}

const StoredMessage* MessageStore::Find(int index) const {
  const auto place = Place(index);
  return place && places_[*place] ? &*places_[*place] : nullptr;
}

void MessageStore::MarkRead(int index) {
  if (Find(index) != nullptr) {
    places_[*Place(index)]->stat = MessageStat::kRead;
  }
}

bool MessageStore::Remove(int index) {
  if (Find(index) == nullptr) {
    return false;
  }
  const std::size_t place = *Place(index);
  places_[place].reset();
  firstFree_ = std::min(firstFree_, place);
  --used_;
  return true;
}

std::vector<const StoredMessage*> MessageStore::List(MessageStat stat) const {
  std::vector<const StoredMessage*> found;
  for (const auto& place : places_) {
    if (place && (stat == MessageStat::kAll || place->stat == stat)) {
      found.push_back(&*place);
    }
  }
  return found;
}

}  // namespace brindle::sim
