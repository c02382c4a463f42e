#!/usr/bin/env bash
# The real program end to end (run it through tests/support/run-with-tray.sh): two short pieces
# on the command line; the sound SDL's disk driver captures holds the first exactly as `qvtool
# render` makes it, then the second; the title moves on to the second entry; "終了(&X)" from the
# window's menu ends the program cleanly and the 288-byte settings file is written.
#   e2e.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
bin="$1"
make_files="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_init
fail() { xsession_fail "e2e: $*"; }

# A program directory of its own: no settings file yet, so the volume is at full.
xsession_sandbox "$bin"
"$make_files" "$work"
# The second name is Shift-JIS bytes, not valid UTF-8: it must reach the player unchanged.
second="$work/"$'\x83\x66\x83\x82'".ogg"
mv "$work/second.ogg" "$second"
"$bin/qvtool" render "$work/first.ogg" "$work/first.wav"
"$bin/qvtool" render "$second" "$work/second.wav"

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" xsession_start_player "$work/first.ogg" "$second"

# The window carries the title of the entry playing.
wid="$(xsession_window '^\[1\] First$')" || fail "the first entry did not start playing"
echo "playing [1] First"
xsession_window '^\[2\] Second$' >/dev/null || fail "the second entry did not follow"
echo "playing [2] Second"
# Let the second piece play to its end (2 s), with room to spare on a busy machine.
sleep 4

eval "$(xdotool getwindowgeometry --shell "$wid")"
read -r face_x face_y < <(xsession_face_point)
xsession_quit_from_menu "$X" "$Y" "$face_x" "$face_y"
echo "ended from the menu"

size=$(stat -c %s "$app/zkv108.info" 2>/dev/null || echo 0)
[ "$size" = 288 ] || fail "the settings file has $size bytes, not 288"
echo "settings file: 288 bytes"

python3 "$here/compare_capture.py" "$work/capture.raw" "$work/first.wav" "$work/second.wav"
