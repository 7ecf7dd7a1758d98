// Replies matched to the request in flight: the rule as a run of requests
// and replies, and the request's random transmit time.
#include "service/reqmatch.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const NtpTime kFirst{0xED3B6C40u, 0x8F5C28F6u};   // a request's transmit time
const NtpTime kSecond{0xED3B6C7Cu, 0x1EB851ECu};  // the next request's, 60 s on
const NtpTime kSentAt{0xED3B6C40u, 0x19999998u};  // the clock when it went

NtpTime FlipBit(NtpTime t, int bit)  // bit 0..63, 0 the lowest of the fraction
{
    if (bit < 32)
        t.fraction ^= 1u << bit;
    else
        t.seconds ^= 1u << (bit - 32);
    return t;
}

TEST(RequestMatcher, TakesOnlyTheReplyToTheRequestInFlight)
{
    enum class Step { Send, Forget, Reply, Broadcast };
    const struct {
        const char* what;
        Step step;
        NtpTime stamp;  // sent, or the reply's originate time
        bool trustBroadcasts;
        MatchVerdict verdict;  // for a reply or broadcast; a Matched one is taken
    } steps[] = {
        {"a reply before any request", Step::Reply, kFirst, false, MatchVerdict::NoRequest},
        {"", Step::Send, kFirst, false, MatchVerdict::Matched},
        {"zero originate", Step::Reply, NtpTime{0, 0}, false, MatchVerdict::Unmatched},
        {"off by the lowest bit", Step::Reply, FlipBit(kFirst, 0), false, MatchVerdict::Unmatched},
        {"off by the top random bit", Step::Reply, FlipBit(kFirst, 21), false,
         MatchVerdict::Unmatched},
        {"off by one second", Step::Reply, FlipBit(kFirst, 32), false, MatchVerdict::Unmatched},
        {"the request's time in a broadcast", Step::Broadcast, kFirst, false,
         MatchVerdict::Broadcast},
        {"a broadcast with -b", Step::Broadcast, NtpTime{0, 0}, true,
         MatchVerdict::TrustedBroadcast},
        {"equal: taken", Step::Reply, kFirst, false, MatchVerdict::Matched},
        {"a repeat of the taken reply", Step::Reply, kFirst, false, MatchVerdict::NoRequest},
        {"a repeat with -b", Step::Reply, kFirst, true, MatchVerdict::NoRequest},
        {"a broadcast without a request in flight", Step::Broadcast, kFirst, false,
         MatchVerdict::Broadcast},
        {"", Step::Send, kSecond, false, MatchVerdict::Matched},
        {"a reply to the previous request", Step::Reply, kFirst, false, MatchVerdict::Unmatched},
        {"equal, with -b: taken", Step::Reply, kSecond, true, MatchVerdict::Matched},
        {"", Step::Send, kFirst, false, MatchVerdict::Matched},
        {"", Step::Forget, kFirst, false, MatchVerdict::Matched},
        {"the request before the server changed", Step::Reply, kFirst, false,
         MatchVerdict::NoRequest},
    };
    RequestMatcher matcher;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        switch (s.step) {
        case Step::Send:
            matcher.NoteSent(s.stamp, kSentAt, 0);
            break;
        case Step::Forget:
            matcher.Forget();
            break;
        case Step::Reply:
        case Step::Broadcast: {
            const DatagramKind kind =
                s.step == Step::Reply ? DatagramKind::Reply : DatagramKind::Broadcast;
            const MatchVerdict verdict = matcher.Check(kind, s.stamp, s.trustBroadcasts);
            EXPECT_EQ(s.verdict, verdict);
            EXPECT_EQ(s.verdict == MatchVerdict::Matched, matcher.Answers(s.stamp) && s.step == Step::Reply);
            if (verdict == MatchVerdict::Matched)
                matcher.NoteTaken();
            break;
        }
        }
    }
}

TEST(RequestMatcher, AClientRequestIsNoReply)
{
    RequestMatcher matcher;
    matcher.NoteSent(kFirst, kSentAt, 0);
    EXPECT_EQ(MatchVerdict::Unmatched, matcher.Check(DatagramKind::ClientRequest, kFirst, true));
}

// The stamp was once the clock reading less 22 random bits: the other 42
// were the clock, which our own answers tell anyone to the millisecond.
// Now no bit is the clock's: across many requests each of the 64 takes both
// values, and a reply off by any one of them is no answer. The seed is
// printed; fix it here to replay a failure.
TEST(RequestMatcher, EveryBitOfTheStampIsRandomAndCounts)
{
    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE(seed);
    std::mt19937 draws(seed);
    uint64_t ones = 0, zeros = 0;
    RequestMatcher matcher;
    for (int request = 0; request < 200; ++request) {
        const NtpTime stamp =
            StampRequest(static_cast<uint32_t>(draws()), static_cast<uint32_t>(draws()));
        const uint64_t bits = (uint64_t{stamp.seconds} << 32) | stamp.fraction;
        ones |= bits;
        zeros |= ~bits;
        matcher.NoteSent(stamp, kSentAt, 0);
        for (int bit = 0; bit < 64; ++bit)
            ASSERT_EQ(MatchVerdict::Unmatched,
                      matcher.Check(DatagramKind::Reply, FlipBit(stamp, bit), false))
                << "bit " << bit;
        ASSERT_EQ(MatchVerdict::Matched, matcher.Check(DatagramKind::Reply, stamp, false));
        EXPECT_EQ(kSentAt.seconds, matcher.SentAt().seconds);  // T1 is the clock's, kept
        EXPECT_EQ(kSentAt.fraction, matcher.SentAt().fraction);
    }
    EXPECT_EQ(~uint64_t{0}, ones);
    EXPECT_EQ(~uint64_t{0}, zeros);
}

// A reply that took too long on the way, or may have waited in our own
// queue, is refused for its delay; nothing else changes a verdict.
TEST(JudgeDelay, RefusesTheRoundTripPastASecondAndTheLateRead)
{
    const NtpTime t1{0xED3B6C40u, 0};
    const NtpTime serverIn{0xED3B6C50u, 0};  // T2 and T3: the server's clock 16 s on
    const NtpTime serverOut{0xED3B6C50u, 0x40000000u};
    // T4 for a round trip of ms milliseconds (the server held it 0.25 s).
    auto t4For = [&](int64_t ms) {
        const int64_t units = ms * 4294967296 / 1000 + (int64_t{1} << 30);
        return NtpAdd(t1, NtpTime{static_cast<uint32_t>(static_cast<uint64_t>(units) >> 32),
                                  static_cast<uint32_t>(units)});
    };
    const struct {
        const char* what;
        Verdict judged;
        MatchVerdict match;
        int64_t roundTripMs;
        bool queueLate;
        Verdict verdict;
    } cases[] = {
        {"a LAN reply", Verdict::Accepted, MatchVerdict::Matched, 1, false, Verdict::Accepted},
        {"a satellite hop", Verdict::Accepted, MatchVerdict::Matched, 700, false, Verdict::Accepted},
        {"a second exactly", Verdict::Accepted, MatchVerdict::Matched, 1000, false, Verdict::Accepted},
        {"waited 4 s behind a flood", Verdict::Accepted, MatchVerdict::Matched, 4070, false,
         Verdict::Delay},
        {"just past a second", Verdict::Accepted, MatchVerdict::Matched, 1001, false, Verdict::Delay},
        {"the clock stepped back 2 s meanwhile", Verdict::Accepted, MatchVerdict::Matched, -2000,
         false, Verdict::Delay},
        {"rounding below zero", Verdict::Accepted, MatchVerdict::Matched, -3, false,
         Verdict::Accepted},
        {"quick, but read late from the queue", Verdict::Accepted, MatchVerdict::Matched, 1, true,
         Verdict::Delay},
        {"a trusted broadcast has no round trip", Verdict::Accepted, MatchVerdict::TrustedBroadcast,
         90000, false, Verdict::Accepted},
        {"a trusted broadcast read late", Verdict::Accepted, MatchVerdict::TrustedBroadcast, 0, true,
         Verdict::Delay},
        {"refused already: its reason stays", Verdict::Unmatched, MatchVerdict::Unmatched, 4070,
         true, Verdict::Unmatched},
        {"refused already, from the wrong source", Verdict::WrongSource, MatchVerdict::Matched,
         4070, false, Verdict::WrongSource},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const NtpTime delay = RoundTripDelay(t1, serverIn, serverOut, t4For(c.roundTripMs));
        EXPECT_NEAR(static_cast<double>(NtpToFixed(delay)) / 4294967296.0,
                    static_cast<double>(c.roundTripMs) / 1000.0, 1e-6);
        EXPECT_EQ(c.verdict, JudgeDelay(c.judged, c.match, delay, c.queueLate));
    }
    EXPECT_STREQ("delay", VerdictText(Verdict::Delay));
}

}  // namespace
