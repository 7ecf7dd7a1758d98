#!/usr/bin/python3
"""Scripted NTP peer: answers requests, or pushes one crafted message, with
the faults real servers never send (leap 3, stratum 0, zero transmit, wrong
source address, broadcasts, large offsets) and simulated path delay.

  peer.py serve --bind ADDR [--offset S] [--offsets S,S,...] [--req-delay S]
                [--reply-delay S] [--leap N] [--stratum N] [--zero-tx]
                [--reply-from ADDR] [--silent] [--skip N] [--answer N]
                [--drop-version N] [--kiss CODE] [--duration S]
  peer.py push  --from ADDR --to ADDR [--mode 4|5] [--offset S] [--leap N]
                [--stratum N] [--zero-tx] [--broadcast] [--to-broadcast ADDR]
                [--any-port] [--to-port N] [--length N] [--version N]
                [--originate HEX [--received T]] [--refid CODE]
  peer.py ask   --to ADDR [--version N]

ask sends one client request and prints the answer's fields as KEY=VALUE
(leap version mode stratum poll precision rootdelay rootdisp refid
reference originate receive transmit, timestamps as raw hex, the request's
transmit time as sent=HEX), or exits 1 after 3 s without one.

serve prints one line per request and per reply (flushed), and "ready" once
bound; --offsets takes the offsets in turn, one per reply; each reply line
carries the T1, T2 and T3 it sent, each request line the request's transmit
time as tx=HEX (the raw 64 bits), which push --originate takes to answer that
request, and --received its t= (when it arrived here): a request's transmit
time is random, so only its arrival tells when it was sent. --to-port sends
it to the port that request came from (the client's own) instead of --port. --skip leaves the first N requests
unanswered, --answer answers at most N, --drop-version ignores requests of
that version, as some servers do with version 1. --kiss answers every
request with that kiss code (stratum 0, leap 3, the code as reference id),
as a rate-limiting or refusing server does. Simulated delay: holding a request before stamping T2 looks to the
client exactly like that much extra request-path delay; holding the reply
after stamping T3 looks like reply-path delay.
"""

import argparse
import select
import socket
import sys
import time

import ntpwire

NTP_PORT = 123
PUSH_PATH = 0.020  # seconds, the one-way delay a pushed reply pretends


def udp_socket(addr, port, broadcast=False):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if broadcast:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    sock.bind((addr, port))
    return sock


def say(*parts):
    print(" ".join(str(p) for p in parts), flush=True)


def reply_for(request, args, offset):
    """The answer to one request; T2 and T3 stamped after the request hold."""
    if args.req_delay > 0:
        time.sleep(args.req_delay)
    t2 = ntpwire.now() + offset
    t3 = ntpwire.now() + offset
    fields = ntpwire.unpack(request)
    if args.kiss:
        return ntpwire.pack(
            leap=3, version=fields["version"] or 4, mode=4, stratum=0,
            refid=args.kiss.encode("ascii"), originate=fields["transmit"],
            receive=ntpwire.to_ntp(t2), transmit=ntpwire.to_ntp(t3))
    return ntpwire.pack(
        leap=args.leap, version=fields["version"] or 4, mode=4,
        stratum=args.stratum, reference=ntpwire.to_ntp(t2 - 16),
        originate=fields["transmit"], receive=ntpwire.to_ntp(t2),
        transmit=0 if args.zero_tx else ntpwire.to_ntp(t3))


def serve(args):
    sock = udp_socket(args.bind, args.port)
    out = udp_socket(args.reply_from, args.port) if args.reply_from else sock
    offsets = [float(x) for x in args.offsets.split(",")] if args.offsets else [args.offset]
    replies = requests = 0
    say("ready", args.bind, args.port)
    deadline = time.monotonic() + args.duration
    while time.monotonic() < deadline:
        ready, _, _ = select.select([sock], [], [], 0.2)
        if not ready:
            continue
        data, (host, port) = sock.recvfrom(2048)
        fields = ntpwire.unpack(data)
        say("request from=%s:%d len=%d version=%d mode=%d tx=%016x t=%.3f"
            % (host, port, len(data), fields["version"], fields["mode"],
               fields["transmit"], time.time()))
        requests += 1
        if (fields["mode"] != 3 or args.silent or requests <= args.skip
                or replies >= args.answer or fields["version"] == args.drop_version):
            continue
        offset = offsets[replies % len(offsets)]
        replies += 1
        answer = reply_for(data, args, offset)
        if args.reply_delay > 0:
            time.sleep(args.reply_delay)
        out.sendto(answer, (host, port))
        sent = ntpwire.unpack(answer)
        say("reply to=%s:%d offset=%+.3f t1=%s t2=%s t3=%s"
            % (host, port, offset, ntpwire.stamp_text(sent["originate"]),
               ntpwire.stamp_text(sent["receive"]), ntpwire.stamp_text(sent["transmit"])))


def push(args):
    sock = udp_socket(args.source, 0 if args.any_port else args.port,
                      args.broadcast)
    t = ntpwire.now()
    originate = receive = 0
    if args.mode != 5:
        # Looks like the answer to a request sent 2 x PATH ago over a path
        # of PATH each way, so the offset the receiver works out is the
        # given one plus about half of (PATH - the real delivery time).
        # With --originate it answers that request, which it pretends to have
        # received PATH after it was sent, however long ago that was.
        originate = ntpwire.to_ntp(t - 2 * PUSH_PATH)
        receive = ntpwire.to_ntp(t - PUSH_PATH + args.offset)
        if args.originate is not None:
            originate = int(args.originate, 16)
            received = args.received
            if received is None:
                received = ntpwire.from_ntp(originate) + PUSH_PATH
            receive = ntpwire.to_ntp(received + args.offset)
    message = ntpwire.pack(
        leap=args.leap, version=args.version, mode=args.mode,
        stratum=args.stratum, refid=args.refid.encode("ascii"),
        originate=originate, receive=receive,
        transmit=0 if args.zero_tx else ntpwire.to_ntp(t + args.offset))
    if args.zero_tx:
        # Only the seconds word is zero; a fraction must not rescue it.
        message = message[:44] + b"\x80\x00\x00\x00"
    message = (message + bytes(max(0, args.length - 48)))[:args.length]
    dest = args.to_broadcast or args.to
    sock.sendto(message, (dest, args.to_port or args.port))
    say("pushed to=%s mode=%d len=%d offset=%+.3f" % (dest, args.mode,
                                                      len(message), args.offset))


def ask(args):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.settimeout(3.0)
    sent = ntpwire.to_ntp(ntpwire.now())
    sock.sendto(ntpwire.pack(leap=0, version=args.version, mode=3, stratum=0, poll=0,
                             precision=0, refid=bytes(4), transmit=sent),
                (args.to, args.port))
    try:
        data, _ = sock.recvfrom(2048)
    except socket.timeout:
        return 1
    lvm, stratum, poll, precision, rdelay, rdisp = ntpwire.HEADER.unpack(
        (data + bytes(48))[:48])[:6]
    f = ntpwire.unpack(data)
    say("leap=%d version=%d mode=%d stratum=%d poll=%d precision=%d rootdelay=%d "
        "rootdisp=%d refid=%s reference=%016x originate=%016x receive=%016x "
        "transmit=%016x sent=%016x"
        % (f["leap"], f["version"], f["mode"], stratum, poll, precision, rdelay, rdisp,
           socket.inet_ntoa(f["refid"]), f["reference"], f["originate"], f["receive"],
           f["transmit"], sent))
    return 0


def common(p):
    p.add_argument("--port", type=int, default=NTP_PORT)
    p.add_argument("--offset", type=float, default=0.0)
    p.add_argument("--leap", type=int, default=0)
    p.add_argument("--stratum", type=int, default=2)
    p.add_argument("--zero-tx", action="store_true")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="cmd", required=True)
    s = sub.add_parser("serve")
    common(s)
    s.add_argument("--bind", required=True)
    s.add_argument("--offsets", help="comma-separated offsets, one per reply in turn")
    s.add_argument("--reply-from")
    s.add_argument("--req-delay", type=float, default=0.0)
    s.add_argument("--reply-delay", type=float, default=0.0)
    s.add_argument("--silent", action="store_true", help="log, never answer")
    s.add_argument("--skip", type=int, default=0, help="leave the first N requests unanswered")
    s.add_argument("--answer", type=int, default=1 << 30, help="answer at most N requests")
    s.add_argument("--drop-version", type=int, default=-1, help="ignore requests of this version")
    s.add_argument("--kiss", metavar="CODE", help="answer with this kiss code")
    s.add_argument("--duration", type=float, default=600.0)
    p = sub.add_parser("push")
    common(p)
    p.add_argument("--from", dest="source", required=True)
    p.add_argument("--to", required=True)
    p.add_argument("--mode", type=int, default=4)
    p.add_argument("--version", type=int, default=3)
    p.add_argument("--broadcast", action="store_true")
    p.add_argument("--to-broadcast", metavar="ADDR",
                   help="send to this broadcast address instead of --to")
    p.add_argument("--any-port", action="store_true",
                   help="send from an ephemeral port instead of 123")
    p.add_argument("--to-port", type=int, default=0,
                   help="send to this port instead of --port: a request's own")
    p.add_argument("--length", type=int, default=48)
    p.add_argument("--originate", metavar="HEX",
                   help="the originate time, raw 64 bits in hex: a request's tx")
    p.add_argument("--received", type=float, metavar="T",
                   help="with --originate: when that request arrived (its t=, Unix seconds)")
    p.add_argument("--refid", default="SCRP", help="reference id, four characters (a kiss code)")
    a = sub.add_parser("ask")
    a.add_argument("--to", required=True)
    a.add_argument("--port", type=int, default=NTP_PORT)
    a.add_argument("--version", type=int, default=4)
    args = parser.parse_args()
    if args.cmd == "ask":
        return ask(args)
    try:
        serve(args) if args.cmd == "serve" else push(args)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
