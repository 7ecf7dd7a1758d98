// The wait of a datagram in the receive queue, bounded from the reads.
#include "service/queuewait.h"

void QueueWait::NoteNotification(int64_t nowUs)
{
    // After a batch cut short (the queue never seen empty) the datagrams
    // waiting are as old as the last empty read: the time stays.
    if (drained_ && nowUs > emptyAtUs_)
        emptyAtUs_ = nowUs;
    drained_ = false;
}

void QueueWait::NoteEmpty(int64_t nowUs)
{
    // The moment the read began: the queue was empty no earlier than that.
    if (nowUs > emptyAtUs_)
        emptyAtUs_ = nowUs;
    drained_ = true;
}

void QueueWait::NoteReadPast(int64_t atUs)
{
    if (atUs > emptyAtUs_)
        emptyAtUs_ = atUs;
}

int64_t QueueWait::MaxWaitUs(int64_t nowUs) const
{
    return nowUs > emptyAtUs_ ? nowUs - emptyAtUs_ : 0;
}
