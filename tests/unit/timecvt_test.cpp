// Unit tests of TimeConverter: local time <-> epoch seconds, the daylight
// decision in both hemispheres, the time text, refusals and round trips.
#include "time/timecvt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "framework/tdate.h"

namespace {

const char kUsRule[] = "1,7,4,2,0,5,7,10,2,0,18000";        // EST/EDT
const char kSouthRule[] = "1,7,10,2,0,3,7,3,3,0,-36000";    // UTC+10, spans New Year
const char kNoRule[] = "-1,0,0,0,0,-1,0,0,0,0,18000";

DstRuleRecord Rule(const char* text, const char* stdName = "EST", const char* dstName = "EDT")
{
    DstRuleRecord rule{};
    ParseDstRule(text, &rule);
    SetZoneName(rule.stdName, stdName);
    SetZoneName(rule.dstName, dstName);
    return rule;
}

struct Local {
    int year, month, day, hour, minute, second;
};

bool operator==(const Local& a, const Local& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

std::ostream& operator<<(std::ostream& os, const Local& l)
{
    return os << l.year << "-" << l.month << "-" << l.day << " " << l.hour << ":" << l.minute << ":"
              << l.second;
}

Local FromRecords(const ClockDate& d, const ClockTime& t)
{
    return Local{d.da_year, d.da_month, d.da_day, t.ti_hour, t.ti_minute, t.ti_second};
}

ClockDate DateOf(const Local& l)
{
    return ClockDate{l.year, static_cast<int8_t>(l.day), static_cast<int8_t>(l.month)};
}

ClockTime TimeOf(const Local& l)
{
    return ClockTime{static_cast<uint8_t>(l.minute), static_cast<uint8_t>(l.hour), 0,
                     static_cast<uint8_t>(l.second)};
}

Local ToLocal(const TimeConverter& conv, int64_t epochSeconds)
{
    ClockDate d{};
    ClockTime t{};
    EXPECT_TRUE(conv.EpochToLocal(epochSeconds, &d, &t)) << epochSeconds;
    EXPECT_EQ(0, t.ti_hundredths);
    return FromRecords(d, t);
}

int64_t ToEpoch(const TimeConverter& conv, const Local& l)
{
    const ClockDate d = DateOf(l);
    const ClockTime t = TimeOf(l);
    int64_t e = 0;
    EXPECT_TRUE(conv.LocalToEpoch(&d, &t, &e)) << l;
    return e;
}

// Days since 1970-01-01 to a Gregorian date: the reference the
// conversions are checked against.
Local CivilFromEpoch(int64_t seconds)
{
    int64_t z = seconds / 86400 + 719468;
    const int64_t rest = seconds % 86400;
    const int64_t era = z / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return Local{static_cast<int>(yoe + era * 400 + (month <= 2)), month,
                 static_cast<int>(doy - (153 * mp + 2) / 5 + 1), static_cast<int>(rest / 3600),
                 static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
}

// The seed of the randomised tests: KESTRIN_SEED when set, else fresh.
uint64_t TestSeed()
{
    static const uint64_t seed = [] {
        const char* text = std::getenv("KESTRIN_SEED");
        if (text != nullptr && *text != '\0')
            return static_cast<uint64_t>(std::strtoull(text, nullptr, 0));
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) ^ device();
    }();
    return seed;
}

// 2100-01-01 00:00:00 UTC: the calendar here ends just before.
constexpr int64_t kEpoch2100 = 4102444800;

// Transitions are computed for 1998, the clock's year unless a test says otherwise.
class TimeCvt : public testing::Test {};

}  // namespace

TEST_F(TimeCvt, ConvertsWithoutDaylightSaving)
{
    struct Case {
        int32_t offset;
        Local local;
        int64_t epoch;
    };
    const Case cases[] = {
        {0, {1980, 1, 1, 0, 0, 0}, 315532800},
        {0, {1970, 1, 1, 0, 0, 0}, 0},
        {0, {2000, 2, 29, 12, 0, 0}, 951825600},
        {0, {2000, 2, 29, 0, 0, 0}, 951782400},
        {0, {2000, 3, 1, 0, 0, 0}, 951868800},
        {0, {1999, 12, 31, 23, 59, 59}, 946684799},
        {18000, {1997, 6, 15, 12, 0, 0}, 866394000},
        {-3600, {1970, 1, 1, 0, 0, 0}, -3600},  // east of Greenwich, before 1970 UTC
        {12345, {1985, 7, 4, 1, 2, 3}, 489286923 + 12345},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.local << " offset " << c.offset);
        const DstRuleRecord rule = Rule(("-1,0,0,0,0,-1,0,0,0,0," + std::to_string(c.offset)).c_str());
        TimeConverter conv(&rule, 1998);
        EXPECT_EQ(c.epoch, ToEpoch(conv, c.local));
        if (c.local.year >= 1980) {
            EXPECT_EQ(c.local, ToLocal(conv, c.epoch));
        }
    }
}

// The four-year walk against the Gregorian calendar, over the whole range.
TEST_F(TimeCvt, EpochToLocalMatchesCalendar)
{
    const uint64_t seed = TestSeed();
    SCOPED_TRACE(testing::Message() << "KESTRIN_SEED=" << seed);
    std::mt19937_64 rng(seed);
    const int32_t offsets[] = {0, 18000, -36000, 12345, -50400};
    for (int32_t offset : offsets) {
        const DstRuleRecord rule = Rule(("-1,0,0,0,0,-1,0,0,0,0," + std::to_string(offset)).c_str());
        TimeConverter conv(&rule, 1998);
        std::uniform_int_distribution<int64_t> pick(kEpoch1980 + (offset > 0 ? offset : 0),
                                                    kEpoch2100 + offset - 1);
        for (int i = 0; i < 20000; ++i) {
            const int64_t e = pick(rng);
            ASSERT_EQ(CivilFromEpoch(e - offset), ToLocal(conv, e))
                << e << " offset " << offset;
        }
    }
}

// NTP seconds wrap on 2036-02-07 06:28:16 UTC and 32-bit epoch seconds
// end on 2038-01-19 03:14:07; neither is an end here. The calendar is: its
// last second is 2099-12-31 23:59:59 local time.
TEST_F(TimeCvt, NtpEraThe2038EndAndTheLastYear)
{
    const DstRuleRecord utc = Rule("-1,0,0,0,0,-1,0,0,0,0,0", "UTC", "UTC");
    TimeConverter conv(&utc, 1998);
    struct Case {
        int64_t epoch;
        Local local;
        const char* text;
    };
    const Case cases[] = {
        {2085978495, {2036, 2, 7, 6, 28, 15}, "Thu Feb 07 06:28:15 2036 UTC"},
        {2085978496, {2036, 2, 7, 6, 28, 16}, "Thu Feb 07 06:28:16 2036 UTC"},
        {2147483647, {2038, 1, 19, 3, 14, 7}, "Tue Jan 19 03:14:07 2038 UTC"},
        {2147483648, {2038, 1, 19, 3, 14, 8}, "Tue Jan 19 03:14:08 2038 UTC"},
        {2222164800, {2040, 6, 1, 12, 0, 0}, "Fri Jun 01 12:00:00 2040 UTC"},
        {4102444799, {2099, 12, 31, 23, 59, 59}, "Thu Dec 31 23:59:59 2099 UTC"},
        {946684800, {2000, 1, 1, 0, 0, 0}, "Sat Jan 01 00:00:00 2000 UTC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.local, ToLocal(conv, c.epoch));
        EXPECT_EQ(c.epoch, ToEpoch(conv, c.local));
        EXPECT_STREQ(c.text, conv.EpochTimeText(&c.epoch));
    }

    const ClockDate d = DateOf({2100, 1, 1, 0, 0, 0});
    const ClockTime t = TimeOf({2100, 1, 1, 0, 0, 0});
    int64_t e = 42;
    EXPECT_FALSE(conv.LocalToEpoch(&d, &t, &e));
    EXPECT_EQ(42, e);
    EXPECT_STREQ("?", conv.EpochTimeText(&kEpoch2100));

    // The last second seen from zones on both sides, daylight time included.
    const DstRuleRecord west = Rule("-1,0,0,0,0,-1,0,0,0,0,3600");
    TimeConverter westConv(&west, 2099);
    EXPECT_EQ((Local{2099, 12, 31, 23, 59, 59}), ToLocal(westConv, kEpoch2100 + 3599));
    const DstRuleRecord south = Rule(kSouthRule);
    TimeConverter southConv(&south, 2099);
    EXPECT_EQ((Local{2099, 12, 31, 23, 59, 59}), ToLocal(southConv, kEpoch2100 - 39601));
    EXPECT_EQ(kEpoch2100 - 39601, ToEpoch(southConv, {2099, 12, 31, 23, 59, 59}));
    ClockDate past{};
    ClockTime pastTime{};
    EXPECT_FALSE(southConv.EpochToLocal(kEpoch2100 - 39600, &past, &pastTime));
}

TEST_F(TimeCvt, NorthernTransitions1998)
{
    const DstRuleRecord rule = Rule(kUsRule);
    TimeConverter conv(&rule, 1998);
    const ZoneState& zone = conv.Zone();
    EXPECT_EQ(1998, zone.transitionYear);
    EXPECT_EQ(5, zone.dstStartDate.da_day);
    EXPECT_EQ(4, zone.dstStartDate.da_month);
    EXPECT_EQ(2, zone.dstStartTime.ti_hour);
    EXPECT_EQ(25, zone.dstEndDate.da_day);
    EXPECT_EQ(10, zone.dstEndDate.da_month);
    EXPECT_EQ(2, zone.dstEndTime.ti_hour);

    struct Case {
        int64_t epoch;
        Local local;
        const char* text;
    };
    const Case toLocal[] = {
        {891759599, {1998, 4, 5, 1, 59, 59}, "Sun Apr 05 01:59:59 1998 EST"},
        {891759600, {1998, 4, 5, 3, 0, 0}, "Sun Apr 05 03:00:00 1998 EDT"},
        {909298799, {1998, 10, 25, 2, 59, 59}, "Sun Oct 25 02:59:59 1998 EDT"},
        {909298800, {1998, 10, 25, 2, 0, 0}, "Sun Oct 25 02:00:00 1998 EST"},
        {899294400, {1998, 7, 1, 8, 0, 0}, "Wed Jul 01 08:00:00 1998 EDT"},
    };
    for (const Case& c : toLocal) {
        EXPECT_EQ(c.local, ToLocal(conv, c.epoch));
        EXPECT_STREQ(c.text, conv.EpochTimeText(&c.epoch));
    }

    // The skipped hour reads as daylight time; the repeated hour as standard.
    EXPECT_EQ(891757800, ToEpoch(conv, {1998, 4, 5, 2, 30, 0}));
    EXPECT_EQ(891757800, ToEpoch(conv, {1998, 4, 5, 1, 30, 0}));
    EXPECT_EQ(909293400, ToEpoch(conv, {1998, 10, 25, 1, 30, 0}));
    EXPECT_EQ(909300600, ToEpoch(conv, {1998, 10, 25, 2, 30, 0}));

    struct Decision {
        int hour, dayOfYear;
        bool daylight;
    };
    const Decision decisions[] = {
        {1, 94, false}, {2, 94, true},  {23, 94, true},  {0, 93, false}, {1, 297, true},
        {2, 297, false}, {0, 298, false}, {0, 181, true}, {23, 181, true}, {12, 334, false},
    };
    for (const Decision& c : decisions)
        EXPECT_EQ(c.daylight, conv.IsDaylightTime(c.hour, c.dayOfYear, 1998))
            << c.hour << "h day " << c.dayOfYear;
}

TEST_F(TimeCvt, SouthernTransitions1998)
{
    const DstRuleRecord rule = Rule(kSouthRule);
    TimeConverter conv(&rule, 1998);
    struct Decision {
        int hour, dayOfYear, year;
        bool daylight;
    };
    const Decision decisions[] = {
        {12, 14, 1998, true},   // 15 January
        {12, 323, 1998, true},  // 20 November
        {12, 120, 1998, false}, // 1 May
        {2, 73, 1998, true},    // 15 March, the end day, before the hour
        {3, 73, 1998, false},
        {1, 276, 1998, false},  // 4 October, the start day
        {2, 276, 1998, true},
        {23, 364, 1998, true},  // 31 December
        {0, 0, 1999, true},
    };
    for (const Decision& c : decisions)
        EXPECT_EQ(c.daylight, conv.IsDaylightTime(c.hour, c.dayOfYear, c.year))
            << c.hour << "h day " << c.dayOfYear << " " << c.year;

    EXPECT_EQ((Local{1998, 3, 15, 3, 59, 59}), ToLocal(conv, 889894799));
    EXPECT_EQ((Local{1998, 3, 15, 3, 0, 0}), ToLocal(conv, 889894800));
    EXPECT_EQ((Local{1998, 10, 4, 1, 59, 59}), ToLocal(conv, 907430399));
    EXPECT_EQ((Local{1998, 10, 4, 3, 0, 0}), ToLocal(conv, 907430400));
}

// Daylight time on 31 December moves 23:30 standard time into the next year.
TEST_F(TimeCvt, DaylightHourCrossesNewYear)
{
    const DstRuleRecord rule = Rule(kSouthRule, "EST", "EDT");
    TimeConverter conv(&rule, 1998);
    struct Case {
        int64_t epoch;
        Local local;
        const char* text;
    };
    const Case cases[] = {
        {915111000, {1999, 1, 1, 0, 30, 0}, "Fri Jan 01 00:30:00 1999 EDT"},
        {978269400, {2001, 1, 1, 0, 30, 0}, "Mon Jan 01 00:30:00 2001 EDT"},  // after 366 days
        {946647000, {2000, 1, 1, 0, 30, 0}, "Sat Jan 01 00:30:00 2000 EDT"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.local, ToLocal(conv, c.epoch));
        EXPECT_EQ(c.epoch, ToEpoch(conv, c.local));
        EXPECT_STREQ(c.text, conv.EpochTimeText(&c.epoch));
    }
}

TEST_F(TimeCvt, ZoneNamesRightAligned)
{
    const int64_t e = 946684800;
    const DstRuleRecord one = Rule("-1,0,0,0,0,-1,0,0,0,0,0", "Z", "D");
    TimeConverter conv(&one, 1998);
    EXPECT_STREQ("Sat Jan 01 00:00:00 2000   Z", conv.EpochTimeText(&e));
    const DstRuleRecord none = Rule("-1,0,0,0,0,-1,0,0,0,0,0", "", "");
    conv.SetDstRule(&none, 1998);
    EXPECT_STREQ("Sat Jan 01 00:00:00 2000    ", conv.EpochTimeText(&e));
}

// A record whose name fills all four bytes must not run the text past them.
TEST_F(TimeCvt, UnterminatedZoneNameIsCutToThree)
{
    DstRuleRecord rule = Rule("-1,0,0,0,0,-1,0,0,0,0,0");
    const char full[4] = {'A', 'B', 'C', 'D'};
    for (int i = 0; i < 4; ++i)
        rule.stdName[i] = full[i];
    TimeConverter conv(&rule, 1998);
    const int64_t e = 946684800;
    EXPECT_STREQ("Sat Jan 01 00:00:00 2000 ABC", conv.EpochTimeText(&e));
}

TEST_F(TimeCvt, NoDaylightRuleAppliesOffsetOnly)
{
    const DstRuleRecord us = Rule(kUsRule);
    TimeConverter conv(&us, 1998);
    // Installing a rule without daylight saving keeps the old transition
    // dates; they must no longer count.
    const DstRuleRecord none = Rule(kNoRule);
    conv.SetDstRule(&none, 1998);
    EXPECT_EQ(0, conv.Zone().daylightInUse);
    EXPECT_FALSE(conv.IsDaylightTime(12, 181, 1998));
    const int64_t july = 899294400;  // 1998-07-01 12:00 UTC
    EXPECT_EQ((Local{1998, 7, 1, 7, 0, 0}), ToLocal(conv, july));
    EXPECT_STREQ("Wed Jul 01 07:00:00 1998 EST", conv.EpochTimeText(&july));
    EXPECT_EQ(july, ToEpoch(conv, {1998, 7, 1, 7, 0, 0}));
}

TEST_F(TimeCvt, TransitionsFollowTheClocksYear)
{
    const DstRuleRecord rule = Rule(kUsRule);
    TimeConverter conv(&rule, 1998);
    // 4 April 2005 is after its first Sunday, but the dates are 1998's.
    EXPECT_FALSE(conv.IsDaylightTime(12, 93, 2005));
    EXPECT_EQ(1998, conv.Zone().transitionYear);
    EXPECT_EQ(5, conv.Zone().dstStartDate.da_day);

    conv.FollowClockYear(1999);
    EXPECT_TRUE(conv.IsDaylightTime(2, 93, 1999));  // 4 April 1999, first Sunday
    EXPECT_EQ(1999, conv.Zone().transitionYear);
    EXPECT_EQ(4, conv.Zone().dstStartDate.da_day);
    // An earlier year is judged by the same dates: 4 April counts as the
    // start day in 1998 too, and a clock read back in 1998 changes nothing.
    conv.FollowClockYear(1998);
    EXPECT_TRUE(conv.IsDaylightTime(12, 93, 1998));
    EXPECT_EQ(1999, conv.Zone().transitionYear);
}

TEST_F(TimeCvt, RefusesWhatItCannotConvert)
{
    const DstRuleRecord rule = Rule(kUsRule);
    TimeConverter conv(&rule, 1998);
    const Local bad[] = {
        {1969, 12, 31, 23, 59, 59}, {1998, 0, 1, 0, 0, 0},  {1998, 13, 1, 0, 0, 0},
        {1998, 4, 0, 0, 0, 0},      {1998, 4, 31, 0, 0, 0}, {1999, 2, 29, 0, 0, 0},
        {1998, 1, 1, 24, 0, 0},     {1998, 1, 1, 0, 60, 0}, {1998, 1, 1, 0, 0, 60},
        {1998, -3, 1, 0, 0, 0},     {1998, 1, -1, 0, 0, 0}, {2100, 1, 1, 0, 0, 0},
    };
    for (const Local& l : bad) {
        const ClockDate d = DateOf(l);
        const ClockTime t = TimeOf(l);
        int64_t e = 42;
        EXPECT_FALSE(conv.LocalToEpoch(&d, &t, &e)) << l;
        EXPECT_EQ(42, e);
    }

    // Before 1980-01-01 local standard time (05:00 UTC here), or negative.
    for (int64_t e : {int64_t{INT32_MIN}, int64_t{-1}, int64_t{0}, kEpoch1980, kEpoch1980 + 17999}) {
        ClockDate d{7, 7, 7};
        ClockTime t{7, 7, 7, 7};
        EXPECT_FALSE(conv.EpochToLocal(e, &d, &t)) << e;
        EXPECT_EQ(7, d.da_year);
        EXPECT_EQ(7, t.ti_hour);
        EXPECT_STREQ("?", conv.EpochTimeText(&e));
    }
    EXPECT_STREQ("?", conv.EpochTimeText(nullptr));
    EXPECT_EQ((Local{1980, 1, 1, 0, 0, 0}), ToLocal(conv, kEpoch1980 + 18000));

    // An offset that pushes the local time before 1980 or past 2099.
    const DstRuleRecord farWest = Rule("-1,0,0,0,0,-1,0,0,0,0,2147483647");
    conv.SetDstRule(&farWest, 1998);
    ClockDate d{};
    ClockTime t{};
    EXPECT_FALSE(conv.EpochToLocal(INT32_MAX, &d, &t));
    const DstRuleRecord farEast = Rule("-1,0,0,0,0,-1,0,0,0,0,-2147483647");
    conv.SetDstRule(&farEast, 1998);
    EXPECT_FALSE(conv.EpochToLocal(INT32_MAX, &d, &t));  // local time in 2106
}

namespace {

// Rules the round trips run under: both hemispheres, none, odd offsets, a
// start late in the evening and the last-weekday ordinal.
const char* const kRoundTripRules[] = {
    kUsRule,
    kSouthRule,
    kNoRule,
    "-1,0,0,0,0,-1,0,0,0,0,12345",
    "5,7,3,1,0,5,7,10,1,0,-3600",
    "1,7,10,2,0,1,7,4,3,0,-34200",
    "2,3,3,23,0,4,5,11,1,0,-50400",
};

int64_t LowestConvertible(const DstRuleRecord& rule)
{
    const int64_t low = int64_t{kEpoch1980} + rule.utcOffset;
    return low > 0 ? low : 0;
}

}  // namespace

// From an instant to the wall clock and back gives the instant again, except
// in the last hour of daylight saving: its readings come again in the next
// hour, and the way back takes them as standard time, one hour later.
TEST_F(TimeCvt, RoundTripFromInstant)
{
    const uint64_t seed = TestSeed();
    SCOPED_TRACE(testing::Message() << "KESTRIN_SEED=" << seed);
    std::mt19937_64 rng(seed);
    for (const char* text : kRoundTripRules) {
        SCOPED_TRACE(text);
        const DstRuleRecord rule = Rule(text);
        TimeConverter conv(&rule, 1998);
        // The daylight hour may carry the last hour of 2099 past the calendar.
        std::uniform_int_distribution<int64_t> pick(LowestConvertible(rule),
                                                    kEpoch2100 + rule.utcOffset - 3601);
        for (int i = 0; i < 20000; ++i) {
            const int64_t e = pick(rng);
            ClockDate d{};
            ClockTime t{};
            ASSERT_TRUE(conv.EpochToLocal(e, &d, &t)) << e;
            ASSERT_TRUE(TDate(d.da_day, d.da_month, d.da_year).IsValid()) << e;
            ASSERT_TRUE(t.ti_hour <= 23 && t.ti_minute <= 59 && t.ti_second <= 59) << e;
            int64_t back = 0;
            ASSERT_TRUE(conv.LocalToEpoch(&d, &t, &back)) << e;
            if (back == e)
                continue;
            ASSERT_EQ(e + 3600, back) << e;
            ASSERT_EQ(rule.endMonth, d.da_month) << e;
            ASSERT_EQ(rule.endHour, t.ti_hour) << e;
            ASSERT_EQ(FromRecords(d, t), ToLocal(conv, back)) << e;
        }
    }
}

// From a wall-clock reading to an instant and back gives the reading again,
// except in the hour the clock skips when daylight saving starts: it is taken
// as daylight time, which is the standard-time reading an hour earlier.
TEST_F(TimeCvt, RoundTripFromWallClock)
{
    const uint64_t seed = TestSeed();
    SCOPED_TRACE(testing::Message() << "KESTRIN_SEED=" << seed);
    std::mt19937_64 rng(seed ^ 0x5eed);
    for (const char* text : kRoundTripRules) {
        SCOPED_TRACE(text);
        const DstRuleRecord rule = Rule(text);
        TimeConverter conv(&rule, 1998);
        for (int i = 0; i < 20000; ++i) {
            Local l{};
            l.year = std::uniform_int_distribution<int>(1981, 2099)(rng);
            l.month = std::uniform_int_distribution<int>(1, 12)(rng);
            l.day = std::uniform_int_distribution<int>(1, TDate::DaysInMonth(l.month, l.year))(rng);
            l.hour = std::uniform_int_distribution<int>(0, 23)(rng);
            l.minute = std::uniform_int_distribution<int>(0, 59)(rng);
            l.second = std::uniform_int_distribution<int>(0, 59)(rng);
            const int64_t e = ToEpoch(conv, l);
            const Local back = ToLocal(conv, e);
            if (back == l)
                continue;
            ASSERT_EQ(rule.startMonth, l.month) << l;
            ASSERT_EQ(rule.startHour, l.hour) << l;
            Local earlier = l;
            earlier.hour -= 1;
            ASSERT_EQ(earlier, back) << l;
        }
    }
}

// Second by second across both transitions of 1998 in each hemisphere:
// exactly the 3600 seconds before the end of daylight saving come back an
// hour late, and nothing else moves.
TEST_F(TimeCvt, TransitionHoursBothHemispheres)
{
    struct Case {
        const char* rule;
        int64_t start;  // UTC instant daylight saving starts
        int64_t end;    // UTC instant it ends
    };
    const Case cases[] = {
        {kUsRule, 891759600, 909298800},     // 5 Apr / 25 Oct, 07:00 UTC
        {kSouthRule, 907430400, 889894800},  // 3 Oct 16:00 / 14 Mar 17:00 UTC
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const DstRuleRecord rule = Rule(c.rule);
        TimeConverter conv(&rule, 1998);
        for (int64_t transition : {c.start, c.end}) {
            int late = 0;
            for (int64_t e = transition - 7200; e < transition + 7200; ++e) {
                ClockDate d{};
                ClockTime t{};
                int64_t back = 0;
                ASSERT_TRUE(conv.EpochToLocal(e, &d, &t));
                ASSERT_TRUE(conv.LocalToEpoch(&d, &t, &back));
                const bool repeated = transition == c.end && e >= c.end - 3600 && e < c.end;
                ASSERT_EQ(repeated ? e + 3600 : e, back) << e;
                late += repeated ? 1 : 0;
            }
            EXPECT_EQ(transition == c.end ? 3600 : 0, late);
        }
    }
}

// Rules naming a day the calendar does not have, or an hour the day does
// not have, never give daylight time and never stop the program.
TEST_F(TimeCvt, InvalidRuleIsNeverDaylightTime)
{
    const char* const rules[] = {
        "0,7,4,2,0,5,7,10,2,0,0",   "6,7,4,2,0,5,7,10,2,0,0",   "1,7,4,2,0,-1,7,10,2,0,0",
        "1,7,4,2,0,0,7,10,2,0,0",   "1,8,4,2,0,5,7,10,2,0,0",   "1,-1,4,2,0,5,7,10,2,0,0",
        "1,7,0,2,0,5,7,10,2,0,0",   "1,7,4,2,0,5,7,13,2,0,0",   "1,7,-4,2,0,5,7,10,2,0,0",
        "1,7,4,-1,0,5,7,10,2,0,0",  "1,7,4,24,0,5,7,10,2,0,0",  "1,7,4,2,0,5,7,10,99,0,0",
        // Values that an 8-bit field would wrap into a plausible month or hour.
        "1,7,257,2,0,5,7,10,2,0,0", "1,7,4,258,0,5,7,10,2,0,0", "1,7,4,2,0,5,7,266,2,0,0",
        ("2147483647,-2147483648,2147483647,-2147483648,-2147483648,"
         "-2147483648,2147483647,-2147483648,2147483647,2147483647,0"),
    };
    for (const char* text : rules) {
        SCOPED_TRACE(text);
        const DstRuleRecord rule = Rule(text);
        TimeConverter conv(&rule, 1998);
        for (int day = 0; day <= 364; ++day) {
            for (int hour = 0; hour <= 23; ++hour)
                ASSERT_FALSE(conv.IsDaylightTime(hour, day, 1998)) << day << " " << hour;
        }
        for (int64_t e = 883612800; e < 915148800; e += 7 * 3600 + 13) {  // through 1998
            ASSERT_EQ(CivilFromEpoch(e), ToLocal(conv, e)) << e;
            ASSERT_EQ(e, ToEpoch(conv, CivilFromEpoch(e)));
            ASSERT_EQ("EST", std::string(conv.EpochTimeText(&e)).substr(25));
        }
    }
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
// Our own broken preconditions stop the program with the check that failed.
TEST(TimeCvtDeathTest, BrokenPreconditionsStop)
{
    const DstRuleRecord rule = Rule(kUsRule);
    TimeConverter conv(&rule, 1998);
    ClockDate d{};
    ClockTime t{};
    int64_t e = 0;
    EXPECT_DEATH(conv.LocalToEpoch(nullptr, &t, &e),
                 "Assertion failed: \\(d != NULL\\) && \\(t != NULL\\), file TIMECVT, line 51");
    EXPECT_DEATH(conv.EpochToLocal(0, &d, nullptr),
                 "Assertion failed: \\(d != NULL\\) && \\(t != NULL\\), file TIMECVT, line 97");
    EXPECT_DEATH(conv.IsDaylightTime(24, 0, 1998),
                 "Assertion failed: \\(hour >= 0\\) && \\(hour <= 23\\), file TIMECVT, line 177");
    EXPECT_DEATH(conv.IsDaylightTime(0, 366, 1998),
                 "Assertion failed: \\(Day >= 0\\) && \\(Day <= 365\\), file TIMECVT, line 176");
}
#endif
