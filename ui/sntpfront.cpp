// The main dialog as the front of the Windows service: the service's status
// line, settings and counts shown, Set Time and changes passed on to it, the
// switches given to it, and the hand-over to and from the window running
// on its own.
#include <cstdio>
#include <cstring>

#include "framework/tapplic.h"
#include "framework/tcontrol.h"
#include "framework/tedit.h"
#include "framework/tframe.h"
#include "service/timefloor.h"
#include "service/timesrvc.h"
#include "settings/numtext.h"
#include "ui/sntpdsrd.h"
#include "ui/sntpmndl.h"
#include "ui/svcfront.h"

namespace {

const char kNeedsAdministrator[] =
    "Only an administrator can change the time service's settings: they are the "
    "machine's, for every user. Start Kestrin as administrator to change them. "
    "Set Time still asks the service for the time now.";
const char kRelaxNeedsAdministrator[] =
    "Only an administrator can give the time service -i or -u: they let a reply "
    "set the clock that the checks would refuse. Start Kestrin as administrator "
    "to use them. The service is asked for the time with its checks.";
const char kBroadcastsNeedAdministrator[] =
    "Only an administrator can give the time service -b: it then trusts every "
    "sender on the network. Start Kestrin as administrator to switch it on.";
const char kNotTaken[] = "The Kestrin time service did not take the change.";
const char kNotSaved[] =
    "The Kestrin time service could not save the change in its KESTRIN.INI, so it "
    "took none of it. Its settings are as they were.";
const char kTooLong[] =
    "The server list is longer than the 79 characters that KESTRIN.INI gives back "
    "at the next start. The service's settings are as they were.";
const char kNoAnswer[] = "Kestrin time service: no answer";
const char kServiceStopped[] = "Kestrin time service stopped: Kestrin works on its own";

// The texts of the fields for settings.
void FieldTexts(const SNTPSettings& shown, SNTPMainDlgTransfer* texts)
{
    std::snprintf(texts->serverText, sizeof texts->serverText, "%s", shown.ntpServer);
    FormatNumberText(shown.pollInterval, texts->pollText, sizeof texts->pollText);
    FormatNumberText(shown.maxDelta, texts->maxDeltaText, sizeof texts->maxDeltaText);
}

void ExplainRefusal(TWindow* owner, ChannelReply reply, const char* denied)
{
    if (reply == ChannelReply::Ok)
        return;
    if (reply == ChannelReply::Denied)
        owner->MessageBox(denied, "Kestrin", MB_OK | MB_ICONINFORMATION);
    else if (reply == ChannelReply::Failed)
        owner->MessageBox(kNotSaved, "Kestrin", MB_OK | MB_ICONEXCLAMATION);
    else
        owner->MessageBox(kNotTaken, "Kestrin", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

bool SNTPMainDlg::ShowServiceStatus()
{
    ChannelStatus status = serviceStatus;
    if (CallService(ChannelCommand::Status, &status, kFrontStatusAttempts) != ChannelReply::Ok) {
        ServiceSilent();
        return false;
    }
    ServiceAnswered(status);
    return true;
}

void SNTPMainDlg::ServiceAnswered(const ChannelStatus& status)
{
    // Each text once, as the service showed it: the status line is not
    // rewritten with the same text every second.
    if (serviceLost || std::strcmp(status.statusText, serviceStatus.statusText) != 0 ||
        std::strcmp(statusLine->GetText().c_str(), status.statusText) != 0)
        ShowStatus(status.statusText[0] != '\0' ? status.statusText : " ");
    serviceLost = false;
    serviceStatus = status;
    FollowFields(status.settings);
}

void SNTPMainDlg::ServiceSilent()
{
    // The fields stay as they are: an unanswered read knows nothing new.
    if (!serviceLost) {
        ShowStatus(kNoAnswer);
        serviceLost = true;
        lostSince = GetTickCount();
        return;
    }
    if (GetTickCount() - lostSince >= kServiceGoneMs)
        GoAlone();
}

void SNTPMainDlg::ShowFields(const SNTPSettings& shown)
{
    settings = shown;
    FieldTexts(shown, &SNTPMainDlgXfer);
    filled = SNTPMainDlgXfer;
    TransferData(TTransferDirection::SetData);
}

void SNTPMainDlg::FollowFields(const SNTPSettings& shown)
{
    settings = shown;
    SNTPMainDlgTransfer texts;
    FieldTexts(shown, &texts);
    struct Field {
        TEdit* edit;
        char* filledText;
        const char* text;
        size_t size;
    } fields[] = {
        {serverEdit, filled.serverText, texts.serverText, sizeof filled.serverText},
        {pollEdit, filled.pollText, texts.pollText, sizeof filled.pollText},
        {maxDeltaEdit, filled.maxDeltaText, texts.maxDeltaText, sizeof filled.maxDeltaText},
    };
    for (Field& field : fields) {
        if (field.edit->GetHandle() == nullptr || std::strcmp(field.filledText, field.text) == 0)
            continue;
        // A field that differs from what was filled in is the user's edit.
        if (field.edit->GetText() != field.filledText)
            continue;
        field.edit->SetText(field.text);
        std::snprintf(field.filledText, field.size, "%s", field.text);
    }
}

void SNTPMainDlg::StartFront()
{
    filled = SNTPMainDlgXfer;
    ShowServiceStatus();
    if (SetTimer(GetHandle(), FRONT_TIMER_ID, kFrontPollMs, nullptr) == 0)
        MessageBox("Unable to get timer resource", "Kestrin Error", MB_ICONEXCLAMATION);
    FrontStartAsks();
}

void SNTPMainDlg::FrontStartAsks()
{
    const ServiceSwitches& given = switches.service;
    if (given.acceptAnySource && !serviceStatus.acceptBroadcasts)
        ExplainRefusal(this, CallServiceBroadcasts(true), kBroadcastsNeedAdministrator);
    if (given.closeAfterSet || given.ignoreLimit || given.acceptUnsynced) {
        ChannelAsk ask;
        ask.ignoreLimit = given.ignoreLimit != 0;
        ask.acceptUnsynced = given.acceptUnsynced != 0;
        ChannelStatus at = serviceStatus;
        ChannelReply reply = CallServiceAsk(ask, &at, kFrontStartAttempts);
        bool usedPlain = false;
        if (reply == ChannelReply::Denied) {
            ExplainRefusal(this, reply, kRelaxNeedsAdministrator);
            reply = CallServiceAsk(ChannelAsk{}, &at, kFrontStartAttempts);
            usedPlain = true;
        }
        if (reply == ChannelReply::Ok) {
            ServiceAnswered(at);
            HoldAskIfTold(at, usedPlain ? ChannelAsk{} : ask);
        }
        if (given.closeAfterSet) {
            // Nothing to wait for without an answer or a server.
            if (reply != ChannelReply::Ok || at.settings.ntpServer[0] == '\0') {
                EndRun(kExitNoSet);
                return;
            }
            waitingForSet = true;
            askAccepted = at.accepted;
            askFailed = at.failed;
            askTick = GetTickCount();
        }
    }
    // -h alone: the service keeps the clock; a hidden window has nothing to do.
    if (startHidden && !given.closeAfterSet)
        EndRun(0);
}

void SNTPMainDlg::HoldAskIfTold(const ChannelStatus& at, const ChannelAsk& ask)
{
    askHeld = at.nextAskSeconds != 0;
    heldAsk = ask;
    askRetryTick = GetTickCount() + at.nextAskSeconds * 1000;
}

void SNTPMainDlg::CheckAskDone()
{
    const bool retryDue = static_cast<int32_t>(GetTickCount() - askRetryTick) >= 0;
    if (askHeld && front && !serviceLost && retryDue) {
        ChannelStatus at = serviceStatus;
        if (CallServiceAsk(heldAsk, &at, kFrontStartAttempts) == ChannelReply::Ok) {
            // The ask that went: only a reply after it answers -s.
            if (at.nextAskSeconds == 0) {
                askAccepted = at.accepted;
                askFailed = at.failed;
            }
            HoldAskIfTold(at, heldAsk);
        }
    }
    if (!waitingForSet)
        return;
    // A plain ask held back is answered by any reply the service accepts;
    // one with -i or -u only by its own exchange.
    const bool relaxedHeld = askHeld && (heldAsk.ignoreLimit || heldAsk.acceptUnsynced);
    const bool heard = front && !serviceLost && !relaxedHeld;
    if (heard && serviceStatus.accepted > askAccepted) {
        waitingForSet = false;
        EndRun(0);
    } else if ((heard && serviceStatus.failed > askFailed) ||
               GetTickCount() - askTick >= kFrontSetWaitMs) {
        waitingForSet = false;
        EndRun(kExitNoSet);
    }
}

void SNTPMainDlg::EndRun(int status)
{
    if (status == 0) {
        PostMessageA(GetHandle(), WM_CLOSE, 0, 0);
        return;
    }
    // The loop ends with this status; the windows go after it. The front
    // writes no settings file, so nothing is lost by skipping the close.
    PostQuitMessage(status);
}

void SNTPMainDlg::FrontSetTime()
{
    TransferData(TTransferDirection::GetData);
    const SNTPSettings& current = serviceStatus.settings;
    SNTPSettings wanted = current;
    // Only what the user edited since the fields were filled: the rest may
    // have been changed elsewhere meanwhile, and stays as the service has it.
    bool given[kSettingsKeyCount] = {};
    given[kKeyNtpServer] = std::strcmp(SNTPMainDlgXfer.serverText, filled.serverText) != 0;
    given[kKeyPollInterval] = std::strcmp(SNTPMainDlgXfer.pollText, filled.pollText) != 0;
    given[kKeyMaxDelta] = std::strcmp(SNTPMainDlgXfer.maxDeltaText, filled.maxDeltaText) != 0;
    if (given[kKeyNtpServer])
        std::snprintf(wanted.ntpServer, sizeof wanted.ntpServer, "%s", SNTPMainDlgXfer.serverText);
    if (given[kKeyPollInterval])
        wanted.pollInterval = TakeFieldNumber(SNTPMainDlgXfer.pollText, current.pollInterval);
    if (given[kKeyMaxDelta])
        wanted.maxDelta = TakeFieldNumber(SNTPMainDlgXfer.maxDeltaText, current.maxDelta);
    if (given[kKeyNtpServer] || given[kKeyPollInterval] || given[kKeyMaxDelta]) {
        if (std::strlen(wanted.ntpServer) >= kSettingsValueSize)
            MessageBox(kTooLong, "Kestrin", MB_OK | MB_ICONEXCLAMATION);
        else
            ExplainRefusal(this, CallServiceSet(wanted, given), kNeedsAdministrator);
    }
    // The service asks its own server, with its own checks: no time goes
    // from here to the service. Its counts and interval start again.
    ChannelAsk ask;
    ask.restart = true;
    ChannelStatus at = serviceStatus;
    if (CallServiceAsk(ask, &at, kFrontStartAttempts) != ChannelReply::Ok) {
        ServiceSilent();
        return;
    }
    ServiceAnswered(at);
    // The values in effect: the service's, changed or not.
    ShowFields(at.settings);
}

void SNTPMainDlg::FrontSetTz()
{
    DstRuleRecord workingRule = serviceStatus.settings.dstRule;
    TApplication* app = TApplication::Current();
    int result;
    {
        SNTPDstRuleDlg dialog(app != nullptr ? app->GetMainWindow() : nullptr, &workingRule,
                              IDD_TIMEZONE, nullptr);
        result = dialog.Execute();
    }
    if (result != IDOK)
        return;
    SNTPSettings wanted = serviceStatus.settings;
    wanted.dstRule = workingRule;
    bool given[kSettingsKeyCount] = {};
    bool changed = false;
    for (SettingsKey key : {kKeyDstRule, kKeyStdTzName, kKeyDstTzName}) {
        char before[kSettingsWriteSize];
        char after[kSettingsWriteSize];
        FormatSettingsValue(key, serviceStatus.settings, before, sizeof before);
        FormatSettingsValue(key, wanted, after, sizeof after);
        given[key] = true;
        changed = changed || std::strcmp(before, after) != 0;
    }
    // OK on the zone as it was changes nothing, alone or as the front.
    if (changed)
        ExplainRefusal(this, CallServiceSet(wanted, given), kNeedsAdministrator);
    ShowServiceStatus();
}

void SNTPMainDlg::FrontStats()
{
    ShowServiceStatus();
    ShowStats(serviceStatus.counts);
}

void SNTPMainDlg::BecomeFront(const ChannelStatus& status)
{
    KillTimer(GetHandle(), PROBE_TIMER_ID);
    if (firstRequestTimer != 0)
        KillTimer(GetHandle(), firstRequestTimer);
    if (startTimer != 0)
        KillTimer(GetHandle(), startTimer);
    firstRequestTimer = startTimer = 0;
    // The last write of the window's own file; port 123 is the service's
    // once the engine (and its socket) has gone.
    SaveSettings();
    delete timeService;
    timeService = nullptr;
    front = true;
    serviceLost = false;
    serviceStatus = status;
    ShowFields(status.settings);
    ShowStatus(status.statusText[0] != '\0' ? status.statusText : " ");
    StartFront();
}

void SNTPMainDlg::GoAlone()
{
    KillTimer(GetHandle(), FRONT_TIMER_ID);
    front = false;
    serviceLost = false;
    // As a window started without a service: its own file, its own engine.
    ResetSettings(&settings);
    LoadSettings();
    ShowFields(settings);
    timeService = new TimeService(this, &settings.dstRule, "Invisible");
    if (!timeService->Create()) {
        ShowError("Can't create the time service's window", "Kestrin Startup Error");
        return;
    }
    timeService->SetTimeFloor(SourceDateFloor());
    StartService();
    ShowStatus(kServiceStopped);
    SetTimer(GetHandle(), PROBE_TIMER_ID, kProbeMs, nullptr);
}
