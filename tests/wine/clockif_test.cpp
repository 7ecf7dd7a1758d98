// The real clock interface under Wine: readings track the host's clock, and
// setting works within the half second Wine tolerates and fails beyond it.
#include "service/clockif.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <ctime>

namespace {

// Local time as one comparable number, in hundredths of a second; days are
// counted with a fixed 31-day month, which keeps the order.
int64_t Ordinal(const ClockDate& d, const ClockTime& t)
{
    int64_t days = (int64_t{d.da_year} * 12 + d.da_month) * 31 + d.da_day;
    int64_t seconds = ((days * 24 + t.ti_hour) * 60 + t.ti_minute) * 60 + t.ti_second;
    return seconds * 100 + t.ti_hundredths;
}

// Seconds since 1970 of a local reading, via the C library's zone.
time_t AsTimeT(const ClockDate& d, const ClockTime& t)
{
    std::tm tm{};
    tm.tm_year = d.da_year - 1900;
    tm.tm_mon = d.da_month - 1;
    tm.tm_mday = d.da_day;
    tm.tm_hour = t.ti_hour;
    tm.tm_min = t.ti_minute;
    tm.tm_sec = t.ti_second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// A reading moved by whole hours, through the C library's calendar.
void ShiftHours(ClockDate* d, ClockTime* t, int hours)
{
    time_t moved = AsTimeT(*d, *t) + hours * 3600;
    std::tm* tm = std::localtime(&moved);
    ASSERT_NE(tm, nullptr);
    d->da_year = tm->tm_year + 1900;
    d->da_month = static_cast<int8_t>(tm->tm_mon + 1);
    d->da_day = static_cast<int8_t>(tm->tm_mday);
    t->ti_hour = static_cast<uint8_t>(tm->tm_hour);
    t->ti_minute = static_cast<uint8_t>(tm->tm_min);
    t->ti_second = static_cast<uint8_t>(tm->tm_sec);
}

TEST(ClockIf, ReadingsAreMonotoneAndMatchTheHostClock)
{
    ClockDate d1{}, d2{};
    ClockTime t1{}, t2{};
    time_t before = std::time(nullptr);
    EXPECT_EQ(ReadLocalClock(&d1, &t1), 1);
    Sleep(30);
    EXPECT_EQ(ReadLocalClock(&d2, &t2), 1);
    time_t after = std::time(nullptr);

    EXPECT_GE(Ordinal(d2, t2), Ordinal(d1, t1));
    EXPECT_LE(t1.ti_hundredths, 99);
    EXPECT_GE(d1.da_month, 1);
    EXPECT_LE(d1.da_month, 12);
    EXPECT_GE(d1.da_year, 2020);
    EXPECT_GE(AsTimeT(d1, t1), before - 1);
    EXPECT_LE(AsTimeT(d2, t2), after + 1);
}

TEST(ClockIf, SettingTheTimeJustReadSucceeds)
{
    ClockDate d{};
    ClockTime t{};
    ReadLocalClock(&d, &t);
    EXPECT_EQ(SetLocalClock(&d, &t), 0u);
}

TEST(ClockIf, SettingHoursAwayFailsWithoutThePrivilege)
{
    ClockDate d{};
    ClockTime t{};
    ReadLocalClock(&d, &t);
    ShiftHours(&d, &t, 3);
    EXPECT_EQ(SetLocalClock(&d, &t), 1314u);

    // The clock did not move.
    ClockDate nowDate{};
    ClockTime nowTime{};
    ReadLocalClock(&nowDate, &nowTime);
    EXPECT_LE(std::llabs(static_cast<long long>(AsTimeT(nowDate, nowTime) - std::time(nullptr))), 1);
}

}  // namespace
