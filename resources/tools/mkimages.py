#!/usr/bin/env python3
"""Writes the program's images: icon 1001 (kestrin.ico), the context-help
cursor 24000 (help.cur) and the about-box pictures 1450 / 2450 (picture.bmp,
picture_down.bmp).

Usage: mkimages.py OUTPUT_DIR. Standard library only; the same input always
gives the same bytes.
"""
import math
import os
import struct
import sys

# The 16-colour VGA palette, index -> (r, g, b).
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, DKGREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = -1  # transparent in icons


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / float(dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def clock_face(size, rim=NAVY, face=WHITE, outside=CLEAR):
    """A clock at ten past ten: rim, hour ticks, two hands, a red second hand."""
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    rim_w = max(1.5, size / 11.0)
    grid = [[outside] * size for _ in range(size)]
    hands = [  # (angle in degrees clockwise from 12, length, half-width, colour)
        (305.0, 0.52, max(0.6, size / 22.0), BLACK),  # hour hand at ~10
        (60.0, 0.78, max(0.5, size / 30.0), BLACK),   # minute hand at 10 past
        (180.0, 0.80, 0.45, RED),                     # second hand
    ]
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d > r:
                continue
            if d > r - rim_w:
                grid[y][x] = rim
                continue
            colour = face
            if size >= 24:
                ang = math.degrees(math.atan2(x - c, c - y)) % 360.0
                near = min(ang % 30.0, 30.0 - ang % 30.0)
                if d > r - rim_w - size / 9.0 and near * d * math.pi / 180.0 < 0.7:
                    colour = GREY
            for angle, length, half, col in hands:
                a = math.radians(angle)
                ex = c + math.sin(a) * length * (r - rim_w)
                ey = c - math.cos(a) * length * (r - rim_w)
                if segment_distance(x, y, c, c, ex, ey) <= half:
                    colour = col
            if d <= max(0.8, size / 20.0):
                colour = RED
            grid[y][x] = colour
    return grid


def pack_rows(rows, bpp):
    """Bottom-up DIB rows, each padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray()
        if bpp == 4:
            for i in range(0, len(row), 2):
                hi = row[i]
                lo = row[i + 1] if i + 1 < len(row) else 0
                bits.append((hi << 4) | lo)
        elif bpp == 1:
            for i in range(0, len(row), 8):
                byte = 0
                for j, v in enumerate(row[i:i + 8]):
                    byte |= (v & 1) << (7 - j)
                bits.append(byte)
        while len(bits) % 4:
            bits.append(0)
        out += bits
    return bytes(out)


def dib_header(width, height, bpp, colours):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bpp, 0, 0, 0, 0, colours, 0)


def icon_image(grid):
    """One 16-colour icon image: header (height doubled), palette, XOR, AND."""
    size = len(grid)
    xor = [[0 if v == CLEAR else v for v in row] for row in grid]
    mask = [[1 if v == CLEAR else 0 for v in row] for row in grid]
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in VGA)
    return (dib_header(size, size * 2, 4, 16) + palette + pack_rows(xor, 4) +
            pack_rows(mask, 1))


def icon_file(grids, hotspots=None):
    """ICO (type 1) or, with hotspots, CUR (type 2)."""
    images = [icon_image(g) if hotspots is None else cursor_image(g) for g in grids]
    kind = 1 if hotspots is None else 2
    out = bytearray(struct.pack('<HHH', 0, kind, len(images)))
    offset = 6 + 16 * len(images)
    for i, (grid, data) in enumerate(zip(grids, images)):
        size = len(grid)
        if hotspots is None:
            planes, bits = 1, 4
            colours = 16
        else:
            planes, bits = hotspots[i]
            colours = 2
        out += struct.pack('<BBBBHHII', size, size, colours, 0, planes, bits, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


# The help cursor: the arrow with a question mark. 'X' black, '.' white,
# ' ' transparent. Hot spot at the arrow's tip (0, 0).
HELP_CURSOR = [
    "X",
    "XX",
    "X.X",
    "X..X",
    "X...X",
    "X....X",
    "X.....X",
    "X......X",
    "X.......X       XXXXX",
    "X........X     X.....X",
    "X.....XXXXX   X..XXX..X",
    "X..X..X       X..X X..X",
    "X.X X..X       XX X..X",
    "XX  X..X         X..X",
    "X    X..X       X..X",
    "     X..X       X..X",
    "      X..X       XX",
    "      X..X      X..X",
    "       XX       X..X",
    "                 XX",
]


def cursor_image(grid):
    """Monochrome cursor image: palette black/white, XOR then AND mask."""
    size = len(grid)
    xor = [[1 if v == 'white' else 0 for v in row] for row in grid]
    mask = [[1 if v == 'clear' else 0 for v in row] for row in grid]
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    return dib_header(size, size * 2, 1, 2) + palette + pack_rows(xor, 1) + pack_rows(mask, 1)


def help_cursor_grid(size=32):
    grid = [['clear'] * size for _ in range(size)]
    for y, line in enumerate(HELP_CURSOR):
        for x, ch in enumerate(line):
            if ch == 'X':
                grid[y][x] = 'black'
            elif ch == '.':
                grid[y][x] = 'white'
    return grid


def picture(width, height, pressed):
    """The about-box picture: a clock on a raised (or pressed) grey tile."""
    face = [[VGA[SILVER]] * width for _ in range(height)]
    light, shadow, dark = VGA[WHITE], VGA[GREY], VGA[BLACK]
    for i in range(2):
        for x in range(i, width - i):
            face[i][x] = shadow if pressed else light
            face[height - 1 - i][x] = light if pressed else (dark if i == 0 else shadow)
        for y in range(i, height - i):
            face[y][i] = shadow if pressed else light
            face[y][width - 1 - i] = light if pressed else (dark if i == 0 else shadow)
    size = min(width, height) - 14
    clock = clock_face(size, rim=NAVY, face=WHITE, outside=CLEAR)
    shift = 1 if pressed else 0
    ox = (width - size) // 2 + shift
    oy = (height - size) // 2 + shift
    for y in range(size):
        for x in range(size):
            v = clock[y][x]
            if v != CLEAR:
                face[oy + y][ox + x] = VGA[v]
    return face


def bmp_file(rows):
    """A 16-colour DIB: every pixel is a VGA colour, so four bits hold it
    exactly, in a sixth of the bytes 24 bits take."""
    height, width = len(rows), len(rows[0])
    bits = pack_rows([[VGA.index(rgb) for rgb in row] for row in rows], 4)
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in VGA)
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
    return header + dib_header(width, height, 4, 16) + palette + bits


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else '.'
    os.makedirs(out, exist_ok=True)
    files = {
        'kestrin.ico': icon_file([clock_face(32), clock_face(16)]),
        'help.cur': icon_file([help_cursor_grid()], hotspots=[(0, 0)]),
        'picture.bmp': bmp_file(picture(56, 64, False)),
        'picture_down.bmp': bmp_file(picture(56, 64, True)),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
