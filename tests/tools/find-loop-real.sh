#!/usr/bin/env bash
# find-loop and check on real music: the two Ogg Vorbis tracks of Debian's "pathological" package
# (fetched with apt-get download, unpacked with dpkg-deb; nothing is installed). From them, pieces
# with a loop known to the frame (an intro, a stretch of the music played 2 or 3 times, what
# follows it), at 44100, 48000 and 22050 Hz, stereo and mono, encoder quality 0.3 to 0.6; pieces
# that never repeat (one track's excerpt with the other playing under it, passages of it with
# -80 dB pauses between them); and the tracks as they are. Prints a table and fails when
#   - find-loop misses the period of a piece (the best proposal not exactly the period),
#   - find-loop offers a loop whose music does not repeat, judged apart from qvtool
#     (RealLoopMaterial verify: more than -10 dB of difference over a second of sound),
#   - check calls an exact loop audible, misses an end 2 frames, 5 ms or 50 ms off, or passes
#     a loop of no length.
# A failed download fails the test: it never passes without having measured.
#   find-loop-real.sh BIN_DIR REAL_LOOP_MATERIAL [HALF]
# HALF "known" runs only the pieces with a loop known to the frame, "unknown" only the music
# with no loop known; the two take about as long, and CTest runs them side by side.
set -euo pipefail
bin="$1"
material="$2"
half="${3:-all}"
case "$half" in all|known|unknown) ;; *) echo "find-loop-real: HALF is known or unknown" >&2; exit 2 ;; esac
qv="$bin/qvtool"
work="$(mktemp -d)"
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
fail=0
problem() { echo "FAIL: $*"; fail=1; }

package=pathological
fetch() { (cd "$work" && apt-get download "$package") >>"$work/apt.log" 2>&1; }
if ! fetch; then
    # A fresh machine may not have read the package lists yet.
    if [ "$(id -u)" = 0 ]; then apt-get update -qq >>"$work/apt.log" 2>&1 || true; fi
    if ! fetch; then
        cat "$work/apt.log"
        echo "FAIL: cannot download the Debian package $package (network, or the package lists): nothing measured"
        exit 1
    fi
fi
dpkg-deb -x "$work"/${package}_*.deb "$work/pkg"
music="$work/pkg/usr/share/games/pathological/music"
for track in intro background; do
    [ -s "$music/$track.ogg" ] || { echo "FAIL: $package has no music/$track.ogg"; exit 1; }
done

# verdict FILE: "ok" when check passes the container, "caught" when it exits 1 calling it audible
# or broken, else what happened.
verdict() {
    local out code=0
    out="$("$qv" check "$1" 2>&1)" || code=$?
    case "$code:$out" in
        0:*seamless*) echo ok ;;
        1:*audible*|1:*broken*) echo caught ;;
        *) echo "exit$code" ;;
    esac
    echo "$out" >>"$work/check.log"
}

# false_calls FILE OUTPUT: the proposals of find-loop's output whose music does not repeat. A
# loop offered to the file's end because its end goes on into its start claims no repeat (there
# is no music after its end to compare): check's own tests judge those joins.
false_calls() {
    local n=0 start end db
    while read -r start end; do
        db="$("$material" verify "$1" "$start" "$end" | awk '{ print $1 }')"
        if [ "$db" = silent ] || awk -v d="$db" 'BEGIN { exit !(d > -10.0) }'; then
            n=$((n + 1))
            echo "  $1: offered $start .. $end, but the music after it differs by $db dB" >>"$work/false.log"
        fi
    done < <(awk '$1 ~ /^[0-9]+$/ && NF == 8 { if (row != "") print row; row = $3 " " $5; next }
                  /goes on into the start/ { row = "" }
                  END { if (row != "") print row }' <<<"$2")
    echo "$n"
}

if [ "$half" != unknown ]; then
printf '%-26s %6s %3s %4s %9s %9s %6s %6s %6s %6s %6s %6s %6s %6s\n' piece rate ch q period found offers false \
    exact "+-1" "+-2" "5ms" "50ms" "zero"
# name source from period intro passes rate channels quality
cases=(
    "intro-44k-q4      intro      20.3 5.37 2.1 3 44100 2 0.4"
    "background-44k-q3 background 130.7 4.91 1.5 2 44100 2 0.3"
    "intro-48k-q5      intro      70.2 6.13 2.0 2 48000 2 0.5"
    "background-22k-q6 background 200.4 5.55 1.0 3 22050 1 0.6"
    "background-44k-q3m background 250.9 4.37 2.0 2 44100 1 0.3"
    "intro-48k-q3      intro      95.5 5.02 1.2 3 48000 2 0.3"
)
for c in "${cases[@]}"; do
    read -r name source from period intro passes rate channels quality <<<"$c"
    piece="$work/$name.ogg"
    read -r start frames _ < <("$material" piece "$music/$source.ogg" "$piece" "$from" "$period" "$intro" \
        "$passes" "$rate" "$channels" "$quality")
    out="$("$qv" find-loop "$piece" --top 3 || true)"
    found="$(awk '$1 == "1" && NF == 8 { print $7 }' <<<"$out")"
    offers="$(awk '$1 ~ /^[0-9]+$/ && NF == 8' <<<"$out" | wc -l)"
    falses="$(false_calls "$piece" "$out")"
    [ "${found:-none}" = "$frames" ] || problem "$name: find-loop's best is ${found:-none} frames, the period $frames"
    [ "$falses" = 0 ] || problem "$name: $falses proposals whose music does not repeat"

    # check on loops a third into the first pass: exact, then the end moved.
    s=$((start + frames / 3))
    row=()
    ms5=$(((rate * 5 + 500) / 1000))
    ms50=$(((rate * 50 + 500) / 1000))
    for shift in 0 1 2 "$ms5" "$ms50"; do
        v=caught
        for sign in 1 -1; do
            [ "$shift" = 0 ] && [ "$sign" = -1 ] && continue
            "$material" container "$piece" "$rate" "$work/t.qv" "$s" $((s + frames + sign * shift))
            r="$(verdict "$work/t.qv")"
            if [ "$shift" = 0 ]; then v="$r"; [ "$r" = ok ] || problem "$name: check calls the exact loop $r"
            elif [ "$r" != caught ]; then v=passed; fi
        done
        row+=("$v")
        if [ "$shift" != 0 ] && [ "$shift" != 1 ] && [ "$v" != caught ]; then
            problem "$name: check misses an end $shift frames off"
        fi
    done
    "$material" container "$piece" "$rate" "$work/t.qv" "$s" "$s"
    zero="$(verdict "$work/t.qv")"
    [ "$zero" = caught ] || problem "$name: check calls a loop of no length $zero"
    printf '%-26s %6s %3s %4s %9s %9s %6s %6s %6s %6s %6s %6s %6s %6s\n' "$name" "$rate" "$channels" "$quality" \
        "$frames" "${found:-none}" "$offers" "$falses" "${row[@]}" "$zero"
done

fi

# Music that does not repeat: one track's excerpt with the other under it, passages with pauses
# between them, and the tracks as they are (which do repeat, as tracker music does: there only
# the proposals are judged).
if [ "$half" != known ]; then
echo
printf '%-26s %6s %3s %4s %9s %9s %6s %6s\n' "no loop known" rate ch q seconds best offers false
plain=(
    "mixed-44k-q4      intro 40.0 12.0 0.0 1 44100 2 0.4 background 100.0"
    "mixed-48k-q3      background 20.0 14.0 0.0 1 48000 2 0.3 intro 60.0"
    "mixed-22k-q5m     intro 85.0 12.0 0.0 1 22050 1 0.5 background 300.0"
)
for c in "${plain[@]}"; do
    read -r name source from period intro passes rate channels quality under at <<<"$c"
    piece="$work/$name.ogg"
    "$material" piece "$music/$source.ogg" "$piece" "$from" "$period" "$intro" "$passes" "$rate" "$channels" \
        "$quality" "$music/$under.ogg" "$at" >/dev/null
    out="$("$qv" find-loop "$piece" --top 3 || true)"
    offers="$(awk '$1 ~ /^[0-9]+$/ && NF == 8' <<<"$out" | wc -l)"
    falses="$(false_calls "$piece" "$out")"
    [ "$falses" = 0 ] || problem "$name: $falses proposals whose music does not repeat"
    printf '%-26s %6s %3s %4s %9s %9s %6s %6s\n' "$name" "$rate" "$channels" "$quality" \
        "$(awk '/Hz,/ { sub(" s;", "", $4); print $4 }' <<<"$out")" \
        "$(awk '$1 == "1" && NF == 8 { print $7 }' <<<"$out")" "$offers" "$falses"
done
# Music with pauses of some -80 dB of full scale between different passages.
pauses=(
    "pauses-44k-q3     intro      44100 2 0.3 5 20 40 60 80 100 120"
    "pauses-44k-q5     background 44100 2 0.5 12 45 90 150 222 290 330"
    "pauses-48k-q3     background 48000 2 0.3 12 45 90 150 222 290 330"
    "pauses-22k-q4m    background 22050 1 0.4 12 45 90 150 222 290 330"
)
for c in "${pauses[@]}"; do
    read -r name source rate channels quality froms <<<"$c"
    piece="$work/$name.ogg"
    # shellcheck disable=SC2086
    "$material" pauses "$music/$source.ogg" "$piece" "$rate" "$channels" "$quality" $froms
    out="$("$qv" find-loop "$piece" --top 3 || true)"
    offers="$(awk '$1 ~ /^[0-9]+$/ && NF == 8' <<<"$out" | wc -l)"
    falses="$(false_calls "$piece" "$out")"
    [ "$falses" = 0 ] || problem "$name: $falses proposals whose music does not repeat"
    printf '%-26s %6s %3s %4s %9s %9s %6s %6s\n' "$name" "$rate" "$channels" "$quality" \
        "$(awk '/Hz,/ { sub(" s;", "", $4); print $4 }' <<<"$out")" \
        "$(awk '$1 == "1" && NF == 8 { print $7 }' <<<"$out")" "$offers" "$falses"
done
for track in intro background; do
    out="$("$qv" find-loop "$music/$track.ogg" --top 3 || true)"
    offers="$(awk '$1 ~ /^[0-9]+$/ && NF == 8' <<<"$out" | wc -l)"
    falses="$(false_calls "$music/$track.ogg" "$out")"
    [ "$falses" = 0 ] || problem "$track.ogg: $falses proposals whose music does not repeat"
    printf '%-26s %6s %3s %4s %9s %9s %6s %6s\n' "$track.ogg (as it is)" 44100 2 - \
        "$(awk '/Hz,/ { sub(" s;", "", $4); print $4 }' <<<"$out")" \
        "$(awk '$1 == "1" && NF == 8 { print $7 }' <<<"$out")" "$offers" "$falses"
done

fi

[ -s "$work/false.log" ] && { echo; echo "proposals whose music does not repeat:"; cat "$work/false.log"; }
if [ "$fail" != 0 ]; then
    echo
    echo "check's output:"
    cat "$work/check.log"
    exit 1
fi
echo
echo "find-loop-real: every period found, no false seamless call, every end 2 frames or more off caught"
