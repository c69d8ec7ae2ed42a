// An SQLite connection as the store and the backup hold it: closed with its owner, and waiting
// this long for another connection's lock before it reports the file busy.
#pragma once

#include <sqlite3.h>

#include <memory>

namespace brindle::service {

inline constexpr int kBusyTimeoutMs = 5000;

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

}  // namespace brindle::service
