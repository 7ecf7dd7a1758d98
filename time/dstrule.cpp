// The DstRule settings value: eleven comma-separated numbers, read and written.
#include "time/dstrule.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr int kFieldCount = 11;
constexpr size_t kMaxValueChars = 79;  // the value is read into an 80-byte buffer

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one number the way "%d" does: blanks skipped, an optional sign,
// then at least one digit. A number outside the signed 32-bit range counts
// as unreadable, so a damaged value never installs a half-understood rule.
// Never reads at or past end.
bool ScanNumber(const char*& p, const char* end, int32_t* value)
{
    while (p < end && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = (*p == '-');
        ++p;
    }
    if (p >= end || *p < '0' || *p > '9')
        return false;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t magnitude = 0;
    bool tooLarge = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) {
            tooLarge = true;
            magnitude = limit;  // keeps the product above bounded; the digits are still consumed
        }
    }
    if (tooLarge)
        return false;
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace

bool ParseDstRule(const char* text, DstRuleRecord* rule)
{
    if (rule == nullptr)
        return false;
    int32_t fields[kFieldCount] = {};
    int read = 0;
    if (text != nullptr) {
        size_t length = 0;
        while (length < kMaxValueChars && text[length] != '\0')
            ++length;
        const char* p = text;
        const char* end = text + length;
        while (read < kFieldCount) {
            if (read > 0) {
                if (p >= end || *p != ',')
                    break;
                ++p;
            }
            if (!ScanNumber(p, end, &fields[read]))
                break;
            ++read;
        }
    }

    if (read < kFieldCount) {
        for (int32_t& field : fields)
            field = 0;
        fields[0] = -1;
    }
    rule->startOrdinal = fields[0];
    rule->startWeekday = fields[1];
    rule->startMonth = fields[2];
    rule->startHour = fields[3];
    rule->startMinute = fields[4];
    rule->endOrdinal = fields[5];
    rule->endWeekday = fields[6];
    rule->endMonth = fields[7];
    rule->endHour = fields[8];
    rule->endMinute = fields[9];
    rule->utcOffset = fields[10];
    return read == kFieldCount;
}

void FormatDstRule(const DstRuleRecord& rule, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return;
    std::snprintf(out, size, "%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%ld",
                  static_cast<int>(rule.startOrdinal), static_cast<int>(rule.startWeekday),
                  static_cast<int>(rule.startMonth), static_cast<int>(rule.startHour),
                  static_cast<int>(rule.startMinute),
                  static_cast<int>(rule.endOrdinal), static_cast<int>(rule.endWeekday),
                  static_cast<int>(rule.endMonth), static_cast<int>(rule.endHour),
                  static_cast<int>(rule.endMinute), static_cast<long>(rule.utcOffset));
}

void SetZoneName(char (&field)[4], const char* name)
{
    size_t i = 0;
    for (; name != nullptr && i < 3 && name[i] != '\0'; ++i)
        field[i] = name[i];
    for (; i < 4; ++i)
        field[i] = '\0';
}

DstRuleRecord DefaultDstRule()
{
    DstRuleRecord rule{};
    rule.startOrdinal = -1;
    rule.endOrdinal = -1;
    SetZoneName(rule.stdName, "UTC");
    SetZoneName(rule.dstName, "UTC");
    return rule;
}
