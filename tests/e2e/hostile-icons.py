#!/usr/bin/env python3
"""Writes the icon files of the hostile-icon scenario into DIR (one per line of the table in
scenarios.sh) and, with --probe SHOT.png X Y, tells what a row's picture area shows in a screenshot.
What the decoder makes of broken image data is the desktop unit tests' business; these files are hostile
as files: they block, never end, loop, are no file at all, cannot be read or are far too large."""
import os
import struct
import subprocess
import sys
import zlib


def red_png(size=64):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = (b"\x00" + b"\xff\x00\x00" * size) * size
    header = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


SVG = ('<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 64 64" width="64" height="64">'
       '<rect width="64" height="64" fill="#00ff00"/></svg>')


def write(directory):
    os.makedirs(directory, exist_ok=True)
    path = lambda name: os.path.join(directory, name)
    with open(path("red.png"), "wb") as out:
        out.write(red_png())
    with open(path("green.svg"), "w") as out:
        out.write(SVG)
    os.mkfifo(path("fifo.png"))
    os.symlink("loop-b.png", path("loop-a.png"))
    os.symlink("loop-a.png", path("loop-b.png"))
    os.symlink("/dev/zero", path("zero.png"))
    os.mkdir(path("folder.png"))
    # Unreadable for an ordinary user; for the superuser, who reads it anyway, a truncated PNG.
    with open(path("locked.png"), "wb") as out:
        out.write(red_png()[:60])
    os.chmod(path("locked.png"), 0)
    with open(path("oversized.png"), "wb") as out:
        out.write(red_png())
        out.truncate(9 * 1024 * 1024)


def probe(shot, x, y):
    """Prints 'icon:RRGGBB' or 'placeholder' or 'nothing' for the picture centred at (x, y): the
    placeholder is a flat gray square, so its centre is gray and unlike the background beside it."""
    ppm = subprocess.run(["convert", shot, "ppm:-"], check=True, capture_output=True).stdout
    fields = ppm.split(maxsplit=4)
    width, pixels = int(fields[1]), fields[4]
    at = lambda px: tuple(pixels[3 * (y * width + px):3 * (y * width + px) + 3])
    centre, beside = at(x), at(x - 24)
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
