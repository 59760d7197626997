#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Draws the program's hand cursor and writes it as a Windows .cur file (32x32, 32-bit colour).
import struct, sys

ART = """
.....XX.........
....X..X........
....X..X........
....X..X........
....X..XXX......
....X..X..XXX...
....X..X..X..XX.
XX..X..X..X..X.X
X.X.X........X.X
X..XX..........X
.X.............X
..X............X
..X...........X.
...X..........X.
...X.........X..
....X........X..
....XXXXXXXXXX..
""".strip("\n").splitlines()

W = H = 32
grid = [[' '] * W for _ in range(H)]
for y, line in enumerate(ART):
    for x, ch in enumerate(line):
        grid[y + 1][x + 4] = 'X' if ch == 'X' else '.'
# Everything reachable from the border without crossing the outline is transparent; the rest is the white fill.
outside = [[False] * W for _ in range(H)]
stack = [(0, 0)]
while stack:
    x, y = stack.pop()
    if not (0 <= x < W and 0 <= y < H) or outside[y][x] or grid[y][x] == 'X':
        continue
    outside[y][x] = True
    stack += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]

pixels = b''
mask = b''
for y in reversed(range(H)):
    row_bits = 0
    for x in range(W):
        if grid[y][x] == 'X':
            pixels += bytes((0, 0, 0, 255))
        elif outside[y][x]:
            pixels += bytes((0, 0, 0, 0))
            row_bits |= 1 << (31 - x)
        else:
            pixels += bytes((255, 255, 255, 255))
    mask += struct.pack('>I', row_bits)

header = struct.pack('<IiiHHIIiiII', 40, W, H * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
image = header + pixels + mask
hot_x, hot_y = 4 + 5, 1 + 0
data = struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', W, H, 0, 0, hot_x, hot_y, len(image), 22) + image
open(sys.argv[1] if len(sys.argv) > 1 else 'HAND-M.CUR', 'wb').write(data)
