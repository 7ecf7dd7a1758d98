// TimeService: the SNTP engine. A hidden window that owns the UDP socket,
// the one-second poll tick and the host lookup, sends requests, answers
// clients, takes replies and broadcasts, and reports every outcome to its
// host (timehost.h): the main dialog or the Windows service.
#pragma once

#include <winsock.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/twindow.h"
#include "service/exchlog.h"
#include "service/ntppacket.h"
#include "service/ntptime.h"
#include "service/queuewait.h"
#include "service/readbatch.h"
#include "service/reqmatch.h"
#include "service/resync.h"
#include "service/serverlist.h"
#include "service/svcswitch.h"
#include "service/timehost.h"
#include "service/versionpick.h"
#include "time/dstrule.h"
#include "time/timecvt.h"

// Window messages of the service window.
inline constexpr UINT WM_SOCKET_NOTIFY = WM_USER + 1;  // lParam low word: FD_ event
inline constexpr UINT WM_HOST_RESOLVED = WM_USER + 3;  // wParam: task, lParam high word: error
inline constexpr long kSocketEvents = FD_READ | FD_WRITE | FD_OOB;  // told to the window
inline constexpr UINT_PTR POLL_TIMER_ID = 275;         // the one-second tick

// Captions of the service's message boxes.
inline constexpr char kErrorCaption[] = "Kestrin Error";
inline constexpr char kStartupCaption[] = "Kestrin Startup Error";
inline constexpr char kSocketCaption[] = "Kestrin Socket Error";

// Poll interval bounds, seconds, and the lowest maximum delta, milliseconds.
inline constexpr int32_t kMinPollInterval = 60;
inline constexpr int32_t kMinMaxDelta = 100;

class TimeService : public TWindow, public TimeConverter, private DatagramReader {
public:
    // host: not owned, outlives the engine. rule: copied and installed. With
    // a parent window (host->EngineParent()) the engine's window is created
    // hidden by the parent's set-up; without one the host calls Create(),
    // which makes a message-only window. Start-up of the socket runs then.
    TimeService(TimeServiceHost* host, const DstRuleRecord* rule, const char* title);
    // Kills the tick, cancels an outstanding lookup, closes the socket.
    ~TimeService() override;

    // A host name or a dotted IPv4 address. Clears the counters and the
    // status line; a host name starts an asynchronous lookup whose completion
    // sends the first request. The latest name given always wins.
    void SetServer(const char* name);
    // Seconds; raised to 60 in *seconds. Restarts the tick and the count.
    void SetPollInterval(int32_t* seconds);
    // Milliseconds; raised to 100 in *milliseconds.
    void SetMaxDelta(int32_t* milliseconds);
    // Copies the rule and computes its transitions for the clock's year.
    void SetDstRule(const DstRuleRecord* rule);

    // Switches on each switch set in given; nothing switches one off.
    void SetSwitches(const ServiceSwitches& given);

    // A request now, when the socket is bound and a server address is known.
    void SendNow();

    // Hands the four counts as they stand now to the host, which shows them
    // (the window's statistics dialog).
    void ShowStats();
    ServiceCounts Counts() const
    {
        return ServiceCounts{sentCount, receivedCount, rejectedCount, broadcastCount};
    }

    // Settings beyond the server, interval and limit, each off or as before
    // until set.
    // The version requests carry: 1 unless told; "auto" see versionpick.h.
    void SetProtocolVersion(VersionSetting setting) { versions.Assign(setting); }
    // The exchange log's file (exchlog.h); empty: no log. A relative path is
    // taken in the Windows folder, where KESTRIN.INI is.
    void SetLogFile(const char* path);
    // Replies whose transmit time lies before this are rejected whatever the
    // switches say (timefloor.h); seconds since 1970, UTC; 0: no floor.
    void SetTimeFloor(int64_t unixSeconds) { timeFloorSeconds = unixSeconds; }

    // The counters since the last SetServer; 64 bits, so that no rate a
    // socket can carry wraps them.
    uint64_t SentCount() const { return sentCount; }
    uint64_t BroadcastCount() const { return broadcastCount; }
    uint64_t ReceivedCount() const { return receivedCount; }
    uint64_t RejectedCount() const { return rejectedCount; }

    // State for the statistics dialog and for tests.
    uint32_t ServerAddr() const { return serverAddr; }          // network order, 0: none
    uint16_t ServicePort() const { return servicePort; }        // network order
    int32_t CurrentInterval() const { return currentInterval; } // seconds
    int32_t BaseInterval() const { return baseInterval; }       // seconds
    int32_t TickCount() const { return tickCount; }
    int32_t MaxDelta() const { return maxDelta; }               // milliseconds
    bool Bound() const { return bound != 0; }
    bool LookupOutstanding() const { return lookupBuffer != nullptr; }
    bool RequestPending() const { return pendingRequest != nullptr; }

    // Starts Windows Sockets once the window exists.
    void SetupWindow() override;

private:
    LRESULT EvTimer(WPARAM wParam, LPARAM lParam);
    LRESULT EvSocketNotify(WPARAM wParam, LPARAM lParam);
    LRESULT EvHostResolved(WPARAM wParam, LPARAM lParam);
    // Resume from sleep and another program's change of the clock: one
    // extra request each (resync.h). Top-level windows get these; the
    // window that owns the service passes them on.
    LRESULT EvPowerBroadcast(WPARAM event, LPARAM lParam);
    LRESULT EvTimeChange(WPARAM wParam, LPARAM lParam);
    // Each tick and time change: notes the clock against the tick counter
    // and sends the extra request when it is due.
    void SendResyncIfDue();
    // The clock now, milliseconds since 1970, UTC (0 s when unreadable).
    int64_t ClockReadingMs();

    void StartWinsock();
    void BindSocket();
    void CloseSocket();
    // The server's address from name: at once for a dotted address, else
    // through a lookup. Returns true when the address is known now.
    bool UseServer(const char* name);
    // Starts the lookup of name; false (the address is not known now).
    bool StartLookup(const char* name);
    // The current name cannot be used: with a list the next one is used, and
    // the box (text, caption) shows only when every name has failed in a
    // row. Returns UseServer's answer for the name used, else false.
    bool ServerUnusable(const char* text, const char* caption);
    void SendRequest();
    // One read: notified for the first of a notification's batch. Closed:
    // the dialog was closed, and the service may be gone with it.
    ReadOutcome ReadOne(bool notified) override;
    void SetNotifications(bool on) override;
    void AnswerClient(NtpPacket* request, uint32_t fromAddr, uint16_t fromPort);
    // false when it closed the dialog (nothing of the service may be used).
    // queueLate: the reply may have waited in the queue past its bound.
    bool CheckReply(const NtpPacket& reply, uint32_t fromAddr, int lengthBytes, bool queueLate);
    // One exchange log line for the message just handled; adjusted: what
    // an accepted reply did (null for the others).
    void LogExchange(uint32_t addr, const ReplyTimes& times, const NtpTime* t4, Verdict verdict,
                     const AdjustResult* adjusted);
    // The status text of an exchange, noting once that the log failed.
    void SetExchangeStatus(const char* text);

    // Reads the local clock into *stamp (and its epoch seconds into
    // *epochSeconds when given). False when the reading is no time the
    // program can convert both ways (before 1980, past 2099); a reading
    // before 1970 or past 2099 then stamps 1970, which must never reach
    // another client as our time.
    bool ReadClock(NtpTime* stamp, int64_t* epochSeconds);
    void SetStatus(const char* text);
    void ErrorBox(const char* text, const char* caption);
    // text with one %d for the Winsock error code.
    void SocketErrorBox(const char* format, int error);

    ServiceSwitches switches;
    int32_t maxDelta = kMinMaxDelta;  // milliseconds
    TimeServiceHost* host;            // not owned
    UINT_PTR timerId = 0;
    int32_t currentInterval = kMinPollInterval;  // seconds
    int32_t baseInterval = kMinPollInterval;     // seconds
    int32_t tickCount = 0;
    uint64_t sentCount = 0;       // requests and answers to clients
    uint64_t broadcastCount = 0;  // mode 5 messages received
    uint64_t receivedCount = 0;   // read notifications, and datagrams read in their batches
    uint64_t rejectedCount = 0;   // messages that failed the acceptance tests
    NtpTime T1{}, T2{}, T3{}, T4{};  // of the last message taken as a reply
    RequestMatcher requests;         // the request in flight, which a reply must answer
    QueueWait queue;                 // how long what the socket holds may have waited
    SOCKET sock = INVALID_SOCKET;
    uint16_t servicePort = 0;  // network order; local and remote port alike
    uint32_t serverAddr = 0;   // network order; 0: no server
    HANDLE lookupHandle = nullptr;
    std::unique_ptr<char[]> lookupBuffer;  // non-null exactly while a lookup is outstanding
    std::unique_ptr<NtpPacket> pendingRequest;  // a send that would block
    int32_t bound = 0;
    std::string serverName;  // the latest name SetServer was given
    std::string lookupName;  // the name the outstanding lookup is for
    ServerList servers;      // the names SetServer was given; serverName is the current one
    VersionPicker versions;
    Resync resync;
    ExchangeLog exchangeLog;
    int64_t timeFloorSeconds = 0;  // since 1970, UTC; 0: no floor

    DECLARE_RESPONSE_TABLE(TimeService);
};
