// Unit tests of the time-zone dialog's fields: the two text checks, offset text, rule to fields and back, version paths.
#include "ui/tzfields.h"
#include "ui/verpath.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(TzFields, TimeTextsAreAcceptedFrom0000To2359OrEmpty)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"", true},       {" ", true},      {"00:00", true},  {"23:59", true},
        {"19:09", true},  {"02:00", true},  {"24:00", false}, {"12:60", false},
        {"9:30", false},  {"09:3", false},  {"  ", false},    {"09.30", false},
        {"29:00", false}, {"0a:00", false}, {"09:30 ", false}, {"-1:00", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, IsValidTimeText(c.text)) << '"' << c.text << '"';
}

TEST(TzFields, OffsetTextsAreAcceptedFromMinus14To12Hours)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"5:00", true},    {"+5:00", true},   {"-5:30", true},   {"+12:00", true},
        {"-12:00", true},  {"12:00", true},   {"00:00", true},   {"-0:00", true},
        {"+11:59", true},  {"8:00", true},    {"+12:30", false}, {"+12:01", false},
        {"13:00", false},  {"+5", false},     {"", false},       {"+", false},
        {"-", false},      {"12:60", false},  {"99:99", false},  {"+-5:00", false},
        {"+005:00", false}, {"5:0", false},   {" 5:00", false},  {"05:00x", false},
        // East of UTC reaches +14 (Kiribati); west stays at -12.
        {"-13:00", true},  {"-14:00", true},  {"-12:45", true},  {"-13:59", true},
        {"-14:30", false}, {"-14:01", false}, {"-15:00", false}, {"14:00", false},
        {"+13:00", false}, {"+12:45", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, IsValidOffsetText(c.text)) << '"' << c.text << '"';
}

TEST(TzFields, OffsetSecondsShowAsSignedHoursAndMinutesAndReadBack)
{
    const struct {
        int32_t seconds;
        const char* text;
        int32_t readBack;  // seconds are dropped
    } cases[] = {
        {18000, "+05:00", 18000},   {-28800, "-08:00", -28800}, {19800, "+05:30", 19800},
        {18030, "+05:00", 18000},   {0, "+00:00", 0},           {-59, "-00:00", 0},
        {43200, "+12:00", 43200},   {-43200, "-12:00", -43200}, {-19800, "-05:30", -19800},
        {-50400, "-14:00", -50400}, {-45900, "-12:45", -45900},
    };
    for (const auto& c : cases) {
        char text[kOffsetFieldSize];
        FormatOffsetText(c.seconds, text, sizeof text);
        EXPECT_STREQ(c.text, text) << c.seconds;
        int32_t seconds = 12345;
        ASSERT_TRUE(ParseOffsetText(text, &seconds)) << text;
        EXPECT_EQ(c.readBack, seconds) << text;
    }
    // The validator's short forms read the same.
    for (const auto& [text, seconds] : {std::pair<const char*, int32_t>{"5:00", 18000},
                                        {"+5:00", 18000}, {"-5:30", -19800}}) {
        int32_t got = 0;
        ASSERT_TRUE(ParseOffsetText(text, &got)) << text;
        EXPECT_EQ(seconds, got) << text;
    }
}

TEST(TzFields, UnreadableOffsetTextKeepsTheOffset)
{
    for (const char* text : {"", "+", "-", "abc", "+-5:00", "5", " 5:00", "5:"}) {
        int32_t seconds = 777;
        EXPECT_FALSE(ParseOffsetText(text, &seconds)) << '"' << text << '"';
        EXPECT_EQ(777, seconds) << text;
    }
}

// Offsets and hours far outside any zone (an edited settings file) are cut to
// their field: the texts stay terminated inside it and nothing spills over.
TEST(TzFields, HugeNumbersAreCutToTheirFields)
{
    DstRuleRecord rule = DefaultDstRule();
    rule.startOrdinal = 1;
    rule.endOrdinal = 1;
    rule.startHour = INT32_MAX;
    rule.endMinute = INT32_MIN;
    for (int32_t offset : {INT32_MIN, INT32_MAX, -2000000000}) {
        rule.utcOffset = offset;
        const TzFields f = FieldsFromRule(rule);
        EXPECT_LT(strnlen(f.offsetText, sizeof f.offsetText), sizeof f.offsetText) << offset;
        EXPECT_FALSE(IsValidOffsetText(f.offsetText)) << f.offsetText;
        EXPECT_LT(strnlen(f.start.timeText, sizeof f.start.timeText), sizeof f.start.timeText);
        EXPECT_FALSE(IsValidTimeText(f.start.timeText)) << f.start.timeText;
        EXPECT_FALSE(IsValidTimeText(f.end.timeText)) << f.end.timeText;
    }
}

DstRuleRecord NorthernRule()
{
    return DstRuleRecord{5, 7, 3, 1, 0, 5, 7, 10, 2, 30, 0, "GMT", "BST"};
}

TEST(TzFields, RuleShowsAsListIndexesAndTexts)
{
    const TzFields f = FieldsFromRule(NorthernRule());
    EXPECT_EQ(4, f.start.ordinalIndex);
    EXPECT_EQ(0, f.start.weekdayIndex) << "Sunday is the first entry";
    EXPECT_EQ(2, f.start.monthIndex);
    EXPECT_STREQ("01:00", f.start.timeText);
    EXPECT_EQ(9, f.end.monthIndex);
    EXPECT_STREQ("02:30", f.end.timeText);
    EXPECT_STREQ("GMT", f.stdName);
    EXPECT_STREQ("BST", f.dstName);
    EXPECT_STREQ("+00:00", f.offsetText);

    const TzFields blank = FieldsFromRule(DefaultDstRule());
    for (const TzTransitionFields* t : {&blank.start, &blank.end}) {
        EXPECT_STREQ(" ", kOrdinalEntries[t->ordinalIndex]);
        EXPECT_STREQ(" ", kWeekdayEntries[t->weekdayIndex]);
        EXPECT_STREQ(" ", kMonthEntries[t->monthIndex]);
        EXPECT_STREQ("", t->timeText);
    }
}

// Every list state a user can leave the dialog in, and what it stores.
TEST(TzFields, ListStatesStoreIntoTheRule)
{
    const DstRuleRecord before = NorthernRule();
    const struct {
        const char* what;
        int32_t startOrdinal, startWeekday, startMonth, endOrdinal;  // indexes
        const char* startTime;
        // stored:
        int32_t ordinal, weekday, month, hour, minute;
    } cases[] = {
        {"full rule", 0, 1, 3, 4, "02:15", 1, 1, 4, 2, 15},
        {"Sunday stores 7", 1, 0, 3, 4, "02:00", 2, 7, 4, 2, 0},
        {"blank weekday stores 7", 1, 7, 3, 4, "02:00", 2, 7, 4, 2, 0},
        {"blank month stores 13", 1, 2, 12, 4, "02:00", 2, 2, 13, 2, 0},
        {"empty time is 00:00", 3, 6, 11, 4, "", 4, 6, 12, 0, 0},
        {"blank time is 00:00", 3, 6, 11, 4, " ", 4, 6, 12, 0, 0},
        // A blank or missing ordinal at either end: daylight saving off, the
        // other fields as they were.
        {"blank start ordinal", 5, 1, 3, 4, "09:09", -1, 7, 3, 1, 0},
        {"blank end ordinal", 0, 1, 3, 5, "09:09", -1, 7, 3, 1, 0},
        {"no start ordinal", -1, 1, 3, 4, "09:09", -1, 7, 3, 1, 0},
        {"no end ordinal", 0, 1, 3, -1, "09:09", -1, 7, 3, 1, 0},
    };
    for (const auto& c : cases) {
        TzFields f = FieldsFromRule(before);
        f.start.ordinalIndex = c.startOrdinal;
        f.start.weekdayIndex = c.startWeekday;
        f.start.monthIndex = c.startMonth;
        f.end.ordinalIndex = c.endOrdinal;
        std::strcpy(f.start.timeText, c.startTime);
        DstRuleRecord rule = before;
        RuleFromFields(f, &rule);
        EXPECT_EQ(c.ordinal, rule.startOrdinal) << c.what;
        EXPECT_EQ(c.weekday, rule.startWeekday) << c.what;
        EXPECT_EQ(c.month, rule.startMonth) << c.what;
        EXPECT_EQ(c.hour, rule.startHour) << c.what;
        EXPECT_EQ(c.minute, rule.startMinute) << c.what;
        if (c.ordinal == -1) {
            EXPECT_EQ(-1, rule.endOrdinal) << c.what;
            EXPECT_EQ(before.endMonth, rule.endMonth) << c.what;
            EXPECT_EQ(before.endHour, rule.endHour) << c.what;
        } else {
            EXPECT_EQ(5, rule.endOrdinal) << c.what;
        }
    }
}

// An Ordinal with the blank Month was once stored as month 13, a rule that
// never applies, and daylight saving was silently off.
TEST(TzFields, OrdinalWithoutMonthIsRefused)
{
    const struct {
        int32_t ordinalIndex, monthIndex;
        bool refused;
    } cases[] = {
        {0, 0, false},  {4, 11, false}, {0, 12, true},  {4, -1, true},   {2, 13, true},
        {5, 12, false}, {5, 3, false},  {-1, -1, false}, {-1, 12, false}, {6, 12, false},
    };
    for (const auto& c : cases) {
        TzTransitionFields t{};
        t.ordinalIndex = c.ordinalIndex;
        t.monthIndex = c.monthIndex;
        EXPECT_EQ(c.refused, OrdinalLacksMonth(t)) << c.ordinalIndex << ", " << c.monthIndex;
    }
    // A stored month 13 still opens as it always did (Month blank), and
    // such a rule is then refused until a Month or the blank Ordinal is chosen.
    DstRuleRecord stored = NorthernRule();
    stored.startMonth = 13;
    const TzFields f = FieldsFromRule(stored);
    EXPECT_EQ(12, f.start.monthIndex);
    EXPECT_TRUE(OrdinalLacksMonth(f.start));
    EXPECT_FALSE(OrdinalLacksMonth(f.end));
}

TEST(TzFields, NamesAndOffsetGoBackWithinTheirFields)
{
    TzFields f = FieldsFromRule(NorthernRule());
    std::strcpy(f.stdName, "");
    std::strcpy(f.dstName, "EDT");
    std::strcpy(f.offsetText, "-5:30");
    DstRuleRecord rule = NorthernRule();
    RuleFromFields(f, &rule);
    EXPECT_STREQ("", rule.stdName);
    EXPECT_STREQ("EDT", rule.dstName);
    EXPECT_EQ(-19800, rule.utcOffset);

    // A record whose names fill all four bytes shows three characters.
    std::memcpy(rule.stdName, "ABCD", 4);
    EXPECT_STREQ("ABC", FieldsFromRule(rule).stdName);
}

TEST(VersionPath, NamesTheStringTableOfTheFirstTranslation)
{
    const struct {
        unsigned char entry[4];
        const char* key;
        const char* path;
    } cases[] = {
        // Code page word first, as the program stores it: table 040904e4.
        {{0xE4, 0x04, 0x09, 0x04}, "SpecialBuild", "\\StringFileInfo\\040904e4\\SpecialBuild"},
        // Language word first: the halves are not swapped, so the path names
        // a table that does not exist.
        {{0x09, 0x04, 0xE4, 0x04}, "ProductName", "\\StringFileInfo\\04e40409\\ProductName"},
        {{0xB0, 0x04, 0x00, 0x00}, "", "\\StringFileInfo\\000004b0\\"},
    };
    for (const auto& c : cases) {
        char path[260];
        ASSERT_TRUE(FormatVersionPath(TranslationFromBytes(c.entry), c.key, path, sizeof path));
        EXPECT_STREQ(c.path, path);
    }
    char small[20];
    EXPECT_FALSE(FormatVersionPath(0x040904E4u, "ProductVersion", small, sizeof small));
    EXPECT_EQ(sizeof small - 1, std::strlen(small));
}

}  // namespace
