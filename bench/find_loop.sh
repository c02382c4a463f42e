#!/usr/bin/env bash
# The loop finder's cost: CPU seconds of `qvtool find-loop` on a three-minute stereo piece,
# against the piece's duration (goal: at most 2 %) and against decoding the same file in the same
# run, through the engine (`qvtool render`) and through the stock decoder (`oggdec`); and the
# cost of `qvtool check` on the container it writes, against the same decodes (goal: at most 1).
#
#   bench/find_loop.sh [BUILD_DIR]        (default: build; run from the repository root)
#   PIECE_SECONDS=180 bench/find_loop.sh  (the piece's length; default 180)
#
# Needs the qvtool and MakeLoopPiece targets built; oggdec comes from vorbis-tools.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${PIECE_SECONDS:-180}
qvtool=$build/bin/qvtool
maker=$build/bench/MakeLoopPiece
for tool in "$qvtool" "$maker"; do
    [ -x "$tool" ] || { echo "no $tool: build the qvtool and MakeLoopPiece targets first" >&2; exit 1; }
done
command -v oggdec >/dev/null || { echo "oggdec missing: install vorbis-tools (scripts/install-deps.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing: install time (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$maker" "$work/piece.ogg" "$seconds" >/dev/null
duration=$("$qvtool" info "$work/piece.ogg" | awk '/^total_time:/ { print $2 }')

# cpu NAME command...: the CPU seconds (user + system) the command took; "n/a" when it failed.
cpu() {
    local name=$1
    shift
    if /usr/bin/time -f "%U %S" -o "$work/$name.time" "$@" >"$work/$name.out" 2>"$work/$name.err"; then
        awk '{ printf "%.3f\n", $1 + $2 }' "$work/$name.time"
    else
        echo "n/a"
    fi
}

find_cpu=$(cpu find "$qvtool" find-loop "$work/piece.ogg" --write "$work/piece.qv")
[ "$find_cpu" != "n/a" ] || { echo "find-loop failed:" >&2; cat "$work/find.out" "$work/find.err" >&2; exit 1; }
check_cpu=$(cpu check "$qvtool" check "$work/piece.qv")
engine_cpu=$(cpu engine "$qvtool" render "$work/piece.ogg" "$work/piece.wav" --seconds $((${duration%.*} + 2)))
rm -f "$work/piece.wav"
oggdec_cpu=$(cpu oggdec oggdec -Q -o /dev/null "$work/piece.ogg")

cat "$work/find.out"
awk -v d="$duration" -v f="$find_cpu" -v c="$check_cpu" -v e="$engine_cpu" -v o="$oggdec_cpu" 'BEGIN {
    printf "piece: %.1f s, stereo, 44100 Hz\n", d
    printf "%-24s %10s\n", "", "cpu s"
    printf "%-24s %10s\n", "find-loop", f
    printf "%-24s %10s\n", "check", c
    printf "%-24s %10s\n", "decode (qvtool render)", e
    printf "%-24s %10s\n", "decode (oggdec)", o
    share = f / d
    printf "find-loop: %.2f %% of the piece'"'"'s duration (goal: at most 2 %%)\n", share * 100
    base = (e != "n/a") ? e : o
    printf "find-loop / decode: %.2f; check / decode: %.2f (goal: at most 1)\n", f / base, c / base
    printf "RESULT name=find_loop piece_s=%.1f find_cpu_s=%s share=%.4f decode_cpu_s=%s oggdec_cpu_s=%s find_to_decode=%.3f check_cpu_s=%s check_to_decode=%.3f pass=%s\n",
           d, f, share, e, o, f / base, c, c / base, (share <= 0.02 && c / base <= 1.0) ? "yes" : "no"
}'
