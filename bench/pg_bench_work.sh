# shellcheck shell=bash
# Sourced by the benches that run against a throwaway PostgreSQL cluster, after they set HERE
# (this folder); $1 names the run. Sets CLUSTER (the cluster script), WORK (a new folder under
# /tmp) and PG (the cluster's folder in it). On exit, whatever ends: the processes in PIDS are
# stopped, then the cluster, and WORK is removed.
CLUSTER=$HERE/../tests/postgres/pg_cluster.sh
WORK=$(mktemp -d "/tmp/brindle-$1-bench.XXXXXX")
chmod 755 "$WORK"
PG=$WORK/pg
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  sh "$CLUSTER" stop "$PG" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
