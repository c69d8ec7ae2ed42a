#!/usr/bin/env bash
# Builds Brindle.dll for 64-bit and 32-bit Windows, runs clang-tidy over the Win32 sources, and
# runs the Windows tests (tests/windows): both DLLs read back, and each run end to end under
# wine, the 64-bit one with wine64 in a 64-bit prefix, the 32-bit one with wine in a 32-bit
# prefix. Sets up its own prefixes and X display and always shuts them down.
# `test-windows.sh build` does only the cross-builds and clang-tidy, `test-windows.sh run` only
# the rest (after a `build`), so that scripts/test.sh can build while other tests run; with no
# argument it does both. Exit status 0 only when everything passed.
set -uo pipefail
. "$(dirname "$0")/build-run-phase.sh"
tests=build/windows-x64/host-tests
artifacts=$root/build/windows-x64/wine-artifacts
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all PATH=/usr/lib/wine:$PATH
export BRINDLE_WINE_ARTIFACTS=$artifacts
# build folder, loader, prefix kind
wines=("windows-x64 wine64 win64" "windows-x86 wine win32")

xvfb_pid=""
wine_started=""
cleanup() {
  # Only a run that started wine stops it: a build may run beside another run's wine.
  for entry in ${wine_started:+"${wines[@]}"}; do
    read -r build _ _ <<<"$entry"
    if [ -d "$root/build/$build/wineprefix" ]; then
      WINEPREFIX=$root/build/$build/wineprefix timeout 20 wineserver -k >/dev/null 2>&1 || true
    fi
  done
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$xvfb_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { printf '\n== %s (at %d s)\n' "$*" "$SECONDS"; }
fail() { printf 'test-windows: %s\n' "$*" >&2; exit 1; }

if [ "$phase" != run ]; then
  step "Cross-building Brindle.dll (x64 and x86)"
  for preset in windows-x64 windows-x86; do
    cmake --preset "$preset" >/dev/null || fail "configuring $preset failed"
    cmake --build --preset "$preset" -j2 || fail "building $preset failed"
    printf '%s: %d bytes (stripped)\n' "$preset" "$(stat -c %s "build/$preset/entry/win32/Brindle.dll")"
  done

  step "clang-tidy over the Win32 sources (windows-x64 compile commands)"
  # clang finds mingw's C headers by the target but not the C++ library of Debian's "12-win32"
  # compiler folder, so that is named. bugprone-dynamic-static-initializers is on only where
  # statics are not thread-safe (-fno-threadsafe-statics, this build alone), and clang-tidy 14
  # reports every extern declaration in a header there, initialised or not.
  cxx=$(echo /usr/lib/gcc/x86_64-w64-mingw32/*-win32/include/c++)
  tidy_files=$(git ls-files 'dialog/win32/*.cpp' 'phone/win32/*.cpp' 'entry/win32/*.cpp' \
    'base/win32/*.cpp' 'tests/windows/wine/*.cpp')
  run-clang-tidy-14 -quiet -j2 -p build/windows-x64 -checks=-bugprone-dynamic-static-initializers \
    -extra-arg=--target=x86_64-w64-mingw32 -extra-arg=-Wno-unknown-warning-option \
    -extra-arg=-isystem"$cxx" -extra-arg=-isystem"$cxx/x86_64-w64-mingw32" $tidy_files \
    >"$root/build/windows-x64/clang-tidy.log" 2>&1 ||
    { grep -E 'error|warning' "$root/build/windows-x64/clang-tidy.log" | grep -v 'warnings generated'
      fail "clang-tidy found problems, see build/windows-x64/clang-tidy.log"; }
  echo "clang-tidy: clean"
fi
[ "$phase" = build ] && exit 0

if [ ! -x "$phone" ]; then
  step "Building the Linux brindle command (for the simulated phone)"
  if [ ! -f build/release/build.ninja ]; then cmake --preset release >/dev/null; fi
  ninja -C build/release -j2 brindle || fail "building build/release/tools/brindle failed"
fi

# Some kernels are built without 32-bit x86 support: there wine's 32-bit loader cannot be
# executed at all ("Exec format error", status 126), and the 32-bit DLL is only read back.
wine32=ON
if ! command -v wine >/dev/null; then fail "wine (the 32-bit loader) is not installed"; fi
wine --version >/dev/null 2>&1
if [ $? -eq 126 ]; then
  wine32=OFF
  echo "test-windows: this kernel cannot run 32-bit programs; the 32-bit DLL is read back, not run"
  wines=("${wines[0]}")
fi

step "Configuring the host-side tests"
cmake -S tests/windows -B "$tests" -G Ninja -DBRINDLE_PHONE="$phone" -DBRINDLE_WINE32="$wine32" \
  >/dev/null ||
  fail "configuring tests/windows failed"

step "Preparing the wine prefixes and the X display"
wine_started=yes
mkdir -p "$artifacts"
# The server picks a free display itself and writes its number, once it is ready, to fd 3:
# two runs on one host never race for the same number.
rm -f "$artifacts/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$artifacts/display" \
  >"$artifacts/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 100); do
  display=$(sed -n '1s/^\([0-9][0-9]*\)$/\1/p' "$artifacts/display" 2>/dev/null)
  [ -n "$display" ] && break
  sleep 0.1
done
[ -n "$display" ] || fail "Xvfb did not start, see $artifacts/xvfb.log"
export DISPLAY=":$display"
for entry in "${wines[@]}"; do
  read -r build loader kind <<<"$entry"
  export WINEPREFIX=$root/build/$build/wineprefix
  log=$artifacts/$build-wine.log
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # A fresh prefix now and then fails to come up on a loaded machine ("could not load
    # kernel32.dll"); it is made once more from nothing before the run gives up.
    if ! WINEARCH=$kind timeout 240 "$loader" wineboot -i >"$log" 2>&1; then
      echo "test-windows: wineboot failed for $build, once more with a fresh prefix"
      timeout 20 wineserver -k >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX"
      WINEARCH=$kind timeout 240 "$loader" wineboot -i >>"$log" 2>&1 || fail "wineboot failed, see $log"
    fi
    timeout 60 wineserver -w || true
  fi
  # One server for the whole run, and the session's own processes (services, desktop) started
  # now, so that the test neither waits for them nor gets their output.
  wineserver -p >/dev/null 2>&1
  timeout 120 "$loader" cmd /c exit >>"$log" 2>&1 </dev/null || fail "wine did not start, see $log"
done
unset WINEPREFIX

step "Running the Windows tests"
verbose=()
if [ -n "${BRINDLE_TEST_VERBOSE:-}" ]; then verbose=(-V); fi
ctest --test-dir "$tests" --output-on-failure --timeout 300 "${verbose[@]}"
status=$?
printf 'Screenshots and phone logs: %s\n' "$artifacts"
exit $status
