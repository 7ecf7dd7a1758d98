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

ServiceWindow::ServiceWindow(const char* path) : TWindow(nullptr, "Kestrin service"), iniPath(path)
{
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
    engine->SetLogFile(extraSettings.logFile);
    engine->SetTimeFloor(SourceDateFloor());
    HandOver(true);
    engine->SendNow();
}

void ServiceWindow::HandOver(bool serverChanged)
{
    if (serverChanged && settings.ntpServer[0] != '\0')
        engine->SetServer(settings.ntpServer);
    engine->SetPollInterval(&settings.pollInterval);
    engine->SetMaxDelta(&settings.maxDelta);
    engine->SetDstRule(&settings.dstRule);
    engine->SetAnswerOwnState(settings.serverStratumAuto);
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
    case ChannelCommand::Status: {
        ChannelStatus status;
        std::snprintf(status.statusText, sizeof status.statusText, "%s", statusText);
        status.counts = engine->Counts();
        status.settings = settings;
        call->replyLength = FormatStatusReply(status, call->reply, call->replySize);
        return 0;
    }
    case ChannelCommand::SendNow:
        // The engine's own request to its own server, with all its checks.
        engine->SendNow();
        break;
    case ChannelCommand::Set: {
        const SNTPSettings before = settings;
        ApplyChannelSet(*call->request, &settings);
        HandOver(std::strcmp(before.ntpServer, settings.ntpServer) != 0);
        PrivateProfileStore store(iniPath.c_str());
        SaveSettingsTo(store, settings);
        break;
    }
    }
    call->replyLength = FormatPlainReply(ChannelReply::Ok, call->reply, call->replySize);
    return 0;
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
