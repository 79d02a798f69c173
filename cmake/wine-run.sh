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
mkdir -p "$(dirname "$WINEPREFIX")"

session='[ -f "$WINEPREFIX/.afm3-ready" ] ||
  { wineboot -i && wineserver -w && touch "$WINEPREFIX/.afm3-ready"; } || exit 1
wine "$@"; status=$?; wineserver -w; exit $status'

if [ -z "$DISPLAY" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec flock -o "$WINEPREFIX.lock" xvfb-run -a -n $((100 + $$ % 800)) \
    -s "-screen 0 1024x768x24" sh -c "$session" wine-run "$@"
fi
exec flock -o "$WINEPREFIX.lock" sh -c "$session" wine-run "$@"
