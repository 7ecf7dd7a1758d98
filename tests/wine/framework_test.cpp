// The windowing framework under Wine: response tables, child creation,
// dialog transfer, command routing, and windows destroyed from inside their
// own handlers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/tapplic.h"
#include "framework/tcombobox.h"
#include "framework/tcontrol.h"
#include "framework/tdialog.h"
#include "framework/tedit.h"
#include "framework/tframe.h"
#include "framework/twindow.h"
#include "resources/resource.h"

namespace {

// Dialog 1 names the BWCC classes, so the library must be loaded.
class BwccLoaded : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bwcc_ = LoadLibraryA("BWCC32.DLL"); }
    static void TearDownTestSuite() {}  // stays loaded: classes outlive tests
    void SetUp() override { ASSERT_NE(bwcc_, nullptr) << "BWCC32.DLL beside the test program"; }
    static HMODULE bwcc_;
};
HMODULE BwccLoaded::bwcc_ = nullptr;

// --- response tables -------------------------------------------------------

const UINT kBaseOnly = WM_USER + 10;
const UINT kOverridden = WM_USER + 11;
const UINT kUnhandled = WM_USER + 12;

class BaseWindow : public TWindow {
public:
    explicit BaseWindow(TWindow* parent) : TWindow(parent) {}
    int baseCalls = 0, baseCommands = 0;

protected:
    LRESULT EvBaseOnly(WPARAM w, LPARAM) { ++baseCalls; return static_cast<LRESULT>(w) + 1000; }
    LRESULT EvOverriddenInBase(WPARAM, LPARAM) { return -1; }
    void CmBase() { ++baseCommands; }

    DECLARE_RESPONSE_TABLE(BaseWindow);
};
DEFINE_RESPONSE_TABLE(BaseWindow, TWindow)
    EV_MESSAGE(kBaseOnly, EvBaseOnly),
    EV_MESSAGE(kOverridden, EvOverriddenInBase),
    EV_COMMAND(301, CmBase),
END_RESPONSE_TABLE;

class DerivedWindow : public BaseWindow {
public:
    explicit DerivedWindow(TWindow* parent) : BaseWindow(parent) {}
    int derivedCommands = 0;

protected:
    LRESULT EvOverridden(WPARAM, LPARAM) { return 42; }
    void CmDerived() { ++derivedCommands; }

    DECLARE_RESPONSE_TABLE(DerivedWindow);
};
DEFINE_RESPONSE_TABLE(DerivedWindow, BaseWindow)
    EV_MESSAGE(kOverridden, EvOverridden),
    EV_COMMAND(302, CmDerived),
END_RESPONSE_TABLE;

TEST(FrameworkDispatch, TablesFallThroughToBaseThenDefault)
{
    DerivedWindow window(nullptr);
    ASSERT_TRUE(window.Create());
    HWND h = window.GetHandle();
    EXPECT_EQ(TWindow::FromHandle(h), &window);

    EXPECT_EQ(SendMessageA(h, kOverridden, 0, 0), 42);
    EXPECT_EQ(SendMessageA(h, kBaseOnly, 5, 0), 1005);
    EXPECT_EQ(window.baseCalls, 1);
    EXPECT_EQ(SendMessageA(h, kUnhandled, 5, 0), 0);  // DefWindowProc

    // Commands by id, from menus (0), accelerators (1) and button clicks.
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(302, 0), 0);
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(302, 1), 0);
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(301, BN_CLICKED), 0);
    EXPECT_EQ(window.derivedCommands, 2);
    EXPECT_EQ(window.baseCommands, 1);
    // A control notification with the same id is no command.
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(302, EN_CHANGE), 0);
    EXPECT_EQ(window.derivedCommands, 2);

    window.Destroy();
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_EQ(TWindow::FromHandle(h), nullptr);
}

// --- children and ownership --------------------------------------------------

int g_liveProbes = 0;

class Probe : public TWindow {
public:
    explicit Probe(TWindow* parent, const char* title = nullptr) : TWindow(parent, title)
    {
        ++g_liveProbes;
        Attr.style = WS_CHILD;  // hidden, like the time service's window
    }
    ~Probe() override { --g_liveProbes; }
    bool setUp = false;
    void SetupWindow() override
    {
        TWindow::SetupWindow();
        setUp = true;
    }
};

TEST(FrameworkChildren, CreatedAtParentSetupAndDeletedWithParent)
{
    g_liveProbes = 0;
    auto* parent = new TWindow(nullptr, "Parent");
    auto* child = new Probe(parent, "Invisible");
    auto* early = new Probe(parent);
    EXPECT_EQ(child->GetHandle(), nullptr);

    ASSERT_TRUE(parent->Create());
    ASSERT_NE(child->GetHandle(), nullptr);
    EXPECT_TRUE(child->setUp);
    EXPECT_EQ(GetParent(child->GetHandle()), parent->GetHandle());
    EXPECT_FALSE(IsWindowVisible(child->GetHandle()));
    char title[32] = {};
    GetWindowTextA(child->GetHandle(), title, sizeof title);
    EXPECT_STREQ(title, "Invisible");

    delete early;  // leaves the parent's list; no double delete below
    EXPECT_EQ(g_liveProbes, 1);
    delete parent;
    EXPECT_EQ(g_liveProbes, 0);
}

// --- dialogs: transfer, modal end, validators --------------------------------

struct MainXfer {
    char server[255];
    char poll[255];
    char maxDelta[255];
};

// The main dialog's controls in its construction order; the static and the
// buttons take no part in the transfer.
class TransferDialog : public TDialog {
public:
    TransferDialog(TWindow* parent, MainXfer* xfer) : TDialog(parent, IDD_MAIN)
    {
        server = new TEdit(this, IDC_NTPSERVER, 255);
        poll = new TEdit(this, IDC_POLLINTERVAL, 255);
        new TStatic(this, IDC_STATUS, 255);
        new TButton(this, IDC_SETTIME);
        new TButton(this, IDC_SETTZ);
        new TButton(this, IDC_STATS);
        maxDelta = new TEdit(this, IDC_MAXDELTA, 255);
        SetTransferBuffer(xfer);
    }
    TEdit* server;
    TEdit* poll;
    TEdit* maxDelta;
};

TEST_F(BwccLoaded, DialogTransferMovesTextBothWays)
{
    TWindow host(nullptr, "Host");
    ASSERT_TRUE(host.Create());
    MainXfer xfer = {};
    strcpy(xfer.server, "ntp.example.org");
    strcpy(xfer.poll, "60");
    strcpy(xfer.maxDelta, "100");
    auto* dialog = new TransferDialog(&host, &xfer);
    ASSERT_TRUE(dialog->Create());
    HWND h = dialog->GetHandle();

    char text[256];
    GetDlgItemTextA(h, IDC_NTPSERVER, text, sizeof text);
    EXPECT_STREQ(text, "ntp.example.org");
    GetDlgItemTextA(h, IDC_MAXDELTA, text, sizeof text);
    EXPECT_STREQ(text, "100");
    EXPECT_EQ(SendDlgItemMessageA(h, IDC_NTPSERVER, EM_GETLIMITTEXT, 0, 0), 254);

    SetDlgItemTextA(h, IDC_POLLINTERVAL, "30");
    SetDlgItemTextA(h, IDC_MAXDELTA, "250");
    dialog->TransferData(TTransferDirection::GetData);
    EXPECT_STREQ(xfer.server, "ntp.example.org");
    EXPECT_STREQ(xfer.poll, "30");
    EXPECT_STREQ(xfer.maxDelta, "250");

    // A field filled to the brim without a NUL is not read past.
    memset(xfer.poll, '7', sizeof xfer.poll);
    dialog->TransferData(TTransferDirection::SetData);
    GetDlgItemTextA(h, IDC_POLLINTERVAL, text, sizeof text);
    EXPECT_EQ(strlen(text), 254u);

    // IDCANCEL ends a modeless dialog by destroying its window; the object
    // stays until its owner deletes it.
    SendMessageA(h, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(dialog->GetHandle(), nullptr);
    EXPECT_EQ(dialog->server->GetHandle(), nullptr);
}

class RefuseAll : public TLookupValidator {
public:
    explicit RefuseAll(int* errors) : errors_(errors) {}
    bool Lookup(const char* text) override { return strcmp(text, "ok") == 0; }
    void Error(TWindow*) override { ++*errors_; }

private:
    int* errors_;
};

// Presses OK, then (if OK did not end it) fixes the text and presses OK
// again, all from inside the modal loop.
class ModalDialog : public TDialog {
public:
    // Dialog 4: a pop-up template with edits.
    ModalDialog(MainXfer* xfer, int* errors) : TDialog(nullptr, 4)
    {
        edit = new TEdit(this, IDC_STATUS, 255);
        edit->SetValidator(new RefuseAll(errors));
        SetTransferBuffer(xfer);
    }
    void SetupDialog() override
    {
        TDialog::SetupDialog();
        PostMessageA(handle_, WM_COMMAND, IDOK, 0);
        PostMessageA(handle_, WM_USER + 50, 0, 0);
    }
    LRESULT EvFix(WPARAM, LPARAM)
    {
        focusAfterRefusal = GetFocus() == edit->GetHandle();
        stillOpen = IsWindow(handle_) != FALSE;
        SetWindowTextA(edit->GetHandle(), "ok");
        PostMessageA(handle_, WM_COMMAND, IDOK, 0);
        return 0;
    }
    TEdit* edit;
    bool focusAfterRefusal = false;
    bool stillOpen = false;

    DECLARE_RESPONSE_TABLE(ModalDialog);
};
DEFINE_RESPONSE_TABLE(ModalDialog, TDialog)
    EV_MESSAGE(WM_USER + 50, EvFix),
END_RESPONSE_TABLE;

TEST_F(BwccLoaded, ModalOkAsksTheValidatorBeforeEnding)
{
    MainXfer xfer = {};
    strcpy(xfer.server, "bad");
    int errors = 0;
    ModalDialog dialog(&xfer, &errors);
    int result = dialog.Execute();
    ASSERT_NE(result, -1);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(errors, 1);
    EXPECT_TRUE(dialog.stillOpen);
    EXPECT_TRUE(dialog.focusAfterRefusal);
    EXPECT_STREQ(xfer.server, "ok");
    EXPECT_EQ(dialog.GetHandle(), nullptr);
}

// Text fields of odd sizes between lists: the lists' fields must land where
// the compiler put them.
struct ListXfer {
    char dstName[4];
    TComboBoxData endWeekday;
    char endTime[6];
    TComboBoxData startWeekday;
};

class ListDialog : public TDialog {
public:
    explicit ListDialog(ListXfer* xfer) : TDialog(nullptr, IDD_TIMEZONE)
    {
        new TEdit(this, IDC_DSTNAME, 4);
        new TComboBox(this, IDC_ENDWEEKDAY, 10);
        new TEdit(this, IDC_ENDTIME, 6);
        new TComboBox(this, IDC_STARTWEEKDAY, 10);
        SetTransferBuffer(xfer);
    }
};

TEST_F(BwccLoaded, ListsTransferEntriesAndSelectionThroughAlignedFields)
{
    ListXfer xfer;
    strcpy(xfer.dstName, "EDT");
    strcpy(xfer.endTime, "02:00");
    for (const char* day : {"Sunday", "Monday", "Tuesday", " "}) {
        xfer.endWeekday.AddString(day);
        xfer.startWeekday.AddString(day);
    }
    xfer.endWeekday.Select(1);
    xfer.startWeekday.Select(9);  // past the end: nothing shown
    EXPECT_EQ(xfer.startWeekday.GetSelIndex(), 9);
    EXPECT_EQ(xfer.startWeekday.GetSelection(), "");

    ListDialog dialog(&xfer);
    ASSERT_TRUE(dialog.Create());
    HWND h = dialog.GetHandle();
    EXPECT_EQ(SendDlgItemMessageA(h, IDC_ENDWEEKDAY, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(SendDlgItemMessageA(h, IDC_ENDWEEKDAY, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendDlgItemMessageA(h, IDC_STARTWEEKDAY, CB_GETCURSEL, 0, 0), CB_ERR);
    char text[16];
    GetDlgItemTextA(h, IDC_ENDTIME, text, sizeof text);
    EXPECT_STREQ(text, "02:00");

    SendDlgItemMessageA(h, IDC_STARTWEEKDAY, CB_SETCURSEL, 2, 0);
    SendDlgItemMessageA(h, IDC_ENDWEEKDAY, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetDlgItemTextA(h, IDC_DSTNAME, "BST");
    dialog.TransferData(TTransferDirection::GetData);
    EXPECT_EQ(xfer.startWeekday.GetSelIndex(), 2);
    EXPECT_EQ(xfer.startWeekday.GetSelection(), "Tuesday");
    EXPECT_EQ(xfer.endWeekday.GetSelIndex(), -1);
    EXPECT_STREQ(xfer.dstName, "BST");
    EXPECT_STREQ(xfer.endTime, "02:00");
    dialog.Destroy();
}

// --- the application: routing, closing from inside a handler -----------------

int g_liveDialogs = 0;
const UINT kCloseFromService = WM_USER + 1;

// Like the time service with -s: from inside its own handler it closes the
// dialog that owns it, which takes the whole program down.
class ClosingService : public Probe {
public:
    explicit ClosingService(TWindow* parent) : Probe(parent, "Invisible") {}
    void SetupWindow() override
    {
        Probe::SetupWindow();
        PostMessageA(handle_, kCloseFromService, 0, 0);
    }
    LRESULT EvClose(WPARAM, LPARAM)
    {
        SendMessageA(GetParent(handle_), WM_CLOSE, 0, 0);
        // Still here: the window is gone, the object is not.
        handleAfterClose = handle_;
        ++closes;
        return 0;
    }
    HWND handleAfterClose = reinterpret_cast<HWND>(1);
    int closes = 0;

    DECLARE_RESPONSE_TABLE(ClosingService);
};
DEFINE_RESPONSE_TABLE(ClosingService, Probe)
    EV_MESSAGE(kCloseFromService, EvClose),
END_RESPONSE_TABLE;

class OwningDialog : public TDialog {
public:
    OwningDialog() : TDialog(nullptr, IDD_MAIN)
    {
        ++g_liveDialogs;
        new TEdit(this, IDC_NTPSERVER, 255);
        service = new ClosingService(this);
    }
    ~OwningDialog() override
    {
        closesSeen = service->closes;
        handleSeen = service->handleAfterClose;
        delete service;
        --g_liveDialogs;
    }
    ClosingService* service;
    static int closesSeen;
    static HWND handleSeen;
    int commands = 0;
    void CmDialogCommand() { ++commands; }

    DECLARE_RESPONSE_TABLE(OwningDialog);
};
int OwningDialog::closesSeen = 0;
HWND OwningDialog::handleSeen = nullptr;
DEFINE_RESPONSE_TABLE(OwningDialog, TDialog)
    EV_COMMAND(401, CmDialogCommand),
END_RESPONSE_TABLE;

class ClosingApp : public TApplication {
public:
    ClosingApp() : TApplication("Test", nullptr, nullptr, "", SW_HIDE) {}
    bool queried = false;
    int appCommands = 0;
    OwningDialog* dialog = nullptr;

    bool QueryClose() override
    {
        queried = true;
        return TApplication::QueryClose();
    }
    void BuildMainWindow() override
    {
        dialog = new OwningDialog;
        SetMainWindow(new TFrameWindow(nullptr, "Kestrin", dialog, true));
    }

protected:
    void CmAppCommand() { ++appCommands; }

    DECLARE_RESPONSE_TABLE(ClosingApp);
};
DEFINE_RESPONSE_TABLE(ClosingApp, TApplication)
    EV_COMMAND(402, CmAppCommand),
END_RESPONSE_TABLE;

void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(99);
}

TEST_F(BwccLoaded, HandlerThatClosesItsOwnerEndsTheProgramSafely)
{
    g_liveProbes = 0;
    g_liveDialogs = 0;
    OwningDialog::closesSeen = 0;
    // A watchdog: a program that fails to end would hang the test.
    UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, Watchdog);
    int status;
    bool queried;
    {
        ClosingApp app;
        status = app.Run();
        queried = app.queried;
        EXPECT_EQ(app.GetMainWindow(), nullptr);  // deleted after the loop
    }
    KillTimer(nullptr, watchdog);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(queried);
    EXPECT_EQ(OwningDialog::closesSeen, 1);
    EXPECT_EQ(OwningDialog::handleSeen, nullptr);
    EXPECT_EQ(g_liveProbes, 0);
    EXPECT_EQ(g_liveDialogs, 0);
}

TEST_F(BwccLoaded, FrameRoutesCommandsToFocusDialogThenApplication)
{
    ClosingApp app;
    app.BuildMainWindow();
    TFrameWindow* frame = app.GetMainWindow();
    ASSERT_TRUE(frame->Create());
    HWND f = frame->GetHandle();
    HWND dialog = app.dialog->GetHandle();
    ASSERT_NE(dialog, nullptr);

    // The client lost caption and dialog frame, and the frame wraps it.
    auto style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_BORDER));
    RECT frameClient, dialogWindow;
    GetClientRect(f, &frameClient);
    GetWindowRect(dialog, &dialogWindow);
    EXPECT_EQ(frameClient.right, dialogWindow.right - dialogWindow.left);
    EXPECT_EQ(frameClient.bottom, dialogWindow.bottom - dialogWindow.top);

    HWND edit = GetDlgItem(dialog, IDC_NTPSERVER);
    SetFocus(edit);
    ASSERT_EQ(GetFocus(), edit);
    // Ctrl+Delete's command clears the selection of the focused edit.
    SetWindowTextA(edit, "abc");
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SendMessageA(f, WM_COMMAND, MAKEWPARAM(CM_EDITCLEAR, 1), 0);
    char text[16] = {};
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "");

    SendMessageA(f, WM_COMMAND, MAKEWPARAM(401, 1), 0);
    EXPECT_EQ(app.dialog->commands, 1);
    SendMessageA(f, WM_COMMAND, MAKEWPARAM(402, 0), 0);
    EXPECT_EQ(app.appCommands, 1);
    // The service's posted close would end things; drop it.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, kCloseFromService, kCloseFromService, PM_REMOVE)) {
    }
}

}  // namespace
