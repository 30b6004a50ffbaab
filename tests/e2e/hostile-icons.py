#!/usr/bin/env python3
"""Writes the icon files of the hostile-icon scenario into DIR (one per line of the table in
scenarios.sh) and, with --probe SHOT.png X Y, tells what a row's picture area shows in a screenshot."""
import os
import struct
import sys
import zlib


def png(width, height, rows, color_type=2, depth=8):
    """A PNG of the given size whose deflated scan lines come from the iterable `rows`."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    packer = zlib.compressobj(9)
    data = b"".join(packer.compress(row) for row in rows) + packer.flush()
    header = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b"")


def red_png(size=64):
    return png(size, size, (b"\x00" + b"\xff\x00\x00" * size for _ in range(size)))


def huge_png():
    # 20000 x 20000 pixels in about a megabyte: one bit per pixel, all zero.
    row = b"\x00" + b"\x00" * (20000 // 8)
    return png(20000, 20000, (row for _ in range(20000)), color_type=0, depth=1)


SVG = ('<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 64 64" width="64" height="64">'
       '<rect width="64" height="64" fill="#00ff00"/></svg>')


def entity_bomb():
    lines = ['<?xml version="1.0"?>', '<!DOCTYPE svg [', '<!ENTITY e0 "kestrelkestrelkestrel">']
    for i in range(1, 12):
        lines.append('<!ENTITY e%d "%s">' % (i, ("&e%d;" % (i - 1)) * 10))
    lines += [']>', '<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 64 64"><text>&e11;</text></svg>']
    return "\n".join(lines).encode()


def write(directory):
    def put(name, data, mode=0o644):
        path = os.path.join(directory, name)
        with open(path, "wb") as out:
            out.write(data)
        os.chmod(path, mode)
    os.makedirs(directory, exist_ok=True)
    put("red.png", red_png())
    put("green.svg", SVG.encode())
    os.mkfifo(os.path.join(directory, "fifo.png"))
    os.symlink("loop-b.png", os.path.join(directory, "loop-a.png"))
    os.symlink("loop-a.png", os.path.join(directory, "loop-b.png"))
    os.symlink("/dev/zero", os.path.join(directory, "zero.png"))
    os.mkdir(os.path.join(directory, "folder.png"))
    # Unreadable for an ordinary user; for the superuser, who reads it anyway, a truncated PNG.
    put("locked.png", red_png()[:60], 0)
    put("empty.png", b"")
    put("truncated.png", red_png()[:80])
    put("truncated.svg", SVG.encode()[:70])
    put("huge.png", huge_png())
    put("entities.svg", entity_bomb())
    with open(os.path.join(directory, "oversized.png"), "wb") as out:
        out.write(red_png())
        out.truncate(9 * 1024 * 1024)


def probe(shot, x, y):
    """Prints 'icon:RRGGBB' or 'placeholder' or 'nothing' for the picture centred at (x, y): the
    placeholder is a flat gray square, so its centre is gray and unlike the background beside it."""
    import subprocess
    ppm = subprocess.run(["convert", shot, "ppm:-"], check=True, capture_output=True).stdout
    fields = ppm.split(maxsplit=4)
    width = int(fields[1])
    pixels = fields[4]
    def at(px, py):
        offset = 3 * (py * width + px)
        return tuple(pixels[offset:offset + 3])
    centre, beside = at(x, y), at(x - 24, y)
    if max(abs(a - b) for a, b in zip(centre, beside)) < 8:
        print("nothing")
    elif max(centre) - min(centre) < 8:
        print("placeholder")
    else:
        print("icon:%02x%02x%02x" % centre)


if __name__ == "__main__":
    if sys.argv[1] == "--probe":
        probe(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        write(sys.argv[1])
