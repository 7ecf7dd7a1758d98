// AskLimiter: one exchange per spacing for every client of the channel.
#include "channel/asklimit.h"

AskDecision AskLimiter::Ask(uint32_t nowMs, bool inFlight)
{
    // Unsigned differences stay right across the counter's wrap.
    if (asked_ && nowMs - askedMs_ < kAskSpacingMs)
        return {false, kAskSpacingMs - (nowMs - askedMs_)};
    if (!inFlight) {
        waiting_ = false;
    } else {
        if (!waiting_) {
            waiting_ = true;
            waitingMs_ = nowMs;
        }
        if (nowMs - waitingMs_ < kAskSpacingMs)
            return {false, kAskSpacingMs - (nowMs - waitingMs_)};
        waiting_ = false;
    }
    asked_ = true;
    askedMs_ = nowMs;
    return {true, 0};
}
