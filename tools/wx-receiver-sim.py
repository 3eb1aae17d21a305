#!/usr/bin/python3
"""Plays the datalink weather receiver for the unit: a TCP server (by default
on 192.168.0.70:20001, inside the namespace rig) speaking the receiver's
frames, 5A A5 | n (u16 BE) | payload | ED ED.

Every command from the unit is answered with a good 0x90 status frame. Once
the unit starts product delivery ('N'), the receiver sends its configuration
(0xC0) and time (0xDF) frames and then, every PERIOD seconds, the time again,
a METAR set, a TFR set and, N times in all (--cycles, default 1), a cycle marker
(a second one makes a master power-cycle the receiver) and, with --nexrad, a
radar picture, as stuffed product messages (AB CD, the short or
the long form, CRC-16/GENIBUS) in 0xEA frames of at most 500 product bytes.
The payloads are PPMd streams made as tools/ppmd-stream.py makes them.

    wx-receiver-sim.py [--bind ADDR] [--port N] [--run-for S] [--period S]
                       [--stations ID,ID,...] [--report TEXT] [--tfr LAT,LON] [--time YYYY-MM-DDTHH:MM]
                       [--cycles N] [--fault NAME[:ARG]] ... [--log FILE]
                       [--nexrad LAT,LON] [--nexrad-size WxH] [--nexrad-pixel M]
                       [--nexrad-scale-lat DEG] [--nexrad-time YYYY-MM-DDTHH:MM]

Stations get hand-written reports in turn VFR, MVFR, IFR, LIFR; with --report
all get that one ({id} and {t} stand for the station and the time). --tfr puts
two areas near the position: a 5 NM circle active at the receiver's time
and an outline that became active a day later. Faults, each once, on the
first connection: silent:S (nothing sent or answered after S seconds of
delivery), close:S (the connection closed after S seconds), split (every
frame sent as two segments), badcrc (the first METAR message's CRC wrong),
oversize (a frame of length 601), lyingcount (a 0xEA count beyond its frame),
longproduct (a METAR product longer than its message).

The radar picture (--nexrad, centred on LAT,LON; 2988x1642 by default, pixels
of --nexrad-pixel metres, 1000 by default; the scale latitude is LAT unless
given; the time is --nexrad-time, else --time) holds known blocks, from the
centre: seven blocks of values 1..7 in a row east of the centre, each W/32
wide and H/16 high with a gap of W/64, starting W/32 east of the centre
column; one block of value 7 north of the centre (W/64 wide, H/8 high, its
foot H/32 north of the centre row), so the picture's orientation shows; and
a frame of value 1, one pixel wide, on the picture's outermost rows and
columns. Column W/2, row H/2 is the centre.
"""
import argparse
import binascii
import datetime
import importlib.util
import os
import select
import socket
import struct
import sys
import time
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))


def load_ppmd_stream():
    spec = importlib.util.spec_from_file_location("ppmd_stream", os.path.join(HERE, "ppmd-stream.py"))
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    return mod


PPMD = load_ppmd_stream()

# ---- the formats -------------------------------------------------------------------------------


def frame(payload):
    return b"\x5a\xa5" + struct.pack(">H", len(payload)) + payload + b"\xed\xed"


def crc16(p):
    return binascii.crc_hqx(p, 0xFFFF) ^ 0xFFFF


def message(payload, long_form=False, bad_crc=False):
    crc = crc16(payload) ^ (1 if bad_crc else 0)
    if long_form or len(payload) + 2 >= 0xFFFF:
        head = b"\xab\xcd\xff\xff" + struct.pack("<I", len(payload) + 2)
    else:
        head = b"\xab\xcd" + struct.pack("<H", len(payload) + 2)
    return head + payload + struct.pack(">H", crc)


def stuff(msg):
    """AB CD -> AB CC 01 and AB CC -> AB CC 00, after the start."""
    out = bytearray(msg[:2])
    i = 2
    while i < len(msg):
        if msg[i] == 0xAB and i + 1 < len(msg) and msg[i + 1] in (0xCD, 0xCC):
            out += bytes([0xAB, 0xCC, 1 if msg[i + 1] == 0xCD else 0])
            i += 2
        else:
            out.append(msg[i])
            i += 1
    return bytes(out)


def product_frames(stuffed, lie=False):
    frames = []
    for at in range(0, len(stuffed), 500):
        chunk = stuffed[at:at + 500]
        count = len(chunk) + (7 if lie and at == 0 else 0)
        frames.append(frame(b"\xea\x00\x00\x00" + struct.pack(">I", count) + b"\x00" * 4 + chunk))
    return frames


def text_product(pid, text, n_extra=0):
    stream = PPMD.encode(text, 6, 0)
    return struct.pack("<BBII", pid, 0, len(stream) + n_extra, len(text)) + b"\x00" * 4 + stream


def status_frame(good=True):
    return frame(bytes([0x90, 1 if good else 0, 0, 0]))


def config_frame(service=2):
    return frame(bytes([0xC0, 0, 0, 7, service, 9]))


def time_frame(t):
    # The unit reads the year as 2000 + (byte & 31).
    return frame(bytes([0xDF, 0, (t.year - 2000) & 31, t.month, 0, t.day, t.hour, t.minute]))


# ---- the products -------------------------------------------------------------------------------

REPORTS = [
    "METAR {id} {t} 27012KT 10SM FEW250 15/03 A3001 RMK AO2 SLP165",
    "METAR {id} {t} 18008KT 4SM BR BKN025 12/10 A2992 RMK AO2",
    "METAR {id} {t} 00000KT 1 1/2SM BR OVC008 10/09 A2990 RMK AO2",
    "SPECI {id} {t} 21005G15KT 180V240 1/2SM FG OVC002 M01/M02 A2989 RMK AO2",
]


def metar_set(stations, t, report=None):
    stamp = t.strftime("%d%H%MZ")
    return b"".join((report or REPORTS[i % 4]).format(id=s, t=stamp).encode() + b"\x00"
                    for i, s in enumerate(stations))


def tfr_date(t):
    return t.strftime("%m/%d/%Y %I:%M:00 %p")


def tfr_set(lat, lon, t):
    def hemi(v, pos, neg):
        return "%s%.4f" % (pos if v >= 0 else neg, abs(v))
    la = lambda v: hemi(v, "N", "S")
    lo = lambda v: hemi(v, "E", "W")
    now, later = t - datetime.timedelta(hours=1), t + datetime.timedelta(days=1)
    xml = ("<TFRSET><TFRCOUNT>2</TFRCOUNT>"
           "<TFR1><NAME>STADIUM &amp; FIELD</NAME><TYPE>SECURITY</TYPE>"
           "<ACTIVE><TEXT>%s</TEXT></ACTIVE><EXPIRES><TEXT>%s</TEXT></EXPIRES>"
           "<MINALT>0A</MINALT><MAXALT>3000M</MAXALT>"
           "<BOUND>BC%s%sR5.0</BOUND></TFR1>"
           "<TFR2><NAME>FIRE</NAME><TYPE>HAZARDS</TYPE>"
           "<ACTIVE><TEXT>%s</TEXT></ACTIVE>"
           "<MINALT>0A</MINALT><MAXALT>8000M</MAXALT>"
           "<BOUND>BL%s%sL%s%sL%s%s</BOUND></TFR2>"
           "</TFRSET>") % (tfr_date(now), tfr_date(t + datetime.timedelta(hours=3)), la(lat + 0.15), lo(lon + 0.15),
                           tfr_date(later), la(lat - 0.1), lo(lon - 0.25), la(lat - 0.25), lo(lon - 0.25),
                           la(lat - 0.25), lo(lon - 0.05))
    ET.fromstring(xml)   # well-formed
    return xml.encode()


def nexrad_raster(w, h):
    img = bytearray(w * h)

    def block(c0, r0, cols, rows, v):
        for r in range(max(r0, 0), min(r0 + rows, h)):
            c1, c2 = max(c0, 0), min(c0 + cols, w)
            if c2 > c1:
                img[r * w + c1:r * w + c2] = bytes([v]) * (c2 - c1)

    cc, cr = w // 2, h // 2
    bw, bh, gap = max(w // 32, 1), max(h // 16, 1), max(w // 64, 1)
    for v in range(1, 8):
        block(cc + bw + (v - 1) * (bw + gap), cr - bh // 2, bw, bh, v)
    block(cc - max(w // 128, 1), cr - max(h // 32, 1) - max(h // 8, 1), max(w // 64, 1), max(h // 8, 1), 7)
    block(0, 0, w, 1, 1)
    block(0, h - 1, w, 1, 1)
    block(0, 0, 1, h, 1)
    block(w - 1, 0, 1, h, 1)
    return bytes(img)


def nexrad_product(a):
    lat, lon = a.nexrad
    w, h = a.nexrad_size
    scale = a.nexrad_scale_lat if a.nexrad_scale_lat is not None else lat
    t = a.nexrad_time or a.time
    stamp = int((t - datetime.datetime(1970, 1, 1)).total_seconds())
    stream = PPMD.encode(nexrad_raster(w, h), 6, 0)
    return (struct.pack("<BBIB", 1, 0, len(stream), 0) +
            struct.pack("<iiIIHHH", round(lat * 1e6), round(lon * 1e6), stamp, round(abs(scale) * 1e6), w, h,
                        a.nexrad_pixel) + stream)


# ---- the connection -----------------------------------------------------------------------------


class Receiver:
    cycles_sent = 0
    server_nexrad = None   # made once: the compression takes a while

    def __init__(self, conn, args, log, first, server):
        self.conn, self.args, self.log, self.first, self.server = conn, args, log, first, server
        self.faults = dict(args.fault) if first else {}
        self.buf = b""
        self.delivering = None
        self.silent = False
        self.sent_metar = False
        self.conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.conn.settimeout(0.1)

    def waiting(self):
        """A new connection from the unit waits: it has given this one up."""
        return bool(select.select([self.server], [], [], 0)[0])

    def say(self, text):
        self.log.write("%.1f %s\n" % (time.time(), text))
        self.log.flush()

    def send(self, data):
        if "split" in self.faults and len(data) > 2:
            half = len(data) // 2
            self.conn.sendall(data[:half])
            time.sleep(0.05)
            self.conn.sendall(data[half:])
        else:
            self.conn.sendall(data)

    def commands(self):
        while len(self.buf) >= 6:
            start = self.buf.find(b"\x5a\xa5")
            if start < 0:
                self.buf = b""
                return
            self.buf = self.buf[start:]
            n = struct.unpack(">H", self.buf[2:4])[0]
            if len(self.buf) < n + 6:
                return
            payload, self.buf = self.buf[4:4 + n], self.buf[n + 6:]
            self.say("command %s" % payload.hex())
            self.send(status_frame())
            if payload[:1] == b"N" and self.delivering is None:
                self.delivering = time.time()
                self.next_product = time.time() + 0.5
                self.send(config_frame())
                self.send(time_frame(self.args.time))
                if "oversize" in self.faults:
                    self.send(frame(b"\xe0" + b"\x00" * 600))

    def products(self):
        a, t = self.args, self.args.time
        out = []
        if a.stations:
            bad = "badcrc" in self.faults and not self.sent_metar
            extra = 1 if "longproduct" in self.faults and not self.sent_metar else 0
            out.append(("METAR", message(text_product(5, metar_set(a.stations, t, a.report), extra), bad_crc=bad)))
            self.sent_metar = True
        if a.tfr:
            out.append(("TFR", message(text_product(35, tfr_set(a.tfr[0], a.tfr[1], t)), long_form=True)))
        if a.nexrad:
            if self.server_nexrad is None:
                Receiver.server_nexrad = message(nexrad_product(a))
            out.append(("NEXRAD", Receiver.server_nexrad))
        if Receiver.cycles_sent < a.cycles:   # counted over all connections
            out.append(("cycle", message(struct.pack("<BBII", 47, 0, 0, 0))))
            Receiver.cycles_sent += 1
        return out

    def deliver(self):
        # The time again with every cycle: a display that joins later (the
        # slave, through the master's relay) learns it too.
        self.send(time_frame(self.args.time))
        for name, msg in self.products():
            frames = product_frames(stuff(msg), lie="lyingcount" in self.faults)
            self.faults.pop("lyingcount", None)
            for f in frames:
                self.send(f)
            self.say("product %s %d bytes in %d frames" % (name, len(msg), len(frames)))
            time.sleep(1.0)   # the unit decodes one product at a time

    def run(self, deadline):
        while time.time() < deadline:
            since = time.time() - self.delivering if self.delivering else 0
            if "close" in self.faults and self.delivering and since >= self.faults["close"]:
                self.say("closing")
                return
            if "silent" in self.faults and self.delivering and since >= self.faults["silent"]:
                if not self.silent:
                    self.say("silent")
                    self.silent = True
                # Nothing is answered; what the unit sends is read and dropped.
                try:
                    if self.conn.recv(4096) == b"":
                        self.say("closed by the unit")
                        return
                except socket.timeout:
                    pass
                except OSError as e:
                    self.say("connection lost: %s" % e)
                    return
                if self.waiting():
                    self.say("left for the unit's new connection")
                    return
                continue
            try:
                data = self.conn.recv(4096)
                if not data:
                    self.say("closed by the unit")
                    return
                self.buf += data
                self.commands()
            except socket.timeout:
                pass
            except OSError as e:
                self.say("connection lost: %s" % e)
                return
            if self.delivering and time.time() >= self.next_product:
                self.deliver()
                self.next_product = time.time() + self.args.period


def parse_fault(text):
    name, _, arg = text.partition(":")
    return name, float(arg) if arg else 0.0


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--bind", default="192.168.0.70")
    p.add_argument("--port", type=int, default=20001)
    p.add_argument("--run-for", type=float, default=60)
    p.add_argument("--period", type=float, default=10)
    p.add_argument("--stations", type=lambda s: [x for x in s.split(",") if x], default=[])
    p.add_argument("--report", default=None)
    p.add_argument("--tfr", type=lambda s: [float(x) for x in s.split(",")], default=None)
    p.add_argument("--time", type=lambda s: datetime.datetime.strptime(s, "%Y-%m-%dT%H:%M"),
                   default=datetime.datetime.utcnow().replace(second=0, microsecond=0))
    p.add_argument("--cycles", type=int, default=1)
    p.add_argument("--fault", type=parse_fault, action="append", default=[])
    p.add_argument("--log", default="-")
    p.add_argument("--nexrad", type=lambda s: [float(x) for x in s.split(",")], default=None)
    p.add_argument("--nexrad-size", type=lambda s: [int(x) for x in s.lower().split("x")], default=[2988, 1642])
    p.add_argument("--nexrad-pixel", type=int, default=1000)
    p.add_argument("--nexrad-scale-lat", type=float, default=None)
    p.add_argument("--nexrad-time", type=lambda s: datetime.datetime.strptime(s, "%Y-%m-%dT%H:%M"), default=None)
    args = p.parse_args()
    log = sys.stdout if args.log == "-" else open(args.log, "a")
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((args.bind, args.port))
    server.listen(1)
    server.settimeout(0.5)
    deadline = time.time() + args.run_for
    connections = 0
    while time.time() < deadline:
        try:
            conn, peer = server.accept()
        except socket.timeout:
            continue
        connections += 1
        r = Receiver(conn, args, log, connections == 1, server)
        r.say("connection %d from %s" % (connections, peer[0]))
        r.run(deadline)
        conn.close()
    log.write("connections %d\n" % connections)


if __name__ == "__main__":
    main()
