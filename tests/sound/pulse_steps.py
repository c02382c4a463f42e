"""Checks how soon a pause, a seek and a stop were heard, in a recording of qvtool play.

Arguments: rendered.wav recording.raw steps.txt
rendered.wav is the whole piece, recording.raw parec's raw signed 16-bit stereo at 44100 Hz, and
steps.txt what qvtool play printed: "paused at X s", "seek at X s to Y s", "stopped at X s", X the
player's clock when it was asked. The recording is followed through the piece; every place where
it leaves it must be one of the steps, in their order:
- a pause: the piece stops within 100 ms of X (of the piece's own time, so the recorder's delay
  does not count), and after the silence goes on from where it stopped (nothing skipped, at most
  half a second heard again);
- a seek: the old sound stops within 150 ms of X, and the new goes on from Y (up to 150 ms later,
  where the server still held the old), with no silence between but for at most one of the
  server's periods (25 ms): a server starved of the processor by the test's own load sometimes
  drops the first moments written after a flush (about one seek in ten here), which no client
  can write sooner;
- the stop at the end: silence from within 100 ms of X.
Sound the server played after a late client (a gap) fails, as in pulse_compare.py.
"""
import re
import sys

from pulse_compare import FRAME, PROBE, find_aligned, first_difference, wav_data

RATE = 44100
PAUSE_LATE = 0.100
SEEK_LATE = 0.150
SEEK_SILENCE = 0.025
SEEK_AFTER = 0.150
MAX_REPEAT = 0.5


def t(byte):
    return byte // FRAME / RATE


def runs(rec, ref):
    """The recording as (piece start, piece end, recording start, recording end) stretches, each
    a run of the piece in step, in the recording's order."""
    out = []
    r = 0
    while True:
        while r < len(rec) and rec[r:r + FRAME] == b"\0" * FRAME:
            r += FRAME
        if r >= len(rec):
            return out
        k = find_aligned(ref, rec[r:r + PROBE], 0)
        if k < 0:
            raise SystemExit(f"the sound at {t(r):.3f} s of the recording is not in the piece")
        same = first_difference(rec, r, ref, k)
        out.append((k, k + same, r, r + same))
        r += same


def main():
    ref = wav_data(sys.argv[1])
    rec = open(sys.argv[2], "rb").read()
    rec = rec[:len(rec) // FRAME * FRAME]
    steps = []
    for line in open(sys.argv[3]):
        if m := re.match(r"paused at ([\d.]+) s", line):
            steps.append(("pause", float(m[1]), None))
        elif m := re.match(r"seek at ([\d.]+) s to ([\d.]+) s", line):
            steps.append(("seek", float(m[1]), float(m[2])))
        elif m := re.match(r"stopped at ([\d.]+) s", line):
            steps.append(("stop", float(m[1]), None))
    stretches = runs(rec, ref)
    if not stretches:
        raise SystemExit("no sound in the recording")
    failures = []
    i = 0
    for kind, at, to in steps:
        if i >= len(stretches):
            failures.append(f"{kind} at {at:.3f} s: the recording has no sound left for it")
            break
        _, end, _, rec_end = stretches[i]
        late = t(end) - at
        following = stretches[i + 1] if i + 1 < len(stretches) else None
        line = f"{kind} at {at:.3f} s: the piece heard to {t(end):.3f} s, {late * 1000:+.0f} ms"
        if kind == "stop":
            if following is not None:
                failures.append(f"sound after the stop, at {t(following[2]):.3f} s of the recording")
            if late > PAUSE_LATE:
                failures.append(f"the stop was heard {late * 1000:.0f} ms late")
        elif following is None:
            failures.append(f"{kind} at {at:.3f} s: the piece did not go on after it")
        else:
            start, _, rec_start, _ = following
            silence = t(rec_start - rec_end)
            if kind == "pause":
                line += f"; on after {silence:.3f} s from {t(start):.3f} s"
                if late > PAUSE_LATE:
                    failures.append(f"the pause at {at:.3f} s was heard {late * 1000:.0f} ms late")
                if start > end:
                    failures.append(f"the resume skipped {t(start - end) * 1000:.0f} ms of the piece")
                elif t(end - start) > MAX_REPEAT:
                    failures.append(f"the resume went back {t(end - start):.3f} s")
            else:
                line += f"; on from {t(start):.3f} s ({(t(start) - to) * 1000:+.0f} ms), {silence * 1000:.0f} ms silent"
                if late > SEEK_LATE:
                    failures.append(f"the seek at {at:.3f} s was heard {late * 1000:.0f} ms late")
                if not -0.005 <= t(start) - to <= SEEK_AFTER:
                    failures.append(f"the seek to {to:.3f} s went on at {t(start):.3f} s of the piece")
                if silence > SEEK_SILENCE:
                    failures.append(f"the seek at {at:.3f} s left {silence * 1000:.0f} ms of silence")
        print(line)
        if late < -PAUSE_LATE:
            failures.append(f"{kind} at {at:.3f} s: the clock ran {-late * 1000:.0f} ms ahead of the sound")
        i += 1
    for extra in stretches[i + 1:]:
        failures.append(f"the piece left its course at {t(extra[2]):.3f} s of the recording, on from "
                        f"{t(extra[0]):.3f} s (a gap, or a step nobody asked for)")
    for failure in failures:
        print(failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
