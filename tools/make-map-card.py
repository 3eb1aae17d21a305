#!/usr/bin/env python3
"""Makes the moving map's card files for a small synthetic region.

    make-map-card.py OUTDIR [--region nw|se] [--code XX] [--map-version N]
                     [--vec-version N] [--no-vector] [--no-terrain]
                     [--fault NAME]... [--tfr] [--db-pages] [--no-charts]
                     [--chart-faults] [--image IMAGE]

Writes NRVMAP<code>.KVM, NRVTER<code>.KVM and the shared vector file
(NRVVECUS.KVM for US, NRVVECWW.KVM elsewhere) into OUTDIR, with manifest.json
telling what was placed where. With --tfr, also TFR.XML: two restricted
areas near the start (a 5 NM circle and a three-point outline) in the TFR
XML form the unit reads from the card. With --image, also puts them on a FAT card
image made by make-sd-image.sh.

Charts: CHARTS/<id>.ACH for the airport nearest the start (five pages: a
500 x 300 diagram, a 1,000 x 600 overview, pages turned 90 and 270 degrees,
all geo-referenced, and a 500 x 300 page without geo-reference) and for the
home airport K00 (one page). A chart file is an 84-byte header (name at 4,
page count at 80) and 32 page entries of 80 bytes (x scale, y scale, x
offset, y offset, rotation as floats; two box corners and markers A and B
as i16 pairs at +20; flags +36, bit 0 geo-referenced; page name +40; data
offset +72 and compressed length +76), then each page as one LZF block of
an 8-bit Windows bitmap made by Pillow. Every bitmap is read back with
Pillow before it is compressed and every block unpacked again with liblzf.
The bitmaps are also kept as chart-pages/<id>-<n>.bmp. The pictures use
colours the unit's palette holds and show "TOP" at their top edge. With
--chart-faults also BADCNT0 and BADCNT40 (page counts 0 and 40), BAD4BIT
(a 4-bit page) and BADHDR (a good page 0, then pages with lying bitmap
headers, a truncated LZF block and lengths past the file). Pillow comes
from the distribution's /usr/bin/python3 when this Python lacks it.

Regions: nw is 40..49 N, 125..115 W (code US, start near 45.26 N 122.68 W);
se is 40..31 S, 145..155 E (code PA). Only the squares near the start hold
airports, navaids, fixes, obstacles and airspaces; every square holds line
work; every five-degree key whose south-west corner lies in the region holds
a terrain square.

Layouts (little-endian): the map header (263 bytes) with its table offsets,
the 44-byte square index on a grid whose row stride is east - west, square
blocks (navaids 60, fixes 26, airports 105, runways 38, airspaces 19,
segments 22, obstacles 21, remark references 5, then 9-byte records), the
13-byte waypoint index sorted by the 8 identifier bytes as strncmp compares
them, fixed-width string tables, a 6-byte text directory, the vector file
(16-byte header, 20-byte index, 14-byte chains, 8-byte points) and raw LZF
terrain squares of 600 x 600 samples (liblzf through ctypes).

Record fields the card layout leaves open, as this system reads them:
airport elevation i16 +97, pattern altitude i16 +99; navaid kind bits +8,
identifier +12, name +20 (24), frequency u32 +44; fix display flags +8,
identifier +12, type bits +25; runway end flags +16, name index +17, marking
indices +18/+19, ILS indices +20/+21, width i16 +22, length i16 +24, surface
index +26. The index's +36 count holds the square's 9-byte records.

With --db-pages, the start's square also holds what the waypoint pages
show (manifest "db"): an airport with eleven runways to scale, frequencies
of every type, long remarks (one without a break point) and a five-digit
elevation (KBIG); one whose runways have no coordinates and no city (KNOC);
one with a single runway, markings and ILS (KONE); one with no lists at all
(KZRO); a heliport, a water airport and a private one (KHEL, KWAT, KPVT);
navaids of every type (WNDB, WTAC, WFAN, WVDT) and fixes with every type bit
(FXALL, FXHI).

Faults (--fault, for tests): apt300 (the square two degrees north of the
start announcing 300 airports), apt299 (holding 299), bad-indices (records whose internal indices
leave their arrays, and an airport with 25 runways), terrain-5121,
terrain-360005, terrain-corrupt (the terrain of the key south of the start).
"""
import argparse
import ctypes
import json
import math
import os
import struct
import subprocess
import sys

U = 1 << 18  # units per degree

REGIONS = {
    "nw": dict(code="US", south=40, north=49, west=-125, east=-115, start=(45.2629, -122.6769),
               populated=[(lat, lon) for lat in (44, 45, 46) for lon in (-124, -123, -122, -121)],
               desc="KV SYNTHETIC NORTH-WEST", effective="2015-10-15", expires="2015-11-12"),
    "se": dict(code="PA", south=-40, north=-31, west=145, east=155, start=(-37.5, 147.5),
               populated=[(lat, lon) for lat in (-39, -38, -37) for lon in (146, 147, 148)],
               desc="KV SYNTHETIC SOUTH-EAST", effective="2016-01-07", expires="2016-02-04"),
}

STRING_TABLES = [  # header offset, width, entries
    (67, 17, [b"", b"PORTLAND", b"ABCDEFGHIJKLMNOPQ", b"SALEM"]),
    (75, 4, [b"", b"OR", b"WA", b"VIC"]),
    (91, 11, [b"", b"UNUSED"]),
    (103, 13, [b"", b"ASPHALT", b"TURF"]),
    (107, 6, [b"", b"NPI", b"PIR"]),
    (115, 11, [b"", b"ILS/DME", b"LOC"]),
    (123, 10, [b"", b"09/27", b"13/31", b"03/21"]),
    (151, 50, [b"", b"TOWER", b"GROUND", b"ATIS", b"UNICOM"]),
    (155, 40, [b"", b"PORTLAND TOWER", b"CLEARANCE DELIVERY"]),
]

# Appended to the tables for --db-pages; earlier indices stay as they are.
DB_STRINGS = {
    67: [b"HILLSBORO"],
    75: [b"ID"],
    103: [b"CONCRETE-GRVD"],
    107: [b"PRECIS"],
    115: [b"ILS CAT III"],
    123: [b"18/36", b"04L/22R", b"04R/22L", b"16/34", b"H1", b"01/19", b"06/24", b"11/29"],
    151: [b"CTAF", b"APPROACH", b"DEPARTURE", b"CLNC DEL", b"AWOS-3PT", b"MULTICOM"],
    155: [b"HILLSBORO APPROACH AND DEPARTURE CONTROL"],
}

DB_REMARKS = [
    b"FOR CD CTC SEATTLE APCH AT 206-214-0000. NOISE SENSITIVE AREA ALL QUADRANTS; USE NOISE ABATEMENT "
    b"PROCEDURES. TWY A/B INTERSECTION HOT SPOT - CAUTION. PPR FOR ACFT OVER 12500 LBS. ARFF INDEX B. "
    b"RWY 13R/31L 3000 FT AVBL FOR TKOF AND LDG DURING CONSTRUCTION - SEE NOTAMS FOR DETAILS. "
    b"BIRDS ON AND INVOF ARPT.",
    b"NOBREAKPOINT" * 10,
    b"SELF-SERVE FUEL 24 HRS WITH CREDIT CARD.",
    b"TPA 1500 FT MSL; HEL TPA 1000 FT MSL. PRACTICE APCHS PROHIBITED 2200-0700 LOCAL TIME.",
]

REMARKS = [b"RWY 13/31 CLOSED TO JET ACFT.",
           b"BIRDS ON AND IN VICINITY OF ARPT. TFC PATTERN ALT 1000 FT MSL FOR SINGLE ENGINE ACFT, "
           b"1500 FT MSL FOR MULTI ENGINE ACFT.",
           b"FUEL AVBL 0700-2200."]


def lzf():
    lib = ctypes.CDLL("liblzf.so.1")
    lib.lzf_compress.restype = ctypes.c_uint
    lib.lzf_compress.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_void_p, ctypes.c_uint]
    lib.lzf_decompress.restype = ctypes.c_uint
    lib.lzf_decompress.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_void_p, ctypes.c_uint]
    return lib


def compress(lib, data):
    out = ctypes.create_string_buffer(len(data) + 64)
    n = lib.lzf_compress(data, len(data), out, len(out))
    if n == 0:
        raise SystemExit("make-map-card: terrain does not compress")
    return out.raw[:n]


def decompress(lib, data, size):
    out = ctypes.create_string_buffer(size + 16)
    return lib.lzf_decompress(data, len(data), out, len(out)), out.raw[:size]


def units(deg):
    return int(deg * U)


def key5(v):
    return 5 * math.floor(v / 5)


def terrain_base(klat, klon):
    """A distinct class offset per key, so a cell shows which square it holds."""
    return (klat * 7 + klon * 3) % 97 + 10


def terrain_sample(base, row, col):
    return (base + (row // 40) * 3 + col // 50) & 0xFF


def terrain_square(klat, klon):
    base = terrain_base(klat, klon)
    rows = []
    for r in range(600):
        rows.append(bytes(terrain_sample(base, r, c) for c in range(600)))
    return b"".join(rows)


def box(lat, lon, half=0.05):
    s = lambda v: max(-32768, min(32767, int(round(v * 180))))
    return struct.pack("<4h", s(lon - half), s(lat - half), s(lon + half), s(lat + half))


class Square:
    def __init__(self, lat, lon):
        self.lat, self.lon = lat, lon
        self.navaids, self.fixes, self.airports, self.runways = [], [], [], []
        self.airspaces, self.segments, self.obstacles, self.remarks, self.rec9 = [], [], [], [], []
        self.count_override = {}

    def block(self):
        return b"".join(self.navaids + self.fixes + self.airports + self.runways + self.airspaces +
                        self.segments + self.obstacles + self.remarks + self.rec9)


def pad(text, n):
    return text[:n].ljust(n, b"\0")


def airport_record(lat, lon, ident, name, first_rwy, n_rwy, first_rec9, n_rec9, first_rem, n_rem,
                   first_asp=0, n_asp=0, bar=0, elev=0, tpa=1000, city=1, state=1):
    r = bytearray(105)
    r[0:8] = box(lat, lon)
    struct.pack_into("<ii", r, 8, units(lat), units(lon))
    r[16:24] = pad(ident, 8)
    r[24:67] = pad(name, 43)
    struct.pack_into("<HH", r, 67, city, state)
    r[80] = n_rec9
    r[81] = n_rwy
    struct.pack_into("<H", r, 82, n_asp)
    r[84] = n_rem
    struct.pack_into("<HHHHH", r, 85, first_rec9, first_rem, first_rwy, first_asp, bar)
    struct.pack_into("<hhh", r, 95, 5000, elev, tpa)
    r[101] = 0x10
    r[102] = 0x01
    return bytes(r)


def runway_record(lat, lon, name_index):
    r = bytearray(38)
    struct.pack_into("<iiii", r, 0, units(lat), units(lon - 0.01), units(lat), units(lon + 0.01))
    r[16] = 1
    r[17] = name_index
    r[18], r[19], r[20], r[21] = 1, 1, 1, 0
    struct.pack_into("<hh", r, 22, 150, 5000)
    r[26] = 1
    return bytes(r)


def navaid_record(lat, lon, ident, name, freq):
    r = bytearray(60)
    struct.pack_into("<iiI", r, 0, units(lat), units(lon), 0x03)
    r[12:20] = pad(ident, 8)
    r[20:44] = pad(name, 24)
    struct.pack_into("<I", r, 44, freq)
    return bytes(r)


def fix_record(lat, lon, ident, type_bits):
    r = bytearray(26)
    struct.pack_into("<ii", r, 0, units(lat), units(lon))
    r[8] = 0x01
    r[12:20] = pad(ident, 8)
    r[25] = type_bits
    return bytes(r)


def obstacle_record(lat, lon, height, top):
    return struct.pack("<ii8sHhB", units(lat), units(lon), b"\0" * 8, height, top, ord("L"))


def airspace_record(lat, lon, cls, first_seg, n_seg):
    return box(lat, lon, 0.1) + struct.pack("<hhBHHH", -10000, 2500, ord(cls), 0x0040, first_seg, n_seg)


def segment_record(lat1, lon1, lat2, lon2):
    return struct.pack("<iiiiIBB", units(lat1), units(lon1), units(lat2), units(lon2), 0, 0x01, 0)


def letters(n, width):
    out = ""
    for _ in range(width):
        out = chr(65 + n % 26) + out
        n //= 26
    return out


def populate(sq, sn, manifest, texts_used, faults):
    """A few records of each kind around the square's middle; sn numbers the square."""
    lat0, lon0 = sq.lat + 0.5, sq.lon + 0.5
    ids = []
    for a in range(2):
        ident = ("K00" if (sn == 0 and a == 0) else "K00A" if (sn == 0 and a == 1)
                 else "K" + letters(sn * 2 + a, 3)).encode()
        alat, alon = lat0 + 0.2 * a - 0.1, lon0 + 0.3 * a - 0.15
        first_rwy, n_rwy = len(sq.runways), 2 if a == 0 else 1
        for k in range(n_rwy):
            sq.runways.append(runway_record(alat + 0.002 * k, alon, 1 + k))
        first_rec9, n_rec9 = len(sq.rec9), 4
        for k in range(n_rec9):
            sq.rec9.append(struct.pack("<IHHB", [11830, 12190, 1080, 329][k], 1, 1 + k, 4 + (k % 3)))
        first_rem, n_rem = len(sq.remarks), 2
        for k in range(n_rem):
            sq.remarks.append(struct.pack("<BI", 0, (sn + a + k) % len(REMARKS)))
        rec = airport_record(alat, alon, ident, b"SYNTHETIC FIELD %d" % (sn * 2 + a), first_rwy, n_rwy, first_rec9,
                             n_rec9, first_rem, n_rem, 0, 1, 0, 100 + sn * 10 + a, 1000)
        sq.airports.append(rec)
        ids.append((ident, 1, "airports", len(sq.airports) - 1))
        manifest["airports"].append(dict(id=ident.decode(), lat=units(alat), lon=units(alon), square=[sq.lon, sq.lat],
                                         runways=n_rwy, first_runway=first_rwy))
    nid = ("V" + letters(sn, 2)).encode()
    sq.navaids.append(navaid_record(lat0, lon0 + 0.2, nid, b"SYNTHETIC VORTAC %d" % sn, 11630 + sn))
    ids.append((nid, 2, "navaids", 0))
    manifest["navaids"].append(dict(id=nid.decode(), lat=units(lat0), lon=units(lon0 + 0.2), square=[sq.lon, sq.lat]))
    for f in range(2):
        fid = ("F" + letters(sn * 2 + f, 4)).encode()
        sq.fixes.append(fix_record(lat0 - 0.3, lon0 + 0.1 * f, fid, 1 << f))
        ids.append((fid, 3, "fixes", f))
        manifest["fixes"].append(dict(id=fid.decode(), square=[sq.lon, sq.lat]))
    for o in range(3):
        sq.obstacles.append(obstacle_record(lat0 + 0.05 * o, lon0 - 0.2, 200 + o, 900 + o))
    first_seg = len(sq.segments)
    for s in range(4):
        sq.segments.append(segment_record(lat0, lon0 + 0.01 * s, lat0 + 0.05, lon0 + 0.01 * s))
    sq.airspaces.append(airspace_record(lat0, lon0, "D", first_seg, 4))
    sq.airspaces.append(airspace_record(lat0, lon0, "B", first_seg, 2))
    sq.count_override[30] = 1
    if "bad-indices" in faults and sn == 1:
        bad = bytearray(sq.airports[0])
        struct.pack_into("<H", bad, 89, 40)      # first runway past the square's runways
        sq.airports[0] = bytes(bad)
        bad = bytearray(sq.airports[1])
        struct.pack_into("<H", bad, 91, 7)       # first attached airspace past the airspaces
        struct.pack_into("<H", bad, 93, 3)       # direction bar past its runways
        sq.airports[1] = bytes(bad)
        bad = bytearray(sq.airspaces[1])
        struct.pack_into("<H", bad, 15, 60)      # first segment past the segments
        sq.airspaces[1] = bytes(bad)
        sq.airports.append(airport_record(lat0, lon0, b"KRWY", b"TOO MANY RUNWAYS", 0, 25, 0, 0, 0, 0))
        manifest["faults"]["bad-indices"] = [sq.lon, sq.lat]
    return ids


def runway_at(lat, lon, heading, length_ft, width_ft, name_index, flags=0, marks=(0, 0), ils=(0, 0), surface=1,
              coords=True):
    half = length_ft / 6076.1157 / 60.0 / 2.0
    dlat = half * math.cos(math.radians(heading))
    dlon = half * math.sin(math.radians(heading)) / math.cos(math.radians(lat))
    r = bytearray(38)
    if coords:
        struct.pack_into("<iiii", r, 0, units(lat - dlat), units(lon - dlon), units(lat + dlat), units(lon + dlon))
    r[16] = flags
    r[17] = name_index
    r[18], r[19] = marks
    r[20], r[21] = ils
    struct.pack_into("<hh", r, 22, width_ft, length_ft)
    r[26] = surface
    return bytes(r)


def populate_db_pages(sq, manifest, start, base_index):
    """The waypoint pages' cases in the start's square; base_index maps a
    DB_STRINGS table offset to the index of its first appended entry."""
    lat0, lon0 = start
    db = manifest.setdefault("db", {})
    ids = []
    names = lambda off, k: base_index[off] + k
    text0 = base_index["texts"]

    def add_airport(ident, lat, lon, name, runways, freqs, remarks, city, state, elev, tpa, longest, f1, f2, f3=0):
        first_rwy, first_rec9, first_rem = len(sq.runways), len(sq.rec9), len(sq.remarks)
        sq.runways.extend(runways)
        sq.rec9.extend(freqs)
        for t in remarks:
            sq.remarks.append(struct.pack("<BI", 0, t))
        rec = bytearray(airport_record(lat, lon, ident, name, first_rwy, len(runways), first_rec9, len(freqs),
                                       first_rem, len(remarks), 0, 0, 0, elev, tpa, city, state))
        struct.pack_into("<h", rec, 95, longest)
        rec[101], rec[102], rec[103] = f1, f2, f3
        sq.airports.append(bytes(rec))
        ids.append((ident, 1, "airports", len(sq.airports) - 1))
        db[ident.decode()] = dict(lat=units(lat), lon=units(lon), runways=len(runways), freqs=len(freqs),
                                  remarks=len(remarks))

    # Eleven runways to scale, ten frequencies of every type, long remarks.
    big = (lat0 + 0.06, lon0 + 0.05)
    rwys = []
    headings = [90, 130, 30, 180, 40, 40, 160, 0, 10, 60, 110]
    name_ix = [1, 2, 3, names(123, 0), names(123, 1), names(123, 2), names(123, 3), names(123, 4), names(123, 5),
               names(123, 6), names(123, 7)]
    for k, hdg in enumerate(headings):
        dlat, dlon = ((k % 4) - 1.5) * 0.02, ((k // 4) - 1) * 0.03
        rwys.append(runway_at(big[0] + dlat, big[1] + dlon, hdg, 3000 + 400 * k, 75 + 25 * (k % 4), name_ix[k],
                              flags=k % 4, marks=(1 + k % 2, names(107, 0)) if k % 3 else (0, 0),
                              ils=(names(115, 0), 2) if k % 3 == 1 else (0, 0), surface=names(103, 0)))
    freqs = [struct.pack("<IHHB", [11830, 12190, 13560, 12470, 11980, 12725, 12110, 12850, 13590, 12280][k],
                         names(155, 0) if k == 4 else 1 + k % 2, [1, 2, 3, 4, names(151, 0), names(151, 1),
                         names(151, 2), names(151, 3), names(151, 4), names(151, 5)][k], k)
             for k in range(10)]
    add_airport(b"KBIG", big[0], big[1], b"PORTLAND-HILLSBORO INTERNATIONAL AIRPORT", rwys, freqs,
                [text0 + k for k in range(len(DB_REMARKS))], 2, 2, 12345, -10000, 11800, 0x10 | 0x20 | 0x01 | 0x04,
                0x01 | 0x04)
    # Runways without coordinates, no city, elevation 5.
    add_airport(b"KNOC", lat0 - 0.05, lon0 + 0.10, b"NO COORDS STRIP",
                [runway_at(0, 0, 0, 2400, 60, 1, flags=1, coords=False),
                 runway_at(0, 0, 0, 1800, 40, names(123, 4), flags=2, coords=False)],
                [struct.pack("<IHHB", f, 1, t, ty) for f, t, ty in ((12280, names(151, 0), 5), (329, 1, 0),
                                                                   (11830, 2, 1))],
                [], 0, 0, 5, 800, 2400, 0x01 | 0x04 | 0x10, 0x00)
    # One runway with markings and ILS on both ends.
    one = (lat0 - 0.08, lon0 - 0.07)
    add_airport(b"KONE", one[0], one[1], b"SINGLE RUNWAY FIELD",
                [runway_at(one[0], one[1], 130, 6500, 150, 2, flags=1, marks=(1, 2), ils=(1, 2), surface=1)],
                [struct.pack("<IHHB", 12300, 1, names(151, 0), 4)], [text0 + 2], names(67, 0), names(75, 0), 208,
                1000, 6500, 0x01 | 0x04 | 0x10, 0x01)
    # No lists at all, runway length unknown.
    add_airport(b"KZRO", lat0 + 0.12, lon0 - 0.12, b"EMPTY FIELD", [], [], [], 3, 1, 0, 1000, 0,
                0x01 | 0x04 | 0x10, 0x01)
    # Left out of the nearest list and the FIND search: heliport, water; private with PVT ON only.
    for ident, f1, dl in ((b"KHEL", 0x40, 0.01), (b"KWAT", 0x80, -0.01), (b"KPVT", 0x08, 0.02)):
        add_airport(ident, lat0 + dl, lon0 + 0.01, b"EXCLUDED " + ident, [], [], [], 1, 1, 50, 1000, 3000,
                    0x01 | 0x04 | 0x10 | f1, 0x01)
    # Navaids of every type and fixes with every type bit.
    for ident, bits, freq, k in ((b"WNDB", 0x10, 329, 0), (b"WTAC", 0x04, 11350, 1), (b"WFAN", 0x08, 7500, 2),
                                 (b"WVDT", 0x07, 11630, 3)):
        r = bytearray(navaid_record(lat0 + 0.03 * k, lon0 - 0.2, ident, b"DB NAVAID " + ident, freq))
        struct.pack_into("<I", r, 8, bits)
        sq.navaids.append(bytes(r))
        ids.append((ident, 2, "navaids", len(sq.navaids) - 1))
        db[ident.decode()] = dict(lat=units(lat0 + 0.03 * k), lon=units(lon0 - 0.2), bits=bits)
    for ident, bits, k in ((b"FXALL", 0xFF, 0), (b"FXHI", 0xE0, 1)):
        sq.fixes.append(fix_record(lat0 + 0.15, lon0 + 0.1 + 0.05 * k, ident, bits))
        ids.append((ident, 3, "fixes", len(sq.fixes) - 1))
        db[ident.decode()] = dict(lat=units(lat0 + 0.15), lon=units(lon0 + 0.1 + 0.05 * k), bits=bits)
    return ids


def build(args):
    reg = REGIONS[args.region]
    code = args.code or reg["code"]
    s, n, w, e = reg["south"], reg["north"], reg["west"], reg["east"]
    faults = set(args.fault or [])
    manifest = dict(region=code, bounds=dict(south=s, north=n, west=w, east=e), description=reg["desc"],
                    effective=reg["effective"], expires=reg["expires"], start=[units(v) for v in reg["start"]],
                    airports=[], navaids=[], fixes=[], waypoints=[], terrain=[], vectors=[], faults={})
    files = dict(map="NRVMAP%s.KVM" % code, terrain="NRVTER%s.KVM" % code,
                 vector="NRVVECUS.KVM" if code == "US" else "NRVVECWW.KVM")
    manifest["files"] = files

    stride = e - w
    rows = n - s + 1
    n_records = stride * rows + 1  # the last row's east column aliases one record past the grid

    def index_of(lon, lat):
        return (lon - w) + (lat - s) * stride

    squares = {}
    wpts = []
    for sn, (lat, lon) in enumerate(reg["populated"]):
        sq = Square(lat, lon)
        for ident, kind, area, i in populate(sq, sn, manifest, None, faults):
            wpts.append((ident, kind, sq, area, i))
        squares[(lon, lat)] = sq
    base_index = {}
    if args.db_pages:
        for off, width, entries in STRING_TABLES:
            base_index[off] = len(entries)
        base_index["texts"] = len(REMARKS) + 1
        slat0, slon0 = math.floor(reg["start"][0]), math.floor(reg["start"][1])
        ssq = squares.setdefault((slon0, slat0), Square(slat0, slon0))
        for ident, kind, area, i in populate_db_pages(ssq, manifest, reg["start"], base_index):
            wpts.append((ident, kind, ssq, area, i))
    # The square two degrees north of the start's holds the count faults.
    slat, slon = math.floor(reg["start"][0]) + 2, math.floor(reg["start"][1])
    if "apt300" in faults or "apt299" in faults:
        fsq = squares.setdefault((slon, slat), Square(slat, slon))
        count = 300 if "apt300" in faults else 299
        fsq.airports = [airport_record(slat + 0.5, slon + 0.5, b"X" + letters(i, 3).encode(), b"FILLER", 0, 0, 0, 0, 0, 0)
                        for i in range(count if count == 299 else 1)]
        fsq.count_override[26] = count
        manifest["faults"]["airport-count"] = dict(square=[slon, slat], count=count)

    # String tables, texts and the text directory after the header.
    body = bytearray(263)
    table_at = {}
    tables = [(off, width, entries + (DB_STRINGS.get(off, []) if args.db_pages else []))
              for off, width, entries in STRING_TABLES]
    for off, width, entries in tables:
        table_at[off] = len(body)
        for t in entries:
            body += pad(t, width)
    manifest["strings"] = {str(off): dict(width=width, entries=[t.decode() for t in entries])
                           for off, width, entries in tables}
    text_at = []
    for t in REMARKS + [b"X" * 310] + (DB_REMARKS if args.db_pages else []):
        text_at.append((len(body), len(t)))
        body += t
    table_at[139] = len(body)
    for off, length in text_at:
        body += struct.pack("<IH", off, length)
    manifest["texts"] = [t.decode() for t in REMARKS]

    # Square blocks; then the waypoint index and the square index.
    block_at = {}
    for key, sq in sorted(squares.items()):
        block_at[key] = len(body)
        body += sq.block()
    sizes = dict(navaids=60, fixes=26, airports=105)
    order = dict(navaids=0, fixes=1, airports=2)
    entries = []
    for ident, kind, sq, area, i in wpts:
        base = block_at[(sq.lon, sq.lat)]
        before = [len(sq.navaids) * 60, len(sq.fixes) * 26]
        off = base + sum(before[:order[area]]) + i * sizes[area]
        entries.append((pad(ident, 8), kind, off))
    entries.sort(key=lambda x: x[0])
    table_at[159] = len(body)
    for ident, kind, off in entries:
        body += struct.pack("<8sBI", ident, kind, off)
    manifest["waypoints"] = [dict(id=i.rstrip(b"\0").decode(), kind=k, offset=o) for i, k, o in entries]

    lib = lzf()
    terrain = bytearray()
    terrain_rec = {}
    for klat in range(key5(s), n + 1, 5):
        for klon in range(key5(w), e, 5):
            if not (s <= klat <= n and w <= klon < e) or args.no_terrain:
                continue
            raw = terrain_square(klat, klon)
            packed = compress(lib, raw)
            got, back = decompress(lib, packed, 600 * 600)
            assert got == 600 * 600 and back == raw
            length = len(packed)
            key = [klat, klon]
            start_key = [key5(math.floor(reg["start"][0])) - 5, key5(math.floor(reg["start"][1]))]
            if key == start_key and "terrain-5121" in faults:
                packed = bytes(5121)  # zeros: does not unpack to a square
                length = 5121
            if key == start_key and "terrain-360005" in faults:
                length = 360005
            if key == start_key and "terrain-corrupt" in faults:
                packed = packed[:len(packed) // 2]
                length = len(packed)
            terrain_rec[(klon, klat)] = (len(terrain), length)
            manifest["terrain"].append(dict(key=key, base=terrain_base(klat, klon), offset=len(terrain), length=length))
            terrain += packed

    table_at[95] = len(body)
    for idx in range(n_records):
        lat = s + idx // stride
        lon = w + idx % stride
        sq = squares.get((lon, lat))
        counts = [0] * 12
        blk = 0
        if sq:
            blk = block_at[(lon, lat)]
            counts = [len(sq.fixes), len(sq.navaids), len(sq.obstacles), len(sq.airports), len(sq.segments),
                      sq.count_override.get(30, 0), len(sq.airspaces), len(sq.runways), len(sq.rec9), 0,
                      len(sq.remarks), 0]
            for off, v in sq.count_override.items():
                counts[(off - 20) // 2] = v
        toff, tlen = terrain_rec.get((lon, lat), (0, 0))
        body += struct.pack("<IIII4s12H", blk, 0, toff, tlen, b"\0" * 4, *counts)

    hdr = bytearray(263)
    struct.pack_into("<I", hdr, 0, args.map_version)
    hdr[9:34] = pad(reg["effective"].encode(), 25)
    hdr[34:67] = pad(reg["expires"].encode(), 33)
    for off, at in table_at.items():
        struct.pack_into("<I", hdr, off, at)
    struct.pack_into("<I", hdr, 131, len(entries))
    struct.pack_into("<iiii", hdr, 175, s, n, w, e)
    hdr[191:251] = pad(reg["desc"].encode(), 60)
    body[0:263] = hdr

    # The vector file: line work in every square, layer 1 also on key squares.
    vec_index = bytearray()
    vec_data = bytearray()
    data_base = 16 + n_records * 20
    styles = [1 << b for b in range(16)]
    for idx in range(n_records):
        lat = s + idx // stride
        lon = w + idx % stride
        l2 = [[(lat + 0.2, lon + 0.1 * k), (lat + 0.8, lon + 0.1 * k)] for k in range(3)]
        l1 = [[(lat + 0.1, lon + 0.2), (lat + 0.5, lon + 0.6), (lat + 0.9, lon + 0.4)]] \
            if lat % 5 == 0 and lon % 5 == 0 else []
        chains, points = bytearray(), bytearray()
        for ci, ch in enumerate(l2 + l1):
            style = styles[(idx + ci) % 16]
            lats = [p[0] for p in ch]
            lons = [p[1] for p in ch]
            chains += struct.pack("<4hHHH", int(min(lons) * 180), int(min(lats) * 180), int(max(lons) * 180),
                                  int(max(lats) * 180), len(ch), style, 0)
            for p in ch:
                points += struct.pack("<ii", units(p[0]), units(p[1]))
        at = data_base + len(vec_data)
        vec_data += chains + points
        n2p = sum(len(c) for c in l2)
        n1p = sum(len(c) for c in l1)
        vec_index += struct.pack("<IIHHHHHH", at, 0, len(l2), n2p, 0, len(l1), n1p, 0)
        manifest["vectors"].append(dict(square=[lon, lat], l2_chains=len(l2), l2_points=n2p, l1_chains=len(l1),
                                        l1_points=n1p))
    vec = struct.pack("<IIII", args.vec_version, 0, 16, 0) + vec_index + vec_data

    os.makedirs(args.outdir, exist_ok=True)
    out = []
    with open(os.path.join(args.outdir, files["map"]), "wb") as f:
        f.write(body)
    out.append(files["map"])
    if not args.no_terrain:
        with open(os.path.join(args.outdir, files["terrain"]), "wb") as f:
            f.write(terrain)
        out.append(files["terrain"])
    if not args.no_vector:
        with open(os.path.join(args.outdir, files["vector"]), "wb") as f:
            f.write(vec)
        out.append(files["vector"])
    if args.tfr:
        with open(os.path.join(args.outdir, "TFR.XML"), "wb") as f:
            f.write(tfr_xml(reg["start"]))
        out.append("TFR.XML")
    if not args.no_charts:
        out += write_charts(args.outdir, manifest, reg["start"], args.chart_faults)
    manifest["written"] = out
    with open(os.path.join(args.outdir, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1)
    if args.image:
        tool = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make-sd-image.sh")
        copies = ["%s=%s" % (os.path.join(args.outdir, name), name) for name in out]
        subprocess.check_call(["sh", tool, args.image, "--fat", "16", "--size-kb", "16384"] + copies)


# ---- chart files ------------------------------------------------------------------------------

CHART_PAGE_BYTES = 655360   # the unit's decoded and compressed page buffers
CHART_HEADER = 2644         # 84 bytes, then 32 page entries of 80

# Colours of the pictures, (r, g, b): each one the unit's own palette holds,
# so that a shown page can be compared with its picture pixel for pixel.
WHITE, BLACK, BLUE, NAVY, GREY, LIGHT, TEAL, OLIVE = range(8)
CHART_COLOURS = [(255, 255, 255), (0, 0, 0), (0, 0, 255), (0, 0, 128), (128, 128, 128), (192, 192, 192),
                 (0, 128, 128), (128, 128, 0)]


def chart_palette():
    """256 entries: the picture colours, then a grey ramp nothing uses."""
    pal = list(CHART_COLOURS) + [(i, i, i) for i in range(len(CHART_COLOURS), 256)]
    return [v for rgb in pal for v in rgb]


class ChartPage:
    """One page: its picture size, its geo-reference and where the picture
    puts the airport. place(lat, lon) gives page pixels (x, y) the way the
    unit places them for this rotation."""

    def __init__(self, name, width, height, rotation=None, scale=0.0, left=0.0, top=0.0):
        self.name, self.width, self.height, self.rotation = name, width, height, rotation
        self.geo = rotation is not None
        self.xs = self.ys = self.xo = self.yo = 0.0
        if rotation in (0, 270):       # north up: x east, y south
            self.xs, self.xo = scale, -left * scale
            self.ys, self.yo = -scale, top * scale
        elif rotation == 90:           # north to the right, east down; the unit turns (x, y) into (y, -x)
            self.xs, self.xo = -scale, left * scale
            self.ys, self.yo = scale, -top * scale
        self.corners = [(20, 20), (width - 20, height - 20)]
        self.markers = [(0, 0), (0, 0)]

    def place(self, lat, lon):
        x, y = lon * self.xs + self.xo, lat * self.ys + self.yo
        return (y, -x) if self.rotation == 90 else (x, y)


def up_arrow(draw, x, y, colour, label):
    draw.polygon([(x, y), (x - 8, y + 14), (x + 8, y + 14)], fill=colour)
    draw.line([(x, y + 14), (x, y + 40)], fill=colour, width=3)
    draw.text((x - 3 * len(label), y + 44), label, fill=colour)


def chart_picture(page, airport, runway_half, start):
    """The page's picture, upright: "TOP" and an arrow at the top edge, a
    grid, the airport's runway and circle where the geo-reference puts them,
    and the geo-referenced box."""
    from PIL import Image, ImageDraw
    im = Image.new("P", (page.width, page.height), WHITE)
    im.putpalette(chart_palette())
    d = ImageDraw.Draw(im)
    for x in range(0, page.width, 50):
        d.line([(x, 0), (x, page.height - 1)], fill=LIGHT)
    for y in range(0, page.height, 50):
        d.line([(0, y), (page.width - 1, y)], fill=LIGHT)
    d.rectangle([0, 0, page.width - 1, page.height - 1], outline=BLACK)
    up_arrow(d, page.width // 2, 4, BLACK, "TOP")
    d.text((8, page.height - 16), "%s  %dx%d" % (page.name, page.width, page.height), fill=BLACK)
    if page.geo:
        north = {0: (0, -1), 270: (0, -1), 90: (1, 0)}[page.rotation]
        nx, ny = page.width - 40 - 40 * north[0], 60
        d.line([(nx, ny), (nx + 30 * north[0], ny + 30 * north[1])], fill=NAVY, width=3)
        d.text((nx + 34 * north[0] - 3, ny + 34 * north[1] - 5), "N", fill=NAVY)
        (x0, y0), (x1, y1) = page.corners
        d.rectangle([x0, y0, x1, y1], outline=NAVY)
        lat, lon = airport
        a = page.place(lat, lon - runway_half)
        b = page.place(lat, lon + runway_half)
        d.line([a, b], fill=GREY, width=7)
        ax, ay = page.place(lat, lon)
        d.ellipse([ax - 10, ay - 10, ax + 10, ay + 10], outline=TEAL)
        sx, sy = page.place(*start)
        d.line([(sx - 6, sy), (sx + 6, sy)], fill=OLIVE)
        d.line([(sx, sy - 6), (sx, sy + 6)], fill=OLIVE)
        for mx, my in page.markers:
            d.rectangle([mx - 5, my - 5, mx + 5, my + 5], outline=BLUE)
    else:
        for i, line in enumerate(["FREQUENCIES", "TOWER 118.30", "GROUND 121.90", "ATIS 127.65"]):
            d.text((40, 80 + 20 * i), line, fill=BLUE if i == 0 else BLACK)
    return im


def bmp_bytes(im):
    """The picture as an 8-bit Windows bitmap, checked by reading it back."""
    import io
    from PIL import Image
    out = io.BytesIO()
    im.save(out, "BMP")
    data = out.getvalue()
    back = Image.open(io.BytesIO(data))
    assert back.format == "BMP" and back.mode == "P" and back.size == im.size
    assert struct.unpack_from("<H", data, 28)[0] == 8
    assert back.getpalette()[:len(CHART_COLOURS) * 3] == chart_palette()[:len(CHART_COLOURS) * 3]
    assert back.tobytes() == im.tobytes()
    return data


def bmp_4bit(width, height):
    """A 4-bit bitmap written by hand: 16 colours, two pixels a byte."""
    stride = ((width + 1) // 2 + 3) & ~3
    rows = b"".join(bytes([0x12] * ((width + 1) // 2)).ljust(stride, b"\0") for _ in range(height))
    colours = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in (CHART_COLOURS * 2)[:16])
    off = 14 + 40 + len(colours)
    return (b"BM" + struct.pack("<IHHI", off + len(rows), 0, 0, off) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(rows), 2835, 2835, 16, 16) + colours + rows)


def chart_entry(page, offset, length, flags=None):
    e = bytearray(80)
    struct.pack_into("<5f", e, 0, page.xs, page.ys, page.xo, page.yo, float(page.rotation or 0))
    struct.pack_into("<8h", e, 20, *page.corners[0], *page.corners[1], *page.markers[0], *page.markers[1])
    e[36] = (1 if page.geo else 0) if flags is None else flags
    e[40:72] = pad(page.name.encode(), 32)
    struct.pack_into("<II", e, 72, offset, length)
    return bytes(e)


def chart_file(lib, name, pages, count=None):
    """pages: (ChartPage, page data, flags or None, length or None); the data
    follow the header in page order."""
    head = bytearray(CHART_HEADER)
    head[4:12] = pad(name.encode(), 8)
    struct.pack_into("<I", head, 80, len(pages) if count is None else count)
    body = bytearray()
    entries = []
    for i, (page, data, flags, length) in enumerate(pages):
        offset = CHART_HEADER + len(body)
        head[84 + 80 * i:164 + 80 * i] = chart_entry(page, offset, len(data) if length is None else length, flags)
        entries.append(dict(offset=offset, length=len(data) if length is None else length))
        body += data
    return bytes(head + body), entries


def packed_page(lib, bmp):
    """The bitmap as one LZF block, and liblzf's own unpacking of it checked."""
    assert len(bmp) <= CHART_PAGE_BYTES
    packed = compress(lib, bmp)
    got, back = decompress(lib, packed, len(bmp))
    assert got == len(bmp) and back == bmp
    return packed


def kaak_pages(airport):
    """The chart of the airport nearest the start: every kind of page."""
    lat, lon = airport
    p0 = ChartPage("AIRPORT DIAGRAM", 500, 300, 0, 1000.0, lon - 0.20, lat + 0.12)
    p1 = ChartPage("FIELD OVERVIEW", 1000, 600, 0, 2000.0, lon - 0.25, lat + 0.12)
    p2 = ChartPage("TURNED 90", 600, 400, 90, 1000.0, lon - 0.20, lat - 0.35)
    p3 = ChartPage("TURNED 270", 640, 459, 270, 1500.0, lon - 0.18, lat + 0.10)
    p4 = ChartPage("FREQUENCIES", 500, 300)
    p1.corners = [(10, 10), (990, 590)]
    for p in (p0, p1, p2, p3):
        a, b = p.place(lat, lon - 0.02), p.place(lat, lon + 0.02)
        p.markers = [tuple(int(round(v)) for v in a), tuple(int(round(v)) for v in b)]
    return [p0, p1, p2, p3, p4]


def home_pages(airport):
    lat, lon = airport
    p = ChartPage("HOME DIAGRAM", 500, 300, 0, 1000.0, lon - 0.25, lat + 0.15)
    p.markers = [(100, 100), (400, 100)]
    return [p]


def write_charts(outdir, manifest, start, with_faults):
    """CHARTS/<airport>.ACH for the airport nearest the start and for the home
    airport; with_faults adds the damaged files the tests refuse."""
    lib = lzf()
    os.makedirs(os.path.join(outdir, "CHARTS"), exist_ok=True)
    os.makedirs(os.path.join(outdir, "chart-pages"), exist_ok=True)
    apts = {a["id"]: (a["lat"] / U, a["lon"] / U) for a in manifest["airports"]}
    nearest = min(apts, key=lambda i: (apts[i][0] - start[0]) ** 2 + (apts[i][1] - start[1]) ** 2)
    written, charts = [], []

    def save(name, rows, count=None):
        data, entries = chart_file(lib, name, rows, count)
        rel = "CHARTS/%s.ACH" % name
        with open(os.path.join(outdir, rel), "wb") as f:
            f.write(data)
        written.append(rel)
        return entries

    for ident, pages in ((nearest, kaak_pages(apts[nearest])), ("K00", home_pages(apts["K00"]))):
        rows, info = [], []
        for i, page in enumerate(pages):
            bmp = bmp_bytes(chart_picture(page, apts[ident], 0.01, start))
            ref = os.path.join("chart-pages", "%s-%d.bmp" % (ident, i))
            with open(os.path.join(outdir, ref), "wb") as f:
                f.write(bmp)
            rows.append((page, packed_page(lib, bmp), None, None))
            info.append(dict(name=page.name, width=page.width, height=page.height, geo=page.geo,
                             rotation=page.rotation or 0, xs=page.xs, ys=page.ys, xo=page.xo, yo=page.yo,
                             corners=page.corners, markers=page.markers, bmp=ref, bmp_bytes=len(bmp)))
        for e, i in zip(save(ident, rows), info):
            i.update(e)
        charts.append(dict(name=ident, file="CHARTS/%s.ACH" % ident, airport=[units(v) for v in apts[ident]],
                           pages=info))
    manifest["charts"] = charts
    manifest["chart_start"] = list(start)
    if with_faults:
        manifest["chart_faults"] = chart_faults(lib, save)
    return written


def chart_faults(lib, save):
    """Damaged chart files. BADHDR's page 0 is good; each later page is
    damaged one way, so a test loads the file and then asks for that page."""
    small = ChartPage("SMALL", 40, 30)
    good = bmp_bytes(chart_picture(small, (0, 0), 0, (0, 0)))
    good_rows = [(small, packed_page(lib, good), None, None)]
    save("BADCNT0", good_rows, count=0)
    save("BADCNT40", good_rows * 3, count=40)
    save("BAD4BIT", [(small, packed_page(lib, bmp_4bit(40, 30)), None, None)])

    def patched(**fields):
        b = bytearray(good)
        for off, fmt, v in fields.values():
            struct.pack_into(fmt, b, off, v)
        return packed_page(lib, bytes(b))

    packed = packed_page(lib, good)
    damaged = [
        ("tall", patched(h=(22, "<i", 4000))),                      # rows past the data
        ("wide", patched(w=(18, "<i", 5000))),
        ("top-down", patched(h=(22, "<i", -30))),
        ("zero-width", patched(w=(18, "<i", 0))),
        ("huge-info", patched(i=(14, "<I", 0x7FFFFFF0))),           # colour table outside the data
        ("short-info", patched(i=(14, "<I", 12))),
        ("far-pixels", patched(o=(10, "<I", 0xFFFFFF00))),          # pixel offset past the data
        ("depth-24", patched(b=(28, "<H", 24))),
        ("header-only", packed_page(lib, good[:54])),
        ("tiny", packed_page(lib, b"BM" + bytes(20))),
        ("not-bm", packed_page(lib, b"XY" + good[2:])),
        ("truncated-lzf", packed[:len(packed) // 2]),
        ("past-file", None),
        ("too-long", None),
    ]
    rows = [(small, packed, None, None)]
    for what, data in damaged:
        if what == "past-file":
            rows.append((small, b"", None, 4000))             # the length runs past the file's end
        elif what == "too-long":
            rows.append((small, b"", None, CHART_PAGE_BYTES + 1))
        else:
            rows.append((small, data, None, None))
    save("BADHDR", rows)
    return dict(BADCNT0="count 0", BADCNT40="count 40", BAD4BIT="4-bit page",
                BADHDR=[w for w, _ in damaged])


def tfr_xml(start):
    """Two areas near the start: a circle north-east of it and an outline south-west."""
    import xml.etree.ElementTree as ET

    def pos(lat, lon):
        return "%s%.4f%s%.4f" % ("N" if lat >= 0 else "S", abs(lat), "E" if lon >= 0 else "W", abs(lon))
    lat, lon = start
    xml = ("<TFRSET><TFRCOUNT>2</TFRCOUNT>\n"
           " <TFR1><NAME>CARD CIRCLE</NAME><TYPE>SECURITY</TYPE>"
           "<ACTIVE><TEXT>12/31/2015 12:30:00 PM</TEXT></ACTIVE><EXPIRES><TEXT>01/01/2016 06:00:00 AM</TEXT></EXPIRES>"
           "<MINALT>0A</MINALT><MAXALT>3000M</MAXALT><BOUND>BC%sR5.0</BOUND></TFR1>\n"
           " <TFR2><NAME>CARD OUTLINE</NAME><TYPE>HAZARDS</TYPE>"
           "<MINALT>0A</MINALT><MAXALT>8000M</MAXALT><BOUND>BL%sL%sL%s</BOUND></TFR2>\n"
           "</TFRSET>\n") % (pos(lat + 0.15, lon + 0.15), pos(lat - 0.1, lon - 0.25), pos(lat - 0.25, lon - 0.25),
                            pos(lat - 0.25, lon - 0.05))
    ET.fromstring(xml)   # well-formed
    return xml.encode()


def with_pillow():
    """The pictures need Pillow: run again under the distribution's Python
    when this one lacks it."""
    try:
        import PIL  # noqa: F401
        return
    except ImportError:
        pass
    system = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(system) and os.path.exists(system):
        os.execv(system, [system] + sys.argv)
    raise SystemExit("make-map-card: the chart pages need Pillow (python3-pil)")


def main():
    if "--no-charts" not in sys.argv:
        with_pillow()
    p = argparse.ArgumentParser(description="Makes the moving map's card files.")
    p.add_argument("outdir")
    p.add_argument("--region", choices=sorted(REGIONS), default="nw")
    p.add_argument("--code", help="region code of the file names (default: the region's)")
    p.add_argument("--map-version", type=int, default=15)
    p.add_argument("--vec-version", type=int, default=3)
    p.add_argument("--no-vector", action="store_true")
    p.add_argument("--no-terrain", action="store_true")
    p.add_argument("--fault", action="append", choices=["apt300", "apt299", "bad-indices", "terrain-5121",
                                                         "terrain-360005", "terrain-corrupt"])
    p.add_argument("--tfr", action="store_true", help="also write TFR.XML")
    p.add_argument("--db-pages", action="store_true", help="also the waypoint pages' airports, navaids and fixes")
    p.add_argument("--no-charts", action="store_true", help="no CHARTS folder")
    p.add_argument("--chart-faults", action="store_true", help="also the damaged chart files")
    p.add_argument("--image", help="also make this FAT card image holding the files")
    build(p.parse_args())


if __name__ == "__main__":
    sys.exit(main())
