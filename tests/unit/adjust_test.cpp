// Clock offset, the decision to set the clock, its status text and the
// poll-interval adaptation, against the virtual clock.
#include "service/adjust.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/fakes/fakeclock.h"

namespace {

// 1998-06-01 12:00:00 UTC, the virtual clock's reading after a reset.
constexpr int32_t kNoonEpoch = 896702400;

// A timestamp s seconds and h hundredths after kNoonEpoch (s may be negative).
NtpTime At(int32_t s, int h = 0) { return NtpFromEpoch(kNoonEpoch + s, h); }

class AdjustClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeClockReset();
        zone_.SetDstRule(&rule_, 1998);
    }

    // Local times T1, T4 and server times T2, T3.
    AdjustResult Run(NtpTime t1, NtpTime t2, NtpTime t3, NtpTime t4, bool ignoreLimit = false)
    {
        AdjustInput in{t1, t2, t3, t4, ignoreLimit, maxDeltaMs_, baseInterval_, currentInterval_};
        return AdjustClock(zone_, in);
    }

    // An exchange with no delay whose offset is theta: T1 = T4, T2 = T3 = T1 + theta.
    AdjustResult RunOffset(NtpTime theta, bool ignoreLimit = false)
    {
        const NtpTime local = At(0);
        const NtpTime server = NtpAdd(local, theta);
        return Run(local, server, server, local, ignoreLimit);
    }

    void ExpectSetTo(int year, int month, int day, int hour, int minute, int second, int hundredths)
    {
        const ClockDate d = FakeClockLastSetDate();
        const ClockTime t = FakeClockLastSetTime();
        EXPECT_EQ(year, d.da_year);
        EXPECT_EQ(month, d.da_month);
        EXPECT_EQ(day, d.da_day);
        EXPECT_EQ(hour, t.ti_hour);
        EXPECT_EQ(minute, t.ti_minute);
        EXPECT_EQ(second, t.ti_second);
        EXPECT_EQ(hundredths, t.ti_hundredths);
    }

    DstRuleRecord rule_ = DefaultDstRule();
    TimeConverter zone_{&rule_, 1998};
    int32_t maxDeltaMs_ = 100;
    int32_t baseInterval_ = 60;
    int32_t currentInterval_ = 60;
};

TEST_F(AdjustClockTest, OffsetFromTheFourTimestamps)
{
    // theta = ((T2 - T1) + (T3 - T4)) / 2
    const struct {
        const char* what;
        NtpTime t1, t2, t3, t4;
        const char* delta;
        int second, hundredths;  // what 12:00:00.00 was set to, in minute 0
        int minute;
    } cases[] = {
        {"ahead", At(100), At(102, 35), At(102, 35), At(100, 20), "+2.25", 2, 25, 0},
        {"behind", At(100), At(97), At(97), At(100), "-3.00", 57, 0, 59},
        {"quarter behind", At(100), At(99, 75), At(99, 75), At(100), "-0.25", 59, 75, 59},
        {"none", At(100), At(100), At(100), At(100), "+0.00", 0, 0, 0},
        {"broadcast", NtpTime{0, 0}, NtpTime{0, 0}, At(110), At(100), "+5.00", 5, 0, 0},
    };
    for (const auto& c : cases) {
        FakeClockReset();
        const AdjustResult r = Run(c.t1, c.t2, c.t3, c.t4);
        EXPECT_EQ(AdjustAction::Set, r.action) << c.what;
        const std::string expected = std::string("Delta: ") + c.delta + " secs";
        EXPECT_NE(nullptr, std::strstr(r.statusText, expected.c_str()))
            << c.what << ": " << r.statusText;
        ExpectSetTo(1998, 6, 1, c.minute == 59 ? 11 : 12, c.minute, c.second, c.hundredths);
    }
}

TEST_F(AdjustClockTest, SetsTheFreshReadingPlusTheOffsetNotT4)
{
    FakeClockSet(1998, 6, 1, 12, 0, 30, 37);  // read again after T4 was taken
    const AdjustResult r = RunOffset(NtpTime{0, 0});
    EXPECT_EQ(AdjustAction::Set, r.action);
    EXPECT_STREQ("Last set: Mon Jun 01 12:00:30 1998 UTC   Delta: +0.00 secs", r.statusText);
    ExpectSetTo(1998, 6, 1, 12, 0, 30, 37);
}

TEST_F(AdjustClockTest, FiveThousandFourHundredSecondLimit)
{
    const struct {
        const char* what;
        NtpTime theta;
        bool ignoreLimit;
        AdjustAction action;
        const char* text;  // prefix for Set
    } cases[] = {
        {"5399.99", NtpFromEpoch(5399 - static_cast<int32_t>(kNtpToEpoch), 99), false,
         AdjustAction::Set, "Last set: Mon Jun 01 13:29:59 1998 UTC   Delta: +5399.99 secs"},
        // Shown rounded to 5400.00, but its whole seconds are 5399.
        {"5399.999", NtpTime{5399, 0xFFFFFFFFu}, false, AdjustAction::Set,
         "Last set: Mon Jun 01 13:30:00 1998 UTC   Delta: +5400.00 secs"},
        {"5400", NtpTime{5400, 0}, false, AdjustAction::NotSet,
         "Clock NOT Set:   Delta = +5400 seconds (Check TZ)"},
        {"5400 lifted", NtpTime{5400, 0}, true, AdjustAction::Set,
         "Last set: Mon Jun 01 13:30:00 1998 UTC   Delta: +5400.00 secs"},
        {"-7200.5", NtpNegate(NtpTime{7200, 0x80000000u}), false, AdjustAction::NotSet,
         "Clock NOT Set:   Delta = -7200 seconds (Check TZ)"},
        {"-5399.5", NtpNegate(NtpTime{5399, 0x80000000u}), false, AdjustAction::Set,
         "Last set: Mon Jun 01 10:30:00 1998 UTC   Delta: -5399.50 secs"},
    };
    for (const auto& c : cases) {
        FakeClockReset();
        const AdjustResult r = RunOffset(c.theta, c.ignoreLimit);
        EXPECT_EQ(c.action, r.action) << c.what;
        EXPECT_STREQ(c.text, r.statusText) << c.what;
        EXPECT_EQ(c.action == AdjustAction::Set ? 1 : 0, FakeClockSetCount()) << c.what;
        if (c.action == AdjustAction::NotSet) {
            EXPECT_EQ(currentInterval_, r.currentInterval) << c.what;
        }
    }
}

TEST_F(AdjustClockTest, LargestOffsetAnExchangeCanGive)
{
    // T3 - T4 at its most negative: theta is half of it, -2^30 s.
    const AdjustResult r = Run(At(0), At(0), NtpTime{0x80000000u, 0}, NtpTime{0, 0});
    EXPECT_EQ(AdjustAction::NotSet, r.action);
    EXPECT_STREQ("Clock NOT Set:   Delta = -1073741824 seconds (Check TZ)", r.statusText);
    EXPECT_EQ(0, FakeClockSetCount());
}

TEST_F(AdjustClockTest, HundredthsCarryIntoTheNextSecond)
{
    const struct {
        const char* what;
        int year, month, day, hour, minute, second, hundredths;  // clock
        NtpTime theta;
        int setYear, setMonth, setDay, setHour, setMinute, setSecond;
    } cases[] = {
        {"0.995", 1998, 6, 1, 12, 0, 0, 0, NtpTime{0, 4294968u * 995u}, 1998, 6, 1, 12, 0, 1},
        {"0.999", 1998, 6, 1, 12, 0, 0, 0, NtpTime{0, 0xFFFFFFFFu}, 1998, 6, 1, 12, 0, 1},
        {"year end", 1998, 12, 31, 23, 59, 59, 50, NtpTime{0, 0x80000000u}, 1999, 1, 1, 0, 0, 0},
    };
    for (const auto& c : cases) {
        FakeClockReset();
        FakeClockSet(c.year, c.month, c.day, c.hour, c.minute, c.second, c.hundredths);
        const AdjustResult r = RunOffset(c.theta);
        EXPECT_EQ(AdjustAction::Set, r.action) << c.what;
        ExpectSetTo(c.setYear, c.setMonth, c.setDay, c.setHour, c.setMinute, c.setSecond, 0);
    }
}

TEST_F(AdjustClockTest, SetErrorKeepsTheInterval)
{
    currentInterval_ = 240;
    FakeClockSetResult(1314);
    const AdjustResult r = RunOffset(NtpTime{0, 0});
    EXPECT_EQ(AdjustAction::SetFailed, r.action);
    EXPECT_EQ(1314u, r.error);
    EXPECT_STREQ("Set Time error 1314", r.statusText);
    EXPECT_EQ(240, r.currentInterval);
}

// A server time that is no local time the clock can take must not reach
// SetLocalClock, even with the limit lifted.
TEST_F(AdjustClockTest, UnusableCorrectedTimeIsNotSet)
{
    const struct {
        const char* what;
        int clockYear;
        int32_t thetaSeconds;
    } cases[] = {
        {"before 1980", 1998, -20 * 365 * 86400},
        {"past 2099", 2099, 366 * 86400},
        {"clock before 1970", 1965, 0},
        {"clock past 2099", 2100, 0},
    };
    for (const auto& c : cases) {
        FakeClockReset();
        FakeClockSet(c.clockYear, 6, 1, 12, 0, 0);
        currentInterval_ = 120;
        const NtpTime theta{static_cast<uint32_t>(c.thetaSeconds), 0};
        const AdjustResult r = RunOffset(theta, true);
        EXPECT_EQ(AdjustAction::SetFailed, r.action) << c.what;
        EXPECT_STREQ("Set Time error 87", r.statusText) << c.what;
        EXPECT_EQ(120, r.currentInterval) << c.what;
        EXPECT_EQ(0, FakeClockSetCount()) << c.what;
    }
}

TEST_F(AdjustClockTest, AcrossTheNtpEra)
{
    // 2036-02-07 06:28:15 UTC is NTP second 0xFFFFFFFF; a server already in
    // the next era sends small seconds words.
    FakeClockSet(2036, 2, 7, 6, 28, 15);
    AdjustResult r = Run(NtpTime{0xFFFFFFFFu, 0}, NtpTime{1, 0}, NtpTime{1, 0},
                         NtpTime{0xFFFFFFFFu, 0});
    EXPECT_EQ(AdjustAction::Set, r.action);
    EXPECT_STREQ("Last set: Thu Feb 07 06:28:17 2036 UTC   Delta: +2.00 secs", r.statusText);
    ExpectSetTo(2036, 2, 7, 6, 28, 17, 0);

    // And back from the new era into the old one.
    FakeClockSet(2036, 2, 7, 6, 28, 17);
    r = Run(NtpTime{1, 0}, NtpTime{0xFFFFFFFEu, 0}, NtpTime{0xFFFFFFFEu, 0}, NtpTime{1, 0});
    EXPECT_STREQ("Last set: Thu Feb 07 06:28:14 2036 UTC   Delta: -3.00 secs", r.statusText);
    ExpectSetTo(2036, 2, 7, 6, 28, 14, 0);
}

TEST_F(AdjustClockTest, CorrectedTimeInTheZoneWithDaylightSaving)
{
    ASSERT_TRUE(ParseDstRule("1,7,4,2,0,5,7,10,2,0,18000", &rule_));
    SetZoneName(rule_.stdName, "EST");
    SetZoneName(rule_.dstName, "EDT");
    FakeClockSet(1998, 6, 1, 8, 0, 0);  // 12:00 UTC in daylight time
    zone_.SetDstRule(&rule_, 1998);
    const AdjustResult r = Run(At(100), At(102, 35), At(102, 35), At(100, 20));
    EXPECT_STREQ("Last set: Mon Jun 01 08:00:02 1998 EDT   Delta: +2.25 secs", r.statusText);
    ExpectSetTo(1998, 6, 1, 8, 0, 2, 25);
}

TEST_F(AdjustClockTest, IntervalDoublesOnAGoodSet)
{
    maxDeltaMs_ = 150;
    const AdjustResult good = RunOffset(NtpTime{0, 4294968u * 150u});  // exactly maxDelta
    EXPECT_EQ(120, good.currentInterval);
    currentInterval_ = 120;
    const AdjustResult bad = RunOffset(NtpNegate(NtpTime{0, 4294968u * 160u}));
    EXPECT_EQ(60, bad.currentInterval);
}

TEST(AdaptPollInterval, DoublesToSixteenTimesAndHalvesToBase)
{
    const struct {
        uint32_t seconds;
        int hundredths;
        int32_t after;
    } steps[] = {
        {0, 10, 120}, {0, 10, 240}, {0, 5, 480}, {0, 0, 960}, {0, 10, 960},
        {0, 11, 480}, {1, 0, 240},  {9, 99, 120}, {0, 11, 60}, {5, 0, 60},
        {0, 10, 120},
    };
    int32_t interval = 60;
    for (const auto& s : steps) {
        interval = AdaptPollInterval(interval, 60, 100, RoundedSeconds{s.seconds, s.hundredths});
        EXPECT_EQ(s.after, interval) << s.seconds << "." << s.hundredths;
    }
}

TEST(AdaptPollInterval, ExactlyMaxDeltaCountsAsGood)
{
    EXPECT_EQ(600, AdaptPollInterval(300, 300, 2500, RoundedSeconds{2, 50}));
    EXPECT_EQ(4800, AdaptPollInterval(4800, 300, 2500, RoundedSeconds{2, 50}));  // at 16x
    EXPECT_EQ(300, AdaptPollInterval(600, 300, 2500, RoundedSeconds{2, 51}));
}

// With the limit lifted an offset of many days is applied; seconds x 1000
// must not wrap round to a small "good" number and double the interval.
TEST(AdaptPollInterval, HugeOffsetDoesNotWrapToGood)
{
    EXPECT_EQ(120, AdaptPollInterval(240, 60, 100, RoundedSeconds{4294968u, 0}));
    EXPECT_EQ(120, AdaptPollInterval(240, 60, 100, RoundedSeconds{0x40000000u, 0}));
    EXPECT_EQ(120, AdaptPollInterval(240, 60, INT32_MAX - 1, RoundedSeconds{0x40000000u, 0}));
}

TEST(AdaptPollInterval, LargeConfiguredIntervalDoesNotOverflow)
{
    EXPECT_EQ(INT32_MAX, AdaptPollInterval(0x50000000, 0x10000000, 100, RoundedSeconds{0, 0}));
}

}  // namespace
