"""NTP message packing for the scripted peer, the flood and the load generator.

The 48-byte message (RFC 1769 layout, big-endian):

  0: LI(2) VN(3) Mode(3)   1: stratum   2: poll   3: precision
  4: root delay            8: root dispersion    12: reference id
 16: reference timestamp  24: originate timestamp
 32: receive timestamp    40: transmit timestamp

Timestamps are 32.32 fixed point seconds since 1900; here they travel as
floats of Unix time, or as the raw 64-bit value where exactness matters.
"""

import struct
import time

NTP_UNIX_DELTA = 2208988800  # seconds from 1900-01-01 to 1970-01-01
HEADER = struct.Struct("!BBbbII4sQQQQ")


def to_ntp(unix_seconds):
    """Unix time (float) to the raw 64-bit NTP timestamp; 0.0 gives 0."""
    if unix_seconds == 0:
        return 0
    whole = int(unix_seconds // 1)
    frac = int((unix_seconds - whole) * 4294967296) & 0xFFFFFFFF
    return (((whole + NTP_UNIX_DELTA) & 0xFFFFFFFF) << 32) | frac


def from_ntp(raw):
    """Raw 64-bit NTP timestamp to Unix time (era 0 only)."""
    return (raw >> 32) - NTP_UNIX_DELTA + (raw & 0xFFFFFFFF) / 4294967296


def pack(leap=0, version=4, mode=4, stratum=2, poll=6, precision=-20,
         refid=b"SCRP", reference=0, originate=0, receive=0, transmit=0):
    """A 48-byte message; timestamps are raw 64-bit values."""
    return HEADER.pack((leap << 6) | (version << 3) | mode, stratum, poll,
                       precision, 0, 0, refid, reference, originate, receive,
                       transmit)


def unpack(data):
    """Fields of a message, short data padded with zeros to 48 bytes."""
    data = (data + bytes(48))[:48]
    (lvm, stratum, poll, precision, rdelay, rdisp, refid, reference,
     originate, receive, transmit) = HEADER.unpack(data)
    return dict(leap=lvm >> 6, version=(lvm >> 3) & 7, mode=lvm & 7,
                stratum=stratum, poll=poll, precision=precision,
                refid=refid, reference=reference, originate=originate,
                receive=receive, transmit=transmit)


def stamp_text(raw):
    """A raw timestamp as "seconds.microseconds", the fraction cut, as the
    program's exchange log writes it."""
    return "%d.%06d" % (raw >> 32, ((raw & 0xFFFFFFFF) * 1000000) >> 32)


def now():
    return time.time()
