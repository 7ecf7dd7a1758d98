// The server role's account of this clock (the optional ServerStratum=auto):
// what the last set came from and when, so that an answer to a client says
// how good our time is instead of a fixed stratum 15. Without the setting
// answers stay as BuildAnswer makes them.
#pragma once

#include <cstdint>

#include "service/ntppacket.h"
#include "service/ntptime.h"

// What the clock reading resolves: milliseconds, 2^-10 s.
inline constexpr int8_t kClockPrecisionLog2 = -10;
// Dispersion grows by this much per second since the set (RFC 5905's PHI).
inline constexpr uint32_t kDriftPartsPerMillion = 15;

class OwnClockState {
public:
    // The clock was just set from a reply: its stratum and root fields, the
    // server's address (network order, as held), the exchange's four
    // timestamps and the clock's reading right after the set.
    void NoteSet(const NtpPacket& reply, uint32_t serverAddr, NtpTime t1, NtpTime t2, NtpTime t3,
                 NtpTime t4, NtpTime setTime);
    bool EverSet() const { return everSet_; }

    // Rewrites an answer that BuildAnswer made at now: leap 3 (unsynchronised)
    // before the first set and once the set is more than staleAfterSeconds
    // old (or in the future: the clock was moved back); stratum one more than
    // the server's (at most 15); reference id its address; reference time
    // the set; root delay the server's plus the exchange's round trip; root
    // dispersion the server's plus the exchange's and the drift since;
    // precision the clock's. Before the first set only the leap indicator
    // and precision change and the reference time is 0.
    void FillAnswer(NtpPacket* answer, NtpTime now, int64_t staleAfterSeconds) const;

private:
    bool everSet_ = false;
    uint8_t stratum_ = 0;          // ours: the server's + 1, at most 15
    uint32_t serverAddr_ = 0;      // network order, as held
    NtpTime setTime_{};
    uint32_t rootDelay_ = 0;       // NTP short format, 16.16 seconds
    uint32_t rootDispersion_ = 0;  // the same
};
