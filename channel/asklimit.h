// AskLimiter: how often the channel's clients together may have the service
// ask its server for the time (portable; times are given, in milliseconds
// of a counter that may wrap, such as GetTickCount's).
#pragma once

#include <cstdint>

// The shortest poll a client may use towards a server: 15 s (RFC 4330).
inline constexpr uint32_t kAskSpacingMs = 15000;

struct AskDecision {
    bool send;        // true: the exchange goes now
    uint32_t waitMs;  // when send is false: how long until the next may go
};

class AskLimiter {
public:
    // An ask at nowMs. inFlight: the engine has a request out that no reply
    // has answered yet. An ask goes only when none went within the spacing
    // and no request is in flight; a request the limiter has seen in flight
    // for the whole spacing is taken as lost (no server answers that late)
    // and may be replaced.
    AskDecision Ask(uint32_t nowMs, bool inFlight);

private:
    bool asked_ = false;      // an ask has gone
    uint32_t askedMs_ = 0;    // when it went
    bool waiting_ = false;    // an ask found a request in flight
    uint32_t waitingMs_ = 0;  // when the first such ask came
};
