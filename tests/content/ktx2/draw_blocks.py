"""Draws a 128 x 128 PNG of varied 4x4 blocks (flat, ramps, two and three
colour regions, noise, grey with alpha, alpha apart from colour), so that
basisu's UASTC encoder uses every one of its block modes somewhere.

Usage: draw_blocks.py SEED ALPHA(0/1) OUTPUT.png"""
import random
import struct
import sys
import zlib


def write_png(name, width, height, pixels, channels):
    rows = b"".join(b"\0" + bytes(v for p in pixels[y * width:(y + 1) * width] for v in p[:channels])
                    for y in range(height))
    kind = {3: 2, 4: 6}[channels]

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    with open(name, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, kind, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def clamp(v):
    return max(0, min(255, int(v)))


def block(kind, r):
    c = [[r.randrange(256) for _ in range(4)] for _ in range(3)]
    if kind == "flat":
        return [tuple(c[0])] * 16
    if kind == "ramp":
        step, noise = r.choice([0, 1, 2]), r.choice([0, 2, 8])
        return [tuple(clamp(c[0][k] + (c[1][k] - c[0][k]) * (i % 4 + i // 4 * step) / 9 + r.gauss(0, noise))
                      for k in range(4)) for i in range(16)]
    if kind in ("two", "three"):
        lines = [(r.uniform(-1, 1), r.uniform(-1, 1), r.uniform(-2, 2)) for _ in range(2)]
        out = []
        for i in range(16):
            x, y = i % 4 - 1.5, i // 4 - 1.5
            side = [a * x + b * y + d > 0 for a, b, d in lines]
            region = 0 if side[0] else (2 if kind == "three" and side[1] else 1)
            out.append(tuple(clamp(c[region][k] + r.gauss(0, 3)) for k in range(4)))
        return out
    if kind == "noise":
        return [tuple(r.randrange(256) for _ in range(4)) for _ in range(16)]
    if kind == "grey":
        out = []
        for i in range(16):
            grey = clamp(c[0][0] + (c[1][0] - c[0][0]) * i / 15 + r.gauss(0, 4))
            out.append((grey, grey, grey, clamp(c[0][3] + (c[1][3] - c[0][3]) * (15 - i) / 15 + r.gauss(0, 4))))
        return out
    # "apart": alpha that does not follow the colour
    return [tuple([clamp(c[0][k] + (c[1][k] - c[0][k]) * i / 15) for k in range(3)] + [r.randrange(256)])
            for i in range(16)]


def main():
    seed, alpha, name = int(sys.argv[1]), sys.argv[2] == "1", sys.argv[3]
    r = random.Random(seed)
    kinds = ["flat", "ramp", "two", "three", "noise"] + (["grey", "apart"] if alpha else [])
    size = 128
    pixels = [None] * (size * size)
    for b in range((size // 4) ** 2):
        texels = block(r.choice(kinds), r)
        for i, p in enumerate(texels):
            x, y = b % (size // 4) * 4 + i % 4, b // (size // 4) * 4 + i // 4
            pixels[y * size + x] = p if alpha else (p[0], p[1], p[2], 255)
    write_png(name, size, size, pixels, 4 if alpha else 3)


main()
