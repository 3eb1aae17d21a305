#!/usr/bin/python3
"""Turn any picture into the weight-and-balance page's AIRCRAFT.KVB.

    make-aircraft-picture.py PICTURE OUTDIR

The picture is scaled to 400 x 340 (its proportions are not kept: draw it so),
reduced to an adaptive palette of at most 256 colours and written as an
8-bit bottom-up BMP with a full 256-entry colour table, the only kind the
unit loads. A sample AIRCRAFT.KVD is written beside it unless OUTDIR already
holds one; edit its stations (X and Y place each load on the picture, CG_LOWER_X
and CG_UPPER_X the design CG limits) and put both files into the unit:

    kv5100 --tfs AIRCRAFT.KVB=OUTDIR/AIRCRAFT.KVB --tfs AIRCRAFT.KVD=OUTDIR/AIRCRAFT.KVD
"""
import os
import struct
import sys

from PIL import Image

WIDTH, HEIGHT = 400, 340

SAMPLE_KVD = """\
# Caution: Do not change Empty Aircraft or Minimum fuel sections.,  
# Caution: The DESC field must be TANK1, TANK2, etc, for your fuel tanks,,  
#          if you want the balance page to work properly.,  
AIRCRAFT, Sample Four-Seat Trainer
MAX_GROSS_WEIGHT, 1650
DESIGN_CG_LOWER, 82.0
DESIGN_CG_UPPER, 93.0
CG_LOWER_X, 120
CG_UPPER_X, 300
WEIGHT_UNITS, lbs
LENGTH_UNITS, in
LIQUID_UNITS, gal
LIQUID_DENSITY, 6.00
"""
SAMPLE_STATIONS = [
    # DESC, QUANTITY, LENGTH, TYPE, X, Y
    ("Empty Aircraft", 1100, "85.0", "W", 0, 0),
    ("Minimum Fuel", 10, "95.0", "L", 0, 0),
    ("Pilot", 170, "88.0", "S", 150, 130),
    ("Passenger", 0, "88.0", "S", 205, 130),
    ("TANK1", 15, "95.0", "L", 150, 70),
    ("TANK2", 15, "95.0", "L", 205, 70),
    ("Baggage", 0, "110.0", "S", 265, 125),
]


def sample_kvd():
    text = SAMPLE_KVD
    for desc, qty, arm, kind, x, y in SAMPLE_STATIONS:
        text += (f"DESC, {desc}\nQUANTITY, {qty}\nLENGTH, {arm}\nTYPE, {kind}\n"
                 f"X, {x}\nY, {y}\nNEXTLINE, 0\n")
    return text


def convert(src):
    picture = Image.open(src).convert("RGB").resize((WIDTH, HEIGHT))
    indexed = picture.convert("P", palette=Image.ADAPTIVE, colors=256)
    palette = indexed.getpalette()[:768]
    # A picture of few colours gets a short palette: the unit wants all 256.
    indexed.putpalette(palette + [0] * (768 - len(palette)))
    return indexed


def check(path):
    """The header the unit checks, read back from the file written."""
    with open(path, "rb") as f:
        data = f.read()
    offset, info = struct.unpack_from("<II", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    ok = (data[:2] == b"BM" and info >= 40 and (width, height, bits, compression) == (WIDTH, HEIGHT, 8, 0)
          and 14 + info + 1024 <= offset and offset + WIDTH * HEIGHT <= len(data))
    if not ok:
        sys.exit(f"{path}: not an 8-bit {WIDTH} x {HEIGHT} BMP with 256 colours; Pillow wrote another kind")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[2].strip())
    src, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    kvb = os.path.join(outdir, "AIRCRAFT.KVB")
    convert(src).save(kvb, "BMP")
    check(kvb)
    kvd = os.path.join(outdir, "AIRCRAFT.KVD")
    if not os.path.exists(kvd):
        with open(kvd, "w", newline="\n") as f:
            f.write(sample_kvd())
    print(kvb)


if __name__ == "__main__":
    main()
