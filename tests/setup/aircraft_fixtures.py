#!/usr/bin/python3
"""Aircraft pictures for the loader's tests, made with Pillow.

    aircraft_fixtures.py TOOLS_DIR OUTDIR

OUTDIR gets: src.png (a busy picture), good.kvb (made by the tools script),
good.pix (Pillow's getpixel index of every pixel, top row first, one byte
each) and good.pal (getpalette() packed R | G << 8 | B << 16, 256 u32 LE),
and the refused kinds: rgb24.kvb, rgb16.kvb, wide.kvb, topdown.kvb, rle.kvb,
short.kvb, overlap.kvb, png.kvb. Pillow will not write a 16-bit, a top-down
or a compressed BMP, so those headers are patched.
"""
import os
import struct
import subprocess
import sys

from PIL import Image, ImageDraw

tools, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


src = Image.new("RGB", (640, 480), (10, 30, 80))
d = ImageDraw.Draw(src)
for i in range(0, 640, 4):
    d.line([(i, 0), (640 - i, 480)], fill=(i % 256, (i * 7) % 256, (i * 13) % 256), width=3)
d.ellipse([100, 100, 300, 250], fill=(250, 250, 250))
d.rectangle([0, 0, 60, 20], fill=(255, 0, 0))   # the top left corner: file rows last
src.save(path("src.png"))

subprocess.run(["/usr/bin/python3", os.path.join(tools, "make-aircraft-picture.py"), path("src.png"), out],
               check=True, stdout=subprocess.DEVNULL)
os.replace(path("AIRCRAFT.KVB"), path("good.kvb"))

good = Image.open(path("good.kvb"))
with open(path("good.pix"), "wb") as f:
    f.write(bytes(good.getpixel((x, y)) for y in range(340) for x in range(400)))
pal = good.getpalette()
with open(path("good.pal"), "wb") as f:
    for i in range(256):
        r, g, b = pal[3 * i:3 * i + 3]
        f.write(struct.pack("<I", r | g << 8 | b << 16))

rgb = src.resize((400, 340))
rgb.save(path("rgb24.kvb"), "BMP")
data = bytearray(open(path("rgb24.kvb"), "rb").read())
struct.pack_into("<H", data, 28, 16)
open(path("rgb16.kvb"), "wb").write(data)

wide = src.resize((401, 340)).convert("P", palette=Image.ADAPTIVE, colors=256)
wide.putpalette((wide.getpalette() + [0] * 768)[:768])
wide.save(path("wide.kvb"), "BMP")

raw = open(path("good.kvb"), "rb").read()


def patched(name, offset, fmt, value):
    data = bytearray(raw)
    struct.pack_into(fmt, data, offset, value)
    open(path(name), "wb").write(data)


patched("topdown.kvb", 22, "<i", -340)
patched("rle.kvb", 30, "<I", 1)
open(path("short.kvb"), "wb").write(raw[:-1])
# The pixels said to start inside the colour table.
patched("overlap.kvb", 10, "<I", 14 + 40 + 1000)
src.resize((400, 340)).save(path("png.kvb"), "PNG")
