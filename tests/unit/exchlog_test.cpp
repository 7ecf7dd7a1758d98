// The exchange log: the CSV line, appending, rotation and a log that cannot
// be written.
#include "service/exchlog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr uint32_t kSecondsAt2026 = 3974198400u;  // 2025-12-08 00:00 UTC as NTP seconds

NtpTime At(uint32_t seconds, double fraction)
{
    return NtpTime{kSecondsAt2026 + seconds, static_cast<uint32_t>(fraction * 4294967296.0)};
}

ExchangeRecord Record(ExchangeVerdict verdict, ExchangeAction action)
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
    const std::string stamps = "3974198500.000000,3974198502.349999,3974198502.359999,3974198500.209999";
    const struct {
        ExchangeVerdict verdict;
        ExchangeAction action;
        uint32_t error;
        std::string tail;
    } cases[] = {
        {ExchangeVerdict::Accepted, ExchangeAction::Set, 0, "2.250,0.200,accepted,set"},
        {ExchangeVerdict::Accepted, ExchangeAction::NotSet, 0, "2.250,0.200,accepted,not set: limit"},
        {ExchangeVerdict::Accepted, ExchangeAction::SetError, 1314, "2.250,0.200,accepted,not set: error 1314"},
        {ExchangeVerdict::Unsynchronised, ExchangeAction::None, 0, "2.250,0.200,leap 3,"},
        {ExchangeVerdict::StratumZero, ExchangeAction::None, 0, "2.250,0.200,stratum 0,"},
        {ExchangeVerdict::NoTransmitTime, ExchangeAction::None, 0, "2.250,0.200,zero transmit,"},
        {ExchangeVerdict::WrongSource, ExchangeAction::None, 0, "2.250,0.200,wrong source,"},
        {ExchangeVerdict::TooShort, ExchangeAction::None, 0, "2.250,0.200,too short,"},
        {ExchangeVerdict::BeforeFloor, ExchangeAction::None, 0, "2.250,0.200,before the floor,"},
    };
    for (const auto& c : cases) {
        ExchangeRecord r = Record(c.verdict, c.action);
        r.error = c.error;
        EXPECT_EQ("2026-12-08 09:21:43.05,10.213.12.2," + stamps + "," + c.tail, Line(r));
    }

    // Negative offsets and a client line, which has no T4, offset or delay.
    ExchangeRecord behind = Record(ExchangeVerdict::Accepted, ExchangeAction::Set);
    behind.t2 = behind.t3 = At(97, 0.0);
    behind.t4 = behind.t1;
    EXPECT_NE(std::string::npos, Line(behind).find(",-3.000,0.000,accepted,set"));
    behind.t2 = behind.t3 = At(99, 0.75);
    EXPECT_NE(std::string::npos, Line(behind).find(",-0.250,0.000,"));
    ExchangeRecord client = Record(ExchangeVerdict::ClientRequest, ExchangeAction::Answered);
    client.hasT4 = false;
    EXPECT_NE(std::string::npos, Line(client).find(",3974198502.359999,,,,client request,answered"));
}

class ExchangeLogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One file per test: ctest runs them side by side.
        path_ = ::testing::TempDir() + "kestrin_exchlog_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".csv";
        std::remove(path_.c_str());
        std::remove((path_ + ".old").c_str());
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
