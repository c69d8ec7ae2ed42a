#!/usr/bin/env bash
# Messages a second into one PostgreSQL database from two `brindle serve --once` at once, each
# on its own simulated phone holding N score messages (1,000 by default): from the start of
# both services to the end of the later one, so it includes listing the messages over the
# pseudo-terminals and deleting them there, as in service. The cluster is a throwaway one
# with the default durability (fsync on), on this machine's disk.
# Usage: bench/pg_ingest_bench.sh [BRINDLE] [N]   (as root or the postgres user)
set -eu
BRINDLE=$(realpath "${1:-build/release/tools/brindle}")
N=${2:-1000}
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/pg_bench_work.sh" ingest

# N distinct SMS-DELIVERs per phone: score messages from one sender a phone.
/usr/bin/python3 - "$BRINDLE" "$N" "$WORK" "$HERE/../tests/service" <<'PY'
import sys
brindle, n, work, helpers = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
sys.path.insert(0, helpers)
import pdus
for phone in range(2):
    inbox = pdus.score_delivers(brindle, [(g % 10, 1000 + 37 * g, f"P{g}", f"+44770090010{phone}")
                                          for g in range(n)])
    with open(f"{work}/inbox{phone}", "w") as out:
        out.write("".join(pdu + "\n" for pdu in inbox))
PY

sh "$CLUSTER" start "$PG"
createdb -h "$PG" -U brindle ingest
DB="postgresql://brindle@${PG//\//%2F}/ingest"
for phone in 0 1; do
  "$BRINDLE" phone --capacity "$N" --inbox "$WORK/inbox$phone" --link "$WORK/tty$phone" >/dev/null &
  PIDS+=($!)
done
for _ in $(seq 100); do [ -e "$WORK/tty0" ] && [ -e "$WORK/tty1" ] && break; sleep 0.1; done

start=$(date +%s.%N)
"$BRINDLE" serve --port "$WORK/tty0" --db "$DB" --once 2>"$WORK/serve0.err" &
s0=$!
"$BRINDLE" serve --port "$WORK/tty1" --db "$DB" --once 2>"$WORK/serve1.err" &
s1=$!
wait $s0
wait $s1
end=$(date +%s.%N)
stored=$(psql -tA -h "$PG" -U brindle ingest -c "SELECT count(*) FROM messages")
echo "== two services, $N messages each: $stored stored"
tail -n1 "$WORK/serve0.err"
tail -n1 "$WORK/serve1.err"
awk -v s="$start" -v e="$end" -v m="$stored" \
  'BEGIN { printf "   %.2f s for both, %.0f messages/s\n", e - s, m / (e - s) }'
