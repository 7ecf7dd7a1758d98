// The main dialog: server, poll interval and maximum delta fields, the status line, the time service and the settings file.
#include "ui/sntpmndl.h"

#include <cstdio>
#include <cstring>

#include "framework/tapplic.h"
#include "framework/tcontrol.h"
#include "framework/tedit.h"
#include "framework/tframe.h"
#include "service/timefloor.h"
#include "service/timesrvc.h"
#include "settings/numtext.h"
#include "settings/profstore.h"
#include "ui/sntpdsrd.h"
#include "ui/sntpstt1.h"
#include "ui/svcfront.h"

SNTPMainDlgTransfer SNTPMainDlgXfer;

namespace {

constexpr UINT kTextLength = 255;  // each edit accepts 254 characters

void CopyText(char* field, size_t size, const char* text)
{
    std::snprintf(field, size, "%s", text);
}

}  // namespace

DEFINE_RESPONSE_TABLE(SNTPMainDlg, TDialog)
    EV_COMMAND(IDC_SETTIME, CmSetTime),
    EV_COMMAND(IDC_STATS, CmStats),
    EV_COMMAND(IDC_SETTZ, CmSetTz),
    EV_MESSAGE(WM_TIMER, EvTimer),
    EV_MESSAGE(WM_ENDSESSION, EvEndSession),
    EV_MESSAGE(WM_POWERBROADCAST, EvPowerBroadcast),
    EV_MESSAGE(WM_TIMECHANGE, EvTimeChange),
    EV_MESSAGE(WM_CLOSE, EvClose),
    EV_MESSAGE(WM_ENABLE, EvEnable),
END_RESPONSE_TABLE;

SNTPMainDlg::SNTPMainDlg(const char* cmdLine, TWindow* parent, UINT resourceId, HINSTANCE module)
    : TDialog(parent, resourceId, module)
{
    serverEdit = new TEdit(this, IDC_NTPSERVER, kTextLength);
    pollEdit = new TEdit(this, IDC_POLLINTERVAL, kTextLength);
    statusLine = new TStatic(this, IDC_STATUS, kTextLength);
    setTimeButton = new TButton(this, IDC_SETTIME);
    setTzButton = new TButton(this, IDC_SETTZ);
    statsButton = new TButton(this, IDC_STATS);
    maxDeltaEdit = new TEdit(this, IDC_MAXDELTA, kTextLength);
    SetTransferBuffer(&SNTPMainDlgXfer);

    ResetSettings(&settings);
    switches = ScanDialogSwitches(cmdLine);
    startHidden = ScanAppSwitches(cmdLine).startHidden != 0;

    // A pipe busy with another client (another user's window) is tried
    // again: a window that ran on its own beside the service would take
    // the clock from it. With the service, its settings are the machine's
    // and the window's own file is neither read nor written.
    front = CallService(ChannelCommand::Status, &serviceStatus, kFrontStartAttempts) ==
            ChannelReply::Ok;
    if (front)
        settings = serviceStatus.settings;
    else
        LoadSettings();

    CopyText(SNTPMainDlgXfer.serverText, sizeof SNTPMainDlgXfer.serverText, settings.ntpServer);
    FormatNumberText(settings.pollInterval, SNTPMainDlgXfer.pollText, sizeof SNTPMainDlgXfer.pollText);
    FormatNumberText(settings.maxDelta, SNTPMainDlgXfer.maxDeltaText,
                     sizeof SNTPMainDlgXfer.maxDeltaText);

    // Its window is created with the dialog's other children. The floor
    // holds from the start, while -d waits too.
    if (!front) {
        timeService = new TimeService(this, &settings.dstRule, "Invisible");
        timeService->SetTimeFloor(SourceDateFloor());
    }
}

SNTPMainDlg::~SNTPMainDlg()
{
    // Window first, then the file, then the service: the service's window
    // is gone with the dialog's before the object goes.
    if (GetHandle() != nullptr)
        Destroy(IDCANCEL);
    if (!front)
        SaveSettings();
    delete timeService;
    timeService = nullptr;
}

void SNTPMainDlg::LoadSettings()
{
    PrivateProfileStore store;
    LoadSettingsFrom(store, &settings);
    LoadExtraSettingsFrom(store, &extraSettings);
}

void SNTPMainDlg::SaveSettings()
{
    PrivateProfileStore store;
    SaveSettingsTo(store, settings);
    SaveExtraSettingsTo(store, extraSettings);
}

void SNTPMainDlg::SetupDialog()
{
    TDialog::SetupDialog();
    statusLine->SetText(" ");
    if (front) {
        StartFront();
        return;
    }
    // A failed timer only means that a service started later is not seen.
    SetTimer(GetHandle(), PROBE_TIMER_ID, kProbeMs, nullptr);
    if (switches.delayedStart) {
        startTimer = SetTimer(GetHandle(), START_TIMER_ID,
                              static_cast<UINT>(switches.startDelay) * 1000u, nullptr);
        if (startTimer == 0)
            MessageBox("Unable to get timer resource", "Kestrin Error", MB_ICONEXCLAMATION);
        return;
    }
    StartService();
}

void SNTPMainDlg::StartService()
{
    const bool haveServer = settings.ntpServer[0] != '\0';
    // Before the server: its name is taken as an NTS server's.
    timeService->SetNts(NtsOn(extraSettings), extraSettings.ntsRootCerts);
    if (haveServer)
        timeService->SetServer(settings.ntpServer);
    timeService->SetPollInterval(&settings.pollInterval);
    timeService->SetMaxDelta(&settings.maxDelta);
    timeService->SetDstRule(&settings.dstRule);
    timeService->SetSwitches(switches.service);
    VersionSetting version = kDefaultVersionSetting;  // a value it cannot take: 1
    ParseVersionSetting(extraSettings.ntpVersion, &version);
    timeService->SetProtocolVersion(version);
    timeService->SetLogFile(extraSettings.logFile);
    timeService->SetAnswerOwnState(settings.serverStratumAuto);
    if (haveServer && !switches.delayedStart) {
        // The reply's destination time is read when the reply is handled, and
        // one waiting behind start-up work (the window shown and painted) is
        // read late. A timer message comes only once nothing else waits, so
        // the first request goes when start-up is done.
        firstRequestTimer =
            SetTimer(GetHandle(), FIRST_REQUEST_TIMER_ID, USER_TIMER_MINIMUM, nullptr);
        if (firstRequestTimer == 0)
            timeService->SendNow();
    }
}

LRESULT SNTPMainDlg::EvTimer(WPARAM wParam, LPARAM lParam)
{
    DefaultProcessing(WM_TIMER, wParam, lParam);
    if (wParam == FRONT_TIMER_ID || wParam == PROBE_TIMER_ID) {
        // Not while a dialog or box runs: one of the engine's may be on the
        // stack, and the user is answering it.
        if (ModalRunning())
            return 0;
        if (wParam == PROBE_TIMER_ID) {
            ChannelStatus status;
            if (!front && CallService(ChannelCommand::Status, &status) == ChannelReply::Ok)
                BecomeFront(status);
        } else if (front) {
            ShowServiceStatus();
        }
        CheckAskDone();
        return 0;
    }
    if (wParam == FIRST_REQUEST_TIMER_ID) {
        KillTimer(GetHandle(), firstRequestTimer);
        firstRequestTimer = 0;
        timeService->SendNow();
        return 0;
    }
    if (startTimer != 0)
        KillTimer(GetHandle(), startTimer);
    StartService();
    return 0;
}

LRESULT SNTPMainDlg::EvEndSession(WPARAM endingNow, LPARAM)
{
    if (endingNow && !front)
        SaveSettings();
    return 0;
}

LRESULT SNTPMainDlg::EvPowerBroadcast(WPARAM wParam, LPARAM lParam)
{
    if (timeService == nullptr)
        return TRUE;
    return SendMessageA(timeService->GetHandle(), WM_POWERBROADCAST, wParam, lParam);
}

LRESULT SNTPMainDlg::EvTimeChange(WPARAM wParam, LPARAM lParam)
{
    if (timeService == nullptr)
        return 0;
    return SendMessageA(timeService->GetHandle(), WM_TIMECHANGE, wParam, lParam);
}

bool SNTPMainDlg::ModalRunning() const
{
    // Modal dialogs and boxes disable the frame, their owner, while they run.
    HWND frame = GetParent(GetHandle());
    return frame != nullptr && !IsWindowEnabled(frame);
}

LRESULT SNTPMainDlg::EvClose(WPARAM, LPARAM)
{
    if (ModalRunning()) {
        closeWaiting = true;
        return 0;
    }
    closeWaiting = false;
    CmCancel();
    return 0;
}

LRESULT SNTPMainDlg::EvEnable(WPARAM enabled, LPARAM)
{
    // Posted: the code that ran the modal window (a dialog's OK installing
    // its rule, the settings written) finishes first.
    if (enabled && closeWaiting)
        PostMessageA(GetHandle(), WM_CLOSE, 0, 0);
    return 0;
}

void SNTPMainDlg::CmSetTime()
{
    if (front) {
        FrontSetTime();
        return;
    }
    TransferData(TTransferDirection::GetData);
    settings.pollInterval = TakeFieldNumber(SNTPMainDlgXfer.pollText, settings.pollInterval);
    settings.maxDelta = TakeFieldNumber(SNTPMainDlgXfer.maxDeltaText, settings.maxDelta);
    CopyText(settings.ntpServer, sizeof settings.ntpServer, SNTPMainDlgXfer.serverText);

    timeService->SetServer(settings.ntpServer);
    timeService->SetPollInterval(&settings.pollInterval);
    timeService->SetMaxDelta(&settings.maxDelta);
    timeService->SendNow();

    // Show the values in effect (the service raises values below its minimums).
    FormatNumberText(settings.pollInterval, SNTPMainDlgXfer.pollText, sizeof SNTPMainDlgXfer.pollText);
    FormatNumberText(settings.maxDelta, SNTPMainDlgXfer.maxDeltaText,
                     sizeof SNTPMainDlgXfer.maxDeltaText);
    TransferData(TTransferDirection::SetData);
}

void SNTPMainDlg::ShowStatus(const char* text)
{
    if (statusLine->GetHandle() != nullptr)
        SetWindowTextA(statusLine->GetHandle(), text);
}

void SNTPMainDlg::ShowStats(const ServiceCounts& counts)
{
    TApplication* app = TApplication::Current();
    SNTPStatsDlg dialog(app != nullptr ? app->GetMainWindow() : nullptr, counts.sent,
                        counts.received, counts.rejected, counts.broadcast, IDD_STATS, nullptr);
    dialog.Execute();
}

void SNTPMainDlg::ShowError(const char* text, const char* caption)
{
    // Owned by the engine's hidden window, as the engine's own boxes were.
    if (timeService != nullptr)
        timeService->MessageBox(text, caption, MB_OK | MB_ICONEXCLAMATION);
    else
        MessageBox(text, caption, MB_OK | MB_ICONEXCLAMATION);
}

bool SNTPMainDlg::CloseAfterSet()
{
    // Closing the dialog may destroy it and the engine that calls this;
    // while a modal window runs, the close waits and both stay.
    HWND dialog = GetHandle();
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    return IsWindow(dialog) != FALSE;
}

void SNTPMainDlg::CmStats()
{
    if (front) {
        FrontStats();
        return;
    }
    timeService->ShowStats();
}

void SNTPMainDlg::CmSetTz()
{
    if (front) {
        FrontSetTz();
        return;
    }
    // The dialog writes into the working copy whatever ends it; only OK
    // makes the copy the rule.
    DstRuleRecord workingRule = settings.dstRule;
    TApplication* app = TApplication::Current();
    int result;
    {
        SNTPDstRuleDlg dialog(app != nullptr ? app->GetMainWindow() : nullptr, &workingRule,
                              IDD_TIMEZONE, nullptr);
        result = dialog.Execute();
    }
    if (result == IDOK) {
        settings.dstRule = workingRule;
        timeService->SetDstRule(&settings.dstRule);
    }
    SaveSettings();
}
