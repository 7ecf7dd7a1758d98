// When the extra request goes out after the machine resumes from sleep or
// another program changes the clock: one request per event, a moment after a
// resume (the network needs it to come back), at once after a time change,
// never within 15 s of the previous request, and none for a change that our
// own setting of the clock caused.
//
// Times are milliseconds of a free-running counter (GetTickCount); it wraps
// after 49.7 days, so only differences are compared.
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

    void NoteRequestSent(uint32_t nowMs);
    void NoteClockSet(uint32_t nowMs);
    // The machine resumed: one extra request, kResumeDelayMs from now. A
    // second resume event before it went out asks for nothing more.
    void NoteResume(uint32_t nowMs);
    // Another program changed the clock: one extra request now.
    void NoteTimeChange(uint32_t nowMs);
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
};
