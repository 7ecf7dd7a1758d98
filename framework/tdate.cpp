// TDate: Gregorian dates as Julian day numbers and back.
#include "framework/tdate.h"

namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Julian day number of a valid Gregorian date (the usual integer formula,
// counting March as the first month so that the leap day ends the year).
long JulianDay(int day, int month, int year)
{
    const int a = (14 - month) / 12;
    const long y = static_cast<long>(year) + 4800 - a;
    const long m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

const char* const kWeekDayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday",
                                     "Friday", "Saturday", "Sunday"};
const char* const kMonthNames[] = {"January", "February", "March",     "April",
                                   "May",     "June",     "July",      "August",
                                   "September", "October", "November", "December"};

}  // namespace

TDate::TDate(int day, int month, int year)
{
    if (DayWithinMonth(day, month, year))
        julian_ = JulianDay(day, month, year);
}

TDate::TDate(int dayOfYear, int year)
{
    if (year < kMinYear || year > kMaxYear)
        return;
    if (dayOfYear < 1 || dayOfYear > (IsLeapYear(year) ? 366 : 365))
        return;
    julian_ = JulianDay(1, 1, year) + dayOfYear - 1;
}

TDate::Civil TDate::ToCivil() const
{
    // Inverse of JulianDay (Richards' algorithm).
    const long a = julian_ + 32044;
    const long b = (4 * a + 3) / 146097;
    const long c = a - 146097 * b / 4;
    const long d = (4 * c + 3) / 1461;
    const long e = c - 1461 * d / 4;
    const long m = (5 * e + 2) / 153;
    Civil civil;
    civil.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    civil.month = static_cast<int>(m + 3 - 12 * (m / 10));
    civil.year = static_cast<int>(100 * b + d - 4800 + m / 10);
    return civil;
}

int TDate::Day() const { return IsValid() ? ToCivil().day : 0; }
int TDate::Month() const { return IsValid() ? ToCivil().month : 0; }
int TDate::Year() const { return IsValid() ? ToCivil().year : 0; }

int TDate::DayOfYear() const
{
    if (!IsValid())
        return 0;
    return static_cast<int>(julian_ - JulianDay(1, 1, ToCivil().year)) + 1;
}

int TDate::WeekDay() const
{
    // Julian day 0 was a Monday.
    return IsValid() ? static_cast<int>(julian_ % 7) + 1 : 0;
}

const char* TDate::WeekDayName(int weekDay)
{
    return (weekDay >= 1 && weekDay <= 7) ? kWeekDayNames[weekDay - 1] : "";
}

const char* TDate::MonthName(int month)
{
    return (month >= 1 && month <= 12) ? kMonthNames[month - 1] : "";
}

int TDate::DaysInMonth(int month, int year)
{
    static const int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return kLengths[month - 1] + ((month == 2 && IsLeapYear(year)) ? 1 : 0);
}

bool TDate::DayWithinMonth(int day, int month, int year)
{
    if (year < kMinYear || year > kMaxYear)
        return false;
    return day >= 1 && day <= DaysInMonth(month, year);
}
