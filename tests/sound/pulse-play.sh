#!/bin/bash
# qvtool play through a real sound server while every core is busy: a private PulseAudio daemon
# with a null sink, SDL's pulseaudio driver, stress-ng on each core, and parec recording the
# sink's monitor. The recording must hold qvtool render's blocks of the same file with no gap.
# Usage: pulse-play.sh BINDIR [SECONDS]   Exit 77 (skipped) when the server cannot run here.
set -u
bindir=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIPPED: $*"; exit 77; }
for tool in pulseaudio parec pactl stress-ng oggenc python3; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d /tmp/ostra-pulse-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# No system or user configuration: the daemon gets its own runtime and home folders.
export HOME=$work XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config PULSE_RUNTIME_PATH=$work/pulse
export PULSE_SERVER=unix:$work/pulse/native
unset DISPLAY DBUS_SESSION_BUS_ADDRESS
chmod 700 "$work"
cat > "$work/null.pa" <<'PA'
load-module module-null-sink sink_name=capture format=s16le rate=44100 channels=2
load-module module-native-protocol-unix
set-default-sink capture
PA
# PulseAudio warns when run as root outside system mode but runs; --system would need the
# system bus and a pulse user.
pulseaudio -n -F "$work/null.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --disallow-exit --disallow-module-loading=no --system=false --log-target=file:"$work/pulse.log" &
pids+=($!)
for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
pactl info >/dev/null 2>&1 || { cat "$work/pulse.log" 2>/dev/null; skip "the PulseAudio daemon did not start"; }

# A piece of noise a little longer than the play: no silent frame to confuse the comparison.
python3 - "$work/noise.raw" "$((seconds + 2))" <<'PY'
import random, struct, sys
random.seed(7)
n = int(sys.argv[2]) * 44100 * 2
values = [random.randint(-9000, 9000) or 1 for _ in range(n)]
open(sys.argv[1], "wb").write(struct.pack(f"<{n}h", *values))
PY
oggenc -Q -r -B 16 -C 2 -R 44100 -q 4 -o "$work/piece.ogg" "$work/noise.raw" || exit 1
# qvtool play counts its seconds from its start, before the first sound is heard.
"$bindir/qvtool" render "$work/piece.ogg" "$work/rendered.wav" --seconds "$((seconds - 1))" || exit 1

parec --device=capture.monitor --format=s16le --rate=44100 --channels=2 --raw \
    --latency-msec=20 > "$work/recording.raw" &
recorder=$!
pids+=($recorder)
stress-ng --cpu "$(nproc)" --timeout "$((seconds + 10))s" --quiet &
pids+=($!)
sleep 1
SDL_AUDIODRIVER=pulseaudio "$bindir/qvtool" play "$work/piece.ogg" --seconds "$seconds" &
player=$!
# While it plays: how much sound the server holds for it (its buffer and the sink's), which
# goes on being heard after a pause or stop. It must stay under 100 ms.
held=0
sleep 2
while kill -0 "$player" 2>/dev/null; do
    now=$(pactl list sink-inputs | awk '/Buffer Latency|Sink Latency/ {s += $3} END {print int(s / 1000)}')
    [ "${now:-0}" -gt "$held" ] && held=$now
    sleep 0.5
done
wait "$player" || { echo "qvtool play failed"; exit 1; }
echo "the server held at most $held ms of sound"
sleep 1
kill "$recorder"
wait "$recorder" 2>/dev/null
python3 "$here/pulse_compare.py" "$work/recording.raw" "$work/rendered.wav" || exit 1
[ "$held" -lt 100 ] || { echo "a pause would be heard $held ms late"; exit 1; }
