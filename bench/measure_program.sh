#!/usr/bin/env bash
# Every whole-program figure in one run, each against a baseline measured in the same run and
# printed beside its goal. The player plays a file of about 5 MB on SDL's disk driver (the sound
# goes to a file, in real time); its baseline is `qvtool play` on the same file, the same engine
# and device without any window.
#   - CPU while playing with the main window visible, and with it hidden (unmapped, as a window
#     manager does with a minimised window): CPU seconds per minute of playback, counted from a
#     few seconds after the start to the end, against qvtool's over the same stretch. The whole
#     run with the start-up is shown as well.
#     Beside them, the same count for QtTickFloor (a Qt window with a 100 ms timer that does
#     nothing, where built): what ticking ten times a second through Qt costs by itself here.
#   - peak memory (/usr/bin/time), against qvtool's;
#   - the time from the start to the first non-silent sample in the capture (median of several
#     starts), against qvtool's;
#   - from the benchmark programs in BUILD_DIR/bench, where built: titles (PlaylistBench: adding
#     1000 files with titles against adding them by name), the lateness of a GUI timer beside a
#     playing stream under stress-ng load (GuiLatencyBench, against the same timer with nothing
#     playing), and opening a file behind 100 MB of padding (PaddingBench, against reading it).
#     Each prints a last line "RESULT name=... key=value ..."; a program not built is skipped
#     with a note.
# The player needs an X server: a private Xvfb is started when DISPLAY is not set.
#
#   bench/measure_program.sh [BUILD_DIR]       (default: build)
#   PLAY_SECONDS=60 STARTS=7 GUI_SECONDS=20 bench/measure_program.sh
#   BENCHES=0 bench/measure_program.sh         (the whole-program figures only)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${PLAY_SECONDS:-60}
starts=${STARTS:-7}
gui_seconds=${GUI_SECONDS:-20}
benches=${BENCHES:-1}
warmup=4  # seconds after the start before the playing stretch is counted
[ "$seconds" -ge $((warmup + 10)) ] || { echo "PLAY_SECONDS must be at least $((warmup + 10))" >&2; exit 1; }
for f in bin/ostradivuvirar bin/qvtool bin/wuvorbis.dll bench/MakeBenchPiece; do
  [ -x "$build/$f" ] || [ -f "$build/$f" ] || { echo "no $build/$f: build the program, qvtool and MakeBenchPiece first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
. "$root/tests/support/xsession.sh"
xsession_init
xsession_need xdotool
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
# A player of its own: started inside a desktop session, it would hand its file to a player
# already running there.
unset DBUS_SESSION_BUS_ADDRESS

# 1. First sound: the moment the first non-silent bytes reach the capture, from the start.
first_sound() {  # first_sound COMMAND...: prints "median min max" in ms
  python3 - "$work" "$starts" "$@" <<'PY'
import os, statistics, subprocess, sys, time
work, starts, cmd = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
results = []
for run in range(starts):
    cap = os.path.join(work, f"first{run}.raw")
    env = dict(os.environ, SDL_DISKAUDIOFILE=cap)
    t0 = time.monotonic()
    p = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
    if found is None:
        sys.exit("no sound within 20 s: " + " ".join(cmd))
    results.append(found * 1000)
    os.remove(cap)
print(f"{statistics.median(results):.0f} {min(results):.0f} {max(results):.0f}")
PY
}
read -r first_med first_min first_max < <(first_sound "$app/ostradivuvirar" "$piece")
read -r qfirst_med _ _ < <(first_sound "$build/bin/qvtool" play "$piece" --seconds 30)

# 2. CPU and peak memory. The whole process under /usr/bin/time; the playing stretch from the
# CPU time of its threads (nanoseconds, /proc/PID/task/*/schedstat) a few seconds after the start
# and at the end.
cpu_ns() {
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'
}
# play NAME HIDE COMMAND...: runs the command for `seconds` under /usr/bin/time and prints
# "whole_cpu_s peak_kb playing_cpu_s playing_s"; HIDE=1 unmaps the player's windows first.
play() {
  local name=$1 hide=$2 pid=""
  shift 2
  SDL_DISKAUDIOFILE=/dev/null /usr/bin/time -f "%U %S %M" -o "$work/$name.time" "$@" >/dev/null 2>"$work/$name.err" &
  local timer=$!
  for _ in $(seq 100); do pid=$(pgrep -P "$timer" | head -n1 || true); [ -n "$pid" ] && break; sleep 0.05; done
  [ -n "$pid" ] || { echo "$name did not start" >&2; cat "$work/$name.err" >&2; exit 1; }
  if [ "$hide" = 1 ]; then
    local wid
    for wid in $(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null); do xdotool windowunmap "$wid"; done
  fi
  sleep "$warmup"
  local a t0 b t1
  a=$(cpu_ns "$pid"); t0=$(date +%s.%N)
  sleep "$((seconds - warmup - 1))"
  b=$(cpu_ns "$pid"); t1=$(date +%s.%N)
  # qvtool ends by itself; the player as a session would end it.
  if [ "$name" != qvtool ]; then kill "$pid" 2>/dev/null || true; fi
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
  wait "$timer" 2>/dev/null || true
  awk -v a="$a" -v b="$b" -v t0="$t0" -v t1="$t1" '{ printf "%.3f %d %.4f %.2f\n", $1 + $2, $3, (b - a) / 1e9, t1 - t0 }' "$work/$name.time" | tail -n1
}
read -r q_cpu q_rss q_play q_span < <(play qvtool 0 "$build/bin/qvtool" play "$piece" --seconds "$seconds")
read -r v_cpu v_rss v_play v_span < <(play visible 0 "$app/ostradivuvirar" "$piece")
read -r h_cpu h_rss h_play h_span < <(play hidden 1 "$app/ostradivuvirar" "$piece")
# The floor under the visible figure: a Qt window whose 100 ms timer does nothing.
f_play=0 f_span=0
if [ -x "$build/bench/QtTickFloor" ]; then
  read -r _ _ f_play f_span < <(play floor 0 "$build/bench/QtTickFloor")
fi

# 3. The benchmark programs' last lines.
results="$work/results"
: >"$results"
bench() {  # bench PROGRAM ARGS...: its RESULT line into $results, or a note
  local program="$build/bench/$1"
  shift
  if [ ! -x "$program" ]; then
    echo "skipped: $program is not built" >>"$work/notes"
    return
  fi
  if "$program" "$@" >"$work/$(basename "$program").out" 2>&1; then
    grep '^RESULT ' "$work/$(basename "$program").out" | tail -n1 >>"$results" ||
      echo "$(basename "$program") printed no RESULT line" >>"$work/notes"
  else
    echo "$(basename "$program") failed; its last lines:" >>"$work/notes"
    tail -n5 "$work/$(basename "$program").out" >>"$work/notes"
  fi
}
: >"$work/notes"
if [ "$benches" != 0 ]; then
  bench PlaylistBench
  bench GuiLatencyBench --seconds "$gui_seconds" --load 2
  bench PaddingBench 100
fi

echo "file: $(awk -v s="$size" 'BEGIN { printf "%.2f", s / 1048576 }') MB Ogg Vorbis; SDL disk driver, real time; playing stretch ${v_span%.*} s of $seconds s"
echo "baseline: qvtool play, the same engine and device without windows, in this run"
awk -v s="$seconds" -v qc="$q_cpu" -v qr="$q_rss" -v qp="$q_play" -v qs="$q_span" \
    -v vc="$v_cpu" -v vr="$v_rss" -v vp="$v_play" -v vs="$v_span" -v hc="$h_cpu" -v hr="$h_rss" -v hp="$h_play" -v hs="$h_span" -v fp="$f_play" -v fs="$f_span" \
    -v fm="$first_med" -v fmin="$first_min" -v fmax="$first_max" -v qf="$qfirst_med" -v n="$starts" \
    -f /dev/stdin "$results" <<'AWK'
function ratio(a, b) { return b > 0 ? a / b : 0 }
function row(name, value, base, r, goal, met) {
    printf "%-30s %-16s %-26s %7s  %-16s %s\n", name, value, base, r, goal, met
}
function verdict(ok) { return ok ? "met" : "NOT MET" }
{
    # RESULT name=X key=value ...
    name = ""
    for (i = 2; i <= NF; i++) {
        split($i, kv, "=")
        if (kv[1] == "name") name = kv[2]
        else r[name, kv[1]] = kv[2]
    }
    seen[name] = 1
}
END {
    row("figure", "value", "baseline (same run)", "ratio", "goal", "")
    qpm = qp * 60 / qs; vpm = vp * 60 / vs; hpm = hp * 60 / hs
    row("CPU playing, window visible", sprintf("%.3f s/min", vpm), sprintf("qvtool %.3f s/min", qpm),
        sprintf("%.2f", ratio(vpm, qpm)), "<= 1.3", verdict(ratio(vpm, qpm) <= 1.3))
    row("CPU playing, window hidden", sprintf("%.3f s/min", hpm), sprintf("qvtool %.3f s/min", qpm),
        sprintf("%.2f", ratio(hpm, qpm)), "<= 1.1", verdict(ratio(hpm, qpm) <= 1.1))
    if (fs > 0)
        row("  a Qt window ticking 10/s", sprintf("%.3f s/min", fp * 60 / fs), sprintf("qvtool %.3f s/min", qpm),
            sprintf("%.2f", ratio(fp * 60 / fs, qpm)), "(shown only)", "")
    row("CPU whole run with start-up", sprintf("%.3f s/min", vc * 60 / s), sprintf("qvtool %.3f s/min", qc * 60 / s),
        sprintf("%.2f", ratio(vc, qc)), "(shown only)", "")
    row("peak memory", sprintf("%.1f MB", vr / 1024), sprintf("qvtool %.1f MB", qr / 1024),
        sprintf("%.2f", ratio(vr, qr)), "< 60 MB", verdict(vr / 1024 < 60))
    row("first sound after start", sprintf("%d ms", fm), sprintf("qvtool %d ms", qf),
        sprintf("%.2f", ratio(fm, qf)), "<= 200 ms", verdict(fm <= 200))
    if ("titles" in seen) {
        row("titles: adding 1000 files", "fast load off", "fast load on",
            sprintf("%.2f", r["titles", "ratio"]), "<= " r["titles", "goal_ratio"], verdict(r["titles", "ratio"] <= r["titles", "goal_ratio"]))
        row("  read per title lookup", sprintf("%.1f KiB", r["titles", "kib_per_lookup"]), "", "",
            "<= " r["titles", "goal_kib"] " KiB", verdict(r["titles", "kib_per_lookup"] <= r["titles", "goal_kib"]))
    }
    if ("gui_latency" in seen) {
        row("GUI timer lateness p99.9", sprintf("%.2f ms", r["gui_latency", "p999_ms"]),
            sprintf("nothing playing %.2f ms", r["gui_latency", "baseline_p999_ms"]),
            sprintf("%.2f", ratio(r["gui_latency", "p999_ms"], r["gui_latency", "baseline_p999_ms"])),
            "< " r["gui_latency", "goal_p999_ms"] " ms", verdict(r["gui_latency", "p999_ms"] < r["gui_latency", "goal_p999_ms"]))
        row("GUI timer lateness max", sprintf("%.2f ms", r["gui_latency", "max_ms"]),
            sprintf("nothing playing %.2f ms", r["gui_latency", "baseline_max_ms"]),
            sprintf("%.2f", ratio(r["gui_latency", "max_ms"], r["gui_latency", "baseline_max_ms"])),
            "<= " r["gui_latency", "goal_max_ms"] " ms", verdict(r["gui_latency", "max_ms"] <= r["gui_latency", "goal_max_ms"]))
    }
    if ("padding" in seen) {
        row("open behind padding", sprintf("%.3f s/100 MB", r["padding", "seconds_per_100mb"]),
            sprintf("reading %.3f s/100 MB", r["padding", "read_seconds_per_100mb"]),
            sprintf("%.2f", r["padding", "ratio"]), "<= " r["padding", "goal"] " s/100 MB",
            verdict(r["padding", "seconds_per_100mb"] <= r["padding", "goal"]))
    }
}
AWK
[ ! -s "$work/notes" ] || cat "$work/notes"
[ "$benches" != 0 ] || echo "benchmark programs not run (BENCHES=0)"
