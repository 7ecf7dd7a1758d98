// Kiss-o'-Death codes read from stratum-0 answers, and what each asks of the client.
#include "service/kisscode.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "service/adjust.h"

namespace {

constexpr size_t kStratumAt = 1;
constexpr size_t kReferenceIdAt = 12;

}  // namespace

KissCode ReadKissCode(const NtpPacket& packet, int lengthBytes)
{
    KissCode code{KissKind::None, ""};
    if (lengthBytes < static_cast<int>(kNtpPacketSize) || packet.bytes[kStratumAt] != 0)
        return code;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t c = packet.bytes[kReferenceIdAt + i];
        code.text[i] = c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : '?';
    }
    code.text[4] = '\0';
    if (std::strcmp(code.text, "DENY") == 0 || std::strcmp(code.text, "RSTR") == 0)
        code.kind = KissKind::Refused;
    else if (std::strcmp(code.text, "RATE") == 0)
        code.kind = KissKind::Rate;
    else
        code.kind = KissKind::Other;
    return code;
}

void FormatKissStatus(const KissCode& code, char* out, size_t size)
{
    switch (code.kind) {
    case KissKind::Refused:
        std::snprintf(out, size, "Server refused access (%s)", code.text);
        break;
    case KissKind::Rate:
        std::snprintf(out, size, "Server asked for fewer requests (%s)", code.text);
        break;
    case KissKind::None:
    case KissKind::Other:
        std::snprintf(out, size, "NTP Reply rejected");
        break;
    }
}

int32_t RateLimitedInterval(int32_t currentInterval, int32_t baseInterval)
{
    int64_t ceiling = static_cast<int64_t>(kMaxIntervalFactor) * baseInterval;
    if (ceiling > INT32_MAX)
        ceiling = INT32_MAX;
    const int64_t doubled = static_cast<int64_t>(currentInterval) * 2;
    if (currentInterval >= ceiling)
        return currentInterval;
    return static_cast<int32_t>(doubled < ceiling ? doubled : ceiling);
}
