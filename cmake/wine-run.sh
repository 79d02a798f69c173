#!/bin/sh
# Runs a Windows program of the build under Wine, quietly, in a prefix of
# its own (created on first use) so runs do not touch the user's Wine.
#
# Programs run one at a time per prefix (ctest -j starts several): a run
# waits for the prefix to be created and for the Wine session of the
# previous run to end. Without a display, each run gets a virtual one
# (Xvfb), as Wine creates no top-level window (dialog, message box)
# without an X server; the Wine session is tied to the display it started
# on, so it must end before that display does.
: "${WINEDEBUG:=-all}"
: "${WINEPREFIX:=${TMPDIR:-/tmp}/afm3-wineprefix-$(id -u)}"
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG WINEPREFIX WINEDLLOVERRIDES

# Some kernels are built without 32-bit support, and Wine's loader for
# 32-bit programs is itself a 32-bit Linux program: exec fails with "Exec
# format error". The test is then reported as skipped (77), not passed.
if ! wine --version >/dev/null 2>&1; then
  echo "wine-run: this machine cannot run Wine's 32-bit loader;" \
    "the Windows test $(basename "$1") is skipped" >&2
  exit 77
fi
mkdir -p "$(dirname "$WINEPREFIX")"

session='[ -f "$WINEPREFIX/.afm3-ready" ] ||
  { wineboot -i && wineserver -w && touch "$WINEPREFIX/.afm3-ready"; } || exit 1
wine "$@"; status=$?; wineserver -w; exit $status'

if [ -z "$DISPLAY" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec flock -o "$WINEPREFIX.lock" xvfb-run -a -n $((100 + $$ % 800)) \
    -s "-screen 0 1024x768x24" sh -c "$session" wine-run "$@"
fi
exec flock -o "$WINEPREFIX.lock" sh -c "$session" wine-run "$@"
