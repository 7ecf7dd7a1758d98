// Fuzz target: the time-zone dialog's texts and list choices through its two
// validators and the way into the rule and back; a stored rule into the
// fields the dialog shows.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "ui/tzfields.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

template <size_t N>
bool Terminated(const char (&field)[N])
{
    return std::memchr(field, '\0', N) != nullptr;
}

// What an edit holds: at most its size less one, as typed.
template <size_t N>
void Type(char (&field)[N], const std::string& text)
{
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

bool SameRule(const DstRuleRecord& a, const DstRuleRecord& b)
{
    return a.startOrdinal == b.startOrdinal && a.startWeekday == b.startWeekday &&
           a.startMonth == b.startMonth && a.startHour == b.startHour &&
           a.startMinute == b.startMinute && a.endOrdinal == b.endOrdinal &&
           a.endWeekday == b.endWeekday && a.endMonth == b.endMonth && a.endHour == b.endHour &&
           a.endMinute == b.endMinute && a.utcOffset == b.utcOffset &&
           std::strncmp(a.stdName, b.stdName, 4) == 0 && std::strncmp(a.dstName, b.dstName, 4) == 0;
}

// Whatever the rule holds, the dialog shows terminated texts and list
// indexes inside the lists (or none).
void CheckShown(const TzFields& f)
{
    Require(Terminated(f.stdName) && Terminated(f.dstName) && Terminated(f.offsetText) &&
                Terminated(f.start.timeText) && Terminated(f.end.timeText),
            "shown texts terminated");
    for (const TzTransitionFields* t : {&f.start, &f.end})
        Require(t->ordinalIndex >= -1 && t->ordinalIndex < kOrdinalEntryCount &&
                    t->weekdayIndex >= -1 && t->weekdayIndex < kWeekdayEntryCount &&
                    t->monthIndex >= -1 && t->monthIndex < kMonthEntryCount,
                "shown list indexes inside the lists");
    IsValidOffsetText(f.offsetText);
    IsValidTimeText(f.start.timeText);
    IsValidTimeText(f.end.timeText);
}

// An offset the validator accepts is read as whole minutes from UTC+14
// (-14:00) to UTC-12 (+12:00), and shows again as a text that it accepts and
// reads the same.
void CheckOffset(const char* text)
{
    int32_t seconds = 1;  // not a multiple of 60: shows whether it was written
    const bool read = ParseOffsetText(text, &seconds);
    if (!IsValidOffsetText(text))
        return;
    Require(read, "an accepted offset is read");
    Require(seconds >= -50400 && seconds <= 43200 && seconds % 60 == 0,
            "an accepted offset is whole minutes from -14 to +12 hours");
    char shown[kOffsetFieldSize];
    Require(FormatOffsetText(seconds, shown, sizeof shown), "the offset shows whole");
    int32_t again = 0;
    Require(IsValidOffsetText(shown) && ParseOffsetText(shown, &again) && again == seconds,
            "the shown offset reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Six list choices (start ordinal, weekday, month, then the end's), then
    // lines: offset, start time, end time, the two names, and a stored
    // DstRule value.
    if (size < 6)
        return 0;
    // A list gives one of its entries or none (-1).
    const auto choice = [](uint8_t b, int count) { return static_cast<int32_t>(b % (count + 1)) - 1; };
    std::string lines[6];
    const std::string rest(reinterpret_cast<const char*>(data) + 6, size - 6);
    size_t start = 0;
    for (std::string& line : lines) {
        if (start > rest.size())
            break;
        size_t end = rest.find('\n', start);
        if (end == std::string::npos)
            end = rest.size();
        line = rest.substr(start, end - start).c_str();
        start = end + 1;
    }

    DstRuleRecord stored = DefaultDstRule();
    ParseDstRule(lines[5].c_str(), &stored);
    SetZoneName(stored.stdName, lines[3].c_str());
    const TzFields shown = FieldsFromRule(stored);
    CheckShown(shown);

    TzFields typed = shown;
    typed.start.ordinalIndex = choice(data[0], kOrdinalEntryCount);
    typed.start.weekdayIndex = choice(data[1], kWeekdayEntryCount);
    typed.start.monthIndex = choice(data[2], kMonthEntryCount);
    typed.end.ordinalIndex = choice(data[3], kOrdinalEntryCount);
    typed.end.weekdayIndex = choice(data[4], kWeekdayEntryCount);
    typed.end.monthIndex = choice(data[5], kMonthEntryCount);
    Type(typed.offsetText, lines[0]);
    Type(typed.start.timeText, lines[1]);
    Type(typed.end.timeText, lines[2]);
    Type(typed.stdName, lines[3]);
    Type(typed.dstName, lines[4]);
    CheckOffset(typed.offsetText);
    for (const std::string& line : lines)
        CheckOffset(line.c_str());

    DstRuleRecord rule = stored;
    RuleFromFields(typed, &rule);
    const bool valid = IsValidOffsetText(typed.offsetText) && IsValidTimeText(typed.start.timeText) &&
                       IsValidTimeText(typed.end.timeText) && !OrdinalLacksMonth(typed.start) &&
                       !OrdinalLacksMonth(typed.end);
    if (!valid)
        return 0;

    // What OK lets through stores a rule in range, which the dialog shows
    // again and stores once more unchanged.
    Require(rule.utcOffset >= -50400 && rule.utcOffset <= 43200, "stored offset in range");
    if (rule.startOrdinal != -1) {
        Require(rule.startOrdinal >= 1 && rule.startOrdinal <= 5 && rule.endOrdinal >= 1 &&
                    rule.endOrdinal <= 5,
                "stored ordinals in range");
        Require(rule.startMonth >= 1 && rule.startMonth <= 12 && rule.endMonth >= 1 &&
                    rule.endMonth <= 12,
                "stored months in range");
        for (int32_t hour : {rule.startHour, rule.endHour})
            Require(hour >= 0 && hour <= 23, "stored hour in range");
        for (int32_t minute : {rule.startMinute, rule.endMinute})
            Require(minute >= 0 && minute <= 59, "stored minute in range");
    }
    Require(rule.startOrdinal == -1 || std::strlen(typed.start.timeText) != 5 ||
                std::strcmp(FieldsFromRule(rule).start.timeText, typed.start.timeText) == 0,
            "a typed time shows again as typed");
    const TzFields again = FieldsFromRule(rule);
    CheckShown(again);
    DstRuleRecord twice = rule;
    RuleFromFields(again, &twice);
    Require(SameRule(rule, twice), "the shown rule stores unchanged");
    return 0;
}
