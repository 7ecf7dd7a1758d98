// Command-line switches: the copied tail and the scans of the application and the main dialog.
#include "ui/switches.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Switches, ApplicationScan)
{
    const struct {
        const char* cmdLine;
        int32_t hidden;
        int32_t shown;
    } cases[] = {
        {"", 0, 0},
        {"-h", 1, 0},
        {"/H", 1, 0},
        {"-v", 0, 1},
        {"/V", 0, 1},
        {"-h -v", 1, 1},
        {"-v -h", 1, 1},
        {"x-hy", 1, 0},   // anywhere, also inside a word
        {"--h", 1, 0},    // the second '-' is examined again
        {"-/v", 0, 1},
        {"-hv", 1, 0},    // only the letter right after the switch
        {"-", 0, 0},      // at the very end
        {"h v", 0, 0},    // letters without a switch character
        {"-s -d -b -i -u", 0, 0},
        {"-x -H", 1, 0},
    };
    for (const auto& c : cases) {
        const AppSwitches s = ScanAppSwitches(c.cmdLine);
        EXPECT_EQ(c.hidden, s.startHidden) << c.cmdLine;
        EXPECT_EQ(c.shown, s.startShown) << c.cmdLine;
    }
    EXPECT_EQ(0, ScanAppSwitches(nullptr).startHidden);
}

TEST(Switches, DialogScan)
{
    const struct {
        const char* cmdLine;
        int32_t b, d, delay, i, s, u;
    } cases[] = {
        {"", 0, 0, 0, 0, 0, 0},
        {"-b", 1, 0, 0, 0, 0, 0},
        {"/B", 1, 0, 0, 0, 0, 0},
        {"-bs", 1, 0, 0, 0, 0, 0},  // only the first letter counts
        {"-d", 0, 1, 30, 0, 0, 0},
        {"/D", 0, 1, 30, 0, 0, 0},
        {"-i", 0, 0, 0, 1, 0, 0},
        {"-S", 0, 0, 0, 0, 1, 0},
        {"-u", 0, 0, 0, 0, 0, 1},
        {"/b/d/i/s/u", 1, 1, 30, 1, 1, 1},
        {"x-sy", 0, 0, 0, 0, 1, 0},
        {"--s", 0, 0, 0, 0, 1, 0},
        {"-h -v", 0, 0, 0, 0, 0, 0},
        {"-", 0, 0, 0, 0, 0, 0},
        // A count after d, bounded at 65; without one, 30.
        {"-d 10", 0, 1, 10, 0, 0, 0},
        {"-d10", 0, 1, 10, 0, 0, 0},
        {"-d 65", 0, 1, 65, 0, 0, 0},
        {"-d 66", 0, 1, 65, 0, 0, 0},
        {"-d 1000 -s", 0, 1, 65, 0, 1, 0},
        {"-d 0", 0, 1, 0, 0, 0, 0},
        {"-d -5", 0, 1, 0, 0, 0, 0},
        {"-d -s", 0, 1, 30, 0, 1, 0},
        {"-dx 5", 0, 1, 30, 0, 0, 0},
        {"-d 99999999999", 0, 1, 30, 0, 0, 0},
        {"-d 5 -d", 0, 1, 30, 0, 0, 0},  // the last d wins
    };
    for (const auto& c : cases) {
        const DialogSwitches s = ScanDialogSwitches(c.cmdLine);
        EXPECT_EQ(c.b, s.service.acceptAnySource) << c.cmdLine;
        EXPECT_EQ(c.d, s.delayedStart) << c.cmdLine;
        EXPECT_EQ(c.delay, s.startDelay) << c.cmdLine;
        EXPECT_EQ(c.i, s.service.ignoreLimit) << c.cmdLine;
        EXPECT_EQ(c.s, s.service.closeAfterSet) << c.cmdLine;
        EXPECT_EQ(c.u, s.service.acceptUnsynced) << c.cmdLine;
    }
}

TEST(Switches, CommandLineCopyKeepsSeventyNineCharacters)
{
    char cmdLine[kCommandLineSize];
    for (const size_t length : {0u, 78u, 79u, 80u, 100u, 2000u}) {
        std::string tail(length, 'a');
        if (length >= 90)
            tail.replace(85, 2, "-h");  // beyond the copy: never seen
        CopyCommandLine(tail.c_str(), cmdLine);
        EXPECT_EQ(std::min<size_t>(length, 79), std::string(cmdLine).size()) << length;
        EXPECT_EQ(0, ScanAppSwitches(cmdLine).startHidden) << length;
    }
    // A switch whose letter is the 80th character is cut off with it.
    std::string tail(78, ' ');
    tail += "-s";
    CopyCommandLine(tail.c_str(), cmdLine);
    EXPECT_EQ(0, ScanDialogSwitches(cmdLine).service.closeAfterSet);
    CopyCommandLine(nullptr, cmdLine);
    EXPECT_STREQ("", cmdLine);
}

}  // namespace
