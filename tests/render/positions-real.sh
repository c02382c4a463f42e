#!/usr/bin/env bash
# Real files against oggdec: the sound effects of Debian's "gnujump-data" package (fetched with
# apt-get download, unpacked with dpkg-deb; nothing is installed), rendered by qvtool, must be
# what oggdec writes, sample for sample. Among them is a stream whose only audio page carries a
# position below the frames it holds (the decoder trims the end there). One of them is then
# given a loop in tags (qvtool make and export), and its page positions are moved so that they
# start late (+1000, +63 frames) or trim the beginning (-700): each render must be oggdec's decode
# of that very file spliced at the tagged frames, which count from the first frame oggdec gives.
# Skipped (77) when the package cannot be downloaded.
#   positions-real.sh BIN_DIR
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "$0")" && pwd)"
qv="$bin/qvtool"
py() { python3 "$here/ogg_positions.py" "$@"; }
for tool in oggdec apt-get dpkg-deb python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT

package=gnujump-data
fetch() { (cd "$work" && apt-get download "$package") >>"$work/apt.log" 2>&1; }
if ! fetch; then
    # A fresh machine may not have read the package lists yet.
    if [ "$(id -u)" = 0 ]; then apt-get update -qq >>"$work/apt.log" 2>&1 || true; fi
    if ! fetch; then
        cat "$work/apt.log"
        echo "SKIP: cannot download the Debian package $package (network, or the package lists)"
        exit 77
    fi
fi
dpkg-deb -x "$work"/${package}_*.deb "$work/pkg"
sounds="$work/pkg/usr/share/games/gnujump/sound"
[ -s "$sounds/die.ogg" ] || { echo "FAIL: $package has no sound/die.ogg"; exit 1; }

# same FILE [START END]: qvtool's render of FILE against oggdec's decode of it.
same() {
    local name
    name="$(basename "$1" .ogg)"
    oggdec -Q -R -o "$work/$name.raw" "$1"
    "$qv" render "$1" "$work/$name.wav" --seconds "${SECONDS_TO_RENDER:-3}" --force >/dev/null
    py compare "$work/$name.wav" "$work/$name.raw" "$(py channels "$1")" "${@:2}"
}

for f in "$sounds"/*.ogg; do
    [ "$(basename "$f")" = silence.ogg ] && continue  # 30 s of nothing
    same "$f"
done

start=20000
end=80000
"$qv" make "$sounds/die.ogg" "$work/die.qv" --loop "${start}f:${end}f:-1" >/dev/null
"$qv" export "$work/die.qv" "$work/tagged.ogg" >/dev/null
for by in 0 1000 63 -700; do
    py shift "$work/tagged.ogg" "$work/moved$by.ogg" "$by"
    info="$("$qv" info "$work/moved$by.ogg")"
    grep -qx "loop 0 frames: $start $end" <<<"$info" || { echo "FAIL: info of a stream moved by $by:"; echo "$info"; exit 1; }
    SECONDS_TO_RENDER=6 same "$work/moved$by.ogg" "$start" "$end"
done
echo "positions-real: every render equals oggdec's decode"
