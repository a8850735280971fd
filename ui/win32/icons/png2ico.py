#!/usr/bin/env python3
"""Makes the tray's .ico files from the program's PNG pictures.

    python3 ui/win32/icons/png2ico.py ui/pictures/png/stop.png ui/win32/icons/stop.ico

Each icon holds the picture at 16, 32 and 48 pixels as 32-bit DIBs (colour
with alpha plus the AND mask), which every Windows version and wine read;
the shell picks the size that fits the notification area. Only the
standard library is needed, so the files can be remade on any machine.
"""
import struct
import sys
import zlib

SIZES = (16, 32, 48)


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise SystemExit(f"{path}: only 8-bit RGB/RGBA non-interlaced pictures are read")
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * channels:x * channels + channels]) + ((255,) if channels == 3 else ())
                     for x in range(width)])
        prev = line
    return width, height, rows


def scaled(width, height, rows, size):
    """Area average with premultiplied alpha, so transparent edges stay clean."""
    out = []
    for oy in range(size):
        y0, y1 = oy * height / size, (oy + 1) * height / size
        line = []
        for ox in range(size):
            x0, x1 = ox * width / size, (ox + 1) * width / size
            acc = [0.0, 0.0, 0.0, 0.0]
            total = 0.0
            for y in range(int(y0), min(height, int(y1 + 0.999999))):
                wy = min(y + 1, y1) - max(y, y0)
                if wy <= 0:
                    continue
                for x in range(int(x0), min(width, int(x1 + 0.999999))):
                    wx = min(x + 1, x1) - max(x, x0)
                    if wx <= 0:
                        continue
                    r, g, b, a = rows[y][x]
                    w = wx * wy
                    acc[0] += r * a * w
                    acc[1] += g * a * w
                    acc[2] += b * a * w
                    acc[3] += a * w
                    total += w
            alpha = acc[3] / total if total else 0
            if acc[3]:
                pixel = tuple(round(acc[i] / acc[3]) for i in range(3)) + (round(alpha),)
            else:
                pixel = (0, 0, 0, 0)
            line.append(pixel)
        out.append(line)
    return out


def dib(pixels, size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):  # DIBs are stored bottom-up
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main():
    if len(sys.argv) != 3:
        raise SystemExit("usage: png2ico.py PICTURE.png OUT.ico")
    width, height, rows = read_png(sys.argv[1])
    images = [dib(scaled(width, height, rows, s), s) for s in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    open(sys.argv[2], "wb").write(out)


if __name__ == "__main__":
    main()
