#!/usr/bin/env bash
# Builds static libpng and libexif for the 32-bit Windows build of the tool
# from Debian's own source packages (there are no mingw-w64 packages of
# them). libpng links the zlib of libz-mingw-w64-dev.
#
#   build-picture-libs-mingw.sh CACHE_DIR TOOLCHAIN_FILE
#
# Leaves CACHE_DIR/include/{png.h,pngconf.h,pnglibconf.h,libexif/*.h} and
# CACHE_DIR/lib/{libpng.a,libexif.a}. Does nothing when they are already
# there, so CMake can call it on every configure.
set -euo pipefail

cache=${1:?cache folder}
toolchain=${2:?mingw toolchain file}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
toolchain=$(cd "$(dirname "$toolchain")" && pwd)/$(basename "$toolchain")
# shellcheck source=deb-source.sh
. "$here/deb-source.sh"

exec 9>"$cache/.lock"
flock 9

if [[ -f "$cache/lib/libpng.a" && -f "$cache/lib/libexif.a" ]]; then
  exit 0
fi

work="$cache/work"
rm -rf "$work"
mkdir -p "$work/src" "$cache/include/libexif" "$cache/lib"
cd "$work/src"

fetch_deb_source libpng1.6 png
cmake -S png -B "$work/png" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$cache" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF -Dld-version-script=OFF >/dev/null
cmake --build "$work/png" --target png_static -j"${AFM3_JOBS:-2}" >/dev/null
cp png/png.h png/pngconf.h "$work/png/pnglibconf.h" "$cache/include/"
cp "$work/png/libpng16.a" "$cache/lib/libpng.a"

# libexif's autotools files are not in its source package; its sources need
# nothing from a configure step but a config.h, so they are compiled as they are.
fetch_deb_source libexif exif
printf '%s\n' '#define GETTEXT_PACKAGE "libexif-12"' > exif/config.h
printf '%s\n' '#include <stdint.h>' > exif/libexif/_stdint.h
cc=i686-w64-mingw32-gcc-posix
objects=()
for source in exif/libexif/*.c exif/libexif/*/*.c; do
  object="$work/exif-$(basename "${source%.c}").o"
  "$cc" -O2 -c -Iexif -Iexif/libexif "$source" -o "$object"
  objects+=("$object")
done
i686-w64-mingw32-ar rcs "$cache/lib/libexif.a" "${objects[@]}"
cp exif/libexif/*.h "$cache/include/libexif/"
rm -rf "$work"
echo "build-picture-libs-mingw: libpng.a and libexif.a ready in $cache/lib"
