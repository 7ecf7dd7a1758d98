#!/usr/bin/python3
"""Random-datagram flood: 0 to MAX bytes of random data from each --from
address (port 123, so answers come back here and are counted) to one target,
paced at --rate per second for --duration seconds, then stops by itself.

  flood.py --from ADDR [--from ADDR...] --to ADDR [--rate N] [--duration S]
           [--min-len N] [--max-len N] [--seed N] [--src-port N]

Prints one summary line: sent, answerable (mode 3 and 1..60 bytes, what the
target can read and answer), answers received. The seed is printed so a
failing run can be repeated.
"""

import argparse
import random
import select
import socket
import sys
import time

NTP_PORT = 123
READ_LIMIT = 60  # the target reads at most this many bytes of a datagram


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--from", dest="sources", action="append", required=True)
    parser.add_argument("--to", required=True)
    parser.add_argument("--port", type=int, default=NTP_PORT)
    parser.add_argument("--src-port", type=int, default=None,
                        help="source port (default: --port; 0: ephemeral)")
    parser.add_argument("--rate", type=float, default=2000.0)
    parser.add_argument("--duration", type=float, default=10.0)
    parser.add_argument("--min-len", type=int, default=0)
    parser.add_argument("--max-len", type=int, default=1500)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 31)
    rng = random.Random(seed)
    print("flood seed=%d rate=%g duration=%g" % (seed, args.rate, args.duration),
          flush=True)

    socks = []
    for source in args.sources:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((source, args.port if args.src_port is None else args.src_port))
        s.setblocking(False)
        socks.append(s)

    total = int(args.rate * args.duration)
    sent = answerable = answers = errors = 0
    start = time.monotonic()
    while sent < total:
        elapsed = time.monotonic() - start
        if elapsed > args.duration + 1.0:
            break  # a slow machine ends the load on time, not on count
        due = min(total, int(elapsed * args.rate) + 1)
        while sent < due:
            length = rng.randint(args.min_len, args.max_len)
            data = rng.randbytes(length)
            if 1 <= length <= READ_LIMIT and data[0] & 7 == 3:
                answerable += 1
            try:
                socks[sent % len(socks)].sendto(data, (args.to, args.port))
            except OSError:
                errors += 1
            sent += 1
        answers += drain(socks, 0.002)
    answers += drain(socks, 1.0)
    print("flood done sent=%d answerable=%d answers=%d errors=%d seconds=%.1f"
          % (sent, answerable, answers, errors, time.monotonic() - start),
          flush=True)
    return 0


def drain(socks, wait):
    """Counts datagrams arriving until `wait` seconds of quiet (at most 3 s)."""
    count = 0
    deadline = time.monotonic() + 3.0
    while time.monotonic() < deadline:
        ready, _, _ = select.select(socks, [], [], wait)
        if not ready:
            return count
        for s in ready:
            try:
                while True:
                    s.recvfrom(2048)
                    count += 1
            except BlockingIOError:
                pass
        wait = min(wait, 0.002)
    return count


if __name__ == "__main__":
    sys.exit(main())
