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

# Two builds configuring at once share the cache: one builds, the other waits.
exec 9>"$cache/.lock"
flock 9

if [[ -f "$cache/lib/libjpeg.a" && -f "$cache/include/jconfig.h" ]]; then
  exit 0
fi

as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

work="$cache/work"
rm -rf "$work"
mkdir -p "$work/src"
cd "$work/src"

fetch() { apt-get source --download-only -qq libjpeg-turbo >/dev/null 2>&1; }

if ! fetch; then
  # apt knows no source packages yet: mirror the main deb entry as deb-src.
  entry=/etc/apt/sources.list.d/afm3-deb-src.sources
  if [[ ! -f "$entry" ]]; then
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: $suite" \
      "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
      as_root tee "$entry" >/dev/null
  fi
  as_root apt-get update -qq
  fetch || { echo "build-jpeg-mingw: cannot fetch the libjpeg-turbo source package" >&2; exit 1; }
fi

command -v dpkg-source >/dev/null || { echo "build-jpeg-mingw: dpkg-dev is missing" >&2; exit 1; }
dsc=$(ls ./*.dsc | head -n 1)
dpkg-source --no-check -x "$dsc" tree >/dev/null

cmake -S tree -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$cache" \
  -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF >/dev/null
cmake --build "$work/build" --target jpeg-static -j"${AFM3_JOBS:-2}" >/dev/null

mkdir -p "$cache/include" "$cache/lib"
cp tree/jpeglib.h tree/jmorecfg.h tree/jerror.h "$work/build/jconfig.h" "$cache/include/"
cp "$work/build/libjpeg.a" "$cache/lib/"
rm -rf "$work"
echo "build-jpeg-mingw: libjpeg.a ready in $cache/lib"
