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
// - Moderation never deletes: a hidden score stays stored but leaves the board (its handle's
//   next best visible score takes its place at once); a blocked sender's new messages are kept
//   as rejected ("blocked sender") and its scores held are hidden. Each act is logged.
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
  std::string hiddenBy;  // a score off the boards: "operator" or "blocked sender"; else empty
};

// What Keep() did with one message of the batch.
struct KeepResult {
  std::int64_t id = 0;   // the id it has in the store, new or held before
  bool added = false;    // false: the same message was held already
  bool blocked = false;  // added as rejected: its sender is blocked
};

inline constexpr std::string_view kBlockedReason = "blocked sender";

// FNV-1a over a message's key (sender, sentAt, pdu, received), each part closed by a byte that
// no text of it holds. Equal keys hash alike; a store finds a message by it, then compares the
// key itself.
std::uint64_t MessageKeyHash(std::string_view sender, std::string_view sentAt, std::string_view pdu,
                             std::string_view received);

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
  std::string gameName;  // UTF-8, as the operator named it; empty: no name
};

// What a moderation act found and did.
enum class Moderated : std::uint8_t {
  kDone,
  kUnchanged,  // it was so already; nothing logged
  kNoScore,    // hide/unhide: no score message has that id
};

struct ModerationAct {
  std::int64_t id = 0;
  std::string at;      // UTC, "2026-12-08T01:02:03Z"
  std::string action;  // "hide", "unhide", "block", "unblock"
  std::string target;  // "message 42" or the sender's number
  std::string detail;  // what it did, e.g. "2 scores hidden"
};

// What a running service says of its port, kept per port so that operators and the web's
// metrics see it. The times are the database's own clock, in seconds since 1970.
enum class PortState : std::uint8_t { kInitialising, kReady, kReconnecting, kStopped };

struct PortReport {
  std::string port;
  PortState state = PortState::kInitialising;
  std::uint32_t pollSeconds = 0;
  bool listed = false;              // a listing finished just now
  bool stored = false;              // a message was stored since the last report
  std::uint64_t storedCount = 0;    // messages stored by this run, rejected ones too
  std::uint64_t rejectedCount = 0;  // of those, kept as rejected
  std::uint64_t deletedCount = 0;   // deleted from the phone by this run
};

struct PortStatus {
  PortReport report;          // listed/stored unused
  std::int64_t heardAgo = 0;  // seconds since the last report
  std::optional<std::int64_t> listedAgo;
  std::optional<std::int64_t> messageAgo;
};

// A name a game may have: UTF-8 without control characters, at most kMaxGameName bytes (a
// page's heading, not a text), or empty (no name).
inline constexpr std::size_t kMaxGameName = 100;
bool IsGameName(std::string_view name);

// A service not heard from for this many poll periods is taken for gone (stopped ones aside).
inline constexpr std::int64_t kUnheardPolls = 3;
bool IsUnheard(const PortStatus& status);

std::string_view PortStateName(PortState state);
std::optional<PortState> PortStateOf(std::string_view name);

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

  // Moderation, each in one transaction that readers are told of.
  virtual bool SetHidden(std::int64_t messageId, bool hidden, Moderated& outcome,
                         StoreError& error) = 0;
  virtual bool SetBlocked(std::string_view sender, bool blocked, Moderated& outcome,
                          StoreError& error) = 0;
  virtual bool ForEachModeration(const std::function<bool(const ModerationAct&)>& visit,
                                 StoreError& error) = 0;

  // The name boards show for a game (IsGameName); an empty name removes it.
  virtual bool SetGameName(std::int64_t gameId, std::string_view name, StoreError& error) = 0;

  virtual bool ReportPort(const PortReport& report, StoreError& error) = 0;
  // Every port reported, by port.
  virtual bool PortStatuses(std::vector<PortStatus>& ports, StoreError& error) = 0;
};

enum class OpenMode : std::uint8_t {
  kCreateIfMissing,  // the service: a new database gets its schema
  kExistingOnly,     // readers: a missing database is an error, never created
  kExistingWrite,    // moderation: as readers, but writes
};

// The store a location names, never guessed: a postgresql:// or postgres:// URL, or libpq
// key=value text (it starts with a libpq keyword and `=`), opens PostgreSQL; anything else is
// an SQLite file path. nullptr with `error` on failure.
std::unique_ptr<MessageStore> OpenMessageStore(std::string_view location, OpenMode mode,
                                               StoreError& error);

}  // namespace brindle::service
