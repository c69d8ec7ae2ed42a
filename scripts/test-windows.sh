#!/usr/bin/env bash
# Builds Brindle.dll for 64-bit and 32-bit Windows and runs every Windows test: both DLLs read
# back, the Win32 port layer and the whole dialog under wine (64-bit only; Debian has no 32-bit
# wine here). Sets up its own wine prefix and X display and always shuts both down.
# Exit status 0 only when everything passed.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
x64=build/windows-x64
x86=build/windows-x86
tests=$x64/host-tests
artifacts=$root/$x64/wine-artifacts
export WINEPREFIX=$root/$x64/wineprefix
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export PATH=/usr/lib/wine:$PATH
export WINE=wine64
export BRINDLE_WINE_ARTIFACTS=$artifacts
phone=${BRINDLE_PHONE:-$root/build/release/tools/brindle}

xvfb_pid=""
cleanup() {
  if [ -d "$WINEPREFIX" ]; then
    timeout 20 wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$xvfb_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { printf '\n== %s\n' "$*"; }
fail() { printf 'test-windows: %s\n' "$*" >&2; exit 1; }

step "Cross-building Brindle.dll (x64 and x86)"
for preset in windows-x64 windows-x86; do
  cmake --preset "$preset" >/dev/null || fail "configuring $preset failed"
  cmake --build --preset "$preset" -j2 || fail "building $preset failed"
done
for dll in $x64/entry/win32/Brindle.dll $x86/entry/win32/Brindle.dll; do
  printf '%s: %d bytes (stripped)\n' "$dll" "$(stat -c %s "$dll")"
done

if [ ! -x "$phone" ]; then
  step "Building the Linux brindle command (for the simulated phone)"
  if [ ! -f build/release/build.ninja ]; then cmake --preset release >/dev/null; fi
  ninja -C build/release -j2 brindle || fail "building build/release/tools/brindle failed"
fi

step "Building the host-side tests"
cmake -S tests/windows -B "$tests" -G Ninja -DBRINDLE_PHONE="$phone" >/dev/null ||
  fail "configuring tests/windows failed"
ninja -C "$tests" -j2 || fail "building tests/windows failed"

step "Preparing wine and the X display"
mkdir -p "$artifacts"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 240 wine64 wineboot -i >"$artifacts/wineboot.log" 2>&1 ||
    fail "wineboot failed, see $artifacts/wineboot.log"
  timeout 60 wineserver -w || true
fi
# One server for the whole run, with its own log, so that no test waits for it to start.
wineserver -p >"$artifacts/wineserver.log" 2>&1
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || fail "no free X display number"
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$artifacts/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || fail "Xvfb did not start on :$display"
export DISPLAY=":$display"
# Starts the session's own processes (services, desktop) now, with their output in a log, so
# that they neither slow down nor hold the output of the first test program.
timeout 120 wine64 cmd /c exit >"$artifacts/wine-session.log" 2>&1 </dev/null ||
  fail "wine did not start, see $artifacts/wine-session.log"

step "Running the Windows tests"
verbose=()
if [ -n "${BRINDLE_TEST_VERBOSE:-}" ]; then verbose=(-V); fi
ctest --test-dir "$tests" --output-on-failure --timeout 300 "${verbose[@]}"
status=$?
printf 'Screenshots and phone logs: %s\n' "$artifacts"
exit $status
