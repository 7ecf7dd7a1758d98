#!/usr/bin/python3
"""Paced NTP client load: mode-3 requests at --rate per second for
--duration seconds from ADDR port 123 (so answers sent to the requester's
port and answers sent to port 123 both arrive), then stops by itself.

  loadgen.py --from ADDR --to ADDR [--rate N] [--duration S] [--version N]

Each request carries a unique transmit timestamp; an answer counts when its
originate timestamp echoes one. Prints one line of key=value results.
"""

import argparse
import os
import select
import socket
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "tests", "e2e"))
import ntpwire  # noqa: E402

NTP_PORT = 123


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--from", dest="source", required=True)
    parser.add_argument("--to", required=True)
    parser.add_argument("--port", type=int, default=NTP_PORT)
    parser.add_argument("--rate", type=float, default=1000.0)
    parser.add_argument("--duration", type=float, default=5.0)
    parser.add_argument("--version", type=int, default=4)
    args = parser.parse_args()

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
    sock.bind((args.source, args.port))
    sock.setblocking(False)

    total = int(args.rate * args.duration)
    outstanding = {}  # transmit cookie -> send time (monotonic)
    rtts = []
    sent = 0
    start = time.monotonic()
    base = ntpwire.to_ntp(time.time())
    while sent < total and time.monotonic() - start < args.duration + 1.0:
        due = min(total, int((time.monotonic() - start) * args.rate) + 1)
        while sent < due:
            cookie = base + sent  # unique low bits, a plausible time
            request = ntpwire.pack(version=args.version, mode=3, stratum=0,
                                   poll=0, precision=0, refid=bytes(4),
                                   transmit=cookie)
            outstanding[cookie] = time.monotonic()
            try:
                sock.sendto(request, (args.to, args.port))
            except OSError:
                pass
            sent += 1
        collect(sock, outstanding, rtts, 0.001)
    send_seconds = time.monotonic() - start
    collect(sock, outstanding, rtts, 1.0)

    answered = len(rtts)
    loss = 100.0 * (sent - answered) / sent if sent else 0.0
    median_ms = statistics.median(rtts) * 1000 if rtts else float("nan")
    print("sent=%d answered=%d loss_pct=%.1f answers_per_s=%.0f "
          "offered_per_s=%.0f median_rtt_ms=%.2f"
          % (sent, answered, loss, answered / send_seconds,
             sent / send_seconds, median_ms), flush=True)
    return 0


def collect(sock, outstanding, rtts, wait):
    """Matches answers until `wait` seconds of quiet (at most 3 s)."""
    deadline = time.monotonic() + 3.0
    while time.monotonic() < deadline:
        ready, _, _ = select.select([sock], [], [], wait)
        if not ready:
            return
        try:
            while True:
                data, _ = sock.recvfrom(2048)
                sent_at = outstanding.pop(ntpwire.unpack(data)["originate"], None)
                if sent_at is not None:
                    rtts.append(time.monotonic() - sent_at)
        except BlockingIOError:
            pass
        wait = min(wait, 0.001)


if __name__ == "__main__":
    sys.exit(main())
