// Fuzz target: the authenticated reply path. The input gives the header,
// the fields before the authenticator and the plaintext; the target seals
// them as a server would, so the reply authenticates, and then alters one
// byte chosen by the input, which must never authenticate.
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

const uint8_t kKey[kSivKeyBytes] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 9, 8, 7, 6, 5, 4,
                                    3, 2, 1, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 9, 8};

void Put16(uint8_t* p, size_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// Counts the cookie fields of a plaintext the way a server lays them out.
bool CountCookies(const uint8_t* plain, size_t size, size_t* cookies)
{
    size_t at = 0;
    *cookies = 0;
    while (at < size) {
        ExtensionField f;
        if (!NextField(plain, size, &at, &f))
            return false;
        if (f.type == kEfCookie) {
            if (f.size > kMaxCookieBytes)
                return false;
            ++*cookies;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Input: flip position (2 bytes), plaintext length (2 bytes), the
    // plaintext, then the header and the fields before the authenticator.
    if (size < 4 + kNtpHeaderBytes)
        return 0;
    const size_t flip = (static_cast<size_t>(data[0]) << 8) | data[1];
    size_t plainSize = ((static_cast<size_t>(data[2]) << 8) | data[3]) % 1024;
    if (plainSize > size - 4 - kNtpHeaderBytes)
        plainSize = size - 4 - kNtpHeaderBytes;
    const uint8_t* plain = data + 4;
    const uint8_t* head = plain + plainSize;
    const size_t headSize = size - 4 - plainSize;
    const size_t authSize = 4 + 4 + kNonceBytes + ((plainSize + kSivTagBytes + 3) & ~size_t{3});
    static uint8_t reply[kMaxNtsDatagram + 2048];
    if (headSize + authSize > kMaxNtsDatagram)
        return 0;

    std::memcpy(reply, head, headSize);
    uint8_t* auth = reply + headSize;
    std::memset(auth, 0, authSize);
    Put16(auth, kEfAuthenticator);
    Put16(auth + 2, authSize);
    Put16(auth + 4, kNonceBytes);
    Put16(auth + 6, plainSize + kSivTagBytes);
    std::memset(auth + 8, 0x3C, kNonceBytes);
    const ByteSpan ad[2] = {{reply, headSize}, {auth + 8, kNonceBytes}};
    Require(SivSeal(kKey, ad, 2, plain, plainSize, auth + 8 + kNonceBytes), "sealed");
    const size_t replySize = headSize + authSize;

    // The identifier the reply carries, if any, is taken as the request's.
    uint8_t id[kUniqueIdBytes];
    std::memset(id, 0, sizeof id);
    size_t at = kNtpHeaderBytes;
    ExtensionField f;
    bool fieldsParse = true;
    while (at < headSize) {
        if (!NextField(reply, headSize, &at, &f)) {
            fieldsParse = false;
            break;
        }
        if (f.type == kEfUniqueId && f.size == kUniqueIdBytes)
            std::memcpy(id, f.body, kUniqueIdBytes);
    }

    NtsReply r;
    ReadNtsReply(reply, replySize, id, kKey, &r);
    size_t cookies = 0;
    if (r.verdict == NtsVerdict::Authentic) {
        Require(fieldsParse, "authentic only with fields that parse");
        Require(CountCookies(plain, plainSize, &cookies), "authentic only with a plaintext that parses");
        Require(r.cookieCount == (cookies < kMaxCookies ? cookies : kMaxCookies), "every sealed cookie");
    } else {
        Require(r.cookieCount == 0, "no cookies from a refused reply");
    }

    // One bit altered anywhere but the ciphertext's zero padding (header,
    // fields, the authenticator's lengths, nonce, ciphertext) and the reply
    // no longer authenticates.
    const size_t pos = flip % replySize;
    const bool padding = pos >= headSize + 8 + kNonceBytes + kSivTagBytes + plainSize;
    if (r.verdict == NtsVerdict::Authentic && !padding) {
        reply[pos] ^= static_cast<uint8_t>(1u << (data[1] & 7));
        ReadNtsReply(reply, replySize, id, kKey, &r);
        Require(r.verdict != NtsVerdict::Authentic, "an altered reply never authenticates");
    }
    return 0;
}
