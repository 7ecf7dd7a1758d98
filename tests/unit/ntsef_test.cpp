// NTS extension fields: a request as a server reads it, and replies of
// every shape through the client's check; the cookie pool.
#include "nts/cookiepool.h"
#include "nts/ntsef.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Filled(size_t size, uint8_t first)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

const Bytes kC2s = Filled(kSivKeyBytes, 0x10);
const Bytes kS2c = Filled(kSivKeyBytes, 0x40);
const Bytes kId = Filled(kUniqueIdBytes, 0x80);
const Bytes kNonce = Filled(kNonceBytes, 0xC0);

Bytes Field(uint16_t type, const Bytes& body)
{
    Bytes f = {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type), 0, 0};
    f.insert(f.end(), body.begin(), body.end());
    while (f.size() % 4 != 0 || f.size() < 16)
        f.push_back(0);
    f[2] = static_cast<uint8_t>(f.size() >> 8);
    f[3] = static_cast<uint8_t>(f.size());
    return f;
}

void Append(Bytes* to, const Bytes& more) { to->insert(to->end(), more.begin(), more.end()); }

KeCookie MakeCookie(size_t size, uint8_t fill)
{
    KeCookie c{};
    c.size = static_cast<uint16_t>(size);
    std::memset(c.data, fill, size < kMaxCookieBytes ? size : kMaxCookieBytes);
    return c;
}

// A server's reply: the header (a kiss NTSN when asked), the given fields,
// then an Authenticator sealing plain under key over everything before it.
Bytes Reply(const Bytes& fields, const Bytes& plain, const Bytes& key, bool authenticator = true,
            bool kiss = false)
{
    Bytes r(kNtpHeaderBytes, 0);
    r[0] = 0x24;
    r[1] = kiss ? 0 : 2;
    if (kiss)
        std::memcpy(r.data() + 12, "NTSN", 4);
    Append(&r, fields);
    if (!authenticator)
        return r;
    Bytes sealed(plain.size() + kSivTagBytes);
    const ByteSpan ad[2] = {{r.data(), r.size()}, {kNonce.data(), kNonce.size()}};
    EXPECT_TRUE(SivSeal(key.data(), ad, 2, plain.data(), plain.size(), sealed.data()));
    Bytes body = {0, static_cast<uint8_t>(kNonceBytes), static_cast<uint8_t>(sealed.size() >> 8),
                  static_cast<uint8_t>(sealed.size())};
    Append(&body, kNonce);
    Append(&body, sealed);
    Append(&r, Field(kEfAuthenticator, body));
    return r;
}

TEST(NtsFields, RequestCarriesIdCookiePlaceholdersAndAuthenticatesAll)
{
    uint8_t packet[kMaxNtsDatagram] = {0x23};
    const KeCookie cookie = MakeCookie(102, 0x33);  // not a multiple of 4: padded
    const NtsRequestInput in{kId.data(), &cookie, 3, kNonce.data(), kC2s.data()};
    const size_t size = WriteNtsRequest(packet, sizeof packet, in);
    ASSERT_EQ(48u + 36 + 3 * 108 + 108 + 40, size);

    // Read back as a server does.
    std::vector<ExtensionField> fields;
    size_t at = kNtpHeaderBytes, authStart = 0;
    while (at < size) {
        ExtensionField f;
        const size_t start = at;
        ASSERT_TRUE(NextField(packet, size, &at, &f));
        if (f.type == kEfAuthenticator)
            authStart = start;
        fields.push_back(f);
    }
    ASSERT_EQ(6u, fields.size());
    EXPECT_EQ(kEfUniqueId, fields[0].type);
    EXPECT_EQ(kId, Bytes(fields[0].body, fields[0].body + fields[0].size));
    EXPECT_EQ(kEfCookie, fields[1].type);
    EXPECT_EQ(0, std::memcmp(fields[1].body, cookie.data, cookie.size));
    for (int i = 2; i < 5; ++i) {
        EXPECT_EQ(kEfPlaceholder, fields[i].type);
        EXPECT_EQ(fields[1].size, fields[i].size);
    }
    const ExtensionField& auth = fields[5];
    ASSERT_EQ(kEfAuthenticator, auth.type);
    ASSERT_EQ(Bytes({0, 16, 0, 16}), Bytes(auth.body, auth.body + 4));
    EXPECT_EQ(kNonce, Bytes(auth.body + 4, auth.body + 20));
    const ByteSpan ad[2] = {{packet, authStart}, {auth.body + 4, kNonceBytes}};
    EXPECT_TRUE(SivOpen(kC2s.data(), ad, 2, auth.body + 20, kSivTagBytes, nullptr));
    packet[47] ^= 1;  // the transmit time is authenticated too
    EXPECT_FALSE(SivOpen(kC2s.data(), ad, 2, auth.body + 20, kSivTagBytes, nullptr));

    EXPECT_EQ(0u, WriteNtsRequest(packet, 48 + 36 + 108, in)) << "a request that does not fit";
}

TEST(NtsFields, ChecksReplies)
{
    const Bytes id = Field(kEfUniqueId, kId);
    const Bytes cookies = [] {
        Bytes c = Field(kEfCookie, Bytes(100, 1));
        Append(&c, Field(kEfCookie, Bytes(100, 2)));
        return c;
    }();
    Bytes otherId = kId;
    otherId[31] ^= 1;
    Bytes twoIds = id;
    Append(&twoIds, id);
    Bytes idAndOpenCookie = id;
    Append(&idAndOpenCookie, Field(kEfCookie, Bytes(100, 9)));
    Bytes nineCookies;
    for (int i = 0; i < 9; ++i)
        Append(&nineCookies, Field(kEfCookie, Bytes(16, static_cast<uint8_t>(i))));

    struct Case {
        const char* what;
        Bytes reply;
        NtsVerdict verdict;
        size_t cookies;
    };
    std::vector<Case> cases = {
        {"well formed, two new cookies", Reply(id, cookies, kS2c), NtsVerdict::Authentic, 2},
        {"no new cookie", Reply(id, {}, kS2c), NtsVerdict::Authentic, 0},
        {"more than eight cookies: eight kept", Reply(id, nineCookies, kS2c), NtsVerdict::Authentic, 8},
        {"a cookie outside the encryption is not taken", Reply(idAndOpenCookie, {}, kS2c),
         NtsVerdict::Authentic, 0},
        {"sealed with the client's key", Reply(id, cookies, kC2s), NtsVerdict::NotAuthentic, 0},
        {"no authenticator", Reply(id, {}, kS2c, false), NtsVerdict::NotAuthentic, 0},
        {"a plain 48-byte reply", Reply({}, {}, kS2c, false), NtsVerdict::WrongId, 0},
        {"another request's identifier", Reply(Field(kEfUniqueId, otherId), cookies, kS2c),
         NtsVerdict::WrongId, 0},
        {"no identifier", Reply({}, cookies, kS2c), NtsVerdict::WrongId, 0},
        {"identifier twice", Reply(twoIds, cookies, kS2c), NtsVerdict::Malformed, 0},
        {"NTS NAK", Reply(id, {}, kS2c, false, true), NtsVerdict::Nak, 0},
        {"NTS NAK for another request", Reply(Field(kEfUniqueId, otherId), {}, kS2c, false, true),
         NtsVerdict::WrongId, 0},
        {"encrypted fields that do not parse", Reply(id, Bytes(20, 0), kS2c), NtsVerdict::Malformed, 0},
    };
    // Altered on the way: every byte of a good reply but the identifier's
    // and the authenticator's lengths is covered by the tag.
    const Bytes good = Reply(id, cookies, kS2c);
    for (size_t at : {size_t{1}, size_t{40}, size_t{47}, size_t{48 + 36}, size_t{48 + 36 + 20},
                      good.size() - 1}) {
        Bytes altered = good;
        altered[at] ^= 0x01;
        cases.push_back({"a flipped bit", altered, NtsVerdict::NotAuthentic, 0});
    }
    Bytes trailing = good;
    Append(&trailing, Field(0x0F00, Bytes(12, 0)));
    cases.push_back({"a field after the authenticator", trailing, NtsVerdict::Malformed, 0});
    Bytes oddLength = good;
    oddLength.push_back(0);
    cases.push_back({"bytes that are no field", oddLength, NtsVerdict::Malformed, 0});
    Bytes shortField = Reply({}, {}, kS2c, false);
    Append(&shortField, {0x01, 0x04, 0x00, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0});
    cases.push_back({"a field shorter than 16 bytes", shortField, NtsVerdict::Malformed, 0});
    Bytes cut = good;
    cut.resize(cut.size() - 4);
    cases.push_back({"cut short", cut, NtsVerdict::Malformed, 0});
    Bytes lyingLength = good;
    lyingLength[48 + 36 + 4 + 3] = 0xF0;  // ciphertext length past the field
    cases.push_back({"ciphertext length past the field", lyingLength, NtsVerdict::NotAuthentic, 0});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NtsReply r;
        ReadNtsReply(c.reply.data(), c.reply.size(), kId.data(), kS2c.data(), &r);
        EXPECT_EQ(c.verdict, r.verdict) << NtsVerdictText(r.verdict);
        EXPECT_EQ(c.cookies, r.cookieCount);
    }
    NtsReply r;
    ReadNtsReply(good.data(), good.size(), kId.data(), kS2c.data(), &r);
    ASSERT_EQ(2u, r.cookieCount);
    EXPECT_EQ(100, r.cookies[1].size);
    EXPECT_EQ(2, r.cookies[1].data[99]);
}

TEST(CookiePool, NeverHandsOutACookieTwice)
{
    CookiePool pool;
    KeCookie out;
    EXPECT_FALSE(pool.Take(&out));
    for (uint8_t i = 0; i < 10; ++i)
        pool.Add(MakeCookie(20, i));
    EXPECT_EQ(kMaxCookies, pool.Count());
    std::vector<uint8_t> seen;
    while (pool.Take(&out))
        seen.push_back(out.data[0]);
    EXPECT_EQ(std::vector<uint8_t>({2, 3, 4, 5, 6, 7, 8, 9}), seen) << "the newest eight, oldest first";
    pool.Add(MakeCookie(0, 1));
    pool.Add(MakeCookie(kMaxCookieBytes + 1, 1));
    EXPECT_EQ(0u, pool.Count()) << "empty and oversized cookies are not kept";
}

TEST(CookiePool, PlaceholdersRefillThePool)
{
    const struct {
        size_t before;  // cookies in the pool before a request takes one
        size_t placeholders;
    } cases[] = {{8, 0}, {7, 1}, {1, 7}};
    for (const auto& c : cases) {
        CookiePool pool;
        for (size_t i = 0; i < c.before; ++i)
            pool.Add(MakeCookie(16, static_cast<uint8_t>(i)));
        KeCookie sent;
        ASSERT_TRUE(pool.Take(&sent));
        EXPECT_EQ(c.placeholders, pool.PlaceholdersWanted()) << c.before;
        EXPECT_EQ(kMaxCookies, pool.Count() + 1 + pool.PlaceholdersWanted());
    }
}

}  // namespace
