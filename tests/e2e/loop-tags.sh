#!/usr/bin/env bash
# The real program (run it through tests/support/run-with-tray.sh) plays plain Ogg files looped
# by their tags as it plays the containers `qvtool import` makes of them: with the loop count at
# 0, a container and six tagged files (LOOPSTART/LOOPLENGTH, the same in lower case, LoopStart
# with LOOP_END, a 48000 Hz piece, SDL3_mixer's LOOP-START/LOOP-LENGTH, and times H:M:S.f and
# S.f) each play to the loop end, jump back to the tagged frame exactly as `qvtool render`
# renders the container, then fade out over eight seconds, and the next entry follows.
#   loop-tags.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_e2e loop-tags "$bin" "$2"

cp "$work/upper.ogg" "$work/container.ogg"
"$bin/qvtool" import "$work/container.ogg" >/dev/null
for name in upper lower mixed tagged48k hyphens times; do
  "$bin/qvtool" import "$work/$name.ogg" >/dev/null
done
for name in container upper lower mixed tagged48k hyphens times; do
  "$bin/qvtool" render "$work/$name.qv" "$work/$name.wav" --seconds 8
done
# The loop count 0: a looped piece fades out after its first jump back. Full volume, the main
# window and the playlist where a first run puts them.
python3 - "$app/zkv108.info" <<'PY'
import struct, sys
record = struct.pack("<6i", 100, 100, 100, 350, 0, 10000) + bytes(264)
open(sys.argv[1], "wb").write(record)
PY

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" \
  xsession_start_player "$work/container.qv" "$work/upper.ogg" "$work/lower.ogg" "$work/mixed.ogg" \
  "$work/tagged48k.ogg" "$work/hyphens.ogg" "$work/times.ogg"
n=1
for title in Upper Upper Lower Mixed Tagged48k Hyphens Times; do
  xsession_window "^\[$n\] $title\$" 60 >/dev/null ||
    fail "entry $n ($title) did not start playing; windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '|')"
  echo "playing [$n] $title"
  n=$((n + 1))
done
# After the last one has faded out, the list starts again.
xsession_window '^\[1\] Upper$' 60 >/dev/null || fail "the list did not go round after the last fade"
xsession_signal_player TERM
[ "$player_status" = 0 ] || fail "the program ended with status $player_status"

# Each piece is the render of its container up to its jump and beyond (the jump is at 2.0 s),
# then fades out over eight seconds.
python3 "$here/compare_loop_fades.py" "$work/capture.raw" 2.0 \
  "$work/container.wav" "$work/upper.wav" "$work/lower.wav" "$work/mixed.wav" "$work/tagged48k.wav" \
  "$work/hyphens.wav" "$work/times.wav"
