// The DstRule settings value: eleven comma-separated numbers, read and written.
#include "time/dstrule.h"

#include <cstdint>
#include <cstdio>

#include "time/numscan.h"

namespace {

constexpr int kFieldCount = 11;
constexpr size_t kMaxValueChars = 79;  // the value is read into an 80-byte buffer

}  // namespace

bool ParseDstRule(const char* text, DstRuleRecord* rule)
{
    if (rule == nullptr)
        return false;
    int32_t fields[kFieldCount] = {};
    int read = 0;
    if (text != nullptr) {
        char value[kMaxValueChars + 1];
        std::snprintf(value, sizeof value, "%.*s", static_cast<int>(kMaxValueChars), text);
        const char* p = value;
        while (read < kFieldCount) {
            if (read > 0) {
                if (*p != ',')
                    break;
                ++p;
            }
            // A number too large for 32 bits counts as unreadable, so a
            // damaged value never installs a half-understood rule.
            if (ScanNumberText(p, &fields[read], &p) != NumberText::Number)
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
