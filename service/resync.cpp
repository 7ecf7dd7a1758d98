// When the extra request goes out after a resume or an outside time change.
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

void Resync::NoteTimeChange(uint32_t nowMs)
{
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
