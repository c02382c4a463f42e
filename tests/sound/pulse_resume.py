"""Checks recordings of a piece played across device losses against its rendering.

Arguments: rendered.wav part1.raw part2.raw ...
Each part is parec's raw signed 16-bit little-endian stereo at 44100 Hz, recorded from a return
of the device (the first from before the piece began) until the next loss. In each part the
sound must be a stretch of the rendering without a gap; every part after the first must start
sounding within 2 s of its recording and go on from where the part before stopped: not after it
(that would skip), and not more than half a second before it (that would be heard again).
"""
import sys
import wave

FRAME = 4
RATE = 44100
PROBE = 1024 * FRAME
MAX_SILENCE = 2.0
MAX_REPEAT = 0.5


def frames(n):
    return n // FRAME / RATE


def wav_data(path):
    with wave.open(path, "rb") as w:
        assert (w.getnchannels(), w.getsampwidth(), w.getframerate()) == (2, 2, RATE), path
        return w.readframes(w.getnframes())


def find_aligned(hay, needle, start=0):
    at = hay.find(needle, start)
    while at >= 0 and at % FRAME:
        at = hay.find(needle, at + 1)
    return at


def common_length(a, a_at, b, b_at):
    n = min(len(a) - a_at, len(b) - b_at)
    lo, step = 0, 1 << 16
    while lo < n:
        m = min(step, n - lo)
        if a[a_at + lo:a_at + lo + m] == b[b_at + lo:b_at + lo + m]:
            lo += m
        elif m <= FRAME:
            break
        else:
            step = max(FRAME, m // 16)
    return lo // FRAME * FRAME


ref = wav_data(sys.argv[1])
failures = []
heard_to = None  # where in the piece the part before stopped
for number, path in enumerate(sys.argv[2:], 1):
    rec = open(path, "rb").read()
    rec = rec[:len(rec) // FRAME * FRAME]
    first = next((i for i in range(0, len(rec), FRAME) if rec[i:i + FRAME] != b"\0" * FRAME), None)
    if first is None:
        failures.append(f"part {number}: no sound at all")
        break
    start = find_aligned(ref, rec[first:first + PROBE])
    if start < 0:
        failures.append(f"part {number}: its sound at {frames(first):.3f} s is not in the piece")
        break
    same = common_length(rec, first, ref, start)
    end = start + same
    rest = rec[first + same:].rstrip(b"\0")
    line = (f"part {number}: sound after {frames(first):.3f} s of recording, the piece from "
            f"{frames(start):.3f} s to {frames(end):.3f} s")
    if heard_to is not None:
        line += f", {frames(heard_to - start) * 1000:.0f} ms heard again"
    print(line)
    if len(rest) >= FRAME:
        failures.append(f"part {number}: the sound leaves the piece at {frames(first + same):.3f} s of recording")
    if heard_to is not None:
        if frames(first) > MAX_SILENCE:
            failures.append(f"part {number}: the sound came back after {frames(first):.3f} s")
        if start > heard_to:
            failures.append(f"part {number}: {frames(start - heard_to) * 1000:.0f} ms of the piece skipped")
        elif frames(heard_to - start) > MAX_REPEAT:
            failures.append(f"part {number}: went back {frames(heard_to - start):.3f} s")
    heard_to = end

for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
