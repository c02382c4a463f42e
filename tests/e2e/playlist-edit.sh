#!/usr/bin/env bash
# The real program's playlist window edited with the mouse and keys under openbox: a click and a
# Ctrl+click pick two scattered rows that Alt+X moves down one step each, a click and a
# Shift+click pick a block that is dragged below the last row; the pieces then play in the new
# order from entry 1.
#   playlist-edit.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_need openbox xdotool python3
xsession_e2e playlist-edit "$bin" "$2"
export SDL_AUDIODRIVER=dummy

# Settings: the default skin and the playlist window shown, at a place of our own.
python3 - "$app" <<'PY'
import struct, sys
app = sys.argv[1]
skin = (app + "/skin/default/").encode()
rec = struct.pack("<iiiiii", 40, 40, 300, 60, 3, 7500) + skin + b"\0" * (260 - len(skin)) + bytes([1, 0, 0, 0])
open(app + "/zkv108.info", "wb").write(rec)
PY
openbox --sm-disable >"$work/openbox.log" 2>&1 &
xsession_pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done

xsession_start_player "$work/first.ogg" "$work/second.ogg" "$work/rate48k.ogg" "$work/mono22k.ogg"
xsession_window '^\[1\] First$' 30 >/dev/null || fail "the first piece did not start"
list="$(xsession_window '^プレイリスト$' 20)" || fail "no playlist window"
xdotool windowactivate --sync "$list"

# Rows are 12 pixels high; the list starts below the menu bar.
row_y() { echo $((menu + 6 + 12 * $1)); }
menu=24
at_row() { xdotool mousemove --sync --window "$list" 40 "$(row_y "$1")"; }

# First and Rate48k, each one step down: Second, First, Mono22k, Rate48k.
at_row 0; xdotool click 1
at_row 2; xdotool keydown ctrl click 1 keyup ctrl
xdotool key alt+x
# Second and First as a block, dragged below the last row: Mono22k, Rate48k, Second, First.
at_row 0; xdotool click 1
at_row 1; xdotool keydown shift click 1 keyup shift
at_row 0; xdotool mousedown 1
for step in $(seq 1 15); do
  xdotool mousemove --window "$list" 40 "$(( $(row_y 0) + 6 * step ))"
  sleep 0.05
done
xdotool mouseup 1
# Entry 1 played from its start, the rest following on their own.
at_row 0; xdotool click 1
xdotool key Return
n=1
for title in Mono22k Rate48k Second First; do
  xsession_window "^\\[$n\\] $title\$" 20 >/dev/null || fail "entry $n is not $title"
  echo "entry $n: $title"
  n=$((n + 1))
done
xsession_signal_player TERM
[ "$player_status" = 0 ] || fail "the program ended with status $player_status"
echo "playlist edited with Shift/Ctrl clicks, Alt+X and a drag: order as expected"
