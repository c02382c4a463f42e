#!/usr/bin/env bash
# Whole-process playback cost: CPU seconds per minute of playback and peak memory of
# `qvtool play` against `mpv --no-video --ao=null` on the same file, in one run, both on a
# device that plays in real time without a sound card (SDL's dummy driver; mpv's null output).
#
#   bench/playback_cpu.sh [BUILD_DIR]        (default: build; run from the repository root)
#   PLAY_SECONDS=60 bench/playback_cpu.sh    (how long each player plays; default 60)
#
# Installs mpv (and oggenc for the test file) with apt-get when they are missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${PLAY_SECONDS:-60}
qvtool=$build/bin/qvtool
[ -x "$qvtool" ] || { echo "no $qvtool: build the qvtool target first" >&2; exit 1; }

need() {
    command -v "$1" >/dev/null 2>&1 && return
    echo "installing $2 ..." >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y "$2" >/dev/null || { $sudo apt-get update >/dev/null && $sudo apt-get install -y "$2" >/dev/null; }
}
need mpv mpv
need oggenc vorbis-tools
[ -x /usr/bin/time ] || need time time

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A piece of the playing length plus a few seconds: chords with a little noise, so the encoder
# spends bits as it does on music (quality 5, about 160 kbit/s).
python3 - "$work/piece.wav" "$((seconds + 5))" <<'PY'
import math, random, struct, sys, wave
path, secs = sys.argv[1], int(sys.argv[2])
rate = 44100
random.seed(1)
chords = [(220.0, 277.18, 329.63), (196.0, 246.94, 293.66), (174.61, 220.0, 261.63), (164.81, 207.65, 246.94)]
with wave.open(path, "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    for s in range(secs):
        f = chords[s % len(chords)]
        frames = bytearray()
        for i in range(rate):
            t = (s * rate + i) / rate
            env = 0.6 + 0.4 * math.sin(2 * math.pi * 0.5 * t)
            l = sum(math.sin(2 * math.pi * x * t) for x in f) / 3 * env
            r = sum(math.sin(2 * math.pi * x * 1.003 * t) for x in f) / 3 * env
            n = random.uniform(-0.05, 0.05)
            frames += struct.pack("<hh", int((l * 0.7 + n) * 32767), int((r * 0.7 + n) * 32767))
        w.writeframes(bytes(frames))
PY
oggenc -Q -q 5 -o "$work/piece.ogg" "$work/piece.wav"
rm -f "$work/piece.wav"
size=$(stat -c %s "$work/piece.ogg")

# measure NAME command...: prints "cpu_seconds max_rss_kb"
measure() {
    local out=$work/$1.time
    shift
    /usr/bin/time -f "%U %S %M %e" -o "$out" "$@" >/dev/null 2>"$work/stderr" || {
        echo "failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
    awk '{ printf "%.3f %d %.1f\n", $1 + $2, $3, $4 }' "$out"
}

read -r q_cpu q_rss q_wall < <(SDL_AUDIODRIVER=dummy measure qvtool "$qvtool" play "$work/piece.ogg" --seconds "$seconds")
read -r m_cpu m_rss m_wall < <(measure mpv mpv --no-config --no-video --ao=null --length="$seconds" "$work/piece.ogg")

awk -v s="$seconds" -v size="$size" \
    -v qc="$q_cpu" -v qr="$q_rss" -v qw="$q_wall" -v mc="$m_cpu" -v mr="$m_rss" -v mw="$m_wall" 'BEGIN {
    qpm = qc * 60 / s; mpm = mc * 60 / s
    printf "file: %.2f MB Ogg Vorbis, %d s played by each\n", size / 1048576, s
    printf "%-8s %12s %14s %12s %10s\n", "player", "cpu s", "cpu s/min", "peak MB", "wall s"
    printf "%-8s %12.3f %14.3f %12.1f %10.1f\n", "qvtool", qc, qpm, qr / 1024, qw
    printf "%-8s %12.3f %14.3f %12.1f %10.1f\n", "mpv", mc, mpm, mr / 1024, mw
    if (qc > 0) printf "CPU ratio qvtool/mpv: %.3f (goal: at most 0.333); mpv/qvtool: %.1fx\n", qc / mc, mc / qc
    printf "qvtool peak memory: %.1f MB; goal: at most file + 12 MB = %.1f MB\n", qr / 1024, size / 1048576 + 12
}'
