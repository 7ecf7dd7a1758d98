// The local clock read as an NTP time stamp through a converter's rule.
#pragma once

#include <cstdint>

#include "service/ntptime.h"
#include "time/timecvt.h"

// Reads the local clock into *stamp (and its epoch seconds into
// *epochSeconds when given); converter follows the clock's year. False when
// the reading is no time the program can convert both ways (before 1980,
// past 2099); a reading before 1970 or past 2099 then stamps 1970, which
// must never reach another client as our time.
bool ReadNtpClock(TimeConverter& converter, NtpTime* stamp, int64_t* epochSeconds);
