#!/usr/bin/env bash
# The cost of a whole `brindle send --auto` against the simulated phone in `ok` mode, beyond
# the time the phone dialogue must take by its own rules:
#   pauses:     3 x 1500 ms (initialisation) + 2000 ms (submit) + 5000 ms (PDU) = 11500 ms
#   time-outs:  every answer ends with one read that brings nothing for 501 ms; answers are
#               read 3 times in InitPhone, 2 times in SendPdu, 2 times in Close = 7 x 501 ms;
#               and the prompt "\r\n> " has no closing line break, so its line itself ends
#               only by a time-out: one more, 8 x 501 = 4008 ms
#   floor:      11500 + 4008 = 15508 ms
# The phone's log (`brindle phone --log`) shows these gaps between the commands it receives.
# Everything else (process start, port set-up, encoding, writing, reading) is overhead.
# Usage: bench/send_overhead.sh [BRINDLE] [RUNS]   (a release build measures the product)
set -eu
BRINDLE=${1:-build/release/tools/brindle}
RUNS=${2:-5}
FLOOR_MS=$((3 * 1500 + 2000 + 5000 + 8 * 501))
WORK=$(mktemp -d)
PHONE_PID=
cleanup() {
  if [ -n "$PHONE_PID" ]; then kill "$PHONE_PID" 2>/dev/null || true; wait "$PHONE_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

times=()
for run in $(seq 1 "$RUNS"); do
  # No --count: a phone that left after the message would cut the shutdown's read time-outs.
  "$BRINDLE" phone --mode ok --timeout 60 >"$WORK/phone.out" 2>/dev/null &
  PHONE_PID=$!
  for _ in $(seq 1 100); do [ -s "$WORK/phone.out" ] && break; sleep 0.05; done
  pty=$(head -n 1 "$WORK/phone.out")
  start=$(date +%s%N)
  "$BRINDLE" send --auto --game Bench --game-id 7 --score 4711 --handle Ace --port "$pty" >"$WORK/send.out"
  end=$(date +%s%N)
  kill "$PHONE_PID" 2>/dev/null || true
  wait "$PHONE_PID" 2>/dev/null || true
  PHONE_PID=
  grep -q "game id 7, score 4711" "$WORK/phone.out" || { echo "run $run: the phone took nothing"; exit 1; }
  ms=$(((end - start) / 1000000))
  times+=("$ms")
  echo "run $run: ${ms} ms"
done

printf '%s\n' "${times[@]}" | awk -v floor="$FLOOR_MS" '
  { sum += $1; if (min == "" || $1 < min) min = $1; if ($1 > max) max = $1 }
  END {
    mean = sum / NR
    printf "runs %d: mean %.0f ms, min %d ms, max %d ms\n", NR, mean, min, max
    printf "floor %d ms (11500 ms of pauses + 8 x 501 ms read time-outs)\n", floor
    printf "overhead: mean %.0f ms = %.2f %%, min %d ms = %.2f %% (target < 5 %%)\n",
           mean - floor, 100 * (mean - floor) / floor, min - floor, 100 * (min - floor) / floor
  }'
