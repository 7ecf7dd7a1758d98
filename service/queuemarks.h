// Marks the NTP port's thread puts in its own receive queue, to bound the
// wait of what it reads while the queue is never seen empty. The platform
// stamps no arrival time, and under Wine the pending-bytes question tells
// the size of the next datagram only, so "since the queue was last empty" is
// the only bound the reads give; under a steady load near the thread's pace
// the queue may hold a datagram or two for long stretches, each read in a
// millisecond or so, and all of it would count as late. A mark is a short
// datagram the thread sends to its own port through the loopback: the queue
// keeps its order, so whatever is read after the mark came after the mark
// was sent, and has waited at most since then.
//
// A mark carries a token drawn from a secret: one that matches no mark sent
// here (another process's, or a mark that came after it was given up) is
// read and dropped, and bounds nothing.
//
// Times are microseconds of a counter that never steps, passed in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "service/queuewait.h"

// The bytes of a mark: a tag no NTP message starts with, then the token.
inline constexpr size_t kQueueMarkSize = 12;

class QueueMarks {
public:
    // secret: random bits, drawn once.
    explicit QueueMarks(uint64_t secret) : secret_(secret) {}

    // Whether to send a mark now, when what is read now may have waited
    // waitUs: the queue has been busy a while and no mark went out lately.
    bool Due(int64_t nowUs, int64_t waitUs);
    // A mark was sent at nowUs: its bytes are filled in (kQueueMarkSize).
    void Sent(int64_t nowUs, uint8_t* bytes);
    // A send failed: no mark is tried again for a while (no loopback).
    void SendFailed(int64_t nowUs) { retryAtUs_ = nowUs + kRetryAfterUs; }
    // The datagram has a mark's shape (length and tag), whoever sent it.
    static bool LooksLikeMark(const uint8_t* bytes, int length);
    // A datagram of a mark's shape read now: when it is one of the marks
    // sent here, *sentAtUs is when (what is read after it came later) and
    // that mark and any sent before it (lost) are forgotten.
    bool Take(const uint8_t* bytes, int length, int64_t* sentAtUs);

    // The first mark goes out once what is read may have waited kBusyUs,
    // the next ones kEveryUs apart while the queue stays busy. A mark costs
    // about what an answer does (a send and a read), so a queue whose
    // datagrams wait little gets one every kBusyUs or so, not every
    // kEveryUs; and while every datagram waits at most kQueueBoundUs -
    // kEveryUs, nothing read counts as late (see the static_assert below).
    static constexpr int64_t kBusyUs = 4000;
    static constexpr int64_t kEveryUs = 2000;
    // Marks not read by then are taken as lost (a full queue drops them).
    static constexpr int64_t kLostAfterUs = 1000000;
    static constexpr int64_t kRetryAfterUs = 1000000;
    // Out at once at most: enough to keep the spacing while a mark comes
    // back within the queue's bound; past that, what follows a mark is late
    // anyway and more marks would only cost the reads they take.
    static constexpr int kMaxOutstanding = static_cast<int>(kQueueBoundUs / kEveryUs);
    // Waiting little (under kBusyUs - kEveryUs), the queue is bounded from
    // a mark sent kBusyUs after the one before it came back: what is read
    // just before the next one comes back may be counted as waiting nearly
    // 2 * kBusyUs - kEveryUs.
    static_assert(2 * kBusyUs - kEveryUs <= kQueueBoundUs, "marks too late for the bound");

private:
    uint64_t secret_;
    uint64_t sequence_ = 0;  // of the next mark
    struct Outstanding {
        uint64_t sequence;
        int64_t sentAtUs;
    };
    Outstanding marks_[kMaxOutstanding] = {};  // oldest first
    int count_ = 0;
    int64_t retryAtUs_ = 0;
};
