#include "tools/phone_sim/message_store.h"

#include <algorithm>

#include "codec/hex.h"

namespace brindle::sim {

MessageStore::MessageStore(int capacity, int firstIndex)
    : places_(static_cast<std::size_t>(std::clamp(capacity, 1, kMaxStoreCapacity))),
      firstIndex_(firstIndex) {}

std::optional<std::string> MessageStore::Refusal(std::string_view pdu) {
  if (pdu.empty()) {
    return "empty PDU";
  }
  if (pdu.size() > kStoredPduCapacity) {
    return "PDU longer than " + std::to_string(kStoredPduCapacity) + " characters";
  }
  const auto* const notHex =
      std::find_if(pdu.begin(), pdu.end(), [](char c) { return hex::DigitValue(c) < 0; });
  if (notHex != pdu.end()) {
    return "not a hex digit at offset " + std::to_string(notHex - pdu.begin());
  }
  if (pdu.size() % 2 != 0) {
    return "odd number of hex digits";
  }
  const auto centre = static_cast<std::size_t>(hex::ReadPair(pdu.data()));
  if (2 * (1 + centre) >= pdu.size()) {
    return "nothing after the service-centre field";
  }
  if ((hex::ReadPair(pdu.data() + 2 * (1 + centre)) & 0x03) != 0) {
    return "not an SMS-DELIVER";
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
  const int centre = hex::ReadPair(message.pdu.data());
  message.tpduOctets = static_cast<int>(message.pdu.size() / 2) - 1 - centre;
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
