#!/usr/bin/env bash
# Builds Brindle.dll for Windows CE on ARM (preset wince-arm; the first build also builds the
# cross binutils, once, into build/cache) and the same for ARMv5TE, runs clang-tidy over the
# Win32 sources as the CE build compiles them, then runs the CE tests
# (tests/wince): the DLL read back, and run on an emulated StrongARM against `brindle phone`.
# `test-wince.sh build` does only the builds, `test-wince.sh run` only the tests (after a
# `build`), so that scripts/test.sh can build while other tests run; with no argument it does
# both. Exit status 0 only when everything passed.
set -uo pipefail
. "$(dirname "$0")/build-run-phase.sh"
fail() { printf 'test-wince: %s\n' "$*" >&2; exit 1; }

if [ "$phase" != run ]; then
  cmake --preset wince-arm >/dev/null || fail "configuring wince-arm failed"
  cmake --build --preset wince-arm -j2 || fail "building wince-arm failed"
  # The processor after the StrongARM, whose code the emulated StrongARM must refuse.
  cmake --preset wince-arm -B build/wince-armv5te -DBRINDLE_CE_ARCH=armv5te >/dev/null ||
    fail "configuring the ARMv5TE build failed"
  cmake --build build/wince-armv5te -j2 || fail "building the ARMv5TE build failed"
  printf 'wince-arm: %d bytes\n' "$(stat -c %s build/wince-arm/entry/win32/Brindle.dll)"

  # clang-tidy over the Win32 sources as this build compiles them (the CE branches included):
  # its compile commands without the compile.py wrapper in front of clang.
  mkdir -p build/wince-arm/tidy
  python3 - build/wince-arm/compile_commands.json build/wince-arm/tidy/compile_commands.json <<'PY'
import json, sys
entries = json.load(open(sys.argv[1]))
for entry in entries:
    entry["command"] = entry["command"].split(" ", 3)[3]  # python3 compile.py AS | clang++ ...
json.dump(entries, open(sys.argv[2], "w"), indent=1)
PY
  run-clang-tidy-14 -quiet -j2 -p build/wince-arm/tidy -checks=-bugprone-dynamic-static-initializers \
    -extra-arg=-Wno-unknown-warning-option $(git ls-files '*/win32/*.cpp') \
    >build/wince-arm/clang-tidy.log 2>&1 ||
    { grep -E 'error|warning' build/wince-arm/clang-tidy.log | grep -v 'warnings generated'
      fail "clang-tidy found problems, see build/wince-arm/clang-tidy.log"; }
  echo "clang-tidy: clean"
fi
[ "$phase" = build ] && exit 0

if [ ! -x "$phone" ]; then
  if [ ! -f build/release/build.ninja ]; then cmake --preset release >/dev/null; fi
  ninja -C build/release -j2 brindle || fail "building build/release/tools/brindle failed"
fi
tests=build/wince-arm/host-tests
cmake -S tests/wince -B "$tests" -G Ninja -DBRINDLE_PHONE="$phone" >/dev/null ||
  fail "configuring tests/wince failed"
ctest --test-dir "$tests" --output-on-failure -j2
