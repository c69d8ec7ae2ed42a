#!/bin/sh
# Installs every Debian package the build, the tools and the test suite need (run as root).
# `install-deps.sh build` installs what the release build needs, `install-deps.sh rest` (after
# it) the others: the cross toolchains, clang, wine, the browser, PostgreSQL and the tests'
# peers. With no argument, both. setup.sh installs the rest while the release tree builds: on a
# fresh machine unpacking them takes over two minutes that the processors would spend waiting.
set -eu
export DEBIAN_FRONTEND=noninteractive
build="cmake ninja-build g++ pkg-config python3 libgtest-dev libgmock-dev googletest
  libbenchmark-dev libcli11-dev libncurses-dev libgammu-dev nlohmann-json3-dev libsqlite3-dev
  libpqxx-dev libboost-dev libtomlplusplus-dev libsystemd-dev help2man"
# The 32-bit wine loader runs the handheld-sized 32-bit DLL. binutils-source (with bison, flex
# and m4) is what the Windows CE build makes its cross binutils from; unicorn, pefile and
# capstone read that DLL back and run it on an emulated StrongARM (unicorn imports
# pkg_resources without depending on it). Of mingw-w64, only the win32-threads flavour the
# Windows build uses. imagemagick's import takes the wine tests' screenshots.
rest="ca-certificates git clang lld clang-format clang-tidy libclang-rt-14-dev ncurses-term
  python3-gammu tmux g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64
  wine64 wine32 xvfb xdotool imagemagick procps sqlite3 postgresql
  chromium chromium-driver python3-selenium wrk curl python3-prometheus-client
  binutils-source bison flex m4 make xz-utils zlib1g-dev
  python3-unicorn python3-pkg-resources python3-pefile python3-capstone"
case ${1:-all} in
  build) packages=$build ;;
  rest) packages=$rest ;;
  all) packages="$build $rest" ;;
  *) echo "usage: install-deps.sh [build|rest]" >&2; exit 2 ;;
esac
if [ "${1:-all}" != rest ]; then
  dpkg --add-architecture i386
  apt-get update
fi
apt-get install -y --no-install-recommends $packages
