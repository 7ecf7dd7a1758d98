// The time-zone description and its text form in the settings file.
#pragma once

#include <cstddef>
#include <cstdint>

// Start and end of daylight saving, each the n-th (5 = last) weekday of a
// month at an hour, plus the zone's offset and names. 52 bytes, copied by value.
struct DstRuleRecord {
    int32_t startOrdinal;  // 1..4 = first..fourth, 5 = last; -1 = no daylight saving
    int32_t startWeekday;  // 1 = Monday .. 7 = Sunday (0 is Sunday too)
    int32_t startMonth;    // 1..12
    int32_t startHour;     // 0..23
    int32_t startMinute;   // 0..59, stored and shown only
    int32_t endOrdinal;
    int32_t endWeekday;
    int32_t endMonth;
    int32_t endHour;
    int32_t endMinute;
    int32_t utcOffset;     // seconds added to local standard time to give UTC (+ west)
    char stdName[4];       // up to 3 characters and a NUL
    char dstName[4];
};
static_assert(sizeof(DstRuleRecord) == 52, "DstRuleRecord is 52 bytes");

// The value written when nothing else is known; the names after the eleventh
// number are never read.
inline constexpr char kDefaultDstRuleText[] = "-1,0,0,0,0,-1,0,0,0,0,0,UTC,UTC";

// Reads the eleven numbers of a DstRule value ("%d,...,%ld": no blanks
// around the commas, text after the eleventh number ignored; at most the first
// 79 characters are looked at). A number outside the signed 32-bit range
// counts as unreadable. Unless all eleven are read, the rule becomes one
// without daylight saving and with offset 0. The names are not touched.
// Returns true when all eleven numbers were read.
bool ParseDstRule(const char* text, DstRuleRecord* rule);

// Writes the eleven numbers, comma-separated, into out (NUL-terminated,
// cut to size). Names are not part of the value.
void FormatDstRule(const DstRuleRecord& rule, char* out, size_t size);

// Copies at most three characters of name into a 4-byte zone-name field.
void SetZoneName(char (&field)[4], const char* name);

// No daylight saving, offset 0, both names "UTC".
DstRuleRecord DefaultDstRule();
