// Local wall-clock time <-> seconds since 1970 under the program's own zone
// offset and daylight-saving rule, and the one-line text form of an instant.
#pragma once

#include <cstdint>

#include "time/clockrec.h"
#include "time/dstrule.h"

// Epoch seconds (since 1970-01-01 00:00:00 UTC) are held in 64 bits: the
// calendar here runs to 2099, far past the 32-bit end in 2038.

// Seconds from 1970-01-01 to 1980-01-01.
inline constexpr int64_t kEpoch1980 = 315532800;

// The installed zone and what is derived from it.
struct ZoneState {
    DstRuleRecord installedRule;
    int32_t zoneOffset;      // seconds added to local standard time to give UTC
    int32_t daylightInUse;   // 1 when the rule has daylight saving
    char stdZoneName[4];
    char dstZoneName[4];
    int32_t transitionYear;  // the clock's year dstStart and dstEnd were computed for
    ClockDate dstStartDate;  // start transition; seconds and hundredths 0;
                             // day and month 0 when the rule names no such day
    ClockTime dstStartTime;
    ClockDate dstEndDate;    // end transition
    ClockTime dstEndTime;
};

// The conversions the time service computes with. TimeService derives from
// this, so the service "has" them. Nothing here reads the clock: the year
// the clock shows is handed in by whoever reads it.
class TimeConverter {
public:
    // Installs the rule from rule (copied) with transitions for clockYear.
    TimeConverter(const DstRuleRecord* rule, int clockYear);

    // Copies all 52 bytes of the rule and computes the transitions for
    // clockYear, the year the local clock shows.
    void SetDstRule(const DstRuleRecord* rule, int clockYear);

    // Transition dates of the installed rule in clockYear.
    void ComputeTransitions(int clockYear);

    // The transitions belong to the clock's year: called with the year of
    // each clock reading, recomputes them once the clock has moved into a
    // later year.
    void FollowClockYear(int clockYear);

    // True when daylight time is in effect at hour (0..23) of day dayOfYear
    // (0..365, from 0) of year, judged by the transition dates of the
    // clock's year; either out of range is a failed check. False without
    // daylight saving, for a day the year does not have, and for a rule
    // whose transition dates are invalid (ordinal outside 1..5, weekday
    // above 7, month outside 1..12, hour outside 0..23).
    bool IsDaylightTime(int hour, int dayOfYear, int year) const;

    // Local wall-clock time (daylight time included) to epoch seconds;
    // ti_hundredths is ignored. Returns false, leaving *epochSeconds alone,
    // when no usable instant results: a year outside 1970..2099, or a month,
    // day (within its month), hour, minute or second out of range. Null d
    // or t is a failed check.
    bool LocalToEpoch(const ClockDate* d, const ClockTime* t, int64_t* epochSeconds) const;

    // Epoch seconds to local wall-clock time, daylight time included;
    // ti_hundredths is set to 0. Returns false, leaving the records alone,
    // for negative epoch seconds, an instant before 1980-01-01 local standard
    // time, or a local date past 2099. Null d or t is a failed check.
    bool EpochToLocal(int64_t epochSeconds, ClockDate* d, ClockTime* t) const;

    // "%3.3s %3.3s %02d %02d:%02d:%02d %4d %3s" of the instant, e.g.
    // "Sat Jan 01 00:00:00 2000 UTC", in a buffer shared by all calls (valid
    // until the next one). The name is the daylight one exactly when the
    // conversion added the daylight hour, so the repeated hour at the end of
    // daylight saving is named correctly both times. An instant EpochToLocal
    // refuses gives "?".
    const char* EpochTimeText(const int64_t* epochSeconds);

    const ZoneState& Zone() const { return zone_; }

private:
    // EpochToLocal, also telling whether the daylight hour was added.
    bool ConvertEpoch(int64_t epochSeconds, ClockDate* d, ClockTime* t, bool* daylight) const;

    ZoneState zone_{};
    char timeText_[32] = {};
};
