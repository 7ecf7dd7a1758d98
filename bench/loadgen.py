#!/usr/bin/python3
"""Paced NTP client load: mode-3 requests at --rate per second for
--duration seconds from ADDR port 123 (so answers sent to the requester's
port and answers sent to port 123 both arrive), then stops by itself.

  loadgen.py --from ADDR --to ADDR [--rate N] [--duration S] [--version N]

Each request carries a unique transmit timestamp; an answer counts when its
originate timestamp echoes one. Requests go out in millisecond steps on a
fixed schedule, and answers are read between steps without blocking the
schedule. Prints one line of key=value results:
  sent, answered, loss_pct   requests sent (a failed send is not one), and
                             those answered by the end (1 s of quiet)
  answers_per_s              answers that arrived while sending, per second
  offered_per_s              requests sent per second of sending
  asked_per_s                the rate asked for
  send_errors                sends the system refused
  late_ms                    the longest the schedule fell behind
  cpu_pct                    the generator's own processor time, percent
  median_rtt_ms, p99_rtt_ms, max_rtt_ms
                             round trips of the answered requests, each
                             answer matched to its request by the echoed
                             stamp and timed from its send to its arrival
                             here (the kernel's receive stamp: at tens of
                             thousands a second this generator reads
                             answers milliseconds after they came, and
                             that lag is its own, not the server's)
  within10_pct               answers that came within 10 ms, percent of sent
The generator shares the machine with the server it loads: offered_per_s
below asked_per_s, send errors or a late schedule mean it could not offer
the rate asked, and the loss or success at that rate says nothing.
"""

import argparse
import os
import select
import socket
import statistics
import struct
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "tests", "e2e"))
import ntpwire  # noqa: E402

NTP_PORT = 123
STEP_S = 0.001     # the schedule's step
DRAIN_MAX = 256    # answers read at most between two steps
STAMP = struct.Struct("!Q")
# The kernel's receive stamp (struct timespec, wall clock); Python names
# the option only from 3.12 on.
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)
TIMESPEC = struct.Struct("@qq")
CMSG_ROOM = socket.CMSG_SPACE(TIMESPEC.size)


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
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 << 20)
    sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    sock.bind((args.source, args.port))
    sock.setblocking(False)

    # The request without its transmit stamp; the stamp is the cookie.
    head = ntpwire.pack(version=args.version, mode=3, stratum=0, poll=0,
                        precision=0, refid=bytes(4))[:40]
    dest = (args.to, args.port)
    total = int(args.rate * args.duration)
    outstanding = {}  # transmit cookie -> send time (wall clock, ns)
    rtts = []
    sent = attempts = send_errors = 0
    late_s = 0.0
    cpu0 = time.process_time()
    start = time.monotonic()
    base = ntpwire.to_ntp(time.time())
    sendto, monotonic, time_ns = sock.sendto, time.monotonic, time.time_ns
    while attempts < total:
        now = monotonic()
        if now - start > args.duration + 1.0:
            break
        due = min(total, int((now - start) * args.rate) + 1)
        if due - attempts > 1:
            late_s = max(late_s, (due - attempts - 1) / args.rate)
        while attempts < due:
            cookie = base + attempts  # unique low bits, a plausible time
            attempts += 1
            # Stamped before the send: an answer may come before it returns.
            sent_at = time_ns()
            try:
                sendto(head + STAMP.pack(cookie), dest)
            except OSError:
                send_errors += 1
                continue
            outstanding[cookie] = sent_at
            sent += 1
        drain(sock, outstanding, rtts)
        # Until the next step, or an answer.
        wait = start + (attempts + 1) / args.rate - monotonic()
        if wait > 0:
            if select.select([sock], [], [], min(wait, STEP_S))[0]:
                drain(sock, outstanding, rtts)
    send_seconds = max(monotonic() - start, 1e-3)
    answered_sending = len(rtts)
    cpu_s = time.process_time() - cpu0
    # The rest: until 1 s of quiet, at most 3 s.
    deadline = monotonic() + 3.0
    while outstanding and monotonic() < deadline:
        if not select.select([sock], [], [], 1.0)[0]:
            break
        drain(sock, outstanding, rtts)

    answered = len(rtts)
    loss = 100.0 * (sent - answered) / sent if sent else 0.0
    rtts.sort()
    nan = float("nan")
    median_ms = statistics.median(rtts) * 1000 if rtts else nan
    # The 99th percentile: the smallest round trip that 99 % of the
    # answers do not exceed.
    p99_ms = rtts[max(0, -(-99 * len(rtts) // 100) - 1)] * 1000 if rtts else nan
    max_ms = rtts[-1] * 1000 if rtts else nan
    within = sum(1 for r in rtts if r <= 0.010)
    print("sent=%d answered=%d loss_pct=%.2f answers_per_s=%.0f "
          "offered_per_s=%.0f asked_per_s=%.0f send_errors=%d late_ms=%.0f "
          "cpu_pct=%.0f median_rtt_ms=%.2f p99_rtt_ms=%.2f max_rtt_ms=%.2f "
          "within10_pct=%.2f"
          % (sent, answered, loss, answered_sending / send_seconds,
             sent / send_seconds, args.rate, send_errors, late_s * 1000,
             100.0 * cpu_s / send_seconds, median_ms, p99_ms, max_ms,
             100.0 * within / sent if sent else 0.0), flush=True)
    return 0


def drain(sock, outstanding, rtts):
    """Matches the answers waiting now, at most DRAIN_MAX."""
    for _ in range(DRAIN_MAX):
        try:
            data, ancillary, _, _ = sock.recvmsg(2048, CMSG_ROOM)
        except BlockingIOError:
            return
        if len(data) < 32:
            continue
        sent_at = outstanding.pop(STAMP.unpack_from(data, 24)[0], None)
        if sent_at is None:
            continue
        for level, kind, value in ancillary:
            if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                seconds, nanoseconds = TIMESPEC.unpack_from(value)
                arrived_at = seconds * 1000000000 + nanoseconds
                break
        else:  # no stamp came with it: the time it is read
            arrived_at = time.time_ns()
        rtts.append((arrived_at - sent_at) / 1e9)


if __name__ == "__main__":
    sys.exit(main())
