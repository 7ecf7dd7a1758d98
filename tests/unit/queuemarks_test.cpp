// Marks in the NTP port's own queue: when they go out, which come back as
// ours, and what is forgotten, with the time given to each step.
#include "service/queuemarks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const uint64_t kSecret = 0x0123456789ABCDEFu;

TEST(QueueMarks, GoOnlyWhileTheQueueIsBusyAndSpacedOut)
{
    QueueMarks marks(kSecret);
    const int64_t every = QueueMarks::kEveryUs;
    uint8_t bytes[kQueueMarkSize];
    const int64_t busy = QueueMarks::kBusyUs;
    EXPECT_FALSE(marks.Due(1000000, busy - 1));  // the queue was empty lately
    ASSERT_TRUE(marks.Due(1000000, busy));
    marks.Sent(1000000, bytes);
    EXPECT_FALSE(marks.Due(1000000 + every - 1, 10 * every));
    ASSERT_TRUE(marks.Due(1000000 + every, 10 * every));
    // Never more out at once than the limit, however long the queue stays busy.
    int sent = 1;
    for (int64_t t = 1000000 + every; t < 1000000 + 100 * every; t += every)
        if (marks.Due(t, 10 * every)) {
            marks.Sent(t, bytes);
            ++sent;
        }
    EXPECT_EQ(QueueMarks::kMaxOutstanding, sent);
    // Unread that long, they were dropped by a full queue: marks go on.
    EXPECT_TRUE(marks.Due(1000000 + QueueMarks::kLostAfterUs + 8 * every, 10 * every));
    // A send that fails (no loopback) stops them for a while.
    QueueMarks unsent(kSecret);
    unsent.SendFailed(5000000);
    EXPECT_FALSE(unsent.Due(5000000 + QueueMarks::kRetryAfterUs - 1, 10 * every));
    EXPECT_TRUE(unsent.Due(5000000 + QueueMarks::kRetryAfterUs, 10 * every));
}

TEST(QueueMarks, TakesBackOnlyItsOwnInTheirOrder)
{
    QueueMarks marks(kSecret);
    uint8_t first[kQueueMarkSize], second[kQueueMarkSize], third[kQueueMarkSize];
    marks.Sent(100, first);
    marks.Sent(200, second);
    marks.Sent(300, third);
    int64_t at = 0;
    const int size = static_cast<int>(kQueueMarkSize);
    EXPECT_TRUE(QueueMarks::LooksLikeMark(second, size));
    EXPECT_FALSE(QueueMarks::LooksLikeMark(second, size + 1));
    // The second read first: the first was lost, and is forgotten with it.
    ASSERT_TRUE(marks.Take(second, size, &at));
    EXPECT_EQ(200, at);
    EXPECT_FALSE(marks.Take(first, size, &at));
    EXPECT_FALSE(marks.Take(second, size, &at));  // each counts once
    // Another secret, or a token changed by one bit: not ours.
    uint8_t forged[kQueueMarkSize];
    QueueMarks(kSecret ^ 1).Sent(300, forged);
    EXPECT_FALSE(marks.Take(forged, size, &at));
    std::memcpy(forged, third, sizeof forged);
    forged[kQueueMarkSize - 1] ^= 0x80;
    EXPECT_FALSE(marks.Take(forged, size, &at));
    ASSERT_TRUE(marks.Take(third, size, &at));
    EXPECT_EQ(300, at);
}

// A queue that stays busy, where every datagram waits the same: the marks
// and the wait's bound together, a read every 100 us for 2 s. Up to the
// bound less the marks' spacing nothing counts as late once the marks go
// round, and a queue that waits little costs a mark every few milliseconds
// only.
TEST(QueueMarks, KeepASteadyQueueOnTimeCheaply)
{
    const struct {
        int64_t waitUs;
        int maxMarksPerSecond;
    } cases[] = {
        {200, 260}, {1000, 260}, {2000, 510}, {4000, 510},
        {kQueueBoundUs - QueueMarks::kEveryUs, 510},
    };
    for (const auto& c : cases) {
        QueueMarks marks(kSecret);
        QueueWait queue;
        queue.NoteEmpty(0);
        struct InFlight {
            int64_t sentAtUs;
            uint8_t bytes[kQueueMarkSize];
        };
        std::vector<InFlight> flight;
        int sent = 0;
        bool late = false;
        for (int64_t t = 0; t <= 2000000; t += 100) {
            // Marks come back in their order, each after the common wait.
            while (!flight.empty() && flight.front().sentAtUs + c.waitUs <= t) {
                int64_t at = 0;
                ASSERT_TRUE(marks.Take(flight.front().bytes, kQueueMarkSize, &at));
                queue.NoteReadPast(at);
                flight.erase(flight.begin());
            }
            // Past the start: the first mark goes out only kBusyUs in.
            if (t >= 100000)
                late = late || !queue.OnTime(t);
            if (marks.Due(t, queue.MaxWaitUs(t))) {
                flight.push_back(InFlight{t, {}});
                marks.Sent(t, flight.back().bytes);
                ++sent;
            }
        }
        EXPECT_FALSE(late) << c.waitUs;
        EXPECT_LE(sent / 2, c.maxMarksPerSecond) << c.waitUs;
    }
}

}  // namespace
