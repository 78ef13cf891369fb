#!/usr/bin/python3
"""Decodes a single-part yEnc file with Debian's python3-yenc (its C decoder), for the
benchmark: the =ybegin line is read here, the data given to yenc.decode by the size it names.

Usage: yenc_peer.py INPUT OUTPUT
"""
import sys

import yenc


def main():
    with open(sys.argv[1], "rb") as src, open(sys.argv[2], "wb") as out:
        header = src.readline()
        size = int(header.split(b"size=")[1].split()[0])
        yenc.decode(src, out, size)


if __name__ == "__main__":
    main()
