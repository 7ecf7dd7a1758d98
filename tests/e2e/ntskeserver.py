#!/usr/bin/env python3
"""A scripted NTS-KE server for the tests: TLS 1.3 with ALPN "ntske/1" on
ADDRESS:PORT with CERT and KEY; to each connection it reads the request up
to End of Message and answers the records of one case, then closes.
Cases: error (an Error record), warning, critical (an unknown critical
record), nocookie (no New Cookie record), noalpn (TLS without ALPN).
Serves at most COUNT connections (default 20), each within 10 s.
Usage: ntskeserver.py ADDRESS PORT CERT KEY CASE [COUNT]
"""
import socket
import ssl
import struct
import sys


def record(rtype, body=b"", critical=True):
    return struct.pack(">HH", (0x8000 if critical else 0) | rtype, len(body)) + body


def response(case):
    proto = record(1, b"\0\0")
    aead = record(4, b"\0\x0f")
    cookie = record(5, bytes(range(100)), critical=False)
    end = record(0)
    if case == "error":
        return record(2, b"\0\x01") + end
    if case == "warning":
        return proto + aead + record(3, b"\0\x07") + cookie + end
    if case == "critical":
        return proto + aead + record(0x1234) + cookie + end
    if case == "nocookie":
        return proto + aead + end
    raise SystemExit(f"unknown case {case}")


def read_request(conn):
    data = b""
    while len(data) < 4096:
        chunk = conn.recv(4096)
        if not chunk:
            break
        data += chunk
        at = 0
        while at + 4 <= len(data):
            rtype, length = struct.unpack(">HH", data[at:at + 4])
            if rtype & 0x7FFF == 0 and at + 4 + length <= len(data):
                return data
            at += 4 + length
    return data


def main():
    address, port, cert, key, case = sys.argv[1:6]
    count = int(sys.argv[6]) if len(sys.argv) > 6 else 20
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_3
    ctx.load_cert_chain(cert, key)
    if case != "noalpn":
        ctx.set_alpn_protocols(["ntske/1"])
    with socket.create_server((address, int(port))) as server:
        print(f"listening on {address}:{port} case {case}", flush=True)
        for _ in range(count):
            conn, peer = server.accept()
            conn.settimeout(10)
            try:
                with ctx.wrap_socket(conn, server_side=True) as tls:
                    request = read_request(tls)
                    print(f"request from {peer[0]}: {request.hex()}", flush=True)
                    if case != "noalpn":
                        tls.sendall(response(case))
            except (OSError, ssl.SSLError) as e:
                print(f"connection from {peer[0]}: {e}", flush=True)


if __name__ == "__main__":
    main()
