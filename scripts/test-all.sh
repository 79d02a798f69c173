#!/usr/bin/env bash
# Builds the native, sanitizer and Windows targets and runs every test
# (the Windows tests under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --all
jobs=$(nproc)
status=0
for preset in native native-asan win32; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs" || status=1
done
exit $status
