// Clock offset from an exchange, the decision to set the clock, the status
// text and the poll-interval adaptation.
#include "service/adjust.h"

#include <cstdio>

#include "service/clockif.h"

namespace {

constexpr int32_t kMillisecondsPerSecond = 1000;
constexpr int32_t kMillisecondsPerHundredth = 10;
// The code reported when the corrected time is no usable local time
// (ERROR_INVALID_PARAMETER): the clock is not touched.
constexpr uint32_t kUnusableTimeError = 87;

AdjustResult Failed(const AdjustInput& input, uint32_t error)
{
    AdjustResult result{AdjustAction::SetFailed, error, input.currentInterval, {}};
    // Printed as the system prints its codes: a signed 32-bit number.
    std::snprintf(result.statusText, sizeof result.statusText, "Set Time error %ld",
                  static_cast<long>(static_cast<int32_t>(error)));
    return result;
}

}  // namespace

NtpTime ClockOffset(NtpTime t1, NtpTime t2, NtpTime t3, NtpTime t4)
{
    //   T1 client sends     T2 server receives
    //   T4 client receives  T3 server sends
    //   theta = ((T2 - T1) + (T3 - T4)) / 2
    // The round-trip delay ((T4 - T1) - (T3 - T2)) is not needed.
    const NtpTime a = NtpSub(t2, t1);
    const NtpTime b = NtpSub(t3, t4);
    return NtpHalve(NtpAdd(a, b));
}

int32_t AdaptPollInterval(int32_t currentInterval, int32_t baseInterval, int32_t maxDeltaMs,
                          RoundedSeconds shownOffset)
{
    // The offset in milliseconds at hundredth resolution. An offset applied
    // with the limit lifted can be far beyond 32 bits of milliseconds: such a
    // clock is plainly not keeping time, so saturate.
    int64_t ms = static_cast<int64_t>(shownOffset.seconds) * kMillisecondsPerSecond +
                 static_cast<int64_t>(shownOffset.hundredths) * kMillisecondsPerHundredth;
    if (ms > INT32_MAX)
        ms = INT32_MAX;

    int64_t interval = currentInterval;
    if (ms > maxDeltaMs) {
        interval /= 2;
        if (interval < baseInterval)
            interval = baseInterval;
    } else if (interval < static_cast<int64_t>(kMaxIntervalFactor) * baseInterval) {
        interval *= 2;
        if (interval > INT32_MAX)
            interval = INT32_MAX;
    }
    return static_cast<int32_t>(interval);
}

AdjustResult AdjustClock(TimeConverter& zone, const AdjustInput& input)
{
    const NtpTime theta = ClockOffset(input.t1, input.t2, input.t3, input.t4);

    // Split into sign and magnitude M; the clock goes to X = N + theta.
    const bool negative = (theta.seconds & 0x80000000u) != 0;
    const char sign = negative ? '-' : '+';
    const NtpTime magnitude = negative ? NtpNegate(theta) : theta;

    // Whole seconds of M. Being half of a 64-bit sum, theta stays within
    // +-2^30 s, so M's seconds word fits in 31 bits; were it ever 2^31 (the
    // negation of the most negative pair is that pair), comparing unsigned
    // still counts it as beyond the limit.
    const uint32_t wholeSeconds = magnitude.seconds;
    const bool withinLimit = wholeSeconds < static_cast<uint32_t>(kMaxSetSeconds);

    if (!withinLimit && !input.ignoreLimit) {
        AdjustResult result{AdjustAction::NotSet, 0, input.currentInterval, {}};
        std::snprintf(result.statusText, sizeof result.statusText,
                      "Clock NOT Set:   Delta = %c%ld seconds (Check TZ)", sign,
                      static_cast<long>(wholeSeconds));
        return result;
    }

    // N: the clock now, not T4; the time since the reply arrived counts.
    ClockDate date{};
    ClockTime time{};
    int pastHundredthMs = 0;
    ReadLocalClock(&date, &time, &pastHundredthMs);
    zone.FollowClockYear(date.da_year);
    int64_t nowEpoch = 0;
    if (!zone.LocalToEpoch(&date, &time, &nowEpoch))
        return Failed(input, kUnusableTimeError);
    const NtpTime now = NtpFromReading(nowEpoch, time.ti_hundredths, pastHundredthMs);
    const NtpTime corrected = negative ? NtpSub(now, magnitude) : NtpAdd(now, magnitude);

    const EpochHundredths target = EpochFromNtp(corrected);
    if (!zone.EpochToLocal(target.epochSeconds, &date, &time))
        return Failed(input, kUnusableTimeError);
    time.ti_hundredths = static_cast<uint8_t>(target.hundredths);

    const uint32_t error = SetLocalClock(&date, &time);
    if (error != 0)
        return Failed(input, error);

    const RoundedSeconds shown = RoundToHundredths(magnitude);
    AdjustResult result{AdjustAction::Set, 0,
                        AdaptPollInterval(input.currentInterval, input.baseInterval,
                                          input.maxDeltaMs, shown),
                        {}};
    std::snprintf(result.statusText, sizeof result.statusText,
                  "Last set: %s   Delta: %c%ld.%02d secs", zone.EpochTimeText(&target.epochSeconds),
                  sign, static_cast<long>(shown.seconds), shown.hundredths);
    return result;
}
