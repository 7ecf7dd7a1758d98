// Kiss codes: reading them from stratum-0 messages, and the longer interval of RATE.
#include "service/kisscode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

NtpPacket Message(uint8_t stratum, const char (&refId)[5])
{
    NtpPacket p{};
    p.bytes[0] = 0xE4;  // leap 3, version 4, mode 4, as servers send a kiss
    p.bytes[1] = stratum;
    std::memcpy(p.bytes + 12, refId, 4);
    return p;
}

TEST(KissCode, ReadFromWholeStratumZeroMessagesOnly)
{
    const struct {
        uint8_t stratum;
        const char refId[5];
        int length;
        KissKind kind;
        const char* text;
    } cases[] = {
        {0, "DENY", 48, KissKind::Refused, "DENY"},
        {0, "RSTR", 48, KissKind::Refused, "RSTR"},
        {0, "RATE", 60, KissKind::Rate, "RATE"},
        {0, "INIT", 48, KissKind::Other, "INIT"},
        {0, "deny", 48, KissKind::Other, "deny"},  // codes are upper case
        {0, "DEN\x01", 48, KissKind::Other, "DEN?"},
        {0, "\x7f\xff\n ", 48, KissKind::Other, "??? "},
        {1, "DENY", 48, KissKind::None, ""},  // a reference id, not a code
        {0, "DENY", 47, KissKind::None, ""},  // cut short: the code may be padding
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const KissCode code = ReadKissCode(Message(c.stratum, c.refId), c.length);
        EXPECT_EQ(c.kind, code.kind);
        EXPECT_STREQ(c.text, code.text);
    }
}

TEST(KissCode, RateDoublesTheIntervalUpToItsCeiling)
{
    const struct {
        int32_t current, base, next;
    } cases[] = {
        {60, 60, 120},     {480, 60, 960},   {600, 60, 960},  {960, 60, 960},
        {2000, 60, 2000},  // already past the ceiling (a smaller base since): kept
        {INT32_MAX / 2 + 1, INT32_MAX / 4, INT32_MAX},  // no overflow
        {INT32_MAX, INT32_MAX, INT32_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.next, RateLimitedInterval(c.current, c.base)) << c.current << " of " << c.base;
}

}  // namespace
