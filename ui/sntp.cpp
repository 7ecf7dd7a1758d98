// The application object: switches h and v, the main window, the Help menu and keyboard help.
#include "ui/sntp.h"

#include "bwcc/bwcc.h"
#include "framework/tframe.h"
#include "service/abnormal.h"
#include "ui/ctfrmwnd.h"
#include "ui/helppath.h"
#include "ui/sntpabtd.h"
#include "ui/sntpmndl.h"

namespace {

constexpr DWORD kFrameStyleSet = 0x12CA0000;    // visible, clip children, caption, system menu, minimise box
constexpr DWORD kFrameStyleKeep = 0xBFFAFFFF;   // clears child, thick frame, maximise box

bool KeyDown(int virtualKey)
{
    return GetKeyState(virtualKey) < 0;
}

}  // namespace

DEFINE_RESPONSE_TABLE(SNTPApp, TApplication)
    EV_COMMAND(CM_HELPCONTENTS, CmContents),
    EV_COMMAND(CM_HELPABOUT, CmAbout),
END_RESPONSE_TABLE;

SNTPApp::SNTPApp(const char* name, HINSTANCE instance, HINSTANCE prevInstance,
                 const char* cmdLineTail, int showCommand)
    : TApplication(name, instance, prevInstance, cmdLineTail, showCommand)
{
    CopyCommandLine(cmdLineTail, cmdLine);
    ParseSwitches();
}

void SNTPApp::ParseSwitches()
{
    const AppSwitches found = ScanAppSwitches(cmdLine);
    startHidden = found.startHidden;
    startShown = found.startShown;
}

void SNTPApp::BuildMainWindow()
{
    auto* dialog = new SNTPMainDlg(cmdLine, nullptr, IDD_MAIN, nullptr);
    auto* frame = new CTFrameWindow(nullptr, "Kestrin", dialog, true, nullptr);
    SetMainWindow(frame);
    frame->Attr.style |= kFrameStyleSet;
    frame->Attr.style &= kFrameStyleKeep;

    // The show command the program was started with. The field means
    // something only when the starter supplied it; otherwise the command
    // WinMain received stays.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    if (startup.dwFlags & STARTF_USESHOWWINDOW)
        SetShowCommand(startup.wShowWindow);
    if (startShown)
        SetShowCommand(SW_SHOW);
    if (startHidden) {
        frame->Attr.style &= ~static_cast<DWORD>(WS_VISIBLE);
        SetShowCommand(SW_HIDE);
    }

    frame->SetIcon(GetInstance(), IDI_KESTRIN);
    frame->AssignMenu(IDM_MAIN);
    frame->SetAcceleratorTable(IDA_MAIN);

    if (LOWORD(BWCCGetVersion()) < kMinBwccVersion) {
        MessageBoxExA(nullptr, "Back level version of BWCC detected!!! - See README.TXT",
                      "Kestrin - FATAL ERROR!!!", MB_OK | MB_ICONHAND, 0);
        EndAbnormally();
    }
    EnableBWCC(true, 0);
}

HWND SNTPApp::MainHandle() const
{
    TFrameWindow* frame = GetMainWindow();
    return frame != nullptr ? frame->GetHandle() : nullptr;
}

BOOL SNTPApp::CallHelp(UINT command, ULONG_PTR data)
{
    char module[MAX_PATH + 1] = "";
    const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        module[0] = '\0';  // unknown or cut: the bare name
    char path[MAX_PATH + 16];
    HelpPathBeside(module, path, sizeof path);
    return WinHelpA(MainHandle(), path, command, data);
}

void SNTPApp::CmContents()
{
    helpOpened = CallHelp(HELP_CONTENTS, 0);
}

void SNTPApp::CmAbout()
{
    SNTPAboutDlg dialog(GetMainWindow(), IDD_ABOUT, nullptr);
    dialog.Execute();
}

bool SNTPApp::QueryClose()
{
    const bool mayClose = TApplication::QueryClose();
    if (mayClose && helpOpened)
        CallHelp(HELP_QUIT, 0);
    return mayClose;
}

bool SNTPApp::FilterAppMessage(MSG& msg)
{
    switch (msg.message) {
    case WM_COMMAND:
        if (contextHelp || KeyDown(VK_F1)) {
            contextHelp = 0;
            // The command number; the notification code in the high word
            // is not part of it.
            CallHelp(HELP_CONTEXT, LOWORD(msg.wParam));
            return true;
        }
        break;
    case WM_KEYDOWN:
        if (msg.wParam == VK_F1) {
            if (KeyDown(VK_SHIFT)) {
                contextHelp = 1;
                helpCursor = LoadCursorA(GetInstance(), MAKEINTRESOURCEA(IDC_HELPCURSOR));
                SetCursor(helpCursor);
            } else {
                CallHelp(HELP_CONTENTS, 0);
            }
            return true;
        }
        if (msg.wParam == VK_ESCAPE && contextHelp) {
            if (helpCursor != nullptr)
                DestroyCursor(helpCursor);
            contextHelp = 0;
            helpCursor = nullptr;
            SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));  // IDC_ARROW
            return true;
        }
        break;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_INITMENU:
        if (contextHelp) {
            SetCursor(helpCursor);
            return true;
        }
        break;
    case WM_ENTERIDLE:
        if (msg.wParam == MSGF_MENU && KeyDown(VK_F1)) {
            contextHelp = 1;
            PostMessageA(MainHandle(), WM_KEYDOWN, VK_RETURN, 0);
            return true;
        }
        break;
    default:
        break;
    }
    return TApplication::FilterAppMessage(msg);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR cmdLineTail, int showCommand)
{
    SNTPApp app("Kestrin", instance, prevInstance, cmdLineTail, showCommand);
    return app.Run();
}
