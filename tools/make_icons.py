#!/usr/bin/env python3
"""Draws the starter's icons and writes them as .ico files.

The generated files are checked in under src/ui/resources, so the build never
needs Python; run this again only to change the pictures:

    python3 tools/make_icons.py [output-folder]

Pictures are described as shapes (circles, rounded squares, polygons, thick
lines) and rendered with 4x4 supersampling. The application icon is stored as
256-colour images with a 1-bit mask; the others as 32-bit images with alpha.
"""
import math
import os
import struct
import sys

SAMPLES = 4  # per axis


# --- shapes: each answers "is this point (in 0..1 units) inside?" ----------

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rounded_square(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        nx = min(max(x, x0 + r), x1 - r)
        ny = min(max(y, y0 + r), y1 - r)
        return (x - nx) ** 2 + (y - ny) ** 2 <= r * r
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def thick_line(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def render(layers, size):
    """layers: [(shape, (r, g, b))], painted in order. Returns rows of RGBA."""
    pixels = []
    for row in range(size):
        line = []
        for col in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (col + (sx + 0.5) / SAMPLES) / size
                    y = (row + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for shape, rgb in layers:
                        if shape(x, y):
                            colour = rgb
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = SAMPLES * SAMPLES
            if acc[3] == 0:
                line.append((0, 0, 0, 0))
            else:
                line.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                             round(acc[2] / acc[3]), round(255 * acc[3] / n)))
        pixels.append(line)
    return pixels


# --- .ico encoding ---------------------------------------------------------

def and_mask(pixels, size, threshold):
    stride = ((size + 31) // 32) * 4
    data = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for col, (_, _, _, a) in enumerate(row):
            if a < threshold:
                bits[col // 8] |= 0x80 >> (col % 8)
        data += bits
    return bytes(data)


def header(size, bits, image_bytes, colours_used):
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0,
                       colours_used, 0)


def image_32bit(pixels, size):
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask = and_mask(pixels, size, 1)
    return header(size, 32, len(xor) + len(mask), 0) + bytes(xor) + mask


def image_8bit(pixels, size):
    # Opaque where at least half covered; the colour of an edge pixel is kept
    # as rendered, so the palette needs only the colours that occur.
    palette = []
    index = {}
    rows = []
    for row in pixels:
        out = []
        for r, g, b, a in row:
            key = (r, g, b) if a >= 128 else (0, 0, 0)
            if key not in index:
                if len(palette) == 256:
                    key = min(palette, key=lambda p: sum((p[i] - key[i]) ** 2 for i in range(3)))
                else:
                    index[key] = len(palette)
                    palette.append(key)
            out.append(index[key])
        rows.append(out)
    palette += [(0, 0, 0)] * (256 - len(palette))
    stride = (size + 3) // 4 * 4
    xor = bytearray()
    for out in reversed(rows):
        xor += bytes(out) + bytes(stride - size)
    mask = and_mask(pixels, size, 128)
    pal = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header(size, 8, len(xor) + len(mask), 256) + pal + bytes(xor) + mask


def write_ico(path, images):
    """images: [(size, bits, encoded)]"""
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for size, bits, encoded in images:
        data += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, bits,
                            len(encoded), offset + len(body))
        body += encoded
    with open(path, 'wb') as f:
        f.write(data + body)


# --- the pictures ----------------------------------------------------------

SLATE = (48, 54, 64)
WHITE = (255, 255, 255)


def application_layers():
    # A slate tile with a sky-blue disc and a white "go" triangle: the
    # starter that takes you into the meeting.
    return [
        (rounded_square(0.03, 0.03, 0.97, 0.97, 0.2), SLATE),
        (circle(0.5, 0.5, 0.34), (64, 156, 222)),
        (polygon([(0.42, 0.33), (0.42, 0.67), (0.68, 0.5)]), WHITE),
    ]


def close_layers():
    return [
        (thick_line(0.28, 0.28, 0.72, 0.72, 0.14), (70, 74, 82)),
        (thick_line(0.72, 0.28, 0.28, 0.72, 0.14), (70, 74, 82)),
    ]


def edition_layers(disc, mark):
    return [
        (circle(0.5, 0.5, 0.46), disc),
        (mark, WHITE),
    ]


EDITIONS = {
    # Fennimo: green disc with a leaf-like diamond.
    'edition_fennimo.ico': edition_layers(
        (58, 160, 96), polygon([(0.5, 0.22), (0.74, 0.5), (0.5, 0.78), (0.26, 0.5)])),
    # Everyone else: blue disc with a dot.
    'edition_default.ico': edition_layers((64, 132, 208), circle(0.5, 0.5, 0.18)),
    # Quorrel: amber disc with a bar.
    'edition_quorrel.ico': edition_layers(
        (222, 140, 40), rounded_square(0.26, 0.42, 0.74, 0.58, 0.06)),
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', 'src', 'ui', 'resources')
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, 'starter.ico'),
              [(s, 8, image_8bit(render(application_layers(), s), s)) for s in (16, 32, 64)])
    write_ico(os.path.join(out, 'close.ico'),
              [(16, 32, image_32bit(render(close_layers(), 16), 16))])
    for name, layers in EDITIONS.items():
        write_ico(os.path.join(out, name),
                  [(s, 32, image_32bit(render(layers, s), s)) for s in (16, 32)])


if __name__ == '__main__':
    main()
