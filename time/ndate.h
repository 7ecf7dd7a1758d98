// NDate: the date type of the time arithmetic, which finds the n-th weekday
// of a month.
#pragma once

#include "framework/tdate.h"

class NDate : public TDate {
public:
    using TDate::TDate;
    NDate() = default;
    NDate(const TDate& date) : TDate(date) {}

    // Day of month (1..31) of the ordinal-th weekday in this date's month:
    // ordinal 1..4 = first..fourth, 5 = the last; weekday 1 = Monday ..
    // 7 = Sunday, 0 = Sunday too. Meant for the first day of a month; any
    // other day of the month gives the same answer. Returns 0 for an
    // ordinal outside 1..5, a weekday above 7, or the invalid date.
    int NthWeekday(int ordinal, unsigned weekday) const;
};
