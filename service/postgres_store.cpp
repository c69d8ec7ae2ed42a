#include "service/postgres_store.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <exception>
#include <pqxx/pqxx>
#include <set>
#include <string>
#include <utility>

#include "service/best_scores_sql.h"
#include "service/change_watch.h"
#include "service/store_operations_sql.h"

namespace brindle::service {
namespace {

// Rows fetched per round by ForEachMessage, so a large table is never held at once.
constexpr int kListPage = 1000;

// The keywords libpq takes in key=value connection text, each between blanks.
constexpr std::string_view kLibpqKeywords =
    " application_name channel_binding client_encoding connect_timeout dbname"
    " fallback_application_name gssdelegation gssencmode gsslib host hostaddr keepalives"
    " keepalives_count keepalives_idle keepalives_interval krbsrvname load_balance_hosts options"
    " passfile password port replication require_auth requirepeer requiressl service"
    " ssl_max_protocol_version ssl_min_protocol_version sslcert sslcertmode sslcompression sslcrl"
    " sslcrldir sslkey sslmode sslnegotiation sslpassword sslrootcert sslsni target_session_attrs"
    " tcp_user_timeout user ";
// Blanks as libpq skips them around keywords and values.
constexpr std::string_view kBlanks = " \t\n\v\f\r";

// Texts other than the handle and the PDU are ASCII in practice; Latin-1 on the wire keeps any
// other byte storable (and readable in psql) whatever the database's encoding.
constexpr const char* kClientEncoding = "LATIN1";

// Each step takes the schema from version i to i + 1. Handles and PDUs are bytea: they are
// bytes, compared byte for byte, and may hold any value.
constexpr std::array<const char*, kPostgresSchemaVersion> kMigrations = {
    R"sql(
CREATE TABLE messages (
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  status text NOT NULL CHECK (status IN ('score', 'rejected')),
  reason text,
  sender text NOT NULL,
  sent_at text NOT NULL,
  sent_at_utc bigint NOT NULL,
  pdu bytea NOT NULL,
  game_id bigint,
  fixed bigint,
  score bigint,
  handle bytea,
  stored_at timestamptz NOT NULL DEFAULT now(),
  UNIQUE (sender, sent_at, pdu)
);
CREATE INDEX messages_best ON messages (game_id, handle, score DESC, sent_at_utc, id)
  INCLUDE (sender, sent_at) WHERE status = 'score';
)sql",
    // Where and when a damaged entry was taken; part of the key, so entries with the same junk
    // text are kept apart. The rows held get '' and keep their ids.
    R"sql(
ALTER TABLE messages ADD COLUMN received text NOT NULL DEFAULT '',
  DROP CONSTRAINT messages_sender_sent_at_pdu_key,
  ADD UNIQUE (sender, sent_at, pdu, received);
)sql",
    // Each handle's best message per game, kept beside every score stored, so that a board
    // reads only the rows it shows: one game's top N is N entries of best_scores_rank (an
    // index-only scan), and the key finds the row a new score may replace. Filled from the
    // rows held; the index that ranked them when asked is no longer needed.
    R"sql(
CREATE TABLE best_scores (
  game_id bigint NOT NULL,
  handle bytea NOT NULL,
  score bigint NOT NULL,
  sent_at_utc bigint NOT NULL,
  message_id bigint NOT NULL,
  sender text NOT NULL,
  sent_at text NOT NULL,
  PRIMARY KEY (game_id, handle)
);
INSERT INTO best_scores
  SELECT DISTINCT ON (game_id, handle) game_id, handle, score, sent_at_utc, id, sender, sent_at
  FROM messages WHERE status = 'score'
  ORDER BY game_id, handle, score DESC, sent_at_utc, id;
CREATE INDEX best_scores_rank ON best_scores (game_id, score DESC, sent_at_utc, message_id)
  INCLUDE (handle, sender, sent_at);
DROP INDEX IF EXISTS messages_best;
)sql",
    // Moderation, game names and the services' reports (store_operations_sql.h).
    "ALTER TABLE messages ADD COLUMN hidden_by text;",
};

constexpr std::string_view kNowSeconds = "CAST(extract(epoch FROM now()) AS bigint)";
constexpr std::string_view kNowStamp =
    R"(to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"Z"'))";

std::string Clocked(std::string_view sql) {
  return WithClock(sql, kNowSeconds, kNowStamp, "bigint GENERATED ALWAYS AS IDENTITY");
}

// Held by every moderation act alone and by every batch shared, to its commit: a block waits
// for the batches that read the blocked senders before it, batches after it wait for its
// commit, and a board is never ranked again while a batch ranks on it.
constexpr const char* kModerationLockSql = "SELECT pg_advisory_xact_lock($1)";
constexpr const char* kKeepLockSql = "SELECT pg_advisory_xact_lock_shared($1)";

constexpr const char* kInsertSql = R"sql(
INSERT INTO messages (status, reason, sender, sent_at, sent_at_utc, pdu, received, game_id,
                      fixed, score, handle)
VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11)
ON CONFLICT (sender, sent_at, pdu, received) DO NOTHING
RETURNING id
)sql";

// After a conflict the row is committed (the insert waited for it), so a new statement sees it.
// unnest keeps the array's order, so the locks are taken sorted.
constexpr const char* kLockKeysSql =
    "SELECT count(pg_advisory_xact_lock(key)) FROM unnest($1::bigint[]) AS key";

constexpr const char* kFindSql =
    "SELECT id FROM messages WHERE sender = $1 AND sent_at = $2 AND pdu = $3 AND received = $4";

constexpr const char* kListSql = R"sql(
SELECT id, status, reason, sender, sent_at, sent_at_utc, pdu, received, game_id, fixed, score,
       handle, hidden_by
FROM messages WHERE id > $1 ORDER BY id LIMIT $2
)sql";

// The batch's best score for each handle, for kBestScoreUpsertSql. The rows are locked in the
// order of their key, the same in every writer, so two batches that share handles wait for
// each other one way only.
constexpr const char* kRankSql = R"sql(
INSERT INTO best_scores (game_id, handle, score, sent_at_utc, message_id, sender, sent_at)
  SELECT DISTINCT ON (game_id, handle) game_id, handle, score, sent_at_utc, id, sender, sent_at
  FROM messages WHERE id = ANY($1::bigint[]) AND status = 'score'
  ORDER BY game_id, handle, score DESC, sent_at_utc, id
)sql";

constexpr const char* kGameBoardSql = R"sql(
SELECT game_id, handle, score, sender, sent_at FROM best_scores WHERE game_id = $1
ORDER BY score DESC, sent_at_utc, message_id LIMIT $2
)sql";

// Every game's board, each a range of best_scores_rank: the games are found one after another
// (each the least above the last), never by reading every row.
constexpr const char* kAllBoardsSql = R"sql(
WITH RECURSIVE games (id) AS (
  SELECT min(game_id) FROM best_scores
  UNION ALL
  SELECT (SELECT min(game_id) FROM best_scores WHERE game_id > games.id) FROM games
  WHERE games.id IS NOT NULL
)
SELECT board.game_id, board.handle, board.score, board.sender, board.sent_at
FROM games CROSS JOIN LATERAL (
  SELECT game_id, handle, score, sender, sent_at, sent_at_utc, message_id FROM best_scores
  WHERE game_id = games.id ORDER BY score DESC, sent_at_utc, message_id LIMIT $1) AS board
ORDER BY board.game_id, board.score DESC, board.sent_at_utc, board.message_id
)sql";

// The first line of a library message, for the operator's one line.
std::string FirstLine(const char* text) {
  std::string line(text);
  const std::size_t end = line.find('\n');
  if (end != std::string::npos) {
    line.resize(end);
  }
  return line;
}

pqxx::binarystring Bytes(const std::string& bytes) { return {bytes.data(), bytes.size()}; }

std::string BytesOf(const pqxx::field& field) {
  if (field.is_null()) {
    return {};
  }
  const pqxx::binarystring bytes(field);
  return bytes.str();
}

std::string TextOf(const pqxx::field& field) {
  return field.is_null() ? std::string() : field.as<std::string>();
}

std::int64_t NumberOf(const pqxx::field& field) {
  return field.is_null() ? 0 : field.as<std::int64_t>();
}

// The lock keys as a PostgreSQL array literal, in their order.
std::string ArrayLiteral(const std::vector<std::int64_t>& keys) {
  std::string array = "{";
  for (const std::int64_t key : keys) {
    array += (array.size() > 1 ? "," : "") + std::to_string(key);
  }
  return array + "}";
}

bool Fail(StoreError& error, StoreErrorKind kind, std::string text) {
  error = {kind, std::move(text)};
  return false;
}

// SQLSTATE classes of faults that pass: a connection fault, a transaction rolled back (a
// deadlock, a serialization failure), resources, the operator's intervention, the system.
bool Passes(const std::string& sqlstate) {
  return std::ranges::any_of(std::to_array<std::string_view>({"08", "40", "53", "57", "58"}),
                             [&](std::string_view state) { return sqlstate.starts_with(state); });
}

// Checks the database's tables and, when allowed, creates or migrates them. Runs in its own
// transaction under the migration lock, so a second service waits and then finds them made.
bool Migrate(pqxx::connection& connection, bool create, StoreError& error) {
  pqxx::work work(connection);
  work.exec_params("SELECT pg_advisory_xact_lock($1)", kPostgresMigrationLock);
  const pqxx::row marker = work.exec1(
      "SELECT to_regclass('brindle_schema') IS NOT NULL, "
      "(SELECT count(*) FROM pg_tables WHERE schemaname = current_schema())");
  const bool marked = marker[0].as<bool>();
  const auto tables = marker[1].as<std::int64_t>();
  int version = 0;
  if (marked) {
    const pqxx::result rows = work.exec("SELECT application, version FROM brindle_schema");
    if (rows.size() != 1 || rows[0][0].as<std::string>() != kPostgresApplication) {
      return Fail(error, StoreErrorKind::kNotOurs, "brindle_schema belongs to another program");
    }
    version = rows[0][1].as<int>();
  } else if (tables > 0) {
    return Fail(error, StoreErrorKind::kNotOurs, "a database with another program's tables");
  }
  if (version > kPostgresSchemaVersion) {
    return Fail(error, StoreErrorKind::kNotOurs,
                "written by a newer version (schema " + std::to_string(version) + ")");
  }
  if (version == kPostgresSchemaVersion) {
    return true;
  }
  if (!create) {
    return Fail(error, version == 0 ? StoreErrorKind::kNotOurs : StoreErrorKind::kUnavailable,
                version == 0 ? "an empty database, not a score database"
                             : "schema " + std::to_string(version) +
                                   " is older; brindle serve brings it up to date");
  }
  if (!marked) {
    work.exec("CREATE TABLE brindle_schema (application text NOT NULL, version integer NOT NULL)");
    work.exec_params("INSERT INTO brindle_schema VALUES ($1, 0)",
                     std::string(kPostgresApplication));
  }
  for (int step = version; step < kPostgresSchemaVersion; ++step) {
    work.exec(kMigrations[static_cast<std::size_t>(step)]);
    if (step == 3) {
      work.exec(Clocked(kModerationTablesSql));
    }
  }
  work.exec_params("UPDATE brindle_schema SET version = $1", kPostgresSchemaVersion);
  work.commit();
  return true;
}

class PostgresStore final : public MessageStore {
 public:
  explicit PostgresStore(std::string conninfo) : conninfo_(std::move(conninfo)) {}

  // Connects (again, after a lost connection) and prepares the statements.
  bool Connect(StoreError& error);
  // A statement the server refuses (no right to create tables, say) is not ours to use; only
  // faults that pass are worth waiting for.
  bool Migrate(bool create, StoreError& error) {
    try {
      return service::Migrate(*connection_, create, error);
    } catch (const pqxx::sql_error& e) {
      return Fail(error,
                  Passes(e.sqlstate()) ? StoreErrorKind::kUnavailable : StoreErrorKind::kNotOurs,
                  FirstLine(e.what()));
    } catch (const std::exception& e) {
      return Fail(error, StoreErrorKind::kUnavailable, FirstLine(e.what()));
    }
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
  // Runs `act` in a transaction under the moderation locks; readers are told when it commits.
  template <typename Act>
  bool Moderate(StoreError& error, Act&& act) {
    return Guard(error, [&] {
      pqxx::work work(*connection_);
      work.exec_params(kModerationLockSql, kPostgresModerationLock);
      if (act(work)) {
        work.exec0("NOTIFY " + std::string(kChangeChannel));
        work.commit();
      }
      return true;
    });
  }
  template <typename Key>
  static void Rerank(pqxx::work& work, std::string_view affected, const Key& key) {
    work.exec_params(RerankDeleteSql(affected), key);
    work.exec_params(RerankInsertSql(affected), key);
  }
  // Runs `body` on a live connection; a database failure becomes kUnavailable, and a lost
  // connection is dropped so that the next call connects again.
  template <typename Body>
  bool Guard(StoreError& error, Body&& body) {
    if (!connection_ && !Connect(error)) {
      return false;
    }
    try {
      return body();
    } catch (const pqxx::broken_connection& e) {
      connection_.reset();
      return Fail(error, StoreErrorKind::kUnavailable, "connection lost: " + FirstLine(e.what()));
    } catch (const pqxx::in_doubt_error& e) {
      connection_.reset();
      return Fail(error, StoreErrorKind::kUnavailable, "commit in doubt: " + FirstLine(e.what()));
    } catch (const std::exception& e) {
      return Fail(error, StoreErrorKind::kUnavailable, FirstLine(e.what()));
    }
  }

  bool TryConnect(std::string& failure);

  std::string conninfo_;
  std::unique_ptr<pqxx::connection> connection_;
};

bool PostgresStore::TryConnect(std::string& failure) {
  try {
    auto connection = std::make_unique<pqxx::connection>(conninfo_);
    connection->set_client_encoding(kClientEncoding);
    connection->prepare("insert", kInsertSql);
    connection->prepare("lock_keys", kLockKeysSql);
    connection->prepare("find", kFindSql);
    connection->prepare("rank", std::string(kRankSql) + std::string(kBestScoreUpsertSql));
    connection->prepare("list", kListSql);
    connection->prepare("game_board", kGameBoardSql);
    connection->prepare("all_boards", kAllBoardsSql);
    connection->prepare("game_names",
                        "SELECT game_id, name FROM game_names WHERE game_id = ANY($1::bigint[])");
    connection_ = std::move(connection);
    return true;
  } catch (const std::exception& e) {
    failure = FirstLine(e.what());
    return false;
  }
}

// libpq gives no error code for a failed connection, but its ping tells a server that is not
// there (or not taking connections yet) from one that answers and turns us away.
bool PostgresStore::Connect(StoreError& error) {
  std::string failure;
  if (TryConnect(failure)) {
    return true;
  }
  const PGPing ping = PQping(conninfo_.c_str());
  if (ping == PQPING_NO_ATTEMPT) {
    return Fail(error, StoreErrorKind::kMissing, failure);
  }
  if (ping != PQPING_OK) {
    return Fail(error, StoreErrorKind::kUnavailable, failure);
  }
  // It may only now have come up; failing again while it answers is about us.
  if (TryConnect(failure)) {
    return true;
  }
  const bool missing = failure.find("does not exist") != std::string::npos &&
                       failure.find("database") != std::string::npos;
  return Fail(error, missing ? StoreErrorKind::kMissing : StoreErrorKind::kNotOurs, failure);
}

bool PostgresStore::Keep(std::span<const Message> messages, std::vector<KeepResult>& results,
                         StoreError& error) {
  results.assign(messages.size(), KeepResult{});
  const bool kept = Guard(error, [&] {
    pqxx::work work(*connection_);
    work.exec_prepared("lock_keys", ArrayLiteral(MessageLockKeys(messages)));
    work.exec_params(kKeepLockSql, kPostgresModerationLock);
    std::set<std::string, std::less<>> blocked;
    for (const pqxx::row& row : work.exec(std::string(kBlockedSendersSql))) {
      blocked.insert(TextOf(row[0]));
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
      const bool isBlocked = blocked.contains(messages[i].sender);
      const Message m = isBlocked ? AsBlocked(messages[i]) : messages[i];
      const bool score = m.status == MessageStatus::kScore;
      const std::string status(score ? kScoreStatus : kRejectedStatus);
      const pqxx::binarystring handle = Bytes(m.handle);
      const pqxx::result added =
          score ? work.exec_prepared("insert", status, nullptr, m.sender, m.sentAt, m.sentAtUtc,
                                     Bytes(m.pdu), m.received, m.gameId, m.fixed, m.score, handle)
                : work.exec_prepared("insert", status, m.reason, m.sender, m.sentAt, m.sentAtUtc,
                                     Bytes(m.pdu), m.received, nullptr, nullptr, nullptr, nullptr);
      if (added.size() == 1) {
        results[i] = {added[0][0].as<std::int64_t>(), true, isBlocked};
        continue;
      }
      const pqxx::row held =
          work.exec_prepared1("find", m.sender, m.sentAt, Bytes(m.pdu), m.received);
      results[i] = {held[0].as<std::int64_t>(), false};
    }
    std::vector<std::int64_t> added;
    for (const KeepResult& result : results) {
      if (result.added) {
        added.push_back(result.id);
      }
    }
    if (!added.empty()) {
      work.exec_prepared("rank", ArrayLiteral(added));
      work.exec0("NOTIFY " + std::string(kChangeChannel));  // delivered on commit, to readers
    }
    work.commit();
    return true;
  });
  if (!kept) {
    results.clear();
  }
  return kept;
}

bool PostgresStore::ForEachMessage(const std::function<bool(const StoredMessage&)>& visit,
                                   StoreError& error) {
  return Guard(error, [&] {
    // Every page from one snapshot: ids are taken before commit, so a writer may commit a row
    // below a page already read; paging through the table as it is now would skip it.
    pqxx::transaction<pqxx::repeatable_read, pqxx::read_only> read(*connection_);
    std::int64_t after = 0;
    for (;;) {
      const pqxx::result page = read.exec_prepared("list", after, kListPage);
      for (const pqxx::row& row : page) {
        StoredMessage stored;
        stored.id = row[0].as<std::int64_t>();
        Message& m = stored.message;
        m.status =
            TextOf(row[1]) == kScoreStatus ? MessageStatus::kScore : MessageStatus::kRejected;
        m.reason = TextOf(row[2]);
        m.sender = TextOf(row[3]);
        m.sentAt = TextOf(row[4]);
        m.sentAtUtc = NumberOf(row[5]);
        m.pdu = BytesOf(row[6]);
        m.received = TextOf(row[7]);
        m.gameId = NumberOf(row[8]);
        m.fixed = NumberOf(row[9]);
        m.score = NumberOf(row[10]);
        m.handle = BytesOf(row[11]);
        stored.hiddenBy = TextOf(row[12]);
        after = stored.id;
        if (!visit(stored)) {
          return true;
        }
      }
      if (page.size() < static_cast<std::size_t>(kListPage)) {
        return true;
      }
    }
  });
}

bool PostgresStore::Leaderboard(const LeaderboardQuery& query, std::vector<GameLeaderboard>& games,
                                StoreError& error) {
  games.clear();
  const bool done = Guard(error, [&] {
    pqxx::read_transaction read(*connection_);
    const std::int64_t top = std::max<std::int64_t>(query.top, 0);
    const pqxx::result rows = query.gameId ? read.exec_prepared("game_board", *query.gameId, top)
                                           : read.exec_prepared("all_boards", top);
    std::vector<std::int64_t> ids;
    for (const pqxx::row& row : rows) {
      const auto gameId = row[0].as<std::int64_t>();
      if (games.empty() || games.back().gameId != gameId) {
        games.push_back({gameId, {}, {}});
        ids.push_back(gameId);
      }
      auto& entries = games.back().entries;
      entries.push_back({static_cast<std::int64_t>(entries.size()) + 1, BytesOf(row[1]),
                         row[2].as<std::int64_t>(), TextOf(row[3]), TextOf(row[4])});
    }
    if (!ids.empty()) {
      for (const pqxx::row& row : read.exec_prepared("game_names", ArrayLiteral(ids))) {
        const auto gameId = row[0].as<std::int64_t>();
        std::ranges::find(games, gameId, &GameLeaderboard::gameId)->gameName = TextOf(row[1]);
      }
    }
    read.commit();
    return true;
  });
  if (!done) {
    games.clear();
  }
  return done;
}

bool PostgresStore::SetHidden(std::int64_t messageId, bool hidden, Moderated& outcome,
                              StoreError& error) {
  return Moderate(error, [&](pqxx::work& work) {
    const pqxx::result found = work.exec_params(std::string(kFindScoreSql), messageId);
    const std::string hiddenBy = found.empty() ? std::string() : TextOf(found[0][0]);
    outcome = found.empty()                 ? Moderated::kNoScore
              : hiddenBy.empty() == !hidden ? Moderated::kUnchanged
                                            : Moderated::kDone;
    if (outcome != Moderated::kDone) {
      return false;
    }
    if (hidden) {
      work.exec_params(std::string(kHideSql), messageId, std::string(kHiddenByOperator));
    } else {
      work.exec_params(std::string(kShowSql), messageId);
    }
    Rerank(work, kAffectedMessage, messageId);
    work.exec_params(Clocked(kLogActSql), hidden ? "hide" : "unhide",
                     "message " + std::to_string(messageId),
                     hiddenBy == kBlockedReason ? "hidden as its sender was blocked" : "");
    return true;
  });
}

bool PostgresStore::SetBlocked(std::string_view sender, bool blocked, Moderated& outcome,
                               StoreError& error) {
  const std::string number(sender);
  return Moderate(error, [&](pqxx::work& work) {
    const pqxx::result changed =
        work.exec_params(blocked ? Clocked(kBlockSql) : std::string(kUnblockSql), number);
    outcome = changed.affected_rows() == 0 ? Moderated::kUnchanged : Moderated::kDone;
    if (outcome != Moderated::kDone) {
      return false;
    }
    const pqxx::result scores =
        work.exec_params(std::string(blocked ? kHideSenderSql : kShowSenderSql), number);
    Rerank(work, kAffectedSender, number);
    work.exec_params(Clocked(kLogActSql), blocked ? "block" : "unblock", number,
                     ScoresMoved(static_cast<std::int64_t>(scores.affected_rows()), blocked));
    return true;
  });
}

bool PostgresStore::ForEachModeration(const std::function<bool(const ModerationAct&)>& visit,
                                      StoreError& error) {
  return Guard(error, [&] {
    pqxx::read_transaction read(*connection_);
    for (const pqxx::row& row : read.exec(std::string(kListActsSql))) {
      if (!visit({row[0].as<std::int64_t>(), TextOf(row[1]), TextOf(row[2]), TextOf(row[3]),
                  TextOf(row[4])})) {
        break;
      }
    }
    return true;
  });
}

bool PostgresStore::SetGameName(std::int64_t gameId, std::string_view name, StoreError& error) {
  return Guard(error, [&] {
    pqxx::work work(*connection_);
    if (name.empty()) {
      work.exec_params(std::string(kUnnameGameSql), gameId);
    } else {
      work.exec_params(std::string(kNameGameSql), gameId, std::string(name));
    }
    work.exec0("NOTIFY " + std::string(kChangeChannel));
    work.commit();
    return true;
  });
}

bool PostgresStore::ReportPort(const PortReport& report, StoreError& error) {
  return Guard(error, [&] {
    pqxx::work work(*connection_);
    work.exec_params(Clocked(kReportPortSql), report.port, std::string(PortStateName(report.state)),
                     std::int64_t{report.pollSeconds}, report.listed ? 1 : 0, report.stored ? 1 : 0,
                     static_cast<std::int64_t>(report.storedCount),
                     static_cast<std::int64_t>(report.rejectedCount),
                     static_cast<std::int64_t>(report.deletedCount));
    work.commit();
    return true;
  });
}

bool PostgresStore::PortStatuses(std::vector<PortStatus>& ports, StoreError& error) {
  ports.clear();
  const auto ago = [](const pqxx::field& field) {
    return field.is_null() ? std::nullopt : std::optional<std::int64_t>(NumberOf(field));
  };
  return Guard(error, [&] {
    pqxx::read_transaction read(*connection_);
    for (const pqxx::row& row : read.exec(Clocked(kPortStatusesSql))) {
      PortStatus status;
      status.report.port = TextOf(row[0]);
      status.report.state = PortStateOf(TextOf(row[1])).value_or(PortState::kStopped);
      status.report.pollSeconds = static_cast<std::uint32_t>(NumberOf(row[2]));
      status.report.storedCount = static_cast<std::uint64_t>(NumberOf(row[3]));
      status.report.rejectedCount = static_cast<std::uint64_t>(NumberOf(row[4]));
      status.report.deletedCount = static_cast<std::uint64_t>(NumberOf(row[5]));
      status.heardAgo = NumberOf(row[6]);
      status.listedAgo = ago(row[7]);
      status.messageAgo = ago(row[8]);
      ports.push_back(std::move(status));
    }
    return true;
  });
}

}  // namespace

bool IsPostgresLocation(std::string_view location) {
  if (location.starts_with("postgresql://") || location.starts_with("postgres://")) {
    return true;
  }
  const std::size_t start = location.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) {
    return false;
  }
  const std::string_view text = location.substr(start);
  const std::size_t end = std::min(text.find_first_of(kBlanks), text.find('='));
  const std::size_t equals = text.find_first_not_of(kBlanks, end);
  const std::string keyword = " " + std::string(text.substr(0, end)) + " ";
  return equals != std::string_view::npos && text[equals] == '=' &&
         kLibpqKeywords.find(keyword) != std::string_view::npos;
}

// Each message's key hash; a collision only makes one writer wait for another.
std::vector<std::int64_t> MessageLockKeys(std::span<const Message> messages) {
  std::vector<std::int64_t> keys;
  keys.reserve(messages.size());
  for (const Message& m : messages) {
    const std::uint64_t hash = MessageKeyHash(m.sender, m.sentAt, m.pdu, m.received);
    // Above the migration's key, in a range of their own.
    keys.push_back(static_cast<std::int64_t>((std::uint64_t{1} << 40) + hash % kMessageLockSlots));
  }
  std::ranges::sort(keys);
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

std::unique_ptr<MessageStore> OpenPostgresStore(std::string_view conninfo, OpenMode mode,
                                                StoreError& error) {
  auto store = std::make_unique<PostgresStore>(std::string(conninfo));
  if (!store->Connect(error) || !store->Migrate(mode == OpenMode::kCreateIfMissing, error)) {
    return nullptr;
  }
  return store;
}

}  // namespace brindle::service
