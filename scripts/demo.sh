#!/usr/bin/env bash
# Builds the native library and tool, then shows the tool at work on
# albums it makes in a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target abm QMBRC
abm=build/native/bin/abm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() { echo "\$ abm $*"; "$abm" "$@" || echo "(exit status $?)"; echo; }

run create "$work" --in-folder --title="Summer 2026" --description="Photos of the summer" \
  --field=Caption:text --field=Keywords:list32:index=1 --field=Place:string --field=Notes:memo
run create "$work" --in-folder --title="Summer 2026" --field=Caption:text
album=$(ls "$work"/*.ab3 | head -n 1)
run info "$album"
run check "$album"
printf 'not an album at all' >"$work/notes.ab3"
run check "$work/notes.ab3"
