// The extra request after a resume or an outside time change.
#include "service/resync.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Events at times in ms: S request sent, C our own clock set, R resume, T
// time change, and ? asks Due (its answers make up the result string).
struct Step {
    uint32_t atMs;
    char event;
};

std::string Replay(const std::vector<Step>& steps)
{
    Resync resync;
    std::string answers;
    for (const Step& s : steps) {
        switch (s.event) {
        case 'S': resync.NoteRequestSent(s.atMs); break;
        case 'C': resync.NoteClockSet(s.atMs); break;
        case 'R': resync.NoteResume(s.atMs); break;
        case 'T': resync.NoteTimeChange(s.atMs); break;
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
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.answers, Replay(c.steps)) << c.what;
}

}  // namespace
