// TDate: a calendar date of the Gregorian calendar, held as a day number.
#pragma once

// A date as its Julian day number; 0 is the invalid date, which compares
// below every valid date. Years 1..9999 only; anything else is invalid.
class TDate {
public:
    // The invalid date.
    TDate() = default;

    // day of month, month 1..12, full year. A day that does not exist in
    // that month gives the invalid date.
    TDate(int day, int month, int year);

    // dayOfYear counted from 1 (1 January). A day beyond the year's last
    // gives the invalid date.
    TDate(int dayOfYear, int year);

    bool IsValid() const { return julian_ != 0; }

    // Each 0 for the invalid date.
    int Day() const;        // 1..31
    int Month() const;      // 1..12
    int Year() const;
    int DayOfYear() const;  // 1..366
    int WeekDay() const;    // 1 = Monday .. 7 = Sunday

    // "Monday".."Sunday" for 1..7, "January".."December" for 1..12;
    // "" for any other number.
    static const char* WeekDayName(int weekDay);
    static const char* MonthName(int month);

    // True when day exists in month of year (Gregorian leap years).
    static bool DayWithinMonth(int day, int month, int year);

    // Days of month in year; 0 for a month outside 1..12.
    static int DaysInMonth(int month, int year);

    friend bool operator==(const TDate& a, const TDate& b) { return a.julian_ == b.julian_; }
    friend bool operator!=(const TDate& a, const TDate& b) { return a.julian_ != b.julian_; }
    friend bool operator<(const TDate& a, const TDate& b) { return a.julian_ < b.julian_; }
    friend bool operator>(const TDate& a, const TDate& b) { return a.julian_ > b.julian_; }
    friend bool operator<=(const TDate& a, const TDate& b) { return a.julian_ <= b.julian_; }
    friend bool operator>=(const TDate& a, const TDate& b) { return a.julian_ >= b.julian_; }

private:
    struct Civil {
        int year;
        int month;
        int day;
    };
    Civil ToCivil() const;

    long julian_ = 0;  // Julian day number (days since 24 November 4714 BC, Gregorian)
};
