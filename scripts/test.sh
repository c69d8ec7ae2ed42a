#!/bin/sh
# The whole test suite: formatting and lint, the release and the sanitizer builds, the
# fuzzers, the Windows DLL (cross-built, read back and run under wine), and the Windows CE DLL
# (cross-built, read back and run on an emulated StrongARM).
#
# Much of it waits rather than computes (the phone dialogues' real pauses, the crash runs,
# wine), so on two cores the builds and lint run alongside the tests, each in the background
# with a log of its own in build/test-logs/ that is shown when it is waited for. The tests keep
# first call on the CPU; then the debug build, which the next tests wait for; then the fuzz and
# Windows builds; clang-tidy, which nothing waits for, runs at idle priority and so takes only
# what is left. Nothing builds while the fuzzers run: they run for a fixed time, on both cores.
# Exit status 1 when any step failed.
set -u
cd "$(dirname "$0")/.."
status=0
start=$(date +%s)
logs=build/test-logs
rm -rf "$logs" build/*/Testing/Temporary/LastTestsFailed.log
mkdir -p "$logs"
now() { echo "$(($(date +%s) - start))"; }
# Each step runs at $priority: 0, a nice level, or idle (only CPU time no one else wants).
priority=0
# Each step's output goes to a log of its own too, whose tail is repeated at the end on failure.
step() {
  echo "==== $* (at $(now) s)"
  from=$(now)
  out=$logs/step-$(echo "$*" | tr -c 'A-Za-z0-9\n' '_').log
  case $priority in
    0) "$@" ;;
    idle) chrt --idle 0 "$@" ;;
    *) nice -n "$priority" "$@" ;;
  esac >"$out" 2>&1
  rc=$?
  cat "$out"
  echo "$from-$(now) s: $*" >>"$logs/times"
  if [ "$rc" -ne 0 ]; then
    echo "==== FAILED: $*"
    echo "$*" >>"$logs/failed"
    echo "$out" >>"$logs/failed-logs"
    status=1
  fi
}
# alongside NAME PRIORITY FUNCTION: FUNCTION's steps in the background, into $logs/NAME.log.
alongside() {
  echo "==== $3 (at $(now) s, alongside: $logs/$1.log)"
  (priority=$2 status=0; $3; echo "==== $3 finished (at $(now) s)"; exit "$status") \
    >"$logs/$1.log" 2>&1 &
  eval "pid_$1=\$!"
}
# wait_for NAME: waits for it, shows its log, and counts its failure.
wait_for() {
  eval "wait \$pid_$1" || status=1
  cat "$logs/$1.log"
  echo "==== $1 joined (at $(now) s)"
}

lint() { step sh scripts/lint.sh; }
# clang's heap on transparent huge pages, as clang-tidy's in lint.sh: a tenth off its time.
clang_heap=GLIBC_TUNABLES=glibc.malloc.hugetlb=1
debug_build() {
  step cmake --preset debug
  step env $clang_heap cmake --build --preset debug -j2
}
fuzz_build() {
  step cmake --preset fuzz
  step env $clang_heap cmake --build --preset fuzz -j2
}
windows_build() { step bash scripts/test-windows.sh build; }
wince_build() { step bash scripts/test-wince.sh build; }

step cmake --preset release
step cmake --build --preset release
alongside lint idle lint
alongside debug 10 debug_build
alongside fuzz 19 fuzz_build
alongside windows 19 windows_build
alongside wince 19 wince_build
step ctest --preset release -j4
# A short run of every benchmark: those that promise no heap allocation fail on one.
step build/release/bench/brindle-bench --benchmark_min_time=0.01
wait_for debug
step ctest --preset debug -j4
wait_for fuzz
wait_for windows
step ctest --preset fuzz -j2
step bash scripts/test-windows.sh run
wait_for wince
step bash scripts/test-wince.sh run
wait_for lint
echo "==== done in $(now) s"
# Repeated last, so that the tail of a long log says where the time went and what failed.
echo "==== steps, from start to end:"
sort -n "$logs/times"
if [ "$status" -eq 0 ]; then
  echo "==== all test steps passed"
else
  echo "==== some test steps failed:"
  cat "$logs/failed" 2>/dev/null
  cat build/*/Testing/Temporary/LastTestsFailed.log 2>/dev/null
  for out in $(cat "$logs/failed-logs" 2>/dev/null); do
    echo "==== the end of $out:"
    tail -n 40 "$out"
  done
fi
exit "$status"
