// Fuzz target: DstRule text (and zone names) through parsing, installation
// and the local/epoch conversions, which must neither crash nor misbehave.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "time/timecvt.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

bool SameNumbers(const DstRuleRecord& a, const DstRuleRecord& b)
{
    return a.startOrdinal == b.startOrdinal && a.startWeekday == b.startWeekday &&
           a.startMonth == b.startMonth && a.startHour == b.startHour &&
           a.startMinute == b.startMinute && a.endOrdinal == b.endOrdinal &&
           a.endWeekday == b.endWeekday && a.endMonth == b.endMonth && a.endHour == b.endHour &&
           a.endMinute == b.endMinute && a.utcOffset == b.utcOffset;
}

// Instants around the edges of what the conversions take and around the
// daylight-saving transitions of 1998.
const int64_t kInstants[] = {
    INT64_MIN, INT32_MIN, -1, 0, 315532799, 315532800, 891766799, 891766800, 909298799,
    909298800, 915148799, 951825600, 2085978495, 2085978496, INT32_MAX, 4102444799,
    4102444800, INT64_MAX,
};

struct Local {
    int32_t year;
    int day, month, hour, minute, second;
};
// Wall-clock readings, some of them impossible.
const Local kReadings[] = {
    {1969, 31, 12, 23, 59, 59}, {1970, 1, 1, 0, 0, 0},      {1980, 1, 1, 0, 0, 0},
    {1998, 5, 4, 2, 30, 0},     {1998, 25, 10, 1, 30, 0},   {1998, 25, 10, 2, 30, 0},
    {1998, 31, 12, 23, 59, 59}, {2000, 29, 2, 12, 0, 0},    {1998, 29, 2, 12, 0, 0},
    {2038, 19, 1, 3, 14, 7},    {2099, 31, 12, 23, 59, 59}, {2100, 1, 1, 0, 0, 0},
    {1998, 0, 0, 0, 0, 0},      {1998, 1, 13, 0, 0, 0},     {1998, 1, 1, 24, 60, 60},
};

void CheckFormat(const DstRuleRecord& rule, bool complete)
{
    // Exact-size heap buffers, so any write past the end is caught.
    for (size_t size : {size_t{1}, size_t{8}, size_t{80}, size_t{160}}) {
        std::unique_ptr<char[]> out(new char[size]);
        FormatDstRule(rule, out.get(), size);
        Require(std::memchr(out.get(), '\0', size) != nullptr, "formatted rule terminated");
        if (size == 160 && complete && std::strlen(out.get()) <= 79) {
            DstRuleRecord again = DefaultDstRule();
            Require(ParseDstRule(out.get(), &again), "formatted rule reads back");
            Require(SameNumbers(rule, again), "formatted rule reads back the same");
        }
    }
}

void CheckConversions(TimeConverter& zone)
{
    for (int64_t instant : kInstants) {
        ClockDate d{};
        ClockTime t{};
        if (zone.EpochToLocal(instant, &d, &t)) {
            Require(d.da_month >= 1 && d.da_month <= 12 && d.da_day >= 1 && d.da_day <= 31 &&
                        t.ti_hour <= 23 && t.ti_minute <= 59 && t.ti_second <= 59 &&
                        t.ti_hundredths == 0,
                    "local reading in range");
            int64_t back = 0;
            if (zone.LocalToEpoch(&d, &t, &back)) {
                // Only the daylight hour can be judged differently each way.
                const int64_t diff = back - instant;
                Require(diff == 0 || diff == 3600 || diff == -3600, "round trip within an hour");
            }
        }
        const char* text = zone.EpochTimeText(&instant);
        Require(text != nullptr && std::strlen(text) < 32, "time text fits");
    }
    for (const Local& r : kReadings) {
        const ClockDate d{r.year, static_cast<int8_t>(r.day), static_cast<int8_t>(r.month)};
        const ClockTime t{static_cast<uint8_t>(r.minute), static_cast<uint8_t>(r.hour), 0,
                          static_cast<uint8_t>(r.second)};
        int64_t epoch = 0;
        zone.LocalToEpoch(&d, &t, &epoch);
    }
    for (int year : {1970, 1998, 1999, 2038, 2099})
        for (int day : {0, 59, 180, 364, 365})
            for (int hour : {0, 1, 2, 3, 23})
                zone.IsDaylightTime(hour, day, year);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Any length; the text ends at the first NUL, as a settings value would.
    const std::string text(reinterpret_cast<const char*>(data), size);
    DstRuleRecord rule = DefaultDstRule();
    const bool complete = ParseDstRule(text.c_str(), &rule);
    if (!complete) {
        DstRuleRecord none{};
        none.startOrdinal = -1;
        Require(SameNumbers(rule, none), "unreadable value gives no daylight saving, offset 0");
    }
    // Zone names are free text too: take them from the end of the input.
    if (size >= 6) {
        const std::string names = text.substr(size - 6);
        SetZoneName(rule.stdName, names.c_str());
        SetZoneName(rule.dstName, names.c_str() + 3);
    }
    CheckFormat(rule, complete);

    // Installed with the clock in 1998 (transitions of that year), then
    // with the clock at the far end.
    TimeConverter zone(&rule, 1998);
    CheckConversions(zone);
    zone.SetDstRule(&rule, 2099);
    CheckConversions(zone);
    return 0;
}
