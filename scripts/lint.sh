#!/bin/sh
# clang-format must leave every source as it is; clang-tidy must find nothing in the code, the
# tools and the tests built for Linux (the Win32 sources are checked by test-windows.sh, against
# the mingw build's compile commands; the fuzzers build with clang's own flags).
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.c' '*.cpp' '*.h' | grep -v '^examples/' || true)
clang-format --dry-run -Werror $files
# The release preset's compile commands, configured in a tree of lint's own: lint then neither
# waits for build/release nor rewrites it under a build or a test run that uses it. clang-tidy
# checks the sources in the release build's unity batches, and the checks a batch cannot do
# source by source (scripts/lint_batches.py says why and how).
cmake --preset release -B build/lint >/dev/null
git ls-files '*.cpp' | grep -vE '(^|/)win32/|^tests/windows/|^examples/|^fuzz/' |
  python3 scripts/lint_batches.py jobs build/lint/compile_commands.json build/lint/batches \
  >build/lint/jobs
# One clang-tidy per core. Its log is kept aside; only findings are shown. The seeded faults
# always make some clang-tidy fail, so the verdict is read from the log.
# Its heap on transparent huge pages: it builds large ASTs, and fewer page faults take about
# 6 % off its time (gcc, with an allocator of its own, only gets slower so).
rc=0
GLIBC_TUNABLES=glibc.malloc.hugetlb=1 xargs -P "$(nproc)" -L 1 clang-tidy-14 -quiet \
  -extra-arg=-Wno-unknown-warning-option <build/lint/jobs >build/lint/clang-tidy.log 2>&1 || rc=$?
# xargs: 123 when some clang-tidy exited with 1, its status on findings; anything else is a crash.
if [ "$rc" -ne 0 ] && [ "$rc" -ne 123 ]; then
  tail -n 30 build/lint/clang-tidy.log
  echo "lint: clang-tidy failed (xargs status $rc), see build/lint/clang-tidy.log"
  exit 1
fi
python3 scripts/lint_batches.py verdict build/lint/clang-tidy.log ||
  { echo "lint: clang-tidy found problems, see build/lint/clang-tidy.log"; exit 1; }
echo "lint: clean"
