// The wait of a datagram in the receive queue, bounded from what the reads
// saw, with the time given to each step.
#include "service/queuewait.h"

#include <gtest/gtest.h>

namespace {

TEST(QueueWait, AnswersOnlyWhatCannotHaveWaitedPastTheBound)
{
    enum class Step { Notify, Empty, Read };
    const int64_t b = kQueueBoundUs;
    const struct {
        const char* what;
        Step step;
        int64_t atUs;
        bool onTime;  // for Read: within the bound
    } steps[] = {
        {"the first notification", Step::Notify, 1000000, true},
        {"read at once", Step::Read, 1000100, true},
        {"a backlog read at the bound", Step::Read, 1000000 + b, true},
        {"one microsecond more", Step::Read, 1000001 + b, false},
        {"still no empty read", Step::Read, 1500000, false},
        // A batch cut short: the next notification's datagrams are the old ones.
        {"the next batch", Step::Notify, 1500100, false},
        {"", Step::Read, 1500200, false},
        {"read empty at last", Step::Empty, 1500300, true},
        {"came after the empty read", Step::Read, 1500400, true},
        {"", Step::Empty, 1500500, true},
        // Notifications on again after an empty read: counted from the notification.
        {"an idle minute, then a notification", Step::Notify, 61000000, true},
        {"", Step::Read, 61000000 + b - 1000, true},
        {"a stale notification that finds nothing", Step::Empty, 61000000 + b - 500, true},
        {"an earlier time changes nothing", Step::Empty, 61000000, true},
        {"", Step::Read, 61000000 + 2 * b - 500, true},
        {"", Step::Read, 61000000 + 2 * b - 499, false},
    };
    QueueWait queue;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        switch (s.step) {
        case Step::Notify: queue.NoteNotification(s.atUs); break;
        case Step::Empty: queue.NoteEmpty(s.atUs); break;
        case Step::Read: break;
        }
        EXPECT_EQ(s.onTime, queue.OnTime(s.atUs)) << s.atUs;
    }
}

TEST(QueueWait, NeverReportsANegativeWait)
{
    QueueWait queue;
    queue.NoteEmpty(5000);
    EXPECT_EQ(0, queue.MaxWaitUs(4000));  // a reading taken before the empty read
    EXPECT_EQ(kQueueBoundUs, queue.MaxWaitUs(5000 + kQueueBoundUs));
    // A mark read: what follows came after it was sent, never before the
    // queue was last seen empty.
    queue.NoteReadPast(4000);
    EXPECT_EQ(kQueueBoundUs, queue.MaxWaitUs(5000 + kQueueBoundUs));
    queue.NoteReadPast(9000);
    EXPECT_EQ(1000, queue.MaxWaitUs(10000));
}

}  // namespace
