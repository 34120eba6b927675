#!/usr/bin/env python3
"""Makes Tonvera's own pictures and click sound, using only Python's standard library.

    python3 tools/generate_resources.py [OUTPUT_FOLDER]     (default: resources/ of the repository)

The output is committed once; run the script again only to change a picture or the click.
Everything is deterministic, so a re-run reproduces the committed files byte for byte.
"""

import math
import os
import random
import struct
import sys
import wave
import zlib

# ---------------------------------------------------------------------------------------------
# PNG writing


def write_png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples with components 0..255."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type "none" for every scanline
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def render(size, inside, colour, supersample=4):
    """Anti-aliased rendering of a shape given as inside(x, y) on the unit square."""
    rows = []
    n = supersample
    for py in range(size):
        row = []
        for px in range(size):
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if inside(x, y):
                        hits += 1
            coverage = hits / (n * n)
            row.append((colour[0], colour[1], colour[2], round(255 * coverage)))
        rows.append(row)
    return rows


def play_shape(x, y):
    # A triangle pointing right, optically centred (its centroid sits slightly left of its box).
    left, right, top, bottom = 0.28, 0.80, 0.18, 0.82
    if x < left or x > right:
        return False
    half = (bottom - top) / 2 * (right - x) / (right - left)
    return abs(y - 0.5) <= half


def pause_shape(x, y):
    if y < 0.20 or y > 0.80:
        return False
    return 0.26 <= x <= 0.43 or 0.57 <= x <= 0.74


def app_icon_pixels(size):
    """A round dark badge with a green-to-red bar spectrum: the look of the player's panel."""
    bars = [0.35, 0.55, 0.80, 0.62, 0.45, 0.70, 0.50, 0.30]
    rows = []
    n = 4
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if (x - 0.5) ** 2 + (y - 0.5) ** 2 > 0.47 ** 2:
                        continue
                    r, g, b = 24, 24, 28
                    slot = (x - 0.18) / 0.64 * len(bars)
                    i = int(math.floor(slot))
                    if 0 <= i < len(bars) and slot - i < 0.7:
                        level = bars[i]
                        height = 1.0 - y
                        if 0.2 <= height <= 0.2 + level * 0.6:
                            f = (height - 0.2) / 0.6
                            r, g, b = round(255 * f), round(255 * (1 - f)), 0
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += 1
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                k = acc[3]
                row.append((round(acc[0] / k), round(acc[1] / k), round(acc[2] / k),
                            round(255 * k / (n * n))))
        rows.append(row)
    return rows


APP_ICON_SVG = """<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 128 128">
  <circle cx="64" cy="64" r="60" fill="#18181c"/>
{bars}</svg>
"""


def app_icon_svg():
    # Plain fills (no gradients), so every SVG renderer draws it the same; each bar has the
    # colour its top has in the PNG.
    bars = [0.35, 0.55, 0.80, 0.62, 0.45, 0.70, 0.50, 0.30]
    parts = []
    for i, level in enumerate(bars):
        x = 128 * (0.18 + 0.64 * i / len(bars))
        w = 128 * 0.64 / len(bars) * 0.7
        h = 128 * level * 0.6
        y = 128 * 0.8 - h
        colour = "#%02x%02x00" % (round(255 * level), round(255 * (1 - level)))
        parts.append('  <rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>\n'
                     % (x, y, w, h, colour))
    return APP_ICON_SVG.format(bars="".join(parts))


# ---------------------------------------------------------------------------------------------
# The click: 40 ms, mono, 44100 Hz, 16-bit. A noise burst for the attack over two decaying
# partials, like a wood block: short enough not to blur fast beats, bright enough to cut
# through music.

CLICK_RATE = 44100
CLICK_SECONDS = 0.040


def click_samples():
    rng = random.Random(20240607)
    count = int(CLICK_RATE * CLICK_SECONDS)
    out = []
    for i in range(count):
        t = i / CLICK_RATE
        body = 0.65 * math.sin(2 * math.pi * 1850 * t) * math.exp(-t / 0.006)
        body += 0.35 * math.sin(2 * math.pi * 950 * t) * math.exp(-t / 0.010)
        noise = (rng.random() * 2 - 1) * math.exp(-t / 0.0012)
        attack = min(1.0, t / 0.0004)  # 0.4 ms rise, so the first sample is no step
        s = attack * (0.8 * body + 0.35 * noise)
        tail = count - i
        if tail < 64:  # fade the last samples to exact silence
            s *= tail / 64
        out.append(max(-32767, min(32767, round(s * 0.9 * 32767))))
    return out


def write_click(path):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(CLICK_RATE)
        w.writeframes(b"".join(struct.pack("<h", s) for s in click_samples()))


# ---------------------------------------------------------------------------------------------

def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(out, exist_ok=True)
    button_colour = (40, 40, 44)
    write_png(os.path.join(out, "icon_play.png"), 48, 48, render(48, play_shape, button_colour))
    write_png(os.path.join(out, "icon_pause.png"), 48, 48, render(48, pause_shape, button_colour))
    write_png(os.path.join(out, "tonvera.png"), 128, 128, app_icon_pixels(128))
    with open(os.path.join(out, "tonvera.svg"), "w", encoding="utf-8") as f:
        f.write(app_icon_svg())
    write_click(os.path.join(out, "click.wav"))
    print("resources written to", os.path.normpath(out))


if __name__ == "__main__":
    main()
