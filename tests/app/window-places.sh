#!/usr/bin/env bash
# Our windows on a desktop, on the real program under openbox at scales 1 and 2 (run it through
# dbus-run-session): on a first run the playlist, loop-count and volume windows, opened from the
# menu, lie beside the main window and each other, wholly on the screen, frames included; a kept
# place that puts the main window half off the screen and the playlist window over it opens
# them all wholly on the screen, over none of the others.
#   window-places.sh BIN_DIR MAKE_MPRIS_FILES [SCREENSHOT.png]   (the screen of the first run at 1)
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_need Xvfb xdotool xprop xwininfo openbox
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "window-places: run me under dbus-run-session" >&2; exit 1; }
xsession_init
export SDL_AUDIODRIVER=dummy
screen_w=1280; screen_h=1024
xsession_start_x ${screen_w}x${screen_h}x24 -wr
"$2" "$work"
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
scaled() { python3 -c "print(round($1 * $2))"; }

main_window() {
  wid="$(xsession_window '森の歌' 20)" || xsession_fail "the main window did not appear"
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  win_x=$X; win_y=$Y
}

# Opens a window from the main window's menu by its access key.
open_from_menu() {
  local _
  for _ in 1 2 3; do
    xdotool mousemove $((win_x + fx)) $((win_y + fy)) click 3
    sleep 1
    xdotool key "$1"
    xsession_window "$2" 5 >/dev/null && return 0
    xdotool key Escape
  done
  xsession_fail "$2 did not open from the menu"
}

# Every visible window of the player, frame included: "x y w h title" a line. (xdotool's own
# geometry counts a frame's offset twice; xwininfo's absolute corner is the client's.)
frames() {
  local w ext X Y W H
  for w in $(xdotool search --onlyvisible --pid "$player_pid" 2>/dev/null); do
    read -r X Y W H < <(xwininfo -id "$w" | awk -F: '/Absolute upper-left X/ {x = $2} /Absolute upper-left Y/ {y = $2}
      /^ *Width/ {w = $2} /^ *Height/ {h = $2} END {print x, y, w, h}')
    ext="$(xprop -id "$w" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ,)"
    read -r l r t b <<<"${ext:-0 0 0 0}"
    echo "$((X - l)) $((Y - t)) $((W + l + r)) $((H + t + b)) $(xdotool getwindowname "$w")"
  done
}

# The four windows shown, each wholly on the screen, no two overlapping.
check_places() {
  sleep 1.5
  frames >"$work/frames"
  python3 - "$work/frames" "$screen_w" "$screen_h" "$1" <<'PY' || xsession_fail "$1: windows misplaced"
import sys
lines = [l.split(maxsplit=4) for l in open(sys.argv[1]) if l.strip()]
boxes = [(int(x), int(y), int(w), int(h), name.strip()) for x, y, w, h, name in lines]
sw, sh = int(sys.argv[2]), int(sys.argv[3])
names = sorted(b[4].strip() for b in boxes)
for want in ("プレイリスト", "ループ回数", "音量変更"):
    assert want in names, f"{want} not shown: {names}"
assert len(boxes) == 4, names
for x, y, w, h, name in boxes:
    assert 0 <= x and 0 <= y and x + w <= sw and y + h <= sh, f"{name} at {x},{y} {w}x{h} leaves the screen"
for i, a in enumerate(boxes):
    for b in boxes[i + 1:]:
        apart = a[0] + a[2] <= b[0] or b[0] + b[2] <= a[0] or a[1] + a[3] <= b[1] or b[1] + b[3] <= a[1]
        assert apart, f"{a[4]} {a[:4]} and {b[4]} {b[:4]} overlap"
print(f"{sys.argv[4]}: " + "; ".join(f"{b[4]} {b[0]},{b[1]} {b[2]}x{b[3]}" for b in boxes))
PY
}

for scale in 1 2; do
  xsession_sandbox "$bin"
  read -r fx fy < <(xsession_face_point)
  fx=$(scaled "$fx" "$scale"); fy=$(scaled "$fy" "$scale")
  # The window manager puts the new window under the mouse.
  xdotool mousemove 500 300
  QT_SCALE_FACTOR=$scale xsession_start_player "$work/forest.ogg"
  main_window
  open_from_menu l 'プレイリスト'
  open_from_menu r 'ループ回数'
  open_from_menu v '音量変更'
  check_places "scale $scale, first run"
  if [ "$scale" = 1 ] && [ -n "${3:-}" ]; then import -window root "$3"; fi
  xsession_quit_from_menu "$win_x" "$win_y" "$fx" "$fy"
  # Kept: the main window half off the bottom right corner, the playlist window over it, all
  # three side windows open.
  python3 - "$app/zkv108.info" "$screen_w" "$screen_h" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
x, y = int(sys.argv[2]) - 150, int(sys.argv[3]) - 60
struct.pack_into("<4i", data, 0, x, y, x + 10, y + 10)
data[284:287] = b"\x01\x01\x01"
open(sys.argv[1], "wb").write(data)
PY
  QT_SCALE_FACTOR=$scale xsession_start_player "$work/forest.ogg"
  main_window
  check_places "scale $scale, kept places"
  xsession_signal_player TERM
  rm -rf "$app"
done
echo "window-places: ok"
