#!/usr/bin/env python3
"""Gives the video track of an MP4 or MOV file the display matrix a phone
writes when it is held upright: rotate_mp4.py FILE DEGREES (90, 180 or 270,
clockwise as a player turns the picture). The file is changed in place."""
import struct
import sys

CONTAINERS = {b"moov", b"trak"}


def boxes(data, start, end):
    while start + 8 <= end:
        size, kind = struct.unpack(">I4s", data[start:start + 8])
        if size < 8 or start + size > end:
            return
        yield start, size, kind
        start += size


def find_tkhd(data, start, end):
    for offset, size, kind in boxes(data, start, end):
        if kind in CONTAINERS:
            yield from find_tkhd(data, offset + 8, offset + size)
        elif kind == b"tkhd":
            yield offset


def main():
    path, degrees = sys.argv[1], int(sys.argv[2])
    one = 1 << 16
    # a b c d of the matrix, as 16.16 numbers: a player turns the picture
    # clockwise by the angle.
    turns = {90: (0, one, -one, 0), 180: (-one, 0, 0, -one), 270: (0, -one, one, 0), 0: (one, 0, 0, one)}
    a, b, c, d = turns[degrees]
    data = bytearray(open(path, "rb").read())
    patched = 0
    for offset in find_tkhd(data, 0, len(data)):
        version = data[offset + 8]
        matrix = offset + (60 if version == 1 else 48)
        width, height = struct.unpack(">II", data[matrix + 36:matrix + 44])
        if width == 0 or height == 0:
            continue  # a sound track
        tx = (height >> 16) << 16 if degrees in (90, 180) else 0
        ty = (width >> 16) << 16 if degrees in (180, 270) else 0
        struct.pack_into(">9i", data, matrix, a, b, 0, c, d, 0, tx, ty, 1 << 30)
        patched += 1
    if patched != 1:
        sys.exit(f"{path}: {patched} video tracks found")
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()
