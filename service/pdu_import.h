// An archive of received messages brought into a store: PDU lines as a phone lists them
// (service-centre field first), each kept exactly as the service keeps a message it takes off
// the phone, so that importing a file twice, or a file of messages the service already holds,
// stores nothing twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "service/message_store.h"

namespace brindle::service {

// Lines kept in one transaction: large enough that commits cost little, small enough that a
// failing store loses (and reports) little of the work.
inline constexpr std::size_t kImportBatch = 50000;

struct ImportCounts {
  std::uint64_t lines = 0;     // every line read, blank ones included
  std::uint64_t blank = 0;     // skipped
  std::uint64_t stored = 0;    // newly kept, scores and rejected messages
  std::uint64_t rejected = 0;  // of those stored, kept as rejected (not a score)
  std::uint64_t held = 0;      // the same message was held already
};

class PduImport {
 public:
  explicit PduImport(MessageStore& store, std::size_t batch = kImportBatch);

  // One line; blanks, tabs and line ends around the PDU are dropped. False when a batch could
  // not be committed: `error` says why, and nothing of that batch was stored.
  bool Add(std::string_view line, StoreError& error);
  // Commits what is left.
  bool Finish(StoreError& error);
  [[nodiscard]] const ImportCounts& counts() const { return counts_; }

 private:
  bool Commit(StoreError& error);

  MessageStore& store_;
  std::size_t batchSize_;
  std::vector<Message> batch_;
  std::vector<KeepResult> results_;
  ImportCounts counts_;
};

}  // namespace brindle::service
