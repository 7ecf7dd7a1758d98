// The context hash against values worked out by hand.
#include <gtest/gtest.h>

#include "tools/hlpc/hash.h"

namespace {

TEST(ContextHash, MatchesHandWorkedValues)
{
    const struct {
        const char* id;
        int32_t hash;
    } cases[] = {
        {"", 0},
        {"a", 17},
        {"A", 17},
        {"ab", 17 * 43 + 18},
        {"AB", 17 * 43 + 18},
        {"A1", 17 * 43 + 1},
        {"0", 10},
        {"9", 9},
        {"._", 12 * 43 + 13},
        // 'z' is 42, so n of them hash to 43^n - 1 modulo 2^32.
        {"zzzzzz", 2026395752},       // 6321363048 - 2^32
        {"zzzzzzz", 1235671458},      // 271818611106 - 63 * 2^32
        {"zzzzzzzzz", -166073782},    // wraps past 2^31: read as signed
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.hash, ContextHash(c.id)) << '"' << c.id << '"';
}

TEST(ContextHash, AllowsOnlyLettersDigitsDotAndUnderscore)
{
    for (char c : std::string("azAZ09._"))
        EXPECT_TRUE(IsContextChar(c)) << c;
    for (char c : std::string(" -#$/:!@[]{}\t"))
        EXPECT_FALSE(IsContextChar(c)) << c;
}

}  // namespace
