#!/bin/sh
# Lines of code and of tests: non-blank lines that are not only a comment, in the .c, .cpp, .h,
# .py and .sh files git tracks. Tests are everything under tests/, fuzz/ and any testing/
# folder; code is everything else, the tools and bench/ included.
set -eu
cd "$(dirname "$0")/.."
count() {
  # C-family files drop // lines and /* */ blocks; Python and shell files drop # lines, but
  # keep a script's first line, the interpreter.
  xargs -r awk '
    FNR == 1 { block = 0 }
    /^[ \t]*$/ { next }
    FILENAME ~ /\.(c|cpp|h)$/ {
      if (block) { if ($0 ~ /\*\//) block = 0; next }
      if ($0 ~ /^[ \t]*\/\//) next
      if ($0 ~ /^[ \t]*\/\*/) { if ($0 !~ /\*\//) block = 1; next }
    }
    FILENAME ~ /\.(py|sh)$/ && FNR > 1 && /^[ \t]*#/ { next }
    { n++ }
    END { print n + 0 }'
}
files=$(git ls-files '*.c' '*.cpp' '*.h' '*.py' '*.sh')
tests=$(printf '%s\n' $files | grep -E '^(tests|fuzz)/|(^|/)testing/' | count)
code=$(printf '%s\n' $files | grep -vE '^(tests|fuzz)/|(^|/)testing/' | count)
echo "code:  $code lines"
echo "tests: $tests lines"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "ratio: %.1f %%\n", c ? 100 * t / c : 0 }'
