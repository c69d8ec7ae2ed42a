#!/bin/sh
# Fresh Debian 12 machine, as root: install what is needed and build the release tree.
# The packages the release build does not need are installed while it builds; their log is
# shown only if that fails.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh build
mkdir -p build
sh scripts/install-deps.sh rest >build/install-rest.log 2>&1 &
rest=$!
built=0
{ cmake --preset release && cmake --build --preset release; } || built=$?
if ! wait "$rest"; then
  tail -n 40 build/install-rest.log >&2
  echo "setup: installing the packages failed, see build/install-rest.log" >&2
  exit 1
fi
exit "$built"
