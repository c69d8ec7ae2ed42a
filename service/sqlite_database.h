// An SQLite connection as the store and the backup open and hold it: closed with its owner, and
// waiting kBusyTimeoutMs for another connection's lock before it reports the file busy.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

namespace brindle::service {

inline constexpr int kBusyTimeoutMs = 5000;

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

// Opens `path` with `flags`. Null on failure, with SQLite's result in `status` and its text in
// `failure`.
inline Database OpenDatabase(const std::string& path, int flags, int& status,
                             std::string& failure) {
  sqlite3* raw = nullptr;
  status = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Database db(raw);
  if (status != SQLITE_OK) {
    failure = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(status);
    return nullptr;
  }
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  return db;
}

}  // namespace brindle::service
