// The 48-byte SNTP message: building requests and answers, reading replies.
//
//    0                   1                   2                   3
//    0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |LI | VN  |Mode |    Stratum    |     Poll      |   Precision   |  0
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |                          Root Delay                           |  4
//   |                       Root Dispersion                         |  8
//   |                     Reference Identifier                      | 12
//   |                   Reference Timestamp (64)                    | 16
//   |                   Originate Timestamp (64)   T1               | 24
//   |                    Receive Timestamp (64)    T2               | 32
//   |                    Transmit Timestamp (64)   T3               | 40
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
// Multi-byte fields are big-endian on the wire.
#pragma once

#include <cstddef>
#include <cstdint>

#include "service/ntptime.h"

inline constexpr size_t kNtpPacketSize = 48;      // bytes sent
inline constexpr size_t kDatagramBufferSize = 60; // bytes received at most

// A big-endian 32-bit word of the wire at p.
uint32_t ReadWord(const uint8_t* p);
void WriteWord(uint8_t* p, uint32_t value);

// A datagram buffer: zero-filled, so a short datagram reads as if padded
// with zeros to 48 bytes.
struct NtpPacket {
    uint8_t bytes[kDatagramBufferSize];
};

// Byte 0 of a request: leap 0, version 1, mode 3 (client).
inline constexpr uint8_t kRequestHeader = 0x0B;

// Fills packet with a version-1 client request whose transmit time is
// transmit; every other byte 0.
void BuildRequest(NtpPacket* packet, NtpTime transmit);

enum class DatagramKind {
    ClientRequest,  // mode 3: answered as a server
    Broadcast,      // mode 5: counted, then checked like a reply
    Reply,          // any other mode: checked like a reply
};
DatagramKind ClassifyDatagram(const NtpPacket& packet);

// The verdict on a message, with the reason the exchange log prints
// (VerdictText): the acceptance tests in their order, then the floor, then
// the match to our request (JudgeReply, reqmatch.h), then the delay
// (JudgeDelay, reqmatch.h); a refused datagram
// shorter than a message is too short; a client's request is answered.
enum class Verdict {
    Accepted,        // "accepted"
    Unsynchronised,  // "leap 3": leap indicator 3 and acceptUnsynced off
    StratumZero,     // "stratum 0"
    NoTransmitTime,  // "zero transmit": transmit seconds word 0
    WrongSource,     // "wrong source": sender differs from server, acceptAnySource off
    TooShort,        // "too short": fewer than 48 bytes, and refused
    BeforeFloor,     // "before the floor": transmit time before the source's date (timefloor.h)
    Broadcast,       // "broadcast": a broadcast, not trusted without -b (reqmatch.h)
    NoRequest,       // "no request": none in flight (a copy, a replay, an unasked reply)
    Unmatched,       // "unmatched": not the answer to the request in flight
    Kiss,            // "kiss CODE": a stratum-0 answer to the request in flight (kisscode.h)
    Delay,           // "delay": too long a round trip, or waited in our queue (reqmatch.h)
    Nts,             // "nts": refused by NTS (a key exchange or a reply); the reason is the action
    ClientRequest,   // "client request": a client asked; answered
};
const char* VerdictText(Verdict verdict);

// The acceptance tests alone; the first that fails decides: Accepted,
// Unsynchronised, StratumZero, NoTransmitTime or WrongSource. Addresses are
// IPv4 addresses in network order, as held.
Verdict CheckReply(const NtpPacket& packet, uint32_t senderAddr, uint32_t serverAddr,
                   bool acceptUnsynced, bool acceptAnySource);

// T1 (originate), T2 (receive), T3 (transmit) of a reply, in host order.
struct ReplyTimes {
    NtpTime originate;
    NtpTime receive;
    NtpTime transmit;
};
ReplyTimes ReadReplyTimes(const NtpPacket& packet);

// Turns a client request into the answer in place: leap 0, the request's
// version, mode 4, stratum 15, poll 6, precision -7, reference id =
// serverAddr as held (0 when none), originate = the request's transmit time,
// reference = receive = transmit = now. Root delay and dispersion are kept.
void BuildAnswer(NtpPacket* packet, NtpTime now, uint32_t serverAddr);
