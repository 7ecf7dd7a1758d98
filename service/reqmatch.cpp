// Replies matched to the request in flight by its transmit time.
#include "service/reqmatch.h"

NtpTime StampRequest(uint32_t randomSeconds, uint32_t randomFraction)
{
    return NtpTime{randomSeconds, randomFraction};
}

void RequestMatcher::NoteSent(NtpTime transmit, NtpTime sentAt, uint32_t sentTickMs)
{
    transmit_ = transmit;
    sentAt_ = sentAt;
    sentTickMs_ = sentTickMs;
    inFlight_ = true;
}

void RequestMatcher::Forget()
{
    inFlight_ = false;
}

bool RequestMatcher::Answers(NtpTime originate) const
{
    // Every bit counts: the random ones are what no outsider can know.
    return inFlight_ && originate.seconds == transmit_.seconds &&
           originate.fraction == transmit_.fraction;
}

MatchVerdict RequestMatcher::Check(DatagramKind kind, NtpTime originate, bool trustBroadcasts) const
{
    // A broadcast answers nobody: only a user who trusts every sender on
    // the network takes one.
    if (kind == DatagramKind::Broadcast)
        return trustBroadcasts ? MatchVerdict::TrustedBroadcast : MatchVerdict::Broadcast;
    if (!inFlight_)
        return MatchVerdict::NoRequest;
    if (kind == DatagramKind::ClientRequest || !Answers(originate))
        return MatchVerdict::Unmatched;
    return MatchVerdict::Matched;
}

Verdict JudgeReply(Verdict checked, bool beforeFloor, int lengthBytes, MatchVerdict match)
{
    if (checked != Verdict::Accepted)
        return lengthBytes < static_cast<int>(kNtpPacketSize) ? Verdict::TooShort : checked;
    if (beforeFloor)
        return Verdict::BeforeFloor;
    switch (match) {
    case MatchVerdict::Matched:
    case MatchVerdict::TrustedBroadcast: return Verdict::Accepted;
    case MatchVerdict::Broadcast: return Verdict::Broadcast;
    case MatchVerdict::NoRequest: return Verdict::NoRequest;
    case MatchVerdict::Unmatched: break;
    }
    return Verdict::Unmatched;
}

NtpTime RoundTripDelay(NtpTime t1, NtpTime t2, NtpTime t3, NtpTime t4)
{
    return NtpSub(NtpSub(t4, t1), NtpSub(t3, t2));
}

Verdict JudgeDelay(Verdict judged, MatchVerdict match, NtpTime roundTrip, bool queueLate)
{
    if (judged != Verdict::Accepted)
        return judged;
    if (queueLate)
        return Verdict::Delay;
    if (match != MatchVerdict::Matched)
        return judged;
    // In 2^-32 s, as the delay.
    const int64_t bound = kMaxRoundTripMs * 4294967296 / 1000;
    const int64_t delay = NtpToFixed(roundTrip);
    return delay > bound || delay < -bound ? Verdict::Delay : judged;
}
