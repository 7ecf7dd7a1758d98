// The SNTP message: requests, the acceptance tests on replies, answers.
#include "service/ntppacket.h"

#include <cstring>

uint32_t ReadWord(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void WriteWord(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

namespace {

// Field offsets in the 48-byte message.
constexpr size_t kHeaderAt = 0;
constexpr size_t kStratumAt = 1;
constexpr size_t kPollAt = 2;
constexpr size_t kPrecisionAt = 3;
constexpr size_t kReferenceIdAt = 12;
constexpr size_t kReferenceAt = 16;
constexpr size_t kOriginateAt = 24;
constexpr size_t kReceiveAt = 32;
constexpr size_t kTransmitAt = 40;

constexpr uint8_t kModeMask = 0x07;
constexpr uint8_t kVersionMask = 0x38;
constexpr uint8_t kModeClient = 3;
constexpr uint8_t kModeServer = 4;
constexpr uint8_t kModeBroadcast = 5;
constexpr uint8_t kLeapUnsynchronised = 3;

// What the program says about itself when it answers a client.
constexpr uint8_t kAnswerStratum = 15;
constexpr uint8_t kAnswerPoll = 6;         // 2^6 s
constexpr uint8_t kAnswerPrecision = 0xF9; // -7: 2^-7 s

NtpTime ReadTimestamp(const uint8_t* p)
{
    return NtpTime{ReadWord(p), ReadWord(p + 4)};
}

void WriteTimestamp(uint8_t* p, NtpTime t)
{
    WriteWord(p, t.seconds);
    WriteWord(p + 4, t.fraction);
}

}  // namespace

void BuildRequest(NtpPacket* packet, NtpTime transmit)
{
    std::memset(packet->bytes, 0, sizeof packet->bytes);
    packet->bytes[kHeaderAt] = kRequestHeader;
    WriteTimestamp(packet->bytes + kTransmitAt, transmit);
}

DatagramKind ClassifyDatagram(const NtpPacket& packet)
{
    switch (packet.bytes[kHeaderAt] & kModeMask) {
    case kModeClient:
        return DatagramKind::ClientRequest;
    case kModeBroadcast:
        return DatagramKind::Broadcast;
    default:
        return DatagramKind::Reply;
    }
}

Verdict CheckReply(const NtpPacket& packet, uint32_t senderAddr, uint32_t serverAddr,
                   bool acceptUnsynced, bool acceptAnySource)
{
    if ((packet.bytes[kHeaderAt] >> 6) == kLeapUnsynchronised && !acceptUnsynced)
        return Verdict::Unsynchronised;
    if (packet.bytes[kStratumAt] == 0)
        return Verdict::StratumZero;
    // Only the seconds word: a transmit time of 0.x seconds is still "none".
    if (ReadWord(packet.bytes + kTransmitAt) == 0)
        return Verdict::NoTransmitTime;
    // The address alone: a server may answer from another port.
    if (senderAddr != serverAddr && !acceptAnySource)
        return Verdict::WrongSource;
    return Verdict::Accepted;
}

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Accepted: return "accepted";
    case Verdict::Unsynchronised: return "leap 3";
    case Verdict::StratumZero: return "stratum 0";
    case Verdict::NoTransmitTime: return "zero transmit";
    case Verdict::WrongSource: return "wrong source";
    case Verdict::TooShort: return "too short";
    case Verdict::BeforeFloor: return "before the floor";
    case Verdict::Broadcast: return "broadcast";
    case Verdict::NoRequest: return "no request";
    case Verdict::Unmatched: return "unmatched";
    case Verdict::Kiss: return "kiss";
    case Verdict::Delay: return "delay";
    case Verdict::Nts: return "nts";
    case Verdict::ClientRequest: return "client request";
    }
    return "";
}

ReplyTimes ReadReplyTimes(const NtpPacket& packet)
{
    return ReplyTimes{ReadTimestamp(packet.bytes + kOriginateAt),
                      ReadTimestamp(packet.bytes + kReceiveAt),
                      ReadTimestamp(packet.bytes + kTransmitAt)};
}

void BuildAnswer(NtpPacket* packet, NtpTime now, uint32_t serverAddr)
{
    uint8_t* b = packet->bytes;
    b[kHeaderAt] = static_cast<uint8_t>((b[kHeaderAt] & kVersionMask) | kModeServer);
    b[kStratumAt] = kAnswerStratum;
    b[kPollAt] = kAnswerPoll;
    b[kPrecisionAt] = kAnswerPrecision;
    // The address is already in network order: copy its bytes as they lie.
    std::memcpy(b + kReferenceIdAt, &serverAddr, sizeof serverAddr);
    // The client's transmit time comes back as our originate time; copy it
    // before the transmit field is overwritten.
    std::memmove(b + kOriginateAt, b + kTransmitAt, 8);
    WriteTimestamp(b + kReferenceAt, now);
    WriteTimestamp(b + kReceiveAt, now);
    WriteTimestamp(b + kTransmitAt, now);
}
