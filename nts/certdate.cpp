// Civil time from seconds since 1970, in eras of 400 years (146,097 days)
// so that one formula holds for every date.
#include "nts/certdate.h"

CivilTime CivilFromEpoch(int64_t epochSeconds)
{
    int64_t days = epochSeconds / 86400;
    int64_t rest = epochSeconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days since 0000-03-01: the leap day falls at the end of each year.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;                                          // 0..146096
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);  // from March 1
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;                           // 0 = March
    CivilTime t;
    t.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    t.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    t.year = static_cast<int>(yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest % 3600 / 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

bool CivilBefore(const CivilTime& a, const CivilTime& b)
{
    const int x[6] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
    const int y[6] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
    for (int i = 0; i < 6; ++i) {
        if (x[i] != y[i])
            return x[i] < y[i];
    }
    return false;
}
