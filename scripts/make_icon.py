#!/usr/bin/env python3
"""Draw the setup launcher's application icon and write it as a .ico file.

Usage: make_icon.py OUTPUT.ico

The picture (a cardboard box with a green arrow pointing into it) is
described as a few convex polygons in a unit square and rendered per pixel
with 4x4 supersampling, so every size is drawn from the same shapes rather
than scaled from one bitmap. Only the standard library is used, so the
build needs nothing beyond Python 3, and the output is the same bytes on
every run.

The file holds 13 images: 16, 24, 32, 48 and 64 pixels in 8-bit and in
32-bit colour, 16 and 32 pixels in 4-bit colour, and 256 pixels as PNG.
"""

import math
import struct
import sys
import zlib

SUPERSAMPLE = 4

# ---------------------------------------------------------------- shapes

def convex(*points):
    """A convex polygon as a list of edge lines (a, b, c) with unit normals
    pointing outwards, so a*x + b*y + c is the signed distance to the edge."""
    area = sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1)
               in zip(points, points[1:] + points[:1]))
    turn = 1.0 if area > 0 else -1.0
    edges = []
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        nx, ny = (y1 - y0) * turn, (x0 - x1) * turn
        length = (nx * nx + ny * ny) ** 0.5
        nx, ny = nx / length, ny / length
        edges.append((nx, ny, -(nx * x0 + ny * y0)))
    return edges


def distance(edges, x, y):
    """Signed distance to a convex polygon: negative inside. Outside it is
    never more than the true distance, which keeps the edge test safe."""
    return max(a * x + b * y + c for a, b, c in edges)


def union_distance(shapes, x, y):
    return min(distance(edges, x, y) for edges in shapes)


def solid(colour):
    return lambda x, y: colour


def gradient(c0, c1, axis, start, end):
    """A linear blend from c0 at `start` to c1 at `end` along x (axis 0)
    or y (axis 1)."""
    def fill(x, y):
        t = min(max(((x, y)[axis] - start) / (end - start), 0.0), 1.0)
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))
    return fill


# Each fill has a VGA colour that stands in for it in the 16-colour
# images: the nearest VGA colour to a soft brown or green is a gray.
OUTLINE = ((92, 56, 24), (0, 0, 0))
BOX_TOP = ((240, 196, 132), (255, 255, 0))
BOX_FRONT = (((214, 154, 88), (184, 122, 60)), (128, 128, 0))
BOX_SIDE = ((160, 102, 48), (128, 0, 0))
TAPE = ((236, 206, 150), (192, 192, 192))
ARROW_OUTLINE = ((24, 84, 34), (0, 128, 0))
ARROW = (((104, 200, 96), (46, 146, 58)), (0, 255, 0))


def layers(size, line):
    """The picture, bottom layer first: (distance function, fill, VGA
    colour). x runs to the right, y downwards, the icon spans 0..1.

    `line` is the outline width in pixels. Outlines are a dark silhouette
    widened by half of it under faces shrunk by the other half, so inner
    and outer edges come out equally thick. Outlined coordinates are moved
    to where the outline covers whole pixels, which keeps small sizes
    crisp; the arrow tip stays on the middle so the arrow stays
    symmetric."""
    def snap(v, width=line):
        return (math.floor(v * size - width / 2 + 0.5) + width / 2) / size

    left, right, edge = snap(0.10), snap(0.90), snap(0.74)
    back, top, corner, bottom = snap(0.37), snap(0.48), snap(0.83), snap(0.94)
    back_left = snap(0.26)
    box_top = convex((left, top), (back_left, back), (right, back),
                     (edge, top))
    box_front = convex((left, top), (edge, top), (edge, bottom),
                       (left, bottom))
    box_side = convex((edge, top), (right, back), (right, corner),
                      (edge, bottom))
    box = [convex((left, top), (back_left, back), (right, back),
                  (right, corner), (edge, bottom), (left, bottom))]
    tape_left, tape_right = snap(0.37, 0), snap(0.47, 0)
    tape_end = snap(0.66, 0)
    tape = convex((tape_left, top), (tape_right, top),
                  (tape_right, tape_end), (tape_left, tape_end))
    shaft_left, shaft_right, shaft_top = snap(0.40), snap(0.60), snap(0.04)
    head_left, head_right, head_top = snap(0.23), snap(0.77), snap(0.31)
    arrow = [convex((shaft_left, shaft_top), (shaft_right, shaft_top),
                    (shaft_right, head_top + 0.05),
                    (shaft_left, head_top + 0.05)),
             convex((head_left, head_top), (head_right, head_top),
                    (0.5, snap(0.64)))]

    half = line / 2 / size
    picture = [
        (lambda x, y: union_distance(box, x, y) - half,
         solid(OUTLINE[0]), OUTLINE[1]),
        (lambda x, y: distance(box_top, x, y) + half,
         solid(BOX_TOP[0]), BOX_TOP[1]),
        (lambda x, y: distance(box_front, x, y) + half,
         gradient(*BOX_FRONT[0], 1, top, bottom), BOX_FRONT[1]),
        (lambda x, y: distance(box_side, x, y) + half,
         solid(BOX_SIDE[0]), BOX_SIDE[1]),
    ]
    # Under 32 pixels the tape would be a lone light pixel beside the
    # arrow tip, which reads as a flaw rather than as tape.
    if size >= 32:
        picture.append((lambda x, y: distance(tape, x, y),
                        solid(TAPE[0]), TAPE[1]))
    return picture + [
        (lambda x, y: union_distance(arrow, x, y) - half,
         solid(ARROW_OUTLINE[0]), ARROW_OUTLINE[1]),
        (lambda x, y: union_distance(arrow, x, y) + half,
         gradient(*ARROW[0], 0, head_left, head_right), ARROW[1]),
    ]


def paint(picture, x, y, vga):
    """Colour and alpha of one sample point, and the distance to the
    nearest edge of any layer (how far the point may move without its
    colour jumping)."""
    colour, alpha, margin = (0, 0, 0), 0, 1.0
    for shape, fill, vga_colour in picture:
        d = shape(x, y)
        margin = min(margin, abs(d))
        if d < 0:
            colour, alpha = vga_colour if vga else fill(x, y), 255
    return colour, alpha, margin

# -------------------------------------------------------------- rendering

def render(size, vga=False):
    """Rows of (r, g, b, a) tuples, top row first. Pixels far from every
    edge take one sample, the rest average SUPERSAMPLE^2 samples. The
    16-colour images take one sample per pixel: they have no colours to
    blend edges with."""
    line = max(1, math.floor(0.028 * size + 0.5))
    picture = layers(size, line)
    pixel = 1.0 / size
    samples = 1 if vga else SUPERSAMPLE
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            colour, alpha, margin = paint(picture, (px + 0.5) * pixel,
                                          (py + 0.5) * pixel, vga)
            if margin > pixel or samples == 1:
                row.append(tuple(round(c) for c in colour) + (alpha,))
                continue
            sums = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    c, a, _ = paint(picture,
                                    (px + (sx + 0.5) / samples) * pixel,
                                    (py + (sy + 0.5) / samples) * pixel, vga)
                    for i in range(3):
                        sums[i] += c[i] * a
                    sums[3] += a
            if sums[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(s / sums[3]) for s in sums[:3])
                           + (round(sums[3] / samples ** 2),))
        rows.append(row)
    return rows

# ----------------------------------------------------------- quantisation

def palette_256():
    """A 6x6x6 colour cube, then the picture's own colours (eight steps
    of each gradient) so its faces keep their tone, then grays."""
    steps = [i * 51 for i in range(6)]
    cube = [(r, g, b) for r in steps for g in steps for b in steps]
    own = [c[0] for c in (OUTLINE, BOX_TOP, BOX_SIDE, TAPE, ARROW_OUTLINE)]
    for c0, c1 in (BOX_FRONT[0], ARROW[0]):
        own += [tuple(round(a + (b - a) * i / 7) for a, b in zip(c0, c1))
                for i in range(8)]
    grays = 256 - len(cube) - len(own)
    return cube + own + [(v, v, v) for v in
                         (round(i * 255 / (grays - 1)) for i in range(grays))]


PALETTE_16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def nearest(palette, colour, cache):
    if colour not in cache:
        cache[colour] = min(
            range(len(palette)),
            key=lambda i: sum((p - c) ** 2
                              for p, c in zip(palette[i], colour)))
    return cache[colour]


def is_transparent(pixel):
    return pixel[3] < 128

# ------------------------------------------------------------ DIB writing

def pack_bits(values, bits):
    """Pack one row of small integers MSB first and pad it to 4 bytes."""
    out = bytearray()
    per_byte = 8 // bits
    for i in range(0, len(values), per_byte):
        byte = 0
        for j, v in enumerate(values[i:i + per_byte]):
            byte |= v << (8 - bits * (j + 1))
        out.append(byte)
    return bytes(out) + b"\0" * (-len(out) % 4)


def and_mask(rows):
    return b"".join(pack_bits([1 if is_transparent(p) else 0 for p in row], 1)
                    for row in reversed(rows))


def dib(rows, bits):
    """An icon image as a .ico file stores it: BITMAPINFOHEADER with twice
    the height, palette, bottom-up colour bitmap, then the AND mask.
    Transparent pixels are black in the colour bitmap so the mask alone
    decides what shows through."""
    size = len(rows)
    if bits == 32:
        palette = []
        xor = b"".join(
            bytes(v for p in row for v in
                  ((p[2], p[1], p[0], p[3]) if p[3] else (0, 0, 0, 0)))
            for row in reversed(rows))
    else:
        palette = palette_256() if bits == 8 else PALETTE_16
        cache = {}
        xor = b"".join(
            pack_bits([0 if is_transparent(p)
                       else nearest(palette, p[:3], cache) for p in row], bits)
            for row in reversed(rows))
    mask = and_mask(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + colours + xor + mask

# ------------------------------------------------------------ PNG writing

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(
        ">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size,
                                             8, 6, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(raw, 9))
            + png_chunk(b"IEND", b""))

# ----------------------------------------------------------- ICO assembly

# (size, bits per pixel); 256 pixels is stored as PNG.
IMAGES = [(256, 32)] + [(s, 32) for s in (64, 48, 32, 24, 16)] \
    + [(s, 8) for s in (64, 48, 32, 24, 16)] + [(32, 4), (16, 4)]


def ico(images):
    """ICONDIR, one 16-byte entry per image, then the images in order."""
    rendered = {}
    blobs = []
    for size, bits in images:
        key = (size, bits == 4)
        if key not in rendered:
            rendered[key] = render(*key)
        rows = rendered[key]
        blobs.append(png(rows) if size == 256 else dib(rows, bits))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), blob in zip(images, blobs):
        dimension = size if size < 256 else 0
        colour_count = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", dimension, dimension, colour_count,
                           0, 1, bits, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(argv[1], "wb") as f:
        f.write(ico(IMAGES))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
