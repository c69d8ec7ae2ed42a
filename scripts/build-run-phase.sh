# Sourced by the cross-build test scripts: `SCRIPT build` only builds, `SCRIPT run` only runs
# the tests (after a build), no argument does both; sets $phase, $root (the checkout, now the
# working folder) and $phone (the simulated phone the tests drive).
phase=${1:-all}
case $phase in
  all | build | run) ;;
  *) echo "usage: $(basename "$0") [build|run]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
phone=${BRINDLE_PHONE:-$root/build/release/tools/brindle}
