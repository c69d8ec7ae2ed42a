// A consistent copy of a live SQLite score database, taken with SQLite's online backup while
// the service writes: every commit made before the copy began is in it, none half.
#pragma once

#include <string>

#include "service/message_store.h"

namespace brindle::service {

// Copies the database at `path` to `destination`, which appears whole (made beside it, then
// renamed over it) as one file that needs no write-ahead log. False with `error` on failure.
bool BackupSqliteFile(const std::string& path, const std::string& destination, StoreError& error);

}  // namespace brindle::service
