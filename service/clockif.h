// The local clock: read and set as local time. The only module that touches
// the real clock; tests link a fake in its place (tests/fakes/fakeclock.cpp).
#pragma once

#include <cstdint>

#include "time/clockrec.h"

// Fills both records from the local clock, hundredths truncated from the
// milliseconds; the milliseconds that truncation drops (0..9) go to
// *pastHundredthMs when given. Always succeeds: returns 1.
int ReadLocalClock(ClockDate* date, ClockTime* time, int* pastHundredthMs = nullptr);

// A counter for measuring short waits, microseconds from an arbitrary start:
// it never steps with the clock. The performance counter; where there is
// none, the system's millisecond tick count.
int64_t ReadElapsedUs();

// Sets the local clock, switching the system-time privilege on around the
// call where the system has access control; sets it a second time when the
// set crossed a daylight-saving change of the system's zone. Returns 0 on success, else the
// system's error code (1314: the privilege is not held).
uint32_t SetLocalClock(const ClockDate* date, const ClockTime* time);
