"""Helpers of the end-to-end checks against oggdec.

  ogg_positions.py shift IN OUT BY
      Writes IN with every audio page's position moved by BY frames (checksums made right
      again): positions that start late (BY > 0) or a trimmed beginning (BY < 0).
  ogg_positions.py channels IN
      Prints the channel count of the first stream.
  ogg_positions.py compare GOT RAW CHANNELS [START END]
      GOT is what we played: a WAV file from qvtool render, or a raw capture of the sound
      device (signed 16-bit stereo, with silence before the sound) when it ends in .raw. RAW is
      oggdec's raw output of the same file. Without START and END the two must hold the same
      frames (a mono decode doubled to stereo) and nothing but silence after them; with them, GOT
      must be the decode up to END, then START .. END again and again, as far as GOT reaches.
      Prints the frames compared; exits 1 at the first frame that differs.
"""
import struct
import sys


def crc_table():
    table = []
    for i in range(256):
        r = i << 24
        for _ in range(8):
            r = ((r << 1) ^ 0x04C11DB7) if r & 0x80000000 else (r << 1)
        table.append(r & 0xFFFFFFFF)
    return table


CRC = crc_table()


def checksum(page):
    c = 0
    for b in page:
        c = ((c << 8) & 0xFFFFFFFF) ^ CRC[(c >> 24) ^ b]
    return c


def pages(data):
    at = 0
    while at + 27 <= len(data):
        if data[at:at + 4] != b"OggS":
            raise SystemExit(f"not a page at byte {at}")
        segments = data[at + 26]
        length = 27 + segments + sum(data[at + 27:at + 27 + segments])
        yield at, length
        at += length


def shift(src, dst, by):
    data = bytearray(open(src, "rb").read())
    for at, length in pages(data):
        granule = struct.unpack_from("<q", data, at + 6)[0]
        if granule > 0:
            struct.pack_into("<q", data, at + 6, granule + by)
            struct.pack_into("<I", data, at + 22, 0)
            struct.pack_into("<I", data, at + 22, checksum(data[at:at + length]))
    open(dst, "wb").write(data)


def channels(src):
    data = open(src, "rb").read()
    at = data.index(b"\x01vorbis")
    return data[at + 11]


def samples(raw):
    return struct.unpack(f"<{len(raw) // 2}h", raw[:len(raw) // 2 * 2])


def compare(got_path, raw_path, chans, loop):
    got_bytes = open(got_path, "rb").read()
    if got_path.endswith(".raw"):
        got = samples(got_bytes)
        first = next((i for i, s in enumerate(got) if s != 0), None)
        if first is None:
            raise SystemExit(f"{got_path}: nothing was heard")
        got = got[first // 2 * 2:]
    else:
        got = samples(got_bytes[44:])
    ref = samples(open(raw_path, "rb").read())
    if chans == 1:
        ref = tuple(s for s in ref for _ in (0, 1))
    frames = len(ref) // 2
    if got_path.endswith(".raw"):
        # The capture starts where the sound does: the decode from its first sound on.
        lead = next((i for i, s in enumerate(ref) if s != 0), 0) // 2
        ref = ref[lead * 2:]
        frames -= lead
    if loop:
        start, end = loop
        want = list(ref[:end * 2])
        while len(want) < len(got):
            want.extend(ref[start * 2:end * 2])
        want = want[:len(got)]
    else:
        if len(got) < len(ref):
            raise SystemExit(f"{got_path}: {len(got) // 2} frames, the decode has {frames}")
        want = list(ref) + [0] * (len(got) - len(ref))
    for i, (a, b) in enumerate(zip(got, want)):
        if a != b:
            raise SystemExit(f"{got_path}: frame {i // 2} differs: {a}, the decode {b}")
    print(f"{got_path}: {len(got) // 2} frames equal to the decode")


def main(argv):
    if argv[1] == "shift":
        shift(argv[2], argv[3], int(argv[4]))
    elif argv[1] == "channels":
        print(channels(argv[2]))
    elif argv[1] == "compare":
        loop = (int(argv[5]), int(argv[6])) if len(argv) > 6 else None
        compare(argv[2], argv[3], int(argv[4]), loop)
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
