// The server role's account of this clock: stratum, reference and root distance from the last set.
#include "service/ownstate.h"

#include <cstring>

namespace {

constexpr size_t kHeaderAt = 0;
constexpr size_t kStratumAt = 1;
constexpr size_t kPrecisionAt = 3;
constexpr size_t kRootDelayAt = 4;
constexpr size_t kRootDispersionAt = 8;
constexpr size_t kReferenceIdAt = 12;
constexpr size_t kReferenceAt = 16;

constexpr uint8_t kMaxStratum = 15;
constexpr uint8_t kLeapUnsynchronised = 3;
// The clock is set in hundredths: up to 10 ms of the offset is not applied.
constexpr uint32_t kSetResolutionShort = 655;  // 0.01 s in 16.16

uint32_t AddSaturated(uint32_t a, uint64_t b)
{
    const uint64_t sum = a + b;
    return sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
}

// A 32.32 interval in 16.16, negatives as 0.
uint64_t ShortOfInterval(NtpTime interval)
{
    const int64_t fixed = NtpToFixed(interval);
    return fixed <= 0 ? 0 : static_cast<uint64_t>(fixed) >> 16;
}

// Dispersion added by the drift over seconds: PHI * seconds, in 16.16.
uint64_t DriftShort(uint64_t seconds)
{
    return seconds * 65536u * kDriftPartsPerMillion / 1000000u;
}

}  // namespace

void OwnClockState::NoteSet(const NtpPacket& reply, uint32_t serverAddr, NtpTime t1, NtpTime t2,
                            NtpTime t3, NtpTime t4, NtpTime setTime)
{
    everSet_ = true;
    const uint8_t theirs = reply.bytes[kStratumAt];
    stratum_ = theirs >= kMaxStratum ? kMaxStratum : static_cast<uint8_t>(theirs + 1);
    serverAddr_ = serverAddr;
    setTime_ = setTime;
    //   delay = (T4 - T1) - (T3 - T2)
    const uint64_t delay = ShortOfInterval(NtpSub(NtpSub(t4, t1), NtpSub(t3, t2)));
    rootDelay_ = AddSaturated(ReadWord(reply.bytes + kRootDelayAt), delay);
    // The exchange adds the set's resolution and the drift over its round trip.
    rootDispersion_ = AddSaturated(ReadWord(reply.bytes + kRootDispersionAt),
                                   kSetResolutionShort + DriftShort(delay >> 16));
}

void OwnClockState::FillAnswer(NtpPacket* answer, NtpTime now, int64_t staleAfterSeconds) const
{
    uint8_t* b = answer->bytes;
    b[kPrecisionAt] = static_cast<uint8_t>(kClockPrecisionLog2);
    const auto leap = [b](uint8_t indicator) {
        b[kHeaderAt] = static_cast<uint8_t>((b[kHeaderAt] & 0x3F) | (indicator << 6));
    };
    if (!everSet_) {
        leap(kLeapUnsynchronised);
        std::memset(b + kReferenceAt, 0, 8);
        return;
    }
    // The seconds since the set, as a signed 32-bit difference of the words.
    const int64_t age = static_cast<int32_t>(now.seconds - setTime_.seconds);
    leap(age < 0 || age > staleAfterSeconds ? kLeapUnsynchronised : 0);
    b[kStratumAt] = stratum_;
    std::memcpy(b + kReferenceIdAt, &serverAddr_, sizeof serverAddr_);
    WriteWord(b + kReferenceAt, setTime_.seconds);
    WriteWord(b + kReferenceAt + 4, setTime_.fraction);
    WriteWord(b + kRootDelayAt, rootDelay_);
    WriteWord(b + kRootDispersionAt,
              AddSaturated(rootDispersion_, DriftShort(age > 0 ? static_cast<uint64_t>(age) : 0)));
}
