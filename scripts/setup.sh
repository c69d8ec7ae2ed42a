#!/bin/sh
# Fresh Debian 12 machine, as root: install what is needed and build the release tree.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
