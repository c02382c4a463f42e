"""Reading what the end-to-end tests compare: the raw capture of SDL's disk driver and the WAV
files qvtool render writes, both signed 16-bit little-endian stereo at 44100 Hz."""
import array
import sys


def frames_of(data):
    samples = array.array("h")
    samples.frombytes(data[: len(data) // 4 * 4])
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def read_wav(path):
    data = open(path, "rb").read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", path
    pos = 12
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], int.from_bytes(data[pos + 4:pos + 8], "little")
        if tag == b"data":
            return frames_of(data[pos + 8:pos + 8 + size])
        pos += 8 + size
    raise SystemExit(f"{path}: no data chunk")


def first_sound(samples, start_frame):
    for i in range(start_frame * 2, len(samples)):
        if samples[i] != 0:
            return i // 2
    return None
