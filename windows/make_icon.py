#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Draws quiplexu.ico: a blue 'Q' ring with a tail on transparent, 32x32 and 16x16, 16 colours."""
import struct
import sys

# The standard 16-colour palette (B, G, R, 0).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
RING, FILL, TAIL = 9, 15, 12  # bright blue ring, white inside, bright red tail


def pixel(x, y, n):
    c = (n - 1) / 2.0
    dx, dy = x - c, y - c
    r2 = dx * dx + dy * dy
    outer, inner = (n * 0.46) ** 2, (n * 0.30) ** 2
    if x >= n * 0.55 and y >= n * 0.55 and abs((x - n * 0.55) - (y - n * 0.55)) <= n / 16.0:
        return TAIL
    if r2 <= inner:
        return FILL
    if r2 <= outer:
        return RING
    return None


def image(n):
    xor_stride = ((n * 4 + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor_rows, and_rows = [], []
    for y in reversed(range(n)):  # bottom-up rows
        xor, mask = bytearray(xor_stride), bytearray(and_stride)
        for x in range(n):
            p = pixel(x, y, n)
            if p is None:
                mask[x // 8] |= 0x80 >> (x % 8)
                p = 0
            xor[x // 2] |= p << (4 if x % 2 == 0 else 0)
        xor_rows.append(bytes(xor))
        and_rows.append(bytes(mask))
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0,
                         len(xor_rows) * xor_stride + len(and_rows) * and_stride, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in
                       [(c[2], c[1], c[0]) for c in PALETTE])
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main(path):
    images = [image(32), image(16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'quiplexu.ico')
