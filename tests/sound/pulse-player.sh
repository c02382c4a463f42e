#!/bin/bash
# The whole program through a real sound server while every core is busy (see pulse-server.sh;
# run it through tests/support/run-with-tray.sh): a piece on the command line, and what the
# server played must hold qvtool render's blocks of it with no gap.
#   pulse-player.sh BIN_DIR [SECONDS]    exit 77: skipped, no server could run here
set -u
. "$(dirname "${BASH_SOURCE[0]}")/pulse-server.sh"
pulse_begin "$@"
# A program directory of its own: no settings file, so the volume is at full.
xsession_sandbox "$bin"
pulse_piece "$bin" "$seconds"
pulse_record_and_load "$seconds"
SDL_AUDIODRIVER=pulseaudio xsession_start_player "$work/piece.ogg"
pulse_watch "$player_pid" "$((seconds + 1))"
kill -0 "$player_pid" 2>/dev/null || xsession_fail "the program ended while playing"
pulse_check
