#!/usr/bin/env bash
# Builds the native library and tool, then shows the tool at work on an
# album it makes in a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target abm QMBRC
abm=build/native/bin/abm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "\$ abm --help"
"$abm" --help
echo
printf 'not an album' >"$work/notes.ab3"
echo "\$ abm check notes.ab3"
"$abm" check "$work/notes.ab3" || echo "(exit status $?)"
