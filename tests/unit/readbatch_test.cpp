// The reads of one read notification: how many, and notifications held off
// around them.
#include "service/readbatch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Reads from a script of outcomes ('t' taken, 'n' nothing, 'c' closed;
// past its end nothing waits) and writes down every call: 'F' the first
// read, 'r' a further one, '-' notifications off, '+' on.
class ScriptedReader final : public DatagramReader {
public:
    explicit ScriptedReader(std::string script) : script_(std::move(script)) {}

    ReadOutcome ReadOne(bool first) override
    {
        calls += first ? 'F' : 'r';
        const char next = position_ < script_.size() ? script_[position_++] : 'n';
        return next == 't' ? ReadOutcome::Taken
                           : next == 'c' ? ReadOutcome::Closed : ReadOutcome::NothingTaken;
    }
    void SetNotifications(bool on) override { calls += on ? '+' : '-'; }

    std::string calls;

private:
    std::string script_;
    size_t position_ = 0;
};

TEST(ReadBatch, ReadsWhatWaitsWithNotificationsOff)
{
    const struct {
        const char* what;
        std::string script;
        int maxReads;
        const char* calls;
        int taken;
    } cases[] = {
        {"a stale notification: one read", "", 64, "-F+", 0},
        {"one datagram, then none", "t", 64, "-Fr+", 1},
        {"three", "ttt", 64, "-Frrr+", 3},
        {"a failed read ends the batch", "tnt", 64, "-Fr+", 1},
        {"a flood stops at the bound", std::string(10, 't'), 4, "-Frrr+", 4},
        {"a bound of one still reads once", "tt", 1, "-F+", 1},
        {"a bound below one reads once", "tt", 0, "-F+", 1},
        {"closed on the first read: nothing after it", "c", 64, "-F", 0},
        {"closed later: nothing after it", "ttc", 64, "-Frr", 2},
    };
    for (const auto& c : cases) {
        ScriptedReader reader(c.script);
        EXPECT_EQ(ReadBatch(reader, c.maxReads), c.taken) << c.what;
        EXPECT_EQ(reader.calls, c.calls) << c.what;
    }
}

// A flood read notification by notification: every datagram is taken once
// and each batch leaves notifications on, so the next one comes.
TEST(ReadBatch, AFloodIsReadInBoundedBatches)
{
    ScriptedReader reader(std::string(150, 't'));
    EXPECT_EQ(ReadBatch(reader), kMaxReadsPerNotify);
    EXPECT_EQ(reader.calls.back(), '+');
    EXPECT_EQ(ReadBatch(reader), kMaxReadsPerNotify);
    EXPECT_EQ(ReadBatch(reader), 150 - 2 * kMaxReadsPerNotify);
    EXPECT_EQ(ReadBatch(reader), 0);
}

}  // namespace
