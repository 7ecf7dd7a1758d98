// The safety floor: no server can move the clock to before this program was
// built, so a reply whose transmit time lies before the build date is
// rejected, whatever the switches say (RFC 8633, 5.2).
#pragma once

#include <cstdint>

#include "service/ntptime.h"

// True when transmit lies before floorUnixSeconds (seconds since 1970, UTC).
// A floor of 0 or less is no floor.
bool BeforeTimeFloor(NtpTime transmit, int64_t floorUnixSeconds);

// Noon UTC of the day before this program was built, seconds since 1970.
int64_t BuildDateFloor();
