#!/usr/bin/env python3
"""Draws the player's own skins: skin/default (dark) and skin/light.

Writes face.bmp, the seven 48x16 button strips (normal, disabled, pressed) and skin.ini into
each skin directory. Standard library only; run it from anywhere:

    python3 skin/make_skins.py

The face's top-left pixel is the key colour: every pixel of exactly that colour is cut out of the
window. Edge pixels are decided whole (inside or outside), never blended with the key, so the cut
has no fringe. Pure black is see-through in the main window, so nothing here is drawn in 0,0,0.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

KEY = (255, 0, 255)
W, H = 260, 110

# Layout shared by both skins (window pixels).
DISPLAY = (10, 16, 250, 62)          # LCD panel rectangle x0, y0, x1, y1
DISPLAY_X, DISPLAY_Y = 12, 17        # text origin handed to skin.ini
BUTTON_Y = 80
GROOVE = (12, 74, 172, 102)          # recessed tray behind the buttons
# Button order along the row, with a wider gap between the three groups.
BUTTON_X = {
    "BACK": 20, "REWIND": 40,
    "PLAY": 66, "PAUSE": 86, "STOP": 106,
    "FAST": 132, "NEXT": 152,
}
BUTTON_FILES = {
    "PLAY": "bPlay.bmp", "STOP": "bStop.bmp", "PAUSE": "bPause.bmp", "BACK": "bBack.bmp",
    "NEXT": "bNext.bmp", "REWIND": "bRewind.bmp", "FAST": "bFast.bmp",
}
INI_ORDER = ["PLAY", "STOP", "PAUSE", "BACK", "NEXT", "REWIND", "FAST"]


# ---------------------------------------------------------------- helpers

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    t = clamp(t)
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def to_rgb(c):
    r, g, b = (int(round(clamp(v, 0, 255))) for v in c)
    if (r, g, b) == (0, 0, 0):   # black would be see-through
        r, g, b = 8, 8, 12
    return (r, g, b)


def sd_rrect(x, y, rect, r):
    """Signed distance from point to a rounded rectangle (negative inside)."""
    x0, y0, x1, y1 = rect
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    ox, oy = max(qx, 0.0), max(qy, 0.0)
    return math.hypot(ox, oy) + min(max(qx, qy), 0.0) - r


def cover(sd):
    """Coverage of a pixel whose centre lies at signed distance sd (analytic anti-aliasing)."""
    return clamp(0.5 - sd)


def write_bmp(path, pixels, w, h):
    """24-bit uncompressed BMP, bottom-up rows padded to 4 bytes."""
    row_bytes = (w * 3 + 3) & ~3
    size = 54 + row_bytes * h
    out = bytearray()
    out += struct.pack("<2sIHHI", b"BM", size, 0, 0, 54)
    out += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, row_bytes * h, 2835, 2835, 0, 0)
    pad = b"\0" * (row_bytes - w * 3)
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b = pixels[y][x]
            out += bytes((b, g, r))
        out += pad
    with open(path, "wb") as f:
        f.write(out)


# 3x5 pixel font for the small printed markings on the face.
FONT = {
    "A": ["010", "101", "111", "101", "101"], "B": ["110", "101", "110", "101", "110"],
    "D": ["110", "101", "101", "101", "110"], "G": ["011", "100", "101", "101", "011"],
    "I": ["111", "010", "010", "010", "111"], "O": ["010", "101", "101", "101", "010"],
    "R": ["110", "101", "110", "101", "101"], "S": ["011", "100", "010", "001", "110"],
    "T": ["111", "010", "010", "010", "010"], "U": ["101", "101", "101", "101", "111"],
    "V": ["101", "101", "101", "010", "010"], "E": ["111", "100", "110", "100", "111"],
    "L": ["100", "100", "100", "100", "111"], "P": ["110", "101", "110", "100", "100"],
    "Q": ["010", "101", "101", "110", "011"], "C": ["011", "100", "100", "100", "011"],
    " ": ["000", "000", "000", "000", "000"], "-": ["000", "000", "111", "000", "000"],
    "/": ["001", "001", "010", "100", "100"], ".": ["000", "000", "000", "000", "010"],
}


def text_pixels(text, x, y):
    """Pixel positions of text in the 3x5 font, one blank column between letters."""
    pts = []
    for ch in text:
        rows = FONT[ch]
        for j, row in enumerate(rows):
            for i, bit in enumerate(row):
                if bit == "1":
                    pts.append((x + i, y + j))
        x += 4
    return pts


def text_width(text):
    return len(text) * 4 - 1


# ---------------------------------------------------------------- glyph shapes

def inside_poly(px, py, poly):
    inside = False
    n = len(poly)
    for i in range(n):
        x0, y0 = poly[i]
        x1, y1 = poly[(i + 1) % n]
        if (y0 > py) != (y1 > py):
            xc = x0 + (py - y0) * (x1 - x0) / (y1 - y0)
            if px < xc:
                inside = not inside
    return inside


def rect_poly(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


# Shapes in a 16x16 cell, centre (8, 8), as lists of polygons.
GLYPHS = {
    "PLAY": [[(5.5, 3.5), (5.5, 12.5), (12.0, 8.0)]],
    "STOP": [rect_poly(5, 5, 11, 11)],
    "PAUSE": [rect_poly(5, 4, 7, 12), rect_poly(9, 4, 11, 12)],
    "BACK": [rect_poly(4, 4, 6, 12), [(12.0, 4.0), (12.0, 12.0), (6.0, 8.0)]],
    "NEXT": [rect_poly(10, 4, 12, 12), [(4.0, 4.0), (4.0, 12.0), (10.0, 8.0)]],
    "REWIND": [[(8.0, 4.0), (8.0, 12.0), (2.5, 8.0)], [(13.5, 4.0), (13.5, 12.0), (8.0, 8.0)]],
    "FAST": [[(8.0, 4.0), (8.0, 12.0), (13.5, 8.0)], [(2.5, 4.0), (2.5, 12.0), (8.0, 8.0)]],
}


def glyph_mask(name, dx=0.0, dy=0.0, ss=4):
    """Coverage 0..1 of the glyph per pixel of a 16x16 cell, supersampled ss x ss."""
    polys = GLYPHS[name]
    m = [[0.0] * 16 for _ in range(16)]
    for y in range(16):
        for x in range(16):
            hits = 0
            for sy in range(ss):
                for sx in range(ss):
                    px = x + (sx + 0.5) / ss - dx
                    py = y + (sy + 0.5) / ss - dy
                    if any(inside_poly(px, py, p) for p in polys):
                        hits += 1
            m[y][x] = hits / (ss * ss)
    return m


# ---------------------------------------------------------------- themes

DARK = {
    "name": "default",
    "rim": (18, 20, 28),
    "body_top": (70, 78, 96), "body_bottom": (36, 40, 52),
    "bevel_hi": (120, 130, 152), "bevel_lo": (26, 28, 38),
    "tab_top": (62, 70, 88),
    "mark": (150, 160, 182), "mark_dim": (96, 104, 124),
    "lcd_edge_hi": (96, 106, 128), "lcd_edge_lo": (16, 18, 26),
    "lcd_top": (16, 40, 54), "lcd_bottom": (10, 26, 38), "lcd_glass": (60, 110, 130),
    "lcd_rule": (34, 70, 88), "lcd_mark": (52, 104, 126),
    "led": (90, 230, 255),
    "groove": (30, 34, 44), "groove_hi": (92, 100, 120), "groove_lo": (16, 18, 26),
    "cap_border": (16, 18, 26),
    "cap_top": (104, 114, 136), "cap_bottom": (58, 64, 80), "cap_hi": (150, 160, 182),
    "glyph": (226, 232, 242), "glyph_shadow": (30, 34, 44),
    "dis_top": (58, 63, 76), "dis_bottom": (48, 52, 64), "dis_glyph": (92, 98, 112),
    "dis_hi": (70, 76, 90),
    "pr_top": (24, 28, 38), "pr_bottom": (40, 46, 60), "pr_glyph": (110, 220, 250),
    # skin.ini colours as red, green, blue (written out blue first)
    "title_color": (200, 236, 250), "time_color": (110, 222, 255), "total_color": (96, 150, 176),
    "tab": "left",
}

LIGHT = {
    "name": "light",
    "rim": (92, 98, 112),
    "body_top": (246, 247, 250), "body_bottom": (206, 211, 220),
    "bevel_hi": (255, 255, 255), "bevel_lo": (170, 176, 188),
    "tab_top": (236, 238, 243),
    "mark": (100, 108, 124), "mark_dim": (150, 156, 170),
    "lcd_edge_hi": (255, 255, 255), "lcd_edge_lo": (120, 128, 140),
    "lcd_top": (206, 222, 196), "lcd_bottom": (184, 204, 174), "lcd_glass": (236, 244, 230),
    "lcd_rule": (160, 184, 150), "lcd_mark": (120, 148, 110),
    "led": (236, 120, 40),
    "groove": (216, 220, 228), "groove_hi": (255, 255, 255), "groove_lo": (160, 166, 178),
    "cap_border": (112, 118, 132),
    "cap_top": (255, 255, 255), "cap_bottom": (222, 226, 234), "cap_hi": (255, 255, 255),
    "glyph": (52, 58, 72), "glyph_shadow": (255, 255, 255),
    "dis_top": (232, 234, 238), "dis_bottom": (224, 226, 232), "dis_glyph": (176, 180, 190),
    "dis_hi": (240, 242, 246),
    "pr_top": (178, 186, 200), "pr_bottom": (204, 210, 222), "pr_glyph": (210, 96, 24),
    "title_color": (34, 52, 30), "time_color": (20, 40, 20), "total_color": (72, 96, 64),
    "tab": "right",
}


# ---------------------------------------------------------------- the face

def silhouette(theme):
    """Signed distance of the window outline: a rounded body with a raised tab on top."""
    body = (0, 8, W, H)
    tab = (14, 0, 118, 24) if theme["tab"] == "left" else (W - 118, 0, W - 14, 24)

    def sd(x, y):
        return min(sd_rrect(x, y, body, 12), sd_rrect(x, y, tab, 6))
    return sd, tab


def draw_face(theme):
    sd_shape, tab = silhouette(theme)
    px = [[KEY] * W for _ in range(H)]
    marks = set(text_pixels("OSTRA DIV UVIRAR", tab[0] + 10, 2))
    led = (tab[2] - 12, 4)
    lbl = "OGG VORBIS"
    lx = DISPLAY[2] - 8 - text_width(lbl)
    lcd_marks = set(text_pixels(lbl, lx, DISPLAY[3] - 11))
    side_x = GROOVE[2] + 10
    for y in range(H):
        for x in range(W):
            cx, cy = x + 0.5, y + 0.5
            d = sd_shape(cx, cy)
            if d >= 0.0:
                continue                       # outside: exactly the key, nothing blended
            depth = -d
            # body: vertical gradient, tab slightly lighter at its top
            c = mix(theme["body_top"], theme["body_bottom"], (cy - 8) / (H - 8))
            if cy < 8:
                c = theme["tab_top"]
            # bevel just inside the rim: light on the upper half, dark on the lower half
            if depth < 2.0:
                c = theme["bevel_hi"] if cy < H * 0.5 else theme["bevel_lo"]
            if depth < 1.0:
                c = theme["rim"]
            # LCD panel, set into the body: shadow above, highlight below
            d_lcd = sd_rrect(cx, cy, DISPLAY, 6)
            d_edge_lo = sd_rrect(cx, cy - 1, DISPLAY, 6)
            d_edge_hi = sd_rrect(cx, cy + 1, DISPLAY, 6)
            c = mix(c, theme["lcd_edge_hi"], cover(d_edge_lo))
            c = mix(c, theme["lcd_edge_lo"], cover(d_edge_hi))
            if d_lcd < 1.0:
                lc = mix(theme["lcd_top"], theme["lcd_bottom"], (cy - DISPLAY[1]) / (DISPLAY[3] - DISPLAY[1]))
                # a soft glass sheen across the upper part
                sheen = clamp(1.0 - (cy - DISPLAY[1]) / 7.0) * 0.18
                lc = mix(lc, theme["lcd_glass"], sheen)
                # a faint rule between the title line and the times
                if y == DISPLAY_Y + 19 and DISPLAY[0] + 6 <= x < DISPLAY[2] - 6:
                    lc = mix(lc, theme["lcd_rule"], 0.8)
                if (x, y) in lcd_marks:
                    lc = theme["lcd_mark"]
                c = mix(c, lc, cover(d_lcd + 1.0))
            # button tray: flat inside so the button images sit on it seamlessly
            d_gr = sd_rrect(cx, cy, GROOVE, 5)
            c = mix(c, theme["groove_hi"], cover(sd_rrect(cx, cy - 1, GROOVE, 5)))
            c = mix(c, theme["groove_lo"], cover(sd_rrect(cx, cy + 1, GROOVE, 5)))
            c = mix(c, theme["groove"], cover(d_gr + 1.0))
            if (x, y) in marks:
                c = theme["mark"]
            # status lamp on the tab
            dl = math.hypot(cx - led[0], cy - led[1])
            if dl < 3.2:
                c = mix(c, theme["rim"], cover(dl - 2.6))
                c = mix(c, theme["led"], cover(dl - 2.0))
                c = mix(c, (255, 255, 255), cover(math.hypot(cx - led[0] + 0.7, cy - led[1] + 0.7) - 0.6) * 0.6)
            px[y][x] = to_rgb(c)
    # speaker perforation to the right of the tray
    for gy in range(GROOVE[1] + 3, GROOVE[3] - 3, 5):
        for gx in range(side_x, DISPLAY[2] - 3, 5):
            if sd_shape(gx + 1, gy + 1) > -5:
                continue
            for (hx, hy) in ((gx, gy), (gx + 1, gy), (gx, gy + 1), (gx + 1, gy + 1)):
                px[hy][hx] = to_rgb(theme["groove_lo"])
            for hx in (gx, gx + 1):
                px[gy + 2][hx] = to_rgb(mix(px[gy + 2][hx], theme["groove_hi"], 0.55))
    assert px[0][0] == KEY
    return px


# ---------------------------------------------------------------- the buttons

CAP = (0.5, 0.5, 15.5, 15.5)


def draw_button(theme, name):
    """One 48x16 strip: normal, disabled, pressed."""
    bg = theme["groove"]
    strip = [[bg] * 48 for _ in range(16)]
    normal = glyph_mask(name)
    shadow = glyph_mask(name, 0, 1)
    pressed = glyph_mask(name, 0.5, 1)
    for state in range(3):
        for y in range(16):
            for x in range(16):
                cx, cy = x + 0.5, y + 0.5
                d = sd_rrect(cx, cy, CAP, 3.5)
                c = bg
                if state == 0:
                    face = mix(theme["cap_top"], theme["cap_bottom"], y / 15)
                    if y == 1:
                        face = theme["cap_hi"]
                    face = mix(face, theme["glyph_shadow"], shadow[y][x] * 0.7)
                    face = mix(face, theme["glyph"], normal[y][x])
                elif state == 1:
                    face = mix(theme["dis_top"], theme["dis_bottom"], y / 15)
                    face = mix(face, theme["dis_hi"], shadow[y][x] * 0.8)
                    face = mix(face, theme["dis_glyph"], normal[y][x])
                else:
                    face = mix(theme["pr_top"], theme["pr_bottom"], y / 15)
                    if y == 1:
                        face = mix(face, theme["cap_border"], 0.5)
                    face = mix(face, theme["pr_glyph"], pressed[y][x])
                # border ring, then the cap's face inside it
                c = mix(c, theme["cap_border"], cover(d))
                c = mix(c, face, cover(d + 1.0))
                strip[y][state * 16 + x] = to_rgb(c)
    # bottom-left pixel stays the tray colour: a button that takes it as transparent shows the
    # tray beneath, which is the same colour.
    assert strip[15][0] == to_rgb(bg)
    return strip


def bgr(c):
    r, g, b = c
    return "%d,%d,%d" % (b, g, r)


def write_ini(path, theme):
    lines = [
        "[skin]",
        "; %s skin of OstraDivUvirar, drawn by make_skins.py" % theme["name"],
        "; colours are blue,green,red",
        "DISPLAY_X=%d" % DISPLAY_X,
        "DISPLAY_Y=%d" % DISPLAY_Y,
        "TITLE_COLOR=%s" % bgr(theme["title_color"]),
        "TIME_COLOR=%s" % bgr(theme["time_color"]),
        "TOTALTIME_COLOR=%s" % bgr(theme["total_color"]),
    ]
    for b in INI_ORDER:
        lines += ["%s_BUTTON_X=%d" % (b, BUTTON_X[b]), "%s_BUTTON_Y=%d" % (b, BUTTON_Y),
                  "%s_BUTTON_TRANS=1" % b]
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    for theme in (DARK, LIGHT):
        out = os.path.join(HERE, theme["name"])
        os.makedirs(out, exist_ok=True)
        write_bmp(os.path.join(out, "face.bmp"), draw_face(theme), W, H)
        for b in INI_ORDER:
            write_bmp(os.path.join(out, BUTTON_FILES[b]), draw_button(theme, b), 48, 16)
        write_ini(os.path.join(out, "skin.ini"), theme)
        print("wrote", out)


if __name__ == "__main__":
    main()
