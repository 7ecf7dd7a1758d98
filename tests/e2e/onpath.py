#!/usr/bin/env python3
"""An on-path attacker for the tests: relays NTP (UDP) from LISTEN:PORT to
SERVER:PORT and moves the receive and transmit times of each reply SHIFT
seconds ahead; relays NTS-KE (TCP 4460) untouched, so the client's key
exchange with the real server succeeds through it. Runs for at most
SECONDS (default 120). Logs the NTS cookie each request carries.
Usage: onpath.py LISTEN SERVER SHIFT [SECONDS]
"""
import select
import socket
import struct
import sys
import time

NTP_PORT = 123
KE_PORT = 4460


def shift_reply(data, shift):
    if len(data) < 48:
        return data
    out = bytearray(data)
    for at in (32, 40):
        seconds = struct.unpack(">I", out[at:at + 4])[0]
        out[at:at + 4] = struct.pack(">I", (seconds + shift) & 0xFFFFFFFF)
    return bytes(out)


def request_cookie(data):
    """The NTS Cookie field's first 16 bytes in a request, as hex; '' if none."""
    at = 48
    while at + 4 <= len(data):
        kind, length = struct.unpack(">HH", data[at:at + 4])
        if length < 4:
            break
        if kind == 0x0204:
            return data[at + 4:at + min(length, 20)].hex()
        at += length
    return ""


def main():
    listen, server, shift = sys.argv[1], sys.argv[2], int(sys.argv[3])
    deadline = time.monotonic() + (int(sys.argv[4]) if len(sys.argv) > 4 else 120)
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind((listen, NTP_PORT))
    ke = socket.create_server((listen, KE_PORT))
    upstream = {}  # relay socket -> client address
    pairs = {}     # tcp socket -> its partner
    print(f"relaying {listen} -> {server}, replies {shift:+d} s", flush=True)
    while time.monotonic() < deadline:
        sockets = [udp, ke] + list(upstream) + list(pairs)
        ready, _, _ = select.select(sockets, [], [], 0.5)
        for s in ready:
            if s is udp:
                data, client = udp.recvfrom(4096)
                up = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                up.connect((server, NTP_PORT))
                up.send(data)
                cookie = request_cookie(data)
                if cookie:
                    print(f"request from {client[0]}: cookie {cookie}", flush=True)
                upstream[up] = client
            elif s is ke:
                conn, _ = ke.accept()
                far = socket.create_connection((server, KE_PORT), timeout=5)
                pairs[conn] = far
                pairs[far] = conn
            elif s in upstream:
                client = upstream.pop(s)
                reply = s.recv(4096)
                s.close()
                udp.sendto(shift_reply(reply, shift), client)
                print(f"reply to {client[0]}: {len(reply)} bytes moved {shift:+d} s", flush=True)
            elif s in pairs:
                partner = pairs[s]
                try:
                    data = s.recv(65536)
                except OSError:
                    data = b""
                if data:
                    partner.sendall(data)
                else:
                    for x in (s, partner):
                        pairs.pop(x, None)
                        x.close()


if __name__ == "__main__":
    main()
