// The system time as an NTP stamp, for the bench's bare answerers.
#pragma once

#include <windows.h>

#include <cstdint>

#include "service/ntptime.h"

// FILETIME counts 100 ns units since 1601; NTP seconds since 1900.
inline NtpTime SystemNtpNow()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t ticks = (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
    const uint64_t unixTicks = ticks - 116444736000000000ull;
    NtpTime t;
    t.seconds = static_cast<uint32_t>(unixTicks / 10000000u + kNtpToEpoch);
    t.fraction = static_cast<uint32_t>(((unixTicks % 10000000u) << 32) / 10000000u);
    return t;
}
