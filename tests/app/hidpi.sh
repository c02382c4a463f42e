#!/usr/bin/env bash
# The main window under a scale factor, on the real program (run it through dbus-run-session):
# at 1.25, 1.5 and 2 the whole face is shown, enlarged, with its key-coloured pixels cut away and
# no pixel of the key colour along the cut, and a click on the enlarged pause button pauses. At 2 the settings record keeps the windows' places
# in the screen's pixels (the main window's and the playlist window's), and a place off the screen
# opens the main window on it.
#   hidpi.sh BIN_DIR MAKE_MPRIS_FILES [SCREENSHOT.png]   (the screenshot: the window at 2)
set -euo pipefail
bin="$1"
picture="${3:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_need Xvfb xdotool convert import playerctl
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "hidpi: run me under dbus-run-session" >&2; exit 1; }
xsession_init
export SDL_AUDIODRIVER=dummy
# Room for the main and the playlist window side by side at 2.
screen_w=1280
xsession_start_x ${screen_w}x1024x24 -wr -noreset
"$2" "$work"
pc() { playerctl -p ostradivuvirar "$@" 2>/dev/null; }
wait_status() {
  for _ in $(seq 100); do [ "$(pc status)" = "$1" ] && return 0; sleep 0.1; done
  return 1
}
main_window() {
  # By the player's process: playing, the window is titled by the piece.
  wid=""
  for _ in $(seq 100); do
    wid="$(xdotool search --onlyvisible --pid "$player_pid" 2>/dev/null | head -n1)" && [ -n "$wid" ] && break
    sleep 0.2
  done
  [ -n "$wid" ] || xsession_fail "the main window did not appear"
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  win_x=$X; win_y=$Y; win_w=$WIDTH; win_h=$HEIGHT
}
read -r face_w face_h < <(identify -format '%w %h\n' "$bin/skin/default/face.bmp")
read -r fx fy < <(xsession_sandbox "$bin"; xsession_face_point)
scaled() { python3 -c "print(round($1 * $2))"; }

for scale in 1.25 1.5 2; do
  xsession_sandbox "$bin"
  import -window root "$work/before.png"
  QT_SCALE_FACTOR=$scale xsession_start_player "$work/forest.ogg"
  main_window
  want_w=$(scaled "$face_w" "$scale"); want_h=$(scaled "$face_h" "$scale")
  [ "$win_w" -ge $((want_w - 1)) ] && [ "$win_w" -le $((want_w + 1)) ] && [ "$win_h" -ge $((want_h - 1)) ] &&
    [ "$win_h" -le $((want_h + 1)) ] || xsession_fail "at $scale the window is ${win_w}x$win_h, not ${want_w}x$want_h"
  import -window root "$work/after.png"
  for shot in before after; do
    convert "$work/$shot.png" -crop "${win_w}x${win_h}+${win_x}+${win_y}" +repage "$work/$shot.ppm"
  done
  convert "$bin/skin/default/face.bmp" -filter point -resize "${win_w}x${win_h}!" "$work/face.ppm"
  python3 "$here/compare_shot.py" "$work/face.ppm" "$work/before.ppm" "$work/after.ppm" edge >/dev/null 2>"$work/cmp" ||
    xsession_fail "at $scale the window's outline does not follow the enlarged face: $(cat "$work/cmp")"
  if [ "$scale" = 2 ] && [ -n "$picture" ]; then
    convert "$work/after.png" -crop "$((win_w + 24))x$((win_h + 24))+0+0" +repage "$picture"
  fi
  wait_status Playing || xsession_fail "at $scale the player does not play"
  # The pause button's middle in the skin, in the screen's pixels.
  xdotool mousemove "$((win_x + $(scaled 95 "$scale")))" "$((win_y + $(scaled 89 "$scale")))" click 1
  wait_status Paused || xsession_fail "at $scale a click on the pause button did not pause ($(pc status))"
  echo "scale $scale: window ${win_w}x$win_h shaped as the face, no fringe; the pause button pauses"
  if [ "$scale" = 2 ]; then
    xdotool mousemove 700 500
    xsession_quit_from_menu "$win_x" "$win_y" "$(scaled "$fx" 2)" "$(scaled "$fy" 2)"
    python3 - "$app/zkv108.info" "$win_x" "$win_y" <<'PY' || xsession_fail "the stored place is not the screen's"
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
ml, mt = struct.unpack_from("<2i", data)
assert (ml, mt) == (int(sys.argv[2]), int(sys.argv[3])), (ml, mt, sys.argv[2:])
struct.pack_into("<2i", data, 0, 5000, -3000)
# The playlist window shown, at 130,250 of the screen's pixels.
struct.pack_into("<2i", data, 8, 130, 250)
data[284] = 1
open(sys.argv[1], "wb").write(data)
PY
    QT_SCALE_FACTOR=2 xsession_start_player
    main_window
    [ "$win_x,$win_y" = "$((screen_w - win_w)),0" ] ||
      xsession_fail "a place off the screen opened the window at $win_x,$win_y"
    echo "scale 2: the place is stored in screen pixels; 5000,-3000 opens at $win_x,$win_y"
    # The playlist window's client area: the window manager-less server puts it at the place.
    list="$(xdotool search --onlyvisible --name 'プレイリスト' 2>/dev/null | head -n1)"
    [ -n "$list" ] || xsession_fail "the playlist window did not open at 2"
    eval "$(xdotool getwindowgeometry --shell "$list")"
    [ "$X,$Y" = "130,250" ] || xsession_fail "at 2 the playlist window opened at $X,$Y, not 130,250"
    xdotool windowmove "$list" 210 330
    sleep 0.5
    xsession_quit_from_menu "$win_x" "$win_y" "$(scaled "$fx" 2)" "$(scaled "$fy" 2)"
    python3 - "$app/zkv108.info" <<'PY' || xsession_fail "the playlist window's place is not stored in screen pixels"
import struct, sys
place = struct.unpack_from("<2i", open(sys.argv[1], "rb").read(), 8)
assert place == (210, 330), place
PY
    echo "scale 2: the playlist window opens at its stored place in screen pixels, and stores it so"
  else
    xsession_signal_player TERM
  fi
  rm -rf "$app"
done
echo "hidpi: ok"
