#!/usr/bin/env python3
"""Makes a GPS track for the generated map regions, as NMEA sentences a
serial port can replay.

The track is written as GPX (one point a second) and turned into NMEA by
gpsbabel. It flies straight legs with turns between them, stops (below
5 kt) for a few seconds, and has one wild jump: a single fix 1.5 degrees
away, then the track goes on where it was. After those it turns across
north (330 to 030 degrees) and flies toward a fix (--toward, by default
the second fix the map card generator puts in the start's square), its
heading taken again each second.

A serial port replays a file at its baud rate, so each second's sentences
are followed by enough blank lines to fill that second at --baud; the fixes
then reach the unit one a second. The board's UART takes bytes at 115,200
baud until the unit programs the port, so the file begins with --lead
seconds of blank lines at that rate.

  make-gps-track.py --region nw track.nmea
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

STARTS = {"nw": (45.2629, -122.6769), "se": (-37.5, 147.5)}
# The map card generator's second fix of the start's square (its middle
# less 0.3 degree of latitude, plus 0.1 of longitude).
FIXES = {"nw": (45.2, -122.4), "se": (-38.2, 147.6)}
TOWARD = None   # a leg whose heading follows the bearing to the fix


def bearing_to(lat, lon, fix):
    """Initial great-circle bearing in degrees from (lat, lon) to the fix."""
    p1, p2 = math.radians(lat), math.radians(fix[0])
    dl = math.radians(fix[1] - lon)
    y = math.sin(dl) * math.cos(p2)
    x = math.cos(p1) * math.sin(p2) - math.sin(p1) * math.cos(p2) * math.cos(dl)
    return math.degrees(math.atan2(y, x)) % 360


def legs(seconds_per_leg, speed_kt):
    """(heading degrees, speed knots, seconds) of each part of the flight."""
    return [(90, speed_kt, seconds_per_leg), (0, speed_kt, seconds_per_leg), (300, speed_kt, seconds_per_leg),
            (300, 0.0, 8),            # standing still: below 5 kt
            (210, speed_kt, seconds_per_leg),
            (330, speed_kt, seconds_per_leg), (30, speed_kt, seconds_per_leg),   # across north
            (TOWARD, speed_kt, 3 * seconds_per_leg)]


def points(start, seconds_per_leg, speed_kt, jump_at, toward):
    lat, lon = start
    heading = legs(seconds_per_leg, speed_kt)[0][0]
    out = []
    t = 0
    for target, speed, seconds in legs(seconds_per_leg, speed_kt):
        for _ in range(seconds):
            if target is TOWARD:
                target_now = bearing_to(lat, lon, toward)
            else:
                target_now = target
            # Turns at 3 degrees a second, the shorter way.
            diff = (target_now - heading + 540) % 360 - 180
            heading = (heading + max(-3, min(3, diff))) % 360
            nm = speed / 3600.0
            lat += nm / 60.0 * math.cos(math.radians(heading))
            lon += nm / 60.0 * math.sin(math.radians(heading)) / math.cos(math.radians(lat))
            fix = (lat, lon)
            if t == jump_at:
                fix = (lat + 1.5, lon)   # one wild fix
            out.append((t, fix[0], fix[1], speed, heading))
            t += 1
    return out


def gpx(pts):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<gpx version="1.1" creator="make-gps-track" xmlns="http://www.topografix.com/GPX/1/1">',
             "<trk><name>KV TRACK</name><trkseg>"]
    for t, lat, lon, speed, heading in pts:
        stamp = "2015-10-20T%02d:%02d:%02dZ" % (12 + t // 3600, t // 60 % 60, t % 60)
        lines.append('<trkpt lat="%.6f" lon="%.6f"><ele>300</ele><time>%s</time>'
                     "<course>%.1f</course><speed>%.3f</speed><fix>3d</fix><sat>8</sat></trkpt>" % (lat, lon, stamp, heading, speed * 1852 / 3600))
    lines.append("</trkseg></trk></gpx>")
    return "\n".join(lines) + "\n"


def paced(nmea, baud):
    """Each fix's sentences, then blank lines up to one second of the line."""
    per_second = baud // 10
    out, second = [], []

    def flush():
        if not second:
            return
        text = "".join(second)
        out.append(text + "\r\n" * max(0, (per_second - len(text)) // 2))

    for line in nmea.splitlines():
        if not line.startswith("$"):
            continue
        if line.startswith("$GPRMC") and second:
            flush()
            second = []
        second.append(line + "\r\n")
    flush()
    return "".join(out)


def main():
    p = argparse.ArgumentParser(description="Makes a GPS track as NMEA for the generated map regions.")
    p.add_argument("--region", choices=sorted(STARTS), default="nw")
    p.add_argument("--leg", type=int, default=40, help="seconds of each straight leg")
    p.add_argument("--speed", type=float, default=120.0, help="knots")
    p.add_argument("--jump-at", type=int, default=15, help="second of the wild fix (-1: none)")
    p.add_argument("--baud", type=int, default=4800, help="the port's rate (NMEA ports run at 4800)")
    # Until the unit sets the port's rate at the end of its boot, the board's
    # UART takes the file at 115,200 baud: blank lines fill that time.
    p.add_argument("--lead", type=float, default=8.0, help="seconds of boot before the port is set")
    p.add_argument("--toward", help="LAT,LON of the fix the last leg flies to (default: the square's second fix)")
    p.add_argument("--gpx", help="also keep the GPX here")
    p.add_argument("out")
    a = p.parse_args()
    fix = tuple(float(v) for v in a.toward.split(",")) if a.toward else FIXES[a.region]
    pts = points(STARTS[a.region], a.leg, a.speed, a.jump_at, fix)
    with tempfile.TemporaryDirectory() as d:
        src = a.gpx or os.path.join(d, "track.gpx")
        with open(src, "w") as f:
            f.write(gpx(pts))
        nmea = os.path.join(d, "track.nmea")
        r = subprocess.run(["gpsbabel", "-i", "gpx", "-f", src, "-o", "nmea", "-F", nmea],
                           capture_output=True, text=True)
        if r.returncode != 0:
            sys.exit("gpsbabel: " + r.stderr)
        with open(nmea) as f:
            text = f.read()
    with open(a.out, "w", newline="") as f:
        f.write("\r\n" * int(a.lead * 11520 / 2))
        f.write(paced(text, a.baud))


if __name__ == "__main__":
    main()
