// Local wall-clock time <-> seconds since 1970 under the program's own zone
// offset and daylight-saving rule, and the one-line text form of an instant.
#pragma once

#include <cstdint>

#include "time/clockrec.h"
#include "time/dstrule.h"

// Seconds from 1970-01-01 to 1980-01-01.
inline constexpr int32_t kEpoch1980 = 315532800;

// The installed zone and what is derived from it.
struct ZoneState {
    DstRuleRecord installedRule;
    int32_t zoneOffset;      // seconds added to local standard time to give UTC
    int32_t daylightInUse;   // 1 when the rule has daylight saving
    char stdZoneName[4];
    char dstZoneName[4];
    int32_t transitionYear;  // year dstStart and dstEnd were computed for
    ClockDate dstStartDate;  // start transition; seconds and hundredths 0
    ClockTime dstStartTime;
    ClockDate dstEndDate;    // end transition
    ClockTime dstEndTime;
};

// The conversions the time service computes with. TimeService derives from
// this, so the service "has" them; tests use it directly with a fake clock.
class TimeConverter {
public:
    // Installs the rule from rule (copied) and computes its transitions.
    explicit TimeConverter(const DstRuleRecord* rule);

    // Copies all 52 bytes of the rule and recomputes the transitions.
    void SetDstRule(const DstRuleRecord* rule);

    // Transition dates for the year of the local clock (ReadLocalClock).
    void ComputeTransitions();

    // True when daylight time is in effect at hour (0..23) of day dayOfYear
    // (0..365, from 0) of year. A rule whose transition dates are invalid
    // (bad ordinal, weekday or month) is never in daylight time.
    bool IsDaylightTime(int hour, int dayOfYear, int year);

    // Local wall-clock time (daylight time included) to epoch seconds;
    // ti_hundredths is ignored. Returns false, leaving *epochSeconds alone,
    // when no usable instant results: a date before 1970, fields out of
    // range, or a result beyond the signed 32-bit range.
    bool LocalToEpoch(const ClockDate* d, const ClockTime* t, int32_t* epochSeconds);

    // Epoch seconds to local wall-clock time, daylight time included;
    // ti_hundredths is set to 0. Returns false, leaving the records alone,
    // for an instant before 1980-01-01 local standard time.
    bool EpochToLocal(int32_t epochSeconds, ClockDate* d, ClockTime* t);

    // "%3.3s %3.3s %02d %02d:%02d:%02d %4d %3s" of the instant, e.g.
    // "Sat Jan 01 00:00:00 2000 UTC", in a buffer shared by all calls (valid
    // until the next one). An instant EpochToLocal refuses gives "?".
    const char* EpochTimeText(const int32_t* epochSeconds);

    const ZoneState& Zone() const { return zone_; }

private:
    ZoneState zone_{};
    char timeText_[32] = {};
};
