// Unit tests of TDate: day numbers, calendar fields, names, invalid dates.
#include "framework/tdate.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(TDate, FieldsOfKnownDates)
{
    struct Case {
        int day, month, year;
        int weekDay;    // 1 = Monday
        int dayOfYear;  // 1-based
    };
    const Case cases[] = {
        {1, 1, 1970, 4, 1},     {1, 1, 2000, 6, 1},     {29, 2, 2000, 2, 60},
        {31, 12, 2000, 7, 366}, {1, 3, 1900, 4, 60},    {31, 12, 1999, 5, 365},
        {7, 2, 2036, 4, 38},    {19, 1, 2038, 2, 19},   {1, 3, 1998, 7, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.day << "." << c.month << "." << c.year);
        const TDate date(c.day, c.month, c.year);
        ASSERT_TRUE(date.IsValid());
        EXPECT_EQ(c.day, date.Day());
        EXPECT_EQ(c.month, date.Month());
        EXPECT_EQ(c.year, date.Year());
        EXPECT_EQ(c.weekDay, date.WeekDay());
        EXPECT_EQ(c.dayOfYear, date.DayOfYear());
        EXPECT_EQ(date, TDate(c.dayOfYear, c.year));
    }
}

TEST(TDate, NonexistentDayIsInvalidAndBelowEveryValidDate)
{
    const TDate earliest(1, 1, 1);
    const TDate invalid[] = {TDate(29, 2, 1900), TDate(31, 4, 1998), TDate(0, 1, 1998),
                             TDate(1, 13, 1998), TDate(1, 0, 1998),  TDate(367, 2000),
                             TDate(366, 1999),   TDate(0, 1999),     TDate(1, 1, 0)};
    for (const TDate& date : invalid) {
        EXPECT_FALSE(date.IsValid());
        EXPECT_LT(date, earliest);
        EXPECT_EQ(0, date.Month());
        EXPECT_EQ(0, date.DayOfYear());
    }
    EXPECT_TRUE(TDate(29, 2, 2000).IsValid());
    EXPECT_FALSE(TDate::DayWithinMonth(29, 2, 2100));
    EXPECT_TRUE(TDate::DayWithinMonth(29, 2, 2400));
    EXPECT_TRUE(TDate::DayWithinMonth(31, 12, 1998));
    EXPECT_FALSE(TDate::DayWithinMonth(31, 11, 1998));
}

// Every day of two centuries: day of year and calendar fields agree, dates
// step by one and the weekday cycles.
TEST(TDate, ConsecutiveDaysAgreeBothWays)
{
    TDate previous(31, 12, 1899);
    int weekDay = previous.WeekDay();
    for (int year = 1900; year <= 2100; ++year) {
        const int length = TDate::DayWithinMonth(29, 2, year) ? 366 : 365;
        for (int n = 1; n <= length; ++n) {
            const TDate date(n, year);
            ASSERT_TRUE(date.IsValid()) << n << "/" << year;
            ASSERT_EQ(date, TDate(date.Day(), date.Month(), date.Year())) << n << "/" << year;
            ASSERT_EQ(n, date.DayOfYear());
            ASSERT_LT(previous, date);
            weekDay = weekDay % 7 + 1;
            ASSERT_EQ(weekDay, date.WeekDay()) << n << "/" << year;
            previous = date;
        }
    }
}

TEST(TDate, Names)
{
    EXPECT_STREQ("Monday", TDate::WeekDayName(1));
    EXPECT_STREQ("Sunday", TDate::WeekDayName(7));
    EXPECT_STREQ("January", TDate::MonthName(1));
    EXPECT_STREQ("December", TDate::MonthName(12));
    EXPECT_STREQ("", TDate::WeekDayName(0));
    EXPECT_STREQ("", TDate::WeekDayName(8));
    EXPECT_STREQ("", TDate::MonthName(13));
}
