#!/usr/bin/env python3
"""Builds the Windows .ico from rendered PNGs, using the Python standard library only.

    make-ico.py OUT.ico IMAGE.png:BITS [IMAGE.png:BITS ...]

Each IMAGE.png (8-bit RGB or RGBA, as rsvg-convert writes them) becomes one icon
image, in the order given, as an old-style paletted bitmap:

  BITS = 4  16 colours, the classic Windows palette, nearest colour, no dithering;
  BITS = 1  black and white: the 16-colour result with each palette entry sent to
            black or white (see MONO), so the cyan title bar comes out solid black.

Pixels less than half opaque are transparent; they go into the AND mask. There is
no randomness and no timestamp anywhere, so the same PNGs give the same bytes.
"""

import struct
import sys
import zlib

# The classic 16-colour Windows palette, in its usual order.
PALETTE16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
PALETTE2 = [(0x00, 0x00, 0x00), (0xFF, 0xFF, 0xFF)]
# Black-and-white image: which of the 16 colours turn white (1); all others are black (0).
# The title bar (cyan) goes black, so what is drawn on it in navy (the close box's cross)
# turns white to stay visible. Grey (the card's edge) turns white between its dark rims,
# silver turns white so the faint content lines drop out and the client area stays clean.
MONO = {4: 1, 7: 1, 8: 1, 10: 1, 11: 1, 13: 1, 15: 1}

OPAQUE_FROM = 128  # alpha at or above this is drawn, below it is transparent


def read_png(path):
    """Returns (width, height, rows) with rows as lists of (r, g, b, a)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"make-ico.py: {path} is not a PNG")
    pos, idat, header = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        sys.exit(f"make-ico.py: {path}: only 8-bit RGB/RGBA, non-interlaced PNGs are read")
    step = 4 if colour == 6 else 3
    stride = width * step
    raw = zlib.decompress(b"".join(idat))
    rows, prior = [], bytearray(stride)
    for y in range(height):
        at = y * (stride + 1)
        kind, row = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        for i in range(stride):
            left = row[i - step] if i >= step else 0
            up = prior[i]
            upleft = prior[i - step] if i >= step else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + ((left + up) >> 1)) & 255
            elif kind == 4:
                p = left + up - upleft
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upleft)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else upleft)) & 255
        prior = row
        pixels = []
        for x in range(width):
            px = tuple(row[x * step:x * step + step])
            pixels.append(px if step == 4 else px + (255,))
        rows.append(pixels)
    return width, height, rows


def nearest(rgb):
    """Index of the nearest colour in PALETTE16; ties go to the lower index."""
    r, g, b = rgb
    best, best_d = 0, None
    for i, (pr, pg, pb) in enumerate(PALETTE16):
        d = (r - pr) ** 2 + (g - pg) ** 2 + (b - pb) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def icon_image(path, bits):
    """One icon image: (width, height, palette size, BITMAPINFOHEADER + palette + masks)."""
    width, height, rows = read_png(path)
    if width > 256 or height > 256:
        sys.exit(f"make-ico.py: {path} is larger than 256x256")
    palette = PALETTE16 if bits == 4 else PALETTE2
    xor_stride = (width * bits + 31) // 32 * 4
    and_stride = (width + 31) // 32 * 4
    xor, mask = bytearray(), bytearray()
    for pixels in reversed(rows):  # bitmaps are stored bottom-up
        indices, holes = [], []
        for r, g, b, a in pixels:
            if a < OPAQUE_FROM:
                indices.append(0)  # black under a set AND bit leaves the screen untouched
                holes.append(1)
            else:
                i = nearest((r, g, b))
                indices.append(i if bits == 4 else MONO.get(i, 0))
                holes.append(0)
        xor += pack_bits(indices, bits, xor_stride)
        mask += pack_bits(holes, 1, and_stride)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return width, height, len(palette), header + colours + bytes(xor) + bytes(mask)


def pack_bits(values, bits, stride):
    """Packs one row of small values, most significant bits first, padded to stride."""
    out, acc, filled = bytearray(), 0, 0
    for v in values:
        acc = (acc << bits) | v
        filled += bits
        if filled == 8:
            out.append(acc)
            acc, filled = 0, 0
    if filled:
        out.append(acc << (8 - filled))
    return bytes(out.ljust(stride, b"\0"))


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    images = []
    for arg in argv[2:]:
        path, bits = (arg.rsplit(":", 1) + [""])[:2]
        if bits not in ("1", "4"):
            sys.exit(f"make-ico.py: {arg}: give the bit depth as :1 or :4")
        images.append(icon_image(path, int(bits)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, colours, blob in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, colours % 256, 0,
                           1, {2: 1, 16: 4}[colours], len(blob), offset)
        offset += len(blob)
    out += b"".join(blob for _, _, _, blob in images)
    with open(argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv)
