// NTP timestamps: epoch conversion, rounding to hundredths, interval arithmetic.
#include "service/ntptime.h"

#include <gtest/gtest.h>

namespace {

// 2036-02-07 06:28:16 UTC: the NTP seconds word wraps to 0 here.
constexpr int64_t kEraOneEpoch = 2085978496;

TEST(NtpTime, FromEpochFractionPerHundredth)
{
    const struct {
        int64_t epoch;
        int hundredths;
        uint32_t seconds;
        uint32_t fraction;
    } cases[] = {
        {0, 0, 0x83AA7E80u, 0},
        {946684800, 0, 3155673600u, 0},
        {946684800, 1, 3155673600u, 42949680u},
        {946684800, 50, 3155673600u, 2147484000u},
        {946684800, 99, 3155673600u, 0xFD70A690u},  // still fits in 32 bits
        {kEraOneEpoch - 1, 0, 0xFFFFFFFFu, 0},
        {kEraOneEpoch, 0, 0, 0},
        {kEraOneEpoch + 5, 0, 5, 0},
        {2147483648, 0, 61505152u, 0},    // 2038-01-19 03:14:08
        {4102444799, 0, 2016466303u, 0},  // 2099-12-31 23:59:59
    };
    for (const auto& c : cases) {
        const NtpTime t = NtpFromEpoch(c.epoch, c.hundredths);
        EXPECT_EQ(c.seconds, t.seconds) << c.epoch;
        EXPECT_EQ(c.fraction, t.fraction) << c.epoch << " " << c.hundredths;
    }
}

TEST(NtpTime, EpochFromNtpRoundsToHundredths)
{
    const struct {
        uint32_t seconds;
        uint32_t fraction;
        int64_t epoch;
        int hundredths;
    } cases[] = {
        {3155673600u, 0, 946684800, 0},
        {3155673600u, 0x80000000u, 946684800, 50},  // 499 ms
        {3155673600u, 0xFD70A690u, 946684800, 99},  // what 99 hundredths became
        {3155673600u, 4294968u * 994u, 946684800, 99},
        {3155673600u, 4294968u * 995u, 946684801, 0},  // carry
        {3155673600u, 0xFFFFFFFFu, 946684801, 0},      // 999 ms: carry
        {3155673600u, 4294968u * 4u, 946684800, 0},
        {3155673600u, 4294968u * 5u, 946684800, 1},
        // Either side of the era boundary, and the carry across it.
        {0xFFFFFFFFu, 0, kEraOneEpoch - 1, 0},
        {0, 0, kEraOneEpoch, 0},
        {1, 0, kEraOneEpoch + 1, 0},
        {0xFFFFFFFFu, 0xFFFFFFFFu, kEraOneEpoch, 0},
        // Era 1 reaches past 2099; era 0 begins in 1968.
        {2016466303u, 0, 4102444799, 0},
        {0x83AA7E7Fu, 0, -1, 0},
        {0x80000000u, 0, -61505152, 0},
        {0x7FFFFFFFu, 0, 4233462143, 0},
    };
    for (const auto& c : cases) {
        const EpochHundredths e = EpochFromNtp(NtpTime{c.seconds, c.fraction});
        EXPECT_EQ(c.epoch, e.epochSeconds) << std::hex << c.seconds << " " << c.fraction;
        EXPECT_EQ(c.hundredths, e.hundredths) << std::hex << c.seconds << " " << c.fraction;
    }
}

TEST(NtpTime, EveryHundredthSurvivesTheRoundTrip)
{
    for (int h = 0; h < 100; ++h) {
        const EpochHundredths e = EpochFromNtp(NtpFromEpoch(kEraOneEpoch - 1, h));
        EXPECT_EQ(kEraOneEpoch - 1, e.epochSeconds) << h;
        EXPECT_EQ(h, e.hundredths);
    }
}

TEST(NtpTime, IntervalArithmeticIsTwosComplementOnThePair)
{
    const NtpTime quarter{0, 0x40000000u};
    // 0 - 0.25 = -1 + 0.75: seconds word -1, fraction 0.75.
    const NtpTime minusQuarter = NtpSub(NtpTime{0, 0}, quarter);
    EXPECT_EQ(0xFFFFFFFFu, minusQuarter.seconds);
    EXPECT_EQ(0xC0000000u, minusQuarter.fraction);
    EXPECT_EQ(-(int64_t{1} << 30), NtpToFixed(minusQuarter));

    // The carry from the fraction into the seconds.
    const NtpTime sum = NtpAdd(NtpTime{1, 0xC0000000u}, NtpTime{0, 0x80000000u});
    EXPECT_EQ(2u, sum.seconds);
    EXPECT_EQ(0x40000000u, sum.fraction);

    // Across the era boundary a difference is still small.
    const NtpTime across = NtpSub(NtpTime{2, 0}, NtpTime{0xFFFFFFFFu, 0});
    EXPECT_EQ(3u, across.seconds);
    EXPECT_EQ(0u, across.fraction);
}

TEST(NtpTime, NegateFollowsTheFraction)
{
    const struct {
        NtpTime in;
        NtpTime out;
    } cases[] = {
        {{3, 0}, {0xFFFFFFFDu, 0}},                       // fraction 0: seconds negated
        {{0xFFFFFFFFu, 0xC0000000u}, {0, 0x40000000u}},    // -0.25 -> 0.25
        {{2, 0x40000000u}, {0xFFFFFFFDu, 0xC0000000u}},    // 2.25 -> -3 + 0.75
        {{0, 0}, {0, 0}},
        {{0x80000000u, 0}, {0x80000000u, 0}},              // most negative: itself
    };
    for (const auto& c : cases) {
        const NtpTime n = NtpNegate(c.in);
        EXPECT_EQ(c.out.seconds, n.seconds) << std::hex << c.in.seconds;
        EXPECT_EQ(c.out.fraction, n.fraction) << std::hex << c.in.seconds;
    }
}

TEST(NtpTime, HalveShiftsTheSecondsBitIntoTheFraction)
{
    const struct {
        NtpTime in;
        NtpTime out;
    } cases[] = {
        {{5, 0}, {2, 0x80000000u}},
        {{4, 0x80000000u}, {2, 0x40000000u}},
        {{0xFFFFFFFAu, 0}, {0xFFFFFFFDu, 0}},              // -6 -> -3
        {{0xFFFFFFFFu, 0x80000000u}, {0xFFFFFFFFu, 0xC0000000u}},  // -0.5 -> -0.25
        {{0x80000000u, 0}, {0xC0000000u, 0}},              // sign kept
        {{0xFFFFFFFFu, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0xFFFFFFFFu}},  // -2^-32 stays
    };
    for (const auto& c : cases) {
        const NtpTime h = NtpHalve(c.in);
        EXPECT_EQ(c.out.seconds, h.seconds) << std::hex << c.in.seconds << " " << c.in.fraction;
        EXPECT_EQ(c.out.fraction, h.fraction) << std::hex << c.in.seconds << " " << c.in.fraction;
    }
}

}  // namespace
