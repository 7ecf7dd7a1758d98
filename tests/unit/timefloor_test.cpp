// The safety floor under a reply's transmit time, across the NTP eras.
#include "service/timefloor.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kFloor = 1796688000;  // 2026-12-08 00:00 UTC

NtpTime AtUnix(int64_t unixSeconds)
{
    return NtpTime{static_cast<uint32_t>(unixSeconds + kNtpToEpoch), 0};
}

TEST(TimeFloor, RejectsOnlyTimesBeforeTheFloor)
{
    const struct {
        NtpTime transmit;
        int64_t floor;
        bool before;
    } cases[] = {
        {AtUnix(kFloor - kDay), kFloor, true},        // a day before the build
        {AtUnix(kFloor - 1), kFloor, true},
        {AtUnix(kFloor), kFloor, false},
        {AtUnix(kFloor + 3600), kFloor, false},
        {AtUnix(0), kFloor, true},                    // 1970
        {NtpTime{0x80000000u, 0}, kFloor, true},      // 1968, the oldest of era 0
        {NtpTime{0xFFFFFFFFu, 0}, kFloor, false},     // 2036-02-07 06:28:15
        {NtpTime{0x00000000u, 1}, kFloor, false},     // 2036-02-07 06:28:16, era 1
        {NtpTime{0x7FFFFFFFu, 0}, kFloor, false},     // 2104, the newest of era 1
        {AtUnix(kFloor - kDay), 0, false},            // no floor
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.before, BeforeTimeFloor(c.transmit, c.floor)) << c.transmit.seconds;
}

TEST(TimeFloor, ErasOfTheSecondsWord)
{
    EXPECT_EQ(0, UnixSecondsOfNtp(static_cast<uint32_t>(kNtpToEpoch)));
    EXPECT_EQ(2085978496, UnixSecondsOfNtp(0));  // the era boundary, 2036-02-07 06:28:16
    EXPECT_EQ(2085978495, UnixSecondsOfNtp(0xFFFFFFFFu));
}

TEST(TimeFloor, SourceDateIsNoonBeforeARecentSourceDay)
{
    const int64_t floor = SourceDateFloor();
    EXPECT_EQ(kDay / 2, floor % kDay);
    EXPECT_GE(floor, 1735689600);  // a source of 2025 or later
}

}  // namespace
