#!/usr/bin/env bash
# brindle-ranking-bench on both stores: SQLite in a temporary file, PostgreSQL in a throwaway
# cluster (fsync on, as in service), each filled with BRINDLE_BENCH_SCORES scores (1,000,000
# by default) through the store's own Keep(). Filling PostgreSQL takes minutes.
# Usage: bench/ranking_bench.sh [BENCH] [benchmark options]   (as root or the postgres user)
set -eu
BENCH=$(realpath "${1:-build/release/bench/brindle-ranking-bench}")
shift || true
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/pg_bench_work.sh" ranking
sh "$CLUSTER" start "$PG"
BRINDLE_BENCH_POSTGRES="host=$PG user=brindle" "$BENCH" "$@"
