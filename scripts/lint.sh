#!/bin/sh
# clang-format must leave every source as it is; clang-tidy must find nothing in the code, the
# tools and the tests built for Linux (the Win32 sources are checked by test-windows.sh, against
# the mingw build's compile commands; the fuzzers build with clang's own flags).
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' | grep -v '^examples/' || true)
clang-format --dry-run -Werror $files
# The release preset's compile commands, configured in a tree of lint's own: lint then neither
# waits for build/release nor rewrites it under a build or a test run that uses it.
cmake --preset release -B build/lint >/dev/null
# clang-tidy runs a source once for each of its compile commands. Two that differ only in the
# object file (tools/brindle.cpp, in brindle and in brindle-fault-hooks) or in CMake's
# <target>_EXPORTS macro (entry/posix_export.cpp, in the shared and the static library) check
# the same code, so one of them is enough; cmd_serve.cpp's BRINDLE_FAULT_HOOKS variant is
# other code and keeps its own run.
mkdir -p build/lint/once
python3 - build/lint/compile_commands.json build/lint/once/compile_commands.json <<'EOF'
import json, shlex, sys
seen, kept = set(), []
for entry in json.load(open(sys.argv[1])):
    args = entry.get("arguments") or shlex.split(entry["command"])
    flags = [a for a in args if not (a.startswith("-D") and a.endswith("_EXPORTS"))]
    if "-o" in flags:
        i = flags.index("-o")
        del flags[i:i + 2]
    key = (entry["file"], tuple(sorted(flags)))
    if key not in seen:
        seen.add(key)
        kept.append(entry)
json.dump(kept, open(sys.argv[2], "w"), indent=1)
EOF
tidy_files=$(git ls-files '*.cpp' | grep -vE '(^|/)win32/|^tests/windows/|^examples/|^fuzz/' || true)
# One clang-tidy per core (run-clang-tidy's own default, said here so it stays so).
run-clang-tidy-14 -quiet -j "$(nproc)" -extra-arg=-Wno-unknown-warning-option -p build/lint/once \
  $tidy_files
echo "lint: clean"
