// The clock interface over a virtual clock (see fakeclock.h).
#include "tests/fakes/fakeclock.h"

#include "service/clockif.h"

namespace {

ClockDate g_date{1998, 1, 6};
ClockTime g_time{0, 12, 0, 0};
int g_pastHundredthMs = 0;
uint32_t g_result = 0;
int g_setCount = 0;
ClockDate g_lastDate{};
int64_t g_elapsedUs = 0;
int64_t g_elapsedStepUs = 0;
ClockTime g_lastTime{};

}  // namespace

void FakeClockSet(int year, int month, int day, int hour, int minute, int second, int hundredths)
{
    g_date = ClockDate{year, static_cast<int8_t>(day), static_cast<int8_t>(month)};
    g_time = ClockTime{static_cast<uint8_t>(minute), static_cast<uint8_t>(hour),
                       static_cast<uint8_t>(hundredths), static_cast<uint8_t>(second)};
}

void FakeClockSetPastHundredth(int milliseconds) { g_pastHundredthMs = milliseconds; }

void FakeClockSetResult(uint32_t error) { g_result = error; }

void FakeElapsedSet(int64_t microseconds, int64_t stepPerReading)
{
    g_elapsedUs = microseconds;
    g_elapsedStepUs = stepPerReading;
}

int64_t ReadElapsedUs()
{
    const int64_t now = g_elapsedUs;
    g_elapsedUs += g_elapsedStepUs;
    return now;
}
int FakeClockSetCount() { return g_setCount; }
ClockDate FakeClockLastSetDate() { return g_lastDate; }
ClockTime FakeClockLastSetTime() { return g_lastTime; }

void FakeClockReset()
{
    FakeClockSet(1998, 6, 1, 12, 0, 0);
    g_pastHundredthMs = 0;
    g_result = 0;
    g_setCount = 0;
    g_lastDate = ClockDate{};
    g_lastTime = ClockTime{};
    g_elapsedUs = g_elapsedStepUs = 0;
}

int ReadLocalClock(ClockDate* date, ClockTime* time, int* pastHundredthMs)
{
    *date = g_date;
    *time = g_time;
    if (pastHundredthMs != nullptr)
        *pastHundredthMs = g_pastHundredthMs;
    return 1;
}

uint32_t SetLocalClock(const ClockDate* date, const ClockTime* time)
{
    ++g_setCount;
    g_lastDate = *date;
    g_lastTime = *time;
    if (g_result == 0) {
        g_date = *date;
        g_time = *time;
    }
    return g_result;
}
