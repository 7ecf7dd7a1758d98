// kestrin_svchost: runs one TimeService without the user interface, standing
// in for the main dialog, and logs what a user would see, for scripts.
//
// Usage: kestrin_svchost.exe [options] [SERVER]
//   SERVER           host name or dotted address handed to SetServer (none:
//                    SetServer is not called and no request is sent at start)
//   -p SECONDS       poll interval for SetPollInterval (default 60)
//   -m MILLISECONDS  maximum delta for SetMaxDelta (default 100)
//   -r RULE          DstRule value, eleven numbers (default no daylight
//                    saving, offset 0: "-1,0,0,0,0,-1,0,0,0,0,0")
//   -s -i -u -b      the switches closeAfterSet, ignoreLimit, acceptUnsynced,
//                    acceptAnySource (SetSwitches)
//   -n               no SendNow at start
//   -V VERSION       NTPVersion for SetProtocolVersion: 1 to 4 or auto
//   -E FILE          LogFile: the exchange log for SetLogFile
//   -O               ServerStratum=auto: SetAnswerOwnState(true)
//   -t SECONDS       quit after this many seconds (default 0: run until the
//                    service closes the stand-in dialog)
//   -l FILE          append the log to FILE instead of standard output
//   -f N             fast ticks: N extra poll ticks (WM_TIMER 275 sent to the
//                    service window) every 100 ms, on top of the real ones
//   -a MS:ACTION     at MS milliseconds after start, one of: server=NAME,
//                    poll=SECONDS, maxdelta=MS, sendnow, quit, busy=MS (this
//                    thread, the engine's, sleeps MS), release (the engine is
//                    deleted and its port freed, as at a hand-over to the
//                    service) (repeatable)
//   -w               leave message boxes for a person (default: log them and
//                    press OK)
//
// Log lines, one per event, flushed at once:
//   READY port=P bound=B            start-up done (P: the NTP port, host order)
//   FLOOR <seconds>                 the time floor handed over (since 1970, UTC)
//   STATUS <text>                   the status line was set to <text>
//   BOX <caption>|<text>            a message box was shown
//   STATE sent=.. received=.. broadcast=.. rejected=.. server=A.B.C.D
//         interval=.. base=.. bound=.. lookup=.. pending=..
//                                   the service's state changed (polled every 20 ms)
//   ACTION <action>                 a scripted action ran
//   DONE <action>                   busy= or release has ended
//   EVENT power N | timechange      a resume or time-change broadcast arrived
//   SENT count=.. fastticks=..      with -f: a fast tick made the service
//                                   send; its count and the fast ticks so far
//   CLOSE                           the service closed the stand-in dialog
//   TIMEOUT                         the -t time ran out
// Resume and time-change broadcasts reach the host window, which passes them
// on to the service as the main dialog does. The message "KestrinSendNow"
// (kestrin_broadcast sendnow) runs the action sendnow.
// Exit status 0; 3 when the service ended the program abnormally.
#include <winsock.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/tcontrol.h"
#include "service/timefloor.h"
#include "service/timesrvc.h"
#include "tests/wine/harness/boxwatch.h"
#include "time/dstrule.h"

namespace {

FILE* g_log = stdout;

void Log(const char* kind, const std::string& text)
{
    std::fprintf(g_log, "%s %s\n", kind, text.c_str());
    std::fflush(g_log);
}

void LogBox(const char* caption, const char* text)
{
    Log("BOX", std::string(caption) + "|" + text);
}

struct Action {
    DWORD atMs;
    std::string what;
    bool done;
};

struct Options {
    std::string server;
    int32_t poll = 60;
    int32_t maxDelta = 100;
    std::string rule = "-1,0,0,0,0,-1,0,0,0,0,0";
    ServiceSwitches switches;
    bool sendNow = true;
    std::string version;  // empty: not set
    std::string exchangeLog;
    bool ownState = false;
    bool nts = false;
    std::string ntsRoots;  // -N FILE: NTS on with these extra roots ("-": none)
    int seconds = 0;
    int fastTicks = 0;
    bool interactive = false;
    std::vector<Action> actions;
};

const UINT_PTR kWatchTimer = 1;
const UINT_PTR kFastTimer = 2;

class HostWindow : public TWindow, public TimeServiceHost {
public:
    explicit HostWindow(Options& options)
        : TWindow(nullptr, "Kestrin service host"), options_(options)
    {
        rule_ = DefaultDstRule();
        ParseDstRule(options_.rule.c_str(), &rule_);
        service_ = new TimeService(this, &rule_, "Invisible");
    }

    // The main dialog's part: the status line logs every text it is given.
    TWindow* EngineParent() override { return this; }
    void ShowStatus(const char* text) override { Log("STATUS", text); }
    void ShowStats(const ServiceCounts&) override {}
    void ShowError(const char* text, const char* caption) override
    {
        service_->MessageBox(text, caption, MB_OK | MB_ICONEXCLAMATION);
    }
    bool CloseAfterSet() override
    {
        SendMessageA(handle_, WM_CLOSE, 0, 0);
        return false;
    }

    void SetupWindow() override
    {
        TWindow::SetupWindow();
        char text[64];
        std::snprintf(text, sizeof text, "port=%u bound=%d", ntohs(service_->ServicePort()),
                      service_->Bound() ? 1 : 0);
        Log("READY", text);

        // The hand-over the main dialog makes.
        service_->SetNts(options_.nts, options_.ntsRoots == "-" ? "" : options_.ntsRoots.c_str());
        if (!options_.server.empty())
            service_->SetServer(options_.server.c_str());
        service_->SetPollInterval(&options_.poll);
        service_->SetMaxDelta(&options_.maxDelta);
        service_->SetDstRule(&rule_);
        service_->SetSwitches(options_.switches);
        VersionSetting version = kDefaultVersionSetting;
        ParseVersionSetting(options_.version.c_str(), &version);
        service_->SetProtocolVersion(version);
        service_->SetLogFile(options_.exchangeLog.c_str());
        service_->SetAnswerOwnState(options_.ownState);
        service_->SetTimeFloor(SourceDateFloor());
        Log("FLOOR", std::to_string(SourceDateFloor()));
        if (!options_.server.empty() && options_.sendNow)
            service_->SendNow();

        start_ = GetTickCount();
        SetTimer(handle_, kWatchTimer, 20, nullptr);
        if (options_.fastTicks > 0)
            SetTimer(handle_, kFastTimer, 100, nullptr);
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == sendNowMessage_ && message != 0) {
            RunAction("sendnow");
            return 0;
        }
        return TWindow::WindowProc(message, wParam, lParam);
    }

private:
    LRESULT EvTimer(WPARAM id, LPARAM)
    {
        if (id == kFastTimer) {
            for (int i = 0; i < options_.fastTicks && service_ != nullptr &&
                            service_->GetHandle() != nullptr;
                 ++i) {
                SendMessageA(service_->GetHandle(), WM_TIMER, POLL_TIMER_ID, 0);
                ++fastTicksSent_;
                if (service_->SentCount() != sentSeen_) {
                    sentSeen_ = service_->SentCount();
                    char text[64];
                    std::snprintf(text, sizeof text, "count=%llu fastticks=%d",
                                  static_cast<unsigned long long>(sentSeen_),
                                  fastTicksSent_);
                    Log("SENT", text);
                }
            }
            return 0;
        }
        LogStateChange();
        DWORD elapsed = GetTickCount() - start_;
        for (Action& a : options_.actions) {
            if (!a.done && elapsed >= a.atMs) {
                a.done = true;
                RunAction(a.what);
            }
        }
        if (options_.seconds > 0 && elapsed >= static_cast<DWORD>(options_.seconds) * 1000u &&
            handle_ != nullptr) {
            Log("TIMEOUT", "");
            Destroy();
        }
        return 0;
    }

    void RunAction(const std::string& what)
    {
        Log("ACTION", what);
        if (service_ == nullptr) {
            if (what == "quit")
                Destroy();
        } else if (what.rfind("busy=", 0) == 0) {
            Sleep(static_cast<DWORD>(std::atol(what.c_str() + 5)));
            Log("DONE", what);
        } else if (what == "release") {
            delete service_;
            service_ = nullptr;
            Log("DONE", what);
        } else if (what.rfind("server=", 0) == 0) {
            service_->SetServer(what.c_str() + 7);
        } else if (what.rfind("poll=", 0) == 0) {
            options_.poll = std::atoi(what.c_str() + 5);
            service_->SetPollInterval(&options_.poll);
        } else if (what.rfind("maxdelta=", 0) == 0) {
            options_.maxDelta = std::atoi(what.c_str() + 9);
            service_->SetMaxDelta(&options_.maxDelta);
        } else if (what == "sendnow") {
            service_->SendNow();
        } else if (what == "quit") {
            Destroy();
        }
    }

    void LogStateChange()
    {
        if (service_ == nullptr)
            return;
        in_addr server{};
        server.s_addr = service_->ServerAddr();
        char text[256];
        std::snprintf(text, sizeof text,
                      "sent=%llu received=%llu broadcast=%llu rejected=%llu server=%s interval=%d "
                      "base=%d bound=%d lookup=%d pending=%d",
                      static_cast<unsigned long long>(service_->SentCount()),
                      static_cast<unsigned long long>(service_->ReceivedCount()),
                      static_cast<unsigned long long>(service_->BroadcastCount()),
                      static_cast<unsigned long long>(service_->RejectedCount()), inet_ntoa(server),
                      service_->CurrentInterval(), service_->BaseInterval(),
                      service_->Bound() ? 1 : 0, service_->LookupOutstanding() ? 1 : 0,
                      service_->RequestPending() ? 1 : 0);
        if (lastState_ != text) {
            lastState_ = text;
            Log("STATE", text);
        }
    }

    LRESULT EvClose(WPARAM, LPARAM)
    {
        LogStateChange();
        Log("CLOSE", "");
        Destroy();
        return 0;
    }

    LRESULT EvPowerBroadcast(WPARAM wParam, LPARAM lParam)
    {
        Log("EVENT", "power " + std::to_string(wParam));
        if (service_ == nullptr)
            return TRUE;
        return SendMessageA(service_->GetHandle(), WM_POWERBROADCAST, wParam, lParam);
    }

    LRESULT EvTimeChange(WPARAM wParam, LPARAM lParam)
    {
        Log("EVENT", "timechange");
        if (service_ == nullptr)
            return 0;
        return SendMessageA(service_->GetHandle(), WM_TIMECHANGE, wParam, lParam);
    }

    LRESULT EvDestroy(WPARAM, LPARAM)
    {
        PostQuitMessage(0);
        return 0;
    }

    Options& options_;
    DstRuleRecord rule_;
    TimeService* service_;
    DWORD start_ = 0;
    std::string lastState_;
    int fastTicksSent_ = 0;
    uint64_t sentSeen_ = 0;
    const UINT sendNowMessage_ = RegisterWindowMessageA("KestrinSendNow");

    DECLARE_RESPONSE_TABLE(HostWindow);
};

DEFINE_RESPONSE_TABLE(HostWindow, TWindow)
    EV_MESSAGE(WM_TIMER, EvTimer),
    EV_MESSAGE(WM_CLOSE, EvClose),
    EV_MESSAGE(WM_DESTROY, EvDestroy),
    EV_MESSAGE(WM_POWERBROADCAST, EvPowerBroadcast),
    EV_MESSAGE(WM_TIMECHANGE, EvTimeChange),
END_RESPONSE_TABLE;

bool ParseOptions(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "-s") o->switches.closeAfterSet = 1;
        else if (arg == "-i") o->switches.ignoreLimit = 1;
        else if (arg == "-u") o->switches.acceptUnsynced = 1;
        else if (arg == "-b") o->switches.acceptAnySource = 1;
        else if (arg == "-n") o->sendNow = false;
        else if (arg == "-O") o->ownState = true;
        else if (arg == "-w") o->interactive = true;
        else if (arg == "-p" && hasValue) o->poll = std::atoi(argv[++i]);
        else if (arg == "-m" && hasValue) o->maxDelta = std::atoi(argv[++i]);
        else if (arg == "-r" && hasValue) o->rule = argv[++i];
        else if (arg == "-V" && hasValue) o->version = argv[++i];
        else if (arg == "-E" && hasValue) o->exchangeLog = argv[++i];
        else if (arg == "-N" && hasValue) { o->nts = true; o->ntsRoots = argv[++i]; }
        else if (arg == "-t" && hasValue) o->seconds = std::atoi(argv[++i]);
        else if (arg == "-f" && hasValue) o->fastTicks = std::atoi(argv[++i]);
        else if (arg == "-l" && hasValue) {
            g_log = std::fopen(argv[++i], "a");
            if (g_log == nullptr)
                return false;
        } else if (arg == "-a" && hasValue) {
            std::string spec = argv[++i];
            size_t colon = spec.find(':');
            if (colon == std::string::npos)
                return false;
            o->actions.push_back(
                Action{static_cast<DWORD>(std::atol(spec.c_str())), spec.substr(colon + 1), false});
        } else if (!arg.empty() && arg[0] != '-' && o->server.empty()) o->server = arg;
        else return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "usage: kestrin_svchost [-p s] [-m ms] [-r rule] [-s] [-i] [-u] [-b] "
                             "[-n] [-V version] [-E file] [-N roots] [-O] [-t s] [-l file] [-f n] [-a ms:action]... [-w] [server]\n");
        return 2;
    }
    if (!options.interactive)
        WatchMessageBoxes(LogBox);

    HostWindow* host = new HostWindow(options);
    if (!host->Create()) {
        std::fprintf(stderr, "kestrin_svchost: cannot create the host window (error %lu)\n",
                     GetLastError());
        return 1;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    delete host;
    return 0;
}
