#!/usr/bin/env python3
"""Draws Melvar's window artwork and writes it beside this script.

  background.bmp                 640 x 480, 8 bits a pixel, 65 palette entries:
                                 a night stage with a spotlight, stars and notes
  icon.png                       32 x 32 RGBA: a pair of notes on a navy disc
  icon.svg                       the same icon drawn as vectors, for the
                                 desktop's icon theme (any size)
  backward.png, forward.png      16 x 16, indexed, at most 16 colours
  backward-disabled.png, forward-disabled.png   the same, greyed

Only the Python 3 standard library is used; the output is the same on every
run (the stars come from a fixed seed). Run: python3 make_artwork.py
"""

import math
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


# ---------------------------------------------------------------- file writers

def write_bmp8(path, width, height, palette, pixels):
    """Uncompressed 8-bit BMP; pixels is a list of rows (top row first) of
    palette indexes. The palette is written with exactly len(palette) entries."""
    row_size = (width + 3) & ~3
    pal_bytes = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal_bytes)
    image = bytearray()
    for row in reversed(pixels):  # BMP rows run bottom-up
        image += bytes(row) + b"\0" * (row_size - width)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(image),
                       2835, 2835, len(palette), len(palette))
    with open(path, "wb") as f:
        f.write(header + info + pal_bytes + image)


def _png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def write_png_rgba(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in pixels)
    data = (b"\x89PNG\r\n\x1a\n"
            + _png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + _png_chunk(b"IDAT", zlib.compress(raw, 9))
            + _png_chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(data)


def write_png_indexed(path, width, height, palette_rgba, pixels):
    """Indexed PNG (8-bit indexes) with a tRNS chunk for the alphas."""
    raw = b"".join(b"\0" + bytes(row) for row in pixels)
    plte = b"".join(bytes(c[:3]) for c in palette_rgba)
    trns = bytes(c[3] for c in palette_rgba)
    data = (b"\x89PNG\r\n\x1a\n"
            + _png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0))
            + _png_chunk(b"PLTE", plte)
            + _png_chunk(b"tRNS", trns)
            + _png_chunk(b"IDAT", zlib.compress(raw, 9))
            + _png_chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- shapes

def ellipse(cx, cy, rx, ry, angle_deg=0.0):
    c, s = math.cos(math.radians(angle_deg)), math.sin(math.radians(angle_deg))
    def inside(x, y):
        dx, dy = x - cx, y - cy
        u, v = dx * c + dy * s, -dx * s + dy * c
        return (u / rx) ** 2 + (v / ry) ** 2 <= 1.0
    return inside


def polygon(points):
    """Even-odd rule, so concave outlines (the note flag) work too."""
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                hit = not hit
        return hit
    return inside


def rect(x0, y0, x1, y1):
    return polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def coverage(shape, px, py, n=4):
    """Fraction of pixel (px, py) covered, by n x n supersampling."""
    hits = 0
    for j in range(n):
        for i in range(n):
            if shape(px + (i + 0.5) / n, py + (j + 0.5) / n):
                hits += 1
    return hits / (n * n)


def note_shapes(x, y, s, flag=True):
    """An eighth note (or a quarter note without flag), head centred at (x, y),
    s the head's half width."""
    head = ellipse(x, y, 1.0 * s, 0.72 * s, -25)
    stem_x = x + 0.80 * s
    stem = rect(stem_x, y - 3.5 * s, stem_x + 0.24 * s, y - 0.15 * s)
    parts = [head, stem]
    if flag:
        pts = [(0.0, -3.5), (0.45, -3.0), (1.05, -2.45), (1.35, -1.75), (1.2, -1.0),
               (1.1, -1.05), (1.15, -1.65), (0.9, -2.1), (0.24, -2.45), (0.0, -2.5)]
        parts.append(polygon([(stem_x + px * s, y + py * s) for px, py in pts]))
    return union(*parts)


def beamed_pair(x1, y1, x2, y2, s):
    """Two eighth notes joined by a beam."""
    sx1, sx2 = x1 + 0.80 * s, x2 + 0.80 * s
    top1, top2 = y1 - 3.5 * s, y2 - 3.5 * s
    beam = polygon([(sx1, top1), (sx2 + 0.24 * s, top2), (sx2 + 0.24 * s, top2 + 0.6 * s), (sx1, top1 + 0.6 * s)])
    return union(note_shapes(x1, y1, s, flag=False), note_shapes(x2, y2, s, flag=False), beam)


def bbox_pixels(x0, y0, x1, y1, width, height):
    for py in range(max(0, int(y0)), min(height, int(y1) + 1)):
        for px in range(max(0, int(x0)), min(width, int(x1) + 1)):
            yield px, py


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(len(a)))


# ---------------------------------------------------------------- background

BLUE_LEVELS = 48   # indexes 0..47: night blue up to the spotlight's white-blue
GOLD_LEVELS = 16   # indexes 48..63: from the dark sky to the notes' gold
WHITE = 64         # index 64: star cores


def blue_palette():
    stops = [(0.0, (3, 4, 16)), (0.28, (12, 22, 70)), (0.55, (38, 64, 140)),
             (0.8, (120, 150, 212)), (1.0, (228, 234, 252))]
    out = []
    for k in range(BLUE_LEVELS):
        t = k / (BLUE_LEVELS - 1)
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t0 <= t <= t1:
                out.append(lerp(c0, c1, (t - t0) / (t1 - t0)))
                break
    return out


def smoothstep(e0, e1, x):
    t = min(1.0, max(0.0, (x - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


def stage_light(x, y):
    """Brightness 0..1 of the empty stage at (x, y)."""
    t = 0.26 - 0.2 * (y / 480.0)                       # sky: lighter at the top
    # The lamp's glow at the top left, wide, so that the title labels stand
    # on a light ground.
    t += 0.62 * math.exp(-(((x - 60) / 420.0) ** 2 + ((y + 10) / 80.0) ** 2))
    # The beam from the lamp down to the floor.
    lx, ly, tx, ty = 70.0, -10.0, 430.0, 420.0
    ax, ay = tx - lx, ty - ly
    length = math.hypot(ax, ay)
    ux, uy = ax / length, ay / length
    along = (x - lx) * ux + (y - ly) * uy
    across = abs(-(x - lx) * uy + (y - ly) * ux)
    if along > 0:
        half_width = 18 + along * 0.28
        edge = 1.0 - smoothstep(half_width * 0.55, half_width, across)
        t += 0.22 * edge * (0.55 + 0.45 * (along / length))
    # Stage floor and the pool of light on it.
    if y > 370:
        t += 0.05 * smoothstep(370, 400, y)
    pool = ((x - tx) / 190.0) ** 2 + ((y - ty) / 45.0) ** 2
    t += 0.42 * math.exp(-pool * 2.2)
    return max(0.0, min(1.0, t))


BAYER8 = [[0, 32, 8, 40, 2, 34, 10, 42], [48, 16, 56, 24, 50, 18, 58, 26],
          [12, 44, 4, 36, 14, 46, 6, 38], [60, 28, 52, 20, 62, 30, 54, 22],
          [3, 35, 11, 43, 1, 33, 9, 41], [51, 19, 59, 27, 49, 17, 57, 25],
          [15, 47, 7, 39, 13, 45, 5, 37], [63, 31, 55, 23, 61, 29, 53, 21]]


def blue_index(t, x, y):
    """Ordered dithering between two neighbouring levels against banding."""
    v = t * (BLUE_LEVELS - 1)
    base = int(v)
    if v - base > (BAYER8[y % 8][x % 8] + 0.5) / 64.0:
        base += 1
    return min(BLUE_LEVELS - 1, base)


def make_background():
    width, height = 640, 480
    light = [[stage_light(x, y) for x in range(width)] for y in range(height)]
    pixels = [[blue_index(light[y][x], x, y) for x in range(width)] for y in range(height)]

    # Stars in the dark sky, away from the beam and the glow.
    rng = random.Random(1978)
    placed = 0
    while placed < 70:
        x, y = rng.randrange(4, width - 4), rng.randrange(4, 330)
        if light[y][x] > 0.2:
            continue
        placed += 1
        big = rng.random() < 0.18
        if big:
            pixels[y][x] = WHITE
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                pixels[y + dy][x + dx] = BLUE_LEVELS - 6
        else:
            pixels[y][x] = BLUE_LEVELS - 1 - rng.randrange(0, 14)

    # Gold notes floating in the dark at the right.
    notes = [beamed_pair(478, 118, 512, 108, 9.0),
             note_shapes(576, 196, 8.0),
             note_shapes(420, 64, 6.5, flag=False),
             note_shapes(606, 86, 6.0),
             beamed_pair(330, 250, 360, 262, 6.5)]
    boxes = [(460, 70, 540, 135), (560, 160, 600, 210), (405, 35, 435, 75), (594, 60, 624, 96), (318, 220, 376, 275)]
    for shape, (x0, y0, x1, y1) in zip(notes, boxes):
        for px, py in bbox_pixels(x0, y0, x1, y1, width, height):
            c = coverage(shape, px, py)
            if c > 0:
                level = round(c * (GOLD_LEVELS - 1))
                if level > 0:
                    pixels[py][px] = BLUE_LEVELS + level

    gold = [lerp((12, 22, 70), (255, 204, 92), (j / (GOLD_LEVELS - 1)) ** 0.8) for j in range(GOLD_LEVELS)]
    palette = blue_palette() + gold + [(255, 255, 255)]
    assert len(palette) == 65
    write_bmp8(os.path.join(HERE, "background.bmp"), width, height, palette, pixels)


# ---------------------------------------------------------------- icon

def make_icon():
    size = 32
    disc = ellipse(16, 16, 15.5, 15.5)
    inner = ellipse(16, 16, 14.0, 14.0)
    mark = beamed_pair(9.5, 23.5, 19.5, 20.5, 3.6)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            a_disc = coverage(disc, px, py, 6)
            a_inner = coverage(inner, px, py, 6)
            a_mark = coverage(mark, px, py, 6)
            # Navy disc with a lighter rim, gold notes on it.
            shade = 1.0 - 0.45 * (py / size)
            base = lerp((70, 110, 200), lerp((20, 40, 120), (10, 18, 70), py / size), a_inner)
            base = tuple(round(c * (0.8 + 0.2 * shade)) for c in base)
            colour = lerp(base, (255, 206, 84), a_mark)
            row.append(colour + (round(255 * a_disc),))
        rows.append(row)
    write_png_rgba(os.path.join(HERE, "icon.png"), size, size, rows)


def make_icon_svg():
    """The icon of make_icon() as an SVG on a 256 x 256 canvas (the 32-pixel
    drawing scaled by 8), with the same disc, rim and beamed notes."""
    k = 8.0
    s = 3.6 * k
    (x1, y1), (x2, y2) = (9.5 * k, 23.5 * k), (19.5 * k, 20.5 * k)

    def f(v):
        return ("%.2f" % v).rstrip("0").rstrip(".")

    def head(x, y):
        return ('<ellipse cx="%s" cy="%s" rx="%s" ry="%s" transform="rotate(-25 %s %s)"/>'
                % (f(x), f(y), f(1.0 * s), f(0.72 * s), f(x), f(y)))

    def stem(x, y):
        sx = x + 0.80 * s
        return ('<rect x="%s" y="%s" width="%s" height="%s"/>'
                % (f(sx), f(y - 3.5 * s), f(0.24 * s), f(3.35 * s)))

    sx1, sx2 = x1 + 0.80 * s, x2 + 0.80 * s
    top1, top2 = y1 - 3.5 * s, y2 - 3.5 * s
    beam = [(sx1, top1), (sx2 + 0.24 * s, top2), (sx2 + 0.24 * s, top2 + 0.6 * s), (sx1, top1 + 0.6 * s)]
    beam_points = " ".join("%s,%s" % (f(x), f(y)) for x, y in beam)
    svg = f"""<?xml version="1.0" encoding="UTF-8"?>
<!-- Melvar's icon: a pair of gold notes on a navy disc. Written by make_artwork.py. -->
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <defs>
    <linearGradient id="rim" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#4670c8"/>
      <stop offset="1" stop-color="#34549a"/>
    </linearGradient>
    <linearGradient id="face" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#142878"/>
      <stop offset="1" stop-color="#0a1246"/>
    </linearGradient>
  </defs>
  <circle cx="128" cy="128" r="124" fill="url(#rim)"/>
  <circle cx="128" cy="128" r="112" fill="url(#face)"/>
  <g fill="#ffce54">
    {head(x1, y1)}
    {head(x2, y2)}
    {stem(x1, y1)}
    {stem(x2, y2)}
    <polygon points="{beam_points}"/>
  </g>
</svg>
"""
    with open(os.path.join(HERE, "icon.svg"), "w", encoding="utf-8") as out:
        out.write(svg)


# ---------------------------------------------------------------- buttons

def arrow_shape(forward, dx=0.0, dy=0.0):
    """Two triangles: pointing right for forward, left for backward."""
    def tri(tip_x, back_x):
        return polygon([(tip_x + dx, 8 + dy), (back_x + dx, 2.5 + dy), (back_x + dx, 13.5 + dy)])
    if forward:
        return union(tri(8.5, 1.5), tri(15.0, 8.0))
    return union(tri(1.0, 8.0), tri(7.5, 14.5))


def make_button(name, forward, disabled):
    levels = 7
    if disabled:
        # Grey glyph with a white shade below and right, as greyed glyphs are.
        ink, shade = (128, 128, 128), (255, 255, 255)
    else:
        ink, shade = (0, 0, 128), None
    palette = [(0, 0, 0, 0)] + [ink + (round(255 * k / levels),) for k in range(1, levels + 1)]
    if shade:
        palette += [shade + (round(255 * k / levels),) for k in range(1, levels + 1)]
    assert len(palette) <= 16
    glyph = arrow_shape(forward)
    shadow = arrow_shape(forward, 1.0, 1.0) if shade else None
    rows = []
    for py in range(16):
        row = []
        for px in range(16):
            a = round(coverage(glyph, px, py, 6) * levels)
            if a > 0:
                row.append(a)
            elif shadow is not None and (s := round(coverage(shadow, px, py, 6) * levels)) > 0:
                row.append(levels + s)
            else:
                row.append(0)
        rows.append(row)
    write_png_indexed(os.path.join(HERE, name), 16, 16, palette, rows)


def main():
    make_background()
    make_icon()
    make_icon_svg()
    make_button("backward.png", forward=False, disabled=False)
    make_button("forward.png", forward=True, disabled=False)
    make_button("backward-disabled.png", forward=False, disabled=True)
    make_button("forward-disabled.png", forward=True, disabled=True)


if __name__ == "__main__":
    main()
