#!/usr/bin/env bash
# Dropouts under load: the player and mpv play the same piece at the same time through a private
# PulseAudio server, each into a null sink of its own, while stress-ng keeps both cores and the
# disk busy; parec records each sink's monitor and every run of digital silence of 5 ms or more
# inside the recording counts as a gap (the piece, chords under noise, has no silent frame). The
# player's recording is also compared with qvtool render of the same file, which finds frames
# lost or repeated without silence.
#
#   bench/dropouts.sh [BUILD_DIR]                 (default: build; 3 rounds of 180 s)
#   ROUNDS=1 SECONDS_PER_ROUND=30 bench/dropouts.sh build      (a short try)
#   LOAD="--cpu 2 --io 1"                         stress-ng's load (default as shown)
#   PLAYER_ENV="PULSE_LATENCY_MSEC=60"            extra environment for the player only
#   SERVER_RT=1                                   the sound server real-time as a whole (chrt),
#                                                 so that the gaps left are the players' own
#
# Both players run in every round, side by side under the same load: the machine is shared with
# other work, so only figures from the same round compare fairly. mpv, stress-ng and the sound
# tools come from scripts/install-deps.sh; when one is missing the script tries apt-get and
# otherwise leaves that part out with a note. Prints one line a round and a summary.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rounds=${ROUNDS:-3}
seconds=${SECONDS_PER_ROUND:-180}
load=${LOAD:---cpu 2 --io 1}
bin=$build/bin

for f in "$bin/ostradivuvirar" "$bin/qvtool" "$bin/wuvorbis.dll" "$build/bench/MakeBenchPiece"; do
    [ -e "$f" ] || { echo "no $f: build ostradivuvirar, qvtool, wuvorbis and MakeBenchPiece first" >&2; exit 1; }
done

need() {
    command -v "$1" >/dev/null 2>&1 && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo -n"
    echo "installing $2 ..." >&2
    $sudo apt-get install -y -qq "$2" >/dev/null 2>&1 ||
        { $sudo apt-get update -qq >/dev/null 2>&1 && $sudo apt-get install -y -qq "$2" >/dev/null 2>&1; }
    command -v "$1" >/dev/null 2>&1
}
for tool in pulseaudio:pulseaudio parec:pulseaudio-utils pactl:pulseaudio-utils stress-ng:stress-ng \
    Xvfb:xvfb python3:python3; do
    need "${tool%%:*}" "${tool#*:}" || { echo "SKIPPED: ${tool%%:*} is missing and cannot be installed" >&2; exit 77; }
done
with_mpv=1
need mpv mpv || { with_mpv=0; echo "note: mpv is missing and cannot be installed; the player alone is measured" >&2; }

. "$root/tests/support/xsession.sh"
xsession_init
xsession_sandbox "$bin"
cp "$bin/qvtool" "$app/"

xsession_private_pulse
cat >"$work/bench.pa" <<'PA'
load-module module-null-sink sink_name=ours format=s16le rate=44100 channels=2
load-module module-null-sink sink_name=mpv format=s16le rate=44100 channels=2
load-module module-native-protocol-unix
set-default-sink ours
PA
server_rt=""
if [ "${SERVER_RT:-0}" = 1 ]; then
    if chrt -r 5 true 2>/dev/null; then server_rt="chrt -r 5"; else echo "note: no real-time scheduling here; SERVER_RT ignored" >&2; fi
fi
$server_rt pulseaudio -n -F "$work/bench.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --disallow-exit --system=false --log-target=file:"$work/pulse.log" &
xsession_pids+=($!)
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { cat "$work/pulse.log" >&2; echo "SKIPPED: the PulseAudio daemon did not start" >&2; exit 77; }
xsession_start_x

# The piece: longer than a round, so neither player reaches its end.
"$build/bench/MakeBenchPiece" "$work/piece.ogg" "$((seconds + 15))" 0.5 >/dev/null || exit 1
"$bin/qvtool" render "$work/piece.ogg" "$work/rendered.wav" --seconds "$((seconds - 5))" >/dev/null || exit 1

# gaps RECORDING: "COUNT LONGEST_MS SECONDS" for runs of silence >= 5 ms between the first and the last
# sound; the silence before the player starts and after it is ended does not count.
gaps() {
    python3 - "$1" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
data = data[:len(data) // 4 * 4]
first = (len(data) - len(data.lstrip(b"\0"))) // 4 * 4
body = data[first:len(data.rstrip(b"\0"))]
runs = [((first + m.start()) / 4 / 44100, m.end() // 4 - (m.start() + 3) // 4) for m in re.finditer(rb"\0{880,}", body)]
runs = [(at, n) for at, n in runs if n >= 221]  # 5 ms at 44100 Hz
print(len(runs), f"{max((n for _, n in runs), default=0) / 44.1:.0f}", f"{len(body) / 4 / 44100:.0f}")
# Where each gap lies from the start of the recording (both recordings start together), to
# tell the sound server's own stalls, heard in both players at once, from a player's.
print(" ".join(f"{at:.1f}s/{n / 44.1:.0f}ms" for at, n in runs), file=sys.stderr)
PY
}

# own OURS.at MPV.at: "OURS MPV", the gaps of each that the other has no gap within 0.3 s of.
# A gap in both at once is the sound server's own stall, which no client can bridge with less
# buffered than the stall is long.
own() {
    python3 - "$1" "$2" <<'PY'
import sys
def times(path):
    try:
        return [float(g.split("s/")[0]) for g in open(path).read().split()]
    except OSError:
        return []
a, b = times(sys.argv[1]), times(sys.argv[2])
alone = lambda xs, ys: sum(1 for x in xs if all(abs(x - y) > 0.3 for y in ys))
print(alone(a, b), alone(b, a) if b or a else 0)
PY
}

# held: the most milliseconds of sound the server held for the player, sampled every half second
# (through SDL, what a pause still let be heard; the player's own stream drops it at a pause).
watch_held() {
    local held=0 now
    while kill -0 "$1" 2>/dev/null; do
        now=$(pactl list sink-inputs 2>/dev/null | awk '/Sink: 0$/ {ours = 1} /^Sink Input/ {ours = 0}
            ours && /Buffer Latency|Sink Latency/ {s += $3} END {print int(s / 1000)}')
        [ "${now:-0}" -gt "$held" ] && held=$now
        echo "$held" >"$work/held"
        sleep 0.5
    done
}

printf '%-6s %7s %5s %5s %8s %7s %6s %7s %5s %5s %8s\n' round ours_s gaps own longest vs_ren held mpv_s gaps own longest
total_ours=0
total_mpv=0
own_total_ours=0
own_total_mpv=0
for round in $(seq "$rounds"); do
    rm -f "$work"/*.raw "$work"/*.at "$work/held"
    parec --device=ours.monitor --format=s16le --rate=44100 --channels=2 --raw --latency-msec=20 >"$work/ours.raw" &
    rec_ours=$!
    rec_mpv=""
    if [ "$with_mpv" = 1 ]; then
        parec --device=mpv.monitor --format=s16le --rate=44100 --channels=2 --raw --latency-msec=20 >"$work/mpv.raw" &
        rec_mpv=$!
    fi
    # shellcheck disable=SC2086
    stress-ng $load --timeout "$((seconds + 10))s" --quiet &
    stress=$!
    xsession_pids+=($rec_ours $rec_mpv $stress)
    sleep 2
    # shellcheck disable=SC2086
    env PULSE_SINK=ours SDL_AUDIODRIVER=pulseaudio ${PLAYER_ENV:-} "$app/ostradivuvirar" "$work/piece.ogg" \
        >"$work/player.log" 2>&1 &
    player_pid=$!
    mpv_pid=""
    if [ "$with_mpv" = 1 ]; then
        mpv --no-config --no-video --really-quiet --ao=pulse --audio-device=pulse/mpv "$work/piece.ogg" \
            >"$work/mpv.log" 2>&1 &
        mpv_pid=$!
        xsession_pids+=($mpv_pid)
    fi
    watch_held "$player_pid" &
    watcher=$!
    sleep "$seconds"
    kill -0 "$player_pid" 2>/dev/null || xsession_fail "the player ended while playing"
    kill "$player_pid" $mpv_pid 2>/dev/null
    wait "$player_pid" $mpv_pid 2>/dev/null
    player_pid=""
    wait "$watcher" 2>/dev/null
    sleep 0.5
    kill "$rec_ours" $rec_mpv "$stress" 2>/dev/null
    wait "$rec_ours" $rec_mpv "$stress" 2>/dev/null

    read -r ours longest_ours heard_ours <<<"$(gaps "$work/ours.raw" 2>"$work/ours.at")"
    lost=$(python3 "$root/tests/sound/pulse_compare.py" "$work/ours.raw" "$work/rendered.wav" 2>&1 |
        awk '/ gaps$/ {print $(NF - 1)} /lost at|not in|ends at/ {print "broken"}' | head -n1)
    mpv="-"
    longest_mpv="-"
    heard_mpv="-"
    [ "$with_mpv" = 1 ] && read -r mpv longest_mpv heard_mpv <<<"$(gaps "$work/mpv.raw" 2>"$work/mpv.at")"
    read -r own_ours own_mpv <<<"$(own "$work/ours.at" "$work/mpv.at")"
    printf '%-6s %7s %5s %5s %8s %7s %6s %7s %5s %5s %8s\n' "$round" "$heard_ours" "$ours" "$own_ours" "$longest_ours" \
        "${lost:-?}" "$(cat "$work/held" 2>/dev/null || echo ?)" "$heard_mpv" "$mpv" "$own_mpv" "$longest_mpv"
    total_ours=$((total_ours + ours))
    own_total_ours=$((own_total_ours + own_ours))
    if [ "$with_mpv" = 1 ]; then
        total_mpv=$((total_mpv + mpv))
        own_total_mpv=$((own_total_mpv + own_mpv))
    fi
    [ -s "$work/ours.at" ] && echo "        ours: $(cat "$work/ours.at")"
    [ -s "$work/mpv.at" ] && echo "        mpv:  $(cat "$work/mpv.at")"
done
if [ "$with_mpv" = 1 ]; then
    echo "total gaps >= 5 ms in $rounds x $seconds s under stress-ng $load: ours $total_ours, mpv $total_mpv"
    echo "of them not heard in the other player at the same time: ours $own_total_ours, mpv $own_total_mpv"
else
    echo "total gaps >= 5 ms in $rounds x $seconds s under stress-ng $load: ours $total_ours (mpv not run)"
fi
