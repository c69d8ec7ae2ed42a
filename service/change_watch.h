// Tells a reader when the store it reads may have changed, so that what it keeps in memory is
// read again only then. Opened from a store's location as OpenMessageStore picks the store:
// on SQLite a cheap look at the file's change counter a few times a second, on PostgreSQL a
// LISTEN for the writers' NOTIFY, which the server sends when a writer commits.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "service/message_store.h"

namespace brindle::service {

// The channel every writer notifies in the transaction that keeps messages.
inline constexpr std::string_view kChangeChannel = "brindle_scores";

enum class Change : std::uint8_t {
  kNone,     // nothing committed since the last look
  kSome,     // something was committed
  kUnknown,  // the watch could not look (it tries again next time): anything may have changed
};

class ChangeWatch {
 public:
  ChangeWatch() = default;
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;
  ChangeWatch(ChangeWatch&&) = delete;
  ChangeWatch& operator=(ChangeWatch&&) = delete;
  virtual ~ChangeWatch() = default;

  // Waits at most about `wait` for a commit by anyone since the last call.
  virtual Change Wait(std::chrono::milliseconds wait) = 0;
};

// nullptr with `error` when the location cannot be watched now.
std::unique_ptr<ChangeWatch> OpenChangeWatch(std::string_view location, StoreError& error);

}  // namespace brindle::service
