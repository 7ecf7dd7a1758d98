// The safety floor under the transmit time of a reply.
#include "service/timefloor.h"

#include "builddate.h"

int64_t UnixSecondsOfNtp(uint32_t ntpSeconds)
{
    constexpr int64_t kEra = int64_t{1} << 32;
    const int64_t seconds = (ntpSeconds & 0x80000000u) != 0 ? ntpSeconds : ntpSeconds + kEra;
    return seconds - int64_t{kNtpToEpoch};
}

bool BeforeTimeFloor(NtpTime transmit, int64_t floorUnixSeconds)
{
    return floorUnixSeconds > 0 && UnixSecondsOfNtp(transmit.seconds) < floorUnixSeconds;
}

int64_t BuildDateFloor()
{
    return kBuildDayUnixSeconds;
}
