// NTS extension fields: writing requests, checking replies.
#include "nts/ntsef.h"

#include <cstring>

namespace {

const size_t kFieldHeader = 4;
const size_t kMinField = 16;
const size_t kMaxSealedCookies = kMaxCookies * (kFieldHeader + kMaxCookieBytes);

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void Put16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

size_t Padded(size_t size) { return (size + 3) & ~static_cast<size_t>(3); }

// Writes a field of type with a body of size bytes (zeros when body is
// null) at *at, padded to 4 bytes and to the 16-byte minimum. Returns false
// when it does not fit.
bool PutField(uint8_t* packet, size_t capacity, size_t* at, uint16_t type, const uint8_t* body,
              size_t size)
{
    size_t length = kFieldHeader + Padded(size);
    if (length < kMinField)
        length = kMinField;
    if (length > 0xFFFC || *at + length > capacity)
        return false;
    uint8_t* p = packet + *at;
    std::memset(p, 0, length);
    Put16(p, type);
    Put16(p + 2, static_cast<uint16_t>(length));
    if (body != nullptr && size > 0)
        std::memcpy(p + kFieldHeader, body, size);
    *at += length;
    return true;
}

}  // namespace

bool NextField(const uint8_t* data, size_t size, size_t* at, ExtensionField* field)
{
    if (*at + kFieldHeader > size)
        return false;
    const size_t length = Get16(data + *at + 2);
    if (length < kMinField || length % 4 != 0 || *at + length > size)
        return false;
    field->type = Get16(data + *at);
    field->body = data + *at + kFieldHeader;
    field->size = length - kFieldHeader;
    *at += length;
    return true;
}

size_t WriteNtsRequest(uint8_t* packet, size_t capacity, const NtsRequestInput& in)
{
    size_t at = kNtpHeaderBytes;
    if (capacity < at || in.cookie->size == 0 || in.cookie->size > kMaxCookieBytes)
        return 0;
    if (!PutField(packet, capacity, &at, kEfUniqueId, in.uniqueId, kUniqueIdBytes) ||
        !PutField(packet, capacity, &at, kEfCookie, in.cookie->data, in.cookie->size))
        return 0;
    for (size_t i = 0; i < in.placeholders; ++i) {
        if (!PutField(packet, capacity, &at, kEfPlaceholder, nullptr, in.cookie->size))
            return 0;
    }
    // Nothing to encrypt: the ciphertext is the tag alone.
    const size_t authStart = at;
    uint8_t body[4 + kNonceBytes + kSivTagBytes];
    Put16(body, kNonceBytes);
    Put16(body + 2, kSivTagBytes);
    std::memcpy(body + 4, in.nonce, kNonceBytes);
    const ByteSpan ad[2] = {{packet, authStart}, {in.nonce, kNonceBytes}};
    if (!SivSeal(in.c2sKey, ad, 2, nullptr, 0, body + 4 + kNonceBytes))
        return 0;
    if (!PutField(packet, capacity, &at, kEfAuthenticator, body, sizeof body))
        return 0;
    return at;
}

const char* NtsVerdictText(NtsVerdict verdict)
{
    switch (verdict) {
    case NtsVerdict::Authentic: return "authentic";
    case NtsVerdict::Malformed: return "malformed NTS fields";
    case NtsVerdict::WrongId: return "not our unique identifier";
    case NtsVerdict::NotAuthentic: return "not authentic";
    case NtsVerdict::Nak: return "NTS NAK";
    }
    return "refused";
}

void ReadNtsReply(const uint8_t* packet, size_t size, const uint8_t uniqueId[kUniqueIdBytes],
                  const uint8_t s2cKey[kSivKeyBytes], NtsReply* out)
{
    std::memset(out, 0, sizeof *out);
    out->verdict = NtsVerdict::Malformed;
    if (size < kNtpHeaderBytes || size > kMaxNtsDatagram)
        return;
    size_t at = kNtpHeaderBytes;
    bool idSeen = false, idMatches = false;
    ExtensionField auth{};
    size_t authStart = 0;
    while (at < size) {
        const size_t start = at;
        ExtensionField field;
        if (!NextField(packet, size, &at, &field))
            return;
        if (auth.body != nullptr)
            return;  // nothing may follow the Authenticator: it would not be authenticated
        if (field.type == kEfUniqueId) {
            if (idSeen)
                return;
            idSeen = true;
            idMatches = field.size == kUniqueIdBytes &&
                        std::memcmp(field.body, uniqueId, kUniqueIdBytes) == 0;
        } else if (field.type == kEfAuthenticator) {
            auth = field;
            authStart = start;
        }
    }
    if (!idMatches) {
        out->verdict = NtsVerdict::WrongId;
        return;
    }
    const bool kiss = packet[1] == 0 && std::memcmp(packet + 12, "NTSN", 4) == 0;
    if (kiss && auth.body == nullptr) {
        out->verdict = NtsVerdict::Nak;
        return;
    }
    if (auth.body == nullptr || auth.size < 4) {
        out->verdict = NtsVerdict::NotAuthentic;
        return;
    }
    const size_t nonceSize = Get16(auth.body);
    const size_t sealedSize = Get16(auth.body + 2);
    if (nonceSize < kNonceBytes || sealedSize < kSivTagBytes ||
        sealedSize > kSivTagBytes + kMaxSealedCookies ||
        4 + Padded(nonceSize) + Padded(sealedSize) > auth.size) {
        out->verdict = NtsVerdict::NotAuthentic;
        return;
    }
    const uint8_t* nonce = auth.body + 4;
    const uint8_t* sealed = nonce + Padded(nonceSize);
    uint8_t plain[kMaxSealedCookies];
    const ByteSpan ad[2] = {{packet, authStart}, {nonce, nonceSize}};
    if (!SivOpen(s2cKey, ad, 2, sealed, sealedSize, plain)) {
        out->verdict = NtsVerdict::NotAuthentic;
        return;
    }
    // The encrypted fields: new cookies; fields of other types are skipped.
    const size_t plainSize = sealedSize - kSivTagBytes;
    at = 0;
    while (at < plainSize) {
        ExtensionField field;
        if (!NextField(plain, plainSize, &at, &field)) {
            out->cookieCount = 0;
            return;
        }
        if (field.type != kEfCookie || out->cookieCount == kMaxCookies)
            continue;
        if (field.size > kMaxCookieBytes) {
            out->cookieCount = 0;
            return;
        }
        KeCookie& cookie = out->cookies[out->cookieCount++];
        cookie.size = static_cast<uint16_t>(field.size);
        std::memcpy(cookie.data, field.body, field.size);
    }
    out->verdict = NtsVerdict::Authentic;
}
