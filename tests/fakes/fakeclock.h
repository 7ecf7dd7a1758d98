// A virtual local clock for tests: what ReadLocalClock returns and what
// SetLocalClock does are set here.
#pragma once

#include <cstdint>

#include "time/clockrec.h"

// Sets the reading that ReadLocalClock returns from now on.
void FakeClockSet(int year, int month, int day, int hour, int minute, int second,
                  int hundredths = 0);

// The milliseconds past the hundredth (0..9) that readings carry from now on.
void FakeClockSetPastHundredth(int milliseconds);

// What ReadElapsedUs returns next, and how far each reading moves it on
// (microseconds; 0: it stands still, as it does after FakeClockReset).
void FakeElapsedSet(int64_t microseconds, int64_t stepPerReading = 0);

// The error code SetLocalClock returns next (0: it succeeds and the virtual
// clock takes the new reading).
void FakeClockSetResult(uint32_t error);

// How many SetLocalClock calls were made, and the last reading passed.
int FakeClockSetCount();
ClockDate FakeClockLastSetDate();
ClockTime FakeClockLastSetTime();

// Back to 1998-06-01 12:00:00.000, result 0, no calls counted.
void FakeClockReset();
