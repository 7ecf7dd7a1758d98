// UTC calendar for certificate dates: seconds since 1970 to a civil time,
// far past 2038 (certificates run to 9999), and their order.
#pragma once

#include <cstdint>

struct CivilTime {
    int year;    // e.g. 2038
    int month;   // 1..12
    int day;     // 1..31
    int hour;    // 0..23
    int minute;  // 0..59
    int second;  // 0..59
};

// The proleptic Gregorian UTC time of epochSeconds (negative: before 1970).
CivilTime CivilFromEpoch(int64_t epochSeconds);

// Whether a lies before b, field by field.
bool CivilBefore(const CivilTime& a, const CivilTime& b);
