#!/bin/bash
# qvtool play through a real sound server while every core is busy (see pulse-server.sh), with a
# pause, a seek forward, a seek back and the stop at the end: what the server played must hold
# qvtool render's blocks of the same file with no gap, and each step must be heard at once
# (pulse_steps.py: a pause or a stop within 100 ms, a seek within 150 ms, a resume with nothing
# skipped).
#   pulse-play.sh BIN_DIR [SECONDS]      exit 77: skipped, no server could run here (SECONDS >= 20)
set -u
. "$(dirname "${BASH_SOURCE[0]}")/pulse-server.sh"
pulse_begin "$@"
[ "$seconds" -ge 20 ] || { echo "pulse-play.sh plays at least 20 s"; exit 1; }
pulse_piece "$bin" "$seconds"
"$bin/qvtool" render "$work/piece.ogg" "$work/whole.wav" || exit 1
pulse_record_and_load "$seconds"
SDL_AUDIODRIVER=pulseaudio "$bin/qvtool" play "$work/piece.ogg" --seconds "$seconds" \
  --pause "$((seconds / 4)):1.5" --seek "$((seconds / 2)):5" --seek "$((seconds * 2 / 3)):-6" >"$work/steps.txt" &
player=$!
pulse_watch "$player"
wait "$player" || { echo "qvtool play failed"; exit 1; }
sleep 1
kill "$pulse_recorder" 2>/dev/null
wait "$pulse_recorder" 2>/dev/null
python3 "$pulse_dir/pulse_steps.py" "$work/whole.wav" "$work/recording.raw" "$work/steps.txt"
