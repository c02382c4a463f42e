#!/bin/bash
# The sound device lost while playing, through a private PulseAudio server (see pulse-server.sh):
# qvtool play a piece of noise, unload the null sink it plays to and load it again, then kill the
# server and start it again. The sink's monitor is recorded in three parts (before, between and
# after). The player must play to the sink again within 2 s of each return, and pulse_resume.py
# finds each part in qvtool render's blocks of the piece: each goes on where the part before
# stopped, with nothing skipped.
#   pulse-device.sh BIN_DIR              exit 77: skipped, no server could run here
set -u
. "$(dirname "${BASH_SOURCE[0]}")/pulse-server.sh"
seconds=24
pulse_begin "$1" "$seconds"
pulse_piece "$bin" "$seconds"

# parec on the monitor into $work/NAME.raw; it ends by itself when the sink goes.
record() {
  parec --device=capture.monitor --format=s16le --rate=44100 --channels=2 --raw --latency-msec=20 \
    >"$work/$1.raw" 2>/dev/null &
  recorder=$!
  xsession_pids+=($recorder)
  pulse_await_recorder
}
stop_recording() {
  kill "$recorder" 2>/dev/null
  wait "$recorder" 2>/dev/null
}
# Once the sink is back ($back, taken then, before the recorder connects): the player plays to it
# again within 2 s. Its stream shows as a sink input.
await_player() {
  local begun=$back now
  while ! pactl list short sink-inputs 2>/dev/null | grep -q .; do
    now=$EPOCHREALTIME
    if (( ${now/./} - ${begun/./} > 2000000 )); then
      echo "the player did not come back within 2 s $1"
      exit 1
    fi
    sleep 0.02
  done
  now=$EPOCHREALTIME
  echo "the player played again $(( (${now/./} - ${begun/./}) / 1000 )) ms $1"
}

record before
sleep 0.5
SDL_AUDIODRIVER=pulseaudio "$bin/qvtool" play "$work/piece.ogg" --seconds "$seconds" &
player=$!
xsession_pids+=($player)
sleep 4

# The sink goes: the player's stream is killed with it, and there is nowhere to play for 3 s.
module=$(pactl list short modules | awk '$2 == "module-null-sink" {print $1}')
pactl unload-module "$module" || { echo "cannot unload the null sink"; exit 1; }
stop_recording
sleep 3
pactl load-module module-null-sink sink_name=capture format=s16le rate=44100 channels=2 >/dev/null ||
  { echo "cannot load the null sink again"; exit 1; }
back=$EPOCHREALTIME
record between
await_player "after the sink came back"
sleep 5

# The server goes, and comes back 2 s later.
kill -KILL "$pulse_daemon"
wait "$pulse_daemon" 2>/dev/null
stop_recording
sleep 2
pulse_start_daemon || { echo "the PulseAudio daemon did not start again"; exit 1; }
back=$EPOCHREALTIME
record after
await_player "after the server came back"
sleep 5
kill -0 "$player" 2>/dev/null || { echo "qvtool play ended while the device was away"; exit 1; }
kill -INT "$player"
wait "$player" || { echo "qvtool play failed"; exit 1; }
sleep 0.5
stop_recording
python3 "$pulse_dir/pulse_resume.py" "$work/rendered.wav" "$work/before.raw" "$work/between.raw" "$work/after.raw"
