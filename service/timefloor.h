// The safety floor: no server can move the clock to before the date of the
// source this program was built from, so a reply whose transmit time lies
// before it is rejected, whatever the switches say (RFC 8633, 5.2).
#pragma once

#include <cstdint>

#include "service/ntptime.h"

// True when transmit lies before floorUnixSeconds (seconds since 1970, UTC).
// A floor of 0 or less is no floor.
bool BeforeTimeFloor(NtpTime transmit, int64_t floorUnixSeconds);

// Noon UTC of the day before the source's date (SOURCE_DATE_EPOCH when the
// tree was configured, else its last commit), seconds since 1970.
int64_t SourceDateFloor();
