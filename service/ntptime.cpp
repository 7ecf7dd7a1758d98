// NTP timestamps: conversion to and from epoch seconds, interval arithmetic.
#include "service/ntptime.h"

namespace {

// The pair as one 64-bit value; all interval arithmetic is done unsigned so
// that it wraps modulo 2^64 without undefined behaviour.
uint64_t ToBits(NtpTime t)
{
    return (static_cast<uint64_t>(t.seconds) << 32) | t.fraction;
}

NtpTime FromBits(uint64_t bits)
{
    return NtpTime{static_cast<uint32_t>(bits >> 32), static_cast<uint32_t>(bits)};
}

// Rounds a fraction to hundredths: milliseconds = fraction / 4294968 (0..999),
// hundredths = (ms + 5) / 10. Returns 0..100; 100 means carry one second.
int RoundFraction(uint32_t fraction)
{
    const uint32_t milliseconds = fraction / kFractionPerMillisecond;
    return static_cast<int>((milliseconds + 5) / 10);
}

}  // namespace

NtpTime NtpFromEpoch(int64_t epochSeconds, int hundredths)
{
    return NtpTime{static_cast<uint32_t>(static_cast<uint64_t>(epochSeconds) + kNtpToEpoch),
                   static_cast<uint32_t>(hundredths) * kFractionPerHundredth};
}

NtpTime NtpFromReading(int64_t epochSeconds, int hundredths, int pastHundredthMs)
{
    NtpTime t = NtpFromEpoch(epochSeconds, hundredths);
    // 99 hundredths and 9 ms stay below 2^32: no carry into the seconds.
    t.fraction += static_cast<uint32_t>(pastHundredthMs) * kFractionPerMillisecond;
    return t;
}

int64_t UnixSecondsOfNtp(uint32_t ntpSeconds)
{
    constexpr int64_t kEra = int64_t{1} << 32;
    const int64_t seconds = (ntpSeconds & 0x80000000u) != 0 ? ntpSeconds : ntpSeconds + kEra;
    return seconds - int64_t{kNtpToEpoch};
}

EpochHundredths EpochFromNtp(NtpTime t)
{
    const RoundedSeconds r = RoundToHundredths(t);
    return EpochHundredths{UnixSecondsOfNtp(r.seconds), r.hundredths};
}

RoundedSeconds RoundToHundredths(NtpTime t)
{
    int hundredths = RoundFraction(t.fraction);
    uint32_t seconds = t.seconds;
    if (hundredths == 100) {
        hundredths = 0;
        seconds += 1;  // wraps modulo 2^32 like the seconds word itself
    }
    return RoundedSeconds{seconds, hundredths};
}

int64_t NtpToFixed(NtpTime t)
{
    return static_cast<int64_t>(ToBits(t));
}

NtpTime NtpAdd(NtpTime a, NtpTime b)
{
    return FromBits(ToBits(a) + ToBits(b));
}

NtpTime NtpSub(NtpTime a, NtpTime b)
{
    return FromBits(ToBits(a) - ToBits(b));
}

NtpTime NtpNegate(NtpTime a)
{
    // The most negative value (seconds 0x80000000, fraction 0) negates to itself.
    return FromBits(0 - ToBits(a));
}

NtpTime NtpHalve(NtpTime a)
{
    // Arithmetic shift: the sign bit of the seconds word is kept.
    const uint64_t bits = ToBits(a);
    return FromBits((bits >> 1) | (bits & 0x8000000000000000u));
}
