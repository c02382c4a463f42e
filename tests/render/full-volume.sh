#!/usr/bin/env bash
# Full volume is the decode: what qvtool play gives the sound device at full volume, as SDL's disk
# driver writes it, is oggdec's decode of the same file, sample for sample, from the first sound
# to the last, and silence after it. The file is loud noise encoded by oggenc, so that a scale
# or a rounding anywhere on the way would show in nearly every sample.
#   full-volume.sh BIN_DIR
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in oggenc oggdec python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (package vorbis-tools)"; exit 77; }
done
work="$(mktemp -d)"
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT

python3 - "$work/loud.wav" <<'PY'
import math, random, struct, sys, wave
random.seed(3)
frames = 3 * 44100
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(44100)
    data = bytearray()
    for i in range(frames):
        tone = 0.5 * math.sin(2 * math.pi * 330 * i / 44100)
        for c in range(2):
            data += struct.pack("<h", int(32767 * max(-1.0, min(1.0, tone + random.uniform(-0.45, 0.45)))))
    w.writeframes(bytes(data))
PY
oggenc -Q -q 6 -o "$work/loud.ogg" "$work/loud.wav"
oggdec -Q -R -o "$work/loud.raw" "$work/loud.ogg"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/heard.raw" "$bin/qvtool" play "$work/loud.ogg" --seconds 5
python3 "$here/ogg_positions.py" compare "$work/heard.raw" "$work/loud.raw" 2
