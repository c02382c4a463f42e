#!/usr/bin/env bash
# A picture of the main window playing the demo, for the README (run it through
# tests/app/run-with-tray.sh):
#   tests/app/run-with-tray.sh tests/e2e/screenshot-playing.sh build/bin docs/playing.png
set -euo pipefail
bin="$(cd "$1" && pwd)"
out="$2"
work="$(mktemp -d)"
player_pid=""
cleanup() {
  if [ -n "$player_pid" ]; then kill "$player_pid" 2>/dev/null || true; wait "$player_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
app="$work/app"
mkdir -p "$app"
cp "$bin/ostradivuvirar" "$bin/wuvorbis.dll" "$app/"
cp -r "$bin/skin" "$app/skin"
SDL_AUDIODRIVER=dummy "$app/ostradivuvirar" "$bin/demo/demo.qv" >"$work/player.log" 2>&1 &
player_pid=$!
wid="$(timeout 60 xdotool search --sync --onlyvisible --name '^\[1\] ' | head -n1)" || true
[ -n "$wid" ] || { echo "the demo did not start" >&2; cat "$work/player.log" >&2; exit 1; }
# A few seconds in, with the title scrolled a little.
sleep 5.3
eval "$(xdotool getwindowgeometry --shell "$wid")"
import -window root "$work/root.png"
convert "$work/root.png" -crop "$((WIDTH + 24))x$((HEIGHT + 24))+$((X > 12 ? X - 12 : 0))+$((Y > 12 ? Y - 12 : 0))" +repage "$out"
echo "wrote $out: window ${WIDTH}x${HEIGHT} at $X,$Y"
