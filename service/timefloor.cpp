// The safety floor under the transmit time of a reply.
#include "service/timefloor.h"

#include "builddate.h"

bool BeforeTimeFloor(NtpTime transmit, int64_t floorUnixSeconds)
{
    return floorUnixSeconds > 0 && UnixSecondsOfNtp(transmit.seconds) < floorUnixSeconds;
}

int64_t BuildDateFloor()
{
    return kBuildDayUnixSeconds;
}
