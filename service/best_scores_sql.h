// The one rule both stores' SQL keeps best_scores by: a stored score takes its handle's place
// on the board when it is better, that is a higher score, or an equal one sent earlier, or
// sent at the same moment and stored first. It follows each store's INSERT INTO best_scores.
#pragma once

#include <string_view>

namespace brindle::service {

inline constexpr std::string_view kBestScoreUpsertSql = R"sql(
ON CONFLICT (game_id, handle) DO UPDATE
  SET score = excluded.score, sent_at_utc = excluded.sent_at_utc,
      message_id = excluded.message_id, sender = excluded.sender, sent_at = excluded.sent_at
  WHERE excluded.score > best_scores.score
     OR (excluded.score = best_scores.score AND (excluded.sent_at_utc, excluded.message_id) <
                                                (best_scores.sent_at_utc, best_scores.message_id))
)sql";

}  // namespace brindle::service
