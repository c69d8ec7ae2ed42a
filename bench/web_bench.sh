#!/usr/bin/env bash
# GET /api/scores?game=<id>&top=10 from `brindle web` on a database of 1,000,000 stored scores
# in 1,000 games (1,000 scores each, 200 handles a game), on SQLite and on PostgreSQL:
# requests a second with 8 concurrent clients, median and worst latency (wrk -t2 -c8 --latency,
# each request a different game). The rows are made in SQL, not through the phone, and ranked
# into best_scores as the service would have. The PostgreSQL run prints the plan of the real
# statement (auto_explain) to show that best_scores_rank serves it.
# Usage: bench/web_bench.sh [BRINDLE] [SECONDS]   (as root or the postgres user; a release build)
set -eu
BRINDLE=$(realpath "${1:-build/release/tools/brindle}")
SECONDS_PER_RUN=${2:-10}
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/pg_bench_work.sh" web

# The schema comes from the service itself: `brindle serve` makes it, then fails on the port.
make_schema() {
  "$BRINDLE" serve --db "$1" --port "$WORK/no-such-port" --once 2>/dev/null || true
}

# Each request another game, the two threads apart, so that neither the database's cache nor
# the server's joining of identical requests in flight answers from one game.
cat >"$WORK/games.lua" <<'EOF'
local threads = 0
function setup(thread)
  thread:set("id", threads)
  threads = threads + 1
end
local n = 0
request = function()
  n = n + 1
  return wrk.format("GET", "/api/scores?game=" .. ((n * 7919 + id * 499) % 1000) .. "&top=10")
end
EOF

run_web() {  # $1: label, $2: database
  "$BRINDLE" web --db "$2" --listen 127.0.0.1:0 2>"$WORK/web.err" &
  PIDS=($!)
  for _ in $(seq 100); do grep -qs serving "$WORK/web.err" && break; sleep 0.1; done
  local url
  url=$(sed -n 's/.*serving \(http:[^ ]*\)$/\1/p' "$WORK/web.err")
  curl -sf "${url}api/scores?game=42&top=10" >/dev/null
  echo "== $1: wrk -t2 -c8 -d${SECONDS_PER_RUN}s --latency --timeout 30s (game varies per request)"
  wrk -t2 -c8 -d"${SECONDS_PER_RUN}s" --latency --timeout 30s -s "$WORK/games.lua" "$url" >"$WORK/wrk.out"
  local rps median worst errors
  rps=$(awk '/^Requests\/sec/ {print $2}' "$WORK/wrk.out")
  median=$(awk '$1 == "50%" {print $2}' "$WORK/wrk.out")
  worst=$(awk '$1 == "Latency" && NF >= 4 {print $4; exit}' "$WORK/wrk.out")
  errors=$(grep -E "Non-2xx|Socket errors" "$WORK/wrk.out" || echo "no errors")
  echo "   $rps requests/s, median $median, worst $worst; $errors"
  echo "   the front page (every game's top 10, one request): $(curl -s -o /dev/null -w '%{time_total}' "$url") s"
  kill "${PIDS[0]}"
  wait "${PIDS[0]}" || true
  PIDS=()
}

echo "== filling SQLite with 1,000,000 scores"
SQLITE_DB=$WORK/scores.sqlite
make_schema "$SQLITE_DB"
start=$(date +%s.%N)
sqlite3 "$SQLITE_DB" <<'EOF'
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999999)
INSERT INTO messages (status, sender, sent_at, sent_at_utc, pdu, game_id, fixed, score, handle)
SELECT 'score', '+4477009001' || printf('%02d', i % 100), '2026-12-06T21:15:03+01:00',
       1796588103 + i, 'PDU' || i, i % 1000, 1, abs(random()) % 100000000,
       CAST('P' || ((i / 1000) % 200) AS BLOB)
FROM n;
INSERT INTO best_scores (game_id, score, sent_at_utc, message_id, handle, sender, sent_at)
SELECT game_id, score, sent_at_utc, id, handle, sender, sent_at FROM (
  SELECT *, ROW_NUMBER() OVER (PARTITION BY game_id, handle
                               ORDER BY score DESC, sent_at_utc, id) AS pick FROM messages)
WHERE pick = 1;
ANALYZE;
EOF
awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "   %.1f s\n", e - s }'
run_web "SQLite" "$SQLITE_DB"

echo "== filling PostgreSQL with 1,000,000 scores"
sh "$CLUSTER" start "$PG"
createdb -h "$PG" -U brindle bench
PG_DB="host=$PG user=brindle dbname=bench"
make_schema "$PG_DB"
start=$(date +%s.%N)
psql -q -h "$PG" -U brindle bench <<'EOF'
INSERT INTO messages (status, sender, sent_at, sent_at_utc, pdu, game_id, fixed, score, handle)
SELECT 'score', '+4477009001' || lpad((i % 100)::text, 2, '0'), '2026-12-06T21:15:03+01:00',
       1796588103 + i, convert_to('PDU' || i, 'UTF8'), i % 1000, 1,
       (random() * 99999999)::bigint, convert_to('P' || ((i / 1000) % 200), 'UTF8')
FROM generate_series(0, 999999) AS i;
INSERT INTO best_scores
SELECT DISTINCT ON (game_id, handle) game_id, handle, score, sent_at_utc, id, sender, sent_at
FROM messages ORDER BY game_id, handle, score DESC, sent_at_utc, id;
VACUUM ANALYZE messages, best_scores;
EOF
awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "   %.1f s\n", e - s }'

# The plan of the statement the store runs, from the server's log.
psql -q -h "$PG" -U brindle bench -c \
  "ALTER DATABASE bench SET session_preload_libraries = 'auto_explain';
   ALTER DATABASE bench SET auto_explain.log_min_duration = 0;
   ALTER DATABASE bench SET auto_explain.log_analyze = on;"
"$BRINDLE" scores --db "$PG_DB" --game-id 42 --top 10 >/dev/null
psql -q -h "$PG" -U brindle bench -c "ALTER DATABASE bench RESET ALL;"
echo "== PostgreSQL plan of one game's top 10"
awk '/LOG:  duration:/ { if (block ~ /FROM best_scores WHERE game_id/) plan = block; block = "" }
     { block = block $0 "\n" }
     END { if (block ~ /FROM best_scores WHERE game_id/) plan = block; printf "%s", plan }' "$PG/log"
run_web "PostgreSQL" "$PG_DB"
