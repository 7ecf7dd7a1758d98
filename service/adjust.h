// Clock offset from the four timestamps of an exchange, the decision to set
// the clock, the status text and the poll-interval adaptation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "service/ntptime.h"
#include "time/timecvt.h"

// Offsets whose whole seconds reach this are not applied (unless told to).
inline constexpr int32_t kMaxSetSeconds = 5400;
// The poll interval grows to at most this many times the configured one.
inline constexpr int32_t kMaxIntervalFactor = 16;
// Status texts are built in buffers of this size.
inline constexpr size_t kStatusTextSize = 80;

// theta = ((T2 - T1) + (T3 - T4)) / 2, modulo 2^64 on the word pairs:
//   T1 originate (client send), T2 receive (server), T3 transmit (server),
//   T4 destination (client receive). Positive: the local clock is behind.
NtpTime ClockOffset(NtpTime t1, NtpTime t2, NtpTime t3, NtpTime t4);

// Halves the interval (not below base) when the offset shown, in ms at
// hundredth resolution, exceeds maxDeltaMs; else doubles it up to 16 x base.
int32_t AdaptPollInterval(int32_t currentInterval, int32_t baseInterval, int32_t maxDeltaMs,
                          RoundedSeconds shownOffset);

// What one adjustment did.
enum class AdjustAction {
    Set,        // the clock was set; the interval adapted
    SetFailed,  // SetLocalClock returned an error code
    NotSet,     // 5400 s or more and no ignoreLimit
};

struct AdjustResult {
    AdjustAction action;
    uint32_t error;                   // SetLocalClock's code for SetFailed
    int32_t currentInterval;          // the poll interval afterwards
    char statusText[kStatusTextSize]; // the status line
};

struct AdjustInput {
    NtpTime t1, t2, t3, t4;
    bool ignoreLimit;
    int32_t maxDeltaMs;
    int32_t baseInterval;
    int32_t currentInterval;
};

// Works out the offset, reads the clock again (N), and sets it to N + offset
// when allowed, producing one of
//   "Last set: %s   Delta: %c%ld.%02d secs"
//   "Set Time error %ld"
//   "Clock NOT Set:   Delta = %c%ld seconds (Check TZ)"
// A clock reading or corrected time that is no usable local time (before
// 1980 local standard time, or past 2099) is not set: "Set Time error 87".
AdjustResult AdjustClock(TimeConverter& zone, const AdjustInput& input);
