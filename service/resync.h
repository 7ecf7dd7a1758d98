// When the extra request goes out after the machine resumes from sleep or
// another program steps the clock: one request per event, a moment after a
// resume (the network needs it to come back), at once after a step of the
// clock, never within 15 s of the previous request, and none for a change
// that our own setting of the clock caused. A step is seen from the clock
// itself, read against the tick counter at each poll tick, so no notice from
// the system is needed (a service before Windows 7 gets none); a notice only
// makes the reading come sooner. A clock that moved less than a second
// against the counter is a small correction (another client slewing or
// trimming the clock) and starts nothing: two programs that set the clock
// would otherwise answer each other's sets for as long as both run.
//
// Times are milliseconds of a free-running counter (GetTickCount); it wraps
// after 49.7 days, so only differences are compared. Clock readings are
// milliseconds since 1970, UTC.
#pragma once

#include <cstdint>

class Resync {
public:
    // After a resume, so that the network has a moment to come back.
    static constexpr uint32_t kResumeDelayMs = 2000;
    // The shortest time between two requests to a server (RFC 4330).
    static constexpr uint32_t kMinGapMs = 15000;
    // A time change reported this soon after our own set is that set's.
    static constexpr uint32_t kOwnSetWindowMs = 5000;
    // The least step of the clock against the counter, either way, that a
    // time-change notice answers with a request.
    static constexpr int64_t kMinStepMs = 1000;

    // Any request sent: one waiting extra request is no longer needed.
    void NoteRequestSent(uint32_t nowMs);
    void NoteClockSet(uint32_t nowMs);
    // The clock read clockMs at counter nowMs (each poll tick): one extra
    // request now when it stepped by kMinStepMs or more since the last
    // reading, unless our own set did it. Without an earlier reading
    // nothing is known to have stepped.
    void NoteClockReading(uint32_t nowMs, int64_t clockMs);
    // The machine resumed: one extra request, kResumeDelayMs from now. A
    // second resume event before it went out asks for nothing more.
    void NoteResume(uint32_t nowMs);
    // The system says the clock was changed, and it now reads clockMs: a
    // reading taken at once.
    void NoteTimeChange(uint32_t nowMs, int64_t clockMs) { NoteClockReading(nowMs, clockMs); }
    // True once when the extra request is due: its time has come and the
    // previous request is at least kMinGapMs old. The request is then taken.
    bool Due(uint32_t nowMs);
    bool Pending() const { return pending_; }

private:
    bool pending_ = false;
    uint32_t dueMs_ = 0;
    bool sentAny_ = false;
    uint32_t lastSentMs_ = 0;
    bool setAny_ = false;
    uint32_t lastSetMs_ = 0;
    bool readAny_ = false;
    int64_t clockLeadMs_ = 0;  // clock minus counter at the last reading
};
