#!/usr/bin/env bash
# The main window's outline and its life under a window manager, on the real program:
#  1. black is the window's transparent colour: a black patch of the face and a time text in
#     black (TIME_COLOR=0,0,0) show the root window through them;
#  2. a face of 2500 x 2500 pixels alternating with the key colour is shown, not refused by the
#     X server ("Maximum allowed requested length exceeded" ended the program before);
#  3. under openbox: on the first run the playlist window's place is beside where the window
#     manager put the main window, not (0, 0) nor over it; after a minimise and a restore from the
#     window manager, changing the skin leaves the main window shown.
#   window-shape.sh BIN_DIR [SCREENSHOT.png]   (the screenshot: the window of step 1)
set -euo pipefail
bin="$1"
picture="${2:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_need Xvfb xdotool convert import openbox xwininfo
xsession_init
export SDL_AUDIODRIVER=dummy
# A white root: a see-through pixel shows white, never black.
xsession_start_x 800x600x24 -wr

main_window() {
  wid="$(xsession_window '^OstraDivUvirar$' 20)" || xsession_fail "the main window did not appear"
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  win_x=$X; win_y=$Y; win_w=$WIDTH; win_h=$HEIGHT
}

# A part of the screen as binary PPM.
shot() {
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$1" +repage "$2"
}

# ---- 1. Black pixels ----
xsession_sandbox "$bin"
skin="$app/skin/default"
read -r px py < <(xsession_face_point)
convert "$skin/face.bmp" -fill black -draw "rectangle $px,$py $((px + 9)),$((py + 7))" "BMP3:$skin/face.bmp"
sed -i 's/^TIME_COLOR=.*/TIME_COLOR=0,0,0\r/' "$skin/skin.ini"
grep -q '^TIME_COLOR=0,0,0' "$skin/skin.ini" || xsession_fail "the skin has no TIME_COLOR line to change"
xsession_start_player
main_window
shot "${win_w}x${win_h}+${win_x}+${win_y}" "$work/black.ppm"
python3 - "$work/black.ppm" "$px" "$py" <<'PY' || xsession_fail "black pixels are not see-through"
import sys
magic, size, depth, px = open(sys.argv[1], "rb").read().split(b"\n", 3)
w, h = map(int, size.split())
pixel = lambda x, y: tuple(px[(y * w + x) * 3:(y * w + x) * 3 + 3])
x0, y0 = int(sys.argv[2]), int(sys.argv[3])
patch = {pixel(x0 + dx, y0 + dy) for dx in range(10) for dy in range(8)}
assert patch == {(255, 255, 255)}, f"the black patch shows {patch}"
black = sum(pixel(x, y) == (0, 0, 0) for x in range(w) for y in range(h))
assert black == 0, f"{black} black pixels shown"
print("black patch and black text see-through")
PY
if [ -n "$picture" ]; then
  # For the picture, something to see through them: a window of X's logo behind the player.
  xlogo -geometry "$((win_w + 24))x$((win_h + 24))+0+0" -bg '#d8a838' -fg '#305070' >/dev/null 2>&1 &
  logo=$!
  xsession_pids+=("$logo")
  sleep 1
  xdotool windowraise "$wid"
  sleep 0.5
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$((win_w + 24))x$((win_h + 24))+0+0" +repage "$picture"
  kill "$logo"
  wait "$logo" 2>/dev/null || true
fi
xsession_signal_player TERM
[ "$player_status" = 0 ] || xsession_fail "the player did not end on SIGTERM ($player_status)"
rm -rf "$app"

# ---- 2. A face of many millions of cuts ----
xsession_sandbox "$bin"
python3 - "$app/skin/default/face.bmp" <<'PY'
import struct, sys
w = h = 2500
row = bytearray()
rows = []
for y in range(h):
    line = bytearray()
    for x in range(w):
        line += b"\xff\x00\xff" if (x + y) % 2 == 0 else b"\x60\x50\x40"  # BGR: key, grey-blue
    line += b"\0" * ((4 - len(line) % 4) % 4)
    rows.append(bytes(line))
pixels = b"".join(reversed(rows))
header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(header + info + pixels)
PY
xsession_start_player
main_window
sleep 2
kill -0 "$player_pid" 2>/dev/null || xsession_fail "the player ended with the large face"
shot "4x2+${win_x}+${win_y}" "$work/large.ppm"
python3 - "$work/large.ppm" <<'PY' || xsession_fail "the large face is not cut pixel by pixel"
import sys
px = open(sys.argv[1], "rb").read().split(b"\n", 3)[3]
row = [tuple(px[i:i + 3]) for i in range(0, 12, 3)]
assert row == [(255, 255, 255), (64, 80, 96)] * 2, row
print("2500 x 2500 alternating face shown and cut")
PY
xsession_signal_player TERM
[ "$player_status" = 0 ] || xsession_fail "the player did not end on SIGTERM ($player_status)"
rm -rf "$app"

# ---- 3. Under a window manager ----
mkdir -p "$work/openbox"
cat >"$work/openbox/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <placement><policy>UnderMouse</policy><center>yes</center></placement>
  <focus><focusNew>yes</focusNew></focus>
</openbox_config>
XML
openbox --config-file "$work/openbox/rc.xml" >"$work/openbox.log" 2>&1 &
xsession_pids+=($!)
sleep 1
xdotool mousemove 500 380
xsession_sandbox "$bin"
xsession_start_player
main_window
[ "$win_x" -gt 100 ] && [ "$win_y" -gt 100 ] || xsession_fail "openbox did not place the window under the mouse ($win_x,$win_y)"
first_x=$win_x; first_y=$win_y; first_w=$win_w; first_h=$win_h
read -r fx fy < <(xsession_face_point)
viewable() { xwininfo -id "$wid" | grep -q 'Map State: IsViewable'; }
# Minimised from the window's menu, restored by the window manager.
xdotool mousemove $((win_x + fx)) $((win_y + fy)) click 3
sleep 1
xdotool key m
for _ in $(seq 30); do viewable || break; sleep 0.1; done
viewable && xsession_fail "the window did not minimise"
xdotool windowactivate "$wid" 2>/dev/null || true
for _ in $(seq 30); do viewable && break; sleep 0.1; done
viewable || xsession_fail "the window manager did not restore the window"
sleep 0.5
# The light skin chosen in the skin dialog.
xdotool mousemove $((win_x + fx)) $((win_y + fy)) click 3
sleep 1
xdotool key s
sleep 0.3
xdotool key Return
dialog="$(xsession_window 'スキンの変更' 20)" || xsession_fail "the skin dialog did not open"
sleep 1
xdotool type --delay 20 "$app/skin/light/skin.ini"
xdotool key Return
for _ in $(seq 50); do xsession_window 'スキンの変更' 0.2 >/dev/null || break; done
sleep 1.5
viewable || xsession_fail "changing the skin after a restore left the window minimised"
main_window
read -r fx fy < <(convert "$app/skin/light/face.bmp" "$work/light.ppm" && python3 - "$work/light.ppm" <<'PY'
import sys
magic, size, depth, px = open(sys.argv[1], "rb").read().split(b"\n", 3)
w, h = map(int, size.split())
key = px[0:3]
y = h // 3
print(next(x for x in range(w // 4, w) if px[(y * w + x) * 3:(y * w + x) * 3 + 3] != key), y)
PY
)
xsession_quit_from_menu "$win_x" "$win_y" "$fx" "$fy"
python3 - "$app/zkv108.info" "$first_x" "$first_y" "$first_w" "$first_h" <<'PY' || xsession_fail "the first run's playlist place is wrong"
import struct, sys
ml, mt, pl, pt = struct.unpack_from("<4i", open(sys.argv[1], "rb").read())
x, y, w, h = map(int, sys.argv[2:])
# The playlist window (286 x 206 and a frame) beside the main window the window manager placed.
assert (pl, pt) != (0, 0), (pl, pt)
assert pl >= x + w or pl + 286 <= x or pt >= y + h or pt + 206 <= y, ((pl, pt), (x, y, w, h))
print("first-run playlist place", pl, pt, "is beside the main window's")
PY
echo "window-shape: ok"
