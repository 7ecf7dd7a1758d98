// Unit tests of NDate::NthWeekday, the day of a daylight-saving transition.
#include "time/ndate.h"

#include <gtest/gtest.h>

TEST(NDate, NthWeekdayOnFirstOfMarch1998)
{
    // 1 March 1998 is a Sunday; March 1998 has five Sundays.
    struct Case {
        int ordinal;
        unsigned weekday;
        int day;
    };
    const Case cases[] = {
        {1, 7, 1},  {1, 0, 1},  {5, 7, 29}, {5, 0, 29}, {4, 7, 22}, {2, 1, 9},
        {1, 6, 7},  {5, 2, 31}, {5, 3, 25}, {6, 7, 0},  {0, 7, 0},  {-1, 7, 0},
        {1, 8, 0},  {1, static_cast<unsigned>(-1), 0},
    };
    const NDate first(1, 3, 1998);
    for (const Case& c : cases)
        EXPECT_EQ(c.day, first.NthWeekday(c.ordinal, c.weekday)) << c.ordinal << "," << c.weekday;
}

TEST(NDate, LastWeekdayIsFourthWhenNoFifth)
{
    EXPECT_EQ(25, NDate(1, 10, 1998).NthWeekday(5, 7));  // October 1998: four Sundays
    EXPECT_EQ(29, NDate(1, 2, 2004).NthWeekday(5, 7));   // leap February with five Sundays
    EXPECT_EQ(22, NDate(1, 2, 2004).NthWeekday(4, 7));
    EXPECT_EQ(22, NDate(1, 2, 2009).NthWeekday(5, 7));   // February 2009: exactly four weeks
}

TEST(NDate, InvalidDateGivesZero)
{
    EXPECT_EQ(0, NDate(1, 13, 1998).NthWeekday(1, 7));
    EXPECT_EQ(0, NDate(1, 0, 1998).NthWeekday(1, 7));
    EXPECT_EQ(0, NDate().NthWeekday(1, 7));
}

// Against counting weekdays day by day, for every month of 1980..2040.
TEST(NDate, NthWeekdayMatchesCounting)
{
    for (int year = 1980; year <= 2040; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (unsigned weekday = 0; weekday <= 7; ++weekday) {
                const int wanted = (weekday == 0) ? 7 : static_cast<int>(weekday);
                int found[6] = {};
                int count = 0;
                for (int day = 1; TDate::DayWithinMonth(day, month, year); ++day) {
                    if (TDate(day, month, year).WeekDay() == wanted)
                        found[++count] = day;
                }
                const NDate first(1, month, year);
                for (int ordinal = 1; ordinal <= 4; ++ordinal)
                    ASSERT_EQ(found[ordinal], first.NthWeekday(ordinal, weekday))
                        << year << "-" << month << " " << ordinal << "," << weekday;
                ASSERT_EQ(found[count], first.NthWeekday(5, weekday)) << year << "-" << month;
            }
        }
    }
}
