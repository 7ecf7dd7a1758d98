// The real kestrin.exe driven from outside under Wine: first run, switches, fields, frame, help, bad input, the fatal BWCC box.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/wine/harness/app_probe.h"
#include "resources/resource.h"

namespace {

const std::string kExe = WinPathOf(KESTRIN_EXE);
const std::string kOldBwcc = WinPathOf(OLD_BWCC_DLL);
constexpr DWORD kStartMs = 20000;
constexpr DWORD kEndMs = 15000;
constexpr DWORD kBoxMs = 30000;  // a failed lookup is reported well within this

// The server the namespace provides (an NTP peer on another namespace), or
// empty when the tests run without one.
std::string TestServer()
{
    const char* s = std::getenv("KESTRIN_TEST_SERVER");
    return s != nullptr ? s : "";
}

void RemoveIni()
{
    DeleteFileA(IniPath().c_str());
}

std::string IniValue(const char* key)
{
    char value[1024] = "";
    GetPrivateProfileStringA("KESTRIN", key, "<missing>", value, sizeof value, IniPath().c_str());
    return value;
}

// The key lines of the [KESTRIN] section, in file order.
std::vector<std::string> IniKeys()
{
    char keys[4096] = {};
    GetPrivateProfileStringA("KESTRIN", nullptr, "", keys, sizeof keys, IniPath().c_str());
    std::vector<std::string> out;
    for (const char* p = keys; *p != '\0'; p += lstrlenA(p) + 1)
        out.emplace_back(p);
    return out;
}

// One program run: started, its frame found, ended by the test.
class AppSession {
public:
    explicit AppSession(const std::string& args, int showCommand = -1)
    {
        started_ = LaunchApp(kExe, args, &run_, showCommand);
        if (started_)
            frame = WaitFrame(run_, kStartMs);
    }
    ~AppSession()
    {
        if (run_.started)
            WaitExit(&run_, 1);
    }
    std::string Field(int id) { return TextOf(Control(frame, id)); }
    // Waits for the next message box of the process (the time service
    // reports a failed lookup in one) and dismisses it; its text goes to
    // boxes. False when none came within timeoutMs.
    bool DismissNextBox(DWORD timeoutMs)
    {
        const DWORD start = GetTickCount();
        do {
            std::string text;
            if (DismissBox(run_, &text)) {
                boxes.push_back(text);
                return true;
            }
            Pump(20);
        } while (GetTickCount() - start < timeoutMs);
        return false;
    }
    void SetField(int id, const char* text) { SetTextOf(Control(frame, id), text); }
    // Escape in the dialog, as the user presses it; the exit status.
    int Escape()
    {
        std::string text;
        for (int i = 0; i < 10 && DismissBox(run_, &text); ++i)
            boxes.push_back(text);
        PostKey(Control(frame, IDC_NTPSERVER), VK_ESCAPE);
        return WaitExit(&run_, kEndMs);
    }
    int Close()
    {
        PostMessageA(frame, WM_CLOSE, 0, 0);
        return WaitExit(&run_, kEndMs);
    }
    int Exit(DWORD ms) { return WaitExit(&run_, ms); }
    const AppRun& Process() const { return run_; }

    HWND frame = nullptr;
    std::vector<std::string> boxes;

private:
    AppRun run_;
    bool started_ = false;
};

TEST(App, FirstRunShowsDefaultsAndWritesTheSixKeys)
{
    RemoveIni();
    AppSession app("");
    ASSERT_NE(nullptr, app.frame);
    EXPECT_EQ("", app.Field(IDC_NTPSERVER));
    EXPECT_EQ("60", app.Field(IDC_POLLINTERVAL));
    EXPECT_EQ("100", app.Field(IDC_MAXDELTA));
    EXPECT_EQ(" ", app.Field(IDC_STATUS));
    Pump(500);
    EXPECT_EQ(" ", app.Field(IDC_STATUS)) << "no request without a server";
    EXPECT_TRUE(IsWindowVisible(app.frame));
    ASSERT_EQ(0, app.Escape());

    const std::vector<std::string> keys = {"NTPServer", "PollInterval", "MaxDelta",
                                           "DstRule", "STDTzName", "DSTTzName"};
    EXPECT_EQ(keys, IniKeys());
    EXPECT_EQ("", IniValue("NTPServer"));
    EXPECT_EQ("60", IniValue("PollInterval"));
    EXPECT_EQ("100", IniValue("MaxDelta"));
    EXPECT_EQ("-1,0,0,0,0,-1,0,0,0,0,0", IniValue("DstRule"));
    EXPECT_EQ("UTC", IniValue("STDTzName"));
    EXPECT_EQ("UTC", IniValue("DSTTzName"));
    std::string text;
    ASSERT_TRUE(ReadWholeFile(IniPath(), &text));
    EXPECT_EQ(std::string::npos, text.find("UTC,UTC")) << text;
}

TEST(App, FrameIsCentredOnEightPixelsAndFixedInSize)
{
    RemoveIni();
    AppSession app("");
    ASSERT_NE(nullptr, app.frame);
    RECT r{};
    GetWindowRect(app.frame, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    const int sh = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(0, r.left % 8) << r.left;
    EXPECT_EQ((((sw - w) / 2) + 4) & ~7, r.left);
    EXPECT_EQ((sh - h) / 2, r.top);

    const auto style = static_cast<DWORD>(GetWindowLongA(app.frame, GWL_STYLE));
    EXPECT_EQ(static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN),
              style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN));
    EXPECT_EQ(0u, style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CHILD));
    char title[32] = "";
    GetWindowTextA(app.frame, title, sizeof title);
    EXPECT_STREQ("Kestrin", title);
    EXPECT_NE(nullptr, GetMenu(app.frame));

    // The edges are borders, not sizing handles.
    const LRESULT edge = SendMessageA(app.frame, WM_NCHITTEST, 0,
                                      MAKELPARAM(r.right - 1, (r.top + r.bottom) / 2));
    EXPECT_NE(HTRIGHT, edge);
    const LRESULT corner = SendMessageA(app.frame, WM_NCHITTEST, 0,
                                        MAKELPARAM(r.right - 1, r.bottom - 1));
    EXPECT_NE(HTBOTTOMRIGHT, corner);

    // The client wraps the dialog exactly.
    RECT client{}, dialog{};
    GetClientRect(app.frame, &client);
    GetWindowRect(DialogOf(app.frame), &dialog);
    EXPECT_EQ(client.right, dialog.right - dialog.left);
    EXPECT_EQ(client.bottom, dialog.bottom - dialog.top);
    EXPECT_EQ(0, app.Escape());
}

TEST(App, ShowSwitchesAndStartupInformation)
{
    const struct {
        const char* args;
        int showCommand;  // -1: not supplied
        bool visible;
    } cases[] = {
        {"-h", -1, false},
        {"/H", SW_SHOWNORMAL, false},
        {"-v", SW_HIDE, true},
        {"-h -v", -1, false},
        {"-v -h", -1, false},
        {"x-hy", -1, false},
        {"", -1, true},  // no show field supplied: shown all the same
        {"", SW_HIDE, false},
        {"", SW_SHOWNORMAL, true},
    };
    RemoveIni();
    for (const auto& c : cases) {
        AppSession app(c.args, c.showCommand);
        ASSERT_NE(nullptr, app.frame) << c.args;
        Pump(200);
        EXPECT_EQ(c.visible, IsWindowVisible(app.frame) != FALSE) << c.args << " " << c.showCommand;
        EXPECT_EQ(0, app.Close()) << c.args;
    }
}

TEST(App, SetTimeShowsTheValuesInEffect)
{
    RemoveIni();
    AppSession app("");
    ASSERT_NE(nullptr, app.frame);
    const struct {
        const char* poll;
        const char* delta;
        const char* pollShown;
        const char* deltaShown;
    } steps[] = {
        {"30", "0", "60", "100"},
        {"abc", "-5", "60", "100"},
        {"90", "250", "90", "250"},
        {"", " ", "90", "250"},  // empty and blank fields keep the values
        {"120x", "7", "120", "100"},
        {"99999999999", "2000", "60", "2000"},
    };
    for (const auto& s : steps) {
        app.SetField(IDC_POLLINTERVAL, s.poll);
        app.SetField(IDC_MAXDELTA, s.delta);
        ClickButton(app.frame, IDC_SETTIME);
        EXPECT_EQ(s.pollShown, app.Field(IDC_POLLINTERVAL)) << s.poll;
        EXPECT_EQ(s.deltaShown, app.Field(IDC_MAXDELTA)) << s.delta;
    }
    EXPECT_EQ(0, app.Escape());
    EXPECT_EQ("60", IniValue("PollInterval"));
    EXPECT_EQ("2000", IniValue("MaxDelta"));
}

// Log-off or shutdown may end the process without the orderly close, so the
// settings applied with Set Time used to be lost then.
TEST(App, EndOfSessionWritesTheSettings)
{
    RemoveIni();
    AppSession app("");
    ASSERT_NE(nullptr, app.frame);
    app.SetField(IDC_POLLINTERVAL, "180");
    ClickButton(app.frame, IDC_SETTIME);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(IniPath().c_str()));
    SendMessageA(app.frame, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ("180", IniValue("PollInterval"));
    EXPECT_EQ(0, app.Escape());
}

TEST(App, ServerNamesUpTo254CharactersAreKeptAndWrittenWhole)
{
    for (const size_t length : {79u, 80u, 254u, 300u}) {
        RemoveIni();
        const std::string name(length, 'k');
        {
            AppSession app("");
            ASSERT_NE(nullptr, app.frame);
            app.SetField(IDC_NTPSERVER, name.c_str());
            ClickButton(app.frame, IDC_SETTIME);
            // No name server answers in the namespace: the lookup fails.
            EXPECT_TRUE(app.DismissNextBox(kBoxMs)) << length << ": no lookup failure shown";
            ASSERT_EQ(0, app.Escape()) << length;
        }
        // The edit holds 254 characters; all of them are written.
        EXPECT_EQ(std::string(std::min<size_t>(length, 254), 'k'), IniValue("NTPServer")) << length;
        EXPECT_EQ("60", IniValue("PollInterval")) << "keys after the name intact";
        AppSession again("");
        ASSERT_NE(nullptr, again.frame);
        EXPECT_EQ(std::string(std::min<size_t>(length, 79), 'k'), again.Field(IDC_NTPSERVER)) << length;
        EXPECT_TRUE(again.DismissNextBox(kBoxMs)) << length << ": no lookup failure shown";
        EXPECT_EQ(0, again.Escape());
    }
}

TEST(App, DamagedSettingsFilesNeverStopTheProgram)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk.push_back(static_cast<char>((i * 131 + 7) % 256));
    const struct {
        const char* what;
        std::string bytes;
        const char* server;
        const char* poll;
        const char* delta;
    } cases[] = {
        {"binary junk", junk, "", "60", "100"},
        {"junk in the section",
         "[KESTRIN]\r\nNTPServer=\x01\x02\xff\r\nPollInterval=\xfe\xfe\r\nMaxDelta=\x80" + junk,
         "\x01\x02\xff", "60", "100"},
        {"huge lines",
         "[KESTRIN]\r\nNTPServer=" + std::string(100000, 'a') + "\r\nPollInterval=" +
             std::string(5000, '9') + "\r\nMaxDelta=1" + std::string(200, '0') + "\r\n",
         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "60",
         "100"},
        {"missing section", "NTPServer=x.y\r\nPollInterval=90\r\nMaxDelta=300\r\n", "", "60", "100"},
        {"duplicate keys",
         "[KESTRIN]\r\nPollInterval=90\r\nPollInterval=120\r\nMaxDelta=300\r\n[KESTRIN]\r\n"
         "MaxDelta=400\r\n",
         "", "90", "300"},
        {"empty values", "[KESTRIN]\r\nNTPServer=\r\nPollInterval=\r\nMaxDelta=\r\nDstRule=\r\n",
         "", "60", "100"},
    };
    for (const auto& c : cases) {
        RemoveIni();
        ASSERT_TRUE(WriteWholeFile(IniPath(), c.bytes));
        AppSession app("");
        ASSERT_NE(nullptr, app.frame) << c.what;
        EXPECT_EQ(c.server, app.Field(IDC_NTPSERVER)) << c.what;
        if (c.server[0] != '\0') {
            EXPECT_TRUE(app.DismissNextBox(kBoxMs)) << c.what << ": no lookup failure shown";
        }
        EXPECT_EQ(c.poll, app.Field(IDC_POLLINTERVAL)) << c.what;
        EXPECT_EQ(c.delta, app.Field(IDC_MAXDELTA)) << c.what;
        ASSERT_EQ(0, app.Escape()) << c.what;
        // Whatever was there, the six keys were written at the end.
        EXPECT_EQ(c.poll, IniValue("PollInterval")) << c.what;
        EXPECT_EQ(c.delta, IniValue("MaxDelta")) << c.what;
        EXPECT_NE("<missing>", IniValue("DSTTzName")) << c.what;
    }
}

TEST(App, LongCommandLinesAreCutAt79Characters)
{
    RemoveIni();
    for (const size_t length : {100u, 2000u}) {
        // -h and -s beyond the 79th character are never seen.
        std::string args(85, 'x');
        args += " -h -s ";
        args.resize(length, 'y');
        AppSession app(args);
        ASSERT_NE(nullptr, app.frame) << length;
        Pump(200);
        EXPECT_TRUE(IsWindowVisible(app.frame)) << length;
        EXPECT_EQ(0, app.Escape()) << length;
    }
}

// A stand-in for the help viewer: the platform's help call finds a window
// of this class and hands it the request.
struct HelpCall {
    UINT command;
    UINT data;
    std::string file;
};
std::vector<HelpCall> helpCalls;

LRESULT CALLBACK HelpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto* p = static_cast<const BYTE*>(cds->lpData);
        if (cds->cbData >= 16) {
            // WORD size, WORD command, LONG data, LONG reserved, WORD
            // ofsFilename, WORD ofsData.
            HelpCall call;
            call.command = *reinterpret_cast<const WORD*>(p + 2);
            const WORD ofsData = *reinterpret_cast<const WORD*>(p + 14);
            call.data = ofsData != 0 ? ofsData : static_cast<UINT>(*reinterpret_cast<const LONG*>(p + 4));
            const WORD ofsFile = *reinterpret_cast<const WORD*>(p + 12);
            if (ofsFile != 0 && ofsFile < cds->cbData)
                call.file = reinterpret_cast<const char*>(p + ofsFile);
            helpCalls.push_back(call);
        }
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class Help : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = HelpWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "MS_WINHELP";
        RegisterClassA(&wc);
        window_ = CreateWindowA("MS_WINHELP", "help stand-in", 0, 0, 0, 0, 0, nullptr, nullptr,
                                wc.hInstance, nullptr);
        helpCalls.clear();
        RemoveIni();
        std::string dir = kExe.substr(0, kExe.find_last_of('\\') + 1);
        helpPath_ = dir + "kestrin.hlp";
    }
    void TearDown() override { DestroyWindow(window_); }

    bool WaitCalls(size_t count)
    {
        for (int i = 0; i < 250 && helpCalls.size() < count; ++i)
            Pump(20);
        return helpCalls.size() >= count;
    }
    void ExpectCall(size_t index, UINT command, UINT data)
    {
        ASSERT_LT(index, helpCalls.size());
        EXPECT_EQ(command, helpCalls[index].command) << index;
        EXPECT_EQ(data, helpCalls[index].data) << index;
        EXPECT_EQ(0, lstrcmpiA(helpPath_.c_str(), helpCalls[index].file.c_str()))
            << helpCalls[index].file;
    }

    HWND window_ = nullptr;
    std::string helpPath_;
};

TEST_F(Help, F1OpensContentsAndLeavesItOpenAtTheEnd)
{
    AppSession app("");
    ASSERT_NE(nullptr, app.frame);
    PostKey(Control(app.frame, IDC_NTPSERVER), VK_F1);
    ASSERT_TRUE(WaitCalls(1));
    ExpectCall(0, HELP_CONTENTS, 0);
    // The program's help calls are sent, not posted: all of them are in
    // once it has ended.
    EXPECT_EQ(0, app.Close());
    EXPECT_EQ(1u, helpCalls.size()) << "no HELP_QUIT after F1 only";
}

TEST_F(Help, ContentsFromTheMenuIsClosedAtTheEnd)
{
    AppSession app("");
    ASSERT_NE(nullptr, app.frame);
    PostMessageA(app.frame, WM_COMMAND, CM_HELPCONTENTS, 0);
    ASSERT_TRUE(WaitCalls(1));
    ExpectCall(0, HELP_CONTENTS, 0);
    EXPECT_EQ(0, app.Close());
    ASSERT_TRUE(WaitCalls(2));
    ExpectCall(1, HELP_QUIT, 0);
}

// Types key (with Shift) into the program, then End into the server field,
// and waits until the field's caret is at its end: input is taken in order,
// so key has been handled by then. False when that never happens.
bool TypeAndSettle(HWND frame, UINT key, bool shift)
{
    const HWND edit = Control(frame, IDC_NTPSERVER);
    SendMessageA(edit, EM_SETSEL, 0, 0);
    SendKeys(&key, 1, shift);
    const UINT end = VK_END;
    SendKeys(&end, 1, false);
    for (int i = 0; i < 1000 && IsWindow(edit); ++i) {
        DWORD from = 0;
        SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), 0);
        if (from > 0)
            return true;
        Pump(20);
    }
    return false;
}

TEST_F(Help, ShiftF1AnswersTheNextCommandWithContextHelp)
{
    AppSession app("");
    ASSERT_NE(nullptr, app.frame);
    app.SetField(IDC_NTPSERVER, "x");
    SetForegroundWindow(app.frame);
    SetFocus(Control(app.frame, IDC_NTPSERVER));
    ASSERT_TRUE(TypeAndSettle(app.frame, VK_F1, true));
    ASSERT_TRUE(helpCalls.empty()) << "Shift+F1 opens no help by itself";
    // Help > About... in this mode: help for its command, no about box.
    PostMessageA(app.frame, WM_COMMAND, CM_HELPABOUT, 0);
    ASSERT_TRUE(WaitCalls(1));
    ExpectCall(0, HELP_CONTEXT, CM_HELPABOUT);

    // Again, then Esc leaves the mode without ending the program: the next
    // command (Help > Contents) runs normally.
    ASSERT_TRUE(TypeAndSettle(app.frame, VK_F1, true));
    ASSERT_TRUE(TypeAndSettle(app.frame, VK_ESCAPE, false)) << "Esc only left context-help mode";
    PostMessageA(app.frame, WM_COMMAND, CM_HELPCONTENTS, 0);
    ASSERT_TRUE(WaitCalls(2));
    ExpectCall(1, HELP_CONTENTS, 0);
    EXPECT_EQ(2u, helpCalls.size());
    EXPECT_EQ(0, app.Escape());
}

TEST(App, TooOldBwccIsFatalWithStatus3)
{
    // The program beside a library that reports version 0x01FF.
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    const std::string dir = std::string(temp) + "kestrin-oldbwcc";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string exe = dir + "\\kestrin.exe";
    ASSERT_TRUE(CopyFileA(kExe.c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(kOldBwcc.c_str(), (dir + "\\BWCC32.DLL").c_str(), FALSE));
    RemoveIni();

    AppRun run;
    ASSERT_TRUE(LaunchApp(exe, "", &run));
    HWND box = nullptr;
    for (int i = 0; i < 500 && box == nullptr; ++i) {
        Pump(20);
        box = FindWindowA(nullptr, "Kestrin - FATAL ERROR!!!");
    }
    ASSERT_NE(nullptr, box);
    char text[128] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    EXPECT_STREQ("Back level version of BWCC detected!!! - See README.TXT", text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);

    HWND abort = nullptr;
    for (int i = 0; i < 500 && abort == nullptr; ++i) {
        Pump(20);
        abort = FindWindowA(nullptr, "kestrin.exe");
    }
    ASSERT_NE(nullptr, abort);
    GetDlgItemTextA(abort, 0xFFFF, text, sizeof text);
    EXPECT_STREQ("Abnormal program termination", text);
    PostMessageA(abort, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(3, WaitExit(&run, kEndMs));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(IniPath().c_str())) << "nothing written";
    DeleteFileA(exe.c_str());
    DeleteFileA((dir + "\\BWCC32.DLL").c_str());
    RemoveDirectoryA(dir.c_str());
}

// With -s the time service closes the dialog from inside its own socket
// handler; the program must end cleanly and write the file every time.
TEST(Server, CloseAfterSetEndsCleanlyManyTimesInARow)
{
    const std::string server = TestServer();
    if (server.empty())
        GTEST_SKIP() << "no NTP peer in this run";
    for (int i = 0; i < 8; ++i) {
        RemoveIni();
        ASSERT_TRUE(WriteWholeFile(IniPath(), "[KESTRIN]\r\nNTPServer=" + server +
                                                  "\r\nPollInterval=30\r\n"));
        // The run may end before its window is found: only its end counts.
        AppSession app(i % 2 ? "-s -h" : "/S");
        EXPECT_EQ(0, app.Exit(kEndMs)) << "run " << i;
        EXPECT_EQ("60", IniValue("PollInterval")) << "run " << i << ": settings written at the end";
        EXPECT_EQ(server, IniValue("NTPServer"));
    }
}

// Milliseconds from start until the status line first shows more than its
// blank (the first request); timeoutMs when it never does.
DWORD MsUntilStatusChanges(HWND frame, DWORD start, DWORD timeoutMs)
{
    const HWND status = Control(frame, IDC_STATUS);
    while (TextOf(status) == " " && GetTickCount() - start < timeoutMs)
        Pump(20);
    return GetTickCount() - start;
}

TEST(Server, RequestWithAServerAndDelayedStart)
{
    const std::string server = TestServer();
    if (server.empty())
        GTEST_SKIP() << "no NTP peer in this run";
    RemoveIni();
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[KESTRIN]\r\nNTPServer=" + server + "\r\n"));
    {
        AppSession app("");
        ASSERT_NE(nullptr, app.frame);
        EXPECT_TRUE(WaitTextPrefix(Control(app.frame, IDC_STATUS), "Last set:", 10000))
            << app.Field(IDC_STATUS);
        EXPECT_EQ(0, app.Escape());
    }
    // A host name and -d 2: nothing before the delay, a request after it.
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[KESTRIN]\r\nNTPServer=timehost\r\n"));
    const DWORD start = GetTickCount();
    AppSession app("-d 2");
    ASSERT_NE(nullptr, app.frame);
    EXPECT_GE(MsUntilStatusChanges(app.frame, start, 30000), 1900u) << "the 2 s delay";
    EXPECT_TRUE(WaitTextPrefix(Control(app.frame, IDC_STATUS), "Last set:", 10000)) << app.Field(IDC_STATUS);
    EXPECT_EQ(0, app.Escape());
}

// -d alone: nothing for 30 seconds; then, with an address (no lookup whose
// completion would send at once), the first request waits one poll interval.
TEST(Server, DelayedStartWithAnAddressWaitsForThePollInterval)
{
    const std::string server = TestServer();
    if (server.empty())
        GTEST_SKIP() << "no NTP peer in this run";
    RemoveIni();
    ASSERT_TRUE(WriteWholeFile(IniPath(), "[KESTRIN]\r\nNTPServer=" + server + "\r\n"));
    const DWORD start = GetTickCount();
    AppSession app("-d");
    ASSERT_NE(nullptr, app.frame);
    EXPECT_GE(MsUntilStatusChanges(app.frame, start, 180000), 88000u)
        << "30 s delay plus a 60 s poll interval";
    EXPECT_TRUE(WaitTextPrefix(Control(app.frame, IDC_STATUS), "Last set:", 25000)) << app.Field(IDC_STATUS);
    EXPECT_EQ(0, app.Escape());
}

}  // namespace
