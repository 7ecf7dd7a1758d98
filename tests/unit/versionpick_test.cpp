// The protocol version of requests: the setting's text and the "auto" choice.
#include "service/versionpick.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VersionPick, ParsesTheSetting)
{
    const struct {
        const char* text;
        bool ok;
        VersionMode mode;
        int version;
    } cases[] = {
        {"1", true, VersionMode::Fixed, 1}, {"3", true, VersionMode::Fixed, 3},
        {"4", true, VersionMode::Fixed, 4}, {" 4 ", true, VersionMode::Fixed, 4},
        {"auto", true, VersionMode::Auto, 1}, {"AUTO", true, VersionMode::Auto, 1},
        {"", false, VersionMode::Fixed, 1},   {"0", false, VersionMode::Fixed, 1},
        {"5", false, VersionMode::Fixed, 1},  {"34", false, VersionMode::Fixed, 1},
        {"3x", false, VersionMode::Fixed, 1}, {"automatic", false, VersionMode::Fixed, 1},
    };
    for (const auto& c : cases) {
        VersionSetting s = kDefaultVersionSetting;
        EXPECT_EQ(c.ok, ParseVersionSetting(c.text, &s)) << c.text;
        EXPECT_EQ(c.mode, s.mode) << c.text;
        EXPECT_EQ(c.version, s.version) << c.text;
        if (c.ok) {
            VersionSetting back = kDefaultVersionSetting;
            EXPECT_TRUE(ParseVersionSetting(VersionSettingText(s), &back)) << c.text;
            EXPECT_EQ(s.mode, back.mode);
        }
    }
    EXPECT_FALSE(ParseVersionSetting(nullptr, nullptr));
}

// Each case: the setting and a run of events, R a request (its version is
// recorded), A a reply. The string of versions sent is compared.
TEST(VersionPick, AutoAlternatesUntilAnswered)
{
    const struct {
        VersionSetting setting;
        const char* events;
        const char* versions;
    } cases[] = {
        {kDefaultVersionSetting, "RRRRRRRRR", "111111111"},
        {{VersionMode::Fixed, 4}, "RRRRRAR", "444444"},
        // Three without a reply, then version 4 three times, then 1 again.
        {{VersionMode::Auto, 1}, "RRRRRRRR", "11144411"},
        // Version 4 answered: it stays, however many go unanswered later.
        {{VersionMode::Auto, 1}, "RRRRARRRRRR", "1114444444"},
        // Version 1 answered straight away: it stays.
        {{VersionMode::Auto, 1}, "RARRRRR", "111111"},
    };
    for (const auto& c : cases) {
        VersionPicker picker;
        picker.Assign(c.setting);
        std::string sent;
        for (const char* e = c.events; *e != '\0'; ++e) {
            if (*e == 'R')
                sent += static_cast<char>('0' + picker.NoteRequest());
            else
                picker.NoteReply();
        }
        EXPECT_EQ(c.versions, sent) << c.events;
    }
}

TEST(VersionPick, RequestHeaderCarriesTheVersion)
{
    EXPECT_EQ(0x0B, RequestHeaderFor(1));  // what requests always were
    EXPECT_EQ(0x1B, RequestHeaderFor(3));
    EXPECT_EQ(0x23, RequestHeaderFor(4));
}

}  // namespace
