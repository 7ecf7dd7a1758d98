// The reads one read notification makes: how many datagrams a batch takes
// and how the notifications are held off while it runs. Shared by the time
// service and the bench's bare answerer, so both read the same way.
#pragma once

// What one read did.
enum class ReadOutcome {
    Taken,         // a datagram was taken (and handled)
    NothingTaken,  // none was waiting, or the read failed
    Closed,        // the reader is gone: nothing more may be called on it
};

// The two things a batch needs from its owner.
class DatagramReader {
public:
    // One read. first: the notification's own read, which runs even when
    // nothing waits (the notification may be stale).
    virtual ReadOutcome ReadOne(bool first) = 0;
    // Turns the read notifications off (false) or back on (true). Turning
    // them on while a datagram waits posts a new notification.
    virtual void SetNotifications(bool on) = 0;

protected:
    ~DatagramReader() = default;
};

// Datagrams read per notification at most: a flood then costs one
// notification per batch instead of one per datagram, and the tick,
// painting and the user still get their turn between batches.
inline constexpr int kMaxReadsPerNotify = 64;

// The reads after one notification: notifications off, reads until none
// waits or maxReads (at least one read) have been taken, notifications on
// again unless a read returned Closed. Returns the number of datagrams
// taken.
int ReadBatch(DatagramReader& reader, int maxReads = kMaxReadsPerNotify);
