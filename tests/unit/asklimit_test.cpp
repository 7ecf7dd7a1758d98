// The channel's ask limiter: sequences of asks at given times, each with
// whether the engine had a request in flight, and what each was told.
#include "channel/asklimit.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step {
    uint32_t nowMs;
    bool inFlight;
    bool send;
    uint32_t waitMs;
};

TEST(AskLimiter, OneExchangePerSpacingForAllClients)
{
    const uint32_t wrap = 0xFFFFFFFFu - 5000;  // 5 s before the counter wraps
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"the first ask goes", {{1000, false, true, 0}}},
        {"twenty asks in three seconds: one goes",
         {{0, false, true, 0}, {150, false, false, 14850}, {1500, false, false, 13500},
          {3000, false, false, 12000}}},
        {"the next goes once the spacing is over",
         {{0, false, true, 0}, {14999, false, false, 1}, {15000, false, true, 0},
          {15001, false, false, 14999}}},
        {"across the counter's wrap",
         {{wrap, false, true, 0}, {wrap + 10000, false, false, 5000}, {9998, false, false, 1},
          {9999, false, true, 0}}},
        // The engine's own poll is out: an ask would throw its reply away.
        {"a request in flight is not replaced",
         {{0, true, false, 15000}, {5000, true, false, 10000}, {6000, false, true, 0}}},
        {"a request in flight for the whole spacing is lost",
         {{0, true, false, 15000}, {14999, true, false, 1}, {15000, true, true, 0}}},
        {"in flight again later counts afresh",
         {{0, true, false, 15000}, {2000, false, true, 0}, {20000, true, false, 15000},
          {34000, true, false, 1000}, {35000, true, true, 0}}},
        {"the spacing holds even with nothing in flight after",
         {{100, false, true, 0}, {200, true, false, 14900}, {15100, false, true, 0}}},
    };
    for (const Case& c : cases) {
        AskLimiter limiter;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            const AskDecision got = limiter.Ask(s.nowMs, s.inFlight);
            EXPECT_EQ(got.send, s.send) << c.name << ", ask " << i;
            if (!s.send) {
                EXPECT_EQ(got.waitMs, s.waitMs) << c.name << ", ask " << i;
            }
        }
    }
}

}  // namespace
