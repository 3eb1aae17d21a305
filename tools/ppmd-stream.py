#!/usr/bin/python3
"""Compress a file into a weather-product stream the unit decodes.

The stream is 'I', 0 (the 1 MB model the unit's 393,216-byte arena holds),
method * 16 + order - 1, then the range-coded symbols with their end marker
and flush, made by the distribution's python3-ppmd with the unit's arena size.

    ppmd-stream.py [--order N] [--method 0|1] IN OUT
    ppmd-stream.py --from-zip ZIP OUT   (the first entry of a ZIP of method 98, its 2-byte header replaced)
"""
import argparse
import io
import struct
import sys

ARENA_BYTES = 393216


def encode(data, order, method):
    import ppmd
    out = io.BytesIO()
    enc = ppmd.Ppmd8Encoder(out, order, ARENA_BYTES, method)
    enc.encode(data)
    enc.flush()
    enc.close()
    return bytes([0x49, 0, method * 16 + order - 1]) + out.getvalue()


def zip_first_body(z):
    """The first entry's data of a ZIP file, which must use method 98."""
    sig, _, _, method = struct.unpack_from("<IHHH", z)
    if sig != 0x04034B50 or method != 98:
        raise ValueError("not a ZIP whose first entry uses method 98")
    size, = struct.unpack_from("<I", z, 18)
    name_len, extra_len = struct.unpack_from("<HH", z, 26)
    start = 30 + name_len + extra_len
    return z[start:start + size]


def from_zip98(body):
    """A method-98 body starts with u16 LE: order-1, memory MB-1 << 4, method << 12."""
    if len(body) < 2:
        raise ValueError("body shorter than its 2-byte header")
    word, = struct.unpack_from("<H", body)
    order = (word & 0x0F) + 1
    memory = (word >> 4) & 0xFF
    method = word >> 12
    return bytes([0x49, memory, method * 16 + order - 1]) + body[2:]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--order", type=int, default=6)
    ap.add_argument("--method", type=int, default=0)
    ap.add_argument("--from-zip", action="store_true")
    ap.add_argument("input")
    ap.add_argument("output")
    a = ap.parse_args()
    with open(a.input, "rb") as f:
        data = f.read()
    if a.from_zip:
        stream = from_zip98(zip_first_body(data))
    else:
        if not 2 <= a.order <= 16:
            sys.exit("ppmd-stream: order must be 2..16 (the unit refuses order 1)")
        if a.method not in (0, 1):
            sys.exit("ppmd-stream: method must be 0 (restart) or 1 (cut-off); python3-ppmd has no freeze")
        stream = encode(data, a.order, a.method)
    with open(a.output, "wb") as f:
        f.write(stream)


if __name__ == "__main__":
    main()
