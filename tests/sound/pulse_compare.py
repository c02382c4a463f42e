"""Checks a recording of the sound server's output against the rendering of the same file.

Arguments: recording.raw rendered.wav
The recording is parec's raw signed 16-bit little-endian stereo at 44100 Hz. The rendered piece
is looked for from its first frames; from there every frame of it must follow in order. Silence
the server played because the client was late is reported as a gap, with the frames lost or
repeated around it; any gap fails.
"""
import sys
import wave

FRAME = 4
PROBE = 1024 * FRAME


def wav_data(path):
    with wave.open(path, "rb") as w:
        assert (w.getnchannels(), w.getsampwidth(), w.getframerate()) == (2, 2, 44100), path
        return w.readframes(w.getnframes())


def first_difference(a, a_at, b, b_at):
    """Byte offset into b from b_at where a and b first differ, or the common length."""
    n = min(len(a) - a_at, len(b) - b_at)
    step = 1 << 16
    done = 0
    while done < n:
        m = min(step, n - done)
        if a[a_at + done:a_at + done + m] != b[b_at + done:b_at + done + m]:
            if m <= FRAME:
                return done
            step = max(FRAME, m // 16)
            continue
        done += m
    return n


def find_aligned(hay, needle, start):
    at = hay.find(needle, start)
    while at >= 0 and at % FRAME:
        at = hay.find(needle, at + 1)
    return at


def stopped(rec, ref, k, r):
    """True when the piece went on in step to k and the recording holds nothing but silence after
    r: the player was stopped there (it plays for so many seconds from its start, and a start
    slowed down by a busy machine leaves less of the piece heard). The piece has no zero frame, so
    a gap is sound again after the silence. Less than half the piece heard is a failure all the
    same."""
    if rec[r:].count(0) != len(rec) - r:
        return False
    if k < len(ref) // 2:
        raise SystemExit(f"the piece was heard only to {k // FRAME / 44100:.3f} s, then no more")
    print(f"the piece was heard to {k // FRAME / 44100:.3f} s, then no more (the player stopped)")
    return True


def late_recording(rec, ref):
    """Where the comparison starts when the piece's first frames are not in the recording: the
    server's monitor sometimes begins to deliver only once the player's stream runs, so a
    recording can begin inside the piece. That is taken when the recording's very first frame is
    a frame of the piece and the piece goes on from there; anything else before the piece (silence,
    other sound) means the player lost or spoiled its first frames, which fails."""
    for k in range(PROBE, min(len(ref), 10 * 44100 * FRAME), PROBE):
        at = find_aligned(rec, ref[k:k + PROBE], 0)
        if at < 0:
            continue
        if at <= k and rec[:at] == ref[k - at:k]:
            print(f"the recording begins {(k - at) // FRAME} frames into the piece; checked from there")
            return 0, k - at
        sounding = sum(1 for i in range(0, at, FRAME) if rec[i:i + FRAME] != b"\0" * FRAME)
        where = f"{at // FRAME} frames come before it, {sounding} of them not silent"
        raise SystemExit(f"the piece's first {k // FRAME} frames are not in the recording; it is found "
                         f"from there at {at // FRAME / 44100:.3f} s, and {where}")
    raise SystemExit("the rendered piece is not in the recording")


def main():
    rec = open(sys.argv[1], "rb").read()
    rec = rec[:len(rec) // FRAME * FRAME]
    ref = wav_data(sys.argv[2])
    ref = ref[:len(ref) // FRAME * FRAME]
    # The rendering ends with the silence after the piece; the recording may stop inside it.
    while ref.endswith(b"\0" * FRAME):
        ref = ref[:-FRAME]
    start, k = find_aligned(rec, ref[:PROBE], 0), 0
    if start < 0:
        start, k = late_recording(rec, ref)

    gaps = []
    r = start
    while k < len(ref):
        same = first_difference(rec, r, ref, k)
        r += same
        k += same
        if k >= len(ref) or stopped(rec, ref, k, r):
            break
        if r >= len(rec):
            raise SystemExit(f"the recording ends at {k // FRAME / 44100:.3f} s of the piece")
        # Out of step: find where the piece goes on.
        probe = ref[k:k + PROBE]
        again = find_aligned(rec, probe, r)
        if again < 0:
            # Lost frames: look for what comes next in the piece.
            found = None
            for skip in range(FRAME, 44100 * FRAME, FRAME * 64):
                at = find_aligned(rec, ref[k + skip:k + skip + PROBE], r)
                if at >= 0:
                    found = (at, skip)
                    break
            if found is None:
                raise SystemExit(f"the piece is lost at {k // FRAME / 44100:.3f} s")
            again, lost = found
            lost_exact = lost
            # Refine: the loss is the shortest skip that lines up again.
            while lost_exact > 0 and rec[again - FRAME:again] == ref[k + lost_exact - FRAME:k + lost_exact]:
                again -= FRAME
                lost_exact -= FRAME
            gaps.append((k // FRAME, (again - r) // FRAME, lost_exact // FRAME))
            k += lost_exact
        else:
            gaps.append((k // FRAME, (again - r) // FRAME, 0))
        r = again

    seconds = min(k, len(ref)) / FRAME / 44100
    print(f"recording: {len(rec) // FRAME / 44100:.2f} s, piece found at {start // FRAME / 44100:.3f} s, "
          f"{seconds:.2f} s of it checked, {len(gaps)} gaps")
    for at, inserted, lost in gaps:
        print(f"  gap at {at / 44100:.3f} s: {inserted / 44.1:.1f} ms inserted, {lost} frames lost")
    sys.exit(1 if gaps else 0)


if __name__ == "__main__":
    main()
