#include "service/sqlite_backup.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>

#include "service/sqlite_database.h"

namespace brindle::service {
namespace {

constexpr int kPauseMs = 50;
constexpr int kBusyTries = kBusyTimeoutMs / kPauseMs;

Database Open(const std::string& path, int flags, StoreError& error) {
  int status = SQLITE_OK;
  std::string failure;
  Database db = OpenDatabase(path, flags, status, failure);
  if (db == nullptr) {
    error = {StoreErrorKind::kUnavailable, path + ": " + failure};
  }
  return db;
}

// The whole database in one step: one read transaction, so one moment of it. In WAL mode that
// never waits for the writer, nor the writer for it.
bool Copy(sqlite3* from, sqlite3* to, StoreError& error) {
  sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
  if (backup == nullptr) {
    error = {StoreErrorKind::kUnavailable, sqlite3_errmsg(to)};
    return false;
  }
  int status = SQLITE_OK;
  for (int tries = 0; tries < kBusyTries; ++tries) {
    status = sqlite3_backup_step(backup, -1);
    if (status != SQLITE_BUSY && status != SQLITE_LOCKED) {
      break;
    }
    sqlite3_sleep(kPauseMs);
  }
  sqlite3_backup_finish(backup);
  if (status != SQLITE_DONE) {
    error = {StoreErrorKind::kUnavailable, sqlite3_errstr(status)};
    return false;
  }
  // One file to keep or move: the copy has no log of its own.
  if (sqlite3_exec(to, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = {StoreErrorKind::kUnavailable, sqlite3_errmsg(to)};
    return false;
  }
  return true;
}

}  // namespace

bool BackupSqliteFile(const std::string& path, const std::string& destination, StoreError& error) {
  const std::string partial = destination + ".partial-" + std::to_string(getpid());
  bool copied = false;
  {
    const Database from = Open(path, SQLITE_OPEN_READONLY, error);
    const Database to =
        from ? Open(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error) : nullptr;
    copied = to && Copy(from.get(), to.get(), error);
  }
  if (copied && std::rename(partial.c_str(), destination.c_str()) != 0) {
    error = {StoreErrorKind::kUnavailable, "cannot put the copy at " + destination};
    copied = false;
  }
  if (!copied) {
    static_cast<void>(std::remove(partial.c_str()));
  }
  return copied;
}

}  // namespace brindle::service
