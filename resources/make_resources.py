#!/usr/bin/env python3
"""Draws the program's icons and synthesises its alarm sound.

Usage: make_resources.py OUTDIR            writes the .ico files and alarm.wav
       make_resources.py --preview OUTDIR  also writes enlarged PNG previews

Standard library only, and no randomness, so every run writes the same bytes.
"""

import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------- shapes
# Every shape is a signed distance function in pixel units (negative inside),
# so outlines, halos and boolean combinations are one line each.


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def rbox(x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sd(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r
    return sd


def segment(ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def sd(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - width / 2
    return sd


def polygon(points):
    n = len(points)

    def sd(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[i - 1]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            best = min(best, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return -best if inside else best
    return sd


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def subtract(shape, cut):
    return lambda x, y: max(shape(x, y), -cut(x, y))


def grow(shape, d):
    """The shape widened by d pixels: a halo or outline drawn beneath it."""
    return lambda x, y: shape(x, y) - d


def ring(shape, width):
    """A band of the given width centred on the shape's edge."""
    return lambda x, y: abs(shape(x, y)) - width / 2


def scaled(shape, k):
    """A shape designed on a 16-pixel grid, drawn k times larger."""
    return lambda x, y: shape(x / k, y / k) * k


# ---------------------------------------------------------------- colours


def rgb(hexcode, alpha=255):
    v = int(hexcode.lstrip("#"), 16)
    return (v >> 16, (v >> 8) & 255, v & 255, alpha)


def vgradient(top, bottom, y0, y1):
    """Colour that runs from top to bottom between rows y0 and y1."""
    def paint(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return paint


# ---------------------------------------------------------------- raster

SUPERSAMPLE = 6


def render(size, layers):
    """Paints layers (shape, colour) in order; returns rows of RGBA tuples.

    Shapes are designed on a 16-pixel grid and scaled to the size. Each pixel
    averages SUPERSAMPLE^2 samples (premultiplied), which smooths the edges
    without blurring the 16-pixel art.
    """
    k = size / 16

    def paint_of(c):
        return (lambda x, y: c) if isinstance(c, tuple) else (lambda x, y: c(x / k, y / k))
    layers = [(scaled(s, k), paint_of(c)) for s, c in layers]
    # Big images have enough pixels along an edge to smooth it with fewer samples each.
    n = SUPERSAMPLE if size <= 20 else SUPERSAMPLE * 2 // 3 if size <= 32 else SUPERSAMPLE // 2 if size <= 64 else 2
    offsets = [(i + 0.5) / n for i in range(n)]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for oy in offsets:
                for ox in offsets:
                    x, y = px + ox, py + oy
                    r = g = b = a = 0.0  # premultiplied, 0..1
                    for shape, paint in layers:
                        if shape(x, y) <= 0:
                            cr, cg, cb, ca = paint(x, y)
                            ca /= 255
                            r = cr / 255 * ca + r * (1 - ca)
                            g = cg / 255 * ca + g * (1 - ca)
                            b = cb / 255 * ca + b * (1 - ca)
                            a = ca + a * (1 - ca)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            total = n * n
            alpha = acc[3] / total
            if alpha <= 0:
                row.append((0, 0, 0, 0))
                continue
            row.append(tuple(min(255, round(c / acc[3] * 255)) for c in acc[:3]) +
                       (min(255, round(alpha * 255)),))
        rows.append(row)
    return rows


def greyed(rows):
    """The disabled look: luminance only, pulled towards a middle grey."""
    out = []
    for row in rows:
        out.append([])
        for r, g, b, a in row:
            if a == 0:
                out[-1].append((0, 0, 0, 0))
                continue
            lum = (299 * r + 587 * g + 114 * b) // 1000
            v = (lum * 3 + 150 * 2) // 5
            out[-1].append((v, v, v, a))
    return out


# ---------------------------------------------------------------- pictures

OUTLINE = rgb("#1b2a41")
WHITE = rgb("#ffffff")


def popup_window(x0, y0, x1, y1, title=2.2):
    """A small browser window: dark frame, blue title bar, white page."""
    frame = rbox(x0, y0, x1, y1, 1.0)
    bar = intersect(frame, rbox(x0, y0, x1, y0 + title + 0.5))
    page = rbox(x0 + 1, y0 + title + 0.5, x1 - 1, y1 - 1, 0.3)
    return [
        (frame, OUTLINE),
        (bar, vgradient(rgb("#5aa9ff"), rgb("#1f6fd1"), y0, y0 + title)),
        (page, vgradient(WHITE, rgb("#dfe8f3"), y0 + title, y1)),
    ]


def app_layers():
    """A popup window behind a red "no" sign: the program's whole purpose."""
    disc = circle(8, 8, 7.35)
    inner = circle(8, 8, 5.55)
    band = subtract(disc, inner)
    slash = intersect(segment(3.2, 3.2, 12.8, 12.8, 1.9), disc)
    red = vgradient(rgb("#ff5a5a"), rgb("#c81e1e"), 1, 15)
    return [
        (grow(disc, 0.6), rgb("#ffffff", 235)),  # light halo: readable on dark task bars
        (inner, rgb("#ffffff", 235)),
    ] + popup_window(3.6, 4.6, 12.4, 11.4, title=2.0) + [
        (grow(union(band, slash), 0.55), rgb("#7a0d0d")),
        (union(band, slash), red),
    ]


def app_layers_16():
    """The same sign redrawn on whole pixels: at 16 px outlines would only smear."""
    disc = circle(8, 8, 7.5)
    inner = circle(8, 8, 5.9)
    slash = intersect(segment(3.5, 3.5, 12.5, 12.5, 1.7), disc)
    return [
        (inner, rgb("#ffffff", 235)),
        (rbox(4, 5, 12, 11, 0.5), rgb("#24466e")),
        (rbox(5, 6, 11, 7), rgb("#3d8bfd")),
        (rbox(5, 7, 11, 10), WHITE),
        (union(subtract(disc, inner), slash), vgradient(rgb("#ff4040"), rgb("#c01818"), 1, 15)),
    ]


def star(cx, cy, outer, inner, points, turn=0.0):
    pts = []
    for i in range(points * 2):
        angle = math.pi * i / points + turn
        r = outer if i % 2 == 0 else inner
        pts.append((cx + r * math.sin(angle), cy - r * math.cos(angle)))
    return polygon(pts)


def kill_layers():
    """A red and yellow burst, for the short flash when a popup is closed."""
    burst = star(8, 8, 7.7, 4.3, 10)
    core = star(8, 8, 4.6, 2.6, 10, math.pi / 10)
    return [
        (grow(burst, 0.5), rgb("#8a1c00")),
        (burst, vgradient(rgb("#ffe14d"), rgb("#ff9d00"), 1, 15)),
        (core, rgb("#e8200c")),
        (circle(8, 8, 1.7), rgb("#fff6b0")),
    ]


def plus_badge(cx, cy, r, fill_top, fill_bottom, edge):
    return [
        (circle(cx, cy, r + 0.6), edge),
        (circle(cx, cy, r), vgradient(fill_top, fill_bottom, cy - r, cy + r)),
        (union(rbox(cx - r + 1.3, cy - 0.8, cx + r - 1.3, cy + 0.8),
               rbox(cx - 0.8, cy - r + 1.3, cx + 0.8, cy + r - 1.3)), WHITE),
    ]


def add_rule_layers():
    """A window with a green plus: a new title rule from a window."""
    return popup_window(0.6, 1.6, 12.4, 11.8) + [
        (rbox(2.6, 6.3, 8.8, 6.9), rgb("#9aa8b8")),
        (rbox(2.6, 8.3, 7.2, 8.9), rgb("#9aa8b8")),
    ] + plus_badge(11.3, 11.3, 4.1, rgb("#6bd66b"), rgb("#1f9a3a"), rgb("#0f4d1d"))


def gear_layers():
    """A gear, for the options."""
    teeth = []
    s = math.sqrt(0.5)
    for cos, sin in ((1, 0), (s, s), (0, 1), (-s, s), (-1, 0), (-s, -s), (0, -1), (s, -s)):
        # A tooth 3 px wide reaching to radius 7.4, rotated to its place.
        corners = [(-1.5, 4.0), (1.5, 4.0), (1.15, 7.4), (-1.15, 7.4)]
        teeth.append(polygon([(8 + u * cos - v * sin, 8 + u * sin + v * cos)
                              for u, v in ((b, a) for a, b in corners)]))
    body = subtract(union(circle(8, 8, 5.3), *teeth), circle(8, 8, 2.1))
    return [
        (grow(body, 0.6), rgb("#1f2933")),
        (body, vgradient(rgb("#c9d3de"), rgb("#66778a"), 1, 15)),
        (ring(circle(8, 8, 3.1), 0.7), rgb("#eef3f8", 200)),
    ]


def active_layers():
    """A green power button: detection on or off."""
    button = circle(8, 8, 7.2)
    arc = subtract(ring(circle(8, 8, 3.6), 1.6),
                   polygon([(8, 8), (4.4, 0.5), (11.6, 0.5)]))
    bar = segment(8, 3.3, 8, 7.6, 1.7)
    return [
        (grow(button, 0.6), rgb("#0d4a1b")),
        (button, vgradient(rgb("#7ee07e"), rgb("#1c8c34"), 1, 15)),
        (union(arc, bar), WHITE),
    ]


def close_menu_layers():
    """A menu sheet with a grey cross: leave the menu without choosing."""
    sheet = rbox(1.0, 0.8, 11.6, 14.8, 0.8)
    lines = [(rbox(3.0, y, 9.6, y + 1.1), rgb("#8795a6")) for y in (3.2, 6.2, 9.2)]
    badge = circle(11.3, 11.3, 4.1)
    cross = union(segment(9.7, 9.7, 12.9, 12.9, 1.5), segment(12.9, 9.7, 9.7, 12.9, 1.5))
    return [
        (grow(sheet, 0.6), rgb("#4a5566")),
        (sheet, vgradient(WHITE, rgb("#e4e9ef"), 1, 15)),
    ] + lines + [
        (grow(badge, 0.6), rgb("#2d3642")),
        (badge, vgradient(rgb("#a7b4c4"), rgb("#5d6b7d"), 7, 15.4)),
        (cross, WHITE),
    ]


def language_layers():
    """A globe with a meridian and the equator, for the language files."""
    globe = circle(8, 8, 7.0)
    grid = intersect(union(ring(rbox(5, 1, 11, 15, 3.0), 1.0), rbox(1, 7, 15, 8)), grow(globe, -0.5))
    return [
        (grow(globe, 0.6), rgb("#0b3a75")),
        (globe, vgradient(rgb("#58b3ff"), rgb("#1858b8"), 1, 15)),
        (grid, rgb("#e3f1ff", 230)),
    ]


def exit_layers():
    """An open door with a red arrow leading out."""
    frame = rbox(1.2, 1.0, 9.6, 15.0, 0.4)
    dark = rbox(2.4, 2.2, 8.4, 15.0)
    door = polygon([(2.4, 2.2), (6.6, 3.6), (6.6, 15.6), (2.4, 15.0)])
    arrow = polygon([(7.2, 7.0), (11.0, 7.0), (11.0, 4.6), (15.3, 8.5),
                     (11.0, 12.4), (11.0, 10.0), (7.2, 10.0)])
    return [
        (grow(frame, 0.5), rgb("#3b2414")),
        (frame, rgb("#8a5a33")),
        (dark, rgb("#2a1a10")),
        (grow(door, 0.4), rgb("#3b2414")),
        (door, vgradient(rgb("#d9a066"), rgb("#a0652f"), 2, 15)),
        (circle(5.6, 9.4, 0.6), rgb("#ffe08a")),
        (grow(arrow, 0.6), rgb("#6d0f0f")),
        (arrow, vgradient(rgb("#ff6b5e"), rgb("#d0221a"), 4.6, 12.4)),
    ]


# Every icon holds each of these sizes, each drawn for its own size: the system picks the one the
# display's density asks for (16 at 100 percent, 20 at 125, 24 at 150, 32 at 200 for small icons)
# instead of stretching another.
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64)
# The program's own icon also makes the big picture of the options dialog's about page (124 pixels
# at 100 percent, 248 at 200) and large views of the program file.
APP_SIZES = ICON_SIZES + (128, 256)

# Menu images in the order of the main form's image list (index = position).
MENU_IMAGES = (
    ("menu_exit", exit_layers),
    ("menu_options", gear_layers),
    ("menu_add_rule", add_rule_layers),
    ("menu_active", active_layers),
    ("menu_close_menu", close_menu_layers),
    ("menu_language", language_layers),
)


def pictures():
    """Every icon file: name -> list of square RGBA images."""
    tray_on = [render(s, app_layers_16() if s == 16 else app_layers()) for s in ICON_SIZES]
    out = {
        "zorvex": tray_on + [render(s, app_layers()) for s in APP_SIZES[len(ICON_SIZES):]],
        "tray_on": tray_on,
        "tray_off": [greyed(rows) for rows in tray_on],
        "tray_kill": [render(s, kill_layers()) for s in ICON_SIZES],
    }
    for name, layers in MENU_IMAGES:
        out[name] = [render(s, layers()) for s in ICON_SIZES]
    return out


# ---------------------------------------------------------------- files


def ico_bytes(images):
    """An .ico of 32-bit BGRA images; the AND mask serves systems without alpha."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
        stride = (size + 31) // 32 * 4
        mask = bytearray()
        for row in reversed(rows):
            line = bytearray(stride)
            for x, (_, _, _, a) in enumerate(row):
                if a < 128:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += line
        blob = header + pixels + bytes(mask)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


RATE = 11025
SECONDS = 1.0
PEAK = 10 ** (-6 / 20)  # -6 dBFS


def alarm_samples():
    """A soft bell: three decaying partials of C6, normalised to the peak."""
    partials = ((1046.5, 1.0, 0.32), (2093.0, 0.35, 0.14), (3139.5, 0.12, 0.07))
    count = int(RATE * SECONDS)
    attack, release = int(RATE * 0.006), int(RATE * 0.08)
    raw = []
    for i in range(count):
        t = i / RATE
        v = sum(amp * math.exp(-t / decay) * math.sin(2 * math.pi * f * t)
                for f, amp, decay in partials)
        # Raised-cosine edges: no click at the start or the end.
        if i < attack:
            v *= 0.5 - 0.5 * math.cos(math.pi * i / attack)
        tail = count - 1 - i
        if tail < release:
            v *= 0.5 - 0.5 * math.cos(math.pi * tail / release)
        raw.append(v)
    scale = PEAK * 32767 / max(abs(v) for v in raw)
    return [round(v * scale) for v in raw]


def wav_bytes(samples):
    data = struct.pack("<%dh" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def png_bytes(rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, payload):
        return (struct.pack(">I", len(payload)) + kind + payload +
                struct.pack(">I", zlib.crc32(kind + payload) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def preview_sheet(pics, zoom=8):
    """All pictures side by side: enlarged over a checkerboard, then actual size
    on a light and a dark strip, as they will sit in menus and task bars."""
    names = ["zorvex", "tray_on", "tray_off", "tray_kill"] + [n for n, _ in MENU_IMAGES]
    cell = 48 * zoom // 2 + 8
    width, height = cell * len(names), cell + 96
    sheet = [[(255, 255, 255, 255) if y < cell + 46 else (32, 32, 40, 255)] * width
             for y in range(height)]

    def put(x0, y0, rows, z, back):
        for y, row in enumerate(rows):
            for x, (r, g, b, a) in enumerate(row):
                for dy in range(z):
                    for dx in range(z):
                        X, Y = x0 + x * z + dx, y0 + y * z + dy
                        br, bg, bb, _ = back(X, Y)
                        sheet[Y][X] = (
                            (r * a + br * (255 - a)) // 255,
                            (g * a + bg * (255 - a)) // 255,
                            (b * a + bb * (255 - a)) // 255, 255)

    checker = lambda X, Y: (204, 204, 204, 255) if (X // 8 + Y // 8) % 2 else (250, 250, 250, 255)
    for i, name in enumerate(names):
        images = pics[name]
        big = images[-1] if name == "zorvex" else images[0]
        z = zoom // 2 if name == "zorvex" else zoom
        put(i * cell + 4, 4, big, z, checker)
        put(i * cell + 4, cell + 8, images[0], 1, lambda X, Y: (240, 240, 240, 255))
        put(i * cell + 24, cell + 8, images[0], 2, lambda X, Y: (240, 240, 240, 255))
        put(i * cell + 4, cell + 56, images[0], 1, lambda X, Y: (32, 32, 40, 255))
        put(i * cell + 24, cell + 56, images[0], 2, lambda X, Y: (32, 32, 40, 255))
    return sheet


def main(argv):
    preview = "--preview" in argv
    args = [a for a in argv if a != "--preview"]
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    out = args[0]
    os.makedirs(out, exist_ok=True)
    pics = pictures()
    files = {name + ".ico": ico_bytes(images) for name, images in pics.items()}
    files["alarm.wav"] = wav_bytes(alarm_samples())
    if preview:
        files["preview.png"] = png_bytes(preview_sheet(pics))
    for name, data in sorted(files.items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
