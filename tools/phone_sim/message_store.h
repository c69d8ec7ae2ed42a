// One message memory of the phone: received messages in numbered places from 1 (or 0, as
// some phones count) up, as many as its capacity, each unread until a listing or a read shows
// it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::sim {

inline constexpr int kDefaultStoreCapacity = 1000;
inline constexpr int kMaxStoreCapacity = 100000;
// Hex characters of one stored PDU: a 12-octet service-centre field and the longest TPDU
// (an SMS-DELIVER of 164 octets) fit with room to spare.
inline constexpr std::size_t kStoredPduCapacity = 512;

// <stat> in PDU mode.
enum class MessageStat : int { kUnread = 0, kRead = 1, kUnsent = 2, kSent = 3, kAll = 4 };

struct StoredMessage {
  int index = 0;
  MessageStat stat = MessageStat::kUnread;
  std::string pdu;  // whole PDU text, uppercase, service-centre field first
  int tpduOctets = 0;
};

class MessageStore {
 public:
  explicit MessageStore(int capacity, int firstIndex = 1);

  // Why `pdu` cannot be stored as a received message's text, or nothing when it can.
  static std::optional<std::string> Refusal(std::string_view pdu);

  // Stores `pdu` (checked with Refusal first) unread in the lowest free place; that place's
  // index, or nothing when the memory is full.
  std::optional<int> Add(std::string_view pdu);
  [[nodiscard]] const StoredMessage* Find(int index) const;
  void MarkRead(int index);
  bool Remove(int index);
  // The messages of `stat` (kAll: every one) in index order.
  [[nodiscard]] std::vector<const StoredMessage*> List(MessageStat stat) const;

  [[nodiscard]] int capacity() const { return static_cast<int>(places_.size()); }
  [[nodiscard]] int used() const { return used_; }
  [[nodiscard]] bool full() const { return used_ == capacity(); }

 private:
  // The place of `index` in places_, or nothing when it has none.
  [[nodiscard]] std::optional<std::size_t> Place(int index) const;

  std::vector<std::optional<StoredMessage>> places_;
  int firstIndex_;
  int used_ = 0;
  std::size_t firstFree_ = 0;  // no place below it is free
};

}  // namespace brindle::sim
