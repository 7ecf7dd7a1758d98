// Local wall-clock time <-> epoch seconds under the installed zone, the
// daylight-saving decision, and the one-line text form of an instant.
#include "time/timecvt.h"

#include <cstdio>

#include "time/kassert.h"
#include "time/ndate.h"

namespace {

const int kMonthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr int64_t kSecondsPerFourYears = 126230400;  // 1461 days
constexpr int64_t kSecondsPerYear = 31536000;        // 365 days
constexpr int64_t kHoursPerFourYears = 35064;        // 1461 days
constexpr int64_t kHoursPerLeapYear = 8784;          // 366 days
constexpr int64_t kHoursPerYear = 8760;              // 365 days

// Leap years here are every fourth year. That matches the calendar from
// 1901 to 2099, so local dates past 2099 are refused rather than invented.
constexpr int64_t kFirstYear = 1970;
constexpr int64_t kLastYear = 2099;
constexpr int64_t kFarFuture = int64_t{1} << 40;  // epoch seconds

bool IsLeapYear(int64_t year) { return year % 4 == 0; }

int MonthLength(int month, int64_t year)
{
    return kMonthLengths[month - 1] + ((month == 2 && IsLeapYear(year)) ? 1 : 0);
}

// Rounds towards minus infinity, so years before 1980 count negative cycles.
int64_t FloorDiv(int64_t a, int64_t b) { return (a >= 0) ? a / b : -((-a + b - 1) / b); }

// One transition of the rule in year. A rule field the calendar cannot
// place (ordinal, weekday, month or hour out of range) leaves day and month
// 0: the invalid date, which the daylight decision never matches.
void MakeTransition(int32_t ordinal, int32_t weekday, int32_t month, int32_t hour, int32_t minute,
                    int32_t year, ClockDate* date, ClockTime* time)
{
    int day = 0;
    if (month >= 1 && month <= 12 && hour >= 0 && hour <= 23)
        day = NDate(1, month, year).NthWeekday(ordinal, static_cast<unsigned>(weekday));
    *date = ClockDate{year, 0, 0};
    *time = ClockTime{};
    if (day == 0)
        return;
    date->da_day = static_cast<int8_t>(day);
    date->da_month = static_cast<int8_t>(month);
    time->ti_hour = static_cast<uint8_t>(hour);
    time->ti_minute = static_cast<uint8_t>((minute >= 0 && minute <= 59) ? minute : 0);
}

}  // namespace

TimeConverter::TimeConverter(const DstRuleRecord* rule, int clockYear)
{
    SetDstRule(rule, clockYear);
}

void TimeConverter::SetDstRule(const DstRuleRecord* rule, int clockYear)
{
    zone_.installedRule = (rule != nullptr) ? *rule : DefaultDstRule();
    ComputeTransitions(clockYear);
}

void TimeConverter::FollowClockYear(int clockYear)
{
    if (clockYear > zone_.transitionYear)
        ComputeTransitions(clockYear);
}

void TimeConverter::ComputeTransitions(int clockYear)
{
    const DstRuleRecord& rule = zone_.installedRule;
    zone_.zoneOffset = rule.utcOffset;
    // Copied through SetZoneName so the names stay terminated whatever the record holds.
    SetZoneName(zone_.stdZoneName, rule.stdName);
    SetZoneName(zone_.dstZoneName, rule.dstName);

    if (rule.startOrdinal == -1) {
        zone_.daylightInUse = 0;
        return;
    }
    zone_.daylightInUse = 1;
    MakeTransition(rule.startOrdinal, rule.startWeekday, rule.startMonth, rule.startHour,
                   rule.startMinute, clockYear, &zone_.dstStartDate, &zone_.dstStartTime);
    MakeTransition(rule.endOrdinal, rule.endWeekday, rule.endMonth, rule.endHour, rule.endMinute,
                   clockYear, &zone_.dstEndDate, &zone_.dstEndTime);
    zone_.transitionYear = clockYear;
}

bool TimeConverter::IsDaylightTime(int hour, int dayOfYear, int year) const
{
    KESTRIN_CHECK((dayOfYear >= 0) && (dayOfYear <= 365), "(Day >= 0) && (Day <= 365)", "TIMECVT",
                  176);
    KESTRIN_CHECK((hour >= 0) && (hour <= 23), "(hour >= 0) && (hour <= 23)", "TIMECVT", 177);
    if (!zone_.daylightInUse || year < 1 || year > 9999)
        return false;

    const NDate date(dayOfYear + 1, year);

    const int sd = zone_.dstStartDate.da_day;
    const int sm = zone_.dstStartDate.da_month;
    const int ed = zone_.dstEndDate.da_day;
    const int em = zone_.dstEndDate.da_month;
    if (sd == 0 || ed == 0 || !date.IsValid())
        return false;

    // Southern hemisphere: daylight saving spans the turn of the year, so
    // the period containing date starts in one year and ends in the next.
    int startYear = year;
    int endYear = year;
    if (sm > em) {
        if (date.Month() < em || (date.Month() == em && date.Day() <= ed))
            startYear = year - 1;
        else
            endYear = year + 1;
    }
    // The days computed for the clock's year serve every year; one that does
    // not exist there (29 February) makes no daylight time.
    const NDate start(sd, sm, startYear);
    const NDate end(ed, em, endYear);
    if (!start.IsValid() || !end.IsValid())
        return false;

    if (start < date && date < end)
        return true;
    if (date < start || date > end)
        return false;
    if (date == start)
        return hour >= zone_.dstStartTime.ti_hour;
    if (date == end)
        return hour < zone_.dstEndTime.ti_hour;
    return false;
}

bool TimeConverter::LocalToEpoch(const ClockDate* d, const ClockTime* t,
                                 int64_t* epochSeconds) const
{
    KESTRIN_CHECK((d != nullptr) && (t != nullptr), "(d != NULL) && (t != NULL)", "TIMECVT", 51);
    const int64_t year = d->da_year;
    const int month = d->da_month;
    const int day = d->da_day;
    if (epochSeconds == nullptr || year < kFirstYear || year > kLastYear)
        return false;
    if (month < 1 || month > 12 || day < 1 || day > MonthLength(month, year))
        return false;
    if (t->ti_hour > 23 || t->ti_minute > 59 || t->ti_second > 59)
        return false;

    // Whole four-year cycles from 1980 (each begins with its leap year),
    // then single years, the first of which was the leap year.
    const int64_t y = year - 1980;
    const int64_t cycles = FloorDiv(y, 4);
    const int64_t years = y - 4 * cycles;
    int64_t x = int64_t{zone_.zoneOffset} + kEpoch1980 + cycles * kSecondsPerFourYears +
                years * kSecondsPerYear + (years != 0 ? 86400 : 0);

    int dayOfYear = day - 1;
    for (int m = 1; m < month; ++m)
        dayOfYear += MonthLength(m, year);
    // The clock shows daylight time; its hour decides, and the skipped hour
    // of the spring transition counts as daylight time.
    int64_t hours = int64_t{dayOfYear} * 24 + t->ti_hour;
    if (zone_.daylightInUse && IsDaylightTime(t->ti_hour, dayOfYear, static_cast<int>(year)))
        hours -= 1;

    *epochSeconds = x + hours * 3600 + t->ti_minute * 60 + t->ti_second;
    return true;
}

bool TimeConverter::EpochToLocal(int64_t epochSeconds, ClockDate* d, ClockTime* t) const
{
    KESTRIN_CHECK((d != nullptr) && (t != nullptr), "(d != NULL) && (t != NULL)", "TIMECVT", 97);
    bool daylight = false;
    return ConvertEpoch(epochSeconds, d, t, &daylight);
}

bool TimeConverter::ConvertEpoch(int64_t epochSeconds, ClockDate* d, ClockTime* t,
                                 bool* daylight) const
{
    // No zone offset brings an instant past 2^40 s (some 35,000 years) back
    // before 2100; refusing it first keeps the arithmetic in range.
    if (epochSeconds < 0 || epochSeconds > kFarFuture)
        return false;
    // Seconds since 1980-01-01 00:00:00 local standard time.
    int64_t x = epochSeconds - (int64_t{zone_.zoneOffset} + kEpoch1980);
    if (x < 0)
        return false;

    const int second = static_cast<int>(x % 60);
    x /= 60;
    const int minute = static_cast<int>(x % 60);
    x /= 60;  // hours

    int64_t year = 1980 + 4 * (x / kHoursPerFourYears);
    x %= kHoursPerFourYears;
    if (x >= kHoursPerLeapYear) {
        x -= kHoursPerLeapYear;
        year += 1 + x / kHoursPerYear;
        x %= kHoursPerYear;
    }
    if (year > kLastYear)
        return false;

    // x is the hour of the year in standard time, which decides daylight time.
    const bool inDaylight =
        zone_.daylightInUse &&
        IsDaylightTime(static_cast<int>(x % 24), static_cast<int>(x / 24), static_cast<int>(year));
    if (inDaylight)
        x += 1;

    const int hour = static_cast<int>(x % 24);
    int dayOfYear = static_cast<int>(x / 24) + 1;
    if (dayOfYear > (IsLeapYear(year) ? 366 : 365)) {  // the daylight hour crossed New Year
        year += 1;
        dayOfYear = 1;
        if (year > kLastYear)
            return false;
    }

    // The leap day sits outside the month table: take it out, then walk.
    int month = 1;
    int day = dayOfYear;
    if (IsLeapYear(year) && day == 60) {
        month = 2;
        day = 29;
    } else {
        if (IsLeapYear(year) && day > 60)
            day -= 1;
        while (day > kMonthLengths[month - 1]) {
            day -= kMonthLengths[month - 1];
            ++month;
        }
    }

    *d = ClockDate{static_cast<int32_t>(year), static_cast<int8_t>(day),
                   static_cast<int8_t>(month)};
    *t = ClockTime{static_cast<uint8_t>(minute), static_cast<uint8_t>(hour), 0,
                   static_cast<uint8_t>(second)};
    *daylight = inDaylight;
    return true;
}

const char* TimeConverter::EpochTimeText(const int64_t* epochSeconds)
{
    ClockDate d{};
    ClockTime t{};
    bool daylight = false;
    if (epochSeconds == nullptr || !ConvertEpoch(*epochSeconds, &d, &t, &daylight)) {
        std::snprintf(timeText_, sizeof timeText_, "?");
        return timeText_;
    }
    // The name follows the conversion's own decision: judged again on the
    // wall-clock reading, the repeated hour after daylight saving ends would
    // be named as standard time while it is still daylight time.
    const NDate date(d.da_day, d.da_month, d.da_year);
    // Formatted at a width the compiler can prove, then cut to the buffer;
    // the fields' ranges keep the line at 28 characters.
    char line[64];
    std::snprintf(line, sizeof line, "%3.3s %3.3s %02d %02d:%02d:%02d %4d %3s",
                  TDate::WeekDayName(date.WeekDay()), TDate::MonthName(d.da_month), d.da_day,
                  t.ti_hour, t.ti_minute, t.ti_second, static_cast<int>(d.da_year),
                  daylight ? zone_.dstZoneName : zone_.stdZoneName);
    std::snprintf(timeText_, sizeof timeText_, "%.31s", line);
    return timeText_;
}
