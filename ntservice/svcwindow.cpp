// ServiceWindow: the engine in the Windows service, its settings and its
// answers to the channel.
#include "ntservice/svcwindow.h"

#include <cstdio>
#include <cstring>

#include "service/timefloor.h"
#include "service/timesrvc.h"
#include "settings/profstore.h"

DEFINE_RESPONSE_TABLE(ServiceWindow, TWindow)
    EV_MESSAGE(WM_CHANNEL_REQUEST, EvChannelRequest),
    EV_MESSAGE(WM_POWERBROADCAST, EvPowerBroadcast),
    EV_MESSAGE(WM_TIMECHANGE, EvTimeChange),
    EV_MESSAGE(WM_CLOSE, EvClose),
    EV_MESSAGE(WM_DESTROY, EvDestroy),
END_RESPONSE_TABLE;

namespace {

// The start of the engine's text when port 123 is taken.
const char kBindFailure[] = "Can't bind socket";

bool BroadcastsOn(const SNTPExtraSettings& extra)
{
    return std::strcmp(extra.acceptBroadcasts, "1") == 0;
}

bool SameKey(SettingsKey key, const SNTPSettings& a, const SNTPSettings& b)
{
    char one[kSettingsWriteSize];
    char two[kSettingsWriteSize];
    FormatSettingsValue(key, a, one, sizeof one);
    FormatSettingsValue(key, b, two, sizeof two);
    return std::strcmp(one, two) == 0;
}

}  // namespace

ServiceWindow::ServiceWindow(const char* path) : TWindow(nullptr, "Kestrin service"), iniPath(path)
{
    const size_t slash = iniPath.find_last_of('\\');
    folder = slash == std::string::npos ? std::string() : iniPath.substr(0, slash);
    Attr.style = 0;
    Attr.parentHandle = HWND_MESSAGE;
    Attr.x = Attr.y = Attr.w = Attr.h = 0;
    ResetSettings(&settings);
    PrivateProfileStore store(iniPath.c_str());
    LoadSettingsFrom(store, &settings);
    LoadExtraSettingsFrom(store, &extraSettings);
}

ServiceWindow::~ServiceWindow()
{
    delete engine;
}

void ServiceWindow::SetupWindow()
{
    TWindow::SetupWindow();
    engine = new TimeService(this, &settings.dstRule, "Kestrin engine");
    if (!engine->Create()) {
        ShowError("Can't create the engine's window", "Kestrin Startup Error");
        return;
    }
    VersionSetting version = kDefaultVersionSetting;
    ParseVersionSetting(extraSettings.ntpVersion, &version);
    engine->SetProtocolVersion(version);
    // Beside KESTRIN.INI, in the service's folder: the Windows folder is
    // no place of Local Service's.
    engine->SetLogFile(extraSettings.logFile, folder.c_str());
    engine->SetTimeFloor(SourceDateFloor());
    engine->SetAcceptAnySource(BroadcastsOn(extraSettings));
    engine->SetNts(NtsOn(extraSettings), extraSettings.ntsRootCerts, folder.c_str());
    if (settings.ntpServer[0] != '\0')
        engine->SetServer(settings.ntpServer);
    engine->SetPollInterval(&settings.pollInterval);
    engine->SetMaxDelta(&settings.maxDelta);
    engine->SetDstRule(&settings.dstRule);
    engine->SetAnswerOwnState(settings.serverStratumAuto);
    engine->SendNow();
}

void ServiceWindow::HandOver(const SNTPSettings& before)
{
    if (!SameKey(kKeyNtpServer, before, settings))
        engine->SetServer(settings.ntpServer);
    if (before.pollInterval != settings.pollInterval)
        engine->SetPollInterval(&settings.pollInterval);
    if (before.maxDelta != settings.maxDelta)
        engine->SetMaxDelta(&settings.maxDelta);
    if (!SameKey(kKeyDstRule, before, settings) || !SameKey(kKeyStdTzName, before, settings) ||
        !SameKey(kKeyDstTzName, before, settings))
        engine->SetDstRule(&settings.dstRule);
    engine->SetAnswerOwnState(settings.serverStratumAuto);
}

void ServiceWindow::Restart()
{
    engine->SetServer(settings.ntpServer);
    engine->SetPollInterval(&settings.pollInterval);
    engine->SetMaxDelta(&settings.maxDelta);
}

bool ServiceWindow::Save(const SNTPSettings& wanted, const SNTPExtraSettings& wantedExtra)
{
    PrivateProfileStore store(iniPath.c_str());
    SaveSettingsTo(store, wanted);
    SaveExtraSettingsTo(store, wantedExtra);
    if (!store.WriteFailed())
        return true;
    // Some keys may have gone in before the failure: the old values go
    // back, so that the file and the engine keep one set of settings.
    PrivateProfileStore undo(iniPath.c_str());
    SaveSettingsTo(undo, settings);
    SaveExtraSettingsTo(undo, extraSettings);
    return false;
}

void ServiceWindow::ShowStatus(const char* text)
{
    std::snprintf(statusText, sizeof statusText, "%s", text);
}

void ServiceWindow::ShowError(const char* text, const char* caption)
{
    // Nobody sees a box in a service: the window shows the failure as the
    // status text, and a debugger hears it.
    char line[sizeof statusText];
    std::snprintf(line, sizeof line, "%s: %s", caption, text);
    ShowStatus(line);
    // A port 123 held by another program stops no exchange: the engine
    // goes on from a port of its own. Every other failure does.
    if (std::strncmp(text, kBindFailure, sizeof kBindFailure - 1) != 0)
        ++failures;
    OutputDebugStringA(line);
}

LRESULT ServiceWindow::EvChannelRequest(WPARAM, LPARAM lParam)
{
    ChannelCall* call = reinterpret_cast<ChannelCall*>(lParam);
    call->replyLength = 0;
    if (engine == nullptr || engine->GetHandle() == nullptr) {
        call->replyLength = FormatPlainReply(ChannelReply::Bad, call->reply, call->replySize);
        return 0;
    }
    switch (call->request->command) {
    case ChannelCommand::Status:
        AnswerStatus(call);
        break;
    case ChannelCommand::SendNow:
        AnswerSendNow(call);
        break;
    case ChannelCommand::Set:
        AnswerSet(call);
        break;
    }
    return 0;
}

void ServiceWindow::AnswerStatus(ChannelCall* call, uint32_t nextAskSeconds)
{
    ChannelStatus status;
    status.noChannelSeconds = call->noChannelSeconds;
    status.nextAskSeconds = nextAskSeconds;
    std::snprintf(status.statusText, sizeof status.statusText, "%s", statusText);
    status.counts = engine->Counts();
    status.settings = settings;
    status.accepted = engine->AcceptedCount();
    status.failed = failures;
    status.acceptBroadcasts = BroadcastsOn(extraSettings);
    status.nts = NtsOn(extraSettings);
    std::snprintf(status.ntsRootCerts, sizeof status.ntsRootCerts, "%s", extraSettings.ntsRootCerts);
    call->replyLength = FormatStatusReply(status, call->reply, call->replySize);
}

void ServiceWindow::AnswerSendNow(ChannelCall* call)
{
    const ChannelAsk& ask = call->request->ask;
    if (ask.restart)
        Restart();
    // No client may flood the server, or throw away the reply to a request
    // in flight by asking again: an ask inside the spacing sends nothing and
    // says when the next may go.
    const AskDecision decision = asks.Ask(GetTickCount(), engine->ExchangeInFlight());
    if (!decision.send) {
        AnswerStatus(call, (decision.waitMs + 999) / 1000);
        return;
    }
    ServiceSwitches once;
    once.ignoreLimit = ask.ignoreLimit ? 1 : 0;
    once.acceptUnsynced = ask.acceptUnsynced ? 1 : 0;
    if (ask.ignoreLimit || ask.acceptUnsynced)
        engine->RelaxNextExchange(once);
    // The engine's own request to its own server, with all its checks.
    engine->SendNow();
    // The status as it stands at the ask: a later accepted reply is the
    // answer to it.
    AnswerStatus(call);
}

void ServiceWindow::AnswerSet(ChannelCall* call)
{
    const ChannelRequest& request = *call->request;
    if (!ChannelSetFitsFile(request)) {
        call->replyLength = FormatPlainReply(ChannelReply::Bad, call->reply, call->replySize);
        return;
    }
    SNTPSettings wanted = settings;
    ApplyChannelSet(request, &wanted);
    SNTPExtraSettings wantedExtra = extraSettings;
    if (request.acceptBroadcasts >= 0)
        std::snprintf(wantedExtra.acceptBroadcasts, sizeof wantedExtra.acceptBroadcasts, "%d",
                      request.acceptBroadcasts);
    if (request.nts >= 0)
        std::snprintf(wantedExtra.nts, sizeof wantedExtra.nts, "%d", request.nts);
    if (request.ntsRootCertsGiven)
        std::snprintf(wantedExtra.ntsRootCerts, sizeof wantedExtra.ntsRootCerts, "%s",
                      request.ntsRootCerts);
    // Saved first: a change the file does not keep is not taken either, or
    // the service would run with settings that the next start forgets.
    if (!Save(wanted, wantedExtra)) {
        call->replyLength = FormatPlainReply(ChannelReply::Failed, call->reply, call->replySize);
        return;
    }
    const SNTPSettings before = settings;
    const bool ntsChanged = NtsOn(extraSettings) != NtsOn(wantedExtra) ||
                            std::strcmp(extraSettings.ntsRootCerts, wantedExtra.ntsRootCerts) != 0;
    settings = wanted;
    extraSettings = wantedExtra;
    // Before the server: a new name is taken as NTS says.
    if (ntsChanged)
        engine->SetNts(NtsOn(extraSettings), extraSettings.ntsRootCerts, folder.c_str());
    HandOver(before);
    engine->SetAcceptAnySource(BroadcastsOn(extraSettings));
    call->replyLength = FormatPlainReply(ChannelReply::Ok, call->reply, call->replySize);
}

LRESULT ServiceWindow::EvPowerBroadcast(WPARAM wParam, LPARAM lParam)
{
    if (engine == nullptr || engine->GetHandle() == nullptr)
        return TRUE;
    return SendMessageA(engine->GetHandle(), WM_POWERBROADCAST, wParam, lParam);
}

LRESULT ServiceWindow::EvTimeChange(WPARAM wParam, LPARAM lParam)
{
    if (engine == nullptr || engine->GetHandle() == nullptr)
        return 0;
    return SendMessageA(engine->GetHandle(), WM_TIMECHANGE, wParam, lParam);
}

LRESULT ServiceWindow::EvClose(WPARAM, LPARAM)
{
    if (engine != nullptr)
        engine->Destroy();
    Destroy();
    return 0;
}

LRESULT ServiceWindow::EvDestroy(WPARAM, LPARAM)
{
    PostQuitMessage(0);
    return 0;
}
