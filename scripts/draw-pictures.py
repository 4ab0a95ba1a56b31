#!/usr/bin/env python3
"""Draws Mirdal's icon and bitmaps into app/res/.

The pictures live here as code so they can be tweaked and redrawn without an
image editor. Shapes are signed distance functions (negative inside), so an
outline or a halo is just the same shape grown or shrunk by a pixel.
Standard library only.
"""
import math
import os
import struct

RES = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'app', 'res')

MAGENTA = (255, 0, 255)
# Toolbars and list views sit on a light face; half-covered edge pixels are
# blended against it because the magenta key only knows on or off.
FACE = (240, 240, 240)

WHITE = (255, 255, 255)
INK = (64, 64, 64)
PAGE_EDGE = (118, 118, 118)
PAGE_FOLD = (214, 214, 214)
TEXT = (150, 150, 150)
BLUE = (0, 120, 212)
BLUE_DARK = (0, 74, 140)
BLUE_LIGHT = (96, 170, 235)
TEAL = (0, 150, 160)
TEAL_DARK = (0, 96, 104)
TEAL_LIGHT = (80, 200, 205)
GREEN = (16, 137, 62)
RED = (209, 52, 56)
AMBER = (255, 185, 0)
AMBER_DARK = (176, 110, 0)
FOLDER_BACK = (226, 164, 28)
FOLDER_FRONT = (255, 205, 75)
FOLDER_EDGE = (170, 116, 0)
STEEL = (200, 204, 210)
STEEL_DARK = (96, 102, 110)
STEEL_LIGHT = (232, 235, 238)


# --- shapes: each returns f(x, y) -> signed distance in pixels ------------

def box(x0, y0, x1, y1, r=0.0):
    """Axis-aligned rectangle covering pixels x0..x1-1, y0..y1-1; r rounds corners."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(x, y):
        dx, dy = abs(x - cx) - hx, abs(y - cy) - hy
        return math.hypot(max(dx, 0), max(dy, 0)) + min(max(dx, dy), 0) - r
    return f


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    # Scaled circle distance; close enough for the small radii used here.
    return lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1) * min(rx, ry)


def segment(x0, y0, x1, y1, width):
    vx, vy = x1 - x0, y1 - y0
    ll = vx * vx + vy * vy

    def f(x, y):
        t = max(0.0, min(1.0, ((x - x0) * vx + (y - y0) * vy) / ll))
        return math.hypot(x - x0 - vx * t, y - y0 - vy * t) - width / 2
    return f


def polyline(points, width):
    return union(*[segment(*a, *b, width) for a, b in zip(points, points[1:])])


def polygon(points):
    n = len(points)

    def f(x, y):
        d = float('inf')
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[i - 1]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return -d if inside else d
    return f


def arc(cx, cy, r, a0, a1, width):
    """Stroke of a circle from angle a0 to a1 (radians, clockwise on screen)."""
    span = (a1 - a0) % (2 * math.pi)
    ends = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a in (a0, a1)]

    def f(x, y):
        if (math.atan2(y - cy, x - cx) - a0) % (2 * math.pi) <= span:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - width / 2
    return f


def gear(cx, cy, r_out, r_body, teeth, tooth_w, hole):
    step = 2 * math.pi / teeth
    start = -math.pi / 2
    tooth = box(0, -tooth_w / 2, r_out, tooth_w / 2, min(0.6, tooth_w / 3))

    def f(x, y):
        dx, dy = x - cx, y - cy
        a = start + round((math.atan2(dy, dx) - start) / step) * step
        u = dx * math.cos(a) + dy * math.sin(a)
        v = -dx * math.sin(a) + dy * math.cos(a)
        rr = math.hypot(dx, dy)
        return max(min(rr - r_body, tooth(u, v)), hole - rr)
    return f


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def inter(f, g):
    return lambda x, y: max(f(x, y), g(x, y))


def grow(f, d):
    """Positive d makes the shape fatter, negative thinner."""
    return lambda x, y: f(x, y) - d


def vgrad(top, bottom, y0, y1):
    """Vertical colour ramp, usable wherever a colour is."""
    def c(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return c


# --- canvas ---------------------------------------------------------------

class Canvas:
    SS = 4  # supersamples per axis, for anti-aliasing

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * w for _ in range(h)]

    def fill(self, f, color, alpha=1.0):
        n = self.SS
        offs = [(i + 0.5) / n for i in range(n)]
        for y in range(self.h):
            row = self.px[y]
            for x in range(self.w):
                if f(x + 0.5, y + 0.5) > 1.0:
                    continue  # far outside; skip the supersampling
                hits = sum(1 for sy in offs for sx in offs if f(x + sx, y + sy) < 0)
                if not hits:
                    continue
                c = color(x + 0.5, y + 0.5) if callable(color) else color
                a = alpha * hits / (n * n)
                r0, g0, b0, a0 = row[x]
                na = a + a0 * (1 - a)
                row[x] = tuple((ci * a + oi * a0 * (1 - a)) / na
                               for ci, oi in zip(c, (r0, g0, b0))) + (na,)

    def outlined(self, f, edge, inner, width=1.0):
        self.fill(f, edge)
        self.fill(grow(f, -width), inner)

    def haloed(self, f, color, halo=WHITE, width=1.0):
        """Keeps a small overlay readable over whatever is under it."""
        self.fill(grow(f, width), halo)
        self.fill(f, color)

    def rgba(self, x, y):
        r, g, b, a = self.px[y][x]
        return tuple(min(255, max(0, int(round(v)))) for v in (r, g, b)) + (int(round(a * 255)),)


def strip(*canvases):
    """Places equal-height pictures side by side."""
    h = canvases[0].h
    out = Canvas(sum(c.w for c in canvases), h)
    x0 = 0
    for c in canvases:
        for y in range(h):
            out.px[y][x0:x0 + c.w] = c.px[y]
        x0 += c.w
    return out


# --- file writers ---------------------------------------------------------

def write_bmp(path, cv):
    stride = (cv.w * 3 + 3) & ~3
    rows = []
    for y in reversed(range(cv.h)):
        row = bytearray()
        for x in range(cv.w):
            r, g, b, a = cv.rgba(x, y)
            if a < 128:
                r, g, b = MAGENTA
            elif a < 255:
                t = a / 255
                r, g, b = (int(round(c * t + f * (1 - t))) for c, f in zip((r, g, b), FACE))
            row += bytes((b, g, r))
        rows.append(bytes(row.ljust(stride, b'\0')))
    pixels = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 40, cv.w, cv.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as fp:
        fp.write(head + info + pixels)


def ico_image(cv):
    xor = bytearray()
    mask_stride = ((cv.w + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(cv.h)):
        bits = bytearray(mask_stride)
        for x in range(cv.w):
            r, g, b, a = cv.rgba(x, y)
            xor += bytes((b, g, r, a) if a else (0, 0, 0, 0))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack('<IiiHHIIiiII', 40, cv.w, cv.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def write_ico(path, canvases):
    images = [ico_image(c) for c in canvases]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.w % 256, c.h % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, 'wb') as fp:
        fp.write(out + b''.join(images))


# --- shared parts ---------------------------------------------------------

def page(cv, x0, y0, x1, y1, fold, lines=()):
    """Document sheet with a dog-eared top right corner; lines are (y, x_end)."""
    body = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    cv.outlined(body, PAGE_EDGE, WHITE)
    for ly, lx in lines:
        cv.fill(box(x0 + 2, ly, lx, ly + 1), TEXT)
    ear = polygon([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)])
    cv.outlined(ear, PAGE_EDGE, PAGE_FOLD)


def small_gear(cv, cx, cy):
    g = gear(cx, cy, 5, 3.6, 8, 1.8, 1.5)
    cv.fill(grow(g, 1), WHITE)
    cv.outlined(g, TEAL_DARK, TEAL)


def cube(cv, x=6, y=1, s=6):
    """Isometric 2:1 component cube; (x, y) is its top vertex, s its half width."""
    h, d = s / 2, s + 1
    top = polygon([(x, y), (x + s, y + h), (x, y + 2 * h), (x - s, y + h)])
    left = polygon([(x - s, y + h), (x, y + 2 * h), (x, y + 2 * h + d), (x - s, y + h + d)])
    right = polygon([(x, y + 2 * h), (x + s, y + h), (x + s, y + h + d), (x, y + 2 * h + d)])
    whole = union(top, left, right)
    inner = grow(whole, -1)
    cv.fill(whole, BLUE_DARK)
    # Faces differ by shade only; inner edges would smear at this size.
    for face, colour in ((top, BLUE_LIGHT), (left, BLUE), (right, (0, 92, 170))):
        cv.fill(lambda px, py, f=face: max(f(px, py), inner(px, py)), colour)


def badge(cv, kind):
    """Round status mark in the bottom right corner, kept on whole pixels so it stays crisp."""
    cv.fill(circle(12, 12, 5), WHITE)
    cv.fill(circle(12, 12, 4), GREEN if kind in ('plus', 'check') else RED)
    if kind in ('plus', 'minus'):
        cv.fill(box(9, 11, 15, 13), WHITE)
    if kind == 'plus':
        cv.fill(box(11, 9, 13, 15), WHITE)
    if kind == 'cross':
        # Single-pixel diagonals; anything thicker blurs into a blob.
        for i in range(4):
            cv.fill(box(10 + i, 10 + i, 11 + i, 11 + i), WHITE)
            cv.fill(box(13 - i, 10 + i, 14 - i, 11 + i), WHITE)
    if kind == 'check':
        cv.fill(polyline([(9.6, 12.2), (11.4, 14), (14.4, 10.2)], 1.6), WHITE)


def warning(cv):
    tri = polygon([(11.5, 7), (16, 16), (7, 16)])
    cv.fill(grow(tri, 1), WHITE)
    cv.outlined(tri, AMBER_DARK, AMBER)
    cv.fill(box(11, 10, 12, 13), INK)
    cv.fill(box(11, 14, 12, 15), INK)


def batch_page(cv):
    page(cv, 2, 1, 13, 15, 3, lines=[(7, 10), (9, 8), (11, 11), (13, 9)])
    # A ">_" prompt tells a script apart from a plain text page.
    for x, y in ((4, 3), (5, 4), (4, 5)):
        cv.fill(box(x, y, x + 1, y + 1), BLUE)
    cv.fill(box(6, 5, 9, 6), BLUE)


def folder(cv, x0, y0, x1, y1, opened=False):
    tab = polygon([(x0, y0), (x0 + 5, y0), (x0 + 6, y0 + 1), (x1, y0 + 1), (x1, y1), (x0, y1)])
    cv.outlined(tab, FOLDER_EDGE, FOLDER_BACK)
    if opened:
        cv.outlined(box(x0 + 2, y0 + 2.5, x1 - 1, y1 - 2), PAGE_EDGE, WHITE)
        front = polygon([(x0 + 3, y0 + 5), (x1 + 3, y0 + 5), (x1, y1), (x0, y1)])
    else:
        front = box(x0, y0 + 3, x1, y1)
    cv.outlined(front, FOLDER_EDGE, vgrad(FOLDER_FRONT, (250, 188, 40), y0 + 3, y1))


def book(cv):
    cover = box(2, 1, 12, 13, 0.5)
    cv.outlined(cover, TEAL_DARK, vgrad(TEAL_LIGHT, TEAL, 1, 13))
    cv.fill(box(3, 2, 5, 12), TEAL_DARK, 0.45)
    # Pages under the cover and a label on it.
    cv.outlined(box(3, 12, 12, 15), PAGE_EDGE, WHITE)
    cv.fill(box(3, 13, 12, 14), TEXT, 0.5)
    cv.fill(box(6, 3, 11, 6), WHITE)
    cv.fill(box(7, 4, 10, 5), TEAL_DARK, 0.6)


# --- pictures -------------------------------------------------------------

def app_icon(size):
    cv = Canvas(size, size)
    if size == 32:
        body = polygon([(3, 1), (19, 1), (26, 8), (26, 31), (3, 31)])
        cv.outlined(body, BLUE_DARK, vgrad(WHITE, (214, 232, 250), 1, 31))
        for y, x1 in ((9, 17), (13, 21), (17, 13)):
            cv.fill(box(7, y, x1, y + 2), BLUE_LIGHT)
        cv.outlined(polygon([(19, 1), (19, 8), (26, 8)]), BLUE_DARK, BLUE_LIGHT)
        g = gear(21, 21, 10, 7.4, 8, 4, 3)
        # Gap only against the page: a white rim would show on dark desktops.
        cv.fill(inter(grow(g, 1.5), body), WHITE)
        cv.outlined(g, TEAL_DARK, vgrad(TEAL_LIGHT, TEAL, 11, 31), 1.2)
    else:
        body = polygon([(2, 0), (9, 0), (13, 4), (13, 16), (2, 16)])
        cv.outlined(body, BLUE_DARK, vgrad(WHITE, (222, 236, 250), 0, 16))
        for y, x1 in ((4, 8), (6, 10)):
            cv.fill(box(4, y, x1, y + 1), BLUE_LIGHT)
        cv.outlined(polygon([(9, 0), (9, 4), (13, 4)]), BLUE_DARK, BLUE_LIGHT)
        g = gear(10.5, 11, 5.5, 4, 8, 2, 1.6)
        cv.fill(inter(grow(g, 1), body), WHITE)
        cv.outlined(g, TEAL_DARK, vgrad(TEAL_LIGHT, TEAL, 6, 16))
    return cv


def tb_view():
    cv = Canvas(16, 16)
    for y in (1, 6, 11):
        cv.outlined(box(1, y, 6, y + 4), BLUE_DARK, BLUE_LIGHT)
        cv.fill(box(8, y + 1, 15, y + 2), INK)
        cv.fill(box(8, y + 3, 13, y + 4), TEXT)
    return cv


def tb_batch(mark):
    cv = Canvas(16, 16)
    batch_page(cv)
    badge(cv, mark)
    return cv


def tb_batch_path():
    cv = Canvas(16, 16)
    batch_page(cv)
    folder(cv, 7, 8, 16, 15)
    return cv


def tb_component(mark=None):
    cv = Canvas(16, 16)
    cube(cv, 6 if mark else 8)
    if mark:
        badge(cv, mark)
    return cv


def tb_reg_read():
    cv = Canvas(16, 16)
    # Database drum, with the stack of discs marked by two seams.
    cx, rx, ry, top, bottom = 6, 5, 1.8, 2.5, 11.5
    drum = union(box(cx - rx, top, cx + rx, bottom), ellipse(cx, top, rx, ry), ellipse(cx, bottom, rx, ry))
    cv.outlined(drum, STEEL_DARK, vgrad(STEEL_LIGHT, (170, 176, 184), top, bottom + ry))
    for y in (top + 3, top + 6):
        seam = lambda px, py, y=y: max(abs(ellipse(cx, y, rx, ry)(px, py)) - 0.5, y - py)
        cv.fill(seam, STEEL_DARK)
    cv.outlined(ellipse(cx, top, rx, ry), STEEL_DARK, WHITE)
    # Clockwise refresh arrow, head at twelve o'clock.
    ax, ay, r, end = 11.5, 11.5, 3.2, math.radians(270)
    ring = arc(ax, ay, r, 0, end, 1.6)
    ex, ey = ax + r * math.cos(end), ay + r * math.sin(end)
    head = polygon([(ex, ey - 2.4), (ex, ey + 2.4), (ex + 2.6, ey)])
    cv.haloed(union(ring, head), BLUE)
    return cv


def dll_file(size):
    cv = Canvas(size, size)
    if size == 16:
        page(cv, 2, 1, 13, 15, 3, lines=[(4, 8), (6, 7)])
        small_gear(cv, 10, 11)
    else:
        page(cv, 5, 1, 27, 31, 6, lines=[(8, 18), (11, 21), (14, 15)])
        g = gear(19, 21, 9, 6.6, 8, 3.6, 2.7)
        cv.fill(grow(g, 1.2), WHITE)
        cv.outlined(g, TEAL_DARK, vgrad(TEAL_LIGHT, TEAL, 12, 30))
    return cv


def lib_ok():
    cv = Canvas(16, 16)
    book(cv)
    badge(cv, 'check')
    return cv


def lib_elsewhere():
    cv = Canvas(16, 16)
    book(cv)
    warning(cv)
    return cv


def open_folder():
    cv = Canvas(16, 16)
    folder(cv, 0, 2, 13, 14, opened=True)
    return cv


def closed_folder():
    cv = Canvas(16, 16)
    folder(cv, 1, 2, 15, 14)
    return cv


def drive():
    cv = Canvas(16, 16)
    # A flat slab seen slightly from above, with its activity light.
    top = polygon([(3, 4), (13, 4), (15, 8), (1, 8)])
    front = box(1, 8, 15, 13)
    whole = union(top, front)
    cv.fill(whole, STEEL_DARK)
    inner = grow(whole, -1)
    cv.fill(lambda x, y: max(top(x, y), inner(x, y)), vgrad(STEEL_LIGHT, (214, 218, 224), 4, 8))
    cv.fill(lambda x, y: max(front(x, y), inner(x, y), 8.5 - y), vgrad((188, 193, 200), (160, 166, 174), 8, 13))
    cv.fill(box(2, 8, 14, 9), (130, 136, 144))
    cv.fill(box(3, 10, 8, 11), STEEL_DARK)
    cv.fill(box(11, 10, 13, 11), (40, 200, 80))
    return cv


def main():
    os.makedirs(RES, exist_ok=True)
    write_ico(os.path.join(RES, 'Mirdal.ico'), [app_icon(32), app_icon(16)])
    write_bmp(os.path.join(RES, 'toolbar.bmp'), strip(
        tb_view(), tb_batch('plus'), tb_batch('minus'), tb_batch_path(),
        tb_component('check'), tb_component('cross'), tb_component(), tb_reg_read()))
    write_bmp(os.path.join(RES, 'file16.bmp'), strip(dll_file(16), lib_ok(), lib_elsewhere()))
    write_bmp(os.path.join(RES, 'file32.bmp'), dll_file(32))
    write_bmp(os.path.join(RES, 'dir16.bmp'), strip(open_folder(), drive(), closed_folder()))


if __name__ == '__main__':
    main()
