#!/usr/bin/env python3
"""Checks an IE host screenshot (PNG, 8-bit RGB) for the camera simulator's
live picture: its red "live" dot and sweeping marker are pure red, which
the stopped picture does not show.

usage: check_live_picture.py <screenshot.png>
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("not a PNG: %s" % path)
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour != 2:
                sys.exit("unexpected PNG format")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3 + 1
    rows = [raw[y * stride + 1:(y + 1) * stride] for y in range(height)]
    return width, height, rows


def main():
    width, height, rows = read_png(sys.argv[1])
    red = sum(1 for row in rows for x in range(width)
              if row[3 * x] > 230 and row[3 * x + 1] < 40 and row[3 * x + 2] < 40)
    print("screenshot %dx%d, %d pure red pixels" % (width, height, red))
    if red < 30:
        print("FAIL the camera picture is not live")
        sys.exit(1)
    print("live picture")


main()
