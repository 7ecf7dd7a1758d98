// When the extra request goes out after a resume or an outside step of the clock.
#include "service/resync.h"

namespace {

// a is at or after b on the wrapping counter (within half its range).
bool AtOrAfter(uint32_t a, uint32_t b)
{
    return static_cast<int32_t>(a - b) >= 0;
}

}  // namespace

void Resync::NoteRequestSent(uint32_t nowMs)
{
    sentAny_ = true;
    lastSentMs_ = nowMs;
    // Whatever the request was for, its reply brings the clock right.
    pending_ = false;
}

void Resync::NoteClockSet(uint32_t nowMs)
{
    setAny_ = true;
    lastSetMs_ = nowMs;
}

void Resync::NoteResume(uint32_t nowMs)
{
    if (pending_)
        return;
    pending_ = true;
    dueMs_ = nowMs + kResumeDelayMs;
}

void Resync::NoteClockReading(uint32_t nowMs, int64_t clockMs)
{
    // The counter runs on through any setting of the clock, so the clock's
    // lead over it moves by exactly the step; the counter's own wrap moves
    // the lead by 2^32 ms, which is taken off again.
    const int64_t leadMs = clockMs - nowMs;
    int64_t stepMs = leadMs - clockLeadMs_;
    const int64_t wrapMs = int64_t{1} << 32;
    if (stepMs > wrapMs / 2)
        stepMs -= wrapMs;
    else if (stepMs < -wrapMs / 2)
        stepMs += wrapMs;
    const bool stepped = readAny_ && (stepMs >= kMinStepMs || stepMs <= -kMinStepMs);
    readAny_ = true;
    clockLeadMs_ = leadMs;
    if (!stepped)
        return;
    if (setAny_ && nowMs - lastSetMs_ < kOwnSetWindowMs)
        return;
    if (pending_)
        return;
    pending_ = true;
    dueMs_ = nowMs;
}

bool Resync::Due(uint32_t nowMs)
{
    if (!pending_ || !AtOrAfter(nowMs, dueMs_))
        return false;
    if (sentAny_ && nowMs - lastSentMs_ < kMinGapMs)
        return false;
    pending_ = false;
    return true;
}
