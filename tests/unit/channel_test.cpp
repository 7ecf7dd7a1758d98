// The service channel: requests read from bytes (good, short, long, garbage),
// who may make them, and replies read back as the window reads them.
#include "channel/channel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

ChannelParse Parse(const std::string& bytes, ChannelRequest* request = nullptr)
{
    ChannelRequest scratch;
    return ParseChannelRequest(bytes.data(), bytes.size(), request != nullptr ? request : &scratch);
}

TEST(Channel, RequestsReadAsTheirBytesSay)
{
    const std::string longest(kChannelRequestMax - std::strlen("SET\nNTPServer=\nEND\n"), 'a');
    struct Case {
        const char* name;
        std::string bytes;
        ChannelParse want;
    } cases[] = {
        {"status", "STATUS\nEND\n", ChannelParse::Complete},
        {"send now", "SENDNOW\nEND\n", ChannelParse::Complete},
        {"set one key", "SET\nNTPServer=10.0.0.1\nEND\n", ChannelParse::Complete},
        {"set an empty server", "SET\nNTPServer=\nEND\n", ChannelParse::Complete},
        {"set at the longest", "SET\nNTPServer=" + longest.substr(0, 254) + "\nEND\n",
         ChannelParse::Complete},
        // A client that connects and sends nothing, or stops half way.
        {"nothing", "", ChannelParse::Short},
        {"no end line", "STATUS\n", ChannelParse::Short},
        {"end line cut", "STATUS\nEN", ChannelParse::Short},
        {"end without its newline", "STATUS\nEND", ChannelParse::Short},
        {"end glued to a line", "STATUSEND\n", ChannelParse::Short},
        {"one byte past the longest", std::string(kChannelRequestMax + 1, 'A'),
         ChannelParse::TooLong},
        {"long, ended", "SET\nNTPServer=" + std::string(kChannelRequestMax, 'x') + "\nEND\n",
         ChannelParse::TooLong},
        {"only the end line", "END\n", ChannelParse::Garbage},
        {"unknown command", "REBOOT\nEND\n", ChannelParse::Garbage},
        {"command in lower case", "status\nEND\n", ChannelParse::Garbage},
        {"carriage return", "STATUS\r\nEND\n", ChannelParse::Garbage},
        {"NUL", std::string("STA\0TUS\nEND\n", 12), ChannelParse::Garbage},
        {"high byte", "STATUS\xff\nEND\n", ChannelParse::Garbage},
        {"garbage without an end", "\x01\x02\x03", ChannelParse::Garbage},
        {"status with a value", "STATUS\nNTPServer=x\nEND\n", ChannelParse::Garbage},
        {"set with nothing", "SET\nEND\n", ChannelParse::Garbage},
        {"set without =", "SET\nNTPServer\nEND\n", ChannelParse::Garbage},
        {"set an unknown key", "SET\nNTPVersion=4\nEND\n", ChannelParse::Garbage},
        {"set a key twice", "SET\nMaxDelta=200\nMaxDelta=300\nEND\n", ChannelParse::Garbage},
        {"set a value too long for the settings",
         "SET\nNTPServer=" + std::string(kSettingsWriteSize, 'x') + "\nEND\n",
         ChannelParse::Garbage},
        {"blank line", "STATUS\n\nEND\n", ChannelParse::Garbage},
        {"send now relaxed", "SENDNOW\nIgnoreLimit=1\nAcceptUnsynced=1\nEND\n",
         ChannelParse::Complete},
        {"send now restarting", "SENDNOW\nRestart=1\nEND\n", ChannelParse::Complete},
        {"send now asks twice", "SENDNOW\nRestart=1\nRestart=1\nEND\n", ChannelParse::Garbage},
        {"send now with 0", "SENDNOW\nIgnoreLimit=0\nEND\n", ChannelParse::Garbage},
        {"send now with a setting", "SENDNOW\nNTPServer=x\nEND\n", ChannelParse::Garbage},
        {"set broadcasts on", "SET\nAcceptBroadcasts=1\nEND\n", ChannelParse::Complete},
        {"set broadcasts to 2", "SET\nAcceptBroadcasts=2\nEND\n", ChannelParse::Garbage},
        {"set broadcasts twice", "SET\nAcceptBroadcasts=1\nAcceptBroadcasts=0\nEND\n",
         ChannelParse::Garbage},
        {"set relaxes", "SET\nIgnoreLimit=1\nEND\n", ChannelParse::Garbage},
        {"set NTS on", "SET\nNTS=1\nNTSRootCerts=roots.pem\nEND\n", ChannelParse::Complete},
        {"set NTS to yes", "SET\nNTS=yes\nEND\n", ChannelParse::Garbage},
        {"set NTS twice", "SET\nNTS=1\nNTS=0\nEND\n", ChannelParse::Garbage},
        {"set no roots", "SET\nNTSRootCerts=\nEND\n", ChannelParse::Complete},
        {"set roots twice", "SET\nNTSRootCerts=a\nNTSRootCerts=b\nEND\n", ChannelParse::Garbage},
        // The file keeps 79 characters: a longer path would name another file.
        {"set roots the file would cut",
         "SET\nNTSRootCerts=" + std::string(kSettingsValueSize, 'r') + "\nEND\n", ChannelParse::Garbage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Parse(c.bytes), c.want);
    }
}

TEST(Channel, SetCarriesItsValuesIntoTheSettings)
{
    ChannelRequest request;
    ASSERT_EQ(Parse("SET\nNTPServer=ntp.example.test\nPollInterval=600\n"
                    "DstRule=5,7,3,2,0,5,7,10,3,0,-3600\nSTDTzName=CET\nServerStratum=auto\n"
                    "END\n",
                    &request),
              ChannelParse::Complete);
    EXPECT_EQ(request.command, ChannelCommand::Set);
    SNTPSettings settings;
    ResetSettings(&settings);
    settings.maxDelta = 250;
    ApplyChannelSet(request, &settings);
    EXPECT_STREQ(settings.ntpServer, "ntp.example.test");
    EXPECT_EQ(settings.pollInterval, 600);
    EXPECT_EQ(settings.maxDelta, 250);  // not given: kept
    EXPECT_EQ(settings.dstRule.utcOffset, -3600);
    EXPECT_STREQ(settings.dstRule.stdName, "CET");
    EXPECT_TRUE(settings.serverStratumAuto);
    EXPECT_EQ(request.nts, -1);  // not given: the service's own stays
    EXPECT_FALSE(request.ntsRootCertsGiven);

    ASSERT_EQ(Parse("SET\nNTS=0\nNTSRootCerts=C:\\roots.pem\nEND\n", &request),
              ChannelParse::Complete);
    EXPECT_EQ(request.nts, 0);
    EXPECT_TRUE(request.ntsRootCertsGiven);
    EXPECT_STREQ(request.ntsRootCerts, "C:\\roots.pem");
}

TEST(Channel, OnlyAdministratorsChangeSettings)
{
    struct Case {
        ChannelCommand command;
        bool administrator;
        ChannelAccess want;
    } cases[] = {
        {ChannelCommand::Status, false, ChannelAccess::Allowed},
        {ChannelCommand::Status, true, ChannelAccess::Allowed},
        {ChannelCommand::SendNow, false, ChannelAccess::Allowed},
        {ChannelCommand::SendNow, true, ChannelAccess::Allowed},
        {ChannelCommand::Set, false, ChannelAccess::NeedsAdministrator},
        {ChannelCommand::Set, true, ChannelAccess::Allowed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.command) * 2 + c.administrator);
        EXPECT_EQ(DecideChannelAccess(c.command, c.administrator), c.want);
    }
}

TEST(Channel, OnlyAdministratorsRelaxTheChecks)
{
    struct Case {
        const char* request;
        bool administrator;
        ChannelAccess want;
    } cases[] = {
        {"SENDNOW\nRestart=1\nEND\n", false, ChannelAccess::Allowed},
        {"SENDNOW\nIgnoreLimit=1\nEND\n", false, ChannelAccess::NeedsAdministrator},
        {"SENDNOW\nAcceptUnsynced=1\nEND\n", false, ChannelAccess::NeedsAdministrator},
        {"SENDNOW\nIgnoreLimit=1\nAcceptUnsynced=1\nEND\n", true, ChannelAccess::Allowed},
        {"SET\nAcceptBroadcasts=1\nEND\n", false, ChannelAccess::NeedsAdministrator},
        {"STATUS\nEND\n", false, ChannelAccess::Allowed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        ChannelRequest request;
        ASSERT_EQ(Parse(c.request, &request), ChannelParse::Complete);
        EXPECT_EQ(DecideChannelAccess(request, c.administrator), c.want);
    }
}

TEST(Channel, AsksAndTheBroadcastsKeyReadBackAsSent)
{
    char text[kChannelRequestMax];
    ChannelRequest request;
    for (int bits = 0; bits < 8; ++bits) {
        ChannelAsk ask;
        ask.restart = (bits & 1) != 0;
        ask.ignoreLimit = (bits & 2) != 0;
        ask.acceptUnsynced = (bits & 4) != 0;
        const size_t length = FormatSendNowRequest(ask, text, sizeof text);
        ASSERT_EQ(ParseChannelRequest(text, length, &request), ChannelParse::Complete) << bits;
        EXPECT_EQ(request.command, ChannelCommand::SendNow);
        EXPECT_EQ(request.ask.restart, ask.restart);
        EXPECT_EQ(request.ask.ignoreLimit, ask.ignoreLimit);
        EXPECT_EQ(request.ask.acceptUnsynced, ask.acceptUnsynced);
    }
    for (int on = 0; on < 2; ++on) {
        const size_t length = FormatBroadcastsRequest(on != 0, text, sizeof text);
        ASSERT_EQ(ParseChannelRequest(text, length, &request), ChannelParse::Complete);
        EXPECT_EQ(request.acceptBroadcasts, on);
        EXPECT_FALSE(request.given[kKeyNtpServer]);
    }
}

TEST(Channel, ASetThatTheFileWouldCutIsKnown)
{
    // The file gives back kSettingsValueSize - 1 characters of a value: a
    // longer server list would lose its end at the next start.
    struct Case {
        size_t length;
        bool fits;
    } cases[] = {{0, true}, {kSettingsValueSize - 1, true}, {kSettingsValueSize, false}, {254, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        ChannelRequest request;
        ASSERT_EQ(Parse("SET\nNTPServer=" + std::string(c.length, 'n') + "\nEND\n", &request),
                  ChannelParse::Complete);
        EXPECT_EQ(ChannelSetFitsFile(request), c.fits);
    }
}

TEST(Channel, FormattedRequestsReadBackAsSent)
{
    SNTPSettings settings;
    ResetSettings(&settings);
    std::strcpy(settings.ntpServer, "10.1.2.3 ntp.example.test");
    settings.maxDelta = 500;
    bool given[kSettingsKeyCount] = {};
    given[kKeyNtpServer] = given[kKeyMaxDelta] = true;
    char text[kChannelRequestMax + 1];
    const size_t length = FormatChannelRequest(ChannelCommand::Set, &settings, given, text, sizeof text);
    ASSERT_GT(length, 0u);
    ChannelRequest request;
    ASSERT_EQ(ParseChannelRequest(text, length, &request), ChannelParse::Complete);
    EXPECT_TRUE(request.given[kKeyNtpServer]);
    EXPECT_FALSE(request.given[kKeyPollInterval]);
    EXPECT_STREQ(request.value[kKeyNtpServer], "10.1.2.3 ntp.example.test");
    EXPECT_STREQ(request.value[kKeyMaxDelta], "500");

    // A value the channel cannot carry on one line is refused, not cut.
    std::strcpy(settings.ntpServer, "a\nSTATUS");
    EXPECT_EQ(FormatChannelRequest(ChannelCommand::Set, &settings, given, text, sizeof text), 0u);
    EXPECT_EQ(FormatChannelRequest(ChannelCommand::Status, nullptr, nullptr, text, 4), 0u);
}

TEST(Channel, StatusReplyReadsBackWhole)
{
    ChannelStatus status;
    std::strcpy(status.statusText, "Last set: Mon Jun 01 12:00:01 1998 UTC   Delta: +1.00 secs");
    status.counts = ServiceCounts{7, 6, 1, 2};
    status.counts.sent = UINT64_MAX;  // counts are 64 bits wide, and go whole
    ResetSettings(&status.settings);
    std::strcpy(status.settings.ntpServer, "timesrv");
    status.settings.pollInterval = 120;
    status.settings.maxDelta = 100;
    ASSERT_TRUE(ParseDstRule("5,7,3,2,0,5,7,10,3,0,-3600", &status.settings.dstRule));
    std::strcpy(status.settings.dstRule.stdName, "CET");
    std::strcpy(status.settings.dstRule.dstName, "CES");
    status.noChannelSeconds = 4000000000u;
    status.nextAskSeconds = 9;
    status.accepted = 12;
    status.failed = 3;
    status.acceptBroadcasts = true;
    status.settings.serverStratumAuto = true;
    status.nts = true;
    std::memset(status.ntsRootCerts, 'r', kSettingsValueSize - 1);  // the longest the file keeps
    char text[kChannelReplyMax];
    const size_t length = FormatStatusReply(status, text, sizeof text);
    ASSERT_GT(length, 0u);

    ChannelStatus back;
    ASSERT_EQ(ParseChannelReply(text, length, &back), ChannelReply::Ok);
    EXPECT_STREQ(back.statusText, status.statusText);
    EXPECT_EQ(back.counts.sent, UINT64_MAX);
    EXPECT_EQ(back.counts.received, 6u);
    EXPECT_EQ(back.counts.rejected, 1u);
    EXPECT_EQ(back.counts.broadcast, 2u);
    EXPECT_EQ(back.accepted, 12u);
    EXPECT_EQ(back.failed, 3u);
    EXPECT_TRUE(back.acceptBroadcasts);
    EXPECT_TRUE(back.nts);
    EXPECT_STREQ(back.ntsRootCerts, status.ntsRootCerts);
    EXPECT_STREQ(back.settings.ntpServer, "timesrv");
    EXPECT_EQ(back.settings.pollInterval, 120);
    EXPECT_EQ(back.noChannelSeconds, 4000000000u);
    EXPECT_EQ(back.nextAskSeconds, 9u);
    EXPECT_TRUE(back.settings.serverStratumAuto);
    EXPECT_EQ(0, std::memcmp(&back.settings.dstRule, &status.settings.dstRule,
                             sizeof back.settings.dstRule));
}

TEST(Channel, RepliesReadAsTheirKind)
{
    char text[32];
    struct Case {
        const char* name;
        std::string bytes;
        ChannelReply want;
    } cases[] = {
        {"ok", std::string(text, FormatPlainReply(ChannelReply::Ok, text, sizeof text)),
         ChannelReply::Ok},
        {"denied", std::string(text, FormatPlainReply(ChannelReply::Denied, text, sizeof text)),
         ChannelReply::Denied},
        {"bad", std::string(text, FormatPlainReply(ChannelReply::Bad, text, sizeof text)),
         ChannelReply::Bad},
        {"failed", std::string(text, FormatPlainReply(ChannelReply::Failed, text, sizeof text)),
         ChannelReply::Failed},
        {"nothing: the service went away", "", ChannelReply::Unreadable},
        {"cut short", "OK\nStatus=Last", ChannelReply::Unreadable},
        {"unknown kind", "MAYBE\nEND\n", ChannelReply::Unreadable},
        {"line without =", "OK\nStatus\nEND\n", ChannelReply::Unreadable},
        {"control byte", "OK\nStatus=\x07\nEND\n", ChannelReply::Unreadable},
        {"too long", "OK\nStatus=" + std::string(kChannelReplyMax, 'x') + "\nEND\n",
         ChannelReply::Unreadable},
        {"unknown key skipped", "OK\nColour=blue\nEND\n", ChannelReply::Ok},
        {"count past 64 bits", "OK\nSent=18446744073709551616\nEND\n", ChannelReply::Unreadable},
        {"count not a number", "OK\nSent=-1\nEND\n", ChannelReply::Unreadable},
        {"seconds past 32 bits", "OK\nNextAsk=4294967296\nEND\n", ChannelReply::Unreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChannelStatus status;
        EXPECT_EQ(ParseChannelReply(c.bytes.data(), c.bytes.size(), &status), c.want);
    }
    // An ask that did not go reads as OK, with the wait.
    ChannelStatus status;
    const size_t length = FormatAskReply(14, text, sizeof text);
    ASSERT_EQ(ParseChannelReply(text, length, &status), ChannelReply::Ok);
    EXPECT_EQ(status.nextAskSeconds, 14u);
}

}  // namespace
