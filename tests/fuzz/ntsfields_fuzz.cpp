// Fuzz target: NTP replies with NTS fields through the client's check, and
// requests written with the input's cookie and placeholders read back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "nts/ntsef.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

const uint8_t kKey[kSivKeyBytes] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                    17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

void CheckReply(const uint8_t* data, size_t size)
{
    uint8_t id[kUniqueIdBytes];
    std::memset(id, 0xA5, sizeof id);
    NtsReply r;
    ReadNtsReply(data, size, id, kKey, &r);
    // Forging the tag is out of a fuzzer's reach.
    Require(r.verdict != NtsVerdict::Authentic, "unauthenticated input refused");
    Require(r.cookieCount == 0, "no cookies from a refused reply");
    if (r.verdict == NtsVerdict::Nak)
        Require(data[1] == 0 && std::memcmp(data + 12, "NTSN", 4) == 0, "a NAK is a kiss NTSN");
}

void CheckRequest(const uint8_t* data, size_t size)
{
    if (size < 2)
        return;
    KeCookie cookie{};
    cookie.size = static_cast<uint16_t>(1 + data[0] % kMaxCookieBytes);
    std::memset(cookie.data, data[1], cookie.size);
    const size_t placeholders = data[0] / 32 % kMaxCookies;
    uint8_t id[kUniqueIdBytes], nonce[kNonceBytes];
    std::memset(id, data[1], sizeof id);
    std::memset(nonce, data[0], sizeof nonce);
    static uint8_t packet[kMaxNtsDatagram];
    std::memset(packet, 0, kNtpHeaderBytes);
    const size_t written = WriteNtsRequest(packet, sizeof packet, {id, &cookie, placeholders, nonce, kKey});
    Require(written > kNtpHeaderBytes && written % 4 == 0, "a request is written");
    size_t at = kNtpHeaderBytes, fields = 0, authStart = 0;
    ExtensionField f{}, auth{};
    while (at < written) {
        const size_t start = at;
        Require(NextField(packet, written, &at, &f), "the request's fields parse");
        if (f.type == kEfAuthenticator) {
            auth = f;
            authStart = start;
        }
        ++fields;
    }
    Require(fields == 3 + placeholders, "identifier, cookie, placeholders, authenticator");
    Require(auth.body != nullptr && authStart + 4 + auth.size == written, "authenticator last");
    const ByteSpan ad[2] = {{packet, authStart}, {auth.body + 4, kNonceBytes}};
    Require(SivOpen(kKey, ad, 2, auth.body + 4 + kNonceBytes, kSivTagBytes, nullptr), "request verifies");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckReply(data, size);
    CheckRequest(data, size);
    return 0;
}
