// Certificate dates: the calendar against a day-by-day count, the instants
// where 32-bit clocks fail, and the order of dates.
#include "nts/certdate.h"

#include <gtest/gtest.h>

namespace {

bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int y, int m)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && Leap(y) ? 29 : kDays[m - 1];
}

TEST(CertDate, EveryDayFrom1970To2200MatchesACount)
{
    int y = 1970, m = 1, d = 1;
    for (int64_t day = 0; y < 2200; ++day) {
        const CivilTime t = CivilFromEpoch(day * 86400 + 86399);
        ASSERT_EQ(y, t.year) << day;
        ASSERT_EQ(m, t.month) << day;
        ASSERT_EQ(d, t.day) << day;
        ASSERT_EQ(23, t.hour);
        if (++d > DaysIn(y, m)) {
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }
}

TEST(CertDate, InstantsPastThirtyTwoBits)
{
    const struct {
        int64_t epochSeconds;
        CivilTime want;
    } cases[] = {
        {0, {1970, 1, 1, 0, 0, 0}},
        {-1, {1969, 12, 31, 23, 59, 59}},
        {2147483647, {2038, 1, 19, 3, 14, 7}},
        {2147483648, {2038, 1, 19, 3, 14, 8}},
        {4294967296, {2106, 2, 7, 6, 28, 16}},
        {253402300799, {9999, 12, 31, 23, 59, 59}},  // the latest date a certificate can hold
        {951782400, {2000, 2, 29, 0, 0, 0}},
        {4107542400, {2100, 3, 1, 0, 0, 0}},         // 2100 is no leap year
    };
    for (const auto& c : cases) {
        const CivilTime t = CivilFromEpoch(c.epochSeconds);
        EXPECT_EQ(c.want.year, t.year) << c.epochSeconds;
        EXPECT_EQ(c.want.month, t.month) << c.epochSeconds;
        EXPECT_EQ(c.want.day, t.day) << c.epochSeconds;
        EXPECT_EQ(c.want.hour, t.hour) << c.epochSeconds;
        EXPECT_EQ(c.want.minute, t.minute) << c.epochSeconds;
        EXPECT_EQ(c.want.second, t.second) << c.epochSeconds;
    }
}

TEST(CertDate, OrderIsFieldByField)
{
    const CivilTime base{2030, 6, 15, 12, 30, 30};
    EXPECT_FALSE(CivilBefore(base, base));
    const CivilTime later[] = {{2031, 1, 1, 0, 0, 0}, {2030, 7, 1, 0, 0, 0}, {2030, 6, 16, 0, 0, 0},
                               {2030, 6, 15, 13, 0, 0}, {2030, 6, 15, 12, 31, 0}, {2030, 6, 15, 12, 30, 31}};
    for (const CivilTime& l : later) {
        EXPECT_TRUE(CivilBefore(base, l));
        EXPECT_FALSE(CivilBefore(l, base));
    }
}

}  // namespace
