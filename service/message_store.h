// Where the score service keeps the messages it takes off the phone, and the leaderboard it
// ranks from them. One interface; each database (SQLite, PostgreSQL) implements it, and
// OpenMessageStore picks the implementation from the location text.
//
// The rules every store keeps:
// - Keep() commits a whole batch or nothing; only after it returned true may the phone's
//   copies be deleted.
// - A message with the same sender, sentAt, pdu and received as one already held is not stored
//   again: Keep() reports the id held (added = false). Whole messages have no `received`, so a
//   message listed again is stored once; damaged entries differ by where and when they were
//   taken, so several with the same junk text are each kept.
// - Rejected messages are kept like scores but never ranked.
// - Leaderboard: per game, the best score of each handle (handles compared byte for byte,
//   whoever sent them), higher first, ties broken by the earlier sentAtUtc, then by id; ranks
//   run 1..n, never shared; a row shows the sender and sentAt of the handle's best message
//   (the earliest on a tie). Games by id ascending.
// - Keep() ranks each new score in the batch's own transaction, so that a board reads only the
//   rows it shows, never every score of its game.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::service {

enum class MessageStatus : std::uint8_t { kScore, kRejected };

// A message as the service hands it over for keeping.
struct Message {
  MessageStatus status = MessageStatus::kRejected;
  std::string reason;          // why it was rejected; empty for a score
  std::string sender;          // as the reader prints numbers ("+447700900123"); empty: unknown
  std::string sentAt;          // ISO 8601 with the stamp's own offset; empty: unknown
  std::int64_t sentAtUtc = 0;  // the same moment in seconds since 1970-01-01T00:00:00Z
  std::string pdu;             // the PDU text as the phone listed it
  // For an entry that did not arrive whole: where and when it was taken off the phone
  // ("SM 3 2026-12-07T13:49:05Z": memory, index, UTC time of receipt). Empty otherwise.
  std::string received;
  // The score fields; meaningful for scores only.
  std::int64_t gameId = 0;
  std::int64_t fixed = 0;
  std::int64_t score = 0;
  std::string handle;  // the payload's bytes, one byte per character
};

struct StoredMessage {
  std::int64_t id = 0;  // increases in the order the messages were stored
  Message message;
};

// What Keep() did with one message of the batch.
struct KeepResult {
  std::int64_t id = 0;  // the id it has in the store, new or held before
  bool added = false;   // false: the same message was held already
};

struct LeaderboardQuery {
  std::optional<std::int64_t> gameId;  // nullopt: every game
  std::int64_t top = 10;               // rows per game
};

struct LeaderboardEntry {
  std::int64_t rank = 0;
  std::string handle;
  std::int64_t score = 0;
  std::string sender;
  std::string sentAt;
};

struct GameLeaderboard {
  std::int64_t gameId = 0;
  std::vector<LeaderboardEntry> entries;
};

enum class StoreErrorKind : std::uint8_t {
  kNone,
  kMissing,      // no database at that location (and it was not to be created)
  kNotOurs,      // something is there, but not ours to use: another program's database, a newer
                 // schema, or a server that turns us away (an unknown role, bad credentials)
  kUnavailable,  // busy, read-only, full, an I/O fault, a server not reachable: try again later
};

struct StoreError {
  StoreErrorKind kind = StoreErrorKind::kNone;
  std::string text;  // one line for the operator
};

class MessageStore {
 public:
  MessageStore() = default;
  MessageStore(const MessageStore&) = delete;
  MessageStore& operator=(const MessageStore&) = delete;
  MessageStore(MessageStore&&) = delete;
  MessageStore& operator=(MessageStore&&) = delete;
  virtual ~MessageStore() = default;

  // Keeps the batch in one transaction. On true, `results` has one entry per message, in
  // order. On false nothing of the batch was stored and `error` says why.
  virtual bool Keep(std::span<const Message> messages, std::vector<KeepResult>& results,
                    StoreError& error) = 0;

  // Every message, in the order stored. `visit` returns false to stop early.
  virtual bool ForEachMessage(const std::function<bool(const StoredMessage&)>& visit,
                              StoreError& error) = 0;

  virtual bool Leaderboard(const LeaderboardQuery& query, std::vector<GameLeaderboard>& games,
                           StoreError& error) = 0;
};

enum class OpenMode : std::uint8_t {
  kCreateIfMissing,  // the service: a new database gets its schema
  kExistingOnly,     // readers: a missing database is an error, never created
};

// The store a location names, never guessed: a postgresql:// or postgres:// URL, or libpq
// key=value text (it starts with a libpq keyword and `=`), opens PostgreSQL; anything else is
// an SQLite file path. nullptr with `error` on failure.
std::unique_ptr<MessageStore> OpenMessageStore(std::string_view location, OpenMode mode,
                                               StoreError& error);

}  // namespace brindle::service
