// Settings values: every key read from text (present, empty, damaged, missing) and written back.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "settings/numtext.h"

namespace {

// A settings file as a table of strings; missing keys give the default, and
// a read is cut to the buffer as the private-profile functions cut it.
// With profileReads, a stored value loses the blanks around it and one pair
// of equal quotes around it, as the private-profile functions read it.
class FakeStore : public SettingsStore {
public:
    std::map<std::string, std::string> values;
    std::vector<std::string> writeOrder;
    bool profileReads = false;

    void Read(const char* key, const char* defaultText, char* value, size_t size) override
    {
        const auto it = values.find(key);
        std::string text = it != values.end() ? it->second : defaultText;
        if (profileReads && it != values.end()) {
            const size_t first = text.find_first_not_of(" \t");
            text = first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
            if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0])
                text = text.substr(1, text.size() - 2);
        }
        const size_t n = std::min(text.size(), size - 1);
        std::memcpy(value, text.data(), n);
        value[n] = '\0';
    }
    void Write(const char* key, const char* value) override
    {
        values[key] = value;
        writeOrder.push_back(key);
    }
};

SNTPSettings Loaded(const std::map<std::string, std::string>& values)
{
    FakeStore store;
    store.values = values;
    SNTPSettings s;
    ResetSettings(&s);
    LoadSettingsFrom(store, &s);
    return s;
}

TEST(Settings, NoFileGivesEveryDefault)
{
    const SNTPSettings s = Loaded({});
    EXPECT_STREQ("", s.ntpServer);
    EXPECT_EQ(60, s.pollInterval);
    EXPECT_EQ(100, s.maxDelta);
    EXPECT_EQ(-1, s.dstRule.startOrdinal);
    EXPECT_EQ(-1, s.dstRule.endOrdinal);
    EXPECT_EQ(0, s.dstRule.utcOffset);
    EXPECT_STREQ("UTC", s.dstRule.stdName);
    EXPECT_STREQ("UTC", s.dstRule.dstName);
}

TEST(Settings, FirstRunWritesTheSixKeysOfTheExample)
{
    FakeStore store;
    SNTPSettings s;
    ResetSettings(&s);
    LoadSettingsFrom(store, &s);
    SaveSettingsTo(store, s);
    const std::vector<std::string> order = {"NTPServer", "PollInterval", "MaxDelta",
                                            "DstRule", "STDTzName", "DSTTzName"};
    EXPECT_EQ(order, store.writeOrder);
    const std::map<std::string, std::string> expected = {
        {"NTPServer", ""}, {"PollInterval", "60"}, {"MaxDelta", "100"},
        {"DstRule", "-1,0,0,0,0,-1,0,0,0,0,0"}, {"STDTzName", "UTC"}, {"DSTTzName", "UTC"}};
    EXPECT_EQ(expected, store.values);
}

TEST(Settings, ServerText)
{
    const struct {
        const char* stored;  // null: key missing
        const char* server;
    } cases[] = {
        {nullptr, ""},
        {"", ""},
        {" ", ""},
        {" ntp.example", ""},  // a leading blank means no server
        {"127.0.0.1", "127.0.0.1"},
        {"host name", "host name"},
        {"\tx", "\tx"},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> v;
        if (c.stored != nullptr)
            v["NTPServer"] = c.stored;
        EXPECT_STREQ(c.server, Loaded(v).ntpServer) << (c.stored ? c.stored : "(missing)");
    }
}

TEST(Settings, NumberValues)
{
    const struct {
        const char* stored;  // null: key missing
        int32_t poll;        // read as PollInterval
        int32_t delta;       // the same text read as MaxDelta
    } cases[] = {
        {nullptr, 60, 100},
        {"", 60, 100},
        {"   ", 60, 100},
        {"abc", 60, 100},
        {"-", 60, 100},
        {"+", 60, 100},
        {"30", 30, 30},
        {"  45", 45, 45},
        {"0", 0, 0},
        {"-7", -7, -7},
        {"+12", 12, 12},
        {"90seconds", 90, 90},
        {"12 34", 12, 12},
        {"2147483647", 2147483647, 2147483647},
        {"-2147483648", INT32_MIN, INT32_MIN},
        {"2147483648", 60, 100},  // does not fit: not a number
        {"99999999999999999999999999", 60, 100},
        {"x30", 60, 100},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> poll, delta;
        if (c.stored != nullptr) {
            poll["PollInterval"] = c.stored;
            delta["MaxDelta"] = c.stored;
        }
        const SNTPSettings p = Loaded(poll);
        const SNTPSettings d = Loaded(delta);
        const char* shown = c.stored ? c.stored : "(missing)";
        EXPECT_EQ(c.poll, p.pollInterval) << shown;
        EXPECT_EQ(100, p.maxDelta) << shown;
        EXPECT_EQ(c.delta, d.maxDelta) << shown;
        EXPECT_EQ(60, d.pollInterval) << "an empty MaxDelta leaves the poll interval alone";
    }
}

TEST(Settings, RuleValue)
{
    const struct {
        const char* stored;
        int32_t fields[11];
    } cases[] = {
        {"1,7,4,2,0,5,7,10,2,0,18000", {1, 7, 4, 2, 0, 5, 7, 10, 2, 0, 18000}},
        {"1,7,4,2,0,5,7,10,2,0,18000,EST,EDT", {1, 7, 4, 2, 0, 5, 7, 10, 2, 0, 18000}},
        {"1,7,10,2,0,3,7,3,3,0,-36000", {1, 7, 10, 2, 0, 3, 7, 3, 3, 0, -36000}},
        {"-1,0,0,0,0,-1,0,0,0,0,0,UTC,UTC", {-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0}},
        // Ten numbers, a letter among the eleven, empty, junk: no daylight saving.
        {"1,7,4,2,0,5,7,10,2,0", {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"1,7,4,2,x,5,7,10,2,0,18000", {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"", {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"EST", {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const SNTPSettings s = Loaded({{"DstRule", c.stored}, {"STDTzName", "EST"}});
        const int32_t got[11] = {s.dstRule.startOrdinal, s.dstRule.startWeekday,
                                 s.dstRule.startMonth,   s.dstRule.startHour,
                                 s.dstRule.startMinute,  s.dstRule.endOrdinal,
                                 s.dstRule.endWeekday,   s.dstRule.endMonth,
                                 s.dstRule.endHour,      s.dstRule.endMinute,
                                 s.dstRule.utcOffset};
        for (int i = 0; i < 11; ++i)
            EXPECT_EQ(c.fields[i], got[i]) << c.stored << " field " << i;
        EXPECT_STREQ("EST", s.dstRule.stdName) << "names come from their own keys";
        EXPECT_STREQ("UTC", s.dstRule.dstName);
    }
}

TEST(Settings, ZoneNames)
{
    const struct {
        const char* stored;  // null: key missing
        const char* name;
    } cases[] = {
        {nullptr, "UTC"}, {"", ""}, {"A", "A"}, {"CET", "CET"}, {"CEST", "CES"},
        {"AEST", "AES"}, {"Pacific", "Pac"},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> v;
        if (c.stored != nullptr) {
            v["STDTzName"] = c.stored;
            v["DSTTzName"] = c.stored;
        }
        const SNTPSettings s = Loaded(v);
        EXPECT_STREQ(c.name, s.dstRule.stdName);
        EXPECT_STREQ(c.name, s.dstRule.dstName);
    }
}

TEST(Settings, RoundTripWritesElevenNumbersAndNoNames)
{
    FakeStore store;
    store.values = {{"NTPServer", "time.lan"}, {"PollInterval", "30"}, {"MaxDelta", "-5"},
                    {"DstRule", "1,7,4,2,0,5,7,10,2,0,18000,EST,EDT"},
                    {"STDTzName", "EST"}, {"DSTTzName", "EDT"}};
    SNTPSettings s;
    ResetSettings(&s);
    LoadSettingsFrom(store, &s);
    store.writeOrder.clear();
    SaveSettingsTo(store, s);
    EXPECT_EQ("time.lan", store.values["NTPServer"]);
    EXPECT_EQ("30", store.values["PollInterval"]);
    EXPECT_EQ("-5", store.values["MaxDelta"]);
    EXPECT_EQ("1,7,4,2,0,5,7,10,2,0,18000", store.values["DstRule"]);
    EXPECT_EQ("EST", store.values["STDTzName"]);
    EXPECT_EQ("EDT", store.values["DSTTzName"]);
}

TEST(Settings, LongServerNamesAreWrittenWholeAndReadBackCut)
{
    for (const size_t length : {79u, 80u, 200u, 254u}) {
        SNTPSettings s;
        ResetSettings(&s);
        const std::string name(length, 'n');
        std::memcpy(s.ntpServer, name.c_str(), length + 1);
        FakeStore store;
        SaveSettingsTo(store, s);
        EXPECT_EQ(name, store.values["NTPServer"]) << length;
        EXPECT_EQ("60", store.values["PollInterval"]) << "the keys after it are intact";

        SNTPSettings back;
        ResetSettings(&back);
        LoadSettingsFrom(store, &back);
        EXPECT_EQ(std::string(std::min<size_t>(length, 79), 'n'), back.ntpServer) << length;
    }
}

TEST(Settings, NamesWithoutTerminatorAreWrittenAsThreeCharacters)
{
    SNTPSettings s;
    ResetSettings(&s);
    std::memcpy(s.dstRule.stdName, "ABCD", 4);  // no NUL in the field
    char out[kSettingsWriteSize];
    FormatSettingsValue(kKeyStdTzName, s, out, sizeof out);
    EXPECT_STREQ("ABC", out);
}

// Values that the profile functions would have read back without their end
// blanks or their quotes; ordinary values are written as they stand. The
// server's blanks only separate names: they go, as they always went.
TEST(Settings, WrittenValuesLostQuotesAndEndBlanksOnReading)
{
    const std::string name(78, 'n');
    const std::string cutAtBlank = name + " ";  // a long server list cut to 79
    const struct {
        SettingsKey key;
        const char* value;
        const char* written;
        const char* readBack;
    } cases[] = {
        {kKeyDstTzName, "\"B\"", "\"\"B\"\"", "\"B\""},
        {kKeyStdTzName, "'A'", "\"'A'\"", "'A'"},
        {kKeyStdTzName, "AB ", "\"AB \"", "AB "},
        {kKeyStdTzName, "\"", "\"", "\""},
        {kKeyStdTzName, "EST", "EST", "EST"},
        {kKeyNtpServer, cutAtBlank.c_str(), cutAtBlank.c_str(), name.c_str()},
        {kKeyNtpServer, "\"a\" b", "\"a\" b", "\"a\" b"},
        {kKeyNtpServer, " a b", " a b", "a b"},  // typed with a blank first: still the servers
    };
    for (const auto& c : cases) {
        SNTPSettings s;
        ResetSettings(&s);
        if (c.key == kKeyNtpServer)
            std::strcpy(s.ntpServer, c.value);
        else
            TakeSettingsValue(c.key, c.value, &s);
        FakeStore store;
        store.profileReads = true;
        SaveSettingsTo(store, s);
        EXPECT_EQ(c.written, store.values[kSettingsKeys[c.key].name]) << c.value;
        SNTPSettings back;
        ResetSettings(&back);
        LoadSettingsFrom(store, &back);
        char after[kSettingsWriteSize];
        FormatSettingsValue(c.key, back, after, sizeof after);
        EXPECT_STREQ(c.readBack, after) << c.value;
    }
    // The optional keys the same way.
    SNTPExtraSettings extra{};
    std::strcpy(extra.logFile, "'log' ");
    FakeStore store;
    store.profileReads = true;
    SaveExtraSettingsTo(store, extra);
    SNTPExtraSettings back;
    LoadExtraSettingsFrom(store, &back);
    EXPECT_STREQ("'log' ", back.logFile);
}

// The keys a user adds: read as they stand, written back only when present.
TEST(Settings, ExtraKeysStayAsTheFileHadThem)
{
    using Values = std::map<std::string, std::string>;
    const struct {
        Values file;
        const char* version;
        std::string logFile;
        std::vector<std::string> written;
    } cases[] = {
        {{}, "", "", {}},  // a file without them gets none
        {{{"NTPVersion", ""}, {"LogFile", ""}}, "", "", {}},
        {{{"NTPVersion", "auto"}}, "auto", "", {"NTPVersion"}},
        {{{"NTPVersion", "7"}, {"LogFile", "C:\\log\\x.csv"}}, "7", "C:\\log\\x.csv",
         {"NTPVersion", "LogFile"}},  // kept as typed, even a value the service refuses
        {{{"LogFile", std::string(100, 'f')}}, "", std::string(79, 'f'), {"LogFile"}},  // cut to 79
        // The service's -b; the window alone keeps it as the file had it.
        {{{"AcceptBroadcasts", "1"}}, "", "", {"AcceptBroadcasts"}},
        {{{"NTSRootCerts", "roots.pem"}, {"NTS", "1"}}, "", "", {"NTS", "NTSRootCerts"}},
    };
    for (const auto& c : cases) {
        FakeStore store;
        store.values = c.file;
        SNTPExtraSettings extra;
        std::memset(&extra, 'x', sizeof extra);
        LoadExtraSettingsFrom(store, &extra);
        EXPECT_STREQ(c.version, extra.ntpVersion);
        EXPECT_EQ(c.logFile, extra.logFile);
        SaveExtraSettingsTo(store, extra);
        EXPECT_EQ(c.written, store.writeOrder);
    }
}

TEST(Settings, NtsIsOnForOneExactlyAndOffForAnythingElse)
{
    const struct {
        const char* text;
        bool on;
    } cases[] = {{"1", true}, {"", false}, {"0", false}, {"1 ", false}, {"11", false},
                 {"yes", false}, {"on", false}};
    for (const auto& c : cases) {
        FakeStore store;
        store.values = {{"NTS", c.text}};
        SNTPExtraSettings extra;
        LoadExtraSettingsFrom(store, &extra);
        EXPECT_EQ(NtsOn(extra), c.on) << '"' << c.text << '"';
    }
}

// ServerStratum is optional too: a file without it gains nothing, one with
// it keeps it, off as an empty value when it no longer reads "auto".
TEST(Settings, ServerStratumIsWrittenOnlyToAFileThatHasIt)
{
    const struct {
        const char* stored;  // null: no key
        bool on;
        const char* written;  // null: not written
    } cases[] = {
        {nullptr, false, nullptr}, {"auto", true, "auto"}, {"AUTO", true, "auto"},
        {"", false, ""},           {"15", false, ""},      {"auto ", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored != nullptr ? c.stored : "(missing)");
        FakeStore store;
        if (c.stored != nullptr)
            store.values["ServerStratum"] = c.stored;
        SNTPSettings s;
        ResetSettings(&s);
        LoadSettingsFrom(store, &s);
        EXPECT_EQ(c.on, s.serverStratumAuto);
        store.writeOrder.clear();
        SaveSettingsTo(store, s);
        const auto it = store.values.find("ServerStratum");
        EXPECT_EQ(c.written != nullptr, it != store.values.end());
        if (c.written != nullptr && it != store.values.end()) {
            EXPECT_EQ(c.written, it->second);
        }
        EXPECT_EQ(c.written != nullptr ? 7u : 6u, store.writeOrder.size());
    }
    // Switched on (through the channel) in a file without it: written.
    FakeStore store;
    SNTPSettings s;
    ResetSettings(&s);
    s.serverStratumAuto = true;
    SaveSettingsTo(store, s);
    EXPECT_EQ("auto", store.values["ServerStratum"]);
}

TEST(NumberText, FieldRule)
{
    const struct {
        const char* text;
        int32_t current;
        int32_t result;
    } cases[] = {
        {"30", 60, 30}, {"abc", 75, 0}, {"", 75, 75}, {"   ", 75, 75}, {"0", 75, 0},
        {"-20", 75, -20}, {" 120x", 75, 120}, {"-", 75, 0}, {"99999999999", 75, 0},
        {nullptr, 75, 75},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, TakeFieldNumber(c.text, c.current)) << (c.text ? c.text : "(null)");
}

TEST(NumberText, FormatsExtremes)
{
    char out[16];
    FormatNumberText(INT32_MIN, out, sizeof out);
    EXPECT_STREQ("-2147483648", out);
    FormatNumberText(2147483647, out, 5);
    EXPECT_STREQ("2147", out);
}

// The statistics once showed the counts as signed 32-bit numbers, negative
// after 2^31 messages.
TEST(NumberText, CountsPast2To31ShowInFullNeverNegative)
{
    const struct {
        uint64_t count;
        const char* text;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {2147483647, "2147483647"},
        {2147483648u, "2147483648"},
        {4294967296ull, "4294967296"},
        {UINT64_MAX, "18446744073709551615"},
    };
    for (const auto& c : cases) {
        char out[24];
        FormatCountText(c.count, out, sizeof out);
        EXPECT_STREQ(c.text, out);
    }
    char small[5] = "xxxx";
    FormatCountText(UINT64_MAX, small, sizeof small);
    EXPECT_STREQ("1844", small);
    FormatCountText(12, small, 1);
    EXPECT_STREQ("", small);
}

}  // namespace
