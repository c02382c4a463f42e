#!/usr/bin/env bash
# The player against Audacious (its GTK interface), both with their main window shown on the same
# private X server, playing the same file through the same private PulseAudio server (a null
# sink), one after the other in the same run: CPU seconds per minute of playback, counted over the
# threads of each process from a few seconds after the start, and their ratio. ROUNDS rounds
# alternate the two, so that a neighbour's load on a shared machine falls on both; the ratio of
# the sums is the figure. Goal: the player uses at most 0.7 times Audacious' CPU.
# Audacious is installed with apt-get when missing; where it cannot be, or no sound server or X
# server can run here, the comparison is skipped with a note (exit 77).
#
#   bench/against_audacious.sh [BUILD_DIR]        (default: build)
#   PLAY_SECONDS=40 ROUNDS=3 bench/against_audacious.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${PLAY_SECONDS:-40}
rounds=${ROUNDS:-2}
warmup=5
[ "$seconds" -ge $((warmup + 10)) ] || { echo "PLAY_SECONDS must be at least $((warmup + 10))" >&2; exit 1; }
for f in bin/ostradivuvirar bin/wuvorbis.dll bench/MakeBenchPiece; do
  [ -e "$build/$f" ] || { echo "no $build/$f: build the program and MakeBenchPiece first" >&2; exit 1; }
done
if ! command -v audacious >/dev/null; then
  echo "installing audacious ..." >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  { $sudo apt-get install -y audacious >/dev/null 2>&1 ||
    { $sudo apt-get update >/dev/null 2>&1 && $sudo apt-get install -y audacious >/dev/null 2>&1; }; } ||
    { echo "SKIPPED: audacious could not be installed"; exit 77; }
fi
. "$root/tests/sound/pulse-server.sh"
pulse_begin "$build/bin" "$seconds"  # exits 77 when no server can run here
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || pulse_skip "$tool is not installed (scripts/install-deps.sh installs it)"
done
xsession_start_x 800x600x24
xsession_sandbox "$build/bin"
piece="$work/piece.ogg"
"$build/bench/MakeBenchPiece" "$piece" "$((seconds + 10))" 0.9 >/dev/null
# Audacious plays through PulseAudio; a fresh configuration (HOME is $work) otherwise.
mkdir -p "$XDG_CONFIG_HOME/audacious"
printf '[audacious]\noutput_plugin=pulse_audio\n' >"$XDG_CONFIG_HOME/audacious/config"

cpu_ns() {
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'
}
# play NAME COMMAND...: prints "cpu_s_per_min"; fails unless the process shows a window and plays
# through the server.
play() {
  local name=$1
  shift
  "$@" >"$work/$name.log" 2>&1 &
  local pid=$!
  xsession_pids+=("$pid")
  sleep "$warmup"
  [ -n "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null)" ] ||
    { echo "$name shows no window" >&2; tail -n5 "$work/$name.log" >&2; exit 1; }
  pactl list sink-inputs | grep -q "application.process.id = \"$pid\"" ||
    { echo "$name does not play through the sound server" >&2; tail -n5 "$work/$name.log" >&2; exit 1; }
  local a t0 b t1
  a=$(cpu_ns "$pid"); t0=$(date +%s.%N)
  sleep "$((seconds - warmup))"
  b=$(cpu_ns "$pid"); t1=$(date +%s.%N)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  awk -v a="$a" -v b="$b" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 * 60 / (t1 - t0) }'
}

echo "file: $(awk -v s="$(stat -c %s "$piece")" 'BEGIN { printf "%.2f", s / 1048576 }') MB Ogg Vorbis;" \
  "each plays ${seconds} s through a private PulseAudio server, counted from ${warmup} s; $(nproc) cores"
printf '%-6s %22s %22s %8s\n' round "player cpu s/min" "audacious cpu s/min" ratio
sum_p=0 sum_a=0
for round in $(seq "$rounds"); do
  p=$(SDL_AUDIODRIVER=pulseaudio play player "$app/ostradivuvirar" "$piece")
  a=$(play audacious audacious --gtk -p "$piece")
  printf '%-6s %22s %22s %8s\n' "$round" "$p" "$a" "$(awk -v p="$p" -v a="$a" 'BEGIN { printf "%.2f", (a > 0 ? p / a : 0) }')"
  sum_p=$(awk -v s="$sum_p" -v p="$p" 'BEGIN { print s + p }')
  sum_a=$(awk -v s="$sum_a" -v a="$a" 'BEGIN { print s + a }')
done
awk -v p="$sum_p" -v a="$sum_a" -v n="$rounds" 'BEGIN {
  r = a > 0 ? p / a : 0
  printf "%-6s %22.4f %22.4f %8.2f   goal <= 0.70: %s\n", "mean", p / n, a / n, r, r <= 0.7 ? "met" : "NOT MET"
}'
