#!/usr/bin/env bash
# The real program (run it through tests/support/run-with-tray.sh) playing entries in a row: the
# two halves of one tone, another tone, and a piece at 48000 Hz. Each piece follows
# the last sound of the one before with no silent frame (within 20 ms for the converted one), each
# as `qvtool render` makes it, and the title follows the piece heard.
#   gapless.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_e2e gapless "$bin" "$2"

for piece in half1 half2 first rate48k; do
  "$bin/qvtool" render "$work/$piece.ogg" "$work/$piece.wav"
done
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" \
  xsession_start_player "$work/half1.ogg" "$work/half2.ogg" "$work/first.ogg" "$work/rate48k.ogg"

xsession_window '^\[2\] Half2$' 20 >/dev/null || fail "the second half did not follow the first"
echo "playing [2] Half2"
xsession_window '^\[4\] Rate48k$' 20 >/dev/null || fail "the 48000 Hz piece did not follow"
echo "playing [4] Rate48k"
sleep 3
xsession_signal_player TERM
[ "$player_status" = 0 ] || fail "the program ended with status $player_status"
python3 "$here/gapless_capture.py" "$work/capture.raw" "$work/half1.wav" "0:$work/half2.wav" \
  "0:$work/first.wav" "882:$work/rate48k.wav"
