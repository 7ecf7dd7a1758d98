// Kiss-o'-Death: a server's stratum-0 answer whose reference identifier is
// a four-letter code telling the client to stop (DENY, RSTR) or to ask less
// often (RATE). Only an answer to the request in flight is obeyed, so a
// forger who cannot see our requests cannot silence the client.
#pragma once

#include <cstddef>
#include <cstdint>

#include "service/ntppacket.h"

enum class KissKind {
    None,     // stratum not 0: no kiss code
    Refused,  // DENY or RSTR: ask this server no more
    Rate,     // RATE: ask less often
    Other,    // any other code: as if the request had gone unanswered
};

struct KissCode {
    KissKind kind;
    // The reference identifier as four characters and a NUL; a byte that
    // is not printable ASCII shows as '?'.
    char text[5];
};

// Reads the kiss code of a message of lengthBytes: None unless its stratum
// is 0 and the whole 48 bytes came.
KissCode ReadKissCode(const NtpPacket& packet, int lengthBytes);

// The status line for a code that was obeyed, "Server refused access
// (DENY)" or "Server asked for fewer requests (RATE)"; the usual
// "NTP Reply rejected" for Other. out: size bytes, cut to fit.
void FormatKissStatus(const KissCode& code, char* out, size_t size);

// RATE: the interval doubled, at most kMaxIntervalFactor times base
// (seconds); an interval already past that stays as it is.
int32_t RateLimitedInterval(int32_t currentInterval, int32_t baseInterval);
