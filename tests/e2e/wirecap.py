#!/usr/bin/env python3
"""Captures NTP on one interface of a test namespace, both directions: one
line per IPv4 UDP datagram to or from port 123, "request HEX" or
"reply HEX" (the UDP payload). Needs root (a packet socket). Stops after
COUNT datagrams or SECONDS.
Usage: wirecap.py INTERFACE COUNT SECONDS
"""
import socket
import struct
import sys
import time

ETH_P_ALL = 0x0003  # outgoing packets reach only taps of every protocol
NTP_PORT = 123


def udp_payload(frame):
    """(source port, destination port, payload) of an Ethernet IPv4 UDP
    frame, or None."""
    if len(frame) < 14 + 20 or frame[12:14] != b"\x08\x00":
        return None
    ip = frame[14:]
    header = (ip[0] & 0x0F) * 4
    total = struct.unpack(">H", ip[2:4])[0]
    if ip[9] != socket.IPPROTO_UDP or len(ip) < total or total < header + 8:
        return None
    sport, dport = struct.unpack(">HH", ip[header:header + 4])
    return sport, dport, ip[header + 8:total]


def main():
    interface, count, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    tap = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    tap.bind((interface, 0))
    tap.settimeout(0.5)
    deadline = time.monotonic() + seconds
    print(f"capturing on {interface}", file=sys.stderr, flush=True)
    while count > 0 and time.monotonic() < deadline:
        try:
            frame = tap.recv(65536)
        except socket.timeout:
            continue
        found = udp_payload(frame)
        if found is None or NTP_PORT not in found[:2]:
            continue
        kind = "request" if found[1] == NTP_PORT else "reply"
        print(kind, found[2].hex(), flush=True)
        count -= 1


if __name__ == "__main__":
    main()
