// Replies matched to requests: the transmit time of a request is 64 random
// bits, nothing of the clock (which our own answers tell anyone to the
// millisecond), so nobody off the path can guess it; the clock reading at
// sending is kept beside it as T1. A reply is taken only when its originate
// time (the server's copy of that transmit time) equals it. A taken reply
// ends the request, so a copy, a replay or an answer to an earlier request
// finds nothing to match.
#pragma once

#include <cstdint>

#include "service/ntppacket.h"
#include "service/ntptime.h"

// The transmit time of a request: two draws of 32 random bits, the first
// as the seconds word. Servers copy it back without judging it.
NtpTime StampRequest(uint32_t randomSeconds, uint32_t randomFraction);

enum class MatchVerdict {
    Matched,           // a reply to the request in flight
    TrustedBroadcast,  // a broadcast, taken because broadcasts are trusted
    Broadcast,         // a broadcast, which answers no request: not taken
    NoRequest,         // no request is in flight (a copy of a taken reply among them)
    Unmatched,         // originate differs from the request in flight's transmit time
};

class RequestMatcher {
public:
    // A request with this transmit time went out when the clock read sentAt
    // (its T1) and the tick counter sentTickMs: it is now the one in flight,
    // and the one before it is over.
    void NoteSent(NtpTime transmit, NtpTime sentAt, uint32_t sentTickMs);
    // No request in flight any more (the server was changed).
    void Forget();
    // The verdict on a message of kind whose originate time is given; the
    // request stays in flight until NoteTaken. A client request is no reply
    // and gives Unmatched.
    MatchVerdict Check(DatagramKind kind, NtpTime originate, bool trustBroadcasts) const;
    // True when originate is the in-flight request's transmit time: the
    // message answers our request, whatever else it says.
    bool Answers(NtpTime originate) const;
    // The reply to the request in flight was taken: the request is over.
    void NoteTaken() { inFlight_ = false; }

    bool InFlight() const { return inFlight_; }
    // True while the request in flight is younger than kAwaitMs on the tick
    // counter (which wraps; only the difference counts): its exchange is
    // still under way, and another request would only replace it.
    bool Awaiting(uint32_t nowTickMs) const
    {
        return inFlight_ && nowTickMs - sentTickMs_ < kAwaitMs;
    }
    NtpTime Transmit() const { return transmit_; }  // of the last request sent
    NtpTime SentAt() const { return sentAt_; }      // T1 of the last request sent

    // RFC 4330's shortest poll: no server is asked more often than this.
    static constexpr uint32_t kAwaitMs = 15000;

private:
    bool inFlight_ = false;
    NtpTime transmit_{};
    NtpTime sentAt_{};
    uint32_t sentTickMs_ = 0;
};

// The verdict on a datagram of lengthBytes taken as a reply, with the
// reason the log prints: the acceptance tests' (checked, CheckReply's), then
// the floor, then match; a refused datagram shorter than 48 bytes is
// TooShort, whichever test its missing bytes failed.
Verdict JudgeReply(Verdict checked, bool beforeFloor, int lengthBytes, MatchVerdict match);

// A reply is only as good as its round trip: half of it is the most its
// offset can be wrong by. One that took longer than this (a reply that
// waited behind a flood, or crossed a congested link) is refused and the
// next poll asks again; no ordinary path, a satellite hop included, takes
// as long. Milliseconds.
inline constexpr int64_t kMaxRoundTripMs = 1000;

//   delay = (T4 - T1) - (T3 - T2): the time on the way there and back,
//   without the server's own time between receiving and sending.
NtpTime RoundTripDelay(NtpTime t1, NtpTime t2, NtpTime t3, NtpTime t4);

// The verdict after the delay: an accepted reply to our request (match
// Matched) whose round trip lies beyond kMaxRoundTripMs either way (a
// negative one: our clock was stepped during the exchange) is Delay, and so
// is any accepted message whose destination time may be late (queueLate:
// it may have waited in our receive queue longer than queuewait.h allows).
// A broadcast has no round trip; only its wait counts. Other verdicts pass.
Verdict JudgeDelay(Verdict judged, MatchVerdict match, NtpTime roundTrip, bool queueLate);
