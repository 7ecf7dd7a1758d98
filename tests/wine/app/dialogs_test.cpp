// The real kestrin.exe driven from outside under Wine: the time-zone, statistics and about dialogs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "resources/resource.h"
#include "tests/wine/harness/app_probe.h"

namespace {

const std::string kExe = WinPathOf(KESTRIN_EXE);
constexpr DWORD kWaitMs = 20000;  // any window or text the program owes us

const char kTimeZoneCaption[] = "Configure Time Zone";
const char kTimeBoxCaption[] = "Time format error";
const char kOffsetBoxCaption[] = "Offset format error";
const char kTimeBoxText[] = "Input must be a valid time in format hh:mm";
const char kOffsetBoxText[] = "Offset must be between -14:00 and +12:00 hours eg: +08:00";
const char kMonthBoxCaption[] = "Month selection error";
const char kMonthBoxText[] = "Month must be chosen when an Ordinal is chosen";

std::string IniValue(const char* key)
{
    char value[256] = "";
    GetPrivateProfileStringA("KESTRIN", key, "<missing>", value, sizeof value, IniPath().c_str());
    return value;
}

// Starts the program on a settings file with these lines (none: no file).
class Program {
public:
    explicit Program(const char* iniLines, const std::string& exe = kExe, const char* args = "")
    {
        DeleteFileA(IniPath().c_str());
        if (iniLines != nullptr)
            WriteWholeFile(IniPath(), std::string("[KESTRIN]\r\n") + iniLines);
        if (LaunchApp(exe, args, &run_))
            frame = WaitFrame(run_, kWaitMs);
    }
    ~Program()
    {
        if (frame != nullptr && IsWindow(frame))
            PostKey(Control(frame, IDC_NTPSERVER), VK_ESCAPE);
        WaitExit(&run_, 15000);
    }
    DWORD Pid() const { return run_.pi.dwProcessId; }
    // The exit status once the program has ended by itself; -1 meanwhile.
    int Exit(DWORD timeoutMs) { return WaitExit(&run_, timeoutMs); }

    // Opens a dialog through a main-dialog button or a frame command.
    HWND Open(int buttonId, const char* caption)
    {
        PostClick(frame, buttonId);
        return WaitWindowTitled(Pid(), caption, kWaitMs);
    }
    HWND OpenAbout()
    {
        PostMessageA(frame, WM_COMMAND, CM_HELPABOUT, 0);
        return WaitWindowTitled(Pid(), "About Kestrin", kWaitMs);
    }

    HWND frame = nullptr;

private:
    AppRun run_;
};

int Selection(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

int LastEntry(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0)) - 1;
}

void Select(HWND dialog, int id, int index)
{
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string Item(HWND dialog, int id)
{
    return TextOf(GetDlgItem(dialog, id));
}

void SetItem(HWND dialog, int id, const char* text)
{
    SetTextOf(GetDlgItem(dialog, id), text);
}

// Moves the focus inside the dialog as the dialog manager does for Tab.
void FocusItem(HWND dialog, int id)
{
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

// Presses a button of a modal dialog and waits for what follows: the dialog
// going (returns "") or a box with one of the captions (returns the box's
// text and dismisses it).
std::string Press(const Program& app, HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kWaitMs && IsWindow(dialog)) {
        for (const char* caption : {kTimeBoxCaption, kOffsetBoxCaption, kMonthBoxCaption}) {
            if (HWND box = WaitWindowTitled(app.Pid(), caption, 0)) {
                std::string text = TextOf(GetDlgItem(box, 0xFFFF));
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                WaitGone(box, kWaitMs);
                return std::string(caption) + ": " + text;
            }
        }
        Pump(20);
    }
    return IsWindow(dialog) ? "<still open>" : "";
}

// The settings file is written once the dialog has closed.
bool WaitIniValue(const char* key, const std::string& value)
{
    const DWORD start = GetTickCount();
    while (IniValue(key) != value) {
        if (GetTickCount() - start >= kWaitMs)
            return false;
        Pump(20);
    }
    return true;
}

const char kNoDaylight[] = "-1,0,0,0,0,-1,0,0,0,0,0";

TEST(TimeZoneDialog, RuleWithoutDaylightSavingOpensBlankAndOkKeepsItOff)
{
    Program app(nullptr);
    ASSERT_NE(nullptr, app.frame);
    HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    for (int id : {IDC_STARTORDINAL, IDC_STARTWEEKDAY, IDC_STARTMONTH, IDC_ENDORDINAL,
                   IDC_ENDWEEKDAY, IDC_ENDMONTH}) {
        EXPECT_EQ(LastEntry(tz, id), Selection(tz, id)) << "list " << id;
        EXPECT_GT(LastEntry(tz, id), 0) << "list " << id;
    }
    EXPECT_EQ("", Item(tz, IDC_STARTTIME));
    EXPECT_EQ("", Item(tz, IDC_ENDTIME));
    EXPECT_EQ("UTC", Item(tz, IDC_STDNAME));
    EXPECT_EQ("+00:00", Item(tz, IDC_UTCOFFSET));

    // Centred over the main window, the left edge on a multiple of 8.
    RECT dialogRect, frameRect;
    GetWindowRect(tz, &dialogRect);
    GetWindowRect(app.frame, &frameRect);
    EXPECT_EQ(0, dialogRect.left % 8);
    EXPECT_NEAR((frameRect.top + frameRect.bottom) / 2, (dialogRect.top + dialogRect.bottom) / 2, 1);

    EXPECT_EQ("", Press(app, tz, IDOK));
    EXPECT_TRUE(WaitIniValue("DstRule", kNoDaylight)) << IniValue("DstRule");
}

// The server the test namespace provides, or empty.
std::string TestServer()
{
    const char* s = std::getenv("KESTRIN_TEST_SERVER");
    return s != nullptr ? s : "";
}

TEST(TimeZoneDialog, NorthernRuleIsInstalledAndSaved)
{
    if (TestServer().empty())
        GTEST_SKIP() << "needs the test peer";
    Program app(nullptr);
    ASSERT_NE(nullptr, app.frame);
    HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    SetItem(tz, IDC_STDNAME, "GMT");
    SetItem(tz, IDC_DSTNAME, "BST");
    SetItem(tz, IDC_UTCOFFSET, "0:00");
    Select(tz, IDC_STARTORDINAL, 4);  // Last
    Select(tz, IDC_STARTWEEKDAY, 0);  // Sunday
    Select(tz, IDC_STARTMONTH, 2);    // March
    SetItem(tz, IDC_STARTTIME, "01:00");
    Select(tz, IDC_ENDORDINAL, 4);
    Select(tz, IDC_ENDWEEKDAY, 0);
    Select(tz, IDC_ENDMONTH, 9);      // October
    SetItem(tz, IDC_ENDTIME, "02:00");
    EXPECT_EQ("", Press(app, tz, IDOK));

    // The keys are written one by one, the names after the rule.
    EXPECT_TRUE(WaitIniValue("DstRule", "5,7,3,1,0,5,7,10,2,0,0")) << IniValue("DstRule");
    EXPECT_TRUE(WaitIniValue("STDTzName", "GMT")) << IniValue("STDTzName");
    EXPECT_TRUE(WaitIniValue("DSTTzName", "BST")) << IniValue("DSTTzName");

    // The next status line speaks the new zone (standard or daylight time,
    // whichever the clock's date falls in). The offset is the host clock's,
    // UTC, so the reply sets nothing.
    SetTextOf(Control(app.frame, IDC_NTPSERVER), TestServer().c_str());
    ClickButton(app.frame, IDC_SETTIME);
    ASSERT_TRUE(WaitTextPrefix(Control(app.frame, IDC_STATUS), "Last set: ", kWaitMs))
        << TextOf(Control(app.frame, IDC_STATUS));
    const std::string status = TextOf(Control(app.frame, IDC_STATUS));
    EXPECT_TRUE(status.find(" GMT") != std::string::npos || status.find(" BST") != std::string::npos)
        << status;

    // It opens again showing the rule.
    tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    EXPECT_EQ(4, Selection(tz, IDC_STARTORDINAL));
    EXPECT_EQ(9, Selection(tz, IDC_ENDMONTH));
    EXPECT_EQ("02:00", Item(tz, IDC_ENDTIME));
    EXPECT_EQ("+00:00", Item(tz, IDC_UTCOFFSET));
    EXPECT_EQ("", Press(app, tz, IDCANCEL));
}

// Zones east of UTC+12 (Tonga, Kiribati, the Chatham Islands) were refused
// by the offset check; they are stored and shown again now, and what lies
// beyond UTC+14 and UTC-12 is still refused with the range in the message.
TEST(TimeZoneDialog, OffsetsUpToUtcPlus14AreStoredAndShownAgain)
{
    const struct {
        const char* typed;
        const char* stored;  // DstRule after OK; nullptr: refused
    } cases[] = {
        {"-13:00", "-1,0,0,0,0,-1,0,0,0,0,-46800"}, {"-14:00", "-1,0,0,0,0,-1,0,0,0,0,-50400"},
        {"-12:45", "-1,0,0,0,0,-1,0,0,0,0,-45900"}, {"-14:30", nullptr},
        {"+12:30", nullptr},                        {"-15:00", nullptr},
    };
    Program app(nullptr);
    ASSERT_NE(nullptr, app.frame);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
        ASSERT_NE(nullptr, tz);
        SetItem(tz, IDC_UTCOFFSET, c.typed);
        const std::string result = Press(app, tz, IDOK);
        if (c.stored == nullptr) {
            EXPECT_EQ(std::string(kOffsetBoxCaption) + ": " + kOffsetBoxText, result);
            EXPECT_EQ(GetDlgItem(tz, IDC_UTCOFFSET), FocusOf(tz));
            ASSERT_EQ("", Press(app, tz, IDCANCEL));
            continue;
        }
        EXPECT_EQ("", result);
        EXPECT_TRUE(WaitIniValue("DstRule", c.stored)) << IniValue("DstRule");
        tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
        ASSERT_NE(nullptr, tz);
        EXPECT_EQ(c.typed, Item(tz, IDC_UTCOFFSET));
        ASSERT_EQ("", Press(app, tz, IDCANCEL));
    }

    // The zone is applied: the peer keeps the host's clock, which Wine reads
    // as UTC, so a UTC+13 zone puts the local clock 13 hours behind it.
    if (TestServer().empty())
        GTEST_SKIP() << "needs the test peer";
    HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    SetItem(tz, IDC_UTCOFFSET, "-13:00");
    ASSERT_EQ("", Press(app, tz, IDOK));
    SetTextOf(Control(app.frame, IDC_NTPSERVER), TestServer().c_str());
    ClickButton(app.frame, IDC_SETTIME);
    const char prefix[] = "Clock NOT Set:   Delta = +";
    ASSERT_TRUE(WaitTextPrefix(Control(app.frame, IDC_STATUS), prefix, kWaitMs))
        << TextOf(Control(app.frame, IDC_STATUS));
    // 13 hours, give or take the second the exchange and the reading straddle.
    const std::string shown = TextOf(Control(app.frame, IDC_STATUS));
    const long seconds = std::strtol(shown.c_str() + sizeof prefix - 1, nullptr, 10);
    EXPECT_LE(std::labs(seconds - 46800), 1) << shown;
}

TEST(TimeZoneDialog, InvalidTimeLeftForAnotherControlIsRefusedButCancelIsNot)
{
    Program app(nullptr);
    ASSERT_NE(nullptr, app.frame);
    HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    HWND startTime = GetDlgItem(tz, IDC_STARTTIME);
    SetTextOf(startTime, "9:30");
    FocusItem(tz, IDC_STARTTIME);
    ASSERT_EQ(startTime, FocusOf(tz));
    PostKey(startTime, VK_TAB);  // to the end Ordinal list
    HWND box = WaitWindowTitled(app.Pid(), kTimeBoxCaption, kWaitMs);
    ASSERT_NE(nullptr, box) << "no box after Tab";
    EXPECT_EQ(kTimeBoxText, TextOf(GetDlgItem(box, 0xFFFF)));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitGone(box, kWaitMs));
    EXPECT_EQ(startTime, FocusOf(tz)) << "the focus went back into the edit";

    // Straight to Cancel: no box; the dialog just closes.
    FocusItem(tz, IDCANCEL);
    EXPECT_EQ("", Press(app, tz, IDCANCEL));
}

TEST(TimeZoneDialog, CancelKeepsTheRuleAndStillWritesTheSettings)
{
    Program app("DstRule=5,7,3,1,0,5,7,10,2,0,0\r\nSTDTzName=GMT\r\nDSTTzName=BST\r\n");
    ASSERT_NE(nullptr, app.frame);
    DeleteFileA(IniPath().c_str());
    HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    Select(tz, IDC_STARTORDINAL, 5);  // blank: would switch daylight saving off
    SetItem(tz, IDC_STDNAME, "XYZ");
    EXPECT_EQ("", Press(app, tz, IDCANCEL));
    EXPECT_TRUE(WaitIniValue("DstRule", "5,7,3,1,0,5,7,10,2,0,0")) << IniValue("DstRule");
    EXPECT_EQ("GMT", IniValue("STDTzName"));
}

// With -s, a reply that came while Set TZ... was open with a time that is
// not valid took the main dialog away; the frame's close check then showed
// the dialog's time message unasked and stayed on the screen, empty. The
// close now waits for the dialog, and what OK takes there is kept.
TEST(TimeZoneDialog, CloseAfterSetWaitsForTheOpenDialogAndShowsNoBox)
{
    const std::string server = TestServer();
    if (server.empty())
        GTEST_SKIP() << "needs the test peer";
    Program app(nullptr, kExe, "-s");
    ASSERT_NE(nullptr, app.frame);
    HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    SetItem(tz, IDC_ENDTIME, "25:00");
    // The request goes while the dialog runs; its reply comes as a late one would.
    SetTextOf(Control(app.frame, IDC_NTPSERVER), server.c_str());
    ClickButton(app.frame, IDC_SETTIME);
    const HWND status = Control(app.frame, IDC_STATUS);
    const DWORD start = GetTickCount();
    while (IsWindow(status) && TextOf(status).rfind("Last set:", 0) != 0 &&
           GetTickCount() - start < kWaitMs)
        Pump(20);
    EXPECT_TRUE(IsWindow(status)) << "the main dialog went while the time-zone dialog was open";
    EXPECT_EQ(0u, TextOf(status).rfind("Last set:", 0)) << TextOf(status);

    SetItem(tz, IDC_ENDTIME, "03:00");
    SetItem(tz, IDC_UTCOFFSET, "-1:00");
    EXPECT_EQ("", Press(app, tz, IDOK)) << "no box came, and OK closed the dialog";
    EXPECT_EQ(0, app.Exit(kWaitMs)) << "the close went ahead once the dialog had gone";
    EXPECT_EQ("-1,0,0,0,0,-1,0,0,0,0,-3600", IniValue("DstRule"));

    // Any dialog of the program holds the close back the same way.
    Program again(nullptr, kExe, "-s");
    ASSERT_NE(nullptr, again.frame);
    HWND stats = again.Open(IDC_STATS, "SNTP Statistics");
    ASSERT_NE(nullptr, stats);
    SetTextOf(Control(again.frame, IDC_NTPSERVER), server.c_str());
    ClickButton(again.frame, IDC_SETTIME);
    EXPECT_TRUE(WaitTextPrefix(Control(again.frame, IDC_STATUS), "Last set:", kWaitMs));
    EXPECT_TRUE(IsWindow(stats));
    EXPECT_EQ("", Press(again, stats, IDOK));
    EXPECT_EQ(0, again.Exit(kWaitMs));
}

// An Ordinal with the blank Month was once stored as month 13: a rule that
// never applies, with daylight saving silently off. OK refuses it now, at
// either end, and the Month list gets the focus; blank Ordinals need no Month.
TEST(TimeZoneDialog, OrdinalWithoutMonthIsRefusedAndTheMonthListGetsTheFocus)
{
    const int kBlankOrdinal = 5;
    const int kBlankMonth = 12;
    const struct {
        const char* what;
        int startOrdinal, startMonth, endOrdinal, endMonth;  // -1: as the rule shows
        int refusedList;                                     // 0: OK closes the dialog
        const char* stored;                                  // DstRule after the dialog
    } cases[] = {
        {"start without month", -1, kBlankMonth, -1, -1, IDC_STARTMONTH, "5,7,3,1,0,5,7,10,2,0,0"},
        {"end without month", -1, -1, -1, kBlankMonth, IDC_ENDMONTH, "5,7,3,1,0,5,7,10,2,0,0"},
        {"end is asked first", -1, kBlankMonth, -1, kBlankMonth, IDC_ENDMONTH,
         "5,7,3,1,0,5,7,10,2,0,0"},
        {"one blank ordinal", kBlankOrdinal, -1, 0, kBlankMonth, IDC_ENDMONTH,
         "5,7,3,1,0,5,7,10,2,0,0"},
        // Last: the only case that changes the rule.
        {"both ordinals blank", kBlankOrdinal, kBlankMonth, kBlankOrdinal, kBlankMonth, 0,
         "-1,7,3,1,0,-1,7,10,2,0,0"},
    };
    {
        Program app("DstRule=5,7,3,1,0,5,7,10,2,0,0\r\n");
        ASSERT_NE(nullptr, app.frame);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
            ASSERT_NE(nullptr, tz);
            for (const auto& [id, index] : {std::pair<int, int>{IDC_STARTORDINAL, c.startOrdinal},
                                            {IDC_STARTMONTH, c.startMonth},
                                            {IDC_ENDORDINAL, c.endOrdinal},
                                            {IDC_ENDMONTH, c.endMonth}})
                if (index >= 0)
                    Select(tz, id, index);
            const std::string result = Press(app, tz, IDOK);
            if (c.refusedList != 0) {
                EXPECT_EQ(std::string(kMonthBoxCaption) + ": " + kMonthBoxText, result);
                EXPECT_EQ(GetDlgItem(tz, c.refusedList), FocusOf(tz));
                ASSERT_EQ("", Press(app, tz, IDCANCEL));
            } else {
                EXPECT_EQ("", result);
            }
            EXPECT_TRUE(WaitIniValue("DstRule", c.stored)) << IniValue("DstRule");
        }
    }

    // A month 13 already in the file is read as before: it shows as the
    // blank Month, and only OK asks for a real one.
    Program app("DstRule=1,7,13,2,0,5,7,10,3,0,0\r\n");
    ASSERT_NE(nullptr, app.frame);
    HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    EXPECT_EQ(kBlankMonth, Selection(tz, IDC_STARTMONTH));
    EXPECT_EQ(std::string(kMonthBoxCaption) + ": " + kMonthBoxText, Press(app, tz, IDOK));
    ASSERT_EQ("", Press(app, tz, IDCANCEL));
    EXPECT_TRUE(WaitIniValue("DstRule", "1,7,13,2,0,5,7,10,3,0,0")) << IniValue("DstRule");
}

// Text that reaches an edit past its limit (another program's WM_SETTEXT, a
// paste) is refused with the field's message or stored cut to the field.
TEST(TimeZoneDialog, BadInputIsRefusedOrStoredWithinItsField)
{
    const struct {
        int id;
        const char* text;
        const char* box;       // "" when OK closes the dialog
        const char* stdName;   // stored, when OK closed it
        const char* dstName;
    } cases[] = {
        {IDC_UTCOFFSET, "+", kOffsetBoxCaption, nullptr, nullptr},
        {IDC_UTCOFFSET, "-", kOffsetBoxCaption, nullptr, nullptr},
        {IDC_UTCOFFSET, "12:60", kOffsetBoxCaption, nullptr, nullptr},
        {IDC_UTCOFFSET, "+12:01", kOffsetBoxCaption, nullptr, nullptr},
        {IDC_UTCOFFSET, "99:99", kOffsetBoxCaption, nullptr, nullptr},
        {IDC_UTCOFFSET, "+05:00:00000000", kOffsetBoxCaption, nullptr, nullptr},
        {IDC_STARTTIME, "01:00:00000000", kTimeBoxCaption, nullptr, nullptr},
        {IDC_ENDTIME, "0100000000000", kTimeBoxCaption, nullptr, nullptr},
        {IDC_STDNAME, "", "", "", "UTC"},
        {IDC_STDNAME, "EST", "", "EST", "UTC"},
        {IDC_STDNAME, "ABCDEFGHIJKLMNOP", "", "ABC", "UTC"},
        {IDC_DSTNAME, "QRSTUVWXYZ0123456789", "", "UTC", "QRS"},
        // The profile functions drop quotes and end blanks on reading.
        {IDC_STDNAME, "'A'", "", "'A'", "UTC"},
        {IDC_DSTNAME, "AB ", "", "UTC", "AB "},
    };
    Program app(nullptr);
    ASSERT_NE(nullptr, app.frame);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
        ASSERT_NE(nullptr, tz);
        SetItem(tz, c.id, c.text);
        const std::string result = Press(app, tz, IDOK);
        if (c.box[0] != '\0') {
            const char* text = c.box == kTimeBoxCaption ? kTimeBoxText : kOffsetBoxText;
            EXPECT_EQ(std::string(c.box) + ": " + text, result);
            EXPECT_EQ(GetDlgItem(tz, c.id), FocusOf(tz));
            ASSERT_EQ("", Press(app, tz, IDCANCEL));
        } else {
            EXPECT_EQ("", result);
            EXPECT_TRUE(WaitIniValue("STDTzName", c.stdName)) << IniValue("STDTzName");
            EXPECT_EQ(c.dstName, IniValue("DSTTzName"));
            // Back to the names the next case starts from.
            tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
            ASSERT_NE(nullptr, tz);
            SetItem(tz, IDC_STDNAME, "UTC");
            SetItem(tz, IDC_DSTNAME, "UTC");
            ASSERT_EQ("", Press(app, tz, IDOK));
        }
    }
    // A paste stops at the edit's limit.
    HWND tz = app.Open(IDC_SETTZ, kTimeZoneCaption);
    ASSERT_NE(nullptr, tz);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const char pasted[] = "+05:00:00000000000";
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof pasted);
    std::memcpy(GlobalLock(memory), pasted, sizeof pasted);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
    for (const auto& [id, limit] : {std::pair<int, size_t>{IDC_STDNAME, 3}, {IDC_DSTNAME, 3},
                                    {IDC_UTCOFFSET, 7}, {IDC_STARTTIME, 5}, {IDC_ENDTIME, 5}}) {
        SetItem(tz, id, "");
        SendDlgItemMessageA(tz, id, WM_PASTE, 0, 0);
        EXPECT_EQ(std::string(pasted, limit), Item(tz, id)) << id;
    }
    EXPECT_EQ("", Press(app, tz, IDCANCEL));
}

// The four counts of the statistics dialog, sent/received/rejected/broadcast.
std::string Counts(HWND stats)
{
    return Item(stats, IDC_SENTCOUNT) + "/" + Item(stats, IDC_RECEIVEDCOUNT) + "/" +
           Item(stats, IDC_REJECTEDCOUNT) + "/" + Item(stats, IDC_BROADCASTCOUNT);
}

TEST(StatsDialog, ShowsTheCountsAsTheyStoodWhenOpened)
{
    const std::string server = TestServer();
    if (server.empty())
        GTEST_SKIP() << "needs the test peer";
    Program app(nullptr);
    ASSERT_NE(nullptr, app.frame);
    HWND stats = app.Open(IDC_STATS, "SNTP Statistics");
    ASSERT_NE(nullptr, stats);
    EXPECT_EQ("0/0/0/0", Counts(stats));

    // An exchange while it is open changes nothing on it.
    SetTextOf(Control(app.frame, IDC_NTPSERVER), server.c_str());
    ClickButton(app.frame, IDC_SETTIME);
    ASSERT_TRUE(WaitTextPrefix(Control(app.frame, IDC_STATUS), "Last set:", kWaitMs))
        << TextOf(Control(app.frame, IDC_STATUS));
    EXPECT_EQ("0/0/0/0", Counts(stats));
    EXPECT_EQ("", Press(app, stats, IDOK));

    // Every Set Time starts the counts again from 0: one request, one reply.
    for (int round = 0; round < 2; ++round) {
        if (round > 0) {
            ClickButton(app.frame, IDC_SETTIME);
            ASSERT_TRUE(WaitTextPrefix(Control(app.frame, IDC_STATUS), "Last set:", kWaitMs));
        }
        stats = app.Open(IDC_STATS, "SNTP Statistics");
        ASSERT_NE(nullptr, stats);
        EXPECT_EQ("1/1/0/0", Counts(stats)) << "round " << round;
        EXPECT_EQ("", Press(app, stats, IDOK));
    }
}

// The line once read a version fixed in the code, not the one in VERSION.
TEST(AboutDialog, ShowsTheProductVersionNotAFixedOneAndNoSpecialBuild)
{
    Program app(nullptr);
    ASSERT_NE(nullptr, app.frame);
    HWND about = app.OpenAbout();
    ASSERT_NE(nullptr, about);
    EXPECT_EQ("  Version " KESTRIN_VERSION " (32-bit)", Item(about, IDC_VERSIONLINE));
    EXPECT_NE("", Item(about, IDC_COPYRIGHT));
    EXPECT_EQ("", Item(about, IDC_SPECIALBUILD));
    EXPECT_EQ("", Item(about, IDC_ABOUTNOTE));
    // Centred on the screen, not over the main window.
    RECT r;
    GetWindowRect(about, &r);
    EXPECT_EQ(0, r.left % 8);
    EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) / 2, (r.top + r.bottom) / 2, 1);
    EXPECT_EQ("", Press(app, about, IDOK));
}

// The test copy's version resource names another product version: the line
// comes from the resource of the program that runs.
TEST(AboutDialog, ShowsTheSpecialBuildAndVersionOfItsVersionResource)
{
    Program app(nullptr, WinPathOf(KESTRIN_SPECIAL_EXE));
    ASSERT_NE(nullptr, app.frame);
    HWND about = app.OpenAbout();
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(KESTRIN_SPECIAL_BUILD, Item(about, IDC_SPECIALBUILD));
    EXPECT_EQ("  Version " KESTRIN_SPECIAL_VERSION " (32-bit)", Item(about, IDC_VERSIONLINE));
    EXPECT_EQ("", Press(app, about, IDOK));
}

}  // namespace
