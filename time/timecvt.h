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
    ClockDate dstStartDate;  // start transition; seconds and hundredths 0;
                             // day and month 0 when the rule names no such day
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
    // (0..365, from 0) of year; either out of range is a failed check. False
    // without daylight saving, for a day the year does not have, and for a
    // rule whose transition dates are invalid (ordinal outside 1..5, weekday
    // above 7, month outside 1..12, hour outside 0..23).
    bool IsDaylightTime(int hour, int dayOfYear, int year);

    // Local wall-clock time (daylight time included) to epoch seconds;
    // ti_hundredths is ignored. Returns false, leaving *epochSeconds alone,
    // when no usable instant results: a year outside 1970..2099, a month,
    // day (within its month), hour, minute or second out of range, or a
    // result beyond the signed 32-bit range. Null d or t is a failed check.
    bool LocalToEpoch(const ClockDate* d, const ClockTime* t, int32_t* epochSeconds);

    // Epoch seconds to local wall-clock time, daylight time included;
    // ti_hundredths is set to 0. Returns false, leaving the records alone,
    // for negative epoch seconds, an instant before 1980-01-01 local standard
    // time, or a local date past 2099. Null d or t is a failed check.
    bool EpochToLocal(int32_t epochSeconds, ClockDate* d, ClockTime* t);

    // "%3.3s %3.3s %02d %02d:%02d:%02d %4d %3s" of the instant, e.g.
    // "Sat Jan 01 00:00:00 2000 UTC", in a buffer shared by all calls (valid
    // until the next one). The name is the daylight one exactly when the
    // conversion added the daylight hour, so the repeated hour at the end of
    // daylight saving is named correctly both times. An instant EpochToLocal
    // refuses gives "?".
    const char* EpochTimeText(const int32_t* epochSeconds);

    const ZoneState& Zone() const { return zone_; }

private:
    // EpochToLocal, also telling whether the daylight hour was added.
    bool ConvertEpoch(int32_t epochSeconds, ClockDate* d, ClockTime* t, bool* daylight);

    ZoneState zone_{};
    char timeText_[32] = {};
};
