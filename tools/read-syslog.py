#!/usr/bin/env python3
"""Prints the system log of a kv5100 flash file, oldest line first.

Written apart from the firmware and the host program, as an independent
reader of the log's flash format: sectors 60 and 61 of 128 KB, 64-byte
records of NUL-terminated text, erased records all 0xFF; the full sector
holds the older records.
"""
import sys

SECTOR = 0x20000
RECORD = 64


def records(image, sector):
    base = sector * SECTOR
    for off in range(base, base + SECTOR, RECORD):
        rec = image[off:off + RECORD]
        end = rec.find(b"\0")
        if end >= 0:
            yield rec[:end]


def main(path):
    image = open(path, "rb").read()
    full = lambda s: image[(s + 1) * SECTOR - RECORD:(s + 1) * SECTOR] != b"\xff" * RECORD
    order = (60, 61) if full(60) or not full(61) else (61, 60)
    out = b"".join(r for s in order for r in records(image, s))
    sys.stdout.buffer.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
