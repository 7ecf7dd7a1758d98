// AES-SIV against the published examples, and refusal of anything altered.
#include "nts/aessiv.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const char* text)
{
    Bytes out;
    std::string digits;
    for (const char* p = text; *p; ++p) {
        if (*p != ' ')
            digits += *p;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

struct Example {
    const char* what;
    const char* key;
    std::vector<const char*> ad;  // the nonce last, as the AEAD form passes it
    const char* plain;
    const char* sealed;
};

// Printed by its name only: the test's name then stays the same from build to build.
void PrintTo(const Example& example, std::ostream* out) { *out << example.what; }

const Example kExamples[] = {
    {"deterministic",
     "fffefdfc fbfaf9f8 f7f6f5f4 f3f2f1f0 f0f1f2f3 f4f5f6f7 f8f9fafb fcfdfeff",
     {"10111213 14151617 18191a1b 1c1d1e1f 20212223 24252627"},
     "11223344 55667788 99aabbcc ddee",
     "85632d07 c6e8f37f 950acd32 0a2ecc93 40c02b96 90c4dc04 daef7f6a fe5c"},
    {"nonce-based",
     "7f7e7d7c 7b7a7978 77767574 73727170 40414243 44454647 48494a4b 4c4d4e4f",
     {"00112233 44556677 8899aabb ccddeeff deaddada deaddada ffeeddcc bbaa9988 77665544 33221100",
      "10203040 50607080 90a0", "09f91102 9d74e35b d84156c5 635688c0"},
     "74686973 20697320 736f6d65 20706c61 696e7465 78742074 6f20656e 63727970 74207573 696e6720"
     "5349562d 414553",
     "7bdb6e3b 432667eb 06f4d14b ff2fbd0f cb900f2f ddbe4043 26601965 c889bf17 dba77ceb 094fa663"
     "b7a3f748 ba8af829 ea64ad54 4a272e9c 485b62a3 fd5c0d"},
};

class Sealing : public ::testing::TestWithParam<Example> {
protected:
    void SetUp() override
    {
        key = Hex(GetParam().key);
        for (const char* a : GetParam().ad)
            adBytes.push_back(Hex(a));
        for (const Bytes& a : adBytes)
            ad.push_back({a.data(), a.size()});
        plain = Hex(GetParam().plain);
        sealed = Hex(GetParam().sealed);
    }
    bool Open(const Bytes& input, Bytes* out)
    {
        out->assign(input.size() - kSivTagBytes, 0xAA);
        return SivOpen(key.data(), ad.data(), ad.size(), input.data(), input.size(), out->data());
    }

    Bytes key, plain, sealed;
    std::vector<Bytes> adBytes;
    std::vector<ByteSpan> ad;
};

TEST_P(Sealing, GivesThePublishedOutput)
{
    Bytes out(plain.size() + kSivTagBytes);
    ASSERT_TRUE(SivSeal(key.data(), ad.data(), ad.size(), plain.data(), plain.size(), out.data()));
    EXPECT_EQ(sealed, out);
    Bytes opened;
    ASSERT_TRUE(Open(sealed, &opened));
    EXPECT_EQ(plain, opened);
}

TEST_P(Sealing, RefusesEveryFlippedBitAndClearsThePlaintext)
{
    for (size_t bit = 0; bit < sealed.size() * 8; ++bit) {
        Bytes altered = sealed;
        altered[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        Bytes opened;
        EXPECT_FALSE(Open(altered, &opened)) << "bit " << bit;
        EXPECT_EQ(Bytes(opened.size(), 0), opened);
    }
    for (size_t i = 0; i < adBytes.size(); ++i) {
        adBytes[i][0] ^= 1;
        Bytes opened;
        EXPECT_FALSE(Open(sealed, &opened)) << "associated string " << i;
        adBytes[i][0] ^= 1;
    }
    ad.pop_back();  // one string fewer (for NTS: the nonce left out)
    Bytes opened;
    EXPECT_FALSE(Open(sealed, &opened));
}

INSTANTIATE_TEST_SUITE_P(Published, Sealing, ::testing::ValuesIn(kExamples),
                         [](const auto& p) { return p.param.what[0] == 'd' ? "Deterministic" : "NonceBased"; });

// Requests seal nothing: the output is the tag alone, and lengths around
// the block size take the two different S2V endings.
TEST(AesSiv, RoundTripsEveryLengthAroundTheBlock)
{
    const Bytes key = Hex(kExamples[1].key);
    const Bytes nonce = Hex("09f91102 9d74e35b d84156c5 635688c0");
    const ByteSpan ad[1] = {{nonce.data(), nonce.size()}};
    for (size_t size = 0; size <= 33; ++size) {
        Bytes plain(size);
        for (size_t i = 0; i < size; ++i)
            plain[i] = static_cast<uint8_t>(i * 7 + 1);
        Bytes sealed(size + kSivTagBytes);
        ASSERT_TRUE(SivSeal(key.data(), ad, 1, plain.data(), size, sealed.data()));
        Bytes opened(size);
        EXPECT_TRUE(SivOpen(key.data(), ad, 1, sealed.data(), sealed.size(), opened.data())) << size;
        EXPECT_EQ(plain, opened);
    }
    uint8_t tooShort[kSivTagBytes - 1] = {};
    EXPECT_FALSE(SivOpen(key.data(), ad, 1, tooShort, sizeof tooShort, nullptr));
}

}  // namespace
