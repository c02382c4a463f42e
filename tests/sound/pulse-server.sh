# shellcheck shell=bash
# A private PulseAudio server with a null sink, for the scripts that play through a real sound
# server while every core is busy. Source it; it brings tests/support/xsession.sh with it, whose
# $work and cleanup it uses (what is started here is listed in xsession_pids and stopped at exit):
#
#   pulse_begin BIN_DIR [SECONDS]
#                             $bin and $seconds (60 by default), xsession_init, and the daemon,
#                             from $work only (no system or user configuration); exits 77
#                             (skipped) when a tool is missing or the daemon cannot start
#   pulse_start_daemon        the daemon again (after it was killed), with the same null sink;
#                             fails when it does not answer within 5 s
#   pulse_piece BIN SECONDS   $work/piece.ogg, noise without a silent frame, SECONDS + 2 long,
#                             and $work/rendered.wav, qvtool render of its first SECONDS - 1 (a
#                             player counts its time from its start, before the sound is heard)
#   pulse_record_and_load SECONDS
#                             parec on the sink's monitor into $work/recording.raw, and
#                             stress-ng on every core for SECONDS + 10, once the recording runs
#   pulse_watch PID [SECONDS] until PID ends (or SECONDS have passed)
#   pulse_check               the recording holds the rendering with no gap (pulse_compare.py)

pulse_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$pulse_dir/../support/xsession.sh"

pulse_skip() { echo "SKIPPED: $*"; exit 77; }

pulse_begin() {
  bin=$1
  seconds=${2:-60}
  xsession_init
  local tool
  for tool in pulseaudio parec pactl stress-ng oggenc python3; do
    command -v "$tool" >/dev/null || pulse_skip "$tool is not installed (scripts/install-deps.sh installs it)"
  done
  xsession_private_pulse
  cat >"$work/null.pa" <<'PA'
load-module module-null-sink sink_name=capture format=s16le rate=44100 channels=2
load-module module-native-protocol-unix
set-default-sink capture
PA
  pulse_start_daemon || pulse_skip "the PulseAudio daemon did not start"
}

pulse_start_daemon() {
  # Run as root it warns that it is meant for system mode, and runs; system mode would need the
  # system bus and a pulse user.
  pulseaudio -n -F "$work/null.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --disallow-exit --system=false --log-target=file:"$work/pulse.log" &
  pulse_daemon=$!
  xsession_pids+=($pulse_daemon)
  local _
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  cat "$work/pulse.log" 2>/dev/null
  return 1
}

pulse_piece() {
  python3 - "$work/noise.raw" "$(($2 + 2))" <<'PY'
import random, struct, sys
random.seed(7)
n = int(sys.argv[2]) * 44100 * 2
values = [random.randint(-9000, 9000) or 1 for _ in range(n)]
open(sys.argv[1], "wb").write(struct.pack(f"<{n}h", *values))
PY
  oggenc -Q -r -B 16 -C 2 -R 44100 -q 4 -o "$work/piece.ogg" "$work/noise.raw" || exit 1
  "$1/qvtool" render "$work/piece.ogg" "$work/rendered.wav" --seconds "$(($2 - 1))" || exit 1
}

pulse_record_and_load() {
  parec --device=capture.monitor --format=s16le --rate=44100 --channels=2 --raw --latency-msec=20 \
    >"$work/recording.raw" &
  pulse_recorder=$!
  xsession_pids+=($pulse_recorder)
  pulse_await_recorder
  stress-ng --cpu "$(nproc)" --timeout "$(($1 + 10))s" --quiet &
  xsession_pids+=($!)
  sleep 1
}

# Until the recorder's stream shows on the server (at most 10 s): on a busy machine parec can take
# longer to connect than a player takes to start, and the piece's first moments would be missing
# from a recording that is fine otherwise.
pulse_await_recorder() {
  local _
  for _ in $(seq 200); do
    pactl list short source-outputs 2>/dev/null | grep -q . && return 0
    sleep 0.05
  done
  echo "the recorder did not connect to the server within 10 s"
  exit 1
}

pulse_watch() {
  local end=$((SECONDS + ${2:-100000}))
  while kill -0 "$1" 2>/dev/null && [ "$SECONDS" -lt "$end" ]; do
    sleep 0.5
  done
}

pulse_check() {
  kill "$pulse_recorder" 2>/dev/null
  wait "$pulse_recorder" 2>/dev/null
  python3 "$pulse_dir/pulse_compare.py" "$work/recording.raw" "$work/rendered.wav" || exit 1
}
