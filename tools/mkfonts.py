#!/usr/bin/python3
"""Make the glyph tables of the display's bitmap fonts (gui/fontdata_*.cpp).

The tables are committed, so the build needs none of this. To regenerate:

    apt-get install python3-freetype xfonts-base xfonts-terminus fonts-dejavu-extra
    /usr/bin/python3 tools/mkfonts.py          # writes gui/fontdata_*.cpp
    /usr/bin/python3 tools/mkfonts.py --preview SHEET.png   # also a glyph sheet (python3-pil)

Sources (licences in gui/FONTS-LICENSES.txt):
  - monospaced 4x6: the public-domain fixed font 4x6 (xfonts-base);
  - monospaced 6x8 and 8x8: the "clean" fonts clR6x8 and clR8x8 (xfonts-base),
    with the accents and extra signs of codes 144..255 from the fixed 5x8;
  - monospaced 8x16: Terminus 16 (xfonts-terminus);
  - proportional: DejaVu Sans Condensed and Sans Condensed Bold
    (fonts-dejavu-extra) rendered by FreeType without anti-aliasing at exact
    pixel sizes; the 15-row font with
    8 pixels per glyph is the clean clR8x14 (xfonts-base).

Every glyph is placed on the font's baseline. A glyph whose ink leaves the
cell is moved back into it when it is short enough (tiny fonts have only one
row below the baseline), else clipped.

Codes 144..255 of the translated monospaced fonts: 144..149 arrows and
triangles, 150..159 none, 160..255 Latin-1. An accented letter is a base glyph
with an accent glyph drawn over it: the base is the font's own letter when the
source's accented letter keeps it whole, else the source's (shortened) letter
stored as an extra glyph. Other signs are single extra glyphs.
"""
import os
import sys
import unicodedata

import freetype as ft

MISC = "/usr/share/fonts/X11/misc/"
DEJAVU = "/usr/share/fonts/truetype/dejavu/"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "gui")

EXTRA_CODES = {144: 0x2190, 145: 0x2191, 146: 0x2192, 147: 0x2193, 148: 0x25B2, 149: 0x25BC}
BELOW_MARKS = {0x0327, 0x0328}   # cedilla, ogonek


class Face:
    """A font source: a bitmap font at its only size or an outline at a pixel size."""

    def __init__(self, path, px=None):
        self.path = path
        self.face = ft.Face(path)
        if px is None:
            self.face.select_size(0)
        else:
            self.face.set_pixel_sizes(0, px)
        self.ascent = round(self.face.size.ascender / 64)

    def has(self, cp):
        return self.face.get_char_index(cp) != 0

    def render(self, cp):
        """-> (advance, set of (x, y) ink pixels with y relative to the baseline, up negative)."""
        self.face.load_char(cp, ft.FT_LOAD_RENDER | ft.FT_LOAD_TARGET_MONO)
        g = self.face.glyph
        b = g.bitmap
        ink = set()
        for r in range(b.rows):
            for c in range(b.width):
                if (b.buffer[r * b.pitch + (c >> 3)] >> (7 - (c & 7))) & 1:
                    ink.add((g.bitmap_left + c, r - g.bitmap_top))
        return g.advance.x >> 6, ink


def fit_rows(ink, ysize, baseline, name):
    """Baseline-relative ink -> cell rows 0..ysize-1, moved in or clipped."""
    pts = {(x, y + baseline) for x, y in ink}
    if not pts:
        return pts
    top = min(y for _, y in pts)
    bottom = max(y for _, y in pts)
    if top < 0 or bottom >= ysize:
        if bottom - top + 1 <= ysize:
            dy = -top if top < 0 else ysize - 1 - bottom
        else:
            dy = -top if top < 0 else 0
            print(f"  {name}: clipped", file=sys.stderr)
        pts = {(x, y + dy) for x, y in pts}
    return {(x, y) for x, y in pts if 0 <= y < ysize}


def unpack(bits, xsize):
    bpl = (xsize + 7) // 8
    return {(x, i // bpl) for i, b in enumerate(bits) for x in range((i % bpl) * 8, (i % bpl) * 8 + 8)
            if x < xsize and b & (0x80 >> (x & 7))}


def pack(pts, xsize, ysize):
    bpl = (xsize + 7) // 8
    rows = []
    for y in range(ysize):
        row = [0] * bpl
        for x in range(xsize):
            if (x, y) in pts:
                row[x >> 3] |= 0x80 >> (x & 7)
        rows.extend(row)
    return bytes(rows)


def char_comment(code):
    ch = chr(code)
    if code == 92:
        return "backslash"
    if ch.isprintable() and code < 128:
        return f"'{ch}'"
    return f"{code}"


# ---------------------------------------------------------------- proportional

def make_prop(name, face, first, last, ysize, baseline, fixed_width=None):
    chars = []
    for code in range(first, last + 1):
        cp = code
        if code == 127 and not face.has(127):
            cp = 0x2302
        adv, ink = face.render(cp)
        if fixed_width is not None:
            adv = fixed_width
        if ink:
            left = min(x for x, _ in ink)
            if left < 0:
                ink = {(x - left, y) for x, y in ink}
                adv -= left
        pts = fit_rows(ink, ysize, baseline, f"{name} {code}")
        right = max((x for x, _ in pts), default=-1) + 1
        xsize = fixed_width if fixed_width is not None else max(adv, right)
        if fixed_width is not None:
            pts = {(x, y) for x, y in pts if x < xsize}
        assert 0 < xsize < 256 and 0 < adv < 256, (name, code)
        chars.append((code, xsize, adv, pack(pts, xsize, ysize)))
    return chars


def emit_prop(name, source, chars, first, last):
    lines = [header(name, source), "namespace {", "const uint8_t kBits[] = {"]
    offsets = []
    off = 0
    for code, xsize, adv, bits in chars:
        offsets.append(off)
        lines.append(f"    // {char_comment(code)}")
        lines.append(hexrows(bits, (xsize + 7) // 8))
        off += len(bits)
    lines.append("};")
    lines.append("const GUI_FontPropChar kChars[] = {")
    for (code, xsize, adv, bits), o in zip(chars, offsets):
        lines.append(f"    {{{xsize}, {adv}, {(xsize + 7) // 8}, kBits + {o}}},   // {char_comment(code)}")
    lines.append("};")
    lines.append("}  // namespace")
    lines.append("")
    lines.append(f"const GUI_FontProp G_FontData{name} = {{{first}, {last}, kChars, nullptr}};")
    write(name, lines)


# ------------------------------------------------------------------ monospaced

def cell_glyph(face, cp, xsize, ysize, baseline, dx=0, name=""):
    _, ink = face.render(cp)
    pts = fit_rows({(x + dx, y) for x, y in ink}, ysize, baseline, f"{name} U+{cp:04X}")
    return frozenset((x, y) for x, y in pts if 0 <= x < xsize)


def find_mark(accented, mark, below):
    """Place `mark` inside `accented`: topmost, or bottom-most for a mark below."""
    fits = [(dy, dx) for dy in range(-16, 17) for dx in (0, -1, 1)
            if {(x + dx, y + dy) for x, y in mark} <= accented]
    if not fits:
        return None
    if below:
        dy, dx = max(fits, key=lambda f: (f[0], -abs(f[1])))
    else:
        dy, dx = min(fits, key=lambda f: (f[0], abs(f[1])))
    return frozenset((x + dx, y + dy) for x, y in mark)


def make_mono(name, face, accents, first, last, xsize, ysize, baseline, translate):
    glyphs = []      # frozensets of cell pixels; index = glyph index
    for code in range(first, last + 1):
        cp = code if face.has(code) else 0x2302 if code == 127 else code
        glyphs.append(cell_glyph(face, cp, xsize, ysize, baseline, name=name))
    if not translate:
        return glyphs, None

    index = {}

    def extra(pts):
        pts = frozenset(pts)
        if pts not in index:
            index[pts] = len(glyphs)
            glyphs.append(pts)
        return index[pts]

    dx = (xsize - accents_advance(accents) + 1) // 2 if accents is not face else 0

    def src(cp):
        return cell_glyph(accents, cp, xsize, ysize, baseline, dx, name)

    def direct(code):
        return code - first

    pairs = {}
    lower_marks = {}
    # Lower case first: its marks place those of the capitals.
    order = sorted(range(160, 256), key=lambda c: (not chr(c).islower(), c))
    for code in order:
        ch = chr(code)
        dec = unicodedata.normalize("NFD", ch)
        if code == 160:
            pairs[code] = (direct(32), -1)
            continue
        if code == 173:
            pairs[code] = (direct(ord("-")), -1)
            continue
        if len(dec) == 2 and unicodedata.combining(dec[1]) and first <= ord(dec[0]) <= last:
            base, markcp = ord(dec[0]), ord(dec[1])
            acc, plain = src(code), src(base)
            if plain <= acc and acc - plain:
                mark = acc - plain
                lower_marks.setdefault(markcp, mark)
                pairs[code] = (direct(base), extra(mark))
                continue
            shape = lower_marks.get(markcp)
            placed = find_mark(acc, shape, markcp in BELOW_MARKS) if shape else None
            if placed is not None and acc - placed:
                pairs[code] = (extra(acc - placed), extra(placed))
                continue
            pairs[code] = (extra(acc), -1)
            continue
        pairs[code] = (extra(src(code)), -1) if accents.has(code) else (-1, -1)
    for code, cp in EXTRA_CODES.items():
        pairs[code] = (extra(src(cp)), -1) if accents.has(cp) else (-1, -1)
    table = [pairs.get(code, (-1, -1)) for code in range(144, 256)]
    assert all(g < len(glyphs) and o < len(glyphs) for g, o in table)
    return glyphs, table


def accents_advance(face):
    adv, _ = face.render(ord("x"))
    return adv


def emit_mono(name, source, glyphs, table, first, last, xsize, xdist, ysize):
    bpl = (xsize + 7) // 8
    lines = [header(name, source), "namespace {", "const uint8_t kGlyphs[] = {"]
    for i, pts in enumerate(glyphs):
        code = first + i
        label = char_comment(code) if code <= last else f"extra {i}"
        lines.append(f"    // {i}: {label}")
        lines.append(hexrows(pack(pts, xsize, ysize), bpl))
    lines.append("};")
    trans = "nullptr"
    if table is not None:
        lines.append("const GUI_FontTransPair kPairs[] = {")
        for i in range(0, len(table), 8):
            chunk = table[i:i + 8]
            body = " ".join(f"{{{g}, {o}}}," for g, o in chunk)
            lines.append(f"    {body}   // {144 + i}..{144 + i + len(chunk) - 1}")
        lines.append("};")
        lines.append("const GUI_FontTransTable kTrans = {144, 255, kPairs};")
        trans = "&kTrans"
    lines.append("}  // namespace")
    lines.append("")
    lines.append(f"const GUI_FontMono G_FontData{name} = {{kGlyphs, kGlyphs, {trans}, "
                 f"{first}, {last}, {xsize}, {xdist}, {bpl}}};")
    write(name, lines)


# ---------------------------------------------------------------------- output

def header(name, source):
    return (f"// Glyph table of the {name} font, made by tools/mkfonts.py from {source}.\n"
            f"// Do not edit: regenerate. Licence: gui/FONTS-LICENSES.txt.\n"
            f'#include "gui/font.h"\n')


def hexrows(bits, bpl):
    per_line = max(bpl, (16 // bpl) * bpl)
    out = []
    for i in range(0, len(bits), per_line):
        out.append("    " + " ".join(f"0x{b:02X}," for b in bits[i:i + per_line]))
    return "\n".join(out)


def write(name, lines):
    path = os.path.join(OUT, f"fontdata_{name.lower()}.cpp")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    print(f"wrote {os.path.relpath(path)}")


# Condensed faces and sizes chosen so that the texts of the pages fit the room
# their layouts give them (the page text-fit test measures every one): the
# splash warning's 78-character lines in a 440-pixel frame (P16), soft-key
# labels 95 pixels apart and the knob label beside "DEMO" (P13D, P8), the
# timer before its arrow (P24B), the page list's columns (P16B). P13D, the
# label font, can be no wider than P13B: it draws with P13B's glyphs
# (gui/font.cpp). Each bold font is wider than its regular one.
PROP = [
    # name,  file,                              px, YSize, Baseline
    ("P8",   "DejaVuSansCondensed.ttf",          9,  8,  7),
    ("P10",  "DejaVuSansCondensed.ttf",         11, 10,  9),
    ("P13",  "DejaVuSansCondensed.ttf",         11, 13, 11),
    ("P13B", "DejaVuSansCondensed-Bold.ttf",    11, 13, 11),
    ("P13C", "DejaVuSansCondensed.ttf",         12, 13, 11),
    ("P16",  "DejaVuSansCondensed.ttf",         12, 16, 13),
    ("P16B", "DejaVuSansCondensed-Bold.ttf",    12, 16, 13),
    ("P24",  "DejaVuSansCondensed.ttf",         20, 24, 19),
    ("P24B", "DejaVuSansCondensed-Bold.ttf",    19, 24, 19),
    ("P32",  "DejaVuSansCondensed.ttf",         27, 32, 26),
    ("P32B", "DejaVuSansCondensed-Bold.ttf",    27, 32, 25),
]

MONO = [
    # name,   file,                      accents,        First, Last, XSize, XDist, YSize, Baseline, translated
    ("M4x6",  "4x6.pcf.gz",              None,           32, 126, 4, 4, 6, 5, False),
    ("M6x8",  "clR6x8.pcf.gz",           "5x8.pcf.gz",   32, 126, 6, 6, 8, 7, True),
    ("M8x8",  "clR8x8.pcf.gz",           "5x8.pcf.gz",   32, 127, 8, 8, 8, 7, True),
    ("M8x16", "ter-u16n_unicode.pcf.gz", None,           32, 127, 8, 8, 16, 12, True),
]


def preview(path, sheets):
    """Every glyph set as it will be drawn, codes 144..255 composed as the table says."""
    from PIL import Image
    scale, width = 2, 900
    lines = []
    for name, ysize, cells in sheets:
        x, row = 0, []
        for pts, w in cells:
            if x + w > width:
                lines.append((ysize, row))
                x, row = 0, []
            row.append((x, pts))
            x += w + 1
        lines.append((ysize, row))
    height = sum(ys + 3 for ys, _ in lines)
    img = Image.new("L", (width * scale, height * scale), 255)
    y0 = 0
    for ysize, row in lines:
        for x, pts in row:
            for px, py in pts:
                for i in range(scale):
                    for j in range(scale):
                        img.putpixel(((x + px) * scale + i, (y0 + py) * scale + j), 0)
        y0 += ysize + 3
    img.save(path)


def main():
    sheets = []
    for name, fname, px, ysize, baseline in PROP:
        face = Face(DEJAVU + fname, px)
        chars = make_prop(name, face, 32, 126, ysize, baseline)
        emit_prop(name, f"{fname} at {px} px", chars, 32, 126)
        sheets.append((name, ysize, [(unpack(b, x), a) for _, x, a, b in chars]))
    face = Face(MISC + "clR8x14.pcf.gz")
    chars = make_prop("P15", face, 32, 127, 15, 12, fixed_width=8)
    emit_prop("P15", "clR8x14 (xfonts-base) on the baseline of a 15-row cell", chars, 32, 127)
    sheets.append(("P15", 15, [(unpack(b, x), a) for _, x, a, b in chars]))
    for name, fname, acc, first, last, xsize, xdist, ysize, baseline, tr in MONO:
        face = Face(MISC + fname)
        accents = Face(MISC + acc) if acc else face
        glyphs, table = make_mono(name, face, accents, first, last, xsize, ysize, baseline, tr)
        source = fname.split(".")[0] + (f" with signs from {acc.split('.')[0]}" if acc else "")
        emit_mono(name, source, glyphs, table, first, last, xsize, xdist, ysize)
        cells = [(g, xdist) for g in glyphs[:last - first + 1]]
        for g, o in table or []:
            cells.append(((glyphs[g] if g >= 0 else frozenset()) | (glyphs[o] if o >= 0 else frozenset()), xdist))
        sheets.append((name, ysize, cells))
    if len(sys.argv) == 3 and sys.argv[1] == "--preview":
        preview(sys.argv[2], sheets)


if __name__ == "__main__":
    main()
