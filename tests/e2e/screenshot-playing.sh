#!/usr/bin/env bash
# A picture of the main window playing the demo, for the README (run it through
# tests/support/run-with-tray.sh):
#   tests/support/run-with-tray.sh tests/e2e/screenshot-playing.sh build/bin docs/playing.png
set -euo pipefail
bin="$(cd "$1" && pwd)"
out="$2"
. "$(dirname "${BASH_SOURCE[0]}")/../support/xsession.sh"
xsession_init
xsession_sandbox "$bin"
SDL_AUDIODRIVER=dummy xsession_start_player "$bin/demo/demo.qv"
wid="$(xsession_window '^\[1\] ')" || xsession_fail "the demo did not start"
# A few seconds in, with the title scrolled a little.
sleep 5.3
eval "$(xdotool getwindowgeometry --shell "$wid")"
import -window root "$work/root.png"
convert "$work/root.png" -crop "$((WIDTH + 24))x$((HEIGHT + 24))+$((X > 12 ? X - 12 : 0))+$((Y > 12 ? Y - 12 : 0))" +repage "$out"
echo "wrote $out: window ${WIDTH}x${HEIGHT} at $X,$Y"
