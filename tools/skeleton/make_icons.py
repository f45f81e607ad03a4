#!/usr/bin/env python3
"""Draws the project's template icons as PNG (shape in alpha, colour white),
so that the bar's recolouring shows. Run once; the results are committed."""
import math
import os
import struct
import sys
import zlib


def png(path, w, h, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def coverage(w, h, inside, samples=4):
    """Anti-aliased alpha from a point-in-shape test on (x, y) in 0..1 units."""
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            hit = 0
            for sy in range(samples):
                for sx in range(samples):
                    if inside((x + (sx + 0.5) / samples) / w, (y + (sy + 0.5) / samples) / h):
                        hit += 1
            row.append(round(255 * hit / (samples * samples)))
        rows.append(row)
    return rows


def antenna(x, y):
    # a mast with a ball on top, and two arcs of waves on each side
    cx = 0.5
    if abs(x - cx) < 0.06 and 0.38 < y < 0.95:
        return True
    if abs(x - cx) < 0.22 * (y - 0.7) / 0.25 and 0.7 < y < 0.95:  # the foot
        return True
    r = math.hypot(x - cx, y - 0.3)
    if r < 0.1:
        return True
    ang = abs(math.atan2(y - 0.3, x - cx))
    side = ang < 0.7 or ang > math.pi - 0.7
    for radius in (0.22, 0.38):
        if side and abs(r - radius) < 0.045:
            return True
    return False


def white(alpha_rows):
    return [[(255, 255, 255, a) for a in row] for row in alpha_rows]


def main(root):
    base = os.path.join(root, "SYS", "Data", "Screenbar", "Melodune")
    for size in (20, 16):
        png(os.path.join(base, str(size), "Melodune.png"), size, size, white(coverage(size, size, antenna)))
    # the preferences image: the same mark, larger, in a friendly blue
    big = coverage(48, 48, antenna)
    png(os.path.join(base, "Prefs.png"), 48, 48, [[(40, 110, 220, a) for a in row] for row in big])
    # placeholder station icon, 32 x 20: a grey frame with a small mast
    def empty(x, y):
        frame = x < 0.05 or x > 0.95 or y < 0.08 or y > 0.92
        return frame or (abs(x - 0.5) < 0.04 and 0.3 < y < 0.8)
    png(os.path.join(base, "StationIcons", "_empty.png"), 32, 20,
        [[(150, 150, 150, a) for a in row] for row in coverage(32, 20, empty)])
    # drawer icon template for new groups (a PNG icon, as the desktop accepts them)
    def drawer(x, y):
        tab = 0.1 < x < 0.45 and 0.15 < y < 0.3
        body = 0.1 < x < 0.9 and 0.25 < y < 0.85
        return tab or body
    png(os.path.join(base, "StationIcons", "_empty.info"), 32, 32,
        [[(230, 180, 60, a) for a in row] for row in coverage(32, 32, drawer)])


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "skeleton"))
