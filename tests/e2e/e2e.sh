#!/usr/bin/env bash
# The real program end to end (run it through tests/app/run-with-tray.sh): two short pieces on
# the command line; the sound SDL's disk driver captures holds the first exactly as `qvtool
# render` makes it, then the second; the title moves on to the second entry; "終了(&X)" from the
# window's menu ends the program cleanly and the 288-byte settings file is written.
#   e2e.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
bin="$1"
make_files="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
player_pid=""
cleanup() {
  if [ -n "$player_pid" ]; then kill "$player_pid" 2>/dev/null || true; wait "$player_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "e2e: $*" >&2; [ -f "$work/player.log" ] && cat "$work/player.log" >&2; exit 1; }

# A program directory of its own: no settings file yet, so the volume is at full.
app="$work/app"
mkdir -p "$app"
cp "$bin/ostradivuvirar" "$bin/wuvorbis.dll" "$app/"
cp -r "$bin/skin" "$app/skin"
"$make_files" "$work"
# The second name is Shift-JIS bytes, not valid UTF-8: it must reach the player unchanged.
second="$work/"$'\x83\x66\x83\x82'".ogg"
mv "$work/second.ogg" "$second"
"$bin/qvtool" render "$work/first.ogg" "$work/first.wav"
"$bin/qvtool" render "$second" "$work/second.wav"

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" \
  "$app/ostradivuvirar" "$work/first.ogg" "$second" >"$work/player.log" 2>&1 &
player_pid=$!

# The window carries the title of the entry playing.
wid="$(timeout 60 xdotool search --sync --onlyvisible --name '^\[1\] First$' | head -n1)" || true
[ -n "$wid" ] || fail "the first entry did not start playing"
echo "playing [1] First"
timeout 60 xdotool search --sync --onlyvisible --name '^\[2\] Second$' >/dev/null || fail "the second entry did not follow"
echo "playing [2] Second"
# Let the second piece play to its end (2 s), with room to spare on a busy machine.
sleep 4

# Quit from the window's menu: right-click a face pixel, then "x" for "終了(&X)". A menu that
# was not up yet when the key came is closed and the whole step tried again.
eval "$(xdotool getwindowgeometry --shell "$wid")"
convert "$app/skin/default/face.bmp" "$work/face.ppm"
read -r face_x face_y < <(python3 - "$work/face.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
parts = data.split(maxsplit=4)
w, h = int(parts[1]), int(parts[2])
px = parts[4][-w * h * 3:]
key = px[0:3]
y = h // 3
for x in range(w // 4, w):
    if px[(y * w + x) * 3:(y * w + x) * 3 + 3] != key:
        print(x, y)
        break
PY
)
for attempt in 1 2 3 4 5; do
  xdotool mousemove $((X + face_x)) $((Y + face_y)) click 3
  sleep 1
  xdotool key x
  for _ in $(seq 50); do kill -0 "$player_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$player_pid" 2>/dev/null || break
  xdotool key Escape
done
kill -0 "$player_pid" 2>/dev/null && fail "the program did not end from 終了(&X)"
wait "$player_pid" || { player_pid=""; fail "the program ended with an error"; }
player_pid=""
echo "ended from the menu"

size=$(stat -c %s "$app/zkv108.info" 2>/dev/null || echo 0)
[ "$size" = 288 ] || fail "the settings file has $size bytes, not 288"
echo "settings file: 288 bytes"

python3 "$here/compare_capture.py" "$work/capture.raw" "$work/first.wav" "$work/second.wav"
