"""Finds the rendered pieces in the sound the program played.

Arguments: capture.raw first.wav second.wav
The capture is what SDL's disk driver wrote: signed 16-bit little-endian stereo at 44100 Hz,
starting with the silence the device played before the first piece began. Each piece is looked
for from its first non-silent frame (after the end of the piece before it) and compared with its
rendering in blocks of 1024 frames; every block must be equal, sample for sample.
"""
import sys

from capture_io import first_sound, frames_of, read_wav

BLOCK = 1024


def last_sound(samples):
    for i in range(len(samples) - 1, -1, -1):
        if samples[i] != 0:
            return i // 2
    return None


capture = frames_of(open(sys.argv[1], "rb").read())
at = 0
for number, path in enumerate(sys.argv[2:], 1):
    ref = read_wav(path)
    ref_first, ref_last = first_sound(ref, 0), last_sound(ref)
    assert ref_first is not None, f"{path} is silent"
    found = first_sound(capture, at)
    assert found is not None, f"piece {number} ({path}) is not in the capture ({len(capture) // 2} frames)"
    offset = found - ref_first
    frames = ref_last + 1
    assert offset >= 0 and (offset + frames) * 2 <= len(capture), \
        f"piece {number} starts at frame {found} and does not fit in the capture"
    bad = []
    for b in range(0, frames, BLOCK):
        n = min(BLOCK, frames - b) * 2
        if capture[(offset + b) * 2:(offset + b) * 2 + n] != ref[b * 2:b * 2 + n]:
            bad.append(b // BLOCK)
    blocks = (frames + BLOCK - 1) // BLOCK
    print(f"piece {number}: starts at {offset / 44100:.3f} s of the capture, {frames} frames, "
          f"{blocks - len(bad)} of {blocks} blocks equal")
    assert not bad, f"piece {number}: blocks {bad[:10]} differ from the rendering"
    at = offset + frames
