// The server role's own state (ServerStratum=auto): answers before the first set, after one, and once it is stale.
#include "service/ownstate.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const uint8_t kServerBytes[4] = {192, 0, 2, 7};
constexpr uint32_t kSetSeconds = 0xEB000000u;  // in 2024
constexpr int64_t kStaleAfter = 2880;           // three polls of 960 s

uint32_t Word(const NtpPacket& p, size_t at)
{
    return (uint32_t{p.bytes[at]} << 24) | (uint32_t{p.bytes[at + 1]} << 16) |
           (uint32_t{p.bytes[at + 2]} << 8) | uint32_t{p.bytes[at + 3]};
}

void PutWord(NtpPacket* p, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p->bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// A client's request turned into today's answer at now.
NtpPacket Answer(NtpTime now)
{
    NtpPacket p{};
    p.bytes[0] = 0x23;  // version 4, client
    PutWord(&p, 40, 0x12345678u);
    BuildAnswer(&p, now, 0x01020304u);
    return p;
}

// The server's reply the clock was set from: stratum, root delay, root dispersion.
NtpPacket Reply(uint8_t stratum, uint32_t rootDelay, uint32_t rootDispersion)
{
    NtpPacket p{};
    p.bytes[0] = 0x24;
    p.bytes[1] = stratum;
    PutWord(&p, 4, rootDelay);
    PutWord(&p, 8, rootDispersion);
    return p;
}

// Set from a server over a 20 ms round trip (10 ms each way, the server
// holding the request 1 ms), the clock read 5 ms after T4.
OwnClockState SetFrom(uint8_t stratum)
{
    OwnClockState state;
    uint32_t addr;
    std::memcpy(&addr, kServerBytes, sizeof addr);
    const uint32_t ms = 4294968u;
    state.NoteSet(Reply(stratum, 0x00000100u, 0x00000200u), addr, NtpTime{kSetSeconds, 0},
                  NtpTime{kSetSeconds, 10 * ms}, NtpTime{kSetSeconds, 11 * ms},
                  NtpTime{kSetSeconds, 21 * ms}, NtpTime{kSetSeconds, 26 * ms});
    return state;
}

TEST(OwnClockState, BeforeTheFirstSetTheAnswerSaysUnsynchronised)
{
    const NtpTime now{kSetSeconds, 0};
    NtpPacket answer = Answer(now);
    const NtpPacket today = answer;
    OwnClockState().FillAnswer(&answer, now, kStaleAfter);
    EXPECT_EQ(0xE4, answer.bytes[0]);  // leap 3, version 4, mode 4
    EXPECT_EQ(0xF6, answer.bytes[3]);  // precision -10: milliseconds
    EXPECT_EQ(0u, Word(answer, 16) | Word(answer, 20)) << "never set: no reference time";
    for (size_t i = 1; i < kNtpPacketSize; ++i) {
        if (i != 3 && (i < 16 || i >= 24)) {
            EXPECT_EQ(today.bytes[i], answer.bytes[i]) << "byte " << i;
        }
    }
}

TEST(OwnClockState, AfterASetTheAnswerDescribesItUntilItIsStale)
{
    const struct {
        uint8_t serverStratum;
        int64_t age;  // seconds from the set to the answer
        uint8_t header, stratum;
    } cases[] = {
        {2, 0, 0x24, 3},
        {2, kStaleAfter, 0x24, 3},
        {2, kStaleAfter + 1, 0xE4, 3},  // stale: unsynchronised, still described
        {2, -1, 0xE4, 3},               // the clock went back behind the set
        {1, 10, 0x24, 2},
        {14, 10, 0x24, 15},
        {15, 10, 0x24, 15},  // never past 15
        {255, 10, 0x24, 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.serverStratum} << " at " << c.age);
        const NtpTime now{kSetSeconds + static_cast<uint32_t>(c.age), 26 * 4294968u};
        NtpPacket answer = Answer(now);
        SetFrom(c.serverStratum).FillAnswer(&answer, now, kStaleAfter);
        EXPECT_EQ(c.header, answer.bytes[0]);
        EXPECT_EQ(c.stratum, answer.bytes[1]);
        EXPECT_EQ(6, answer.bytes[2]);
        EXPECT_EQ(0xF6, answer.bytes[3]);
        EXPECT_EQ(0, std::memcmp(answer.bytes + 12, kServerBytes, 4));
        EXPECT_EQ(kSetSeconds, Word(answer, 16));
        EXPECT_EQ(26 * 4294968u, Word(answer, 20));
        // 0x100 and the 20 ms round trip ((T4 - T1) - (T3 - T2)) in 16.16.
        EXPECT_NEAR(0x100 + 0.020 * 65536, Word(answer, 4), 2);
        // 0x200, the hundredth the clock is set to, and 15 ppm since the set.
        const double drift = c.age > 0 ? static_cast<double>(c.age) * 15e-6 * 65536 : 0;
        EXPECT_NEAR(0x200 + 655 + drift, Word(answer, 8), 2);
        EXPECT_EQ(0x12345678u, Word(answer, 24)) << "the client's transmit time";
    }
}

TEST(OwnClockState, RootFieldsSaturateRatherThanWrap)
{
    OwnClockState state;
    state.NoteSet(Reply(3, 0xFFFFFF00u, 0xFFFFFFF0u), 0, NtpTime{kSetSeconds, 0},
                  NtpTime{kSetSeconds, 0}, NtpTime{kSetSeconds, 0}, NtpTime{kSetSeconds + 1, 0},
                  NtpTime{kSetSeconds + 1, 0});
    const NtpTime now{kSetSeconds + 100, 0};
    NtpPacket answer = Answer(now);
    state.FillAnswer(&answer, now, kStaleAfter);
    EXPECT_EQ(0xFFFFFFFFu, Word(answer, 4));
    EXPECT_EQ(0xFFFFFFFFu, Word(answer, 8));
}

}  // namespace
