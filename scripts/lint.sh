#!/bin/sh
# clang-format must leave every source as it is; clang-tidy must find nothing in the code, the
# tools and the tests built for Linux (the Win32 sources are checked by test-windows.sh, against
# the mingw build's compile commands; the fuzzers build with clang's own flags).
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' | grep -v '^examples/' || true)
clang-format --dry-run -Werror $files
cmake --preset release >/dev/null
tidy_files=$(git ls-files '*.cpp' | grep -vE '(^|/)win32/|^tests/windows/|^examples/|^fuzz/' || true)
run-clang-tidy-14 -quiet -extra-arg=-Wno-unknown-warning-option -p build/release $tidy_files
echo "lint: clean"
