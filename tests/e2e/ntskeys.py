#!/usr/bin/env python3
"""The NTS keys of a key exchange, worked out from the server's TLS key log
alone, and a check that captured NTP packets authenticate under them: each
client request under the client-to-server key, each server reply under the
server-to-client key, and neither under the other key.

The keys are the TLS 1.3 exporter (RFC 8446 7.5) of the session's
EXPORTER_SECRET, label "EXPORTER-network-time-security", context
protocol 0 (NTPv4), AEAD 15 (AES-SIV-CMAC-256), then 0 (C2S) or 1 (S2C).
AES-SIV (RFC 5297) is written here over AES-128 blocks from the system's
libcrypto, and checked first against the RFC's example.

Usage: ntskeys.py KEYLOG CAPTURE
KEYLOG: NSS key log lines "LABEL CLIENT_RANDOM SECRET" (hex).
CAPTURE: lines "request HEX" and "reply HEX", UDP payloads in wire order.
"""
import ctypes
import hashlib
import hmac
import struct
import sys

LABEL = b"EXPORTER-network-time-security"
AUTHENTICATOR = 0x0404


class Aes128:
    """One AES-128 block at a time, from libcrypto's ECB mode."""

    lib = ctypes.CDLL("libcrypto.so.3")
    lib.EVP_CIPHER_CTX_new.restype = ctypes.c_void_p
    lib.EVP_aes_128_ecb.restype = ctypes.c_void_p
    lib.EVP_EncryptInit_ex.argtypes = [ctypes.c_void_p] * 5
    lib.EVP_EncryptUpdate.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p,
                                      ctypes.c_char_p, ctypes.c_int]
    lib.EVP_CIPHER_CTX_set_padding.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.EVP_CIPHER_CTX_free.argtypes = [ctypes.c_void_p]

    def __init__(self, key):
        self.ctx = self.lib.EVP_CIPHER_CTX_new()
        if not self.lib.EVP_EncryptInit_ex(self.ctx, self.lib.EVP_aes_128_ecb(), None, key, None):
            raise RuntimeError("libcrypto: no AES-128")
        self.lib.EVP_CIPHER_CTX_set_padding(self.ctx, 0)

    def __del__(self):
        self.lib.EVP_CIPHER_CTX_free(self.ctx)

    def block(self, data):
        out = ctypes.create_string_buffer(32)
        size = ctypes.c_int()
        self.lib.EVP_EncryptUpdate(self.ctx, out, ctypes.byref(size), data, 16)
        return out.raw[:16]


def xor(a, b):
    return bytes(x ^ y for x, y in zip(a, b))


def dbl(block):
    """Doubling in GF(2^128) (RFC 5297 2.3)."""
    n = int.from_bytes(block, "big") << 1
    if n >> 128:
        n ^= 0x87
    return (n & ((1 << 128) - 1)).to_bytes(16, "big")


def cmac(aes, msg):
    """AES-CMAC (RFC 4493)."""
    k1 = dbl(aes.block(bytes(16)))
    k2 = dbl(k1)
    if msg and len(msg) % 16 == 0:
        last = xor(msg[-16:], k1)
        head = msg[:-16]
    else:
        tail = len(msg) % 16
        head = msg[:len(msg) - tail]
        last = xor(msg[len(msg) - tail:] + b"\x80" + bytes(15 - tail), k2)
    x = bytes(16)
    for at in range(0, len(head), 16):
        x = aes.block(xor(x, head[at:at + 16]))
    return aes.block(xor(x, last))


def siv_open(key, ads, sealed):
    """Plaintext of sealed (tag first) under the 32-byte key, or None when
    the tag does not match the ad strings."""
    mac, ctr = Aes128(key[:16]), Aes128(key[16:])
    tag, body = sealed[:16], sealed[16:]
    counter = int.from_bytes(tag, "big") & ~((1 << 63) | (1 << 31))
    plain = b""
    for at in range(0, len(body), 16):
        pad = ctr.block(((counter + at // 16) % (1 << 128)).to_bytes(16, "big"))
        plain += xor(body[at:at + 16], pad)
    d = cmac(mac, bytes(16))
    for ad in ads:
        d = xor(dbl(d), cmac(mac, ad))
    if len(plain) >= 16:
        t = plain[:-16] + xor(plain[-16:], d)
    else:
        t = xor(dbl(d), plain + b"\x80" + bytes(15 - len(plain)))
    return plain if hmac.compare_digest(cmac(mac, t), tag) else None


def expand_label(hash_name, secret, label, context, size):
    """HKDF-Expand-Label (RFC 8446 7.1)."""
    info = struct.pack(">H", size) + bytes([6 + len(label)]) + b"tls13 " + label
    info += bytes([len(context)]) + context
    out, block, i = b"", b"", 1
    while len(out) < size:
        block = hmac.new(secret, block + info + bytes([i]), hash_name).digest()
        out, i = out + block, i + 1
    return out[:size]


def exporter(secret, label, context, size):
    """TLS 1.3 exporter; the hash is the cipher suite's, known from the
    secret's length (32: SHA-256, 48: SHA-384)."""
    name = {32: "sha256", 48: "sha384"}[len(secret)]
    empty = hashlib.new(name, b"").digest()
    derived = expand_label(name, secret, label, empty, len(secret))
    return expand_label(name, derived, b"exporter", hashlib.new(name, context).digest(), size)


def authenticator(packet):
    """(associated data, nonce, sealed) of an NTS packet, or None."""
    at = 48
    while at + 4 <= len(packet):
        kind, length = struct.unpack(">HH", packet[at:at + 4])
        if length < 16 or at + length > len(packet):
            return None
        if kind == AUTHENTICATOR:
            nonce_size, sealed_size = struct.unpack(">HH", packet[at + 4:at + 8])
            nonce = packet[at + 8:at + 8 + nonce_size]
            start = at + 8 + (nonce_size + 3) // 4 * 4
            return packet[:at], nonce, packet[start:start + sealed_size]
        at += length
    return None


def self_check():
    """RFC 5297 A.1, and the same with one byte of the ad changed."""
    key = bytes.fromhex("fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff")
    ad = bytes.fromhex("101112131415161718191a1b1c1d1e1f2021222324252627")
    sealed = bytes.fromhex("85632d07c6e8f37f950acd320a2ecc9340c02b9690c4dc04daef7f6afe5c")
    good = siv_open(key, [ad], sealed) == bytes.fromhex("112233445566778899aabbccddee")
    return good and siv_open(key, [ad[:-1] + b"\x00"], sealed) is None


def main():
    keylog, capture = sys.argv[1], sys.argv[2]
    if not self_check():
        sys.exit("AES-SIV here does not give RFC 5297's example")
    secrets, labels = {}, set()
    with open(keylog) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 3:
                labels.add(parts[0])
                if parts[0] == "EXPORTER_SECRET":
                    secrets[parts[1]] = bytes.fromhex(parts[2])
    print("key log labels:", " ".join(sorted(labels)))
    if len(secrets) != 1:
        sys.exit(f"{len(secrets)} sessions with an EXPORTER_SECRET in the key log, not one")
    secret = next(iter(secrets.values()))
    keys = {kind: exporter(secret, LABEL, bytes([0, 0, 0, 15, i]), 32)
            for i, kind in enumerate(("request", "reply"))}
    print(f"exporter secret {len(secret)} bytes; c2s {keys['request'].hex()}; s2c {keys['reply'].hex()}")
    counts = {"request": 0, "reply": 0}
    with open(capture) as f:
        for line in f:
            parts = line.split()
            if len(parts) != 2 or parts[0] not in counts:
                continue
            kind = parts[0]
            found = authenticator(bytes.fromhex(parts[1]))
            if found is None:
                continue
            ad, nonce, sealed = found
            other = keys["reply" if kind == "request" else "request"]
            own = siv_open(keys[kind], [ad, nonce], sealed) is not None
            crossed = siv_open(other, [ad, nonce], sealed) is not None
            counts[kind] += 1
            print(f"{kind} {counts[kind]}: {len(ad)} bytes authenticated, {len(sealed)} sealed: "
                  f"{'verifies' if own else 'does NOT verify'} under its key, "
                  f"{'verifies' if crossed else 'not'} under the other")
            if not own or crossed:
                sys.exit(1)
    if counts["request"] == 0 or counts["reply"] == 0:
        sys.exit(f"captured {counts['request']} NTS requests and {counts['reply']} replies")
    print("PASS")


if __name__ == "__main__":
    main()
