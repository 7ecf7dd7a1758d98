// The exchange log: the CSV line, appending, rotation and a log that cannot
// be written.
#include "service/exchlog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr uint32_t kSecondsAt2026 = 3974198400u;  // 2025-12-08 00:00 UTC as NTP seconds

NtpTime At(uint32_t seconds, double fraction)
{
    return NtpTime{kSecondsAt2026 + seconds, static_cast<uint32_t>(fraction * 4294967296.0)};
}

ExchangeRecord Record(Verdict verdict, AdjustAction action = AdjustAction::Set)
{
    ExchangeRecord r{};
    r.date = ClockDate{2026, 8, 12};
    r.time = ClockTime{21, 9, 5, 43};
    const uint8_t octets[4] = {10, 213, 12, 2};
    std::memcpy(&r.address, octets, sizeof r.address);
    r.t1 = At(100, 0.0);
    r.t2 = At(102, 0.35);
    r.t3 = At(102, 0.36);
    r.t4 = At(100, 0.21);
    r.hasT4 = true;
    r.verdict = verdict;
    r.action = action;
    return r;
}

std::string Line(const ExchangeRecord& r)
{
    char out[kExchangeLineSize];
    FormatExchangeLine(r, out, sizeof out);
    return out;
}

TEST(ExchangeLog, LineHoldsTheExchange)
{
    // T1 100.00, T2 102.35, T3 102.36, T4 100.21 (seconds after the base):
    // offset ((2.35) + (2.15)) / 2 = +2.250, delay 0.21 - 0.01 = 0.200.
    ExchangeRecord r = Record(Verdict::Accepted, AdjustAction::Set);
    EXPECT_EQ("2026-12-08 09:21:43.05,10.213.12.2,3974198500.000000,3974198502.349999,"
              "3974198502.359999,3974198500.209999,2.250,0.200,accepted,set",
              Line(r));
    r.action = AdjustAction::SetFailed;
    r.error = 1314;
    EXPECT_NE(std::string::npos, Line(r).find(",accepted,not set: error 1314"));

    // Negative offsets, whole and with a fraction.
    ExchangeRecord behind = Record(Verdict::Accepted, AdjustAction::Set);
    behind.t2 = behind.t3 = At(97, 0.0);
    behind.t4 = behind.t1;
    EXPECT_NE(std::string::npos, Line(behind).find(",-3.000,0.000,accepted,set"));
    behind.t2 = behind.t3 = At(99, 0.75);
    EXPECT_NE(std::string::npos, Line(behind).find(",-0.250,0.000,"));

    // A client line has no T4, offset or delay.
    ExchangeRecord client = Record(Verdict::ClientRequest);
    client.hasT4 = false;
    EXPECT_NE(std::string::npos, Line(client).find(",3974198502.359999,,,,client request,answered"));

    // A refused reply did nothing, whatever the record's action holds; its
    // reason is the verdict's text.
    for (Verdict refused : {Verdict::WrongSource, Verdict::TooShort, Verdict::BeforeFloor}) {
        const std::string line = Line(Record(refused, AdjustAction::Set));
        EXPECT_EQ(std::string(",") + VerdictText(refused) + ",", line.substr(line.rfind(',', line.size() - 2)))
            << line;
    }
}

// A reply that passed the tests is taken only when it answers our request;
// the line names the reason when it does not.
TEST(ExchangeLog, VerdictOfTheMatch)
{
    const struct {
        MatchVerdict match;
        Verdict expected;
        const char* text;
    } cases[] = {
        {MatchVerdict::Matched, Verdict::Accepted, ",accepted,"},
        {MatchVerdict::TrustedBroadcast, Verdict::Accepted, ",accepted,"},
        {MatchVerdict::Broadcast, Verdict::Broadcast, ",broadcast,"},
        {MatchVerdict::NoRequest, Verdict::NoRequest, ",no request,"},
        {MatchVerdict::Unmatched, Verdict::Unmatched, ",unmatched,"},
    };
    for (const auto& c : cases) {
        const Verdict verdict = JudgeReply(Verdict::Accepted, false, 48, c.match);
        EXPECT_EQ(c.expected, verdict) << c.text;
        EXPECT_NE(std::string::npos, Line(Record(verdict)).find(c.text)) << c.text;
    }
}

TEST(ExchangeLog, KissLineNamesTheCode)
{
    ExchangeRecord r = Record(Verdict::Kiss);
    std::memcpy(r.kissCode, "RATE", 5);
    const std::string line = Line(r);
    EXPECT_NE(std::string::npos, line.find(",kiss RATE,")) << line;
    EXPECT_EQ(',', line.back()) << "no action: " << line;
}

class ExchangeLogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One file per test: ctest runs them side by side.
        path_ = ::testing::TempDir() + "kestrin_exchlog_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".csv";
        std::filesystem::remove_all(path_);
        std::filesystem::remove_all(path_ + ".old");
        std::filesystem::remove_all(path_ + ".old.new");
    }
    void TearDown() override { SetUp(); }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string path_;
};

TEST_F(ExchangeLogFile, AppendsUnderOneHeader)
{
    {
        ExchangeLog log;
        log.SetPath(path_.c_str());
        EXPECT_TRUE(log.Write("one"));
        // Flushed at once: readable while the log is open.
        EXPECT_EQ(std::string(kExchangeLogHeader) + "\r\none\r\n", Read(path_));
    }
    ExchangeLog again;
    again.SetPath(path_.c_str());
    EXPECT_TRUE(again.Write("two"));
    EXPECT_EQ(std::string(kExchangeLogHeader) + "\r\none\r\ntwo\r\n", Read(path_));
    EXPECT_FALSE(again.TakeFailureNote());
}

TEST_F(ExchangeLogFile, RotatesPastOneMegabyteKeepingOneOld)
{
    const std::string filler(ExchangeLog::kRotateBytes - 10, 'x');
    for (const char* previous : {"", "older"}) {
        std::ofstream(path_ + ".old", std::ios::binary) << previous;
        std::ofstream(path_, std::ios::binary) << filler;
        ExchangeLog log;
        log.SetPath(path_.c_str());
        EXPECT_TRUE(log.Write("a line longer than the room left"));
        EXPECT_EQ(filler, Read(path_ + ".old"));
        EXPECT_EQ(std::string(kExchangeLogHeader) + "\r\na line longer than the room left\r\n",
                  Read(path_));
    }
    // A line that still fits goes into the same file.
    std::ofstream(path_, std::ios::binary) << filler;
    ExchangeLog log;
    log.SetPath(path_.c_str());
    EXPECT_TRUE(log.Write("fits"));
    EXPECT_EQ(filler + "fits\r\n", Read(path_));
}

// A log that another program holds open cannot move to .old: it used to grow
// without bound, with the previous .old already deleted. Here a folder in the
// way stands in for the holder (the move, or the replacing of .old, fails).
TEST_F(ExchangeLogFile, LogThatCannotMoveStopsAtItsBoundAndKeepsTheOld)
{
    const std::string filler(ExchangeLog::kRotateBytes - 10, 'x');
    const struct {
        const char* blocked;  // the name a folder takes
        const char* kept;     // the previous .old, or what stands in its place
        const char* keptText;
    } cases[] = {{".old.new", ".old", "older"}, {".old", ".old/held", "held"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.blocked);
        SetUp();
        std::ofstream(path_ + ".old", std::ios::binary) << "older";
        std::filesystem::remove(path_ + c.blocked);
        std::filesystem::create_directory(path_ + c.blocked);
        std::ofstream(path_ + c.blocked + "/held", std::ios::binary) << "held";
        std::ofstream(path_, std::ios::binary) << filler;

        ExchangeLog log;
        log.SetPath(path_.c_str());
        EXPECT_FALSE(log.Write("a line longer than the room left"));
        EXPECT_FALSE(log.Write("and another that does not fit"));
        EXPECT_EQ(filler, Read(path_));  // not one byte past the bound
        EXPECT_EQ(c.keptText, Read(path_ + c.kept));
        EXPECT_TRUE(log.TakeFailureNote());
        EXPECT_FALSE(log.TakeFailureNote());

        // Let go: the next line moves the file and starts a new one.
        std::filesystem::remove_all(path_ + c.blocked);
        EXPECT_TRUE(log.Write("again longer than the room left"));
        EXPECT_EQ(filler, Read(path_ + ".old"));
        EXPECT_EQ(std::string(kExchangeLogHeader) + "\r\nagain longer than the room left\r\n",
                  Read(path_));
        EXPECT_FALSE(std::filesystem::exists(path_ + ".old.new"));
    }
}

TEST(ExchangeLogPath, RelativeNamesGoIntoTheOneFolder)
{
    const char folder[] = "C:\\WINDOWS";
    const struct {
        const char* value;
        const char* folder;
        const char* path;
    } cases[] = {
        {"exchanges.csv", folder, "C:\\WINDOWS\\exchanges.csv"},
        {"logs\\k.csv", "C:\\WINDOWS\\", "C:\\WINDOWS\\logs\\k.csv"},
        {"..\\k.csv", folder, "C:\\WINDOWS\\..\\k.csv"},
        {"C:\\kestrin\\e.csv", folder, "C:\\kestrin\\e.csv"},
        {"d:/kestrin/e.csv", folder, "d:/kestrin/e.csv"},
        {"D:e.csv", folder, "D:e.csv"},                    // a drive names its own folder
        {"\\\\host\\share\\e.csv", folder, "\\\\host\\share\\e.csv"},
        {"\\e.csv", folder, "\\e.csv"},
        {"", folder, ""},                                  // no log stays no log
        {"e.csv", "", "e.csv"},                            // no folder known
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.path, ResolveLogPath(c.value, c.folder)) << c.value << " in " << c.folder;
}

TEST_F(ExchangeLogFile, UnwritableLogIsNotedOnce)
{
    ExchangeLog log;
    log.SetPath((path_ + ".missing-dir/log.csv").c_str());
    EXPECT_FALSE(log.Write("one"));
    EXPECT_TRUE(log.TakeFailureNote());
    EXPECT_FALSE(log.Write("two"));
    EXPECT_FALSE(log.TakeFailureNote());

    ExchangeLog off;  // no path: nothing to write, nothing to note
    EXPECT_TRUE(off.Write("one"));
    EXPECT_FALSE(off.TakeFailureNote());
}

}  // namespace
