// The main dialog: server, poll interval and maximum delta fields, the status line, the time service and the settings file.
#pragma once

#include <cstdint>

#include "framework/tdialog.h"
#include "channel/channel.h"
#include "service/timehost.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/switches.h"

class TButton;
class TEdit;
class TStatic;
class TimeService;

// The one-shot start-delay timer on the dialog's own window.
inline constexpr UINT_PTR START_TIMER_ID = 275;
// The one-shot timer that sends the first request once start-up is done.
inline constexpr UINT_PTR FIRST_REQUEST_TIMER_ID = 276;
// As the Windows service's front: the service's status asked every second.
inline constexpr UINT_PTR FRONT_TIMER_ID = 277;
inline constexpr UINT kFrontPollMs = 1000;
inline constexpr int kFrontStartAttempts = 60;  // 50 ms apart: longer than the pipe lets a client wait
// A status read finding the pipe busy (another client's turn, the reply to
// an ask just taken) tries again this often, 50 ms apart, before "no answer".
inline constexpr int kFrontStatusAttempts = 10;
// A service silent this long has stopped (a restart takes less): the window
// runs on its own again.
inline constexpr DWORD kServiceGoneMs = 15000;
// Running on its own, the window looks for a service this often, so that
// one started later gets port 123 and the window becomes its front.
inline constexpr UINT_PTR PROBE_TIMER_ID = 278;
inline constexpr UINT kProbeMs = 10000;
// -s as the front: how long the window waits for the service's accepted
// reply to its ask, and its exit status when none came.
inline constexpr DWORD kFrontSetWaitMs = 120000;
inline constexpr int kExitNoSet = 1;

// The texts of the three edits, in the order the edits were constructed.
struct SNTPMainDlgTransfer {
    char serverText[255];
    char pollText[255];
    char maxDeltaText[255];
};

// The dialog's transfer record, reused by every opening.
extern SNTPMainDlgTransfer SNTPMainDlgXfer;

class SNTPMainDlg : public TDialog, public TimeServiceHost {
public:
    // cmdLine: the application's copy of the command line (switches b, d, i,
    // s, u). Reads the settings file and constructs the time service; when
    // the Windows service answers on its channel, the dialog is its front
    // instead: no time service of its own, the service's settings in the
    // fields, and the settings file left as it is.
    SNTPMainDlg(const char* cmdLine, TWindow* parent = nullptr, UINT resourceId = IDD_MAIN,
                HINSTANCE module = nullptr);
    // Destroys the window if it still exists, writes the settings file, then
    // deletes the time service.
    ~SNTPMainDlg() override;

    // Fills the edits, blanks the status line, then starts the time service
    // now or arms the start-delay timer.
    void SetupDialog() override;

    // All six keys of "KESTRIN.INI", section "KESTRIN", and the extra keys
    // that the file holds.
    void LoadSettings();
    void SaveSettings();

    // Hands the settings and switches to the time service; asks for the
    // time at once when a server is set and the start is not delayed.
    void StartService();

    // The time service's host: the engine is a hidden child of the dialog,
    // its texts go to the status line, its counts to the statistics dialog
    // and its failures into message boxes; -s closes the dialog.
    TWindow* EngineParent() override { return this; }
    void ShowStatus(const char* text) override;
    void ShowStats(const ServiceCounts& counts) override;
    void ShowError(const char* text, const char* caption) override;
    bool CloseAfterSet() override;

protected:
    void CmSetTime();
    void CmStats();
    void CmSetTz();
    LRESULT EvTimer(WPARAM, LPARAM);
    // Log-off or shutdown: the process may end without the orderly close,
    // so the settings are written now.
    LRESULT EvEndSession(WPARAM, LPARAM);
    // Resume and time-change broadcasts, passed on by the frame: the time
    // service takes them.
    LRESULT EvPowerBroadcast(WPARAM, LPARAM);
    LRESULT EvTimeChange(WPARAM, LPARAM);
    // WM_CLOSE (the time service with -s): while a dialog or box of the
    // program runs over the frame, the close waits until it has ended, so
    // what the user does there is neither cut off nor checked unasked.
    LRESULT EvClose(WPARAM, LPARAM);
    // The frame enabled again: a close that waited goes ahead.
    LRESULT EvEnable(WPARAM, LPARAM);

private:
    // The front of the Windows service (sntpfront.cpp).
    // Status line and fields from the service now; false: no answer.
    bool ShowServiceStatus();
    void ServiceAnswered(const ChannelStatus& status);
    // No answer: said once; after kServiceGoneMs the window runs alone.
    void ServiceSilent();
    // The front's timer, the asks of the switches, -h's end.
    void StartFront();
    void FrontStartAsks();
    // -s: ends the run once the service has accepted a reply after the ask.
    void CheckAskDone();
    // Notes an ask the service held back (at.nextAskSeconds), to go again.
    void HoldAskIfTold(const ChannelStatus& at, const ChannelAsk& ask);
    void FrontSetTime();
    void FrontSetTz();
    void FrontStats();
    // All three fields from shown; FollowFields only those the user has not
    // edited since they were filled.
    void ShowFields(const SNTPSettings& shown);
    void FollowFields(const SNTPSettings& shown);
    // From running alone to the front of a service that answered, and back.
    void BecomeFront(const ChannelStatus& status);
    void GoAlone();
    // Ends the program: 0 as Escape does, else at once with that status.
    void EndRun(int status);
    // A dialog or box of the program runs over the frame.
    bool ModalRunning() const;

    bool front = false;        // the Windows service runs: the dialog is its front
    bool serviceLost = false;  // the service stopped answering (said once)
    DWORD lostSince = 0;       // GetTickCount() of the first unanswered read
    ChannelStatus serviceStatus;  // its last answer
    SNTPMainDlgTransfer filled{};  // the fields' texts as last filled from the service
    bool startHidden = false;      // -h
    bool waitingForSet = false;    // -s: the ask went, its reply is awaited
    uint64_t askAccepted = 0;      // the service's counts at the ask
    uint64_t askFailed = 0;
    DWORD askTick = 0;
    // -s: an ask the service held back (another went within its spacing, or
    // a request is in flight) goes again when the service said it may.
    bool askHeld = false;
    ChannelAsk heldAsk;
    DWORD askRetryTick = 0;
    TimeService* timeService = nullptr;
    DialogSwitches switches;  // from the command line
    SNTPSettings settings;
    SNTPExtraSettings extraSettings{};
    UINT_PTR startTimer = 0;  // 0: no start-delay timer
    UINT_PTR firstRequestTimer = 0;  // 0: the first request is not waiting
    bool closeWaiting = false;  // a close came while a modal window ran

    // Owned by the framework's child list.
    TEdit* serverEdit;
    TEdit* pollEdit;
    TStatic* statusLine;
    TButton* setTimeButton;
    TButton* setTzButton;
    TButton* statsButton;
    TEdit* maxDeltaEdit;

    DECLARE_RESPONSE_TABLE(SNTPMainDlg);
};
