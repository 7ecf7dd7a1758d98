// The status line of the running kestrin.exe shows its longest texts whole, measured in its own font.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/wine/harness/app_probe.h"

namespace {

// The widest texts the program writes there: the longest names and digits
// each field can hold (zone names are the user's own three characters).
const char* const kLongestTexts[] = {
    "Last set: Wed May 27 23:58:58 2099 WWW   Delta: -5399.99 secs",
    "Last set: Wed May 27 23:58:58 2099 MMM   Delta: +5399.99 secs",
    "Last set: Wed May 27 23:58:58 2099 WWW   Delta: -1073741823.99 secs",  // with -i
    "Clock NOT Set:   Delta = -1073741824 seconds (Check TZ)",
    "NTP Request sent - Wed May 27 23:58:58 2099 WWW",
    "Set Time error -2147483648",
};

// Ends the program however the test ends.
struct Session {
    AppRun run;
    ~Session()
    {
        if (run.started)
            WaitExit(&run, 1);
    }
};

// The width the hook in the program measured for the text of window; 0
// when none arrived within timeoutMs.
INT_PTR MeasuredExtent(HWND window, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        if (INT_PTR extent = reinterpret_cast<INT_PTR>(GetPropA(window, "TextExtent")); extent > 0)
            return extent;
        Pump(20);
    } while (GetTickCount() - start < timeoutMs);
    return 0;
}

TEST(StatusLine, LongestTextsFitTheControl)
{
    DeleteFileA(IniPath().c_str());
    Session session;
    AppRun& run = session.run;
    ASSERT_TRUE(LaunchApp(WinPathOf(KESTRIN_EXE), "", &run));
    HWND frame = WaitFrame(run, 20000);
    ASSERT_NE(nullptr, frame);
    HWND status = Control(frame, IDC_STATUS);
    ASSERT_NE(nullptr, status);
    ASSERT_TRUE(HookWindowThread(status, WH_GETMESSAGE, WinPathOf(APP_HOOK_DLL), "ExtentHookProc"));
    const UINT measure = RegisterWindowMessageA("KestrinMeasureText");

    RECT client{};
    GetClientRect(status, &client);
    for (const char* text : kLongestTexts) {
        RemovePropA(status, "TextExtent");
        SetTextOf(status, text);
        ASSERT_EQ(text, TextOf(status));
        PostMessageA(status, measure, 0, 0);
        const INT_PTR extent = MeasuredExtent(status, 5000);
        ASSERT_GT(extent, 0) << text;
        EXPECT_LE(extent, client.right) << text;
    }
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, WaitExit(&run, 15000));
}

}  // namespace
