#!/usr/bin/env python3
"""Packs PNG pictures into one .ico (PNG entries, as Windows reads them since Vista).

make_ico.py OUT.ico IN16.png IN32.png ..."""
import struct
import sys


def size_of(png):
    if png[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("not a PNG picture")
    return struct.unpack(">II", png[16:24])


def main(out, inputs):
    pictures = [open(name, "rb").read() for name in inputs]
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, data = b"", b""
    for png in pictures:
        width, height = size_of(png)
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(png), offset + len(data))
        data += png
    with open(out, "wb") as ico:
        ico.write(header + entries + data)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    main(sys.argv[1], sys.argv[2:])
