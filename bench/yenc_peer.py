#!/usr/bin/python3
"""Decodes a single-part yEnc file with Debian's python3-yenc (its C decoder), for the
benchmark: the =ybegin line is read here, the data given to yenc.decode by the size it names.
With --encode, encodes INPUT with its C encoder instead (the data lines, between the =ybegin
and =yend lines written here).

Usage: yenc_peer.py [--encode] INPUT OUTPUT
"""
import os
import sys

import yenc


def encode(source, target):
    size = os.path.getsize(source)
    with open(source, "rb") as src, open(target, "wb") as out:
        out.write(b"=ybegin line=128 size=%d name=%s\n" % (size, os.path.basename(source).encode()))
        _, crc = yenc.encode(src, out, size)
        out.write(b"\n=yend size=%d crc32=%s\n" % (size, crc.encode()))


def main():
    if sys.argv[1] == "--encode":
        encode(sys.argv[2], sys.argv[3])
        return
    with open(sys.argv[1], "rb") as src, open(sys.argv[2], "wb") as out:
        header = src.readline()
        size = int(header.split(b"size=")[1].split()[0])
        yenc.decode(src, out, size)


if __name__ == "__main__":
    main()
