#!/bin/sh
# Installs a build tree into a fresh prefix, then builds the consumer
# program against the installed tree twice, through pkg-config and through
# the CMake package, and runs both builds.
#   install_consume.sh CMAKE BUILD_DIR CONSUMER_SOURCE C_COMPILER [FLAGS]
# FLAGS go to compiling and linking the consumer (the sanitizers of the
# build under test).
set -eu
cmake=$1 build=$2 source=$3 cc=$4 flags=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export Q32_APPDATA="$work/appdata"

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"
for installed in bin/abm include/afm3/afm3.h include/afm3/afm3_check.h; do
  test -e "$prefix/$installed" || { echo "not installed: $installed"; exit 1; }
done
pc=$(find "$prefix" -name afm3.pc)
test -n "$pc" || { echo "no afm3.pc installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
for codec in qlibjpg q32lzw q32zlib; do
  test -e "$libdir/FIO/lib$codec.so" || { echo "codec $codec is not in $libdir/FIO"; exit 1; }
done

echo "-- pkg-config"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
mkdir "$work/pc-albums"
# shellcheck disable=SC2046,SC2086
"$cc" $flags -o "$work/consumer-pc" "$source/consumer.c" $(pkg-config --cflags --libs afm3) \
  -Wl,-rpath,"$(pkg-config --variable=libdir afm3)"
"$work/consumer-pc" "$work/pc-albums"

echo "-- find_package"
mkdir "$work/cmake-albums"
"$cmake" -S "$source" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
  >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
"$cmake" --build "$work/cmake-build" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
"$work/cmake-build/consumer" "$work/cmake-albums"

echo "-- installed abm"
# A 1x1 24-bit bitmap; LZW thumbnails need a codec from the codec folder,
# which an installed host finds beside the library.
z4='\000\000\000\000'
printf "BM:\000\000\000${z4}\066\000\000\000\050\000\000\000\001\000\000\000\001\000\000\000\001\000\030\000${z4}\004\000\000\000${z4}${z4}${z4}${z4}\000\000\377\000" \
  >"$work/pixel.bmp"
"$prefix/bin/abm" create "$work/tool.ab3" --field=Note:text >/dev/null
"$prefix/bin/abm" add "$work/tool.ab3" "$work/pixel.bmp" --compression=lzw --no-progress
"$prefix/bin/abm" thumbs "$work/tool.ab3" "$work"
test -s "$work/record-0.png" || { echo "no thumbnail read back"; exit 1; }
