#!/usr/bin/env python3
"""A read-only TFTP server written from RFC 1350, for the unit's tests.

    tftp_server.py ADDRESS ROOT LOG [--lose FILE:BLOCK]... [--until PATH]

Serves the files of ROOT on ADDRESS port 69, one transfer at a time, each
from a port of its own. A DATA block named by --lose is lost (not sent) the
first time; it goes again after the 1 s timeout. Every DATA sending and
every transfer's end is written to LOG. Stops once PATH exists (checked
every 0.2 s) or on SIGTERM.
"""
import os
import socket
import struct
import sys
import time

RRQ, DATA, ACK, ERROR = 1, 3, 4, 5


def error(sock, peer, code, text):
    sock.sendto(struct.pack("!HH", ERROR, code) + text.encode() + b"\0", peer)


def transfer(address, root, name, peer, lose, log):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, 0))
    path = os.path.join(root, os.path.basename(name))
    if not os.path.isfile(path):
        error(sock, peer, 1, "File not found")
        log.write("%s missing\n" % name)
        return
    data = open(path, "rb").read()
    block, lost = 1, set()
    while True:
        chunk = data[(block - 1) * 512:block * 512]
        for _ in range(6):
            log.write("%s data %d\n" % (name, block))
            if (name, block) in lose and (name, block) not in lost:
                lost.add((name, block))
            else:
                sock.sendto(struct.pack("!HH", DATA, block & 0xFFFF) + chunk, peer)
            # The block goes again 1 s after it was sent, whatever else came
            # meanwhile (a repeated older ACK does not put it off).
            deadline = time.monotonic() + 1.0
            try:
                while True:
                    sock.settimeout(max(0.001, deadline - time.monotonic()))
                    packet, source = sock.recvfrom(1024)
                    if source != peer:
                        error(sock, source, 5, "Unknown transfer ID")
                        continue
                    op, number = struct.unpack("!HH", packet[:4])
                    if op == ACK and number == block & 0xFFFF:
                        break
                break
            except socket.timeout:
                continue
        else:
            log.write("%s timed out\n" % name)
            return
        if len(chunk) < 512:
            log.write("%s done %d\n" % (name, len(data)))
            return
        block += 1


def main():
    args = sys.argv[1:]
    address, root, logpath = args[:3]
    lose, until = set(), None
    rest = args[3:]
    while rest:
        if rest[0] == "--lose":
            name, block = rest[1].rsplit(":", 1)
            lose.add((name, int(block)))
        elif rest[0] == "--until":
            until = rest[1]
        rest = rest[2:]
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((address, 69))
    sock.settimeout(0.2)
    with open(logpath, "a", buffering=1) as log:
        log.write("listening\n")
        while not (until and os.path.exists(until)):
            try:
                packet, peer = sock.recvfrom(1024)
            except socket.timeout:
                continue
            if len(packet) < 4 or struct.unpack("!H", packet[:2])[0] != RRQ:
                error(sock, peer, 4, "Illegal TFTP operation")
                continue
            fields = packet[2:].split(b"\0")
            if len(fields) < 2 or fields[1].lower() != b"octet":
                error(sock, peer, 0, "octet mode only")
                continue
            transfer(address, root, fields[0].decode(errors="replace"), peer, lose, log)


if __name__ == "__main__":
    main()
