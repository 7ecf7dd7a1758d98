// The real kestrin.exe with Wine's real help viewer and the compiled kestrin.hlp: Help menu, F1, Shift+F1, closing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/wine/harness/app_probe.h"

namespace {

constexpr DWORD kStartMs = 20000;
constexpr DWORD kViewerMs = 20000;
constexpr DWORD kEndMs = 15000;

// Texts of the topics, as the viewer shows them.
constexpr char kContentsText[] = "Kestrin keeps your computer's clock right.";
constexpr char kAboutCommandText[] = "Help > About... opens the About Kestrin box";

class HelpViewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        CloseHelpViewers(kEndMs);
        DeleteFileA(IniPath().c_str());
        ASSERT_TRUE(LaunchApp(WinPathOf(KESTRIN_EXE), "", &run_));
        frame_ = WaitFrame(run_, kStartMs);
        ASSERT_NE(nullptr, frame_);
    }
    void TearDown() override
    {
        if (run_.started)
            WaitExit(&run_, 1);
        // The stand-in viewer of the other help tests must not meet a real one.
        CloseHelpViewers(kEndMs);
    }

    // The viewer, once it shows a topic holding text; no message box of its
    // own (a missing or unreadable file) on the way.
    HWND ViewerShowing(const char* text)
    {
        const HWND viewer = WaitHelpViewer(kViewerMs);
        if (viewer == nullptr) {
            ADD_FAILURE() << "no help viewer";
            return nullptr;
        }
        const bool shown = WaitHelpText(viewer, text, kViewerMs);
        std::string box;
        EXPECT_FALSE(HelpViewerBox(viewer, &box)) << "the viewer says: " << box;
        EXPECT_TRUE(shown) << "the viewer shows: " << HelpViewerText(viewer);
        return shown ? viewer : nullptr;
    }

    int Close()
    {
        PostMessageA(frame_, WM_CLOSE, 0, 0);
        return WaitExit(&run_, kEndMs);
    }

    AppRun run_;
    HWND frame_ = nullptr;
};

TEST_F(HelpViewer, ContentsFromTheMenuShowsTheContentsAndClosesWithTheProgram)
{
    PostMessageA(frame_, WM_COMMAND, CM_HELPCONTENTS, 0);
    const HWND viewer = ViewerShowing(kContentsText);
    ASSERT_NE(nullptr, viewer);
    EXPECT_EQ(0, Close());
    // HELP_QUIT is sent before the program ends.
    for (int i = 0; i < 250 && IsWindow(viewer); ++i)
        Pump(20);
    EXPECT_FALSE(IsWindow(viewer)) << "the help window outlived the program";
}

TEST_F(HelpViewer, F1ShowsTheContentsAndLeavesThemOpenAtTheEnd)
{
    PostKey(Control(frame_, IDC_NTPSERVER), VK_F1);
    const HWND viewer = ViewerShowing(kContentsText);
    ASSERT_NE(nullptr, viewer);
    EXPECT_EQ(0, Close());
    Pump(500);
    EXPECT_TRUE(IsWindow(viewer)) << "help opened with F1 is left open";
}

TEST_F(HelpViewer, ShiftF1ThenAboutShowsTheAboutTopicInsteadOfTheBox)
{
    ASSERT_TRUE(EnterContextHelp(frame_, 5000)) << "no help cursor after Shift+F1";
    // Help > About..., as the menu reports it.
    PostMessageA(frame_, WM_COMMAND, CM_HELPABOUT, 0);
    ASSERT_NE(nullptr, ViewerShowing(kAboutCommandText));
    EXPECT_EQ(nullptr, FindCaption(run_.pi.dwProcessId, "About Kestrin")) << "the about box opened";
    EXPECT_EQ(0, Close());
}

TEST(HelpFile, ViewerShowsTheLongestParagraphToItsEnd)
{
    // 3969 characters: the paragraph runs from the first 4 KB topic block
    // into the second.
    CloseHelpViewers(kEndMs);
    const std::string cmd = "winhlp32.exe " + WinPathOf(LONGEST_HLP);
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    const HWND viewer = WaitHelpViewer(kViewerMs);
    ASSERT_NE(nullptr, viewer);
    EXPECT_TRUE(WaitHelpText(viewer, "long words END", kViewerMs)) << HelpViewerText(viewer).size();
    const std::string text = HelpViewerText(viewer);
    const size_t start = text.find("START long words");
    const size_t end = text.find("long words END");
    ASSERT_NE(std::string::npos, start);
    ASSERT_NE(std::string::npos, end);
    EXPECT_EQ(3969u, end + 14 - start) << "the paragraph lost or gained characters";
    std::string box;
    EXPECT_FALSE(HelpViewerBox(viewer, &box)) << box;
    CloseHelpViewers(kEndMs);
}

}  // namespace
