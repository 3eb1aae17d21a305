#!/usr/bin/env python3
"""An external AHRS for tests and bench runs.

Writes the byte stream an external AHRS sends on the unit's serial port 0,
and decodes the aiding messages the unit sends back. Written from the
published layouts of the two AHRS formats:

  ASCII sentence (115,200 bit/s): 51 characters and CR LF, 1-based columns
    1-8 time hhmmssff, 9-12 pitch sign and 0.1 deg, 13-17 roll sign and 0.1 deg,
    18-20 heading deg, 21-24 airspeed, 25-29 altitude, 30-33 turn rate
    (0.1 deg/s; vertical speed when status bit 0 is set), 34-36 lateral g
    (0.01 g), 37-39 vertical g (0.1 g), 40-41 angle of attack, 42-47 status
    (6 hex digits), 48-49 product id, 50-51 checksum: the low byte of the sum
    of the 49 preceding characters, two upper-case hex digits.
  Binary frame (9,600 bit/s): 26 bytes, 16-bit two's complement MSB first:
    AA 55, roll, pitch, heading (x 180/2^15 deg), roll, pitch, yaw rates
    (x 1200/2^15 deg/s), X, Y, Z accelerations (x 15/2^15 g), model number,
    BIT word, then the 16-bit sum of bytes 2..23.
  Aiding message (from the unit): 32 bytes, AA 55, 0xFF fill, bytes 20-21 TAS
    in 1/16 of the airspeed unit, 22-25 pressure altitude in tens of feet
    (both big-endian, or 00 00 00 00 00 'd' in demo), 30-31 the 16-bit sum of
    bytes 2..29 modulo 65535.

Usage:
  ahrs-peer.py dynon SCENARIO OUT [--seconds S] [--lead S]
  ahrs-peer.py xbow SCENARIO OUT [--seconds S] [--lead S]
  ahrs-peer.py example             the published example sentence, CR LF
  ahrs-peer.py sentence ROLL PITCH HEADING RATE LATG LOADG STATUS
                                   one sentence (degrees, deg/s, g, hex status)
  ahrs-peer.py frame ROLL PITCH HEADING RATE LATG LOADG BIT
                                   one binary frame, as hex
  ahrs-peer.py decode-aiding FILE  one line per aiding message
  ahrs-peer.py expect SCENARIO T   roll pitch heading at T seconds

Scenarios: steady, turn (a coordinated turn), roll (a roll through 180),
status (status and BIT bits), align (the bits and turn of a magnetometer
alignment), badsum (every 10th message spoilt), garbage
(three stray bytes before every 10th message), pause (5 s without data
after 10 s). Message n of a stream stands at the time its bytes take on the
line, so a sample's time is known to whoever reads the stream back
(--lead: S seconds of NUL bytes at 115,200 bit/s before the stream).
"""
import math
import struct
import sys

EXAMPLE = b"00082119+058-00541301200+9141+011-01+15003EA0C701A4\r\n"
DYNON_BAUD, XBOW_BAUD = 115200, 9600
DYNON_BYTES, XBOW_BYTES = 53, 26


def attitude(scenario, t):
    """(roll deg, pitch deg, heading deg, turn rate deg/s, lateral g, load g, status bits)."""
    roll, pitch, heading, rate, lat, status = 0.0, 2.0, 90.0, 0.0, 0.0, 0
    if scenario == "turn":
        # 25 degrees of bank from 5 s on; at 120 kt that turns 4.2 deg/s.
        roll = 25.0 if t >= 5 else 0.0
        rate = math.degrees(9.80665 * math.tan(math.radians(roll)) / (120 * 0.514444))
        heading = (90.0 + rate * max(0.0, t - 5)) % 360.0
    elif scenario == "roll":
        # A steady roll of 30 deg/s to the right: through +180 into -180.
        roll = ((30.0 * t + 180.0) % 360.0) - 180.0
    elif scenario == "status":
        status = 0x1000 if int(t) % 10 >= 5 else 0
    elif scenario == "align":
        # What an AHRS reports through a magnetometer alignment, in phases
        # long enough for a scripted pilot whose clock may differ from the
        # stream's by some seconds: levelling done at 60 s, a turn to the
        # right through 390 degrees from 100 s to 113 s, the iron
        # calibration done at 130 s, the heading offset at 170 s.
        status = ((0x1000 if t < 60 else 0) | (0x2000 if t < 130 else 0) | (0x4000 if t < 170 else 0))
        heading = (90.0 + 30.0 * min(13.0, max(0.0, t - 100))) % 360.0
    load = 1.0 / max(0.2, math.cos(math.radians(roll))) if scenario == "turn" else 1.0
    return roll, pitch, heading, rate, lat, load, status


def dynon_sentence(t, roll, pitch, heading, rate, lat, load, status, spoil=False):
    frac = int((t % 1.0) * 64)
    secs = int(t)
    body = "%02d%02d%02d%02d" % (secs // 3600 % 24, secs // 60 % 60, secs % 60, frac)
    body += "%+04d" % round(pitch * 10)
    body += "%+05d" % round(roll * 10)
    body += "%03d" % (round(heading) % 360)
    body += "0000" + "+0000"                    # airspeed, altitude: not used here
    body += "%+04d" % round(rate * 10)
    body += "%+03d" % round(-lat * 100)         # '+' is leftward
    body += "%+03d" % round(load * 10)
    body += "00"                                # angle of attack
    body += "%06X" % (status & 0xFFFFFF)        # bit 0 set: 30-33 hold vertical speed
    body += "01"
    total = sum(body.encode()) & 0xFF
    if spoil:
        total ^= 0x01
    return (body + "%02X" % total).encode() + b"\r\n"


def i16(v):
    return max(-32768, min(32767, int(round(v))))


def xbow_frame(roll, pitch, heading, rate, lat, load, bits, spoil=False):
    yaw = heading if heading <= 180 else heading - 360
    body = struct.pack(">hhhhhhhhhHH", i16(roll * 32768 / 180), i16(pitch * 32768 / 180), i16(yaw * 32768 / 180),
                       0, 0, i16(rate * 32768 / 1200), 0, i16(-lat * 32768 / 15), i16(load * 32768 / 15), 500,
                       bits & 0xFFFF)
    total = sum(body) & 0xFFFF
    if spoil:
        total ^= 0x0001
    return b"\xaa\x55" + body + struct.pack(">H", total)


def stream(kind, scenario, seconds, lead=0.0):
    baud, size = (DYNON_BAUD, DYNON_BYTES) if kind == "dynon" else (XBOW_BAUD, XBOW_BYTES)
    period = size * 10.0 / baud
    # Until the unit sets its port up, the port takes bytes at the 115,200
    # bit/s it starts with and drops them: the lead is that much silence (NUL
    # bytes), so that the stream proper starts about when the port is ready.
    out = bytearray(int(lead * 11520))
    n = 0
    while n * period < seconds:
        t = n * period
        n += 1
        if scenario == "pause" and 10 <= t < 15:
            continue
        spoil = scenario == "badsum" and n % 10 == 0
        if scenario == "garbage" and n % 10 == 0:
            out += b"\x00\x11\xaa" if kind == "xbow" else b"x#%"
        values = attitude(scenario, t)
        if kind == "dynon":
            out += dynon_sentence(t, *values, spoil=spoil)
        else:
            out += xbow_frame(*values, spoil=spoil)
    return bytes(out)


def decode_aiding(data):
    lines = []
    i = data.find(b"\xaa\x55")
    while 0 <= i and i + 32 <= len(data):
        m = data[i:i + 32]
        total = sum(m[2:30]) & 0xFFFF
        ok = (total % 65535) == struct.unpack(">H", m[30:32])[0]
        if m[20:26] == b"\x00\x00\x00\x00\x00d":
            lines.append("demo %s" % ("ok" if ok else "bad-checksum"))
        else:
            tas = struct.unpack(">H", m[20:22])[0] / 16.0
            alt = struct.unpack(">i", m[22:26])[0] * 10
            lines.append("tas %.2f alt %d %s" % (tas, alt, "ok" if ok else "bad-checksum"))
        i = data.find(b"\xaa\x55", i + 32)
    return lines


def main(argv):
    if len(argv) >= 4 and argv[1] in ("dynon", "xbow"):
        seconds = float(argv[argv.index("--seconds") + 1]) if "--seconds" in argv else 60.0
        lead = float(argv[argv.index("--lead") + 1]) if "--lead" in argv else 0.0
        with open(argv[3], "wb") as f:
            f.write(stream(argv[1], argv[2], seconds, lead))
        return 0
    if len(argv) == 2 and argv[1] == "example":
        sys.stdout.buffer.write(EXAMPLE)
        return 0
    if len(argv) == 9 and argv[1] in ("sentence", "frame"):
        v = [float(a) for a in argv[2:8]] + [int(argv[8], 16)]
        if argv[1] == "sentence":
            sys.stdout.buffer.write(dynon_sentence(0.0, *v))
        else:
            print(xbow_frame(*v).hex())
        return 0
    if len(argv) == 3 and argv[1] == "decode-aiding":
        with open(argv[2], "rb") as f:
            print("\n".join(decode_aiding(f.read())))
        return 0
    if len(argv) == 4 and argv[1] == "expect":
        roll, pitch, heading = attitude(argv[2], float(argv[3]))[:3]
        print("%.1f %.2f %.1f" % (roll, pitch, heading))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
