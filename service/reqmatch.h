// Replies matched to requests: the transmit time of the request in flight
// is kept, with random bits below the millisecond so that nobody off the
// path can guess it, and a reply is taken only when its originate time (the
// server's copy of that transmit time) equals it. A taken reply ends the
// request, so a copy, a replay or an answer to an earlier request finds
// nothing to match.
#pragma once

#include <cstdint>

#include "service/ntppacket.h"
#include "service/ntptime.h"

// Fraction units of the random part of a transmit time: 2^22, just under a
// millisecond (4294968 units), the resolution of the clock reading.
inline constexpr uint32_t kRequestNoiseUnits = 1u << 22;

// The transmit time of a request: the clock reading less randomBits modulo
// 2^22 fraction units (0 to 0.98 ms), which makes its low bits unguessable.
// The reading is cut to the millisecond, so the stamp is never later than
// the moment of sending: the round-trip delay worked out from it is never
// shorter than the true one, as without the random part. The cost is a
// quarter of a millisecond of offset on average, far below the hundredth
// the clock is set to.
NtpTime StampRequest(NtpTime reading, uint32_t randomBits);

enum class MatchVerdict {
    Matched,           // a reply to the request in flight
    TrustedBroadcast,  // a broadcast, taken because broadcasts are trusted
    Broadcast,         // a broadcast, which answers no request: not taken
    NoRequest,         // no request is in flight (a copy of a taken reply among them)
    Unmatched,         // originate differs from the request in flight's transmit time
};

class RequestMatcher {
public:
    // A request with this transmit time went out: it is now the one in
    // flight, and the one before it is over.
    void NoteSent(NtpTime transmit);
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
    NtpTime Transmit() const { return transmit_; }  // of the last request sent

private:
    bool inFlight_ = false;
    NtpTime transmit_{};
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
