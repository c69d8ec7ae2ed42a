// The message store in an SQLite file: WAL, synchronous=FULL, one transaction per batch,
// prepared statements, the schema's version in PRAGMA user_version. A batch is not committed
// once the path names another file than the one opened (deleted, or replaced by a copy).
#pragma once

#include <memory>
#include <string_view>

#include "service/message_store.h"

namespace brindle::service {

// The schema this build writes and reads; the service migrates older files when it opens them
// (readers refuse them until then), newer ones are refused.
inline constexpr int kSqliteSchemaVersion = 5;
// PRAGMA application_id of our files ("BRND"), so another program's database is refused.
inline constexpr int kSqliteApplicationId = 0x42524E44;

std::unique_ptr<MessageStore> OpenSqliteStore(std::string_view path, OpenMode mode,
                                              StoreError& error);

}  // namespace brindle::service
