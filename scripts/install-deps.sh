#!/bin/sh
# Installs every Debian package the build, the tools and the test suite need (run as root).
set -eu
export DEBIAN_FRONTEND=noninteractive
# The 32-bit wine loader runs the handheld-sized 32-bit DLL. binutils-source (with bison, flex
# and m4) is what the Windows CE build makes its cross binutils from; unicorn, pefile and
# capstone read that DLL back and run it on an emulated StrongARM.
dpkg --add-architecture i386
apt-get update
apt-get install -y --no-install-recommends \
  ca-certificates git cmake ninja-build g++ clang lld clang-format clang-tidy libclang-rt-14-dev \
  pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev libcli11-dev \
  libncurses-dev ncurses-term \
  python3 python3-gammu libgammu-dev tmux \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64 \
  wine64 wine32 xvfb xdotool procps \
  nlohmann-json3-dev libsqlite3-dev sqlite3 libpqxx-dev libboost-dev postgresql \
  libtomlplusplus-dev libsystemd-dev help2man \
  chromium chromium-driver python3-selenium wrk curl python3-prometheus-client \
  binutils-source bison flex m4 make xz-utils zlib1g-dev python3-unicorn python3-pefile python3-capstone
