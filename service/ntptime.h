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
// From 2036-02-07 06:28:16 UTC the seconds word starts again at 0 (era 1).
NtpTime NtpFromEpoch(int64_t epochSeconds, int hundredths);
// A timestamp of a clock reading: NtpFromEpoch plus the milliseconds past
// the hundredth (0..9) at 4294968 units each. Cut to hundredths, both ends
// of an exchange would sit 5 ms early on average, and the offset with them.
NtpTime NtpFromReading(int64_t epochSeconds, int hundredths, int pastHundredthMs);

// The NTP seconds word as epoch seconds. The word names an instant only
// modulo 2^32 s (136 years); the era is taken the way RFC 4330 (section 3)
// does: with the top bit set, 1968 to 2036; without it, 2036 to 2104. That
// holds every year the calendar here can show (1970 to 2099).
int64_t UnixSecondsOfNtp(uint32_t ntpSeconds);

// A timestamp rounded to hundredths: milliseconds = fraction / 4294968,
// hundredths = (ms + 5) / 10; 100 carries one second into epochSeconds.
struct EpochHundredths {
    int64_t epochSeconds;  // UnixSecondsOfNtp of the rounded seconds word
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
NtpTime NtpAdd(NtpTime a, NtpTime b);
NtpTime NtpSub(NtpTime a, NtpTime b);
NtpTime NtpNegate(NtpTime a);
NtpTime NtpHalve(NtpTime a);  // arithmetic shift right by one bit
