// The extra request after a resume or an outside time change.
#include "service/resync.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Events at times in ms: S request sent, C our own clock set, R resume, T
// time change that stepped the clock by stepMs, J the clock stepped by
// stepMs with no notice, K a poll tick's reading of the clock, and ? asks Due (its answers make up the result string). The
// clock runs with the counter from a first reading at the first step's time.
struct Step {
    uint32_t atMs;
    char event;
    int64_t stepMs = 30000;
};

std::string Replay(const std::vector<Step>& steps)
{
    Resync resync;
    std::string answers;
    const uint32_t startMs = steps.empty() ? 0 : steps.front().atMs;
    const int64_t startClockMs = 1796688000000;
    int64_t steppedMs = 0;
    const auto clockAt = [&](uint32_t atMs) { return startClockMs + (atMs - startMs) + steppedMs; };
    resync.NoteClockReading(startMs, clockAt(startMs));
    for (const Step& s : steps) {
        switch (s.event) {
        case 'S': resync.NoteRequestSent(s.atMs); break;
        case 'C': resync.NoteClockSet(s.atMs); break;
        case 'R': resync.NoteResume(s.atMs); break;
        case 'K': resync.NoteClockReading(s.atMs, clockAt(s.atMs)); break;
        case 'J': steppedMs += s.stepMs; break;
        case 'T':
            steppedMs += s.stepMs;
            resync.NoteTimeChange(s.atMs, clockAt(s.atMs));
            break;
        case '?':
            if (resync.Due(s.atMs)) {
                answers += 'y';
                resync.NoteRequestSent(s.atMs);
            } else {
                answers += 'n';
            }
            break;
        }
    }
    return answers;
}

TEST(Resync, OneRequestPerEventAtTheRightTime)
{
    const uint32_t wrap = 0xFFFFF000u;  // the tick counter wraps in between
    const struct {
        const char* what;
        std::vector<Step> steps;
        const char* answers;
    } cases[] = {
        {"resume: after the delay, once",
         {{0, 'S'}, {60000, 'R'}, {61000, '?'}, {62000, '?'}, {63000, '?'}}, "nyn"},
        {"both resume events of one wake-up ask once",
         {{0, 'S'}, {60000, 'R'}, {60500, 'R'}, {62000, '?'}, {63000, '?'}, {64000, '?'}}, "ynn"},
        {"time change: at once",
         {{0, 'S'}, {60000, 'T'}, {60000, '?'}, {61000, '?'}}, "yn"},
        {"no request before: the first may go at once",
         {{60000, 'T'}, {60000, '?'}}, "y"},
        {"our own set causes no request",
         {{0, 'S'}, {30000, 'C'}, {30100, 'T'}, {30200, '?'}, {50000, '?'}}, "nn"},
        {"a change well after our set is another program's",
         {{0, 'S'}, {30000, 'C'}, {36000, 'T'}, {36000, '?'}}, "y"},
        {"not within 15 s of the last request: it waits",
         {{0, 'S'}, {5000, 'T'}, {5000, '?'}, {14999, '?'}, {15000, '?'}, {16000, '?'}}, "nnyn"},
        {"a second event while one waits adds nothing",
         {{0, 'S'}, {5000, 'T'}, {6000, 'R'}, {15000, '?'}, {30000, '?'}}, "yn"},
        {"across the counter's wrap",
         {{wrap, 'S'}, {wrap + 60000, 'R'}, {wrap + 61000, '?'}, {wrap + 62000, '?'}}, "ny"},
        {"a step back counts as much as one forward",
         {{0, 'S'}, {60000, 'T', -30000}, {60000, '?'}}, "y"},
        {"a step across the counter's wrap",
         {{wrap, 'S'}, {wrap + 30000, 'K'}, {wrap + 60000, 'T', 1000}, {wrap + 60000, '?'}}, "y"},
        {"an ordinary poll before the resume's request takes its place",
         {{0, 'S'}, {60000, 'R'}, {61000, 'S'}, {62000, '?'}, {80000, '?'}}, "nn"},
        {"an ordinary poll while the change's request waits out the gap",
         {{0, 'S'}, {5000, 'T'}, {10000, 'S'}, {15000, '?'}, {30000, '?'}}, "nn"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.answers, Replay(c.steps)) << c.what;
}

// No notice of the change reaches a service before Windows 7: the next
// poll tick's reading of the clock sees the step itself, by the same rules.
TEST(Resync, StepSeenByTheNextReadingWithoutANotice)
{
    const uint32_t wrap = 0xFFFFF000u;
    const struct {
        const char* what;
        std::vector<Step> steps;
        const char* answers;
    } cases[] = {
        {"a step forward", {{0, 'S'}, {60000, 'J'}, {61000, 'K'}, {61000, '?'}, {62000, '?'}}, "yn"},
        {"a step back", {{0, 'S'}, {60000, 'J', -30000}, {61000, 'K'}, {61000, '?'}}, "y"},
        {"under a second is a correction",
         {{0, 'S'}, {60000, 'J', 999}, {61000, 'K'}, {61000, '?'}}, "n"},
        {"our own set",
         {{0, 'S'}, {30000, 'C'}, {30000, 'J'}, {31000, 'K'}, {31000, '?'}, {50000, '?'}}, "nn"},
        {"its notice after the reading asks no second time",
         {{0, 'S'}, {60000, 'J'}, {60500, 'K'}, {60600, 'T', 0}, {60600, '?'}, {80000, '?'}}, "yn"},
        {"across the counter's wrap",
         {{wrap, 'S'}, {wrap + 30000, 'K'}, {wrap + 60000, 'J', 1000}, {wrap + 61000, 'K'},
          {wrap + 61000, '?'}}, "y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.answers, Replay(c.steps)) << c.what;
}

// Two programs that set the clock see each other's sets: only a real step
// against the tick counter may start a request, or they answer each other's
// sets for as long as both run.
TEST(Resync, TimeChangeWithoutAStepStartsNoRequest)
{
    const struct {
        const char* what;
        std::vector<Step> steps;
        const char* answers;
    } cases[] = {
        {"no step at all", {{0, 'S'}, {60000, 'T', 0}, {60000, '?'}, {80000, '?'}}, "nn"},
        {"a correction under a second, either way",
         {{0, 'S'}, {60000, 'T', 999}, {61000, 'T', -999}, {80000, '?'}}, "n"},
        {"small corrections do not add up: each is measured from the last",
         {{0, 'S'}, {20000, 'T', 600}, {30000, 'K'}, {40000, 'T', 600}, {50000, '?'}}, "n"},
        {"a second exactly is a step", {{0, 'S'}, {60000, 'T', 1000}, {60000, '?'}}, "y"},
        {"the clock running with the counter for a day is no step",
         {{0, 'S'}, {86400000, 'T', 0}, {86400000, '?'}}, "n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.answers, Replay(c.steps)) << c.what;

    Resync first;  // no reading yet: nothing is known to have stepped
    first.NoteTimeChange(60000, 1796688000000);
    EXPECT_FALSE(first.Due(60000));
}

}  // namespace
