#!/usr/bin/env python3
"""Draws Torvane's assistant characters and writes them as character files (.acs).

Writes app/assistant/chars/Merlin.acs (a wizard) and Robby.acs (a robot),
each with the animations the program plays. Standard library only; the
shapes and the canvas come from make_icons.py:

    python3 scripts/make_characters.py [output-dir]

File layout (little endian), read by app/assistant/AgentCharacterFile.cpp:

    "TACS"  u16 version (1)  u16 width  u16 height
    u16 name length, name in UTF-16LE
    u16 frame count; per frame: u32 byte count, pixels packed as below
    u16 animation count; per animation: u8 name length, name (ASCII),
        u8 flags (1 = loops until the next action), u16 ms per frame,
        u16 frame count, u16 frame index each

Pixels are 32-bit BGRA, premultiplied alpha, top row first, packed in runs:
a control byte c < 128 is followed by c+1 literal pixels, c >= 128 by one
pixel repeated c-127 times.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_icons import Canvas, sd_box, sd_circle, sd_line, sd_poly, vgrad  # noqa: E402

W = H = 96
INK = (40, 36, 52)
WHITE = (255, 255, 255)
PAPER = (250, 248, 240)
PAPER_OL = (120, 120, 130)


# ------------------------------------------------------------ shape helpers

class Art:
    """Painter over one canvas; every shape gets its own bounding box so only
    the pixels near it are sampled."""

    def __init__(self):
        self.c = Canvas(W, H)

    def _fill(self, sdf, colour, box, alpha=1.0):
        x0, y0, x1, y1 = box
        self.c.fill(sdf, colour, alpha, (int(x0) - 2, int(y0) - 2, int(x1) + 3, int(y1) + 3))

    def circle(self, cx, cy, r, colour, outline=None):
        box = (cx - r, cy - r, cx + r, cy + r)
        if outline:
            self._fill(sd_circle(cx, cy, r), outline, box)
            r -= 1.2
        self._fill(sd_circle(cx, cy, r), colour, box)

    def box(self, x0, y0, x1, y1, colour, r=0.0, outline=None):
        if outline:
            self._fill(sd_box(x0, y0, x1, y1, r), outline, (x0, y0, x1, y1))
            x0, y0, x1, y1, r = x0 + 1.2, y0 + 1.2, x1 - 1.2, y1 - 1.2, max(0.0, r - 1.2)
        self._fill(sd_box(x0, y0, x1, y1, r), colour, (x0, y0, x1, y1))

    def line(self, pts, w, colour):
        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        self._fill(sd_line(pts, w), colour, (min(xs) - w, min(ys) - w, max(xs) + w, max(ys) + w))

    def poly(self, pts, colour, outline=None):
        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        box = (min(xs), min(ys), max(xs), max(ys))
        if outline:
            self._fill(sd_poly(pts), outline, box)
            f = sd_poly(pts)
            self._fill(lambda x, y: f(x, y) + 1.2, colour, box)
        else:
            self._fill(sd_poly(pts), colour, box)

    def star(self, cx, cy, r, colour):
        import math
        pts = []
        for k in range(10):
            a = math.radians(-90 + 36 * k)
            rr = r if k % 2 == 0 else r * 0.45
            pts.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
        self.poly(pts, colour)


# ------------------------------------------------------------------- props

def paper(a, step):
    a.poly([(50, 66), (80, 62), (84, 86), (54, 90)], PAPER, PAPER_OL)
    for k in range(step + 1):
        y = 70 + 5 * k
        a.line([(56, y + 0.5), (74 - 2 * k, y - 2)], 1.2, (90, 110, 160))


def pen(a, hand):
    hx, hy = hand
    a.line([(hx - 6, hy + 6), (hx + 6, hy - 10)], 2.4, (200, 40, 40))
    a.line([(hx - 7, hy + 7.5), (hx - 5.5, hy + 5.5)], 1.4, INK)


def book(a, turn):
    a.poly([(26, 64), (48, 68), (48, 84), (26, 80)], (150, 40, 40), (90, 20, 20))
    a.poly([(70, 64), (48, 68), (48, 84), (70, 80)], (150, 40, 40), (90, 20, 20))
    a.poly([(28, 64), (48, 67), (48, 81), (28, 78)], PAPER, PAPER_OL)
    a.poly([(68, 64), (48, 67), (48, 81), (68, 78)], PAPER, PAPER_OL)
    for k in range(3):
        y = 70 + 3 * k
        a.line([(31, y - 1), (45, y + 1)], 0.9, (130, 130, 150))
        a.line([(51, y + 1), (65, y - 1)], 0.9, (130, 130, 150))
    if turn:
        a.poly([(48, 67), (60, 56), (62, 70), (48, 81)], (235, 232, 220), PAPER_OL)


def thought(a, n):
    for k, (x, y, r) in enumerate([(70, 30, 2.2), (76, 22, 3.2), (84, 11, 6.5)][:n + 1]):
        a.circle(x, y, r, WHITE, (120, 120, 140))


def magnifier(a, cx, cy):
    a.line([(cx + 5, cy + 5), (cx + 12, cy + 12)], 3.4, (110, 70, 30))
    a.circle(cx, cy, 8, (90, 90, 100))
    a.c.fill(sd_circle(cx, cy, 6.6), (215, 238, 255), 0.85, (int(cx) - 9, int(cy) - 9, int(cx) + 10, int(cy) + 10))
    a.circle(cx - 2.5, cy - 2.5, 1.6, WHITE)


# Poses: where the hands are and what is in front of the character.
SEARCH_X = [30, 44, 60, 70]


def hands_for(pose):
    kind, step = pose
    if kind == "write":
        return (30, 74), (58 + 6 * step, 76 - 2 * step)
    if kind == "read":
        return (28, 74), (68, 74)
    if kind == "think":
        return (30, 80), (52, 54)
    if kind == "search":
        return (30, 80), (SEARCH_X[step] + 10, 76)
    return (30, 80), (66, 80)


def front(a, pose):
    kind, step = pose
    if kind == "write":
        paper(a, step)
    elif kind == "read":
        book(a, step == 1)
    elif kind == "think":
        thought(a, step)


def after_hands(a, pose):
    kind, step = pose
    if kind == "write":
        pen(a, hands_for(pose)[1])
    elif kind == "search":
        magnifier(a, SEARCH_X[step], 66)


def look(eyes, pose):
    kind, step = pose
    if eyes != "open":
        return eyes
    if kind in ("write", "read"):
        return "down"
    if kind == "think":
        return "up"
    if kind == "search":
        return "left" if SEARCH_X[step] < 48 else "right"
    return "open"


# -------------------------------------------------------------- characters

def eye(a, x, y, state, white_r, pupil_r, pupil, lid):
    if state == "closed":
        a.line([(x - white_r, y), (x + white_r, y)], 1.4, lid)
        return
    dx, dy = {"open": (0, 0), "down": (0, 1.4), "up": (0.8, -1.4), "left": (-1.3, 0.3), "right": (1.3, 0.3)}[state]
    a.circle(x, y, white_r, WHITE)
    a.circle(x + dx, y + dy, pupil_r, pupil)


def merlin(eyes, mouth, pose):
    a = Art()
    robe = vgrad((70, 90, 200), (34, 44, 120), 48, 94)
    a.poly([(34, 50), (62, 50), (76, 93), (20, 93)], robe, (24, 30, 80))
    for x, y in [(30, 82), (62, 76), (44, 88), (54, 62)]:
        a.star(x, y, 3, (255, 214, 70))
    lh, rh = hands_for(pose)
    front(a, pose)
    skin = (250, 214, 180)
    a.line([(38, 56), lh], 7, (48, 60, 150))
    a.line([(58, 56), rh], 7, (48, 60, 150))
    a.circle(lh[0], lh[1], 4, skin, (150, 110, 80))
    a.circle(rh[0], rh[1], 4, skin, (150, 110, 80))
    after_hands(a, pose)
    a.circle(48, 38, 12, skin, (150, 110, 80))
    a.poly([(35, 40), (61, 40), (56, 60), (48, 68), (40, 60)], (245, 245, 245), (150, 150, 160))
    if mouth == "open":
        a.box(45, 46, 51, 51, (120, 30, 40), 2.5)
    else:
        a.line([(45, 48), (51, 48)], 1.3, (120, 90, 90))
    a.line([(38, 43), (44, 45), (48, 44), (52, 45), (58, 43)], 2.6, (235, 235, 235))
    state = look(eyes, pose)
    eye(a, 43, 36, state, 2.6, 1.5, INK, (120, 80, 60))
    eye(a, 53, 36, state, 2.6, 1.5, INK, (120, 80, 60))
    a.line([(40, 32), (45, 31.5)], 1.4, (220, 220, 220))
    a.line([(51, 31.5), (56, 32)], 1.4, (220, 220, 220))
    a.circle(48, 40, 2.4, (235, 180, 150))
    hat = vgrad((120, 70, 190), (70, 40, 130), 2, 30)
    a.poly([(33, 29), (63, 29), (56, 12), (46, 1)], hat, (40, 20, 80))
    a.box(29, 26, 67, 31, (90, 50, 150), 2.5, (40, 20, 80))
    a.star(52, 16, 3.2, (255, 214, 70))
    a.star(44, 23, 2, (255, 214, 70))
    return a.c


def robby(eyes, mouth, pose):
    a = Art()
    metal = vgrad((214, 220, 230), (140, 150, 165), 48, 88)
    a.box(34, 84, 62, 94, (80, 84, 96), 4, (40, 44, 52))
    a.box(28, 50, 68, 88, metal, 6, (60, 66, 78))
    a.box(38, 58, 58, 72, (60, 70, 90), 3)
    for k, col in enumerate([(255, 80, 70), (90, 220, 90), (255, 200, 60)]):
        a.circle(42 + 6 * k, 65, 2, col)
    lh, rh = hands_for(pose)
    front(a, pose)
    a.line([(32, 56), lh], 5, (120, 128, 140))
    a.line([(64, 56), rh], 5, (120, 128, 140))
    a.circle(lh[0], lh[1], 4.2, (170, 178, 190), (70, 76, 88))
    a.circle(rh[0], rh[1], 4.2, (170, 178, 190), (70, 76, 88))
    after_hands(a, pose)
    a.box(44, 44, 52, 51, (120, 128, 140))
    a.line([(48, 17), (48, 8)], 1.6, (70, 76, 88))
    a.circle(48, 7, 3, (255, 90, 70), (140, 30, 30))
    head = vgrad((226, 232, 240), (160, 170, 184), 16, 46)
    a.box(30, 16, 66, 46, head, 7, (60, 66, 78))
    a.box(36, 24, 60, 34, (40, 48, 64), 4)
    state = look(eyes, pose)
    eye(a, 42, 29, state, 3.4, 2.0, (40, 200, 255), (90, 220, 255))
    eye(a, 54, 29, state, 3.4, 2.0, (40, 200, 255), (90, 220, 255))
    if mouth == "open":
        a.box(40, 37, 56, 43, (40, 48, 64), 2)
        a.box(42, 39, 54, 41, (255, 120, 90), 1)
    else:
        a.box(40, 38.5, 56, 41.5, (40, 48, 64), 1.5)
    return a.c


# Frames: eyes, mouth, pose; animations: name, loops, ms per frame, frame list.
FRAMES = [
    ("open", "closed", ("rest", 0)),
    ("closed", "closed", ("rest", 0)),
    ("open", "open", ("rest", 0)),
    ("open", "closed", ("write", 0)),
    ("open", "closed", ("write", 1)),
    ("open", "closed", ("write", 2)),
    ("open", "closed", ("read", 0)),
    ("open", "closed", ("read", 1)),
    ("open", "closed", ("think", 0)),
    ("open", "closed", ("think", 1)),
    ("open", "closed", ("think", 2)),
    ("open", "closed", ("search", 0)),
    ("open", "closed", ("search", 1)),
    ("open", "closed", ("search", 2)),
    ("open", "closed", ("search", 3)),
]
ANIMATIONS = [
    ("Idle", True, 160, [0] * 14 + [1] + [0] * 8 + [1, 0, 1]),
    ("Speak", True, 140, [2, 0, 2, 2, 0, 2, 0]),
    ("Write", False, 220, [3, 4, 5, 4, 3, 4, 5, 5]),
    ("Read", False, 320, [6, 6, 6, 7, 6, 6, 7, 6]),
    ("think", False, 320, [8, 9, 10, 10, 10, 10]),
    ("Searching", True, 200, [11, 12, 13, 14, 13, 12]),
]


def pack(c):
    """Premultiplied BGRA pixels, top row first, packed in runs."""
    px = []
    for j in range(c.h):
        for i in range(c.w):
            r, g, b, al = c.px[j * c.w + i]
            px.append(bytes((round(b * 255), round(g * 255), round(r * 255), round(al * 255))))
    out = bytearray()
    i = 0
    while i < len(px):
        run = 1
        while i + run < len(px) and run < 128 and px[i + run] == px[i]:
            run += 1
        if run >= 2:
            out.append(127 + run)
            out += px[i]
            i += run
            continue
        lit = 1
        while i + lit < len(px) and lit < 128 and not (i + lit + 1 < len(px) and px[i + lit] == px[i + lit + 1]):
            lit += 1
        out.append(lit - 1)
        for p in px[i:i + lit]:
            out += p
        i += lit
    return bytes(out)


def character_file(name, draw):
    out = bytearray(b"TACS")
    out += struct.pack("<HHH", 1, W, H)
    encoded = name.encode("utf-16-le")
    out += struct.pack("<H", len(name)) + encoded
    out += struct.pack("<H", len(FRAMES))
    for eyes, mouth, pose in FRAMES:
        data = pack(draw(eyes, mouth, pose))
        out += struct.pack("<I", len(data)) + data
    out += struct.pack("<H", len(ANIMATIONS))
    for anim, loops, ms, frames in ANIMATIONS:
        out += struct.pack("<B", len(anim)) + anim.encode("ascii")
        out += struct.pack("<BHH", 1 if loops else 0, ms, len(frames))
        out += struct.pack("<%dH" % len(frames), *frames)
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "app", "assistant", "chars")
    os.makedirs(out, exist_ok=True)
    for name, draw in (("Merlin", merlin), ("Robby", robby)):
        data = character_file(name, draw)
        path = os.path.join(out, name + ".acs")
        with open(path, "wb") as f:
            f.write(data)
        print("wrote", os.path.normpath(path), len(data), "bytes")


if __name__ == "__main__":
    main()
