// The time-zone dialog's fields as plain data: the rule shown as list indexes and texts, the two text checks, and the way back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "time/dstrule.h"

// The entries of the dialog's lists, identical for start and end. The last
// entry of each list is a single blank: no choice.
inline constexpr int kOrdinalEntryCount = 6;
inline constexpr int kWeekdayEntryCount = 8;
inline constexpr int kMonthEntryCount = 13;
extern const char* const kOrdinalEntries[kOrdinalEntryCount];  // "First" .. "Last", " "
extern const char* const kWeekdayEntries[kWeekdayEntryCount];  // "Sunday" .. "Saturday", " "
extern const char* const kMonthEntries[kMonthEntryCount];      // "January" .. "December", " "

// Sizes of the text fields, NUL included; each edit takes one less.
inline constexpr size_t kZoneNameFieldSize = 4;
inline constexpr size_t kTimeFieldSize = 6;    // "hh:mm"
inline constexpr size_t kOffsetFieldSize = 8;  // "+hh:mm", up to 7 typed

// One end of the daylight-saving period: list indexes (-1: nothing
// selected, also for a rule number that has no entry) and "hh:mm".
struct TzTransitionFields {
    int32_t ordinalIndex;
    int32_t weekdayIndex;  // 0 = Sunday, 1 = Monday .. 6 = Saturday
    int32_t monthIndex;    // 0 = January
    char timeText[kTimeFieldSize];
};

// Everything the dialog shows. Texts are always NUL-terminated.
struct TzFields {
    char stdName[kZoneNameFieldSize];
    char dstName[kZoneNameFieldSize];
    char offsetText[kOffsetFieldSize];
    TzTransitionFields start;
    TzTransitionFields end;
};

// The rule as the dialog shows it. Without daylight saving (startOrdinal
// -1) every list is on its blank entry and both times are empty. Numbers
// too large for a field are cut, never written past it.
TzFields FieldsFromRule(const DstRuleRecord& rule);

// Writes the fields back into rule. A blank or missing ordinal at either end
// switches daylight saving off (both ordinals -1) and keeps the other
// transition fields; otherwise Sunday and the blank weekday store 7, the
// blank month stores 13, and a time without two numbers stores 00:00. An
// offset text that cannot be read keeps the rule's offset.
void RuleFromFields(const TzFields& fields, DstRuleRecord* rule);

// True when the transition names an Ordinal (an entry other than the blank)
// but no Month: a day that no calendar has, so OK refuses it. A blank or
// missing Ordinal needs no Month.
bool OrdinalLacksMonth(const TzTransitionFields& transition);

// "%c%02d:%02d": the sign ('+' for 0 and up), whole hours and whole
// minutes of the magnitude; seconds are dropped. Cut to size; returns
// false when it was cut.
bool FormatOffsetText(int32_t offsetSeconds, char* out, size_t size);

// Reads an optional sign, hours, ':' and minutes into seconds. Returns
// false (and leaves *offsetSeconds) when the text does not have that form.
bool ParseOffsetText(const char* text, int32_t* offsetSeconds);

// The Time edits: empty, a single blank, or "hh:mm" from 00:00 to 23:59.
bool IsValidTimeText(const char* text);

// The Offset edit: an optional sign, then "hh:mm" (or "h:mm"), from -14:00
// to +12:00 (west-positive: UTC+14 to UTC-12); minutes must be 00 at the
// limit. Empty and a sign alone are refused.
bool IsValidOffsetText(const char* text);
