// NTS-KE request and response records.
#include "nts/ntske.h"

#include <cstring>

namespace {

const uint16_t kCriticalBit = 0x8000;
const size_t kHeader = 4;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint8_t* Put16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
    return p + 2;
}

bool IsKnown(uint16_t type) { return type <= kKeRecordPort; }

// A body that is one 16-bit value equal to want.
bool IsOnly(const uint8_t* body, size_t size, uint16_t want)
{
    return size == 2 && Get16(body) == want;
}

// Host names and address literals: printable ASCII, no spaces.
bool IsServerName(const uint8_t* body, size_t size)
{
    if (size == 0 || size > kMaxServerNameBytes)
        return false;
    for (size_t i = 0; i < size; ++i) {
        if (body[i] <= 0x20 || body[i] >= 0x7F)
            return false;
    }
    return true;
}

}  // namespace

size_t WriteKeRequest(uint8_t out[kKeRequestBytes])
{
    uint8_t* p = out;
    p = Put16(p, kCriticalBit | kKeRecordNextProtocol);
    p = Put16(p, 2);
    p = Put16(p, kProtocolNtpV4);
    p = Put16(p, kCriticalBit | kKeRecordAead);
    p = Put16(p, 2);
    p = Put16(p, kAeadAesSivCmac256);
    p = Put16(p, kCriticalBit | kKeRecordEnd);
    p = Put16(p, 0);
    return static_cast<size_t>(p - out);
}

void WriteExporterContext(uint8_t out[kExporterContextBytes], bool serverToClient)
{
    Put16(out, kProtocolNtpV4);
    Put16(out + 2, kAeadAesSivCmac256);
    out[4] = serverToClient ? 1 : 0;
}

bool SplitKeServer(const char* text, char* host, size_t hostSize, uint16_t* port)
{
    const char* colon = std::strchr(text, ':');
    const size_t hostLength = colon != nullptr ? static_cast<size_t>(colon - text) : std::strlen(text);
    if (hostLength == 0 || hostLength >= hostSize)
        return false;
    *port = kDefaultKePort;
    if (colon != nullptr) {
        uint32_t value = 0;
        const char* p = colon + 1;
        for (; *p >= '0' && *p <= '9' && value <= 65535; ++p)
            value = value * 10 + static_cast<uint32_t>(*p - '0');
        if (p == colon + 1 || *p != '\0' || value == 0 || value > 65535)
            return false;
        *port = static_cast<uint16_t>(value);
    }
    std::memcpy(host, text, hostLength);
    host[hostLength] = '\0';
    return true;
}

const char* KeFailureText(KeFailure failure)
{
    switch (failure) {
    case KeFailure::None: return "accepted";
    case KeFailure::Incomplete: return "response cut short";
    case KeFailure::TooLong: return "response too long";
    case KeFailure::ServerError: return "server answered an error";
    case KeFailure::ServerWarning: return "server answered a warning";
    case KeFailure::UnknownCritical: return "unknown critical record";
    case KeFailure::BadRecord: return "malformed record";
    case KeFailure::Repeated: return "record repeated";
    case KeFailure::NoProtocol: return "no NTPv4 agreed";
    case KeFailure::NoAead: return "no AEAD algorithm agreed";
    case KeFailure::NoCookie: return "no cookie";
    case KeFailure::BadCookie: return "malformed cookie";
    case KeFailure::BadServer: return "malformed server name";
    }
    return "refused";
}

size_t KeResponseLength(const uint8_t* data, size_t size)
{
    size_t at = 0;
    while (at + kHeader <= size) {
        const size_t end = at + kHeader + Get16(data + at + 2);
        if (end > kMaxResponseBytes)
            return SIZE_MAX;
        if ((Get16(data + at) & ~kCriticalBit) == kKeRecordEnd)
            return end <= size ? end : 0;
        at = end;
    }
    return size >= kMaxResponseBytes ? SIZE_MAX : 0;
}

void ReadKeResponse(const uint8_t* data, size_t size, KeResponse* out)
{
    std::memset(out, 0, sizeof *out);
    out->port = kDefaultNtpPort;
    KeFailure failure = KeFailure::None;
    if (size > kMaxResponseBytes)
        failure = KeFailure::TooLong;
    bool seen[kKeRecordPort + 1] = {};
    bool ended = false;
    size_t at = 0;
    while (failure == KeFailure::None && !ended) {
        if (at + kHeader > size || at + kHeader + Get16(data + at + 2) > size) {
            failure = KeFailure::Incomplete;
            break;
        }
        const bool critical = (Get16(data + at) & kCriticalBit) != 0;
        const uint16_t type = Get16(data + at) & ~kCriticalBit;
        const size_t bodySize = Get16(data + at + 2);
        const uint8_t* body = data + at + kHeader;
        at += kHeader + bodySize;
        if (!IsKnown(type)) {
            if (critical)
                failure = KeFailure::UnknownCritical;
            continue;
        }
        if (seen[type] && type != kKeRecordCookie) {
            failure = KeFailure::Repeated;
            break;
        }
        seen[type] = true;
        switch (type) {
        case kKeRecordEnd:
            if (!critical || bodySize != 0)
                failure = KeFailure::BadRecord;
            ended = true;
            break;
        case kKeRecordNextProtocol:
            if (!critical)
                failure = KeFailure::BadRecord;
            else if (!IsOnly(body, bodySize, kProtocolNtpV4))
                failure = KeFailure::NoProtocol;
            break;
        case kKeRecordError:
        case kKeRecordWarning:
            if (bodySize != 2 || !critical) {
                failure = KeFailure::BadRecord;
                break;
            }
            out->errorCode = Get16(body);
            failure = type == kKeRecordError ? KeFailure::ServerError : KeFailure::ServerWarning;
            break;
        case kKeRecordAead:
            if (!IsOnly(body, bodySize, kAeadAesSivCmac256))
                failure = KeFailure::NoAead;
            break;
        case kKeRecordCookie:
            if (bodySize == 0 || bodySize > kMaxCookieBytes) {
                failure = KeFailure::BadCookie;
            } else if (out->cookieCount < kMaxCookies) {
                KeCookie& cookie = out->cookies[out->cookieCount++];
                cookie.size = static_cast<uint16_t>(bodySize);
                std::memcpy(cookie.data, body, bodySize);
            }
            break;
        case kKeRecordServer:
            if (!IsServerName(body, bodySize)) {
                failure = KeFailure::BadServer;
                break;
            }
            std::memcpy(out->server, body, bodySize);
            out->server[bodySize] = '\0';
            break;
        case kKeRecordPort:
            if (bodySize != 2 || Get16(body) == 0)
                failure = KeFailure::BadRecord;
            else
                out->port = Get16(body);
            break;
        }
    }
    if (failure == KeFailure::None && at != size)
        failure = KeFailure::TooLong;
    if (failure == KeFailure::None && !seen[kKeRecordNextProtocol])
        failure = KeFailure::NoProtocol;
    if (failure == KeFailure::None && !seen[kKeRecordAead])
        failure = KeFailure::NoAead;
    if (failure == KeFailure::None && out->cookieCount == 0)
        failure = KeFailure::NoCookie;
    out->failure = failure;
    if (failure != KeFailure::None) {
        // Nothing of a refused response may be used.
        const uint16_t code = out->errorCode;
        std::memset(out, 0, sizeof *out);
        out->failure = failure;
        out->errorCode = code;
    }
}
