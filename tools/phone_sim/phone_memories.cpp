#include "tools/phone_sim/phone_memories.h"

#include <algorithm>

#include "tools/phone_sim/at_text.h"

namespace brindle::sim {

std::string_view MemoryName(Memory memory) { return memory == Memory::kSim ? "SM" : "ME"; }

PhoneMemories::PhoneMemories(int capacity, int firstIndex, bool both)
    : stores_(both ? 2 : 1, MessageStore(capacity, firstIndex)) {}

bool PhoneMemories::HasRoom() const {
  return std::any_of(stores_.begin(), stores_.end(),
                     [](const MessageStore& store) { return !store.full(); });
}

std::optional<Memory> PhoneMemories::NextArrival() {
  for (std::size_t i = 0; i < stores_.size(); ++i) {
    const std::size_t next = (turn_ + i) % stores_.size();
    if (!stores_[next].full()) {
      turn_ = (next + 1) % stores_.size();
      return static_cast<Memory>(next);
    }
  }
  return std::nullopt;
}

std::string PhoneMemories::Choices() const {
  std::string names;
  for (std::size_t i = 0; i < stores_.size(); ++i) {
    names += (i == 0 ? "\"" : ",\"") + std::string(MemoryName(static_cast<Memory>(i))) + "\"";
  }
  return "(" + names + "),(" + names + "),(" + names + ")";
}

std::string PhoneMemories::Current() const {
  std::string text;
  for (const Memory memory : chosen_) {
    text += (text.empty() ? "\"" : ",\"") + std::string(MemoryName(memory)) + "\"," + Count(memory);
  }
  return text;
}

std::string PhoneMemories::Counts() const {
  return Count(chosen_[0]) + "," + Count(chosen_[1]) + "," + Count(chosen_[2]);
}

bool PhoneMemories::Choose(const std::vector<std::string_view>& names) {
  std::array<Memory, 3> next = chosen_;
  if (names.empty() || names.size() > next.size() || names.front().empty()) {
    return false;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) {
      continue;
    }
    const auto memory = Named(names[i]);
    if (!memory) {
      return false;
    }
    next[i] = *memory;
  }
  chosen_ = next;
  return true;
}

std::optional<Memory> PhoneMemories::Named(std::string_view quoted) const {
  for (std::size_t i = 0; i < stores_.size(); ++i) {
    const auto memory = static_cast<Memory>(i);
    if (UpperText(quoted) == "\"" + std::string(MemoryName(memory)) + "\"") {
      return memory;
    }
  }
  return std::nullopt;
}

std::string PhoneMemories::Count(Memory memory) const {
  return std::to_string(at(memory).used()) + "," + std::to_string(at(memory).capacity());
}

}  // namespace brindle::sim
