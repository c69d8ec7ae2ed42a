#!/bin/sh
# A throwaway PostgreSQL 15 cluster for the tests and benchmarks, never the system service:
#   pg_cluster.sh start DIR   initdb (first time) and start it, listening only on DIR's socket
#   pg_cluster.sh stop DIR    stop it and remove DIR
# Connect with "host=DIR user=brindle dbname=...". As root the server runs as `postgres`.
set -eu
action=$1
dir=$2
bin=${BRINDLE_PG_BIN:-/usr/lib/postgresql/15/bin}
as_postgres() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
case $action in
start)
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_postgres "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ "$(id -u)" = 0 ]; then chown postgres:postgres "$dir"; fi
  as_postgres "$bin/initdb" -D "$dir/data" -A trust -U brindle -E UTF8 --locale=C.UTF-8 \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  as_postgres "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w \
    -o "-k $dir -c listen_addresses='' -c max_connections=100 ${BRINDLE_PG_OPTIONS:-}" start >/dev/null
  ;;
stop)
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_postgres "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
  fi
  rm -rf "$dir"
  ;;
*)
  echo "usage: pg_cluster.sh start|stop DIR" >&2
  exit 2
  ;;
esac
