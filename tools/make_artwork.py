#!/usr/bin/env python3
"""Draws Velmor's own artwork and writes it into resources/.

    python3 tools/make_artwork.py [output folder]

Writes the splash bitmap startup.bmp (440 x 226 pixels, 8 bits per pixel,
256-entry colour table, uncompressed; it shows the version of the file
VERSION), the icons saw.ico, saw2.ico,
square.ico, sine.ico, play.ico and stop.ico (32 x 32 and 16 x 16, 32 bits
per pixel with alpha and an AND mask), and the program's own icon
velmor.ico (48, 32, 24 and 16 pixels square, the same format). The output folder defaults to the
resources/ folder beside this script's folder.

Only the Python standard library is used. Every picture is computed with
the four basic operations and square roots, which IEEE doubles round
correctly and so the same way everywhere (the sine and exponential below
are our own series), so the script writes the same bytes on every machine.
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------
# Exact-everywhere math helpers
# ---------------------------------------------------------------------------

PI = 3.14159265358979311600  # the double nearest to pi


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def sin_(x):
    """Sine from a Taylor series after reduction to [-pi, pi]."""
    two_pi = 2.0 * PI
    k = int(x / two_pi)
    x -= k * two_pi
    while x > PI:
        x -= two_pi
    while x < -PI:
        x += two_pi
    term = x
    total = x
    x2 = x * x
    n = 1
    while n < 40:
        term = -term * x2 / ((n + 1) * (n + 2))
        total += term
        n += 2
    return total


def cos_(x):
    return sin_(x + PI / 2.0)


def exp_(x):
    """Exponential from a Taylor series of x / 64, squared six times."""
    y = x / 64.0
    term = 1.0
    total = 1.0
    for n in range(1, 30):
        term = term * y / n
        total += term
    for _ in range(6):
        total *= total
    return total


def sqrt_(x):
    return math.sqrt(x) if x > 0.0 else 0.0


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t,
            a[1] + (b[1] - a[1]) * t,
            a[2] + (b[2] - a[2]) * t)


def seg_dist(px, py, ax, ay, bx, by):
    """Distance from point p to the segment a-b."""
    dx = bx - ax
    dy = by - ay
    ll = dx * dx + dy * dy
    if ll == 0.0:
        t = 0.0
    else:
        t = clamp(((px - ax) * dx + (py - ay) * dy) / ll)
    qx = ax + dx * t - px
    qy = ay + dy * t - py
    return sqrt_(qx * qx + qy * qy)


def arc_points(cx, cy, rx, ry, a0, a1, steps):
    """Points of an elliptic arc, angles in degrees, y growing upwards."""
    pts = []
    for i in range(steps + 1):
        a = (a0 + (a1 - a0) * i / steps) * PI / 180.0
        pts.append((cx + rx * cos_(a), cy + ry * sin_(a)))
    return pts


# ---------------------------------------------------------------------------
# Coverage masks
# ---------------------------------------------------------------------------

class Mask:
    """Per-pixel coverage 0..1; shapes are united by taking the maximum."""

    def __init__(self, w, h):
        self.w = w
        self.h = h
        self.a = [0.0] * (w * h)

    def put(self, x, y, c):
        i = y * self.w + x
        if c > self.a[i]:
            self.a[i] = c

    def stroke(self, pts, r, closed=False):
        """A polyline of half width r with round ends, 1-pixel soft edge."""
        segs = list(zip(pts, pts[1:]))
        if closed:
            segs.append((pts[-1], pts[0]))
        if len(pts) == 1:
            segs = [(pts[0], pts[0])]
        for (ax, ay), (bx, by) in segs:
            x0 = max(0, int(min(ax, bx) - r - 2))
            x1 = min(self.w - 1, int(max(ax, bx) + r + 2))
            y0 = max(0, int(min(ay, by) - r - 2))
            y1 = min(self.h - 1, int(max(ay, by) + r + 2))
            for y in range(y0, y1 + 1):
                for x in range(x0, x1 + 1):
                    d = seg_dist(x + 0.5, y + 0.5, ax, ay, bx, by)
                    c = r - d + 0.5
                    if c > 0.0:
                        self.put(x, y, c if c < 1.0 else 1.0)

    def polygon(self, pts, ss=8):
        """A filled polygon, coverage from ss x ss samples per pixel."""
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        x0 = max(0, int(min(xs)) - 1)
        x1 = min(self.w - 1, int(max(xs)) + 1)
        y0 = max(0, int(min(ys)) - 1)
        y1 = min(self.h - 1, int(max(ys)) + 1)
        n = len(pts)
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                hits = 0
                for sy in range(ss):
                    py = y + (sy + 0.5) / ss
                    for sx in range(ss):
                        px = x + (sx + 0.5) / ss
                        inside = False
                        j = n - 1
                        for i in range(n):
                            xi, yi = pts[i]
                            xj, yj = pts[j]
                            if (yi > py) != (yj > py):
                                if px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                                    inside = not inside
                            j = i
                        if inside:
                            hits += 1
                if hits:
                    self.put(x, y, hits / (ss * ss))

    def round_rect(self, x0, y0, x1, y1, rad):
        cx = (x0 + x1) / 2.0
        cy = (y0 + y1) / 2.0
        hx = (x1 - x0) / 2.0 - rad
        hy = (y1 - y0) / 2.0 - rad
        for y in range(max(0, int(y0) - 1), min(self.h, int(y1) + 2)):
            for x in range(max(0, int(x0) - 1), min(self.w, int(x1) + 2)):
                qx = abs(x + 0.5 - cx) - hx
                qy = abs(y + 0.5 - cy) - hy
                ox = qx if qx > 0.0 else 0.0
                oy = qy if qy > 0.0 else 0.0
                inner = max(qx, qy)
                sd = sqrt_(ox * ox + oy * oy) + (inner if inner < 0.0 else 0.0) - rad
                c = 0.5 - sd
                if c > 0.0:
                    self.put(x, y, c if c < 1.0 else 1.0)


# ---------------------------------------------------------------------------
# Icons
# ---------------------------------------------------------------------------

INK = (18, 46, 92)            # waveform strokes: a deep blue
AXIS = (96, 112, 136)         # the faint zero line
PLAY_FILL = (36, 150, 72)
PLAY_EDGE = (16, 84, 38)
STOP_FILL = (200, 52, 48)
STOP_EDGE = (120, 26, 24)


class Rgba:
    """Straight-alpha RGBA canvas, colours 0..255, alpha 0..1."""

    def __init__(self, size):
        self.size = size
        self.px = [(0.0, 0.0, 0.0, 0.0)] * (size * size)

    def paint(self, mask, colour, alpha=1.0):
        for i, c in enumerate(mask.a):
            a = c * alpha
            if a <= 0.0:
                continue
            r0, g0, b0, a0 = self.px[i]
            out = a + a0 * (1.0 - a)
            if out <= 0.0:
                continue
            k = a0 * (1.0 - a)
            self.px[i] = ((colour[0] * a + r0 * k) / out,
                          (colour[1] * a + g0 * k) / out,
                          (colour[2] * a + b0 * k) / out,
                          out)


def saw_wave(s):
    return [[(4, 24), (16, 8), (16, 24), (28, 8), (28, 24)]]


def saw2_wave(s):
    """The second saw: a flat floor, an exponential rise, the drop; twice."""
    pts = []
    k = 2.6
    top = exp_(k) - 1.0
    for x0 in (4, 16):
        pts.append((x0, 24))
        pts.append((x0 + 3, 24))
        n = 18
        for i in range(1, n + 1):
            t = i / n
            pts.append((x0 + 3 + 9 * t, 24 - 16 * (exp_(k * t) - 1.0) / top))
        pts.append((x0 + 12, 24))
    return [pts]


def square_wave(s):
    return [[(4, 24), (4, 8), (10, 8), (10, 24), (16, 24), (16, 8),
             (22, 8), (22, 24), (28, 24), (28, 8)]]


def sine_wave(s):
    pts = []
    n = 96
    for i in range(n + 1):
        t = i / n
        pts.append((4 + 24 * t, 16 - 8 * sin_(2.0 * PI * 1.5 * t)))
    return [pts]


def waveform_icon(size, shape, r16=0.58):
    img = Rgba(size)
    scale = size / 32.0
    # 32-pixel drawings use 2-pixel strokes on even coordinates, 16-pixel
    # ones 1-pixel strokes on pixel centres, so straight edges stay crisp.
    off = 0.0 if size == 32 else 0.5
    r = 1.0 if size == 32 else r16
    if size == 32:
        axis = Mask(size, size)
        axis.stroke([(2.0, 16.0), (30.0, 16.0)], 0.5)
        img.paint(axis, AXIS, 0.45)
    wave = Mask(size, size)
    for line in shape(size):
        wave.stroke([(x * scale + off, y * scale + off) for x, y in line], r)
    img.paint(wave, INK)
    return img


def play_icon(size):
    img = Rgba(size)
    s = size / 32.0
    tri = [(10 * s, 6 * s), (10 * s, 26 * s), (26 * s, 16 * s)]
    body = Mask(size, size)
    body.polygon(tri)
    img.paint(body, PLAY_FILL)
    edge = Mask(size, size)
    edge.stroke(tri, 0.9 if size == 32 else 0.6, closed=True)
    # Keep the edge inside the triangle.
    edge.a = [min(a, b) for a, b in zip(edge.a, body.a)]
    img.paint(edge, PLAY_EDGE)
    return img


def stop_icon(size):
    img = Rgba(size)
    s = size / 32.0
    body = Mask(size, size)
    body.round_rect(8 * s, 8 * s, 24 * s, 24 * s, 1.5 * s)
    img.paint(body, STOP_FILL)
    edge = Mask(size, size)
    e0 = 8 * s + 0.5
    e1 = 24 * s - 0.5
    edge.stroke([(e0, e0), (e1, e0), (e1, e1), (e0, e1)], 0.5 if size == 32 else 0.3,
                closed=True)
    # Keep the edge inside the rounded body.
    edge.a = [min(a, b) for a, b in zip(edge.a, body.a)]
    img.paint(edge, STOP_EDGE)
    return img


# The program's own icon: a dark tile like the splash, a resonant saw wave
# in teal across it and a row of four pattern steps, two of them accented.
APP_TILE_TOP = (34, 52, 92)
APP_TILE_BOTTOM = (8, 12, 26)
APP_TILE_RIM = (72, 96, 140)


def app_wave_points(s, ring_steps):
    """Two periods of a rising saw: a ramp, a straight drop, and after each
    drop the ring of a resonant filter (left out when ring_steps is 0)."""
    x0, x1, mid, amp = 5.5, 26.5, 12.5, 6.5
    half = (x1 - x0) / 2.0
    pts = []
    for period in range(2):
        px0 = x0 + half * period
        steps = ring_steps if ring_steps > 0 else 1
        for i in range(steps + 1):
            p = i / steps
            v = (2.0 * p - 1.0) * 0.9
            if ring_steps > 0:
                v -= exp_(-3.5 * p) * sin_(2.0 * PI * 2.5 * p) * 0.5
            pts.append(((px0 + half * p) * s, (mid - amp * v) * s))
    return pts


def app_icon(size):
    img = Rgba(size)
    s = size / 32.0
    tile = Mask(size, size)
    tile.round_rect(1.0 * s, 1.0 * s, 31.0 * s, 31.0 * s, 6.0 * s)
    for y in range(size):
        row = Mask(size, size)
        for x in range(size):
            row.a[y * size + x] = tile.a[y * size + x]
        img.paint(row, mix(APP_TILE_TOP, APP_TILE_BOTTOM, y / (size - 1)))
    if size >= 32:
        rim = Mask(size, size)
        rim.round_rect(1.0 * s, 1.0 * s, 31.0 * s, 31.0 * s, 6.0 * s)
        inner = Mask(size, size)
        inner.round_rect(1.0 * s + 1.0, 1.0 * s + 1.0, 31.0 * s - 1.0, 31.0 * s - 1.0, 6.0 * s - 1.0)
        rim.a = [max(0.0, a - b) for a, b in zip(rim.a, inner.a)]
        img.paint(rim, APP_TILE_RIM, 0.7)
    pts = app_wave_points(s, 32 if size >= 32 else 0)
    if size >= 48:
        glow = Mask(size, size)
        glow.stroke(pts, 2.4 * s)
        img.paint(glow, TEAL, 0.2)
    wave = Mask(size, size)
    wave.stroke(pts, max(0.65, 1.0 * s))
    img.paint(wave, TEAL)
    for k in range(4):
        cx0 = (6.0 + 5.5 * k) * s
        cell = Mask(size, size)
        cell.round_rect(cx0, 23.0 * s, cx0 + 4.0 * s, 26.5 * s, 0.8 * s)
        img.paint(cell, AMBER if k in (0, 2) else SLATE, 1.0 if k in (0, 2) else 0.6)
    return img


APP_ICON_SIZES = (48, 32, 24, 16)


def to_byte(v):
    i = int(v + 0.5)
    return 0 if i < 0 else 255 if i > 255 else i


def ico_image(img):
    """BITMAPINFOHEADER, BGRA rows bottom-up and the AND mask."""
    n = img.size
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    mask_row = ((n + 31) // 32) * 4
    andm = bytearray()
    for y in range(n - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(n):
            r, g, b, a = img.px[y * n + x]
            ab = to_byte(a * 255.0)
            if ab == 0:
                xor += b'\0\0\0\0'
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                xor += bytes((to_byte(b), to_byte(g), to_byte(r), ab))
        andm += bits
    return header + bytes(xor) + bytes(andm)


def ico_file(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    datas = [ico_image(im) for im in images]
    offset = 6 + 16 * len(images)
    for im, data in zip(images, datas):
        n = im.size
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(datas)


def make_icons():
    icons = {}
    for name, shape, r16 in (('saw', saw_wave, 0.58), ('saw2', saw2_wave, 0.58),
                             ('square', square_wave, 0.5), ('sine', sine_wave, 0.62)):
        icons[name] = ico_file([waveform_icon(32, shape), waveform_icon(16, shape, r16)])
    icons['play'] = ico_file([play_icon(32), play_icon(16)])
    icons['stop'] = ico_file([stop_icon(32), stop_icon(16)])
    icons['velmor'] = ico_file([app_icon(n) for n in APP_ICON_SIZES])
    return icons


# ---------------------------------------------------------------------------
# Lettering
# ---------------------------------------------------------------------------

def glyph_strokes(ch):
    """Strokes of a geometric sans in units of the cap height, y upwards."""
    xh = 0.70
    if ch == 'V':
        return 0.74, [[(0.0, 1.0), (0.37, 0.0), (0.74, 1.0)]]
    if ch == 'e':
        arc = arc_points(0.32, xh / 2, 0.32, xh / 2, 0.0, 318.0, 40)
        return 0.64, [[(0.0, xh / 2), (0.64, xh / 2)], arc]
    if ch == 'l':
        return 0.0, [[(0.0, 1.02), (0.0, 0.0)]]
    if ch == 'm':
        w = 0.29
        a1 = arc_points(w / 2, xh - w / 2 * 1.3, w / 2, w / 2 * 1.3, 180.0, 0.0, 16)
        a2 = arc_points(w * 1.5, xh - w / 2 * 1.3, w / 2, w / 2 * 1.3, 180.0, 0.0, 16)
        return 2 * w, [[(0.0, 0.0), (0.0, xh)],
                       a1 + [(w, 0.0)],
                       a2 + [(2 * w, 0.0)]]
    if ch == 'o':
        return 0.68, [arc_points(0.34, xh / 2, 0.34, xh / 2, 0.0, 360.0, 48)]
    if ch == 'r':
        arc = arc_points(0.30, xh - 0.30, 0.30, 0.30, 180.0, 80.0, 14)
        return 0.36, [[(0.0, 0.0), (0.0, xh)], arc]
    if ch == '1':
        return 0.36, [[(0.02, 0.80), (0.24, 1.0), (0.24, 0.0)]]
    if ch == '.':
        return 0.02, [[(0.01, 0.05)]]
    if ch == '0':
        return 0.60, [arc_points(0.30, 0.5, 0.30, 0.5, 0.0, 360.0, 48)]
    if ch == '5':
        bowl = arc_points(0.28, 0.31, 0.31, 0.31, 90.0, -140.0, 30)
        return 0.60, [[(0.56, 1.0), (0.06, 1.0), (0.04, 0.62), (0.28, 0.62)] + bowl]
    if ch == ' ':
        return 0.30, []
    raise ValueError(ch)


def draw_text(mask, text, x, baseline, size, r, spacing):
    """Draws text in the stroke font; returns the x after the last glyph."""
    for ch in text:
        adv, strokes = glyph_strokes(ch)
        for line in strokes:
            mask.stroke([(x + px * size, baseline - py * size) for px, py in line], r)
        x += adv * size + spacing
    return x


# A small pixel font (5 x 7) for the tag line.
PIXEL_FONT = {
    'A': ('01110', '10001', '10001', '11111', '10001', '10001', '10001'),
    'B': ('11110', '10001', '10001', '11110', '10001', '10001', '11110'),
    'E': ('11111', '10000', '10000', '11110', '10000', '10000', '11111'),
    'G': ('01111', '10000', '10000', '10011', '10001', '10001', '01111'),
    'H': ('10001', '10001', '10001', '11111', '10001', '10001', '10001'),
    'I': ('111', '010', '010', '010', '010', '010', '111'),
    'L': ('10000', '10000', '10000', '10000', '10000', '10000', '11111'),
    'N': ('10001', '11001', '10101', '10011', '10001', '10001', '10001'),
    'O': ('01110', '10001', '10001', '10001', '10001', '10001', '01110'),
    'R': ('11110', '10001', '10001', '11110', '10100', '10010', '10001'),
    'S': ('01111', '10000', '10000', '01110', '00001', '00001', '11110'),
    'T': ('11111', '00100', '00100', '00100', '00100', '00100', '00100'),
    'Y': ('10001', '10001', '01010', '00100', '00100', '00100', '00100'),
    'Z': ('11111', '00001', '00010', '00100', '01000', '10000', '11111'),
    '-': ('000', '000', '000', '111', '000', '000', '000'),
    ' ': ('00', '00', '00', '00', '00', '00', '00'),
}


def pixel_text(mask, text, x, y, tracking):
    for ch in text:
        rows = PIXEL_FONT[ch]
        for j, row in enumerate(rows):
            for i, bit in enumerate(row):
                if bit == '1':
                    mask.put(x + i, y + j, 1.0)
        x += len(rows[0]) + tracking
    return x


def pixel_text_width(text, tracking):
    return sum(len(PIXEL_FONT[ch][0]) + tracking for ch in text) - tracking


# ---------------------------------------------------------------------------
# The splash bitmap
# ---------------------------------------------------------------------------

SPLASH_W = 440
SPLASH_H = 226

BG_TOP = (12, 17, 31)
BG_BOTTOM = (5, 7, 13)
GLOW = (18, 52, 68)
GRID = (22, 31, 52)
TEAL = (46, 205, 190)
AMBER = (255, 158, 40)
WHITE = (240, 244, 250)
SLATE = (132, 146, 170)
CELL_OFF = (26, 35, 58)

# The 20 static colours of a palette device: entries 0-9 and 246-255.
SYSTEM_LOW = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128),
              (128, 0, 128), (0, 128, 128), (192, 192, 192), (192, 220, 192),
              (166, 202, 240)]
SYSTEM_HIGH = [(255, 251, 240), (160, 160, 164), (128, 128, 128), (255, 0, 0),
               (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
               (0, 255, 255), (255, 255, 255)]


def ramp(stops, n):
    """n colours spread evenly along the polyline through the stops."""
    out = []
    segs = len(stops) - 1
    for i in range(n):
        t = i * segs / (n - 1)
        k = min(int(t), segs - 1)
        out.append(mix(stops[k], stops[k + 1], t - k))
    return out


def release_version():
    """The release version (MAJOR.MINOR) from the file VERSION at the top of the tree."""
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, '..', 'VERSION')) as f:
        return f.readline().strip()


def splash_palette():
    """236 colours of our own for entries 10-245, the system ones around."""
    ours = []
    ours += ramp([(2, 3, 6), BG_BOTTOM, BG_TOP, GRID, (40, 54, 84)], 44)
    ours += ramp([(9, 14, 24), GLOW, (30, 96, 104)], 20)
    ours += ramp([(10, 16, 28), (24, 100, 104), TEAL, (200, 250, 244)], 46)
    ours += ramp([(12, 12, 18), (120, 76, 28), AMBER, (255, 228, 180)], 46)
    ours += ramp([(12, 16, 28), (60, 68, 86), SLATE, (200, 208, 222), WHITE], 50)
    ours += ramp([CELL_OFF, (48, 60, 90), (84, 98, 128)], 30)
    assert len(ours) == 236
    pal = [tuple(to_byte(c) for c in col) for col in ours]
    return SYSTEM_LOW + pal + SYSTEM_HIGH


def bass_line():
    """Note on/off and accents of the 16 step cells (a bass line)."""
    on = [1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1]
    accent = [1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1]
    return on, accent


def render_splash():
    w, h = SPLASH_W, SPLASH_H
    img = [None] * (w * h)

    # Background: a dark vertical gradient, a soft teal glow behind the
    # waveform, and a faint step grid that fades out towards the bottom
    # right, where the program writes its start-up text.
    gx, gy = 300.0, 70.0
    for y in range(h):
        base = mix(BG_TOP, BG_BOTTOM, y / (h - 1))
        for x in range(w):
            dx = (x - gx) / 190.0
            dy = (y - gy) / 95.0
            d2 = dx * dx + dy * dy
            g = clamp(1.0 - d2)
            g = g * g * 0.55
            col = mix(base, GLOW, g)
            img[y * w + x] = col

    grid = Mask(w, h)
    for gxl in range(20, w, 20):
        for y in range(h):
            grid.put(gxl, y, 1.0)
    for gyl in range(20, h, 20):
        for x in range(w):
            grid.put(x, gyl, 1.0)
    for y in range(h):
        for x in range(w):
            i = y * w + x
            if grid.a[i] <= 0.0:
                continue
            # Strongest at the top left, gone at the bottom right.
            fade = clamp(1.0 - (x / w * 0.55 + y / h * 0.75))
            grid.a[i] = fade * 0.55
    composite(img, grid, GRID)

    # The waveform: a falling saw with a resonant ring after each jump,
    # across the upper right.
    wave_pts = []
    x0, x1 = 252.0, 428.0
    mid = 60.0
    periods = 3
    n = 600
    for i in range(n + 1):
        t = i / n
        x = x0 + (x1 - x0) * t
        ph = t * periods
        p = ph - int(ph)
        if i == n:
            p = 1.0
        env = 0.55 + 0.45 * (1.0 - t)
        ring = exp_(-6.0 * p) * sin_(2.0 * PI * 3.5 * p) * 0.45
        v = (1.0 - 2.0 * p) * 0.8 + ring
        wave_pts.append((x, mid - 30.0 * env * v))
    # Each period ends with a jump back up: insert it as an exact vertical
    # segment, so that it is straight and not a steep slope.
    pts = []
    for i, pnt in enumerate(wave_pts):
        if i > 0:
            t_prev = (i - 1) / n * periods
            t_now = i / n * periods
            if int(t_now) != int(t_prev) and i != n:
                xb = x0 + (x1 - x0) * int(t_now) / periods
                env = 0.55 + 0.45 * (1.0 - int(t_now) / periods)
                pts.append((xb, mid - 30.0 * env * (-0.8)))
                pts.append((xb, mid - 30.0 * env * 0.8))
        pts.append(pnt)
    glow = Mask(w, h)
    for (ax, ay), (bx, by) in zip(pts, pts[1:]):
        rr = 7.0
        xa = max(0, int(min(ax, bx) - rr - 1))
        xb2 = min(w - 1, int(max(ax, bx) + rr + 1))
        ya = max(0, int(min(ay, by) - rr - 1))
        yb = min(h - 1, int(max(ay, by) + rr + 1))
        for y in range(ya, yb + 1):
            for x in range(xa, xb2 + 1):
                d = seg_dist(x + 0.5, y + 0.5, ax, ay, bx, by)
                c = clamp(1.0 - d / rr)
                glow.put(x, y, c * c * 0.30)
    # Fade the whole waveform out at both ends.
    fade_ends(glow, x0, x1)
    composite(img, glow, TEAL)
    line = Mask(w, h)
    line.stroke(pts, 0.9)
    fade_ends(line, x0, x1)
    composite(img, line, TEAL)

    # Title and version.
    title = Mask(w, h)
    end = draw_text(title, 'Velmor', 30.0, 92.0, 58.0, 3.1, 7.0)
    composite(img, title, WHITE)
    assert end < 250.0
    # The version stands right-aligned under the waveform, on the base line
    # of the tag line.
    ver = Mask(w, h)
    version = 'V' + release_version()
    ver_w = draw_text(Mask(w, h), version, 0.0, 116.0, 16.0, 1.1, 3.0) - 3.0
    draw_text(ver, version, 412.0 - ver_w, 116.0, 16.0, 1.1, 3.0)
    composite(img, ver, AMBER)

    # The tag line in the pixel font.
    tag = Mask(w, h)
    pixel_text(tag, 'ANALOG BASS-LINE SYNTHESIZER', 32, 109, 2)
    composite(img, tag, SLATE)

    # A thin accent rule and the 16-step grid of a pattern.
    rule = Mask(w, h)
    rule.stroke([(32.0, 131.5), (272.0, 131.5)], 0.5)
    for x in range(w):
        for y in range(129, 135):
            i = y * w + x
            rule.a[i] *= clamp(1.0 - (x - 32.0) / 240.0) * 0.9
    composite(img, rule, AMBER)

    on, accent = bass_line()
    heights = [10, 0, 16, 22, 0, 12, 0, 26, 14, 0, 20, 0, 10, 18, 0, 24]
    cell_w = 12.0
    gap = 3.0
    top = 146.0
    bottom = 186.0
    for k in range(16):
        cx0 = 32.0 + k * (cell_w + gap) + (6.0 if k >= 8 else 0.0)
        slot = Mask(w, h)
        slot.round_rect(cx0, top, cx0 + cell_w, bottom, 2.0)
        composite(img, slot, CELL_OFF)
        if on[k]:
            bar = Mask(w, h)
            bar.round_rect(cx0, bottom - 6.0 - heights[k], cx0 + cell_w, bottom, 2.0)
            composite(img, bar, AMBER if accent[k] else TEAL, 0.95 if accent[k] else 0.8)
        led = Mask(w, h)
        led.round_rect(cx0 + 3.0, bottom + 6.0, cx0 + cell_w - 3.0, bottom + 9.0, 1.5)
        composite(img, led, AMBER if on[k] else CELL_OFF, 1.0 if on[k] else 0.9)

    return img


def fade_ends(mask, x0, x1):
    w = mask.w
    for y in range(mask.h):
        for x in range(w):
            i = y * w + x
            if mask.a[i] <= 0.0:
                continue
            t = (x - x0) / (x1 - x0)
            f = clamp(t / 0.12) * clamp((1.0 - t) / 0.18)
            mask.a[i] *= f


def composite(img, mask, colour, alpha=1.0):
    for i, c in enumerate(mask.a):
        if c > 0.0:
            img[i] = mix(img[i], colour, c * alpha)


def quantize(img, pal):
    """Nearest palette colour (entries 10-245 only) for each pixel."""
    ours = list(range(10, 246))
    cache = {}
    out = bytearray(len(img))
    for i, col in enumerate(img):
        key = (to_byte(col[0]), to_byte(col[1]), to_byte(col[2]))
        idx = cache.get(key)
        if idx is None:
            best = None
            bd = 0
            for j in ours:
                p = pal[j]
                dr = p[0] - key[0]
                dg = p[1] - key[1]
                db = p[2] - key[2]
                d = 3 * dr * dr + 4 * dg * dg + 2 * db * db
                if best is None or d < bd:
                    best = j
                    bd = d
            idx = best
            cache[key] = idx
        out[i] = idx
    return out


def make_splash():
    pal = splash_palette()
    pixels = quantize(render_splash(), pal)
    w, h = SPLASH_W, SPLASH_H
    row = (w + 3) // 4 * 4
    body = bytearray()
    for y in range(h - 1, -1, -1):
        body += pixels[y * w:(y + 1) * w]
        body += bytes(row - w)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(body), 2835, 2835, 256, 0)
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in pal)
    offset = 14 + len(info) + len(table)
    head = struct.pack('<2sIHHI', b'BM', offset + len(body), 0, 0, offset)
    data = head + info + table + bytes(body)
    assert len(data) == 14 + 100504
    return data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'resources')
    os.makedirs(out_dir, exist_ok=True)
    files = {'startup.bmp': make_splash()}
    for name, data in make_icons().items():
        files[name + '.ico'] = data
    for name, data in files.items():
        with open(os.path.join(out_dir, name), 'wb') as f:
            f.write(data)
        print('wrote', name, len(data), 'bytes')


if __name__ == '__main__':
    main()
