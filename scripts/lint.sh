#!/bin/sh
# clang-format must leave every source as it is; clang-tidy must find nothing in the
# platform-free code and the tools.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' | grep -v '^examples/' || true)
clang-format --dry-run -Werror $files
cmake --preset release >/dev/null
tidy_files=$(git ls-files 'codec/*.cpp' 'tools/*.cpp' 'phone/*.cpp' 'entry/*.cpp' 'dialog/*.cpp' | grep -v '/win32/' || true)
run-clang-tidy-14 -quiet -extra-arg=-Wno-unknown-warning-option -p build/release $tidy_files
echo "lint: clean"
