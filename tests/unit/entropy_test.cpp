// The fallback random source: bits that keep changing when the readings do not.
#include "service/entropy.h"

#include <gtest/gtest.h>

#include <set>


namespace {

// A machine without a performance counter, drawing within one tick: the
// readings repeat, the draws must not, and every bit of a draw (a request's
// stamp is two of them) must take both values.
TEST(EntropyMixer, EqualReadingsStillGiveFreshBits)
{
    const uint64_t readings[] = {0, 12345, 0x0000004200000007u, 0x01D0000000000000u};
    EntropyMixer mixer;
    std::set<uint32_t> seen;
    uint32_t ones = 0, zeros = 0;
    const int draws = 1000;
    for (int i = 0; i < draws; ++i) {
        const uint32_t bits = mixer.Draw(readings, 4);
        seen.insert(bits);
        ones |= bits;
        zeros |= ~bits;
    }
    EXPECT_EQ(static_cast<size_t>(draws), seen.size());
    EXPECT_EQ(0xFFFFFFFFu, ones);
    EXPECT_EQ(0xFFFFFFFFu, zeros);
}

TEST(EntropyMixer, EveryReadingCounts)
{
    // Two mixers in the same state: a difference in any one reading shows.
    for (int which = 0; which < 3; ++which) {
        uint64_t readings[] = {1, 2, 3};
        EntropyMixer a, b;
        const uint32_t same = a.Draw(readings, 3);
        readings[which] ^= 1;
        EXPECT_NE(same, b.Draw(readings, 3)) << "reading " << which;
    }
}

}  // namespace
