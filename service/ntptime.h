// NTP timestamps (32.32 fixed point since 1900) and their link to the clock.
#pragma once

#include <cstdint>

// Seconds from 1900-01-01 to 1970-01-01.
inline constexpr uint32_t kNtpToEpoch = 2208988800u;
// Fraction units per hundredth when a timestamp is made from the clock
// (deliberately not the exact 42949672.96: 99 hundredths still fit).
inline constexpr uint32_t kFractionPerHundredth = 42949680u;
// Fraction units per millisecond when a fraction is read back.
inline constexpr uint32_t kFractionPerMillisecond = 4294968u;

// Both words in host order. As an interval the pair is one 64-bit
// two's-complement number whose high word (seconds) is signed.
struct NtpTime {
    uint32_t seconds;   // since 1900-01-01 00:00 UTC, modulo 2^32
    uint32_t fraction;  // units of 2^-32 s
};

// seconds = epochSeconds + 2208988800 (mod 2^32), fraction = hundredths * 42949680.
NtpTime NtpFromEpoch(int32_t epochSeconds, int hundredths);

// A timestamp rounded to hundredths: milliseconds = fraction / 4294968,
// hundredths = (ms + 5) / 10; 100 carries one second into epochSeconds.
struct EpochHundredths {
    int32_t epochSeconds;  // seconds word - 2208988800 (mod 2^32)
    int hundredths;        // 0..99
};
EpochHundredths EpochFromNtp(NtpTime t);

// The same rounding applied to an interval's magnitude: whole seconds and
// hundredths for display, with the carry.
struct RoundedSeconds {
    uint32_t seconds;
    int hundredths;  // 0..99
};
RoundedSeconds RoundToHundredths(NtpTime t);

// Interval arithmetic modulo 2^64 on the word pairs.
int64_t NtpToFixed(NtpTime t);
NtpTime NtpFromFixed(int64_t value);
NtpTime NtpAdd(NtpTime a, NtpTime b);
NtpTime NtpSub(NtpTime a, NtpTime b);
NtpTime NtpNegate(NtpTime a);
NtpTime NtpHalve(NtpTime a);  // arithmetic shift right by one bit
