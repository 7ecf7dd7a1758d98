// Unit tests of the DstRule settings value: reading, writing, zone names.
#include "time/dstrule.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Fields {
    int32_t v[11];
};

Fields FieldsOf(const DstRuleRecord& r)
{
    return Fields{{r.startOrdinal, r.startWeekday, r.startMonth, r.startHour, r.startMinute,
                   r.endOrdinal, r.endWeekday, r.endMonth, r.endHour, r.endMinute, r.utcOffset}};
}

const Fields kNoDaylight = {{-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};

void ExpectFields(const Fields& expected, const DstRuleRecord& rule)
{
    const Fields got = FieldsOf(rule);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(expected.v[i], got.v[i]) << "field " << i;
}

// A rule full of values a failed read must overwrite.
DstRuleRecord Scribbled()
{
    DstRuleRecord rule;
    std::memset(&rule, 0x5a, sizeof rule);
    std::memcpy(rule.stdName, "AB", 3);
    std::memcpy(rule.dstName, "CD", 3);
    return rule;
}

}  // namespace

TEST(DstRule, ReadsElevenNumbers)
{
    struct Case {
        const char* text;
        Fields fields;
    };
    const Case cases[] = {
        {"1,7,4,2,0,5,7,10,2,0,18000", {{1, 7, 4, 2, 0, 5, 7, 10, 2, 0, 18000}}},
        {"1,7,10,2,0,3,7,3,3,0,-36000", {{1, 7, 10, 2, 0, 3, 7, 3, 3, 0, -36000}}},
        {kDefaultDstRuleText, {{-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0}}},
        // Blanks before a number are skipped, a sign is taken, text after the
        // eleventh number is ignored.
        {" 1,\t7, +4,2,0,5,7,10,2,0,\n-3600 trailing", {{1, 7, 4, 2, 0, 5, 7, 10, 2, 0, -3600}}},
        {"1,7,4,2,0,5,7,10,2,0,18000,99", {{1, 7, 4, 2, 0, 5, 7, 10, 2, 0, 18000}}},
        {"0001,7,4,2,0,5,7,10,2,0,-2147483648", {{1, 7, 4, 2, 0, 5, 7, 10, 2, 0, INT32_MIN}}},
        {"1,7,4,2,0,5,7,10,2,0,2147483647", {{1, 7, 4, 2, 0, 5, 7, 10, 2, 0, INT32_MAX}}},
        // Out-of-range fields are read as they stand; evaluation copes with them.
        {"9,99,13,25,61,-7,8,0,24,-1,1", {{9, 99, 13, 25, 61, -7, 8, 0, 24, -1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DstRuleRecord rule = Scribbled();
        EXPECT_TRUE(ParseDstRule(c.text, &rule));
        ExpectFields(c.fields, rule);
        EXPECT_STREQ("AB", rule.stdName);  // names are separate settings
    }
}

TEST(DstRule, UnreadableValueGivesNoDaylightAndOffsetZero)
{
    const char* const cases[] = {
        "",
        "UTC",
        "1,7,4,2,0,5,7,10,2,0",        // ten numbers
        "1,7,4,2,0,5,7,10,2,0,",       // ten and a comma
        "1 ,7,4,2,0,5,7,10,2,0,18000",  // blank before a comma
        "1;7;4;2;0;5;7;10;2;0;18000",
        "1,,4,2,0,5,7,10,2,0,18000",
        "1,7,4,2,0,5,7,10,2,0,-",
        "1,7,4,2,0,5,7,10,2,0,+ 5",
        // Numbers beyond 32 bits are refused rather than wrapped.
        "1,7,4,2,0,5,7,10,2,0,2147483648",
        "1,7,4,2,0,5,7,10,2,0,-2147483649",
        "99999999999999999999999999,7,4,2,0,5,7,10,2,0,18000",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        DstRuleRecord rule = Scribbled();
        EXPECT_FALSE(ParseDstRule(text, &rule));
        ExpectFields(kNoDaylight, rule);
        EXPECT_STREQ("CD", rule.dstName);
    }
    DstRuleRecord rule = Scribbled();
    EXPECT_FALSE(ParseDstRule(nullptr, &rule));
    ExpectFields(kNoDaylight, rule);
}

// Only the first 79 characters count: a number cut there keeps its first
// digits, one that starts past them is missing.
TEST(DstRule, LooksAtSeventyNineCharacters)
{
    const std::string head = "1,7,4,2,0,5,7,10,2,0,";
    const std::string pad(79 - head.size() - 3, ' ');

    DstRuleRecord rule{};
    EXPECT_TRUE(ParseDstRule((head + pad + "18000").c_str(), &rule));
    EXPECT_EQ(180, rule.utcOffset);

    EXPECT_TRUE(ParseDstRule((head + pad + "  7").c_str(), &rule));
    EXPECT_EQ(7, rule.utcOffset);

    EXPECT_FALSE(ParseDstRule((head + pad + "   7").c_str(), &rule));
    EXPECT_EQ(-1, rule.startOrdinal);
}

TEST(DstRule, WritesWhatItReads)
{
    DstRuleRecord rule = DefaultDstRule();
    ASSERT_TRUE(ParseDstRule("1,7,4,2,0,5,7,10,2,0,18000", &rule));
    char text[160];
    FormatDstRule(rule, text, sizeof text);
    EXPECT_STREQ("1,7,4,2,0,5,7,10,2,0,18000", text);

    const DstRuleRecord extreme = {INT32_MIN, INT32_MAX, -1, 0, 59, -1, 0, 12, 23, 0, INT32_MIN,
                                   "", ""};
    FormatDstRule(extreme, text, sizeof text);
    DstRuleRecord back{};
    ASSERT_TRUE(ParseDstRule(text, &back));
    ExpectFields(FieldsOf(extreme), back);

    char small[5];
    FormatDstRule(rule, small, sizeof small);
    EXPECT_STREQ("1,7,", small);
}

TEST(DstRule, ZoneNamesKeepThreeCharacters)
{
    char field[4];
    SetZoneName(field, "EST");
    EXPECT_STREQ("EST", field);
    SetZoneName(field, "ACDT");
    EXPECT_STREQ("ACD", field);
    SetZoneName(field, "Z");
    EXPECT_STREQ("Z", field);
    EXPECT_EQ(0, std::memcmp(field, "Z\0\0\0", 4));
    SetZoneName(field, nullptr);
    EXPECT_STREQ("", field);
}

TEST(DstRule, DefaultIsTheDefaultText)
{
    const DstRuleRecord def = DefaultDstRule();
    DstRuleRecord parsed = def;
    ASSERT_TRUE(ParseDstRule(kDefaultDstRuleText, &parsed));
    EXPECT_EQ(0, std::memcmp(&def, &parsed, sizeof def));
    EXPECT_STREQ("UTC", def.stdName);
    EXPECT_STREQ("UTC", def.dstName);
    EXPECT_EQ(-1, def.startOrdinal);
    EXPECT_EQ(-1, def.endOrdinal);
}
