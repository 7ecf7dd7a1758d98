// The safety floor under the transmit time of a reply.
#include "service/timefloor.h"

#include "sourcedate.h"

bool BeforeTimeFloor(NtpTime transmit, int64_t floorUnixSeconds)
{
    return floorUnixSeconds > 0 && UnixSecondsOfNtp(transmit.seconds) < floorUnixSeconds;
}

int64_t SourceDateFloor()
{
    // Twelve hours under the source's day: a source dated just after
    // midnight UTC still hears a server that lags by a few hours (a zone
    // mistake the status line reports as such), while a reply dated a day or
    // more before the source is refused.
    constexpr int64_t kMarginSeconds = 12 * 3600;
    return kSourceDayUnixSeconds - kMarginSeconds;
}
