#!/bin/sh
# Installs every Debian package the build, the tools and the test suite need (run as root).
set -eu
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  ca-certificates git cmake ninja-build g++ clang clang-format clang-tidy libclang-rt-14-dev \
  pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev libcli11-dev \
  libncurses-dev ncurses-term \
  python3 python3-gammu libgammu-dev python3-serial socat picocom tmux \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64 \
  wine64 xvfb xdotool x11-utils imagemagick procps psmisc
