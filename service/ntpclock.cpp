// The local clock as an NTP time stamp (see ntpclock.h).
#include "service/ntpclock.h"

#include "service/clockif.h"

bool ReadNtpClock(TimeConverter& converter, NtpTime* stamp, int64_t* epochSeconds)
{
    ClockDate date{};
    ClockTime time{};
    int pastHundredthMs = 0;
    ReadLocalClock(&date, &time, &pastHundredthMs);
    converter.FollowClockYear(date.da_year);
    // A reading LocalToEpoch refuses stays 0. One from 1970 to 1980 converts
    // one way only; its stamp is still true, and requests need it.
    int64_t seconds = 0;
    ClockDate backDate{};
    ClockTime backTime{};
    const bool usable = converter.LocalToEpoch(&date, &time, &seconds) &&
                        converter.EpochToLocal(seconds, &backDate, &backTime);
    if (epochSeconds != nullptr)
        *epochSeconds = seconds;
    *stamp = NtpFromReading(seconds, time.ti_hundredths, pastHundredthMs);
    return usable;
}
