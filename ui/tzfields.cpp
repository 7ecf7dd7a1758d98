// The time-zone dialog's fields as plain data: the rule shown as list indexes and texts, the two text checks, and the way back.
#include "ui/tzfields.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "settings/numtext.h"

const char* const kOrdinalEntries[kOrdinalEntryCount] = {"First", "Second", "Third",
                                                         "Fourth", "Last", " "};
const char* const kWeekdayEntries[kWeekdayEntryCount] = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", " "};
const char* const kMonthEntries[kMonthEntryCount] = {
    "January", "February", "March",     "April",   "May",      "June",     "July",
    "August",  "September", "October", "November", "December", " "};

namespace {

constexpr int32_t kBlankOrdinalIndex = kOrdinalEntryCount - 1;
constexpr int32_t kBlankWeekdayIndex = kWeekdayEntryCount - 1;
constexpr int32_t kBlankMonthIndex = kMonthEntryCount - 1;
constexpr int32_t kSunday = 7;  // weekday numbers run 1 = Monday .. 7 = Sunday

// Only the first five entries name an ordinal; the blank one and no
// selection (and anything else) name none.
bool IsChosenOrdinal(int32_t index)
{
    return index >= 0 && index < kBlankOrdinalIndex;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// h1 h2 ':' m1 m2 with digits and m1 at most 5.
bool IsClockShape(const char* text)
{
    return std::strlen(text) == 5 && IsDigit(text[0]) && IsDigit(text[1]) && text[2] == ':' &&
           text[3] >= '0' && text[3] <= '5' && IsDigit(text[4]);
}

void CopyName(char (&field)[kZoneNameFieldSize], const char* name, size_t nameSize)
{
    const size_t length = strnlen(name, nameSize < kZoneNameFieldSize ? nameSize : kZoneNameFieldSize - 1);
    std::memcpy(field, name, length);
    field[length] = '\0';
}

// Copies text into out, cut to size and terminated. Returns false when cut.
bool CopyCut(const char* text, char* out, size_t size)
{
    const size_t length = strnlen(text, size - 1);
    std::memcpy(out, text, length);
    out[length] = '\0';
    return text[length] == '\0';
}

// A number too large for the field shows cut; the validator then refuses it.
void FormatTime(int32_t hour, int32_t minute, char (&out)[kTimeFieldSize])
{
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld", static_cast<long>(hour), static_cast<long>(minute));
    CopyCut(text, out, sizeof out);
}

// The list index of a rule number (index = number - first); -1, nothing
// selected, when the number has no entry.
int32_t ListIndex(int32_t number, int32_t first, int32_t entryCount)
{
    const int64_t index = static_cast<int64_t>(number) - first;
    return index >= 0 && index < entryCount ? static_cast<int32_t>(index) : -1;
}

void ShowTransition(int32_t ordinal, int32_t weekday, int32_t month, int32_t hour, int32_t minute,
                    TzTransitionFields* out)
{
    out->ordinalIndex = ListIndex(ordinal, 1, kOrdinalEntryCount);
    out->weekdayIndex = ListIndex(weekday == kSunday ? 0 : weekday, 0, kWeekdayEntryCount);
    out->monthIndex = ListIndex(month, 1, kMonthEntryCount);
    FormatTime(hour, minute, out->timeText);
}

// Two numbers around ':' ("%02d:%02d"); 00:00 unless both are read.
void ReadTime(const char* text, int32_t* hour, int32_t* minute)
{
    int32_t h = 0;
    int32_t m = 0;
    const char* rest = nullptr;
    if (ScanNumberText(text, &h, &rest) == NumberText::Number && *rest == ':' &&
        ScanNumberText(rest + 1, &m) == NumberText::Number) {
        *hour = h;
        *minute = m;
    } else {
        *hour = 0;
        *minute = 0;
    }
}

void TakeTransition(const TzTransitionFields& in, int32_t* ordinal, int32_t* weekday,
                    int32_t* month, int32_t* hour, int32_t* minute)
{
    *ordinal = in.ordinalIndex + 1;
    *weekday = in.weekdayIndex == 0 ? kSunday : in.weekdayIndex;
    *month = in.monthIndex + 1;
    ReadTime(in.timeText, hour, minute);
}

}  // namespace

TzFields FieldsFromRule(const DstRuleRecord& rule)
{
    TzFields fields{};
    if (rule.startOrdinal != -1) {
        ShowTransition(rule.startOrdinal, rule.startWeekday, rule.startMonth, rule.startHour,
                       rule.startMinute, &fields.start);
        ShowTransition(rule.endOrdinal, rule.endWeekday, rule.endMonth, rule.endHour,
                       rule.endMinute, &fields.end);
    } else {
        for (TzTransitionFields* t : {&fields.start, &fields.end}) {
            t->ordinalIndex = kBlankOrdinalIndex;
            t->weekdayIndex = kBlankWeekdayIndex;
            t->monthIndex = kBlankMonthIndex;
        }
    }
    // The record's names need not hold a NUL.
    CopyName(fields.dstName, rule.dstName, sizeof rule.dstName);
    CopyName(fields.stdName, rule.stdName, sizeof rule.stdName);
    FormatOffsetText(rule.utcOffset, fields.offsetText, sizeof fields.offsetText);
    return fields;
}

void RuleFromFields(const TzFields& fields, DstRuleRecord* rule)
{
    ParseOffsetText(fields.offsetText, &rule->utcOffset);
    SetZoneName(rule->stdName, fields.stdName);
    SetZoneName(rule->dstName, fields.dstName);

    // An ordinal named at neither end, or at only one, means no daylight saving.
    if (!IsChosenOrdinal(fields.start.ordinalIndex) || !IsChosenOrdinal(fields.end.ordinalIndex)) {
        rule->startOrdinal = -1;
        rule->endOrdinal = -1;
        return;
    }
    TakeTransition(fields.start, &rule->startOrdinal, &rule->startWeekday, &rule->startMonth,
                   &rule->startHour, &rule->startMinute);
    TakeTransition(fields.end, &rule->endOrdinal, &rule->endWeekday, &rule->endMonth,
                   &rule->endHour, &rule->endMinute);
}

bool OrdinalLacksMonth(const TzTransitionFields& transition)
{
    const bool month = transition.monthIndex >= 0 && transition.monthIndex < kBlankMonthIndex;
    return IsChosenOrdinal(transition.ordinalIndex) && !month;
}

bool FormatOffsetText(int32_t offsetSeconds, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return false;
    // 64 bits: the magnitude of the most negative offset does not fit in 32.
    const int64_t magnitude = offsetSeconds < 0 ? -static_cast<int64_t>(offsetSeconds) : offsetSeconds;
    char text[32];
    std::snprintf(text, sizeof text, "%c%02lld:%02lld", offsetSeconds >= 0 ? '+' : '-',
                  static_cast<long long>(magnitude / 3600),
                  static_cast<long long>(magnitude % 3600 / 60));
    return CopyCut(text, out, size);
}

bool ParseOffsetText(const char* text, int32_t* offsetSeconds)
{
    if (text == nullptr)
        return false;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    if (!IsDigit(*text))  // no second sign, no blanks
        return false;
    int32_t hours = 0;
    int32_t minutes = 0;
    const char* rest = nullptr;
    if (ScanNumberText(text, &hours, &rest) != NumberText::Number || *rest != ':' ||
        !IsDigit(rest[1]) || ScanNumberText(rest + 1, &minutes) != NumberText::Number)
        return false;
    const int64_t seconds = static_cast<int64_t>(hours) * 3600 + static_cast<int64_t>(minutes) * 60;
    if (seconds > INT32_MAX)
        return false;
    *offsetSeconds = static_cast<int32_t>(negative ? -seconds : seconds);
    return true;
}

bool IsValidTimeText(const char* text)
{
    if (text == nullptr || text[0] == '\0' || std::strcmp(text, " ") == 0)
        return true;
    if (!IsClockShape(text) || text[0] > '2')
        return false;
    return text[0] < '2' || text[1] <= '3';
}

bool IsValidOffsetText(const char* text)
{
    if (text == nullptr)
        return false;
    // West-positive: real zones reach 12 hours west of UTC and 14 east.
    int maxHours = 12;
    if (*text == '+' || *text == '-') {
        if (*text == '-')
            maxHours = 14;
        ++text;
    }
    // "8:00" is read as "08:00".
    char clock[8];
    const size_t length = std::strlen(text);
    if (length > 5)
        return false;
    std::snprintf(clock, sizeof clock, "%s%s", length <= 4 ? "0" : "", text);
    if (!IsClockShape(clock))
        return false;
    const int hours = (clock[0] - '0') * 10 + (clock[1] - '0');
    return hours < maxHours || (hours == maxHours && clock[3] == '0' && clock[4] == '0');
}
