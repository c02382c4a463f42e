"""Compares a screenshot of the main window with its face bitmap.

Arguments: face.ppm before.ppm after.ppm (binary PPM; before and after cropped to the window).
Key-coloured face pixels (the colour of the top-left pixel) must show the screen as it was
before the window appeared; at least 80 % of the other pixels must show the face itself (the
rest is covered by the buttons and the text). With a fourth argument "edge", for a face enlarged by
a fractional factor, where the screenshot's and the window's rounding may differ by a pixel, a key
pixel next to a face pixel may show either, and the
other pixels need only hide the background, and no pixel along the cut may show the key colour or
be tinted towards it (a fringe). Prints a face point, not key-coloured and away from
the buttons, for the caller's right-click.
"""
import sys


def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    assert fields[0] == b"P6" and fields[3] == b"255", fields
    w, h = int(fields[1]), int(fields[2])
    px = data[pos:pos + w * h * 3]
    return w, h, [tuple(px[i:i + 3]) for i in range(0, len(px), 3)]


fw, fh, face = read_ppm(sys.argv[1])
bw, bh, before = read_ppm(sys.argv[2])
aw, ah, after = read_ppm(sys.argv[3])
assert (fw, fh) == (aw, ah) == (bw, bh), f"window {aw}x{ah}, face {fw}x{fh}"
key = face[0]
edge = sys.argv[4:] == ["edge"]


def beside_face(x, y):
    return any(face[yy * fw + xx] != key for yy in range(max(0, y - 1), min(fh, y + 2))
               for xx in range(max(0, x - 1), min(fw, x + 2)))


def beside_key(x, y, inside):
    """Whether a face pixel has a key pixel beside it (inside) or a key pixel a face pixel."""
    return any((face[yy * fw + xx] == key) == inside for yy in range(max(0, y - 1), min(fh, y + 2))
               for xx in range(max(0, x - 1), min(fw, x + 2)))


cut = same = shown = 0
for i, colour in enumerate(face):
    if colour == key:
        cut += 1
        if after[i] != before[i] and not (edge and beside_face(i % fw, i // fw)):
            x, y = i % fw, i // fw
            sys.exit(f"key pixel {x},{y} is drawn {after[i]} instead of cut away (background {before[i]})")
    else:
        shown += 1
        # An enlarged face is smoothed on screen: there a face pixel need only cover the background.
        same += after[i] == colour if not edge else after[i] != before[i] or colour == before[i]
assert cut > 0, "the face has no key-coloured pixels to cut away"


def tinted(p, f):
    """Whether p is face colour f blended with a good part of the key colour."""
    d = [key[i] - f[i] for i in range(3)]
    q = [p[i] - f[i] for i in range(3)]
    dd = sum(v * v for v in d)
    if dd == 0:
        return False
    t = sum(q[i] * d[i] for i in range(3)) / dd
    off = sum((q[i] - t * d[i]) ** 2 for i in range(3)) ** 0.5
    return t >= 0.15 and off < 20


# The fringe: pixels along the cut that the window draws in the key colour, or tinted towards it
# (an enlargement that blends the key into the face's edge). At a fractional factor a pixel may
# show any face pixel around it.
fringe = 0
if edge:
    for i, colour in enumerate(face):
        x, y = i % fw, i // fw
        if after[i] == before[i] or not beside_key(x, y, colour != key):
            continue
        around = {face[yy * fw + xx] for yy in range(max(0, y - 1), min(fh, y + 2))
                  for xx in range(max(0, x - 1), min(fw, x + 2))} - {key}
        if after[i] == key or any(tinted(after[i], f) for f in around):
            fringe += 1
    if fringe:
        sys.exit(f"{fringe} pixels along the cut show the key colour")
# An empty player's hint fills the title panel: the text covers up to a sixth of the face.
assert same >= 0.8 * shown, f"only {same} of {shown} face pixels show the face"
print(f"cut {cut} key pixels; {same} of {shown} face pixels as drawn; {fringe} of key colour along the cut",
      file=sys.stderr)
# A point for the right-click: the first face pixel in the middle row, a little way in.
y = fh // 3
for x in range(fw // 4, fw):
    if face[y * fw + x] != key and after[y * fw + x] == face[y * fw + x]:
        print(x, y)
        break
else:
    sys.exit("no face pixel for the right-click")
