#!/usr/bin/env bash
# The real program (run it through tests/support/run-with-tray.sh) given a missing file, a
# 48000 Hz piece and a 22050 Hz mono piece: the missing one is named in a message and passed
# over while the program goes on, the other two play whole, as `qvtool render` makes them, one
# after the other; SIGTERM then ends the program with status 0.
#   formats.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_e2e formats "$bin" "$2"

"$bin/qvtool" render "$work/rate48k.ogg" "$work/rate48k.wav"
"$bin/qvtool" render "$work/mono22k.ogg" "$work/mono22k.wav"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" \
  xsession_start_player "$work/missing.ogg" "$work/rate48k.ogg" "$work/mono22k.ogg"

xsession_window '^\[2\] Rate48k$' 20 >/dev/null || fail "the 48000 Hz piece did not start after the missing one"
echo "playing [2] Rate48k after the missing entry"
xsession_window '^\[3\] Mono22k$' 20 >/dev/null || fail "the 22050 Hz mono piece did not follow"
echo "playing [3] Mono22k"
sleep 3
xsession_signal_player TERM
[ "$player_status" = running ] && fail "the program is still running 10 s after SIGTERM"
[ "$player_status" = 0 ] || fail "the program ended with status $player_status"
echo "SIGTERM: exit status 0"
python3 "$here/compare_capture.py" "$work/capture.raw" "$work/rate48k.wav" "$work/mono22k.wav"
