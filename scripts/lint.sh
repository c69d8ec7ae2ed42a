#!/bin/sh
# clang-format must leave every source as it is; clang-tidy must find nothing in the code, the
# tools and the tests built for Linux (the Win32 sources are checked by test-windows.sh, against
# the mingw build's compile commands; the fuzzers build with clang's own flags).
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.c' '*.cpp' '*.h' | grep -v '^examples/' || true)
clang-format --dry-run -Werror $files
# The release preset's compile commands, configured in a tree of lint's own: lint then neither
# waits for build/release nor rewrites it under a build or a test run that uses it. One command
# per source, not per unity batch, so that each source is checked alone, with its own includes.
cmake --preset release -B build/lint -DCMAKE_UNITY_BUILD=OFF >/dev/null
# clang-tidy runs a source once for each of its compile commands; once per file is enough.
# Where a file is built twice, the build with more definitions is kept: entry/posix_export.cpp's
# two differ only in CMake's <target>_EXPORTS macro, and tools/serve/commit_hook.cpp's
# BRINDLE_FAULT_HOOKS build only adds code.
# The static analyzer checks the tests too, but there it does not step into the standard
# library's functions: every gtest assertion forks into a failure message formatted through
# std::ostringstream, and after three assertions a test's whole analysis budget went there
# (about 2 s a test, 40 % of the analyzer's time on the tests). The tests' own statements are
# followed; what a library call returns is taken as unknown.
mkdir -p build/lint/once
python3 - build/lint/compile_commands.json build/lint/once/compile_commands.json <<'PY'
import json, os, shlex, sys
kept = {}
for entry in json.load(open(sys.argv[1])):
    args = entry.get("arguments") or shlex.split(entry["command"])
    if os.path.relpath(entry["file"]).startswith("tests/"):
        args += ["-Xclang", "-analyzer-config", "-Xclang", "c++-stdlib-inlining=false"]
    entry.pop("command", None)
    entry["arguments"] = args
    defines = [a for a in args if a.startswith("-D") and not a.endswith("_EXPORTS")]
    if entry["file"] not in kept or len(defines) > kept[entry["file"]][0]:
        kept[entry["file"]] = (len(defines), entry)
json.dump([entry for _, entry in kept.values()], open(sys.argv[2], "w"), indent=1)
PY
# The sources to check, largest first: a large one takes longest, and started last it would keep
# one core busy alone at the end.
git ls-files '*.cpp' | grep -vE '(^|/)win32/|^tests/windows/|^examples/|^fuzz/' | xargs ls -S \
  >build/lint/once/files
# One clang-tidy per core. Its log is kept aside; only findings are shown.
# Its heap on transparent huge pages: it builds large ASTs, and fewer page faults take about
# 6 % off its time (gcc, with an allocator of its own, only gets slower so).
GLIBC_TUNABLES=glibc.malloc.hugetlb=1 xargs -P "$(nproc)" -n 1 clang-tidy-14 -quiet \
  -p build/lint/once -extra-arg=-Wno-unknown-warning-option <build/lint/once/files \
  >build/lint/clang-tidy.log 2>&1 ||
  { grep -E 'error|warning:' build/lint/clang-tidy.log | grep -v 'warnings generated'
    echo "lint: clang-tidy found problems, see build/lint/clang-tidy.log"; exit 1; }
echo "lint: clean"
