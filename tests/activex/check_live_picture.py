#!/usr/bin/env python3
"""Checks a screenshot (PNG, 8-bit RGB) for the camera simulator's live
picture: its red "live" dot and sweeping marker are pure red, which the
stopped picture does not show. With --picture, checks only that the camera's
picture is shown at all: its cyan colour bar.

usage: check_live_picture.py [--live | --picture] <screenshot.png>
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


def count(rows, width, wanted):
    return sum(1 for row in rows for x in range(width)
               if wanted(row[3 * x], row[3 * x + 1], row[3 * x + 2]))


def main():
    arguments = sys.argv[1:]
    if arguments[:1] == ["--live"]:
        arguments = arguments[1:]
    if arguments[:1] == ["--picture"]:
        width, height, rows = read_png(arguments[1])
        cyan = count(rows, width, lambda r, g, b: r < 16 and 176 < g < 208 and 176 < b < 208)
        print("screenshot %dx%d, %d pixels of the cyan bar" % (width, height, cyan))
        if cyan < 1000:
            print("FAIL the camera's picture is not shown")
            sys.exit(1)
        print("camera picture")
        return
    width, height, rows = read_png(arguments[0])
    red = count(rows, width, lambda r, g, b: r > 230 and g < 40 and b < 40)
    print("screenshot %dx%d, %d pure red pixels" % (width, height, red))
    if red < 30:
        print("FAIL the camera picture is not live")
        sys.exit(1)
    print("live picture")


main()
