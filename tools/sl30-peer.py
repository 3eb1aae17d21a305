#!/usr/bin/env python3
"""An SL-30 navigation radio for tests and bench runs.

Writes the sentences the radio sends on the unit's serial port (function 4,
9,600 bit/s) and decodes what the unit sends back. Written from the radio's
serial interface:

  Every sentence: "$PMRRV", a two-character message id, the message's data
  characters, two upper-case hex digits of the checksum, CR LF. The checksum
  is the low 8 bits of the sum of the id and data characters (the characters
  after "$PMRRV" up to the checksum).

  From the radio (positions count from the first data character):
    21  navigation data, 10 characters:
          0..1  flag byte, two hex digits: bit 0 course deviation valid,
                2 localizer tuned, 3 TO, 4 FROM, 5 glideslope present,
                6 glideslope valid
          2..5  course deviation, sign and three digits, -127..+127 full
                scale, positive: the course lies to the right
          6..9  glideslope deviation, sign and three digits, -127..+127
    22  course and bearing, 7 characters:
          0..2  course (OBS), whole degrees 000..359
          3..6  bearing to the station, tenths of a degree 0000..3599
    23  second receiver, 4 characters:
          0..3  bearing to its station, tenths of a degree 0000..3599
    24  second receiver's frequencies, 10 characters:
          0..4  active, 10 kHz units 10800..11795 (11030 = 110.30 MHz)
          5..9  standby, the same
    25  station identifier, 5 characters, blank-padded on the right
    28  frequencies, 10 characters: active, standby, as message 24
  To the radio:
    34  set course, 3 characters: whole degrees 000..359

Usage:
  sl30-peer.py sentence ID DATA      one sentence, CR LF (e.g. 22 0903412)
  sl30-peer.py stream OUT [--seconds S] [--obs DEG] [--bearing DEG]
                          [--cdi N] [--station ID] [--flags HEX]
                                     S seconds of the radio's sentences at
                                     9,600 bit/s: 21, 22, 23, 24, 25, 28 in
                                     turn, back to back
  sl30-peer.py decode FILE           one line per sentence in FILE:
                                     "ID field=value ..." or "BAD ..."
"""
import sys

BAUD = 9600
CHARS_PER_SECOND = BAUD // 10

# id: (name, [(field, first, width, kind)]); kind: hex, signed, digits, text
LAYOUTS = {
    "21": ("navigation", [("flags", 0, 2, "hex"), ("cdi", 2, 4, "signed"), ("gs", 6, 4, "signed")]),
    "22": ("course", [("obs", 0, 3, "digits"), ("bearing", 3, 4, "digits")]),
    "23": ("second", [("bearing2", 0, 4, "digits")]),
    "24": ("freq2", [("active2", 0, 5, "digits"), ("standby2", 5, 5, "digits")]),
    "25": ("station", [("station", 0, 5, "text")]),
    "28": ("freq", [("active", 0, 5, "digits"), ("standby", 5, 5, "digits")]),
    "34": ("set-course", [("obs", 0, 3, "digits")]),
}


def checksum(id_and_data):
    return sum(id_and_data.encode("ascii")) & 0xFF


def sentence(msg_id, data):
    body = msg_id + data
    return ("$PMRRV%s%02X\r\n" % (body, checksum(body))).encode("ascii")


def field(kind, width, value):
    if kind == "hex":
        return "%0*X" % (width, value)
    if kind == "signed":
        return "%s%0*d" % ("-" if value < 0 else "+", width - 1, abs(value))
    if kind == "digits":
        return "%0*d" % (width, value)
    return str(value)[:width].ljust(width)


def build(msg_id, **values):
    _, fields = LAYOUTS[msg_id]
    return sentence(msg_id, "".join(field(kind, width, values[name]) for name, _, width, kind in fields))


def radio_cycle(obs, bearing, cdi, station, flags):
    return b"".join([
        build("21", flags=flags, cdi=cdi, gs=0),
        build("22", obs=obs, bearing=bearing),
        build("23", bearing2=(bearing + 900) % 3600),
        build("24", active2=11260, standby2=11340),
        build("25", station=station),
        build("28", active=11030, standby=11390),
    ])


def decode_line(line):
    """(id, {field: value}) of one sentence without CR LF, or None."""
    if len(line) < 10 or not line.startswith("$PMRRV"):
        return None
    body, given = line[6:-2], line[-2:]
    try:
        if int(given, 16) != checksum(body):
            return None
    except ValueError:
        return None
    msg_id, data = body[:2], body[2:]
    if msg_id not in LAYOUTS:
        return msg_id, {"data": data}
    _, fields = LAYOUTS[msg_id]
    if len(data) != sum(width for _, _, width, _ in fields):
        return None
    out = {}
    for name, first, width, kind in fields:
        text = data[first:first + width]
        if kind == "hex":
            out[name] = int(text, 16)
        elif kind in ("signed", "digits"):
            out[name] = int(text)
        else:
            out[name] = text.rstrip(" ")
    return msg_id, out


def main(argv):
    if len(argv) >= 4 and argv[1] == "sentence":
        sys.stdout.buffer.write(sentence(argv[2], argv[3]))
        return 0
    if len(argv) >= 3 and argv[1] == "stream":
        opts = {"--seconds": "30", "--obs": "90", "--bearing": "2700", "--cdi": "0", "--station": "ABQ",
                "--flags": "09"}
        rest = argv[3:]
        while len(rest) >= 2 and rest[0] in opts:
            opts[rest[0]] = rest[1]
            rest = rest[2:]
        if rest:
            print("unknown option: %s" % rest[0], file=sys.stderr)
            return 2
        cycle = radio_cycle(int(opts["--obs"]), int(opts["--bearing"]), int(opts["--cdi"]), opts["--station"],
                            int(opts["--flags"], 16))
        total = int(float(opts["--seconds"]) * CHARS_PER_SECOND)
        with open(argv[2], "wb") as out:
            out.write((cycle * (total // len(cycle) + 1))[:total - total % len(cycle)])
        return 0
    if len(argv) >= 3 and argv[1] == "decode":
        with open(argv[2], "rb") as f:
            lines = f.read().decode("ascii", "replace").split("\r\n")
        for line in lines:
            if not line:
                continue
            got = decode_line(line)
            if got is None:
                print("BAD %s" % line)
            else:
                print(got[0] + "".join(" %s=%s" % kv for kv in got[1].items()))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
