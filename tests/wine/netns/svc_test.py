#!/usr/bin/python3
"""The time service on real sockets under Wine, against a scripted peer.

Runs inside the peer's namespace (run-netns.sh sets both namespaces up); the
service (kestrin_svchost.exe) runs under Wine in the service's namespace and
logs its status line, boxes and counters. Every wait is bounded.
"""

import argparse
import os
import socket
import struct
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "e2e"))
import ntpwire  # noqa: E402  (the one packer of the 48-byte message)

ARGS = None
NAMES = None  # the peer's name server
SLOW_DNS_SECONDS = 1.5


# --- messages --------------------------------------------------------------

def local_now():
    """The instant the service sees: its zone is UTC+0 and the local clock is
    read as that, so its 'now' is local wall time taken as UTC."""
    t = time.time()
    return t + time.localtime(t).tm_gmtoff


def ntp_stamp(seconds):
    """The 8 bytes of a timestamp for Unix time `seconds` (a float)."""
    return struct.pack("!Q", ntpwire.to_ntp(seconds))


def message(mode=4, leap=0, version=3, stratum=2, orig=None, recv=None, xmit=None,
            xmit_bytes=None, length=48, orig_bytes=None):
    """A server message whose times make the offset `xmit - now` or 0;
    orig_bytes, a request's transmit field, makes it the reply to that
    request. A time of 0 leaves its field zero."""
    now = local_now()
    stamp = lambda t: ntpwire.to_ntp(now if t is None else t)
    body = ntpwire.pack(leap=leap, version=version, mode=mode, stratum=stratum,
                        refid=bytes(4), reference=ntpwire.to_ntp(now),
                        originate=stamp(orig), receive=stamp(recv), transmit=stamp(xmit))
    if orig_bytes is not None:
        body = body[:24] + orig_bytes + body[32:]
    if xmit_bytes is not None:
        body = body[:40] + xmit_bytes
    return (body + bytes(max(0, length - len(body))))[:length]


def udp(addr, port=0):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((addr, port))
    s.settimeout(0.2)
    return s


def receive_all(sock, seconds):
    """Every datagram that arrives within `seconds`."""
    got, end = [], time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            got.append(sock.recvfrom(2048))
        except socket.timeout:
            pass
    return got


def receive_n(sock, count, seconds):
    """The first `count` datagrams, or fewer if `seconds` pass first."""
    got, end = [], time.monotonic() + seconds
    while len(got) < count and time.monotonic() < end:
        try:
            got.append(sock.recvfrom(2048))
        except socket.timeout:
            pass
    return got


def receive_one(sock, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            return sock.recvfrom(2048)
        except socket.timeout:
            pass
    return None, None


# --- the peer's name server ------------------------------------------------

class NameServer(threading.Thread):
    """Answers A queries on port 53: slow.kestrin.test after a delay with
    127.0.0.3, everything else with 'no such name'."""

    def __init__(self, addr):
        super().__init__(daemon=True)
        self.sock = udp(addr, 53)
        self.stop = False
        self.asked = []
        self.answered = []

    def run(self):
        while not self.stop:
            try:
                query, sender = self.sock.recvfrom(512)
            except socket.timeout:
                continue
            threading.Thread(target=self.answer, args=(query, sender), daemon=True).start()

    def answer(self, query, sender):
        if len(query) < 12:
            return
        labels, i = [], 12
        while i < len(query) and query[i] != 0:
            labels.append(query[i + 1:i + 1 + query[i]].decode(errors="replace"))
            i += 1 + query[i]
        name = ".".join(labels).lower()
        question = query[12:i + 5]
        qtype = struct.unpack("!H", query[i + 1:i + 3])[0] if i + 3 <= len(query) else 0
        self.asked.append((name, qtype))
        if name == "slow.kestrin.test":
            time.sleep(SLOW_DNS_SECONDS)
            if qtype == 1:
                reply = query[:2] + b"\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00" + question
                reply += b"\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04" + bytes([127, 0, 0, 3])
            else:  # the name exists, but has no address of this type
                reply = query[:2] + b"\x81\x80\x00\x01\x00\x00\x00\x00\x00\x00" + question
        else:
            reply = query[:2] + b"\x81\x83\x00\x01\x00\x00\x00\x00\x00\x00" + question
        self.sock.sendto(reply, sender)
        self.answered.append((name, qtype))


# --- the service under Wine --------------------------------------------------

class Host:
    """kestrin_svchost.exe under Wine in the service's namespace."""

    def __init__(self, *args):
        # Wine's own diagnoses (a display it could not use, say) go to stderr.
        cmd = ["ip", "netns", "exec", ARGS.svc_ns, "env", "WINEPREFIX=" + ARGS.prefix,
               "WINEDEBUG=-all,err+winediag", "wine", ARGS.exe] + [str(a) for a in args]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True, errors="replace")
        self.lines = []
        self.errors = []  # Wine's and ip's own complaints, shown when the start fails
        for stream, into in ((self.proc.stdout, self.lines), (self.proc.stderr, self.errors)):
            threading.Thread(target=self._read, args=(stream, into), daemon=True).start()
        if not self.wait(lambda: self.find("READY") or self.proc.poll() is not None, 90) \
                or not self.find("READY"):
            self.stop()
            raise AssertionError("service did not start (exit %r): %r; stderr %r"
                                 % (self.proc.returncode, self.lines, self.errors[-10:]))

    @staticmethod
    def _read(stream, into):
        for line in stream:
            into.append(line.rstrip("\r\n"))

    def find(self, kind):
        return [l[len(kind) + 1:] for l in list(self.lines) if l.split(" ", 1)[0] == kind]

    def wait(self, predicate, seconds=10):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if predicate():
                return True
            time.sleep(0.05)
        return bool(predicate())

    def state(self):
        states = self.find("STATE")
        if not states:
            return {}
        return dict(kv.split("=", 1) for kv in states[-1].split())

    def wait_state(self, seconds=10, **want):
        ok = self.wait(lambda: all(self.state().get(k) == str(v) for k, v in want.items()),
                       seconds)
        assert ok, "state %r, wanted %r; log %r" % (self.state(), want, self.lines[-12:])

    def statuses(self):
        return self.find("STATUS")

    def boxes(self):
        return self.find("BOX")

    def ready(self):
        return dict(kv.split("=", 1) for kv in self.find("READY")[0].split())

    def exit_code(self, seconds=15):
        try:
            return self.proc.wait(seconds)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                pass


class ServiceCase(unittest.TestCase):
    """A peer socket on the server address at port 123, and helpers. The
    service answers clients and hears broadcasts at self.svc, port 123; its
    requests come from a port of their own, self.exchange (set by
    expect_request), where their replies go."""

    def setUp(self):
        self.hosts = []
        self.server = udp(ARGS.peer_addr, 123)
        self.svc = (ARGS.svc_addr, 123)
        self.exchange = None

    def tearDown(self):
        for h in self.hosts:
            h.stop()
        self.server.close()

    def start(self, *args):
        h = Host("-t", 60, *args)
        self.hosts.append(h)
        return h

    def hold(self, port):
        """A socket in the service's namespace that keeps the port busy."""
        code = ("import socket,time\ns=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                "s.bind(('0.0.0.0',%d))\nprint('held',flush=True)\ntime.sleep(60)\n" % port)
        p = subprocess.Popen(["ip", "netns", "exec", ARGS.svc_ns, "/usr/bin/python3", "-c", code],
                             stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (p.kill(), p.wait(10)))
        self.assertEqual(p.stdout.readline().strip(), "held")
        return p

    def expect_request(self, seconds=10):
        data, sender = receive_one(self.server, seconds)
        self.assertIsNotNone(data, "no request reached the server")
        self.assertEqual(len(data), 48)
        self.assertEqual(data[0], 0x0B)
        self.assertEqual(data[1:40], b"\0" * 39)
        self.exchange = sender
        return data, sender


# --- SetServer -------------------------------------------------------------

class SetServer(ServiceCase):
    def test_dotted_address_is_taken_and_asked_at_once(self):
        h = self.start(ARGS.peer_addr)
        data, sender = self.expect_request()
        self.assertEqual(sender[0], ARGS.svc_addr)
        self.assertGreaterEqual(sender[1], 49152)  # a dynamic port of its own, not 123
        h.wait_state(server=ARGS.peer_addr, sent=1)
        self.assertTrue(h.wait(lambda: any(s.startswith("NTP Request sent - ")
                                           for s in h.statuses())))
        self.assertEqual(h.statuses()[0], " ")

    def test_all_ones_address_is_refused(self):
        h = self.start("255.255.255.255")
        self.assertTrue(h.wait(lambda: h.boxes()))
        self.assertEqual(h.boxes(), ["Kestrin Error|Invalid dotted decimal address for Server"])
        h.wait_state(server="0.0.0.0", sent=0)
        self.assertEqual(receive_all(self.server, 0.5), [])

    def test_host_name_from_hosts_file(self):
        h = self.start("ntp.kestrin.test")
        self.expect_request()
        h.wait_state(server=ARGS.peer_addr, sent=1, lookup=0)
        st = h.statuses()
        self.assertEqual(st[:3], [" ", "DNS Lookup in progress...", "DNS Lookup complete..."])
        self.assertTrue(st[3].startswith("NTP Request sent - "))

    def test_names_that_are_not_quite_addresses_are_looked_up_and_fail(self):
        for name in ["10.0.0.1.2", "nosuch.kestrin.test"]:
            with self.subTest(name=name):
                h = self.start(name)
                self.assertTrue(h.wait(lambda: h.boxes(), 15), h.lines)
                self.assertEqual(h.boxes(), ["Kestrin Error|Lookup of server address failed"])
                self.assertEqual(h.statuses(), [" ", "DNS Lookup in progress...", " "])
                h.wait_state(server="0.0.0.0", lookup=0, sent=0)
                h.stop()
        self.assertEqual(receive_all(self.server, 0.3), [])

    def test_latest_host_name_wins_over_outstanding_lookup(self):
        h = self.start("-a", "300:server=ntp.kestrin.test", "slow.kestrin.test")
        self.expect_request(SLOW_DNS_SECONDS + 8)
        h.wait_state(server=ARGS.peer_addr, lookup=0, sent=1)
        self.assertFalse(any("server=127.0.0.3" in s for s in h.find("STATE")))
        self.assertEqual(h.statuses().count("DNS Lookup in progress..."), 2)
        self.assertEqual(h.boxes(), [])

    def test_dotted_address_set_during_lookup_is_kept(self):
        h = self.start("-a", "300:server=" + ARGS.peer_addr, "-a", "400:sendnow",
                       "slow.kestrin.test")
        self.expect_request(5)
        # The slow answer arrives after the address was set; it must change
        # nothing.
        self.assertTrue(h.wait(lambda: ("slow.kestrin.test", 1) in NAMES.answered,
                               SLOW_DNS_SECONDS + 15), NAMES.answered)
        h.wait_state(server=ARGS.peer_addr, lookup=0, sent=1)
        self.assertEqual(receive_all(self.server, 0.5), [])
        self.assertFalse(any("server=127.0.0.3" in s for s in h.find("STATE")))
        self.assertEqual(h.statuses().count("DNS Lookup in progress..."), 1)


# --- the poll tick -------------------------------------------------------------

class PollTick(ServiceCase):
    def test_short_interval_is_raised_and_requests_follow_the_tick(self):
        # 100 extra ticks a second: a 60-tick interval takes about 0.6 s.
        h = self.start("-p", 30, "-f", 10, ARGS.peer_addr)
        h.wait_state(base=60, interval=60)
        # SendNow (seen at the first fast tick), then one request per 60
        # ticks. The service's own one-second tick comes on top of the fast
        # ones, so a gap may take a few fast ticks fewer, never more; 30
        # would be the unraised value.
        self.assertTrue(h.wait(lambda: len(h.find("SENT")) >= 5, 60), h.find("SENT"))
        ticks = [int(line.split("fastticks=")[1]) for line in h.find("SENT")[:5]]
        gaps = [b - a for a, b in zip(ticks, ticks[1:])]
        self.assertTrue(all(50 <= g <= 60 for g in gaps), gaps)
        got = receive_n(self.server, 5, 30)
        self.assertEqual(len(got), 5, "SendNow and four timed requests reach the peer")

    def test_no_server_no_requests(self):
        h = self.start("-f", 10)
        h.wait(lambda: False, 1.5)
        h.wait_state(sent=0)

    def test_interval_doubles_on_good_replies_and_halves_on_bad(self):
        # Each reply answers a request of its own: 400 extra ticks a second
        # bring them, from 0.15 s apart to 2.4 s at 960 ticks.
        h = self.start("-f", 40, "-m", 100, ARGS.peer_addr)
        for n, want in enumerate([120, 240, 480, 960, 960]):
            data, _ = self.expect_request()
            self.server.sendto(message(orig_bytes=data[40:48]), self.exchange)
            h.wait_state(interval=want, received=n + 1)
        # 0.3 s off: Wine still lets the clock be "set", and 300 ms > 100 ms.
        for n, want in enumerate([480, 240]):
            data, _ = self.expect_request()
            self.server.sendto(message(xmit=local_now() + 0.3, recv=local_now() + 0.3,
                                       orig_bytes=data[40:48]), self.exchange)
            h.wait_state(interval=want, received=6 + n)
        self.assertTrue(h.statuses()[-1].startswith("Last set: "), h.statuses()[-1])


# --- replies -----------------------------------------------------------------

class Replies(ServiceCase):
    def reply_case(self, switches, send, rejected, status_prefix, broadcast=0, received=1):
        """send(orig) sends the case's message; orig is the transmit field
        of the request the service sent, which a reply carries back."""
        h = self.start(*switches, ARGS.peer_addr)
        data, _ = self.expect_request()
        send(data[40:48])
        h.wait_state(received=received, rejected=rejected, broadcast=broadcast)
        if status_prefix is None:
            h.wait(lambda: False, 0.5)
            self.assertEqual(h.statuses()[0], " ")
            self.assertEqual(len(h.statuses()), 2)
            self.assertTrue(h.statuses()[1].startswith("NTP Request sent - "), h.statuses())
        else:
            self.assertTrue(h.wait(lambda: h.statuses()[-1].startswith(status_prefix)),
                            h.statuses())
        h.stop()
        return h

    def test_acceptance_tests_and_their_counters(self):
        other = udp(ARGS.other_addr, 0)
        port = udp(ARGS.peer_addr, 40123)  # replies need not come from 123
        srv = lambda m: self.server.sendto(m, self.exchange)
        cases = [
            ("good", [], lambda o: port.sendto(message(orig_bytes=o), self.exchange), 0,
             "Last set: "),
            # Right in every field, but at the NTP port: whoever sent it did
            # not see the request, which went from another port.
            ("good, at port 123", [], lambda o: self.server.sendto(message(orig_bytes=o), self.svc),
             1, "NTP Reply rejected"),
            ("good, at port 123, -b", ["-b"],
             lambda o: self.server.sendto(message(orig_bytes=o), self.svc), 1,
             "NTP Reply rejected"),
            ("leap 3", [], lambda o: srv(message(leap=3, orig_bytes=o)), 1,
             "NTP Reply rejected"),
            ("leap 3 unsynced", ["-u"], lambda o: srv(message(leap=3, orig_bytes=o)),
             0, "Last set: "),
            ("leap 2", [], lambda o: srv(message(leap=2, orig_bytes=o)), 0,
             "Last set: "),
            ("stratum 0", [], lambda o: srv(message(stratum=0, orig_bytes=o)), 1,
             "NTP Reply rejected"),
            ("no transmit seconds", [],
             lambda o: srv(message(xmit_bytes=b"\0\0\0\0\xff\xff\xff\xff", orig_bytes=o)),
             1, "NTP Reply rejected"),
            ("stranger", [], lambda o: other.sendto(message(orig_bytes=o), self.exchange), 1,
             "NTP Reply rejected"),
            ("stranger any source", ["-b"],
             lambda o: other.sendto(message(orig_bytes=o), self.exchange), 0, "Last set: "),
            ("20 bytes", [], lambda o: srv(message(orig_bytes=o)[:20]), 1,
             "NTP Reply rejected"),
            ("60 bytes", [], lambda o: srv(message(length=60, orig_bytes=o)), 0,
             "Last set: "),
            ("61 bytes dropped", [], lambda o: srv(message(length=61, orig_bytes=o)),
             0, None),
            ("empty datagram still counted", [], lambda o: srv(b""), 0,
             None),
            ("not the request's time", [], lambda o: srv(
                message(orig_bytes=o[:7] + bytes([o[7] ^ 1]))), 1,
             "NTP Reply rejected"),
            ("6 s off", [], lambda o: srv(
                message(recv=local_now() + 6, xmit=local_now() + 6, orig_bytes=o)), 0,
             "Set Time error 1314"),
            ("2 h off", [], lambda o: srv(
                message(recv=local_now() + 7200.4, xmit=local_now() + 7200.4, orig_bytes=o)), 0,
             "Clock NOT Set:   Delta = +7200 seconds (Check TZ)"),
            ("2 h back, no limit", ["-i"], lambda o: srv(
                message(recv=local_now() - 7200, xmit=local_now() - 7200, orig_bytes=o)), 0,
             "Set Time error 1314"),
        ]
        try:
            for name, switches, send, rejected, status in cases:
                with self.subTest(case=name):
                    self.reply_case(switches, send, rejected, status)
        finally:
            other.close()
            port.close()

    def test_broadcasts_are_counted_and_adjust_only_with_any_source(self):
        # A broadcast answers no request: anyone could have sent it, so
        # only -b, which trusts every sender, lets it adjust the clock.
        other = udp(ARGS.other_addr, 0)
        bcast = lambda: message(mode=5, orig=0, recv=0)
        try:
            self.reply_case([], lambda o: self.server.sendto(bcast(), self.svc), 1,
                            "NTP Reply rejected", broadcast=1)
            self.reply_case([], lambda o: other.sendto(bcast(), self.svc), 1,
                            "NTP Reply rejected", broadcast=1)
            self.reply_case(["-b"], lambda o: other.sendto(bcast(), self.svc), 0, "Last set: ",
                            broadcast=1)
        finally:
            other.close()

    def test_close_after_set_even_when_not_set(self):
        h = self.start("-s", ARGS.peer_addr)
        data, _ = self.expect_request()
        self.server.sendto(message(recv=local_now() + 7200.4, xmit=local_now() + 7200.4,
                                   orig_bytes=data[40:48]), self.exchange)
        self.assertEqual(h.exit_code(), 0)
        self.assertIn("", h.find("CLOSE"))
        self.assertTrue(h.statuses()[-1].startswith("Clock NOT Set:"))


# --- answering clients --------------------------------------------------------

class Answers(ServiceCase):
    def ask(self, client, version, leap=0):
        request = bytearray(48)
        request[0] = (leap << 6) | (version << 3) | 3
        request[1:12] = bytes(range(0x51, 0x5C))      # stratum .. root dispersion: any
        request[16:40] = bytes(range(0x61, 0x79))     # reference, originate, receive: any
        request[40:48] = ntp_stamp(local_now() - 1000)  # the client's transmit time
        client.sendto(bytes(request), self.svc)
        answer, sender = receive_one(client, 5)
        self.assertIsNotNone(answer, "no answer")
        self.assertEqual(sender, self.svc)
        return bytes(request), answer

    def check_answer(self, request, answer, version, refid):
        self.assertEqual(len(answer), 48)
        self.assertEqual(answer[0], (version << 3) | 4)
        self.assertEqual(answer[1:4], bytes([15, 6, 0xF9]))
        self.assertEqual(answer[4:12], request[4:12])     # root delay, dispersion kept
        self.assertEqual(answer[12:16], socket.inet_aton(refid))
        self.assertEqual(answer[24:32], request[40:48])   # originate = their transmit
        self.assertEqual(answer[16:24], answer[40:48])
        self.assertEqual(answer[32:40], answer[40:48])
        seconds = ntpwire.from_ntp(ntpwire.unpack(answer)["transmit"])
        self.assertLess(abs(seconds - local_now()), 3)

    def test_answer_goes_to_the_requesters_port(self):
        h = self.start("-n", ARGS.peer_addr)
        client = udp(ARGS.other_addr, 40000)
        try:
            request, answer = self.ask(client, 3, leap=3)
            self.check_answer(request, answer, 3, ARGS.peer_addr)
            h.wait_state(received=1, sent=1, rejected=0)
            self.assertEqual(h.statuses(), [" "])
        finally:
            client.close()

    def test_client_on_port_123_gets_its_answer_there(self):
        h = self.start("-n")  # no server known: reference id 0
        client = udp(ARGS.other_addr, 123)
        try:
            request, answer = self.ask(client, 1)
            self.check_answer(request, answer, 1, "0.0.0.0")
            h.wait_state(received=1, sent=1)
        finally:
            client.close()

    def test_answers_go_while_the_engine_is_busy_and_stop_at_the_hand_over(self):
        # The port has a thread of its own: clients are answered while the
        # engine's thread sleeps, and the engine's end frees the port.
        h = self.start("-n", "-a", "500:busy=8000", "-a", "9000:release", ARGS.peer_addr)
        self.assertTrue(h.wait(lambda: "busy=8000" in h.find("ACTION")), h.lines[-5:])
        client = udp(ARGS.other_addr, 0)
        try:
            for _ in range(3):
                request, answer = self.ask(client, 4)
                self.check_answer(request, answer, 4, ARGS.peer_addr)
            self.assertEqual(h.find("DONE"), [], "answered only after the engine woke")
            h.wait_state(received=3, sent=3, rejected=0)
            self.assertTrue(h.wait(lambda: "release" in h.find("DONE"), 20), h.lines[-5:])
            client.sendto(bytes(self.ask_bytes()), self.svc)
            self.assertIsNone(receive_one(client, 2)[0], "answered after the hand-over")
        finally:
            client.close()
        self.hold(123)  # the port is free
        self.assertIsNone(h.proc.poll())

    @staticmethod
    def ask_bytes():
        request = bytearray(48)
        request[0] = (4 << 3) | 3
        request[40:48] = ntp_stamp(local_now())
        return request


# --- start-up failures ------------------------------------------------------

class StartUp(ServiceCase):
    def test_busy_port_is_tried_again_at_each_poll(self):
        # Another program on port 123: one box, requests still go from
        # their own port and are answered, every status says the port is
        # busy, and each poll (100 extra ticks a second: one every 0.6 s)
        # tries the port until it is free, when clients are answered there.
        holder = self.hold(123)
        h = self.start("-f", 10, ARGS.peer_addr)
        self.assertEqual(h.boxes()[:1], ["Kestrin Socket Error|Can't bind socket - 10048"])
        self.assertEqual(h.ready(), {"port": "123", "bound": "0"})
        data, sender = self.expect_request()
        self.assertEqual(sender[0], ARGS.svc_addr)
        self.assertNotEqual(sender[1], 123)
        self.server.sendto(message(orig_bytes=data[40:48]), sender)
        self.assertTrue(h.wait(lambda: any(s.startswith("Last set: ") for s in h.statuses())),
                        h.statuses())
        self.assertTrue(all(s.endswith(" - port 123 busy") for s in h.statuses()[1:]),
                        h.statuses())
        holder.kill()
        holder.wait(10)
        h.wait_state(bound=1)
        self.assertEqual(len(h.boxes()), 1, h.boxes())
        client = udp(ARGS.other_addr, 0)
        try:
            request = bytearray(48)
            request[0] = (4 << 3) | 3
            request[40:48] = ntp_stamp(local_now())
            client.sendto(bytes(request), self.svc)
            answer, answerer = receive_one(client, 5)
            self.assertIsNotNone(answer, "no answer on port 123 once it was free")
            self.assertEqual(answerer, self.svc)
        finally:
            client.close()
        self.assertIsNone(h.proc.poll())


def main():
    global ARGS, NAMES
    parser = argparse.ArgumentParser()
    for opt in ["svc-ns", "svc-addr", "peer-addr", "other-addr", "prefix", "exe"]:
        parser.add_argument("--" + opt, required=True)
    ARGS, rest = parser.parse_known_args()
    NAMES = NameServer(ARGS.peer_addr)
    NAMES.start()
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
