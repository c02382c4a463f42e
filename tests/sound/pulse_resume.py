"""Checks recordings of a piece played across device losses against its rendering.

Arguments: rendered.wav part1.raw part2.raw ...
Each part is parec's raw signed 16-bit little-endian stereo at 44100 Hz, recorded from a return
of the device (the first from before the piece began) until the next loss. In each part the
sound must be a stretch of the rendering, nothing left out (silence the server played while the
client was late is shown, as pulse_compare.py fails on it); every part after the first must start
sounding within 2 s of its recording and go on from where the part before stopped: not after it
(that would skip), and not more than half a second before it (that would be heard again).
"""
import sys

from pulse_compare import FRAME, PROBE, find_aligned, first_difference, wav_data

RATE = 44100
MAX_SILENCE = 2.0
MAX_REPEAT = 0.5


def frames(n):
    return n // FRAME / RATE


def follow(rec, r, ref, k):
    """Follows the piece from rec[r] = ref[k] to the end of the recording's sound, across silence
    the server played while the client was late. Returns where in the piece the sound ended, the
    gaps as (place in the piece, milliseconds inserted), and what went wrong, or None."""
    gaps = []
    while True:
        same = first_difference(rec, r, ref, k)
        r += same
        k += same
        if not rec[r:].strip(b"\0"):
            return k, gaps, None
        if k >= len(ref):
            return k, gaps, f"the sound goes on past the rendering at {frames(r):.3f} s of recording"
        again = find_aligned(rec, ref[k:k + PROBE], r)
        if again < 0:
            # What follows is the piece from elsewhere, or no piece at all.
            at = r + (len(rec[r:]) - len(rec[r:].lstrip(b"\0"))) // FRAME * FRAME
            went = find_aligned(ref, rec[at:at + PROBE], 0)
            where = f"{frames(went):.3f} s" if went >= 0 else "nowhere in it"
            return k, gaps, f"the piece breaks off at {frames(k):.3f} s and goes on at {where}"
        gaps.append((k, frames(again - r) * 1000))
        r = again


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
    start = find_aligned(ref, rec[first:first + PROBE], 0)
    if start < 0:
        failures.append(f"part {number}: its sound at {frames(first):.3f} s is not in the piece")
        break
    end, gaps, broken = follow(rec, first, ref, start)
    line = (f"part {number}: sound after {frames(first):.3f} s of recording, the piece from "
            f"{frames(start):.3f} s to {frames(end):.3f} s")
    if heard_to is not None:
        line += f", {frames(heard_to - start) * 1000:.0f} ms heard again"
    print(line)
    # A busy machine may leave the server without sound for a moment: heard as a gap, but
    # nothing of the piece is lost, and the device was not lost. Shown, not failed.
    for at, ms in gaps:
        print(f"  the server waited for the player {ms:.1f} ms at {frames(at):.3f} s of the piece")
    if broken:
        failures.append(f"part {number}: {broken}")
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
