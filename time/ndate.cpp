// NDate: the n-th or last weekday of a month, the day a daylight-saving
// transition falls on.
#include "time/ndate.h"

int NDate::NthWeekday(int ordinal, unsigned weekday) const
{
    if (weekday > 7 || ordinal < 1 || ordinal > 5 || !IsValid())
        return 0;

    const int month = Month();
    const int year = Year();
    const int w = NDate(1, month, year).WeekDay();  // weekday of the 1st
    const int wanted = static_cast<int>(weekday);   // 0 and 7 both reach Sunday below
    int day = (w <= wanted) ? wanted - w + 1 : 7 - w + wanted + 1;

    // Every month has at least four of each weekday, so the fourth always
    // lies within it; "last" is the fifth where the month has one.
    const int steps = (ordinal == 5) ? 3 : ordinal - 1;
    day += 7 * steps;
    if (ordinal == 5 && DayWithinMonth(day + 7, month, year))
        day += 7;
    return day;
}
