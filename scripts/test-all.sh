#!/usr/bin/env bash
# Builds the native, sanitizer and Windows targets and runs every test
# (the Windows tests under Wine); between them a short run of every fuzz
# target (scripts/fuzz-smoke.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --all
jobs=$(nproc)
status=0
run_preset() {
  echo "== $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$jobs"
  ctest --preset "$1" -j"$jobs" || status=1
}
run_preset native
run_preset native-asan
scripts/fuzz-smoke.sh 30 || status=1
run_preset win32
if ! wine --version >/dev/null 2>&1; then
  echo "== NOTE: this machine cannot run 32-bit programs (Wine's loader);" \
    "the Windows tests were built but skipped, not run"
fi
exit $status
