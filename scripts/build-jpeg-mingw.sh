#!/usr/bin/env bash
# Builds libjpeg-turbo's static library for the 32-bit Windows build from
# Debian's own source package (there is no mingw-w64 package of it).
#
#   build-jpeg-mingw.sh CACHE_DIR TOOLCHAIN_FILE
#
# Leaves CACHE_DIR/include/{jpeglib,jconfig,jmorecfg,jerror}.h and
# CACHE_DIR/lib/libjpeg.a. Does nothing when they are already there, so
# CMake can call it on every configure. Adds a deb-src entry for the
# machine's Debian suite when apt has none (needs root or sudo).
set -euo pipefail

cache=${1:?cache folder}
toolchain=${2:?mingw toolchain file}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
toolchain=$(cd "$(dirname "$toolchain")" && pwd)/$(basename "$toolchain")
# shellcheck source=deb-source.sh
. "$(cd "$(dirname "$0")" && pwd)/deb-source.sh"

# Two builds configuring at once share the cache: one builds, the other waits.
exec 9>"$cache/.lock"
flock 9

if [[ -f "$cache/lib/libjpeg.a" && -f "$cache/include/jconfig.h" ]]; then
  exit 0
fi

work="$cache/work"
rm -rf "$work"
mkdir -p "$work/src"
cd "$work/src"
fetch_deb_source libjpeg-turbo tree

cmake -S tree -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$cache" \
  -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF >/dev/null
cmake --build "$work/build" --target jpeg-static -j"${AFM3_JOBS:-2}" >/dev/null

mkdir -p "$cache/include" "$cache/lib"
cp tree/jpeglib.h tree/jmorecfg.h tree/jerror.h "$work/build/jconfig.h" "$cache/include/"
cp "$work/build/libjpeg.a" "$cache/lib/"
rm -rf "$work"
echo "build-jpeg-mingw: libjpeg.a ready in $cache/lib"
