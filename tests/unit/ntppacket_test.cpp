// The SNTP message: request and answer bytes, acceptance tests, reading replies.
#include "service/ntppacket.h"

#include <cstring>

#include <gtest/gtest.h>

#include "service/reqmatch.h"

namespace {

// Addresses as held: network order, i.e. the bytes as they lie in memory.
uint32_t Addr(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t addr;
    std::memcpy(&addr, bytes, sizeof addr);
    return addr;
}

const uint32_t kServer = Addr(127, 0, 0, 1);
const uint32_t kOther = Addr(127, 0, 0, 2);

NtpPacket Zeroed()
{
    NtpPacket p;
    std::memset(p.bytes, 0, sizeof p.bytes);
    return p;
}

// A reply that passes every test when it comes from kServer.
NtpPacket GoodReply()
{
    NtpPacket p = Zeroed();
    p.bytes[0] = 0x1C;  // leap 0, version 3, mode 4
    p.bytes[1] = 2;
    const uint8_t times[24] = {0xBC, 0x1B, 0x5F, 0x00, 0x40, 0x00, 0x00, 0x00,   // T1
                               0xBC, 0x1B, 0x5F, 0x02, 0x80, 0x00, 0x00, 0x01,   // T2
                               0xBC, 0x1B, 0x5F, 0x03, 0xFD, 0x70, 0xA6, 0x90};  // T3
    std::memcpy(p.bytes + 24, times, sizeof times);
    return p;
}

TEST(NtpPacket, RequestHoldsOnlyHeaderAndTransmitTime)
{
    NtpPacket p;
    std::memset(p.bytes, 0xAA, sizeof p.bytes);  // stale contents must not leak
    BuildRequest(&p, NtpTime{0x83AA7E80u, 0xFD70A690u});
    uint8_t expected[kDatagramBufferSize] = {};
    expected[0] = 0x0B;
    const uint8_t transmit[8] = {0x83, 0xAA, 0x7E, 0x80, 0xFD, 0x70, 0xA6, 0x90};
    std::memcpy(expected + 40, transmit, sizeof transmit);
    for (size_t i = 0; i < kDatagramBufferSize; ++i)
        EXPECT_EQ(expected[i], p.bytes[i]) << "byte " << i;
}

TEST(NtpPacket, ClassifiesByModeOnly)
{
    const struct {
        uint8_t header;
        DatagramKind kind;
    } cases[] = {
        {0x0B, DatagramKind::ClientRequest},
        {0xE3, DatagramKind::ClientRequest},  // leap 3, version 4: still a request
        {0x25, DatagramKind::Broadcast},      {0x00, DatagramKind::Reply},
        {0x1C, DatagramKind::Reply},          {0x1E, DatagramKind::Reply},
    };
    for (const auto& c : cases) {
        NtpPacket p = GoodReply();
        p.bytes[0] = c.header;
        EXPECT_EQ(c.kind, ClassifyDatagram(p)) << std::hex << int{c.header};
    }
}

TEST(NtpPacket, AcceptanceTestsInOrder)
{
    struct Case {
        const char* what;
        uint8_t header;
        uint8_t stratum;
        uint32_t transmitSeconds;
        uint32_t transmitFraction;
        uint32_t sender;
        bool acceptUnsynced;
        bool acceptAnySource;
        Verdict verdict;
    };
    const Case cases[] = {
        {"good", 0x1C, 2, 1, 0, kServer, false, false, Verdict::Accepted},
        {"leap 1", 0x5C, 2, 1, 0, kServer, false, false, Verdict::Accepted},
        {"leap 2", 0x9C, 2, 1, 0, kServer, false, false, Verdict::Accepted},
        {"leap 3", 0xDC, 2, 1, 0, kServer, false, false, Verdict::Unsynchronised},
        {"leap 3 byte C0", 0xC0, 2, 1, 0, kServer, false, false, Verdict::Unsynchronised},
        {"leap 3 allowed", 0xDC, 2, 1, 0, kServer, true, false, Verdict::Accepted},
        {"stratum 0", 0x1C, 0, 1, 0, kServer, false, false, Verdict::StratumZero},
        {"stratum 255", 0x1C, 255, 1, 0, kServer, false, false, Verdict::Accepted},
        {"no transmit", 0x1C, 2, 0, 0, kServer, false, false, Verdict::NoTransmitTime},
        {"fraction only", 0x1C, 2, 0, 0xFFFFFFFFu, kServer, false, false,
         Verdict::NoTransmitTime},
        // Only the address is compared: the server's address from any port passes.
        {"wrong source", 0x1C, 2, 1, 0, kOther, false, false, Verdict::WrongSource},
        {"any source", 0x1C, 2, 1, 0, kOther, false, true, Verdict::Accepted},
        {"broadcast", 0x1D, 2, 1, 0, kOther, false, true, Verdict::Accepted},
        // The first failing test decides.
        {"leap 3 before stratum", 0xDC, 0, 0, 0, kOther, false, false,
         Verdict::Unsynchronised},
        {"stratum before transmit", 0x1C, 0, 0, 0, kOther, true, false,
         Verdict::StratumZero},
        {"transmit before source", 0x1C, 1, 0, 5, kOther, false, false,
         Verdict::NoTransmitTime},
    };
    for (const Case& c : cases) {
        NtpPacket p = GoodReply();
        p.bytes[0] = c.header;
        p.bytes[1] = c.stratum;
        const uint8_t t[8] = {
            static_cast<uint8_t>(c.transmitSeconds >> 24), static_cast<uint8_t>(c.transmitSeconds >> 16),
            static_cast<uint8_t>(c.transmitSeconds >> 8), static_cast<uint8_t>(c.transmitSeconds),
            static_cast<uint8_t>(c.transmitFraction >> 24), static_cast<uint8_t>(c.transmitFraction >> 16),
            static_cast<uint8_t>(c.transmitFraction >> 8), static_cast<uint8_t>(c.transmitFraction)};
        std::memcpy(p.bytes + 40, t, sizeof t);
        EXPECT_EQ(c.verdict, CheckReply(p, c.sender, kServer, c.acceptUnsynced, c.acceptAnySource))
            << c.what;
    }
}

TEST(NtpPacket, ShortDatagramReadsAsZeroPaddedAndIsRejected)
{
    // What the socket leaves in a zero-filled buffer after a 20-byte datagram.
    const NtpPacket full = GoodReply();
    NtpPacket p = Zeroed();
    std::memcpy(p.bytes, full.bytes, 20);
    EXPECT_EQ(DatagramKind::Reply, ClassifyDatagram(p));
    EXPECT_EQ(Verdict::NoTransmitTime, CheckReply(p, kServer, kServer, true, true));
    const ReplyTimes times = ReadReplyTimes(p);
    EXPECT_EQ(0u, times.originate.seconds);
    EXPECT_EQ(0u, times.transmit.fraction);
}

TEST(NtpPacket, ReadsTimestampsBigEndian)
{
    const ReplyTimes times = ReadReplyTimes(GoodReply());
    EXPECT_EQ(0xBC1B5F00u, times.originate.seconds);
    EXPECT_EQ(0x40000000u, times.originate.fraction);
    EXPECT_EQ(0xBC1B5F02u, times.receive.seconds);
    EXPECT_EQ(0x80000001u, times.receive.fraction);
    EXPECT_EQ(0xBC1B5F03u, times.transmit.seconds);
    EXPECT_EQ(0xFD70A690u, times.transmit.fraction);
}

TEST(NtpPacket, AnswerRewritesTheRequestInPlace)
{
    NtpPacket p = Zeroed();
    for (size_t i = 0; i < kDatagramBufferSize; ++i)
        p.bytes[i] = static_cast<uint8_t>(0x80 + i);  // every byte distinct
    p.bytes[0] = 0xE3;  // leap 3, version 4, mode 3
    const NtpTime now{0xBC1B5F10u, 0x12345678u};
    BuildAnswer(&p, now, Addr(192, 0, 2, 7));

    uint8_t expected[kDatagramBufferSize];
    for (size_t i = 0; i < kDatagramBufferSize; ++i)
        expected[i] = static_cast<uint8_t>(0x80 + i);
    const uint8_t head[4] = {0x24, 15, 6, 0xF9};      // leap 0, version 4, mode 4
    const uint8_t refId[4] = {192, 0, 2, 7};
    const uint8_t nowBytes[8] = {0xBC, 0x1B, 0x5F, 0x10, 0x12, 0x34, 0x56, 0x78};
    const uint8_t requestTransmit[8] = {0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
    std::memcpy(expected + 0, head, 4);
    std::memcpy(expected + 12, refId, 4);
    std::memcpy(expected + 16, nowBytes, 8);
    std::memcpy(expected + 24, requestTransmit, 8);
    std::memcpy(expected + 32, nowBytes, 8);
    std::memcpy(expected + 40, nowBytes, 8);
    for (size_t i = 0; i < kDatagramBufferSize; ++i)
        EXPECT_EQ(expected[i], p.bytes[i]) << "byte " << i;
}

TEST(NtpPacket, AnswerKeepsTheRequestVersion)
{
    const struct {
        uint8_t request;
        uint8_t answer;
    } cases[] = {{0x0B, 0x0C}, {0x1B, 0x1C}, {0x23, 0x24}, {0xFF, 0x3C}, {0x03, 0x04}};
    for (const auto& c : cases) {
        NtpPacket p = Zeroed();
        p.bytes[0] = c.request;
        BuildAnswer(&p, NtpTime{1, 2}, 0);
        EXPECT_EQ(c.answer, p.bytes[0]) << std::hex << int{c.request};
        EXPECT_EQ(0, p.bytes[12] | p.bytes[13] | p.bytes[14] | p.bytes[15]);  // no server
    }
}

// The verdict the log prints for a datagram taken as a reply.
TEST(NtpPacket, VerdictOfAReply)
{
    const struct {
        Verdict checked;
        bool beforeFloor;
        int lengthBytes;
        Verdict expected;
    } cases[] = {
        {Verdict::Accepted, false, 48, Verdict::Accepted},
        {Verdict::Accepted, true, 48, Verdict::BeforeFloor},
        {Verdict::Accepted, false, 44, Verdict::Accepted},  // short, yet it passed
        {Verdict::NoTransmitTime, false, 20, Verdict::TooShort},
        {Verdict::NoTransmitTime, false, 48, Verdict::NoTransmitTime},
        {Verdict::WrongSource, true, 48, Verdict::WrongSource},  // the first test decides
        {Verdict::Unsynchronised, false, 60, Verdict::Unsynchronised},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, JudgeReply(c.checked, c.beforeFloor, c.lengthBytes, MatchVerdict::Matched))
            << static_cast<int>(c.checked) << " " << c.beforeFloor << " " << c.lengthBytes;
}

}  // namespace
