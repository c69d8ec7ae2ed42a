#include "service/sqlite_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

#include "service/best_scores_sql.h"
#include "service/sqlite_database.h"
#include "service/store_operations_sql.h"

namespace brindle::service {
namespace {

// A service that starts while another brings the same file up to date waits this long for it;
// rebuilding a large table takes a while.
constexpr int kMigrationWaitMs = 120000;

// The messages table's columns in the schemas that made the table (1, 2 and 5): the key, then
// the score's fields; from schema 2 on, `received` between them.
constexpr std::string_view kKeyColumns = R"sql(
  id INTEGER PRIMARY KEY,
  status TEXT NOT NULL CHECK (status IN ('score', 'rejected')),
  reason TEXT,
  sender TEXT NOT NULL,
  sent_at TEXT NOT NULL,
  sent_at_utc INTEGER NOT NULL,
  pdu TEXT NOT NULL,)sql";
constexpr std::string_view kReceivedColumn = R"sql(
  received TEXT NOT NULL DEFAULT '',)sql";
constexpr std::string_view kScoreColumns = R"sql(
  game_id INTEGER,
  fixed INTEGER,
  score INTEGER,
  handle BLOB,
  stored_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now')),)sql";

std::string MessagesTable(std::string_view name, std::string_view received, std::string_view rest) {
  std::string sql = "\nCREATE TABLE ";
  sql += name;
  sql += " (";
  sql += kKeyColumns;
  sql += received;
  sql += kScoreColumns;
  sql += rest;
  return sql;
}

// Each step takes the schema from version i to i + 1.
const std::array<std::string, kSqliteSchemaVersion> kMigrations = {
    MessagesTable("messages", "", R"sql(
  UNIQUE (sender, sent_at, pdu)
);
CREATE INDEX messages_best ON messages (game_id, handle, score DESC, sent_at_utc, id)
  WHERE status = 'score';
)sql"),
    // Where and when a damaged entry was taken; part of the key, so entries with the same junk
    // text are kept apart. SQLite cannot change a table's UNIQUE, so the table is made again;
    // the rows keep their ids and get ''.
    MessagesTable("messages_v2", kReceivedColumn, R"sql(
  UNIQUE (sender, sent_at, pdu, received)
);
INSERT INTO messages_v2 (id, status, reason, sender, sent_at, sent_at_utc, pdu, game_id, fixed,
                         score, handle, stored_at)
  SELECT id, status, reason, sender, sent_at, sent_at_utc, pdu, game_id, fixed, score, handle,
         stored_at
  FROM messages ORDER BY id;
DROP TABLE messages;
ALTER TABLE messages_v2 RENAME TO messages;
CREATE INDEX messages_best ON messages (game_id, handle, score DESC, sent_at_utc, id)
  WHERE status = 'score';
)sql"),
    // Each handle's best message per game, kept beside every score stored, so that a board
    // reads only the rows it shows: the key is the ranking order (one game's top N is N rows
    // of it), and (game_id, handle) finds the row a new score may replace. Filled from the
    // rows held; the index that ranked them when asked is no longer needed.
    R"sql(
CREATE TABLE best_scores (
  game_id INTEGER NOT NULL,
  score INTEGER NOT NULL,
  sent_at_utc INTEGER NOT NULL,
  message_id INTEGER NOT NULL,
  handle BLOB NOT NULL,
  sender TEXT NOT NULL,
  sent_at TEXT NOT NULL,
  PRIMARY KEY (game_id, score DESC, sent_at_utc, message_id),
  UNIQUE (game_id, handle)
) WITHOUT ROWID;
INSERT INTO best_scores (game_id, score, sent_at_utc, message_id, handle, sender, sent_at)
  SELECT game_id, score, sent_at_utc, id, handle, sender, sent_at FROM (
    SELECT game_id, score, sent_at_utc, id, handle, sender, sent_at,
           ROW_NUMBER() OVER (PARTITION BY game_id, handle
                              ORDER BY score DESC, sent_at_utc, id) AS pick
    FROM messages WHERE status = 'score')
  WHERE pick = 1;
DROP INDEX messages_best;
)sql",
    // Moderation, game names and the services' reports (store_operations_sql.h).
    "ALTER TABLE messages ADD COLUMN hidden_by TEXT;",
    // The UNIQUE key held each PDU's text a second time, in its index, which doubled what a
    // message costs to store. A message is now found by its key's hash (MessageKeyHash, filled
    // here by brindle_key_hash) through a small index and compared whole; Keep runs alone, under
    // BEGIN IMMEDIATE. SQLite cannot drop a UNIQUE, so the table is made again; rows keep their
    // ids.
    MessagesTable("messages_v5", kReceivedColumn, R"sql(
  hidden_by TEXT,
  key_hash INTEGER NOT NULL
);
INSERT INTO messages_v5 (id, status, reason, sender, sent_at, sent_at_utc, pdu, received, game_id,
                         fixed, score, handle, stored_at, hidden_by, key_hash)
  SELECT id, status, reason, sender, sent_at, sent_at_utc, pdu, received, game_id, fixed, score,
         handle, stored_at, hidden_by, brindle_key_hash(sender, sent_at, pdu, received)
  FROM messages ORDER BY id;
DROP TABLE messages;
ALTER TABLE messages_v5 RENAME TO messages;
CREATE INDEX messages_key ON messages (key_hash);
)sql"),
};

constexpr std::string_view kNowSeconds = "CAST(strftime('%s', 'now') AS INTEGER)";
constexpr std::string_view kNowStamp = "strftime('%Y-%m-%dT%H:%M:%SZ', 'now')";

std::string Clocked(std::string_view sql) {
  return WithClock(sql, kNowSeconds, kNowStamp, "INTEGER");
}

constexpr const char* kInsertSql = R"sql(
INSERT INTO messages (status, reason, sender, sent_at, sent_at_utc, pdu, received, game_id,
                      fixed, score, handle, stored_at, key_hash)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)
)sql";

// When a batch is stored, asked once for the whole batch rather than by each row's default.
constexpr const char* kNowSql = "SELECT strftime('%Y-%m-%dT%H:%M:%fZ', 'now')";

constexpr const char* kFindSql =
    "SELECT id FROM messages "
    "WHERE key_hash = ?1 AND sender = ?2 AND sent_at = ?3 AND pdu = ?4 AND received = ?5";

constexpr const char* kListSql = R"sql(
SELECT id, status, reason, sender, sent_at, sent_at_utc, pdu, received, game_id, fixed, score,
       handle, hidden_by
FROM messages ORDER BY id
)sql";

// A stored score, for kBestScoreUpsertSql.
constexpr const char* kRankSql = R"sql(
INSERT INTO best_scores (game_id, score, sent_at_utc, message_id, handle, sender, sent_at)
  VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)
)sql";

// The top ?2 of the first game from ?1 on, best first: a range of best_scores' key. Every
// game's board is read one game after another this way, never the whole table.
constexpr const char* kBoardSql = R"sql(
SELECT game_id, handle, score, sender, sent_at FROM best_scores
WHERE game_id = (SELECT min(game_id) FROM best_scores WHERE game_id >= ?1)
ORDER BY score DESC, sent_at_utc, message_id LIMIT ?2
)sql";

// A value bound to $n.
using SqlValue = std::variant<std::int64_t, std::string_view>;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = sqlite3_column_text(statement, column);
  const int length = sqlite3_column_bytes(statement, column);
  return text == nullptr
             ? std::string()
             : std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

std::string ColumnBlob(sqlite3_stmt* statement, int column) {
  const void* bytes = sqlite3_column_blob(statement, column);
  const int length = sqlite3_column_bytes(statement, column);
  return bytes == nullptr
             ? std::string()
             : std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

// Bound without a copy: every statement is bound again before each step, and the text
// outlives the step.
bool BindText(sqlite3_stmt* statement, int index, std::string_view text) {
  return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                           SQLITE_STATIC) == SQLITE_OK;
}

bool BindBlob(sqlite3_stmt* statement, int index, std::string_view bytes) {
  return sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()),
                           SQLITE_STATIC) == SQLITE_OK;
}

// Which file a path names.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return FileIdentity{status.st_dev, status.st_ino};
}

class SqliteStore final : public MessageStore {
 public:
  SqliteStore(Database db, std::string path, FileIdentity opened)
      : db_(std::move(db)), path_(std::move(path)), opened_(opened) {}

  bool Prepare(StoreError& error) {
    return Prepare(kInsertSql, insert_, error) && Prepare(kNowSql, now_, error) &&
           Prepare(kFindSql, find_, error) &&
           Prepare((std::string(kRankSql) + std::string(kBestScoreUpsertSql)).c_str(), rank_,
                   error) &&
           Prepare(kListSql, list_, error) && Prepare(kBoardSql, board_, error);
  }

  bool Keep(std::span<const Message> messages, std::vector<KeepResult>& results,
            StoreError& error) override;
  bool ForEachMessage(const std::function<bool(const StoredMessage&)>& visit,
                      StoreError& error) override;
  bool Leaderboard(const LeaderboardQuery& query, std::vector<GameLeaderboard>& games,
                   StoreError& error) override;
  bool SetHidden(std::int64_t messageId, bool hidden, Moderated& outcome,
                 StoreError& error) override;
  bool SetBlocked(std::string_view sender, bool blocked, Moderated& outcome,
                  StoreError& error) override;
  bool ForEachModeration(const std::function<bool(const ModerationAct&)>& visit,
                         StoreError& error) override;
  bool SetGameName(std::int64_t gameId, std::string_view name, StoreError& error) override;
  bool ReportPort(const PortReport& report, StoreError& error) override;
  bool PortStatuses(std::vector<PortStatus>& ports, StoreError& error) override;

 private:
  // Runs `sql` (store_operations_sql.h) with `values` bound to $1, $2, ...; `row` sees each
  // row. The rows it changed in `changes`. False on failure.
  bool Query(std::string_view sql, std::initializer_list<SqlValue> values, StoreError& error,
             const std::function<void(sqlite3_stmt*)>& row = {}, int* changes = nullptr);
  // Runs `act` in a write transaction, committed when it returns true.
  bool Write(StoreError& error, const std::function<bool()>& act);
  bool Rerank(std::string_view affected, SqlValue key, StoreError& error) {
    return Query(RerankDeleteSql(affected), {key}, error) &&
           Query(RerankInsertSql(affected), {key}, error);
  }
  bool LogAct(std::string_view action, const std::string& target, const std::string& detail,
              StoreError& error) {
    return Query(Clocked(kLogActSql), {action, target, detail}, error);
  }
  bool Prepare(const char* sql, Statement& statement, StoreError& error) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v3(db_.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr) !=
        SQLITE_OK) {
      return Fail(error);
    }
    statement.reset(raw);
    return true;
  }
  bool Fail(StoreError& error) const {
    error = {StoreErrorKind::kUnavailable, sqlite3_errmsg(db_.get())};
    return false;
  }
  // Steps `statement` through its rows, calling `row` on each until it returns false; the
  // statement is reset after. False when a step fails.
  template <typename Row>
  bool ForEachRow(sqlite3_stmt* statement, StoreError& error, const Row& row) {
    int step = sqlite3_step(statement);
    while (step == SQLITE_ROW && row()) {
      step = sqlite3_step(statement);
    }
    const bool read = step == SQLITE_ROW || step == SQLITE_DONE || Fail(error);
    sqlite3_reset(statement);
    return read;
  }
  bool Execute(const char* sql, StoreError& error) {
    return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK || Fail(error);
  }
  bool KeepOne(const Message& message, std::string_view storedAt, KeepResult& result,
               StoreError& error);
  bool Abandon(std::vector<KeepResult>& results) {
    sqlite3_reset(insert_.get());
    sqlite3_reset(find_.get());
    sqlite3_reset(rank_.get());
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    results.clear();
    return false;
  }

  Database db_;
  // A file deleted or replaced under the service would take the batch with it, and the phone's
  // copies would be deleted: the path must still name the file opened.
  std::string path_;
  FileIdentity opened_;
  Statement insert_;
  Statement now_;
  Statement find_;
  Statement rank_;
  Statement list_;
  Statement board_;
};

bool SqliteStore::KeepOne(const Message& message, std::string_view storedAt, KeepResult& result,
                          StoreError& error) {
  const auto keyHash = static_cast<std::int64_t>(
      MessageKeyHash(message.sender, message.sentAt, message.pdu, message.received));
  sqlite3_stmt* find = find_.get();
  sqlite3_reset(find);
  if (sqlite3_bind_int64(find, 1, keyHash) != SQLITE_OK || !BindText(find, 2, message.sender) ||
      !BindText(find, 3, message.sentAt) || !BindText(find, 4, message.pdu) ||
      !BindText(find, 5, message.received)) {
    return Fail(error);
  }
  const int found = sqlite3_step(find);
  const bool read = found == SQLITE_ROW || found == SQLITE_DONE || Fail(error);
  if (found == SQLITE_ROW) {
    result = {sqlite3_column_int64(find, 0), false};
  }
  sqlite3_reset(find);
  if (!read || found == SQLITE_ROW) {
    return read;
  }
  sqlite3_stmt* insert = insert_.get();
  sqlite3_reset(insert);
  sqlite3_clear_bindings(insert);
  const bool score = message.status == MessageStatus::kScore;
  bool bound =
      BindText(insert, 1, score ? kScoreStatus : kRejectedStatus) &&
      (score ? sqlite3_bind_null(insert, 2) == SQLITE_OK : BindText(insert, 2, message.reason)) &&
      BindText(insert, 3, message.sender) && BindText(insert, 4, message.sentAt) &&
      sqlite3_bind_int64(insert, 5, message.sentAtUtc) == SQLITE_OK &&
      BindText(insert, 6, message.pdu) && BindText(insert, 7, message.received) &&
      BindText(insert, 12, storedAt) && sqlite3_bind_int64(insert, 13, keyHash) == SQLITE_OK;
  if (bound && score) {
    bound = sqlite3_bind_int64(insert, 8, message.gameId) == SQLITE_OK &&
            sqlite3_bind_int64(insert, 9, message.fixed) == SQLITE_OK &&
            sqlite3_bind_int64(insert, 10, message.score) == SQLITE_OK &&
            BindBlob(insert, 11, message.handle);
  }
  if (!bound || sqlite3_step(insert) != SQLITE_DONE) {
    return Fail(error);
  }
  result = {sqlite3_last_insert_rowid(db_.get()), true};
  if (!score) {
    return true;
  }
  sqlite3_stmt* rank = rank_.get();
  sqlite3_reset(rank);
  const bool ranked = sqlite3_bind_int64(rank, 1, message.gameId) == SQLITE_OK &&
                      sqlite3_bind_int64(rank, 2, message.score) == SQLITE_OK &&
                      sqlite3_bind_int64(rank, 3, message.sentAtUtc) == SQLITE_OK &&
                      sqlite3_bind_int64(rank, 4, result.id) == SQLITE_OK &&
                      BindBlob(rank, 5, message.handle) && BindText(rank, 6, message.sender) &&
                      BindText(rank, 7, message.sentAt) && sqlite3_step(rank) == SQLITE_DONE;
  sqlite3_reset(rank);
  return ranked || Fail(error);
}

bool SqliteStore::Keep(std::span<const Message> messages, std::vector<KeepResult>& results,
                       StoreError& error) {
  results.assign(messages.size(), KeepResult{});
  if (!Execute("BEGIN IMMEDIATE", error)) {
    return false;
  }
  sqlite3_stmt* now = now_.get();
  sqlite3_reset(now);
  if (sqlite3_step(now) != SQLITE_ROW) {
    Fail(error);
    return Abandon(results);
  }
  const std::string storedAt = ColumnText(now, 0);
  sqlite3_reset(now);
  std::set<std::string, std::less<>> blocked;
  if (!Query(kBlockedSendersSql, {}, error,
             [&](sqlite3_stmt* row) { blocked.insert(ColumnText(row, 0)); })) {
    return Abandon(results);
  }
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const bool isBlocked = blocked.contains(messages[i].sender);
    if (!KeepOne(isBlocked ? AsBlocked(messages[i]) : messages[i], storedAt, results[i], error)) {
      return Abandon(results);
    }
    results[i].blocked = isBlocked && results[i].added;
  }
  if (IdentityOf(path_) != opened_) {
    error = {StoreErrorKind::kUnavailable,
             "the database file " + path_ + " was deleted or replaced since it was opened"};
    return Abandon(results);
  }
  sqlite3_reset(insert_.get());
  return Execute("COMMIT", error) || Abandon(results);
}

bool SqliteStore::ForEachMessage(const std::function<bool(const StoredMessage&)>& visit,
                                 StoreError& error) {
  sqlite3_stmt* list = list_.get();
  sqlite3_reset(list);
  return ForEachRow(list, error, [&] {
    StoredMessage stored;
    stored.id = sqlite3_column_int64(list, 0);
    Message& message = stored.message;
    message.status =
        ColumnText(list, 1) == kScoreStatus ? MessageStatus::kScore : MessageStatus::kRejected;
    message.reason = ColumnText(list, 2);
    message.sender = ColumnText(list, 3);
    message.sentAt = ColumnText(list, 4);
    message.sentAtUtc = sqlite3_column_int64(list, 5);
    message.pdu = ColumnText(list, 6);
    message.received = ColumnText(list, 7);
    message.gameId = sqlite3_column_int64(list, 8);
    message.fixed = sqlite3_column_int64(list, 9);
    message.score = sqlite3_column_int64(list, 10);
    message.handle = ColumnBlob(list, 11);
    stored.hiddenBy = ColumnText(list, 12);
    return visit(stored);
  });
}

bool SqliteStore::Leaderboard(const LeaderboardQuery& query, std::vector<GameLeaderboard>& games,
                              StoreError& error) {
  games.clear();
  sqlite3_stmt* board = board_.get();
  // Every game's boards from one moment of the file, though each is its own read.
  if (!Execute("BEGIN", error)) {
    return false;
  }
  std::int64_t from = query.gameId.value_or(std::numeric_limits<std::int64_t>::min());
  bool more = true;
  bool read = true;
  while (read && more) {
    sqlite3_reset(board);
    const bool bound =
        sqlite3_bind_int64(board, 1, from) == SQLITE_OK &&
        sqlite3_bind_int64(board, 2, std::max<std::int64_t>(query.top, 0)) == SQLITE_OK;
    more = false;
    read = (bound || Fail(error)) && ForEachRow(board, error, [&] {
             const std::int64_t gameId = sqlite3_column_int64(board, 0);
             if (query.gameId && gameId != *query.gameId) {
               return false;  // the game asked for has no scores
             }
             if (games.empty() || games.back().gameId != gameId) {
               games.push_back({gameId, {}, {}});
               more = !query.gameId && gameId < std::numeric_limits<std::int64_t>::max();
               from = gameId + 1;
             }
             auto& entries = games.back().entries;
             entries.push_back({static_cast<std::int64_t>(entries.size()) + 1, ColumnBlob(board, 1),
                                sqlite3_column_int64(board, 2), ColumnText(board, 3),
                                ColumnText(board, 4)});
             return true;
           });
  }
  for (std::size_t i = 0; read && i < games.size(); ++i) {
    read = Query("SELECT name FROM game_names WHERE game_id = $1", {games[i].gameId}, error,
                 [&](sqlite3_stmt* row) { games[i].gameName = ColumnText(row, 0); });
  }
  sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
  if (!read) {
    games.clear();
  }
  return read;
}

bool SqliteStore::Query(std::string_view sql, std::initializer_list<SqlValue> values,
                        StoreError& error, const std::function<void(sqlite3_stmt*)>& row,
                        int* changes) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
      SQLITE_OK) {
    return Fail(error);
  }
  const Statement statement(raw);
  int index = 0;
  for (const SqlValue& value : values) {
    const int at = sqlite3_bind_parameter_index(raw, ("$" + std::to_string(++index)).c_str());
    const bool bound =
        at == 0 || (std::holds_alternative<std::int64_t>(value)
                        ? sqlite3_bind_int64(raw, at, std::get<std::int64_t>(value)) == SQLITE_OK
                        : BindText(raw, at, std::get<std::string_view>(value)));
    if (!bound) {
      return Fail(error);
    }
  }
  const bool ran = ForEachRow(raw, error, [&] {
    if (row) {
      row(raw);
    }
    return true;
  });
  if (changes != nullptr) {
    *changes = sqlite3_changes(db_.get());
  }
  return ran;
}

bool SqliteStore::Write(StoreError& error, const std::function<bool()>& act) {
  if (!Execute("BEGIN IMMEDIATE", error)) {
    return false;
  }
  if (act() && Execute("COMMIT", error)) {
    return true;
  }
  sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

bool SqliteStore::SetHidden(std::int64_t messageId, bool hidden, Moderated& outcome,
                            StoreError& error) {
  return Write(error, [&] {
    std::optional<std::string> hiddenBy;
    if (!Query(kFindScoreSql, {messageId}, error,
               [&](sqlite3_stmt* row) { hiddenBy = ColumnText(row, 0); })) {
      return false;
    }
    outcome = !hiddenBy                      ? Moderated::kNoScore
              : hiddenBy->empty() == !hidden ? Moderated::kUnchanged
                                             : Moderated::kDone;
    if (outcome != Moderated::kDone) {
      return true;
    }
    return Query(hidden ? kHideSql : kShowSql, {messageId, kHiddenByOperator}, error) &&
           Rerank(kAffectedMessage, messageId, error) &&
           LogAct(hidden ? "hide" : "unhide", "message " + std::to_string(messageId),
                  *hiddenBy == kBlockedReason ? "hidden as its sender was blocked" : "", error);
  });
}

bool SqliteStore::SetBlocked(std::string_view sender, bool blocked, Moderated& outcome,
                             StoreError& error) {
  return Write(error, [&] {
    int changed = 0;
    if (!Query(blocked ? Clocked(kBlockSql) : std::string(kUnblockSql), {sender}, error, {},
               &changed)) {
      return false;
    }
    outcome = changed == 0 ? Moderated::kUnchanged : Moderated::kDone;
    int scores = 0;
    return outcome == Moderated::kUnchanged ||
           (Query(blocked ? kHideSenderSql : kShowSenderSql, {sender}, error, {}, &scores) &&
            Rerank(kAffectedSender, sender, error) &&
            LogAct(blocked ? "block" : "unblock", std::string(sender), ScoresMoved(scores, blocked),
                   error));
  });
}

bool SqliteStore::ForEachModeration(const std::function<bool(const ModerationAct&)>& visit,
                                    StoreError& error) {
  bool more = true;
  return Query(kListActsSql, {}, error, [&](sqlite3_stmt* row) {
    if (more) {
      more = visit({sqlite3_column_int64(row, 0), ColumnText(row, 1), ColumnText(row, 2),
                    ColumnText(row, 3), ColumnText(row, 4)});
    }
  });
}

bool SqliteStore::SetGameName(std::int64_t gameId, std::string_view name, StoreError& error) {
  return Write(error, [&] {
    return name.empty() ? Query(kUnnameGameSql, {gameId}, error)
                        : Query(kNameGameSql, {gameId, name}, error);
  });
}

bool SqliteStore::ReportPort(const PortReport& report, StoreError& error) {
  return Write(error, [&] {
    return Query(Clocked(kReportPortSql),
                 {report.port, PortStateName(report.state), std::int64_t{report.pollSeconds},
                  std::int64_t{report.listed ? 1 : 0}, std::int64_t{report.stored ? 1 : 0},
                  static_cast<std::int64_t>(report.storedCount),
                  static_cast<std::int64_t>(report.rejectedCount),
                  static_cast<std::int64_t>(report.deletedCount)},
                 error);
  });
}

bool SqliteStore::PortStatuses(std::vector<PortStatus>& ports, StoreError& error) {
  ports.clear();
  const auto ago = [](sqlite3_stmt* row, int column) {
    return sqlite3_column_type(row, column) == SQLITE_NULL
               ? std::nullopt
               : std::optional<std::int64_t>(sqlite3_column_int64(row, column));
  };
  return Query(Clocked(kPortStatusesSql), {}, error, [&](sqlite3_stmt* row) {
    PortStatus status;
    status.report.port = ColumnText(row, 0);
    status.report.state = PortStateOf(ColumnText(row, 1)).value_or(PortState::kStopped);
    status.report.pollSeconds = static_cast<std::uint32_t>(sqlite3_column_int64(row, 2));
    status.report.storedCount = static_cast<std::uint64_t>(sqlite3_column_int64(row, 3));
    status.report.rejectedCount = static_cast<std::uint64_t>(sqlite3_column_int64(row, 4));
    status.report.deletedCount = static_cast<std::uint64_t>(sqlite3_column_int64(row, 5));
    status.heardAgo = sqlite3_column_int64(row, 6);
    status.listedAgo = ago(row, 7);
    status.messageAgo = ago(row, 8);
    ports.push_back(std::move(status));
  });
}

int PragmaNumber(sqlite3* db, const char* sql, int& value) {
  sqlite3_stmt* raw = nullptr;
  int status = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  const Statement statement(raw);
  if (status != SQLITE_OK) {
    return status;
  }
  status = sqlite3_step(raw);
  if (status == SQLITE_ROW) {
    value = sqlite3_column_int(raw, 0);
    return SQLITE_OK;
  }
  return status;
}

struct SchemaState {
  int tables = 0;
  int version = 0;
  int application = 0;
};

bool ReadState(sqlite3* db, SchemaState& state, StoreError& error) {
  const int status = PragmaNumber(db, "SELECT count(*) FROM sqlite_master", state.tables);
  if (status == SQLITE_NOTADB) {
    error = {StoreErrorKind::kNotOurs, "not an SQLite database"};
    return false;
  }
  if (status != SQLITE_OK || PragmaNumber(db, "PRAGMA user_version", state.version) != SQLITE_OK ||
      PragmaNumber(db, "PRAGMA application_id", state.application) != SQLITE_OK) {
    error = {StoreErrorKind::kUnavailable, sqlite3_errmsg(db)};
    return false;
  }
  return true;
}

// False for files of other programs and of newer versions, and, for readers (not `create`),
// files without the schema or with an older one.
bool Usable(const SchemaState& state, bool create, StoreError& error) {
  const bool empty = state.tables == 0 && state.version == 0 && state.application == 0;
  if (!empty && state.application != kSqliteApplicationId) {
    error = {StoreErrorKind::kNotOurs, "an SQLite database of another program"};
  } else if (state.version > kSqliteSchemaVersion) {
    error = {StoreErrorKind::kNotOurs,
             "written by a newer version (schema " + std::to_string(state.version) + ")"};
  } else if (empty && !create) {
    error = {StoreErrorKind::kNotOurs, "an empty file, not a score database"};
  } else if (!create && state.version < kSqliteSchemaVersion) {
    error = {StoreErrorKind::kUnavailable, "schema " + std::to_string(state.version) +
                                               " is older; brindle serve brings it up to date"};
  } else {
    return true;
  }
  return false;
}

bool Run(sqlite3* db, const std::string& sql, StoreError& error) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = {StoreErrorKind::kUnavailable, sqlite3_errmsg(db)};
    return false;
  }
  return true;
}

// brindle_key_hash(sender, sent_at, pdu, received): MessageKeyHash, for the migration that
// fills key_hash.
bool AddKeyHashFunction(sqlite3* db, StoreError& error) {
  const auto keyHash = [](sqlite3_context* context, int, sqlite3_value** values) {
    std::array<std::string_view, 4> parts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[i]));
      parts[i] =
          text == nullptr
              ? std::string_view()
              : std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(values[i])));
    }
    sqlite3_result_int64(
        context, static_cast<std::int64_t>(MessageKeyHash(parts[0], parts[1], parts[2], parts[3])));
  };
  if (sqlite3_create_function_v2(db, "brindle_key_hash", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                 nullptr, keyHash, nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = {StoreErrorKind::kUnavailable, sqlite3_errmsg(db)};
    return false;
  }
  return true;
}

// The steps from `version` to kSqliteSchemaVersion, in the transaction already open.
bool RunMigrations(sqlite3* db, int version, StoreError& error) {
  if (version == kSqliteSchemaVersion) {
    return true;
  }
  std::string script;
  for (int step = version; step < kSqliteSchemaVersion; ++step) {
    script += kMigrations[static_cast<std::size_t>(step)];
    if (step == 3) {
      script += Clocked(kModerationTablesSql);
    }
  }
  script += "PRAGMA application_id = " + std::to_string(kSqliteApplicationId) + ";";
  script += "PRAGMA user_version = " + std::to_string(kSqliteSchemaVersion) + ";";
  return Run(db, script, error);
}

// Brings the file to kSqliteSchemaVersion, creating the schema in an empty file (only when
// `create`). Two services may start on one file at once: the write lock makes one wait for the
// other, which may have made or migrated the schema meanwhile, so it is read again under it.
bool Migrate(sqlite3* db, bool create, StoreError& error) {
  SchemaState state;
  if (!ReadState(db, state, error) || !Usable(state, create, error)) {
    return false;
  }
  if (state.version == kSqliteSchemaVersion) {
    return true;
  }
  sqlite3_busy_timeout(db, kMigrationWaitMs);
  const bool migrated = AddKeyHashFunction(db, error) && Run(db, "BEGIN IMMEDIATE", error) &&
                        ReadState(db, state, error) && Usable(state, create, error) &&
                        RunMigrations(db, state.version, error) && Run(db, "COMMIT", error);
  if (!migrated) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  return migrated;
}

// The switch to WAL needs the file to itself and SQLite does not wait for that: a service that
// brought the schema up to date a moment ago may still be closing its read. So it is tried
// again for as long as a migration may be waited for.
bool SwitchToWal(sqlite3* db, StoreError& error) {
  constexpr int kPauseMs = 10;
  for (int waited = 0;; waited += kPauseMs) {
    const int status = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    if (status == SQLITE_OK) {
      return true;
    }
    if (status != SQLITE_BUSY || waited >= kMigrationWaitMs) {
      error = {StoreErrorKind::kUnavailable, sqlite3_errmsg(db)};
      return false;
    }
    sqlite3_sleep(kPauseMs);
  }
}

// Opens `file` with its schema brought to date; null with `error` on failure. `write` without
// `create`: a file of the current schema, for moderation.
Database OpenFile(const std::string& file, bool create, bool write, StoreError& error) {
  const int flags = create  ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                    : write ? SQLITE_OPEN_READWRITE
                            : SQLITE_OPEN_READONLY;
  int status = SQLITE_OK;
  std::string failure;
  Database db = OpenDatabase(file, flags | SQLITE_OPEN_NOMUTEX, status, failure);
  if (db == nullptr) {
    const bool missing = status == SQLITE_CANTOPEN && !create;
    error = {missing ? StoreErrorKind::kMissing : StoreErrorKind::kUnavailable,
             missing ? "no database at " + file : failure};
    return nullptr;
  }
  // A new file's pages are 8 KiB rather than 4: the unique index's long keys (the PDU text)
  // then make a shallower tree, and a large import spends about a tenth less time in it. The
  // size of a file already made never changes.
  if (create &&
      sqlite3_exec(db.get(), "PRAGMA page_size = 8192", nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = {StoreErrorKind::kUnavailable, sqlite3_errmsg(db.get())};
    return nullptr;
  }
  if (!Migrate(db.get(), create, error)) {
    return nullptr;
  }
  // A batch of thousands touches pages all over the unique index; SQLite's default 2 MiB cache
  // would read them from the file again and again. Pages are taken only as they are used.
  if (!Run(db.get(), "PRAGMA cache_size = -65536;", error)) {
    return nullptr;
  }
  // WAL lets readers run beside the service. FULL syncs the log at every commit: a message is
  // deleted from the phone once it is committed, so the commit has to outlast a power cut, not
  // only a crash of the program. A listing is stored in one commit, so that is a sync a batch.
  if (create &&
      !(SwitchToWal(db.get(), error) && Run(db.get(), "PRAGMA synchronous = FULL;", error))) {
    return nullptr;
  }
  return db;
}

// A new database appears whole, so that a reader never finds it half made: it is made beside
// its place under a name of its own and linked there. A link never replaces a file, so of two
// services making it at once one links and the other uses that one. Where the link fails for
// another reason (a file system without them), OpenFile makes it in place.
bool MakeBeside(const std::string& file, StoreError& error) {
  static std::atomic<int> made{0};
  const std::string building =
      file + ".new-" + std::to_string(getpid()) + "-" + std::to_string(++made);
  std::error_code fault;
  const bool built = OpenFile(building, true, true, error) != nullptr;
  if (built) {
    std::filesystem::create_hard_link(building, file, fault);
  }
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    std::filesystem::remove(building + suffix, fault);
  }
  return built;
}

}  // namespace

std::unique_ptr<MessageStore> OpenSqliteStore(std::string_view path, OpenMode mode,
                                              StoreError& error) {
  // No allocation statistics, which take a global lock on every allocation: Brindle never reads
  // them. Set before the library's first use, or it keeps them (no harm either way).
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  static_cast<void>(configured);
  const std::string file(path);
  const bool create = mode == OpenMode::kCreateIfMissing;
  std::error_code fault;
  if (create && !std::filesystem::exists(file, fault) && !MakeBeside(file, error)) {
    return nullptr;
  }
  Database db = OpenFile(file, create, mode != OpenMode::kExistingOnly, error);
  if (!db) {
    return nullptr;
  }
  const std::optional<FileIdentity> opened = IdentityOf(file);
  if (!opened) {
    error = {StoreErrorKind::kUnavailable, "the database file " + file + " is gone"};
    return nullptr;
  }
  auto store = std::make_unique<SqliteStore>(std::move(db), file, *opened);
  if (!store->Prepare(error)) {
    return nullptr;
  }
  return store;
}

}  // namespace brindle::service
