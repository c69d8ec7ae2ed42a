#!/bin/sh
# The whole test suite: formatting and lint, the release and the sanitizer builds, the
# fuzzers, and the Windows DLL (cross-built, read back and run under wine).
set -u
cd "$(dirname "$0")/.."
status=0
start=$(date +%s)
step() {
  echo "==== $* (at $(($(date +%s) - start)) s)"
  "$@" || { echo "==== FAILED: $*"; status=1; }
}

step sh scripts/lint.sh
step cmake --preset release
step cmake --build --preset release
step ctest --preset release -j4
# A short run of every benchmark: those that promise no heap allocation fail on one.
step build/release/bench/brindle-bench --benchmark_min_time=0.01
step cmake --preset debug
step cmake --build --preset debug
step ctest --preset debug -j4
step cmake --preset fuzz
step cmake --build --preset fuzz
step ctest --preset fuzz -j2
if [ -f scripts/test-windows.sh ]; then
  step bash scripts/test-windows.sh
fi
echo "==== done in $(($(date +%s) - start)) s"
[ "$status" -eq 0 ] && echo "==== all test steps passed" || echo "==== some test steps failed"
exit "$status"
