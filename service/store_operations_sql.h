// What both stores share for moderation, game names and the services' reports, written once:
// the SQL, whose parameters are $1, $2, ... (SQLite takes them as named parameters) and whose
// `{now}` and `{stamp}` stand for the store's own clock (seconds since 1970, UTC text); what a
// blocked sender's message is kept as, and a message's status; a block's log line.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "service/message_store.h"

namespace brindle::service {

// Schema 4's tables, the same in both stores but for the clock. hidden_by on messages:
// NULL shown, 'operator' or 'blocked sender'.
inline constexpr std::string_view kModerationTablesSql = R"sql(
CREATE TABLE blocked_senders (sender TEXT PRIMARY KEY, blocked_at TEXT NOT NULL);
CREATE TABLE moderation (
  id {id} PRIMARY KEY,
  acted_at TEXT NOT NULL,
  action TEXT NOT NULL,
  target TEXT NOT NULL,
  detail TEXT NOT NULL
);
CREATE TABLE game_names (game_id BIGINT PRIMARY KEY, name TEXT NOT NULL);
CREATE TABLE ports (
  port TEXT PRIMARY KEY,
  state TEXT NOT NULL,
  poll_seconds BIGINT NOT NULL,
  heard_at BIGINT NOT NULL,
  listed_at BIGINT,
  message_at BIGINT,
  stored BIGINT NOT NULL,
  rejected BIGINT NOT NULL,
  deleted BIGINT NOT NULL
);
)sql";

// A message's status: a score, or a message kept but not ranked.
inline constexpr std::string_view kScoreStatus = "score";
inline constexpr std::string_view kRejectedStatus = "rejected";
inline constexpr std::string_view kHiddenByOperator = "operator";

// A message's score to hide or show: its state now, hidden_by. No row: no such score.
inline constexpr std::string_view kFindScoreSql =
    "SELECT coalesce(hidden_by, '') FROM messages WHERE id = $1 AND status = 'score'";
inline constexpr std::string_view kHideSql = "UPDATE messages SET hidden_by = $2 WHERE id = $1";
inline constexpr std::string_view kShowSql = "UPDATE messages SET hidden_by = NULL WHERE id = $1";

inline constexpr std::string_view kBlockSql =
    "INSERT INTO blocked_senders (sender, blocked_at) VALUES ($1, {stamp}) "
    "ON CONFLICT (sender) DO NOTHING";
inline constexpr std::string_view kUnblockSql = "DELETE FROM blocked_senders WHERE sender = $1";
inline constexpr std::string_view kBlockedSendersSql = "SELECT sender FROM blocked_senders";
inline constexpr std::string_view kHideSenderSql =
    "UPDATE messages SET hidden_by = 'blocked sender' "
    "WHERE sender = $1 AND status = 'score' AND hidden_by IS NULL";
inline constexpr std::string_view kShowSenderSql =
    "UPDATE messages SET hidden_by = NULL WHERE sender = $1 AND hidden_by = 'blocked sender'";

// Ranks again every (game, handle) that `affected` (a condition on messages) touches: their
// rows leave best_scores, and each one's best score still shown takes its place. One pass over
// the messages whatever the number of handles.
inline std::string RerankDeleteSql(std::string_view affected) {
  return "DELETE FROM best_scores WHERE (game_id, handle) IN (SELECT game_id, handle FROM "
         "messages WHERE status = 'score' AND " +
         std::string(affected) + ")";
}
inline std::string RerankInsertSql(std::string_view affected) {
  return R"sql(
INSERT INTO best_scores (game_id, score, sent_at_utc, message_id, handle, sender, sent_at)
  SELECT game_id, score, sent_at_utc, id, handle, sender, sent_at FROM (
    SELECT game_id, score, sent_at_utc, id, handle, sender, sent_at,
           ROW_NUMBER() OVER (PARTITION BY game_id, handle
                              ORDER BY score DESC, sent_at_utc, id) AS pick
    FROM messages WHERE status = 'score' AND hidden_by IS NULL AND (game_id, handle) IN (
      SELECT game_id, handle FROM messages WHERE status = 'score' AND )sql" +
         std::string(affected) + ")) AS ranked WHERE pick = 1";
}
inline constexpr std::string_view kAffectedMessage = "id = $1";
inline constexpr std::string_view kAffectedSender = "sender = $1";

inline constexpr std::string_view kLogActSql =
    "INSERT INTO moderation (acted_at, action, target, detail) VALUES ({stamp}, $1, $2, $3)";
inline constexpr std::string_view kListActsSql =
    "SELECT id, acted_at, action, target, detail FROM moderation ORDER BY id";

inline constexpr std::string_view kNameGameSql =
    "INSERT INTO game_names (game_id, name) VALUES ($1, $2) "
    "ON CONFLICT (game_id) DO UPDATE SET name = excluded.name";
inline constexpr std::string_view kUnnameGameSql = "DELETE FROM game_names WHERE game_id = $1";

// $4 and $5 are 1 when a listing finished or a message was stored since the last report.
inline constexpr std::string_view kReportPortSql = R"sql(
INSERT INTO ports (port, state, poll_seconds, heard_at, listed_at, message_at, stored, rejected,
                   deleted)
VALUES ($1, $2, $3, {now}, CASE WHEN $4 = 1 THEN {now} END, CASE WHEN $5 = 1 THEN {now} END,
        $6, $7, $8)
ON CONFLICT (port) DO UPDATE SET
  state = excluded.state, poll_seconds = excluded.poll_seconds, heard_at = excluded.heard_at,
  listed_at = coalesce(excluded.listed_at, ports.listed_at),
  message_at = coalesce(excluded.message_at, ports.message_at),
  stored = excluded.stored, rejected = excluded.rejected, deleted = excluded.deleted
)sql";
inline constexpr std::string_view kPortStatusesSql = R"sql(
SELECT port, state, poll_seconds, stored, rejected, deleted, {now} - heard_at,
       {now} - listed_at, {now} - message_at
FROM ports ORDER BY port
)sql";

// A blocked sender's message as it is kept: rejected, without the score's fields.
inline Message AsBlocked(const Message& message) {
  Message kept;
  kept.reason = kBlockedReason;
  kept.sender = message.sender;
  kept.sentAt = message.sentAt;
  kept.sentAtUtc = message.sentAtUtc;
  kept.pdu = message.pdu;
  kept.received = message.received;
  return kept;
}

// A block's log detail.
inline std::string ScoresMoved(std::int64_t scores, bool hidden) {
  return std::to_string(scores) + (scores == 1 ? " score" : " scores") +
         (hidden ? " hidden" : " shown again");
}

// `sql` with the store's clock and key type in place of {now}, {stamp} and {id}.
inline std::string WithClock(std::string_view sql, std::string_view now, std::string_view stamp,
                             std::string_view id) {
  std::string out(sql);
  for (const auto& [token, value] :
       {std::pair{std::string_view("{now}"), now}, {"{stamp}", stamp}, {"{id}", id}}) {
    for (std::size_t at = out.find(token); at != std::string::npos;
         at = out.find(token, at + value.size())) {
      out.replace(at, token.size(), value);
    }
  }
  return out;
}

}  // namespace brindle::service
