// ServiceWindow: the Windows service's host of the time service engine. A
// message-only window that loads the machine-wide settings, hands them to
// the engine, keeps its status text and answers the channel's requests on
// the engine's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/twindow.h"
#include "channel/asklimit.h"
#include "channel/channel.h"
#include "service/timehost.h"
#include "settings/settings.h"

class TimeService;

// Sent by the channel's thread (pipesrv.h); lParam: a ChannelCall.
inline constexpr UINT WM_CHANNEL_REQUEST = WM_USER + 20;

struct ChannelCall {
    const ChannelRequest* request;  // already allowed
    char* reply;                    // filled with the reply text
    size_t replySize;               // bytes at reply
    size_t replyLength;             // set: the reply's length, 0: none
    uint32_t noChannelSeconds;      // how long the service ran without its pipe
};

class ServiceWindow : public TWindow, public TimeServiceHost {
public:
    // iniPath: the service's own KESTRIN.INI (full path).
    explicit ServiceWindow(const char* iniPath);
    // Deletes the engine (its window goes with it).
    ~ServiceWindow() override;

    // Creates the engine's window, hands it the settings and asks the
    // server at once when one is set.
    void SetupWindow() override;

    // No window, no dialog: the status text is kept for the channel, a
    // failure becomes the status text, and nothing closes after a set.
    TWindow* EngineParent() override { return nullptr; }
    void ShowStatus(const char* text) override;
    void ShowStats(const ServiceCounts&) override {}
    void ShowError(const char* text, const char* caption) override;
    bool CloseAfterSet() override { return true; }

private:
    LRESULT EvChannelRequest(WPARAM, LPARAM lParam);
    // Resume and time-change notices the service manager passes on.
    LRESULT EvPowerBroadcast(WPARAM wParam, LPARAM lParam);
    LRESULT EvTimeChange(WPARAM wParam, LPARAM lParam);
    LRESULT EvClose(WPARAM, LPARAM);
    LRESULT EvDestroy(WPARAM, LPARAM);

    // What changed from before to the settings, to the engine: a zone
    // change alone leaves the poll interval running, as it does in the
    // window.
    void HandOver(const SNTPSettings& before);
    // As the window's Set Time: counts and poll interval start again.
    void Restart();
    // The answers to each request.
    // nextAskSeconds: when a refused ask may go again (NextAsk=); 0 when it went.
    void AnswerStatus(ChannelCall* call, uint32_t nextAskSeconds = 0);
    void AnswerSendNow(ChannelCall* call);
    void AnswerSet(ChannelCall* call);
    // Writes settings and the -b key into the file; false, and the file as
    // it was as far as it can be written, when a write failed.
    bool Save(const SNTPSettings& wanted, const SNTPExtraSettings& wantedExtra);

    std::string iniPath;
    std::string folder;  // of iniPath: where a relative LogFile goes
    SNTPSettings settings{};
    SNTPExtraSettings extraSettings{};
    TimeService* engine = nullptr;
    char statusText[81] = "";
    AskLimiter asks;  // the channel's SENDNOW, for all clients together
    uint64_t failures = 0;  // ShowError's that stop an exchange, since the start

    DECLARE_RESPONSE_TABLE(ServiceWindow);
};
