#!/bin/bash
# qvtool play through a real sound server while every core is busy (see pulse-server.sh): what
# the server played must hold qvtool render's blocks of the same file with no gap.
#   pulse-play.sh BIN_DIR [SECONDS]      exit 77: skipped, no server could run here
set -u
. "$(dirname "${BASH_SOURCE[0]}")/pulse-server.sh"
pulse_begin "$@"
pulse_piece "$bin" "$seconds"
pulse_record_and_load "$seconds"
SDL_AUDIODRIVER=pulseaudio "$bin/qvtool" play "$work/piece.ogg" --seconds "$seconds" &
player=$!
pulse_watch "$player"
wait "$player" || { echo "qvtool play failed"; exit 1; }
sleep 1
pulse_check
