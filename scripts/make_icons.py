#!/usr/bin/env python3
"""Draws the program icon and the tool bar strips of Torvane.

Writes app/ui/res/torvane.ico (16, 24, 32, 48 px, 32-bit BGRA with AND mask)
and app/ui/res/toolbar<size>.bmp for 16, 20, 24, 32, 36, 48 px (7 pictures side by side,
32-bit BI_RGB, straight alpha, bottom-up). Standard library only, so the
pictures can be rebuilt on any plain Debian machine:

    python3 scripts/make_icons.py [output-dir]

Shapes are signed distance functions in pixel units; every pixel is sampled
4x4 times so edges come out anti-aliased, and outlines are simply the shape
drawn in a dark colour with the fill inset by one pixel on top of it.
"""
import math
import os
import struct
import sys

SS = 4  # samples per pixel and axis
OFFS = [(i + 0.5) / SS for i in range(SS)]

# Windows-7-like palette
NAVY = (28, 68, 128)
BLUE_HI = (132, 192, 246)
BLUE = (64, 138, 218)
BLUE_LO = (36, 98, 182)
SKY = (200, 228, 252)
GREY_OL = (88, 94, 106)
GREY_HI = (236, 239, 243)
GREY = (196, 202, 211)
GREY_LO = (150, 158, 170)
GREEN_OL = (28, 104, 32)
GREEN_HI = (128, 212, 96)
GREEN = (58, 170, 56)
AMBER_OL = (178, 116, 0)
AMBER = (255, 204, 48)
WHITE = (255, 255, 255)
PAPER_OL = (110, 120, 136)


# ---------------------------------------------------------------- distances

def sd_box(x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        out = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return out + min(max(qx, qy), 0.0) - r
    return f


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def _seg_dist(x, y, ax, ay, bx, by):
    ex, ey = bx - ax, by - ay
    wx, wy = x - ax, y - ay
    t = (wx * ex + wy * ey) / (ex * ex + ey * ey)
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return math.hypot(wx - ex * t, wy - ey * t)


def sd_line(pts, w):
    """Polyline with round caps and joins, stroke width w."""
    segs = list(zip(pts, pts[1:]))

    def f(x, y):
        return min(_seg_dist(x, y, a[0], a[1], b[0], b[1]) for a, b in segs) - w / 2
    return f


def sd_poly(pts):
    n = len(pts)

    def f(x, y):
        d = (x - pts[0][0]) ** 2 + (y - pts[0][1]) ** 2
        s = 1.0
        j = n - 1
        for i in range(n):
            px, py = pts[i]
            ex, ey = pts[j][0] - px, pts[j][1] - py
            wx, wy = x - px, y - py
            t = (wx * ex + wy * ey) / (ex * ex + ey * ey)
            t = 0.0 if t < 0 else 1.0 if t > 1 else t
            bx, by = wx - ex * t, wy - ey * t
            d = min(d, bx * bx + by * by)
            c1, c2, c3 = y >= py, y < pts[j][1], ex * wy > ey * wx
            if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
                s = -s
            j = i
        return s * math.sqrt(d)
    return f


def sd_arc(cx, cy, r, a0, a1, w):
    """Stroke along a circle from angle a0 to a1 (degrees, clockwise on screen)."""
    a0r, a1r = math.radians(a0), math.radians(a1)
    sweep = (a1r - a0r) % (2 * math.pi)
    ends = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a in (a0r, a1r)]

    def f(x, y):
        a = (math.atan2(y - cy, x - cx) - a0r) % (2 * math.pi)
        if a <= sweep:
            return abs(math.hypot(x - cx, y - cy) - r) - w / 2
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - w / 2
    return f


def sd_gear(cx, cy, r_body, r_tip, teeth, tooth_w):
    step = 2 * math.pi / teeth
    body = sd_circle(0, 0, r_body)
    tooth = sd_box(0, -tooth_w / 2, r_tip, tooth_w / 2, min(0.6, tooth_w / 3))

    def f(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        a = math.atan2(dy, dx) + step / 2
        a = (a % step) - step / 2
        lx, ly = r * math.cos(a), r * math.sin(a)
        return min(body(dx, dy), tooth(lx, ly))
    return f


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def minus(f, g):
    return lambda x, y: max(f(x, y), -g(x, y))


def inset(f, d):
    return lambda x, y: f(x, y) + d


# ------------------------------------------------------------------ canvas

class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]  # premultiplied

    def fill(self, sdf, colour, alpha=1.0, box=None):
        """Composite the inside of sdf; colour is an RGB tuple or f(x, y)."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        for j in range(max(0, y0), min(self.h, y1)):
            for i in range(max(0, x0), min(self.w, x1)):
                d = sdf(i + 0.5, j + 0.5)
                if d >= 0.75:
                    continue
                if d <= -0.75:
                    cov = 1.0
                else:
                    hits = 0
                    for oy in OFFS:
                        for ox in OFFS:
                            if sdf(i + ox, j + oy) < 0:
                                hits += 1
                    cov = hits / (SS * SS)
                    if not hits:
                        continue
                c = colour(i + 0.5, j + 0.5) if callable(colour) else colour
                a = cov * alpha
                p = self.px[j * self.w + i]
                k = 1.0 - a
                p[0] = c[0] / 255 * a + p[0] * k
                p[1] = c[1] / 255 * a + p[1] * k
                p[2] = c[2] / 255 * a + p[2] * k
                p[3] = a + p[3] * k

    def rgba(self, i, j):
        """Straight (not premultiplied) 8-bit RGBA of one pixel."""
        r, g, b, a = self.px[j * self.w + i]
        if a < 0.5 / 255:
            return 0, 0, 0, 0
        return (min(255, round(r / a * 255)), min(255, round(g / a * 255)),
                min(255, round(b / a * 255)), round(a * 255))


def vgrad(c0, c1, y0, y1):
    def f(x, y):
        t = (y - y0) / (y1 - y0) if y1 != y0 else 0.0
        t = 0.0 if t < 0 else 1.0 if t > 1 else t
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))
    return f


class Pen:
    """Draws into one square cell of a canvas; design coordinates are
    given on a 24-unit grid and scaled to the cell size."""

    def __init__(self, canvas, ox, size):
        self.c, self.ox, self.s = canvas, ox, size
        self.k = size / 24.0
        self.box = (ox, 0, ox + size, size)

    def X(self, v):
        return self.ox + v * self.k

    def Y(self, v):
        return v * self.k

    def SX(self, v):  # snapped to whole pixels, for crisp straight edges
        return self.ox + round(v * self.k)

    def SY(self, v):
        return round(v * self.k)

    def L(self, v):  # a length
        return v * self.k

    def fill(self, sdf, colour, alpha=1.0):
        self.c.fill(sdf, colour, alpha, self.box)

    def outlined(self, sdf, fill, outline, width=1.0):
        """Dark rim one pixel wide, fill inset by it."""
        self.fill(sdf, outline)
        self.fill(inset(sdf, width), fill)

    def grad(self, c0, c1, y0, y1):
        return vgrad(c0, c1, self.Y(y0), self.Y(y1))

    def small(self):
        return self.s < 20


# ------------------------------------------------------------ the pictures

def draw_registry_scan(p):
    # a small table (the registry's key/value grid) behind a magnifier
    x0, y0, x1, y1 = p.SX(1), p.SY(2), p.SX(16), p.SY(17)
    p.outlined(sd_box(x0, y0, x1, y1, 0.5), WHITE, GREY_OL)
    head = p.SY(6)
    p.fill(sd_box(x0 + 1, y0 + 1, x1 - 1, head), p.grad(BLUE_HI, BLUE, 2, 6))
    rows = [p.SY(v) for v in (9.5, 13)] if not p.small() else [p.SY(10.5)]
    for ry in [head] + rows:
        p.fill(sd_box(x0 + 1, ry, x1 - 1, ry + 1), GREY)
    col = p.SX(6.5)
    p.fill(sd_box(col, head, col + 1, y1 - 1), GREY)

    cx, cy, r = p.X(14.5), p.Y(13.5), p.L(5.6)
    handle = sd_line([(p.X(18.6), p.Y(17.6)), (p.X(22), p.Y(21))], max(2.6, p.L(3.6)))
    p.outlined(handle, p.grad((120, 96, 70), (70, 52, 36), 17, 22), (44, 32, 22))
    if p.small():
        # too little room for a rim: a dark ring around light glass
        lens = sd_circle(p.X(14), p.Y(13.5), 3.9)
        p.fill(lens, NAVY)
        p.fill(inset(lens, 1.4), p.grad(WHITE, SKY, 9, 18))
        p.fill(sd_arc(p.X(14), p.Y(13.5), 1.3, 190, 260, 0.9), BLUE, 0.8)
        return
    ring = sd_circle(cx, cy, r)
    p.fill(ring, NAVY)
    p.fill(inset(ring, 1), p.grad(BLUE, BLUE_LO, 8, 19))
    glass = inset(ring, max(2.0, p.L(2.4)))
    p.fill(glass, NAVY)
    p.fill(inset(glass, 1), p.grad(WHITE, SKY, 9, 18), 0.85)
    # glint
    p.fill(sd_arc(cx, cy, r - max(2.0, p.L(2.4)) - max(1.6, p.L(1.8)), 200, 250,
                  max(0.9, p.L(1.1))), WHITE, 0.9)


def floppy(p, x0, y0, n, lines=2, back=False):
    x1, y1 = x0 + n, y0 + n

    def at(t):  # proportional position on the disk, snapped
        return round(t * n)
    cut = max(2, at(0.17))
    disk = sd_poly([(x0, y0), (x1 - cut, y0), (x1, y0 + cut), (x1, y1), (x0, y1)])
    if back:
        p.outlined(disk, vgrad(BLUE_HI, BLUE, y0, y1), NAVY)
        return
    p.outlined(disk, vgrad(BLUE, BLUE_LO, y0, y1), NAVY)
    # metal shutter at the top, with its window
    sx0, sx1, sy1 = x0 + at(0.22), x1 - at(0.28), y0 + at(0.36)
    p.outlined(sd_box(sx0, y0, sx1, sy1), vgrad(GREY_HI, GREY, y0, sy1), GREY_OL)
    slot = sx1 - 1 - max(1, at(0.13))
    p.fill(sd_box(slot, y0 + 2, sx1 - 2, sy1 - 2), GREY_OL)
    # white label
    lx0, lx1, ly0 = x0 + at(0.17), x1 - at(0.17), y0 + at(0.56)
    p.fill(sd_box(lx0, ly0, lx1, y1 - 1, 0.4), WHITE)
    for i in range(lines):
        ly = ly0 + 2 + 2 * i
        p.fill(sd_box(lx0 + 2 - (lines == 1), ly, lx1 - 2 + (lines == 1), ly + 1), SKY)


def draw_backup(p):
    # floppy disk; on the big picture a second one behind it: the copy
    if p.small():
        floppy(p, p.SX(1), p.SY(1), p.SX(22.5) - p.SX(1), lines=1)
    else:
        floppy(p, p.SX(5), p.SY(1), 18, back=True)
        floppy(p, p.SX(1), p.SY(5), 18)


def draw_programs(p):
    # application window with a blue caption and four tiles
    x0, y0, x1, y1 = p.SX(1), p.SY(2), p.SX(23), p.SY(21)
    win = sd_box(x0, y0, x1, y1, 1.0)
    p.outlined(win, p.grad(BLUE_HI, BLUE_LO, 2, 21), NAVY)
    cap = p.SY(6)
    # client area; on the small picture the frame is only the outline
    frame = 1 if p.small() else 2
    p.fill(sd_box(x0 + frame, cap, x1 - frame, y1 - frame), WHITE)
    p.fill(sd_box(x0 + frame, cap, x1 - frame, cap + 1), GREY_LO, 0.6)
    # close button
    bx = x1 - 2 - max(3, round(p.L(4)))
    p.fill(sd_box(bx, y0 + (1 if p.small() else 1.5), x1 - 2, cap - 1, 0.6), (212, 72, 58))
    # tiles, laid out on whole pixels
    if p.small():
        cols, rows = [(3, 7), (9, 13)], [(5, 8), (9, 12)]
    else:
        cols, rows = [(4, 11), (13, 20)], [(8, 12), (14, 18)]
    colours = [((BLUE_HI, BLUE_LO), NAVY), ((GREEN_HI, GREEN), GREEN_OL),
               ((AMBER, (236, 150, 20)), AMBER_OL), (((250, 130, 110), (210, 60, 46)), (140, 30, 22))]
    for n, ((g0, g1), ol) in enumerate(colours):
        (a, c), (b, d) = cols[n % 2], rows[n // 2]
        a, c = a + p.ox, c + p.ox
        p.outlined(sd_box(a, b, c, d, 0.3), vgrad(g0, g1, b, d), ol)


def sparkle(p, cx, cy, r):
    k = r * 0.24
    star = sd_poly([(cx, cy - r), (cx + k, cy - k), (cx + r, cy), (cx + k, cy + k),
                    (cx, cy + r), (cx - k, cy + k), (cx - r, cy), (cx - k, cy - k)])
    p.fill(inset(star, -0.8), WHITE, 0.8)
    p.fill(star, AMBER_OL)
    p.fill(inset(star, 0.7), p.grad((255, 240, 150), AMBER, cy / p.k - 2, cy / p.k + 2))


def draw_disk(p):
    # hard disk drive seen slightly from above, with a sparkle: "cleaned"
    x0, x1 = p.SX(1), p.SX(22)
    top, lid, bot = p.SY(9), p.SY(13), p.SY(21)
    slant = max(2, round(p.L(3)))
    body = sd_poly([(x0 + slant, top), (x1 - slant, top), (x1, lid), (x1, bot), (x0, bot), (x0, lid)])
    p.outlined(body, p.grad(GREY_HI, GREY, 9, 13), GREY_OL)
    # front face below the lid edge
    p.fill(sd_box(x0, lid, x1, lid + 1), GREY_OL)
    p.fill(sd_box(x0 + 1, lid + 1, x1 - 1, bot - 1), p.grad((212, 218, 226), (160, 168, 181), 13, 21))
    # ventilation slits and the activity light
    ly0, ly1 = lid + 2, bot - 2
    if not p.small():
        for gx in range(x0 + 3, x1 - 7, 2):
            p.fill(sd_box(gx, ly0, gx + 1, ly1), GREY_LO)
    ledy = (ly0 + ly1) / 2
    led = sd_circle(x1 - (3.5 if not p.small() else 3.0), ledy, max(1.1, p.L(1.5)))
    p.fill(inset(led, -0.8), (20, 90, 20), 0.7)
    p.fill(led, (110, 240, 90))
    sparkle(p, p.X(18.5), p.Y(4.6), p.L(4.6))
    if not p.small():
        sparkle(p, p.X(11.5), p.Y(4.2), p.L(2.6))


def draw_office(p):
    # document sheet with a folded corner and text lines
    x0, y0, x1, y1 = p.SX(4), p.SY(1), p.SX(20), p.SY(23)
    fold = max(4, round(p.L(6)))
    sheet = sd_poly([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    p.outlined(sheet, p.grad(WHITE, (228, 236, 246), 1, 23), PAPER_OL)
    corner = sd_poly([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)])
    p.fill(corner, PAPER_OL)
    p.fill(inset(corner, 1), p.grad(SKY, BLUE_HI, 1, 7))
    # heading line in blue, body lines in grey
    lx0, lx1 = x0 + 2, x1 - 2
    if p.small():
        ys = [y0 + 3, y0 + 6, y0 + 8, y0 + 10, y0 + 12]
    else:
        ys = [y0 + 4, y0 + 8, y0 + 11, y0 + 14, y0 + 17]
    for n, ly in enumerate(ys):
        right = lx1 - (fold if n == 0 else 0) - (3 if n == len(ys) - 1 else 0)
        colour = BLUE if n == 0 else GREY_LO
        h = 2 if (n == 0 and not p.small()) else 1
        p.fill(sd_box(lx0, ly, right, ly + h), colour)


def draw_gear(p):
    # straight teeth and their tips sit on whole pixels at both sizes
    if p.small():
        cx, cy = p.ox + 8.5, 8.5
        gear = sd_gear(cx, cy, 4.7, 6.5, 8, 3.0)
        hole = sd_circle(cx, cy, 1.9)
    else:
        cx, cy = p.X(12), p.Y(12)
        gear = sd_gear(cx, cy, 7.6, 11, 8, 4.0)
        hole = sd_circle(cx, cy, 3.2)
    p.outlined(minus(gear, hole), p.grad(BLUE_HI, BLUE_LO, 1, 23), NAVY)
    if not p.small():
        p.fill(minus(sd_circle(cx, cy, 6.0), sd_circle(cx, cy, 5.0)), NAVY, 0.35)


def draw_help(p):
    cx, cy = p.X(12), p.Y(12)
    disc = sd_circle(cx, cy, p.L(11))
    p.outlined(disc, p.grad(BLUE_HI, BLUE_LO, 1, 23), NAVY)
    # soft gloss on the upper half
    p.fill(minus(sd_circle(cx, p.Y(8.5), p.L(8.4)), sd_circle(cx, p.Y(17), p.L(11))), WHITE, 0.22)
    # the glyph: an arc over the top bending into the stem, then the dot;
    # stem and dot are placed on whole pixels so they stay sharp
    if p.small():
        w, r, qy, stem_bottom, doty = 2.0, 2.8, 6.0, 9.4, 11.0
    else:
        w, r, qy, stem_bottom, doty = 2.8, 3.7, 9.2, 14.6, 18.4
    bend = 40
    ex = cx + r * math.cos(math.radians(bend))
    ey = qy + r * math.sin(math.radians(bend))
    hook = union(sd_arc(cx, qy, r, 185, bend, w),
                 sd_line([(ex, ey), (cx, ey + w * 0.6), (cx, stem_bottom)], w))
    if p.small():
        dot = sd_box(cx - 1, doty, cx + 1, doty + 2, 0.5)
    else:
        dot = sd_circle(cx, doty, w * 0.62)
    glyph = union(hook, dot)
    if not p.small():
        p.fill(inset(glyph, -0.9), NAVY, 0.5)
    p.fill(glyph, WHITE)


PICTURES = [draw_registry_scan, draw_backup, draw_programs, draw_disk,
            draw_office, draw_gear, draw_help]


def draw_icon(p):
    # a registry cube (blocks on three faces) with a green check mark
    def P(x, y):
        return (p.X(x), p.Y(y))
    top = [P(11, 1.2), P(21, 6.4), P(11, 11.6), P(1, 6.4)]
    left = [P(1, 6.4), P(11, 11.6), P(11, 22.4), P(1, 17.2)]
    right = [P(11, 11.6), P(21, 6.4), P(21, 17.2), P(11, 22.4)]
    hexa = sd_poly([P(11, 1.2), P(21, 6.4), P(21, 17.2), P(11, 22.4), P(1, 17.2), P(1, 6.4)])
    p.fill(hexa, NAVY)
    inner = inset(hexa, 1)
    faces = [(top, p.grad((196, 228, 255), BLUE_HI, 1, 12)),
             (left, p.grad(BLUE, (44, 112, 196), 6, 22)),
             (right, p.grad(BLUE_LO, (26, 76, 150), 6, 22))]
    for pts, col in faces:
        p.fill(lambda x, y, f=sd_poly(pts): max(f(x, y), inner(x, y)), col)
    # the three inner edges, lighter so the cube reads as a solid
    edge_w = 0.9 if p.small() else 1.0
    p.fill(sd_line([P(1.6, 6.7), P(11, 11.6), P(20.4, 6.7)], edge_w), (232, 244, 255), 0.9)
    p.fill(sd_line([P(11, 11.6), P(11, 21.8)], edge_w), (232, 244, 255), 0.75)
    if p.s >= 32:
        # split each face into 2x2 blocks
        def mixp(a, b, t):
            return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t)
        for pts, alpha in ((top, 0.55), (left, 0.5), (right, 0.5)):
            a, b, c, d = pts
            lines = [[mixp(a, b, 0.5), mixp(d, c, 0.5)], [mixp(a, d, 0.5), mixp(b, c, 0.5)]]
            for ln in lines:
                seam = sd_line(ln, 0.9 if p.s < 48 else 1.1)
                p.fill(lambda x, y, f=seam: max(f(x, y), inner(x, y)), NAVY, alpha)
    # check mark
    if p.s <= 24:  # larger on the small sizes, it is what the tray shows
        w = max(2.7, p.L(3.8))
        check = sd_line([P(11.2, 15.6), P(15.4, 19.8), P(22.4, 10.4)], w)
    else:
        w = p.L(3.4)
        check = sd_line([P(12.6, 16.4), P(16, 19.8), P(22.2, 11.6)], w)
    p.fill(inset(check, -1.2), WHITE)
    p.fill(check, GREEN_OL)
    p.fill(inset(check, 1), p.grad(GREEN_HI, GREEN, 11, 21))


# ----------------------------------------------------------------- writers

def render_strip(size):
    c = Canvas(size * len(PICTURES), size)
    for n, draw in enumerate(PICTURES):
        draw(Pen(c, n * size, size))
    return c


def bmp_bytes(c):
    """32-bit BI_RGB DIB, bottom-up, straight alpha."""
    rows = []
    for j in reversed(range(c.h)):
        row = bytearray()
        for i in range(c.w):
            r, g, b, a = c.rgba(i, j)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def ico_image(c):
    """One icon image: BITMAPINFOHEADER (double height), BGRA rows, AND mask."""
    xor = bytearray()
    mask = bytearray()
    stride = ((c.w + 31) // 32) * 4
    for j in reversed(range(c.h)):
        bits = bytearray(stride)
        for i in range(c.w):
            r, g, b, a = c.rgba(i, j)
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def ico_bytes(canvases):
    images = [ico_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b"".join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "app", "ui", "res")
    os.makedirs(out, exist_ok=True)
    icons = []
    for s in (16, 24, 32, 48):
        c = Canvas(s, s)
        draw_icon(Pen(c, 0, s))
        icons.append(c)
    files = {
        "torvane.ico": ico_bytes(icons),
    }
    # The tool bar at every scale the program chooses from (see frmMDI::ToolbarImageSize).
    for size in (16, 20, 24, 32, 36, 48):
        files["toolbar%d.bmp" % size] = bmp_bytes(render_strip(size))
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print("wrote", os.path.normpath(os.path.join(out, name)), len(data), "bytes")


if __name__ == "__main__":
    main()
