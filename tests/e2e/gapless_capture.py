"""Finds pieces played in a row in the sound the program played, and the silence between them.

Arguments: capture.raw first.wav MAX_GAP:second.wav MAX_GAP:third.wav ...
Each piece after the first carries the most frames of silence allowed between the last sound of
the piece before it and its own first sound (0 for pieces at the device's rate). Every piece is
compared with its rendering, sample for sample, as compare_capture.py does; the whole run from
the first piece's first sound to the last one's last sound may hold no silent frame longer than
the largest gap allowed.
"""
import sys

from capture_io import first_sound, frames_of, read_wav


def last_sound(samples):
    for i in range(len(samples) - 1, -1, -1):
        if samples[i] != 0:
            return i // 2
    return None


def longest_silence(samples, start, end):
    longest = run = 0
    for f in range(start, end):
        run = run + 1 if samples[2 * f] == 0 and samples[2 * f + 1] == 0 else 0
        longest = max(longest, run)
    return longest


capture = frames_of(open(sys.argv[1], "rb").read())
pieces = [(0, sys.argv[2])] + [(int(a.split(":", 1)[0]), a.split(":", 1)[1]) for a in sys.argv[3:]]
at = 0
start = None
for number, (max_gap, path) in enumerate(pieces, 1):
    ref = read_wav(path)
    ref_first, ref_last = first_sound(ref, 0), last_sound(ref)
    found = first_sound(capture, at)
    assert found is not None, f"piece {number} ({path}) is not in the capture"
    offset = found - ref_first
    frames = ref_last + 1
    assert (offset + frames) * 2 <= len(capture), f"piece {number} does not fit in the capture"
    if start is None:
        start = offset
    else:
        gap = offset - at
        print(f"piece {number}: {gap} frames ({gap / 44.1:.2f} ms) of silence after the piece before")
        assert 0 <= gap <= max_gap, f"piece {number}: {gap} frames of silence, at most {max_gap} allowed"
    n = frames * 2
    same = capture[offset * 2:offset * 2 + n] == ref[:n]
    print(f"piece {number}: starts at {offset / 44100:.3f} s, {frames} frames, "
          f"{'equal to' if same else 'DIFFERENT from'} its rendering")
    assert same, f"piece {number} ({path}) differs from its rendering"
    at = offset + frames
inner = longest_silence(capture, start, at)
print(f"longest silence from the first sound to the last: {inner} frames")
assert inner <= max(g for g, _ in pieces), "a silence inside the run of pieces"
