// The local clock's reading as the clock interface gives and takes it.
#pragma once

#include <cstdint>

// A local calendar date.
struct ClockDate {
    int32_t da_year;   // full year, e.g. 1997
    int8_t da_day;     // day of month, 1..31
    int8_t da_month;   // 1..12
};

// A local time of day.
struct ClockTime {
    uint8_t ti_minute;      // 0..59
    uint8_t ti_hour;        // 0..23
    uint8_t ti_hundredths;  // 0..99, clock milliseconds / 10, truncated
    uint8_t ti_second;      // 0..59
};
