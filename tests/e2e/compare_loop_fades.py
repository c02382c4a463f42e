"""Finds looped pieces, each ended by the loop count's fade, in the sound the program played.

Arguments: capture.raw JUMP_SECONDS piece.wav...
The capture is what SDL's disk driver wrote (signed 16-bit little-endian stereo at 44100 Hz).
Each piece is found by its first sound, after the piece before it; after the last one the first
one follows again. Each must equal its rendering sample for sample until after its first jump
back (JUMP_SECONDS into the piece, plus a quarter of a second), part from it within a few seconds
of that (the fade has begun), and then fade to silence over about eight seconds before the next.
"""
import sys

from capture_io import first_sound, frames_of, read_wav

RATE = 44100


def equal_frames(capture, at, ref):
    """Frames from `at` on that equal the reference, found a block at a time."""
    n = min(len(ref), len(capture) - at * 2) // 2
    k = 0
    while k < n:
        step = min(1024, n - k)
        if capture[(at + k) * 2:(at + k + step) * 2] == ref[k * 2:(k + step) * 2]:
            k += step
            continue
        while capture[(at + k) * 2:(at + k) * 2 + 2] == ref[k * 2:k * 2 + 2]:
            k += 1
        return k
    return n


def find_frames(capture_bytes, ref, frame, at):
    """Where the 256 frames of the reference from `frame` stand in the capture, from frame `at` on."""
    needle = ref[frame * 2:(frame + 256) * 2].tobytes()
    pos = capture_bytes.find(needle, at * 4)
    while pos >= 0 and pos % 4:
        pos = capture_bytes.find(needle, pos + 1)
    return None if pos < 0 else pos // 4 - frame


def last_sound(capture, before):
    for i in range(before * 2 - 1, -1, -1):
        if capture[i] != 0:
            return i // 2 + 1
    return 0


def rms(samples, frame, count):
    part = samples[frame * 2:(frame + count) * 2]
    return (sum(s * s for s in part) / max(len(part), 1)) ** 0.5


capture_bytes = open(sys.argv[1], "rb").read()
capture = frames_of(capture_bytes)
jump = int(float(sys.argv[2]) * RATE)
refs = [read_wav(path) for path in sys.argv[3:]]
# Where each piece starts; after the last, the list starts again with the first.
starts = []
for number, ref in enumerate(refs + refs[:1], 1):
    first = first_sound(ref, 0)
    start = find_frames(capture_bytes, ref, first, starts[-1] + jump if starts else 0)
    assert start is not None, f"piece {number} is not in the capture after the piece before it"
    starts.append(start)
for number, ref in enumerate(refs, 1):
    offset = starts[number - 1]
    equal = equal_frames(capture, offset, ref)
    assert equal >= jump + RATE // 4, \
        f"piece {number}: differs from its rendering at {equal / RATE:.3f} s, before its jump at {jump / RATE:.3f} s"
    assert equal <= jump + 5 * RATE, f"piece {number}: no fade began within 5 s of its jump ({equal / RATE:.3f} s)"
    end = last_sound(capture, starts[number])
    fade = (end - offset - equal) / RATE
    assert 5.5 <= fade <= 10.5, f"piece {number}: faded out over {fade:.2f} s, not about 8 s"
    early, late = rms(capture, offset + equal, RATE // 2), rms(capture, end - RATE // 2, RATE // 2)
    assert late < early / 4, f"piece {number}: the level did not fall ({early:.0f} then {late:.0f})"
    print(f"piece {number}: starts at {offset / RATE:.3f} s of the capture, equal to its rendering for "
          f"{equal / RATE:.3f} s (jump at {jump / RATE:.3f} s), then fades out over {fade:.2f} s")
