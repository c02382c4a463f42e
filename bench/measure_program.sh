#!/usr/bin/env bash
# Whole-program measurements on SDL's disk driver (the sound goes to a file, in real time), in one
# run and on one file of about 5 MB:
#   - the time from starting the player with the file to its first non-silent sample in the
#     capture (median of several starts);
#   - the CPU seconds per minute of playback of the whole player, against `qvtool play` on the
#     same file (the same engine and device without any window): the windows' own cost;
#   - the peak memory of both (/usr/bin/time).
# The player needs an X server: a private Xvfb is started when DISPLAY is not set.
#
#   bench/measure_program.sh [BUILD_DIR]       (default: build)
#   PLAY_SECONDS=60 STARTS=7 bench/measure_program.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${PLAY_SECONDS:-60}
starts=${STARTS:-7}
for f in bin/ostradivuvirar bin/qvtool bin/wuvorbis.dll bench/MakeBenchPiece; do
  [ -x "$build/$f" ] || [ -f "$build/$f" ] || { echo "no $build/$f: build the program, qvtool and MakeBenchPiece first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
. "$root/tests/support/xsession.sh"
xsession_init
if [ -z "${DISPLAY:-}" ]; then
  xsession_need Xvfb
  xsession_start_x
fi

# The player in a directory of its own (no settings file: full volume, default skin).
xsession_sandbox "$build/bin"
piece="$work/piece.ogg"
"$build/bench/MakeBenchPiece" "$piece" "$((seconds > 120 ? seconds + 5 : 125))" 0.9 >/dev/null
size=$(stat -c %s "$piece")
export SDL_AUDIODRIVER=disk

# 1. First sound: the moment the first non-silent bytes reach the capture, from the start.
python3 - "$app/ostradivuvirar" "$piece" "$work" "$starts" >"$work/first" <<'PY'
import os, statistics, subprocess, sys, time
player, piece, work, starts = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
results = []
for run in range(starts):
    cap = os.path.join(work, f"first{run}.raw")
    env = dict(os.environ, SDL_DISKAUDIOFILE=cap)
    t0 = time.monotonic()
    p = subprocess.Popen([player, piece], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    found, pos = None, 0
    try:
        while time.monotonic() - t0 < 20 and found is None:
            try:
                with open(cap, "rb") as f:
                    f.seek(pos)
                    data = f.read()
            except FileNotFoundError:
                data = b""
            if any(data):
                found = time.monotonic() - t0
            pos += len(data) - len(data) % 4
            time.sleep(0.002)
    finally:
        p.terminate()
        p.wait()
    if found is None:
        sys.exit("no sound within 20 s")
    results.append(found * 1000)
    os.remove(cap)
print(f"{statistics.median(results):.0f} {min(results):.0f} {max(results):.0f}")
PY
read -r first_med first_min first_max <"$work/first"

# 2. and 3. CPU and peak memory while playing `seconds` of the piece.
measure() {  # measure NAME command...: prints "cpu_seconds max_rss_kb wall"
  local name=$1
  shift
  /usr/bin/time -f "%U %S %M %e" -o "$work/$name.time" "$@" >/dev/null 2>"$work/$name.err" || true
  awk '{ printf "%.3f %d %.1f\n", $1 + $2, $3, $4 }' "$work/$name.time" | tail -n1
}
play_player() {
  # Plays for the given time, then ends the player as a session would (SIGTERM).
  SDL_DISKAUDIOFILE=/dev/null "$app/ostradivuvirar" "$piece" &
  player_pid=$!
  sleep "$seconds"
  kill "$player_pid"
  wait "$player_pid" 2>/dev/null || true
  player_pid=""
}
export -f play_player
export app piece seconds
read -r q_cpu q_rss q_wall < <(SDL_DISKAUDIOFILE=/dev/null measure qvtool "$build/bin/qvtool" play "$piece" --seconds "$seconds")
read -r p_cpu p_rss p_wall < <(measure player bash -c play_player)

awk -v s="$seconds" -v size="$size" -v n="$starts" -v fm="$first_med" -v fmin="$first_min" -v fmax="$first_max" \
    -v qc="$q_cpu" -v qr="$q_rss" -v qw="$q_wall" -v pc="$p_cpu" -v pr="$p_rss" -v pw="$p_wall" 'BEGIN {
    printf "file: %.2f MB Ogg Vorbis; SDL disk driver, real time\n", size / 1048576
    printf "first sound after start: median %d ms of %d starts (min %d, max %d); goal: at most 200 ms\n", fm, n, fmin, fmax
    printf "%-8s %10s %12s %10s %8s\n", "", "cpu s", "cpu s/min", "peak MB", "wall s"
    printf "%-8s %10.3f %12.3f %10.1f %8.1f\n", "player", pc, pc * 60 / s, pr / 1024, pw
    printf "%-8s %10.3f %12.3f %10.1f %8.1f\n", "qvtool", qc, qc * 60 / s, qr / 1024, qw
    if (qc > 0) printf "CPU ratio player/qvtool play: %.2f; goal: at most 1.3\n", pc / qc
    printf "player peak memory: %.1f MB; goal: below 60 MB\n", pr / 1024
}'
