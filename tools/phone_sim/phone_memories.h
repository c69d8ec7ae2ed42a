// The phone's message memories: "SM" (the SIM's) always, "ME" (the phone's own) too when the
// phone has both. AT+CPMS chooses the first memory, the one AT+CMGL, AT+CMGR and AT+CMGD work
// on (the second and third are only remembered and told). A new message goes to each memory
// in turn, "SM" first, past one that is full.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/phone_sim/message_store.h"

namespace brindle::sim {

enum class Memory : std::uint8_t { kSim, kPhone };

// "SM" or "ME".
std::string_view MemoryName(Memory memory);

class PhoneMemories {
 public:
  // Each memory has `capacity` places, the first numbered `firstIndex`.
  PhoneMemories(int capacity, int firstIndex, bool both);

  [[nodiscard]] MessageStore& at(Memory memory) {
    return stores_[static_cast<std::size_t>(memory)];
  }
  [[nodiscard]] const MessageStore& at(Memory memory) const {
    return stores_[static_cast<std::size_t>(memory)];
  }
  // The first memory.
  [[nodiscard]] Memory reading() const { return chosen_[0]; }

  [[nodiscard]] bool HasRoom() const;
  // Where a new message goes, its turn taken; nothing when every memory is full.
  std::optional<Memory> NextArrival();

  // AT+CPMS's information texts after "+CPMS: ": the memories there are, each one's three
  // times; the three chosen with their used and total places; the used and total places alone.
  [[nodiscard]] std::string Choices() const;
  [[nodiscard]] std::string Current() const;
  [[nodiscard]] std::string Counts() const;
  // Chooses the memories named in order, quoted ("ME"); an empty name after the first leaves
  // that one as it was. False, choosing none, when a name is not one of these memories.
  bool Choose(const std::vector<std::string_view>& names);
  // "SM" for all three, as after power-on.
  void ChooseDefault() { chosen_ = {}; }

 private:
  [[nodiscard]] std::optional<Memory> Named(std::string_view quoted) const;
  [[nodiscard]] std::string Count(Memory memory) const;

  std::vector<MessageStore> stores_;  // in the order of Memory
  std::array<Memory, 3> chosen_{};
  std::size_t turn_ = 0;  // the memory whose turn it is
};

}  // namespace brindle::sim
