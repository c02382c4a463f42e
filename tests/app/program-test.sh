#!/usr/bin/env bash
# The real program on an X server (run it through tests/support/run-with-tray.sh): started
# without a settings file it shows the default skin with the key-coloured pixels cut away;
# quitting from "終了(&X)" writes a 288-byte zkv108.info with the defaults and the window's
# position; the next start restores the position. An unknown option and a missing display end
# the start at once with one line.
#   program-test.sh BIN_DIR [SCREENSHOT.png]
set -euo pipefail
bin="$1"
shot="${2:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_init
xsession_sandbox "$bin"
export SDL_AUDIODRIVER=dummy

start_player() {
  xsession_start_player
  wid="$(xsession_window '^OstraDivUvirar$' 20)" || xsession_fail "the main window did not appear"
  sleep 1  # let it paint
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  win_x=$X; win_y=$Y; win_w=$WIDTH; win_h=$HEIGHT
}

import -window root "$work/before.png"
start_player
import -window root "$work/after.png"
convert "$work/before.png" -crop "${win_w}x${win_h}+${win_x}+${win_y}" +repage "$work/before.ppm"
convert "$work/after.png" -crop "${win_w}x${win_h}+${win_x}+${win_y}" +repage "$work/after.ppm"
convert "$app/skin/default/face.bmp" "$work/face.ppm"
if [ -n "$shot" ]; then
  convert "$work/after.png" -crop "$((win_w + 24))x$((win_h + 24))+$((win_x > 12 ? win_x - 12 : 0))+$((win_y > 12 ? win_y - 12 : 0))" +repage "$shot"
fi

# Key-coloured face pixels must show what was on the screen before; the others the face.
read -r face_x face_y < <(python3 "$here/compare_shot.py" "$work/face.ppm" "$work/before.ppm" "$work/after.ppm")
echo "window at $win_x,$win_y size ${win_w}x$win_h; right-click point $face_x,$face_y"

xsession_quit_from_menu "$win_x" "$win_y" "$face_x" "$face_y"
python3 - "$app/zkv108.info" "$win_x" "$win_y" "$app/skin/default/" <<'PY'
import struct, sys
path, x, y, skin = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
data = open(path, "rb").read()
assert len(data) == 288, f"settings file is {len(data)} bytes"
ml, mt, pl, pt, loops, vol = struct.unpack_from("<6i", data, 0)
path_text = data[24:284].split(b"\0")[0].decode()
assert (ml, mt) == (x, y), f"stored position {ml},{mt}, window was at {x},{y}"
assert loops == 0 and vol == 10000, (loops, vol)
assert path_text == skin, path_text
assert data[284:288] == b"\0\0\0\0", data[284:288]
print("settings file: 288 bytes, position", ml, mt, "volume", vol, "skin", path_text)
PY

# The next start takes its place from the file (moved here to a place of our choosing).
python3 - "$app/zkv108.info" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
struct.pack_into("<2i", data, 0, 140, 90)
open(path, "wb").write(data)
PY
start_player
[ "$win_x,$win_y" = "140,90" ] || xsession_fail "the next start opened at $win_x,$win_y instead of 140,90"
xsession_quit_from_menu "$win_x" "$win_y" "$face_x" "$face_y"
echo "second start restored the position 140,90"

# Starts that cannot be a player end at once with one line and a status of their own: an option
# nobody knows (never taken for a file), and no display to show the window on.
status=0
out="$("$app/ostradivuvirar" --bogus "$work/x.ogg" 2>&1)" || status=$?
[ "$status" = 2 ] && [ "$(printf '%s\n' "$out" | head -1)" = "ostradivuvirar: unknown option '--bogus'" ] ||
  xsession_fail "--bogus: status $status, said: $out"
status=0
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$app/ostradivuvirar" 2>&1)" || status=$?
[ "$status" = 1 ] && [ "$out" = "ostradivuvirar: no X display: set DISPLAY, or run under xvfb-run" ] ||
  xsession_fail "no display: status $status, said: $out"
status=0
out="$(DISPLAY=:999 timeout 10 "$app/ostradivuvirar" 2>&1)" || status=$?
[ "$status" = 1 ] || xsession_fail "an X display that is not there: status $status, said: $out"
echo "an unknown option ends with status 2, no display with status 1, each with one line"
