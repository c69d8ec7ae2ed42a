#include "service/change_watch.h"

#include <sqlite3.h>

#include <exception>
#include <pqxx/pqxx>
#include <string>
#include <thread>

#include "service/postgres_store.h"

namespace brindle::service {
namespace {

// The file's change counter as one connection of our own sees it: it moves whenever another
// connection commits. The connection only reads, so it never moves it itself.
class SqliteWatch final : public ChangeWatch {
 public:
  explicit SqliteWatch(std::string path) : path_(std::move(path)) {}
  SqliteWatch(const SqliteWatch&) = delete;
  SqliteWatch& operator=(const SqliteWatch&) = delete;
  SqliteWatch(SqliteWatch&&) = delete;
  SqliteWatch& operator=(SqliteWatch&&) = delete;
  ~SqliteWatch() override { Close(); }

  bool Open(StoreError& error) {
    const int status =
        sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (status != SQLITE_OK ||
        sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &version_, nullptr) != SQLITE_OK ||
        !Read(seen_)) {
      error = {
          StoreErrorKind::kUnavailable,
          "cannot watch " + path_ + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "no memory")};
      Close();
      return false;
    }
    return true;
  }

  Change Wait(std::chrono::milliseconds wait) override {
    std::this_thread::sleep_for(wait);
    StoreError ignored;
    if (db_ == nullptr) {
      Open(ignored);
      return Change::kUnknown;
    }
    // A file deleted or replaced under us keeps its old counter: the new file is opened.
    int moved = 0;
    std::int64_t now = 0;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK ||
        moved != 0 || !Read(now)) {
      Close();
      return Change::kUnknown;
    }
    const bool changed = now != seen_;
    seen_ = now;
    return changed ? Change::kSome : Change::kNone;
  }

 private:
  bool Read(std::int64_t& value) {
    const bool row = sqlite3_step(version_) == SQLITE_ROW;
    if (row) {
      value = sqlite3_column_int64(version_, 0);
    }
    sqlite3_reset(version_);
    return row;
  }

  void Close() {
    sqlite3_finalize(version_);
    sqlite3_close(db_);
    version_ = nullptr;
    db_ = nullptr;
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* version_ = nullptr;
  std::int64_t seen_ = 0;
};

// LISTEN issued when it is made; what a notice says does not matter, only that one came.
class Listener final : public pqxx::notification_receiver {
 public:
  explicit Listener(pqxx::connection_base& connection)
      : pqxx::notification_receiver(connection, std::string(kChangeChannel)) {}
  void operator()(const std::string& /*payload*/, int /*backend*/) override {}
};

// A connection of its own that only listens; lost, it is made again on the next look, and
// what was committed meanwhile is unknown.
class PostgresWatch final : public ChangeWatch {
 public:
  explicit PostgresWatch(std::string conninfo) : conninfo_(std::move(conninfo)) {}

  bool Open(StoreError& error) {
    try {
      connection_ = std::make_unique<pqxx::connection>(conninfo_);
      listener_ = std::make_unique<Listener>(*connection_);
      return true;
    } catch (const std::exception& e) {
      Close();
      error = {StoreErrorKind::kUnavailable, std::string("cannot listen: ") + e.what()};
      return false;
    }
  }

  Change Wait(std::chrono::milliseconds wait) override {
    if (!connection_) {
      StoreError ignored;
      if (!Open(ignored)) {
        std::this_thread::sleep_for(wait);
      }
      return Change::kUnknown;
    }
    constexpr long kMicrosecondsPerSecond = 1'000'000;
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(wait).count();
    try {
      const int heard = connection_->await_notification(micro / kMicrosecondsPerSecond,
                                                        micro % kMicrosecondsPerSecond);
      return heard > 0 ? Change::kSome : Change::kNone;
    } catch (const std::exception&) {
      Close();
      return Change::kUnknown;
    }
  }

 private:
  void Close() {
    listener_.reset();
    connection_.reset();
  }

  std::string conninfo_;
  std::unique_ptr<pqxx::connection> connection_;
  std::unique_ptr<Listener> listener_;  // made after the connection, gone before it
};

}  // namespace

std::unique_ptr<ChangeWatch> OpenChangeWatch(std::string_view location, StoreError& error) {
  if (IsPostgresLocation(location)) {
    auto watch = std::make_unique<PostgresWatch>(std::string(location));
    return watch->Open(error) ? std::move(watch) : nullptr;
  }
  auto watch = std::make_unique<SqliteWatch>(std::string(location));
  return watch->Open(error) ? std::move(watch) : nullptr;
}

}  // namespace brindle::service
