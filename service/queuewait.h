// How long a datagram may have waited in the socket's receive queue before
// it is read. The platform stamps no arrival time, so the wait is bounded
// from what the reads saw: a datagram read now arrived after the last read
// that found the queue empty, so it has waited at most since then. Under a
// load the thread cannot keep up with, that bound grows until the queue is
// read empty; what is read meanwhile is not answered (a late answer is a
// wrong time; the client asks again) and no reply read meanwhile sets the
// clock (its destination time may be late by as much).
//
// Times are microseconds of a counter that never steps (clockif.h's
// ReadElapsedUs), passed in.
#pragma once

#include <cstdint>

// The longest a datagram may wait before it is answered or taken as a
// reply: a reply's destination time is never later than this, and an
// answer, made and sent right after its request is read, goes out within
// 10 ms of the request's arrival with a millisecond left for a thread held
// up between the read and the send.
inline constexpr int64_t kQueueBoundUs = 9000;

class QueueWait {
public:
    // A read notification is handled at nowUs. When the reads before it
    // left the queue empty, what it finds came after they turned
    // notifications on again: counted from now, as the platform posts the
    // notification as the datagram comes and the thread takes it at once.
    void NoteNotification(int64_t nowUs);
    // A read begun at nowUs found nothing waiting.
    void NoteEmpty(int64_t nowUs);
    // What is read from now on came after atUs (a mark sent then was read).
    void NoteReadPast(int64_t atUs);
    // The longest a datagram read (or answered) at nowUs can have waited.
    int64_t MaxWaitUs(int64_t nowUs) const;
    // True when that is within kQueueBoundUs.
    bool OnTime(int64_t nowUs) const { return MaxWaitUs(nowUs) <= kQueueBoundUs; }

private:
    int64_t emptyAtUs_ = 0;  // the last moment the queue was known empty
    bool drained_ = true;    // the last read found nothing (at start: nothing came yet)
};
