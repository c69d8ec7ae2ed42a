#!/bin/sh
# Builds the GNU binutils for Windows CE on ARM (arm-mingw32ce: as, ld, ar, ranlib, dlltool,
# windres) from Debian's binutils-source into PREFIX, once: a PREFIX that already holds them is
# left as it is. Only those tools are built, without translations, debugger or profilers,
# unoptimised (they handle a few dozen small files, so compiling them faster is what counts;
# the DLL they make is the same byte for byte but for its time stamps), and at low priority,
# since this shares the machine with the rest of the build.
# Usage: build-binutils.sh PREFIX
set -eu
prefix=$1
target=arm-mingw32ce
if [ -x "$prefix/bin/$target-ld" ] && [ -x "$prefix/bin/$target-windres" ]; then
  exit 0
fi
tarball=$(ls /usr/src/binutils/binutils-*.tar.xz 2>/dev/null | head -n 1)
if [ -z "$tarball" ]; then
  echo "build-binutils: no /usr/src/binutils/binutils-*.tar.xz: install binutils-source" >&2
  exit 1
fi
for tool in bison flex m4 make cc dash; do
  command -v "$tool" >/dev/null || { echo "build-binutils: $tool is missing" >&2; exit 1; }
done
work=$prefix.work
rm -rf "$work" "$prefix"
mkdir -p "$work/build"
echo "build-binutils: $(basename "$tarball") for $target into $prefix (a few minutes, once)"
tar -xJf "$tarball" -C "$work"
src=$(echo "$work"/binutils-*/)
cd "$work/build"
# The tarball lacks the linker's generated grammar, so bison and flex run at build time.
# Most of the time goes to the nine configure scripts, which fork thousands of times: under
# dash rather than bash they take a third less, and the system's zlib spares one of them.
export CONFIG_SHELL=/bin/dash
CFLAGS="-O0 -g0" CXXFLAGS="-O0 -g0" nice -n 19 $CONFIG_SHELL "$src/configure" --target=$target --prefix="$prefix" \
  --disable-nls --disable-werror --disable-dependency-tracking --with-system-zlib \
  --disable-gdb --disable-gdbserver --disable-gprof --disable-gprofng --disable-sim \
  --disable-gold --disable-libctf --disable-plugins --without-zstd --without-debuginfod \
  >configure.log 2>&1 || { tail -n 30 configure.log >&2; exit 1; }
nice -n 19 make -j"${BRINDLE_JOBS:-2}" MAKEINFO=true all-gas all-ld configure-binutils \
  >make.log 2>&1 || { tail -n 40 make.log >&2; exit 1; }
nice -n 19 make -j"${BRINDLE_JOBS:-2}" -C binutils MAKEINFO=true ar ranlib dlltool windres \
  >>make.log 2>&1 || { tail -n 40 make.log >&2; exit 1; }
make MAKEINFO=true install-gas install-ld >install.log 2>&1 ||
  { tail -n 30 install.log >&2; exit 1; }
for tool in ar ranlib dlltool windres; do
  install -m 755 binutils/$tool "$prefix/bin/$target-$tool"
done
cd /
rm -rf "$work"
echo "build-binutils: done"
