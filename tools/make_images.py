#!/usr/bin/env python3
"""Draw keyprep's bitmap resources: application icon, hand cursor, dialog
header and About banner.  Standard library only; the output is deterministic.

    python3 tools/make_images.py            # write the files into src/res
    python3 tools/make_images.py --check    # parse them back and compare
"""
import argparse
import copy
import math
import os
import struct
import sys

RES_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "res")


# --------------------------------------------------------------------------
# Geometry: shapes in local design units, mapped to pixels by an Xform.
# --------------------------------------------------------------------------

class Xform:
    """Local units -> pixels: scale, rotate (degrees, clockwise on screen), translate."""

    def __init__(self, scale=1.0, angle=0.0, dx=0.0, dy=0.0):
        a = math.radians(angle)
        self.s, self.c, self.sn, self.dx, self.dy = scale, math.cos(a), math.sin(a), dx, dy

    def to_px(self, u, v):
        return (self.s * (self.c * u - self.sn * v) + self.dx,
                self.s * (self.sn * u + self.c * v) + self.dy)

    def to_local(self, x, y):
        x, y = x - self.dx, y - self.dy
        return (self.c * x + self.sn * y) / self.s, (-self.sn * x + self.c * y) / self.s

    def moved(self, dx, dy):
        out = copy.copy(self)
        out.dx, out.dy = self.dx + dx, self.dy + dy
        return out


class Shape:
    bbox = (0.0, 0.0, 0.0, 0.0)

    def inside(self, u, v):
        raise NotImplementedError

    def __or__(self, other):
        return Union(self, other)

    def __sub__(self, other):
        return Difference(self, other)


class Rect(Shape):
    """Axis-aligned rectangle with corner radius r."""

    def __init__(self, u0, v0, u1, v1, r=0.0):
        self.bbox = (u0, v0, u1, v1)
        self.r = r

    def inside(self, u, v):
        u0, v0, u1, v1 = self.bbox
        if not (u0 <= u <= u1 and v0 <= v <= v1):
            return False
        r = self.r
        du = max(u0 + r - u, 0.0, u - u1 + r)
        dv = max(v0 + r - v, 0.0, v - v1 + r)
        return du * du + dv * dv <= r * r


class Ellipse(Shape):
    def __init__(self, cu, cv, ru, rv=None):
        rv = ru if rv is None else rv
        self.cu, self.cv, self.ru, self.rv = cu, cv, ru, rv
        self.bbox = (cu - ru, cv - rv, cu + ru, cv + rv)

    def inside(self, u, v):
        du, dv = (u - self.cu) / self.ru, (v - self.cv) / self.rv
        return du * du + dv * dv <= 1.0


class Strokes(Shape):
    """Polylines stroked with round caps and joins (a union of capsules)."""

    def __init__(self, polylines, half_width):
        hw = half_width
        self.hw2 = hw * hw
        self.segs = []
        for line in polylines:
            pts = line if len(line) > 1 else line * 2
            for (au, av), (bu, bv) in zip(pts, pts[1:]):
                box = (min(au, bu) - hw, min(av, bv) - hw, max(au, bu) + hw, max(av, bv) + hw)
                self.segs.append((box, (au, av), (bu, bv)))
        boxes = [s[0] for s in self.segs] or [(0.0, 0.0, 0.0, 0.0)]
        self.bbox = (min(b[0] for b in boxes), min(b[1] for b in boxes),
                     max(b[2] for b in boxes), max(b[3] for b in boxes))

    def inside(self, u, v):
        u0, v0, u1, v1 = self.bbox
        if not (u0 <= u <= u1 and v0 <= v <= v1):
            return False
        for (su0, sv0, su1, sv1), (au, av), (bu, bv) in self.segs:
            if not (su0 <= u <= su1 and sv0 <= v <= sv1):
                continue
            eu, ev = bu - au, bv - av
            ll = eu * eu + ev * ev
            t = 0.0 if ll == 0 else max(0.0, min(1.0, ((u - au) * eu + (v - av) * ev) / ll))
            du, dv = u - au - t * eu, v - av - t * ev
            if du * du + dv * dv <= self.hw2:
                return True
        return False


class Union(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bbox = (min(a.bbox[0], b.bbox[0]), min(a.bbox[1], b.bbox[1]),
                     max(a.bbox[2], b.bbox[2]), max(a.bbox[3], b.bbox[3]))

    def inside(self, u, v):
        return self.a.inside(u, v) or self.b.inside(u, v)


class Group(Shape):
    """Union of many shapes, each rejected cheaply by its bounding box."""

    def __init__(self, shapes):
        self.shapes = shapes
        self.bbox = (min(s.bbox[0] for s in shapes), min(s.bbox[1] for s in shapes),
                     max(s.bbox[2] for s in shapes), max(s.bbox[3] for s in shapes))

    def inside(self, u, v):
        for s in self.shapes:
            u0, v0, u1, v1 = s.bbox
            if u0 <= u <= u1 and v0 <= v <= v1 and s.inside(u, v):
                return True
        return False


class Difference(Shape):
    def __init__(self, a, b):
        self.a, self.b, self.bbox = a, b, a.bbox

    def inside(self, u, v):
        return self.a.inside(u, v) and not self.b.inside(u, v)


def arc(cu, cv, ru, rv, a0, a1, steps=None):
    """Points on an elliptical arc; angles in degrees, counter-clockwise on screen."""
    steps = steps or max(4, int(abs(a1 - a0) / 10))
    pts = []
    for i in range(steps + 1):
        a = math.radians(a0 + (a1 - a0) * i / steps)
        pts.append((cu + ru * math.cos(a), cv - rv * math.sin(a)))
    return pts


# --------------------------------------------------------------------------
# Colour and paint
# --------------------------------------------------------------------------

def mix(c0, c1, t):
    t = max(0.0, min(1.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def gradient(stops, axis=1):
    """Paint varying along local u (axis 0) or v (axis 1); stops = [(pos, rgb), ...]."""
    def paint(u, v):
        p = (u, v)[axis]
        if p <= stops[0][0]:
            return stops[0][1]
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p <= p1:
                return mix(c0, c1, (p - p0) / (p1 - p0))
        return stops[-1][1]
    return paint


# --------------------------------------------------------------------------
# Canvas with supersampled, anti-aliased fills
# --------------------------------------------------------------------------

SS = 4
SUBPIXELS = [((i + 0.5) / SS, (j + 0.5) / SS) for j in range(SS) for i in range(SS)]


class Canvas:
    """Premultiplied RGBA pixels, channels 0..255 (alpha 0..1)."""

    def __init__(self, w, h, background=None):
        self.w, self.h = w, h
        if background is None:
            self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]
        else:
            self.px = [[0.0, 0.0, 0.0, 1.0] for _ in range(w * h)]
            for y in range(h):
                for x in range(w):
                    self.px[y * w + x][:3] = background(x + 0.5, y + 0.5)

    def blend(self, x, y, rgb, a):
        p = self.px[y * self.w + x]
        k = 1.0 - a
        p[0] = rgb[0] * a + p[0] * k
        p[1] = rgb[1] * a + p[1] * k
        p[2] = rgb[2] * a + p[2] * k
        p[3] = a + p[3] * k

    def pixel_box(self, shape, xf, grow=0):
        u0, v0, u1, v1 = shape.bbox
        corners = [xf.to_px(u, v) for u in (u0, u1) for v in (v0, v1)]
        x0 = max(0, int(math.floor(min(c[0] for c in corners))) - grow)
        y0 = max(0, int(math.floor(min(c[1] for c in corners))) - grow)
        x1 = min(self.w, int(math.ceil(max(c[0] for c in corners))) + grow)
        y1 = min(self.h, int(math.ceil(max(c[1] for c in corners))) + grow)
        return x0, y0, x1, y1

    def coverage(self, shape, xf, x, y):
        hits = 0
        for sx, sy in SUBPIXELS:
            if shape.inside(*xf.to_local(x + sx, y + sy)):
                hits += 1
        return hits / len(SUBPIXELS)

    def fill(self, shape, paint, xf, opacity=1.0):
        x0, y0, x1, y1 = self.pixel_box(shape, xf)
        for y in range(y0, y1):
            for x in range(x0, x1):
                cov = self.coverage(shape, xf, x, y)
                if cov:
                    rgb = paint(*xf.to_local(x + 0.5, y + 0.5)) if callable(paint) else paint
                    self.blend(x, y, rgb, cov * opacity)

    def glow(self, shape, xf, rgb, opacity, radius):
        """Blurred copy of a shape (drop shadows, halos)."""
        x0, y0, x1, y1 = self.pixel_box(shape, xf, grow=2 * radius + 1)
        w, h = x1 - x0, y1 - y0
        mask = [self.coverage(shape, xf, x0 + i, y0 + j) for j in range(h) for i in range(w)]
        for _ in range(2):
            mask = box_blur(mask, w, h, radius)
        for j in range(h):
            for i in range(w):
                if mask[j * w + i] > 0.0:
                    self.blend(x0 + i, y0 + j, rgb, mask[j * w + i] * opacity)

    def rgb_at(self, x, y):
        r, g, b, a = self.px[y * self.w + x]
        if a <= 0.0:
            return (0, 0, 0)
        return tuple(max(0, min(255, int(round(c / a)))) for c in (r, g, b))

    def alpha_at(self, x, y):
        return self.px[y * self.w + x][3]


def box_blur(mask, w, h, r):
    def run(get, n):
        vals = [get(i) for i in range(n)]
        return [sum(vals[max(0, i - r):i + r + 1]) / (2 * r + 1) for i in range(n)]
    rows = []
    for j in range(h):
        rows += run(lambda i: mask[j * w + i], w)
    out = [0.0] * (w * h)
    for i in range(w):
        col = run(lambda j: rows[j * w + i], h)
        for j in range(h):
            out[j * w + i] = col[j]
    return out


# --------------------------------------------------------------------------
# The token motif: a USB hardware key with a gold key emblem.
# Local units: body spans u -22..9, connector u 6..22, v -9.5..9.5.
# --------------------------------------------------------------------------

NAVY = (14, 30, 72)
BODY_TOP, BODY_BOTTOM = (66, 124, 214), (22, 56, 132)
METAL_EDGE = (84, 90, 102)
METAL = [(-5.6, (246, 247, 250)), (-1.0, (206, 211, 219)), (3.0, (170, 176, 188)),
         (5.6, (128, 134, 146))]
HOLE = (44, 48, 58)
GOLD = [(-3.4, (255, 236, 140)), (0.0, (242, 190, 48)), (4.5, (190, 126, 18))]
GOLD_DARK = (120, 76, 8)
LED = (120, 255, 160)
DIALOG_FACE = (240, 240, 240)

RING_HOLE = Ellipse(-17.0, 0.0, 2.0)
EYELET = Ellipse(-17.0, 0.0, 3.3)


def key_emblem(cu, cv):
    """A small key lying along u, ring on the left, bit pointing down."""
    ring = Ellipse(cu - 5.2, cv, 3.5) - Ellipse(cu - 5.2, cv, 1.5)
    shaft = Rect(cu - 2.2, cv - 1.0, cu + 7.5, cv + 1.0)
    bit = Rect(cu + 3.0, cv, cu + 4.6, cv + 3.6) | Rect(cu + 5.9, cv, cu + 7.5, cv + 4.4)
    return ring | shaft | bit


def draw_token(cv, xf, shadow=True):
    body = Rect(-22.0, -9.5, 9.0, 9.5, 5.0) - RING_HOLE
    plug = Rect(6.0, -6.6, 22.0, 6.6, 1.2)
    if shadow:
        cv.glow(body | plug, xf.moved(0.8 * xf.s, 1.4 * xf.s), (0, 0, 0), 0.35,
                max(1, int(round(xf.s))))
    cv.fill(plug, METAL_EDGE, xf)
    cv.fill(Rect(6.0, -5.6, 21.0, 5.6, 0.6), gradient(METAL), xf)
    cv.fill(Rect(13.0, -4.0, 17.0, -1.3, 0.3), HOLE, xf)
    cv.fill(Rect(13.0, 1.3, 17.0, 4.0, 0.3), HOLE, xf)
    cv.fill(body, NAVY, xf)
    cv.fill(Rect(-21.0, -8.5, 8.0, 8.5, 4.0) - EYELET,
            gradient([(-8.5, BODY_TOP), (8.5, BODY_BOTTOM)]), xf)
    cv.fill(EYELET - RING_HOLE, gradient(METAL), xf)
    cv.fill(Rect(-13.0, -7.6, 6.8, -2.0, 2.8), (255, 255, 255), xf, opacity=0.16)
    emblem = key_emblem(-3.0, 0.0)
    cv.fill(emblem, GOLD_DARK, xf.moved(0.5 * xf.s, 0.7 * xf.s))
    cv.fill(emblem, gradient(GOLD), xf)
    cv.fill(Ellipse(5.2, -5.6, 1.2), LED, xf)


# --------------------------------------------------------------------------
# Hand-drawn pixel art
# --------------------------------------------------------------------------

ICON16_COLOURS = {
    ".": None,
    "K": NAVY,
    "L": BODY_TOP,
    "B": (40, 88, 178),
    "D": BODY_BOTTOM,
    "W": (246, 247, 250),
    "S": (200, 205, 214),
    "M": (150, 156, 168),
    "E": METAL_EDGE,
    "h": HOLE,
    "Y": (255, 228, 120),
    "G": (236, 178, 36),
    "g": (150, 98, 12),
    "c": LED,
}

ICON16 = [
    "................",
    "................",
    "................",
    ".KKKKKKKKKK.....",
    "KLLLLLLLLLLK....",
    "KLBYYBBBBBcKEEEE",
    "KBYBBGBBBBBKWWWE",
    "KBGBBGGGGGBKShhE",
    "KBBGgBBGBGBKSSSE",
    "KBBBBBBBBgBKShhE",
    "KDBBBBBBBBBKMMME",
    "KDDDDDDDDDDKEEEE",
    ".KKKKKKKKKK.....",
    "................",
    "................",
    "................",
]

HAND = [
    "......##........",
    ".....#..#.......",
    ".....#..#.......",
    ".....#..#.......",
    ".....#..#.......",
    ".....#..###.....",
    ".....#..#..###..",
    ".....#..#..#..###",
    ".....#..#..#..#..#",
    ".....#..#..#..#..#",
    ".##..#...........#",
    "#..#.#...........#",
    "#...##...........#",
    ".#...#...........#",
    ".#...............#",
    "..#..............#",
    "..#.............#",
    "...#............#",
    "...#...........#",
    "....#..........#",
    "....#..........#",
    "....############",
]
HAND_HOTSPOT = (6, 0)


def pixel_art(rows, colours):
    """Character map -> (rgb or None) rows."""
    return [[colours[ch] for ch in row] for row in rows]


def outline_fill(rows, size):
    """Outline map ('#') -> (black, white, transparent) grid: the outside is
    whatever a 4-connected flood from the border reaches."""
    grid = [[rows[y][x] if y < len(rows) and x < len(rows[y]) else "."
             for x in range(size)] for y in range(size)]
    outside = set()
    todo = [(x, y) for x in range(size) for y in (0, size - 1)]
    todo += [(x, y) for y in range(size) for x in (0, size - 1)]
    while todo:
        x, y = todo.pop()
        if (x, y) in outside or not (0 <= x < size and 0 <= y < size) or grid[y][x] == "#":
            continue
        outside.add((x, y))
        todo += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
    return [["#" if grid[y][x] == "#" else (" " if (x, y) in outside else "w")
             for x in range(size)] for y in range(size)]


# --------------------------------------------------------------------------
# Text: a tiny stroke font on a grid (cap height 10, x-height 7, baseline 10)
# --------------------------------------------------------------------------

def _glyphs():
    g = {}
    g["K"] = (5.0, [[(0, 0), (0, 10)], [(5, 0), (0, 6)], [(1.9, 4.2), (5.2, 10)]])
    g["V"] = (6.4, [[(0, 0), (3.2, 10), (6.4, 0)]])
    g["e"] = (5.2, [[(0.1, 6.6), (5.1, 6.6)] + arc(2.6, 6.6, 2.5, 3.5, 0, 318)])
    g["o"] = (5.4, [arc(2.7, 6.5, 2.7, 3.5, 0, 360, 40)])
    g["a"] = (5.2, [arc(2.5, 6.5, 2.5, 3.5, 0, 360, 40), [(5.1, 3), (5.1, 10)]])
    g["g"] = (5.2, [arc(2.5, 6.5, 2.5, 3.5, 0, 360, 40),
                    [(5.1, 3), (5.1, 11.2)] + arc(2.6, 11.2, 2.5, 2.2, 0, -150)])
    g["y"] = (5.4, [[(0, 3), (2.8, 10)],
                    [(5.4, 3), (2.2, 11.8)] + arc(0.9, 11.3, 1.4, 1.7, -20, -100, 4)])
    g["u"] = (5.0, [[(0, 3)] + arc(2.5, 7.6, 2.5, 2.4, 180, 360), [(5, 3), (5, 10)]])
    g["n"] = (5.0, [[(0, 3), (0, 10)], arc(2.5, 5.4, 2.5, 2.4, 180, 0) + [(5, 10)]])
    g["m"] = (7.4, [[(0, 3), (0, 10)], arc(1.85, 5.2, 1.85, 2.2, 180, 0) + [(3.7, 10)],
                    arc(5.55, 5.2, 1.85, 2.2, 180, 0) + [(7.4, 10)]])
    g["r"] = (3.8, [[(0, 3), (0, 10)], arc(3.2, 6.4, 3.2, 3.2, 180, 75)])
    g["f"] = (4.0, [[(1.3, 10)] + arc(3.6, 2.4, 2.3, 2.1, 180, 45), [(0, 3.2), (3.8, 3.2)]])
    g["t"] = (3.8, [[(1.3, 0.8)] + arc(3.6, 8.0, 2.3, 2.0, 180, 270), [(0, 3.2), (3.8, 3.2)]])
    g["i"] = (0.0, [[(0, 3.2), (0, 10)], [(0, 0.4)]])
    g["l"] = (0.0, [[(0, 0), (0, 10)]])
    g["x"] = (5.0, [[(0, 3), (5, 10)], [(5, 3), (0, 10)]])
    g[" "] = (2.6, [])
    return g


GLYPHS = _glyphs()
STROKE_HW = 0.9
TRACKING = 1.25


def text_shape(text):
    """Stroke shape for a string, starting at the left end of the baseline (0, 0)."""
    glyphs = []
    pen = STROKE_HW
    for ch in text:
        width, strokes = GLYPHS[ch]
        if strokes:
            glyphs.append(Strokes([[(pen + px, py - 10) for px, py in s] for s in strokes],
                                  STROKE_HW))
        pen += width + 2 * STROKE_HW + TRACKING
    return Group(glyphs)


# --------------------------------------------------------------------------
# Palettes and quantisation
# --------------------------------------------------------------------------

def median_cut(counts, n):
    """Deterministic median cut: {rgb: count} -> list of at most n colours."""
    boxes = [sorted(counts.items())]
    while len(boxes) < n:
        best, best_key = None, None
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spread = max(max(c[0][k] for c in box) - min(c[0][k] for c in box) for k in range(3))
            key = (spread * math.sqrt(sum(c[1] for c in box)), -i)
            if best_key is None or key > best_key:
                best, best_key = i, key
        if best is None:
            break
        box = boxes.pop(best)
        ranges = [max(c[0][k] for c in box) - min(c[0][k] for c in box) for k in range(3)]
        k = ranges.index(max(ranges))
        box.sort(key=lambda c: (c[0][k], c[0]))
        total, acc, cut = sum(c[1] for c in box), 0, 1
        for j, c in enumerate(box[:-1]):
            acc += c[1]
            cut = j + 1
            if acc * 2 >= total:
                break
        boxes[best:best] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(c[1] for c in box)
        palette.append(tuple(int(round(sum(c[0][k] * c[1] for c in box) / total))
                             for k in range(3)))
    return palette


def quantise(pixels, size):
    """rgb rows -> (palette padded to size, index rows).  None marks a transparent
    pixel; it gets index 0, kept pure black so that the XOR pass of an icon leaves
    the screen untouched where the AND mask is set."""
    counts = {}
    for row in pixels:
        for c in row:
            if c is not None:
                counts[c] = counts.get(c, 0) + 1
    reserved = [(0, 0, 0)] if any(c is None for row in pixels for c in row) else []
    room = size - len(reserved)
    palette = reserved + (sorted(counts) if len(counts) <= room else median_cut(counts, room))
    cache = {}

    def nearest(c):
        if c not in cache:
            cache[c] = min(range(len(reserved), len(palette)),
                           key=lambda i: sum((a - b) ** 2 for a, b in zip(c, palette[i])))
        return cache[c]

    indices = [[0 if c is None else nearest(c) for c in row] for row in pixels]
    return palette + [(0, 0, 0)] * (size - len(palette)), indices


# --------------------------------------------------------------------------
# File writers
# --------------------------------------------------------------------------

def pack_rows(rows, bpp):
    """Top-down rows of palette indices (or rgb for 24 bpp) -> bottom-up DIB bits."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        if bpp == 24:
            for r, g, b in row:
                line += bytes((b, g, r))
        else:
            per_byte = 8 // bpp
            for i in range(0, len(row), per_byte):
                byte = 0
                for j, v in enumerate(row[i:i + per_byte]):
                    byte |= v << (8 - bpp * (j + 1))
                line.append(byte)
        line += bytes(-len(line) % 4)
        out += line
    return bytes(out)


def info_header(width, height, bpp, image_size, compression=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, compression, image_size, 2835, 2835, 0, 0)


def palette_bytes(palette):
    return b"".join(bytes((b, g, r, 0)) for r, g, b in palette)


def rle8_rows(rows):
    """The rows bottom-up in BMP's RLE8 encoding: runs, literal stretches, an end per row."""
    out = bytearray()
    for row in reversed(rows):
        i, n = 0, len(row)
        while i < n:
            run = 1
            while i + run < n and run < 255 and row[i + run] == row[i]:
                run += 1
            if run >= 2 or n - i < 3:
                out += bytes((run, row[i]))
                i += run
                continue
            # A literal stretch lasts until a run of three begins.
            end = i
            while end < n and end - i < 255 and not (end + 2 < n and row[end] == row[end + 1] == row[end + 2]):
                end += 1
            if end - i < 3:
                out += bytes((1, row[i]))
                i += 1
                continue
            out += bytes((0, end - i)) + bytes(row[i:end]) + (b"\0" if (end - i) % 2 else b"")
            i = end
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


def bmp_file(width, height, bpp, rows, palette=(), rle=False):
    bits = rle8_rows(rows) if rle else pack_rows(rows, bpp)
    head = info_header(width, height, bpp, len(bits), 1 if rle else 0) + palette_bytes(palette)
    offset = 14 + len(head)
    return struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset) + head + bits


def icon_image(size, bpp, palette, indices, transparent):
    """One BMP-in-ICO image: header with doubled height, XOR bits, AND mask."""
    xor = pack_rows(indices, bpp)
    mask = pack_rows([[1 if t else 0 for t in row] for row in transparent], 1)
    head = info_header(size, 2 * size, bpp, len(xor) + len(mask))
    return head + palette_bytes(palette) + xor + mask


def icon_file(images, kind=1):
    """images: [(size, bpp, dib, hotspot)]; kind 1 = icon, 2 = cursor.
    A cursor keeps its hot spot where an icon entry has planes and bit count."""
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    for size, bpp, dib, hotspot in images:
        colours = (1 << bpp) if bpp < 8 else 0
        planes, bitcount = hotspot if kind == 2 else (1, bpp)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, planes, bitcount,
                           len(dib), offset)
        offset += len(dib)
    return out + b"".join(img[2] for img in images)


# --------------------------------------------------------------------------
# The four resources
# --------------------------------------------------------------------------

def make_icon():
    art = pixel_art(ICON16, ICON16_COLOURS)
    pal16, idx16 = quantise(art, 16)
    small = icon_image(16, 4, pal16, idx16, [[c is None for c in row] for row in art])

    cv = Canvas(32, 32)
    draw_token(cv, Xform(0.7, 0.0, 16.0, 16.0), shadow=False)
    opaque = [[cv.alpha_at(x, y) >= 0.5 for x in range(32)] for y in range(32)]
    art32 = [[cv.rgb_at(x, y) if opaque[y][x] else None for x in range(32)] for y in range(32)]
    pal256, idx32 = quantise(art32, 256)
    large = icon_image(32, 8, pal256, idx32, [[not o for o in row] for row in opaque])
    return icon_file([(16, 4, small, None), (32, 8, large, None)])


def make_cursor():
    grid = outline_fill(HAND, 32)
    indices = [[1 if ch == "w" else 0 for ch in row] for row in grid]
    transparent = [[ch == " " for ch in row] for row in grid]
    dib = icon_image(32, 1, [(0, 0, 0), (255, 255, 255)], indices, transparent)
    return icon_file([(32, 1, dib, HAND_HOTSPOT)], kind=2)


def make_header():
    size = 49
    cv = Canvas(size, size, lambda x, y: DIALOG_FACE)
    draw_token(cv, Xform(0.98, -45.0, 24.5, 24.5))
    rows = [[cv.rgb_at(x, y) for x in range(size)] for y in range(size)]
    return bmp_file(size, size, 24, rows)


def make_about():
    w, h = 413, 65
    deep, teal = (12, 34, 96), (0, 122, 138)

    def background(x, y):
        base = mix(deep, teal, (x / w) ** 0.9)
        return mix(base, (0, 0, 0), 0.18 * y / h)

    cv = Canvas(w, h, background)
    cv.fill(Rect(0, h - 2, w, h), (232, 180, 40), Xform(), opacity=0.9)
    halo = Ellipse(32.0, 32.0, 28.0)
    cv.glow(halo, Xform(), (120, 190, 255), 0.28, 4)
    draw_token(cv, Xform(1.1, -45.0, 32.0, 32.0))

    title = text_shape("Key formatting utility")
    xf_title = Xform(2.15, 0.0, 70.0, 32.0)
    cv.glow(title, xf_title.moved(1.0, 1.5), (0, 0, 0), 0.45, 1)
    cv.fill(title, (255, 255, 255), xf_title)

    company = text_shape("Veltrax")
    xf_company = Xform(1.2, 0.0, 71.0, 56.0)
    cv.fill(company, (255, 214, 110), xf_company)

    rows = [[cv.rgb_at(x, y) for x in range(w)] for y in range(h)]
    palette, indices = quantise(rows, 256)
    # Stored run-length encoded, as Windows loads it: the picture is the same, the program smaller.
    return bmp_file(w, h, 8, indices, palette, rle=True)


OUTPUTS = [
    ("keyprep.ico", make_icon),
    ("hand.cur", make_cursor),
    ("header.bmp", make_header),
    ("about.bmp", make_about),
]


# --------------------------------------------------------------------------
# Verification
# --------------------------------------------------------------------------

class CheckFailed(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)


def parse_dib_header(data, off, compression_expected=0):
    (size, width, height, planes, bpp, compression, image_size,
     _, _, _, _) = struct.unpack_from("<IiiHHIIiiII", data, off)
    expect(size == 40 and planes == 1 and compression == compression_expected, "unexpected DIB header")
    return width, height, bpp, image_size


def check_icon_file(data, kind, expected):
    """expected: [(size, bpp, hotspot-or-None)]"""
    reserved, typ, count = struct.unpack_from("<HHH", data, 0)
    expect(reserved == 0 and typ == kind and count == len(expected),
           "bad directory %r" % ((typ, count),))
    masks = []
    for n, (size, bpp, hotspot) in enumerate(expected):
        w, h, colours, _, planes, bitcount, length, offset = \
            struct.unpack_from("<BBBBHHII", data, 6 + 16 * n)
        expect((w, h) == (size, size), "entry %d is %dx%d" % (n, w, h))
        if kind == 2:
            expect((planes, bitcount) == hotspot, "hot spot is %r" % ((planes, bitcount),))
        else:
            expect((planes, bitcount, colours) == (1, bpp, (1 << bpp) if bpp < 8 else 0),
                   "entry %d: planes/bit count/colours %r" % (n, (planes, bitcount, colours)))
        dw, dh, dbpp, image_size = parse_dib_header(data, offset)
        expect((dw, dh, dbpp) == (size, 2 * size, bpp), "image %d header %r" % (n, (dw, dh, dbpp)))
        stride_xor = (size * bpp + 31) // 32 * 4
        stride_and = (size + 31) // 32 * 4
        mask_off = offset + 40 + 4 * (1 << bpp) + stride_xor * size
        expect(length == 40 + 4 * (1 << bpp) + (stride_xor + stride_and) * size,
               "image %d size" % n)
        expect(image_size == (stride_xor + stride_and) * size, "image %d biSizeImage" % n)
        expect(offset + length <= len(data), "image %d truncated" % n)
        mask = [[bits_at(data, mask_off + (size - 1 - y) * stride_and, x, 1) for x in range(size)]
                for y in range(size)]
        pal_off, xor_off = offset + 40, offset + 40 + 4 * (1 << bpp)
        for y in range(size):
            for x in range(size):
                if mask[y][x]:
                    i = bits_at(data, xor_off + (size - 1 - y) * stride_xor, x, bpp)
                    expect(data[pal_off + 4 * i:pal_off + 4 * i + 3] == bytes(3),
                           "transparent pixel must be black in the XOR bitmap")
        masks.append(mask)
    return masks


def bits_at(data, row_off, x, bpp):
    per_byte = 8 // bpp
    byte = data[row_off + x // per_byte]
    return (byte >> (8 - bpp * (x % per_byte + 1))) & ((1 << bpp) - 1)


def check_bmp_file(data, width, height, bpp, rle=False):
    magic, file_size, _, _, off_bits = struct.unpack_from("<2sIHHI", data, 0)
    expect(magic == b"BM" and file_size == len(data), "bad BMP file header")
    w, h, dbpp, image_size = parse_dib_header(data, 14, 1 if rle else 0)
    expect((w, h, dbpp) == (width, height, bpp), "BMP header %r" % ((w, h, dbpp),))
    stride = (width * bpp + 31) // 32 * 4
    expect(off_bits == 14 + 40 + (4 << bpp if bpp <= 8 else 0), "bits offset %d" % off_bits)
    expect(rle or image_size == stride * height, "bitmap size")
    expect(off_bits + image_size == len(data), "bitmap size")


def check_one(name, data):
    if name == "keyprep.ico":
        for mask in check_icon_file(data, 1, [(16, 4, None), (32, 8, None)]):
            flat = sum(mask, [])
            expect(0 < sum(flat) < len(flat), "icon must mix opaque and transparent pixels")
    elif name == "hand.cur":
        mask, = check_icon_file(data, 2, [(32, 1, HAND_HOTSPOT)])
        x, y = HAND_HOTSPOT
        expect(mask[y][x] == 0 and mask[y][x - 1] == 1, "hot spot must be the finger tip")
    elif name == "header.bmp":
        check_bmp_file(data, 49, 49, 24)
    else:
        check_bmp_file(data, 413, 65, 8, rle=True)


def check(res_dir):
    """Parse every file back, then make sure it is exactly what this script draws."""
    failures = 0
    for name, make in OUTPUTS:
        with open(os.path.join(res_dir, name), "rb") as f:
            data = f.read()
        try:
            check_one(name, data)
            expect(data == make(), "differs from what this script generates")
            print("ok    " + name)
        except CheckFailed as e:
            print("FAIL  %s: %s" % (name, e))
            failures += 1
    return 1 if failures else 0


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--check", action="store_true", help="verify the files instead of writing them")
    ap.add_argument("--outdir", default=RES_DIR, help="resource folder (default: src/res)")
    args = ap.parse_args(argv)
    if args.check:
        return check(args.outdir)
    os.makedirs(args.outdir, exist_ok=True)
    for name, make in OUTPUTS:
        with open(os.path.join(args.outdir, name), "wb") as f:
            f.write(make())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
