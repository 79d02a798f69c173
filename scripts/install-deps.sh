#!/usr/bin/env bash
# Installs the Debian packages the builds need, only those that are missing.
#   install-deps.sh          native build (compilers, CMake, GoogleTest, libraries)
#   install-deps.sh --all    also the Windows cross build and Wine
set -euo pipefail

# clang and libclang-rt-14-dev: the fuzz targets (libFuzzer); libpng-dev and
# libexif-dev: the tool's pictures; python3: the tool's script tests;
# libsqlite3-dev: the benchmark (bench/), which measures the library against SQLite.
packages=(cmake g++ make googletest libgtest-dev libbenchmark-dev zlib1g-dev libsqlite3-dev
          libjpeg62-turbo-dev libjpeg-turbo-progs libtiff-tools clang libclang-rt-14-dev
          libpng-dev libexif-dev python3)
if [[ "${1:-}" == "--all" ]]; then
  # dpkg-dev: the scripts/build-*-mingw.sh unpack Debian's libjpeg-turbo,
  # libpng and libexif sources; chromium: the gallery test opens the gallery.
  packages+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386
             xvfb xauth dpkg-dev chromium)
fi

as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
fi
echo "installing: ${missing[*]}"
as_root apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
