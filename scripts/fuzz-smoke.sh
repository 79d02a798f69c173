#!/usr/bin/env bash
# Builds the fuzz targets (clang with libFuzzer, ASan and UBSan) and runs
# each for a bounded time over its seed corpus and the inputs that once
# failed (fuzz/regressions/<target>). Any crash, leak or sanitizer report
# fails the script; the input is left in the printed artifact folder.
#   fuzz-smoke.sh [SECONDS]    seconds per target, default 30
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DAFM3_BUILD_FUZZ=ON -DAFM3_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

targets=(album_open_fuzz album_read_fuzz stored_image_fuzz old_album_fuzz)
# The integrity check's target exists once the check routine is built.
known=$(cmake --build "$build" --target help)
if grep -qw album_check_fuzz <<<"$known"; then
  targets+=(album_check_fuzz)
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for target in "${targets[@]}"; do
  inputs=("fuzz/corpus/$target")
  [[ -d "fuzz/regressions/$target" ]] && inputs+=("fuzz/regressions/$target")
  mkdir -p "$scratch/$target" "$scratch/artifacts/$target"
  echo "== $target (${seconds}s)"
  if "$build/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$scratch/artifacts/$target/" "$scratch/$target" "${inputs[@]}" \
      >"$scratch/$target.log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$scratch/$target.log"
  else
    status=1
    tail -n 60 "$scratch/$target.log"
    kept=fuzz-failures/$target
    mkdir -p "$kept" && cp -r "$scratch/artifacts/$target/." "$kept/"
    echo "failing input kept in $kept"
  fi
done
exit $status
