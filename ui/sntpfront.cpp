// The main dialog as the front of the Windows service: the service's status
// line, settings and counts shown, Set Time and changes passed on to it.
#include <cstdio>
#include <cstring>

#include "framework/tapplic.h"
#include "framework/tcontrol.h"
#include "framework/tframe.h"
#include "settings/numtext.h"
#include "ui/sntpdsrd.h"
#include "ui/sntpmndl.h"
#include "ui/svcfront.h"

namespace {

const char kNeedsAdministrator[] =
    "Only an administrator can change the time service's settings: they are the "
    "machine's, for every user. Start Kestrin as administrator to change them. "
    "Set Time still asks the service for the time now.";
const char kNotTaken[] = "The Kestrin time service did not take the change.";
const char kNoAnswer[] = "Kestrin time service: no answer";

}  // namespace

void SNTPMainDlg::ShowServiceStatus()
{
    ChannelStatus status = serviceStatus;
    if (CallService(ChannelCommand::Status, &status) != ChannelReply::Ok) {
        if (!serviceLost)
            ShowStatus(kNoAnswer);
        serviceLost = true;
        return;
    }
    // Each text once, as the service showed it: the status line is not
    // rewritten with the same text every second.
    if (serviceLost || std::strcmp(status.statusText, serviceStatus.statusText) != 0 ||
        std::strcmp(statusLine->GetText().c_str(), status.statusText) != 0)
        ShowStatus(status.statusText[0] != '\0' ? status.statusText : " ");
    serviceLost = false;
    serviceStatus = status;
}

void SNTPMainDlg::ShowFields(const SNTPSettings& shown)
{
    settings = shown;
    std::snprintf(SNTPMainDlgXfer.serverText, sizeof SNTPMainDlgXfer.serverText, "%s",
                  shown.ntpServer);
    FormatNumberText(shown.pollInterval, SNTPMainDlgXfer.pollText, sizeof SNTPMainDlgXfer.pollText);
    FormatNumberText(shown.maxDelta, SNTPMainDlgXfer.maxDeltaText,
                     sizeof SNTPMainDlgXfer.maxDeltaText);
    TransferData(TTransferDirection::SetData);
}

void SNTPMainDlg::FrontSetTime()
{
    TransferData(TTransferDirection::GetData);
    const SNTPSettings& current = serviceStatus.settings;
    SNTPSettings wanted = current;
    wanted.pollInterval = TakeFieldNumber(SNTPMainDlgXfer.pollText, current.pollInterval);
    wanted.maxDelta = TakeFieldNumber(SNTPMainDlgXfer.maxDeltaText, current.maxDelta);
    std::snprintf(wanted.ntpServer, sizeof wanted.ntpServer, "%s", SNTPMainDlgXfer.serverText);
    bool given[kSettingsKeyCount] = {};
    given[kKeyNtpServer] = std::strcmp(wanted.ntpServer, current.ntpServer) != 0;
    given[kKeyPollInterval] = wanted.pollInterval != current.pollInterval;
    given[kKeyMaxDelta] = wanted.maxDelta != current.maxDelta;
    if (given[kKeyNtpServer] || given[kKeyPollInterval] || given[kKeyMaxDelta]) {
        const ChannelReply reply = CallServiceSet(wanted, given);
        if (reply == ChannelReply::Denied)
            MessageBox(kNeedsAdministrator, "Kestrin", MB_OK | MB_ICONINFORMATION);
        else if (reply != ChannelReply::Ok)
            MessageBox(kNotTaken, "Kestrin", MB_OK | MB_ICONEXCLAMATION);
    }
    // The service asks its own server, with its own checks: no time goes
    // from here to the service.
    CallService(ChannelCommand::SendNow, nullptr, kFrontStartAttempts);
    ShowServiceStatus();
    // The values in effect: the service's, changed or not.
    ShowFields(serviceStatus.settings);
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
    given[kKeyDstRule] = given[kKeyStdTzName] = given[kKeyDstTzName] = true;
    const ChannelReply reply = CallServiceSet(wanted, given);
    if (reply == ChannelReply::Denied)
        MessageBox(kNeedsAdministrator, "Kestrin", MB_OK | MB_ICONINFORMATION);
    else if (reply != ChannelReply::Ok)
        MessageBox(kNotTaken, "Kestrin", MB_OK | MB_ICONEXCLAMATION);
    ShowServiceStatus();
    settings = serviceStatus.settings;
}

void SNTPMainDlg::FrontStats()
{
    ShowServiceStatus();
    ShowStats(serviceStatus.counts);
}
