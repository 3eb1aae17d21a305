#!/usr/bin/python3
"""A traffic receiver for tests and demonstrations: writes and reads the 0x8C
traffic message on a serial line.

On the wire: 10 8C, the body with every 10 doubled, the checksum (the two's
complement of the 8-bit sum of the body; doubled too when it is 10), 10 03. The body: length (8 + 8 x
count), status A, status B, count, 5 spare bytes (0, 67, 1, 0, 0), then 8
bytes a target: proximity (1), vertical trend (1 climbing, 2 descending),
track in eighths of the circle, distance in eighths of a nautical mile, u16
bearing in degrees relative to the own track, s16 altitude relative to the
own aircraft in hundreds of feet (both little-endian).

    traffic-8c.py write DEVICE [--target P,T,TRACK,DIST,BRG,ALT]... [--status A,B]
                               [--seconds S] [--period S] [--console FILE --port N] [--baud B] [--lead S]
    traffic-8c.py read FILE|DEVICE [--seconds S]
    traffic-8c.py message [--target ...] [--status A,B]      one message as hex

`write` sends the message every PERIOD seconds for SECONDS to a pseudo-terminal
of `kv5100 --serial N=pty` (with --console it waits for kv5100 to name port
N's pseudo-terminal in that file); to a regular file, for `--serial
N=file:IN`, it writes the messages at once, spaced by as many empty
messages of another id (10 06 10 03) as the line carries in PERIOD seconds at
--baud (9600 by default): the unit's framer ends a message only when the next
one's 10 arrives. Until the unit sets the port's rate at the end of its boot,
the board's UART takes a file at 115,200 baud, so the file begins with --lead
seconds (8 by default) of empty messages at that rate; without them the
messages would all be taken, and lost, before the port is set.
`read` prints one line per message found in the bytes ("8C A=.. B=.. n=..:"
and the targets as P/T/TRACK/DIST/BRG/ALT), or "bad checksum" lines; a
device is read for SECONDS.
"""
import argparse
import os
import re
import select
import sys
import termios
import time
import tty

DLE, ETX, ID = 0x10, 0x03, 0x8C


def target(text):
    p, t, track, dist, brg, alt = (int(v) for v in text.split(","))
    return p, t, track, dist, brg, alt


def record(p, t, track, dist, brg, alt):
    return bytes([p, t, track, dist]) + brg.to_bytes(2, "little") + (alt & 0xFFFF).to_bytes(2, "little")


def message(targets, status=(4, 6), count=None):
    n = len(targets) if count is None else count
    body = bytes([ID, (8 + 8 * len(targets)) & 0xFF, status[0], status[1], n, 0, 0x67, 1, 0, 0])
    body += b"".join(record(*t) for t in targets)
    out = bytearray([DLE])
    for b in body:
        out.append(b)
        if b == DLE:
            out.append(DLE)
    check = (-sum(body)) & 0xFF
    out.append(check)
    if check == DLE:
        out.append(DLE)   # doubled like any other 10, so that a framer can end the message
    out += bytes([DLE, ETX])
    return bytes(out)


def messages(data):
    """Each 0x8C message in a byte stream: (body, checksum good)."""
    found = []
    i = 0
    while i + 1 < len(data):
        if data[i] != DLE or data[i + 1] != ID:
            i += 1
            continue
        body, j = bytearray(), i + 1
        while j < len(data):
            b = data[j]
            # A checksum of 0x10 sent single (older senders): 10 10 03 without a 10 03 after it ends the message.
            if data[j:j + 3] == bytes([DLE, DLE, ETX]) and data[j + 3:j + 5] != bytes([DLE, ETX]):
                body.append(DLE)
                j += 1
                break
            if b == DLE and j + 1 < len(data) and data[j + 1] == DLE:
                body.append(DLE)
                j += 2
            elif b == DLE and j + 1 < len(data) and data[j + 1] == ETX:
                break
            else:
                body.append(b)
                j += 1
        if j >= len(data):
            break
        # The last byte before 10 03 is the checksum.
        payload, check = bytes(body[:-1]), body[-1] if body else -1
        found.append((payload, (sum(payload) + check) & 0xFF == 0))
        i = j + 2
    return found


def describe(payload, good):
    if not good:
        return "bad checksum"
    if len(payload) < 10:
        return "short message"
    n = payload[4]
    parts = []
    for k in range(min(n, (len(payload) - 10) // 8)):
        r = payload[10 + 8 * k:18 + 8 * k]
        brg = int.from_bytes(r[4:6], "little")
        alt = int.from_bytes(r[6:8], "little", signed=True)
        parts.append("%d/%d/%d/%d/%d/%d" % (r[0], r[1], r[2], r[3], brg, alt))
    return "8C A=%d B=%d n=%d: %s" % (payload[2], payload[3], n, " ".join(parts))


def raw(fd):
    if os.isatty(fd):
        tty.setraw(fd)
        attrs = termios.tcgetattr(fd)
        attrs[3] &= ~termios.ECHO
        termios.tcsetattr(fd, termios.TCSANOW, attrs)


def pty_from_console(console, port, wait=20.0):
    end = time.time() + wait
    key = re.compile(r"serial port %d is (\S+)" % port)
    while time.time() < end:
        try:
            m = key.search(open(console, errors="replace").read())
            if m:
                return m.group(1)
        except OSError:
            pass
        time.sleep(0.05)
    sys.exit("traffic-8c: no pseudo-terminal for port %d in %s" % (port, console))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("mode", choices=["write", "read", "message"])
    ap.add_argument("device", nargs="?")
    ap.add_argument("--target", type=target, action="append", default=[])
    ap.add_argument("--status", type=lambda s: tuple(int(v) for v in s.split(",")), default=(4, 6))
    ap.add_argument("--seconds", type=float, default=10.0)
    ap.add_argument("--period", type=float, default=1.0)
    ap.add_argument("--console")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--baud", type=int, default=9600)
    ap.add_argument("--lead", type=float, default=8.0, help="seconds of boot before the port is set (files)")
    a = ap.parse_args()
    targets = a.target or [(0, 1, 2, 16, 90, -3)]
    if a.mode == "message":
        print(message(targets, a.status).hex())
        return
    if a.mode == "read":
        if os.path.exists(a.device) and not os.path.isfile(a.device):
            fd = os.open(a.device, os.O_RDONLY | os.O_NOCTTY)
            raw(fd)
            data, end = b"", time.time() + a.seconds
            while time.time() < end:
                if select.select([fd], [], [], 0.1)[0]:
                    data += os.read(fd, 4096)
            os.close(fd)
        else:
            data = open(a.device, "rb").read()
        for payload, good in messages(data):
            print(describe(payload, good))
        return
    device = pty_from_console(a.console, a.port) if a.console else a.device
    if not a.console and (not os.path.exists(device) or os.path.isfile(device)):
        n = max(1, int(a.seconds / a.period))
        gap = bytes([DLE, 0x06, DLE, ETX]) * int(a.period * a.baud / 40)
        with open(device, "wb") as f:
            f.write(bytes([DLE, 0x06, DLE, ETX]) * int(a.lead * 11520 / 4))
            for _ in range(n):
                f.write(message(targets, a.status) + gap)
        print("sent %d" % n)
        return
    fd = os.open(device, os.O_WRONLY | os.O_NOCTTY | (0 if os.path.exists(device) else os.O_CREAT), 0o644)
    raw(fd)
    end = time.time() + a.seconds
    sent = 0
    while True:
        os.write(fd, message(targets, a.status))
        sent += 1
        if time.time() + a.period > end:
            break
        time.sleep(a.period)
    os.close(fd)
    print("sent %d" % sent)


if __name__ == "__main__":
    main()
