// TimeService: the SNTP engine. A hidden window that owns the UDP sockets
// (the NTP port's, where clients are answered and broadcasts heard, read by
// a thread of its own (portserver.h), and each exchange's own, from a
// random port), the one-second poll tick and the host
// lookup, sends requests, answers clients, takes replies and broadcasts, and
// reports every outcome to its host (timehost.h): the main dialog or the
// Windows service.
#pragma once

#include <winsock.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/twindow.h"
#include "nts/ntslink_win32.h"
#include "service/exchlog.h"
#include "service/kisscode.h"
#include "service/ntppacket.h"
#include "service/ntptime.h"
#include "service/ownstate.h"
#include "service/portserver.h"
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
inline constexpr UINT WM_EXCHANGE_NOTIFY = WM_USER + 2;  // the same, of the exchange's socket
inline constexpr UINT WM_HOST_RESOLVED = WM_USER + 3;  // wParam: task, lParam high word: error
inline constexpr UINT WM_NTS_KE = WM_USER + 4;         // lParam: the NTS key exchange that ended
inline constexpr UINT WM_NTS_RESOLVED = WM_USER + 5;   // as WM_HOST_RESOLVED, for the NTS NTP server
inline constexpr UINT WM_PORT_DATAGRAMS = WM_USER + 6; // the NTP port's thread handed something over
inline constexpr long kSocketEvents = FD_READ | FD_WRITE | FD_OOB;  // told to the window
inline constexpr UINT_PTR POLL_TIMER_ID = 275;         // the one-second tick

// NTS requests and replies: a cookie and seven placeholders one way, eight
// cookies back, about 1 KB each with the cookies servers give.
inline constexpr int kNtsDatagramBytes = 2048;

// The first IPv4 address of the host entry that a completed lookup left in
// buffer, in network order; 0 when the entry lists none.
uint32_t FirstHostAddress(const char* buffer);

// Captions of the service's message boxes.
inline constexpr char kErrorCaption[] = "Kestrin Error";
inline constexpr char kStartupCaption[] = "Kestrin Startup Error";
inline constexpr char kSocketCaption[] = "Kestrin Socket Error";

// Poll interval bounds, seconds, and the lowest maximum delta, milliseconds.
inline constexpr int32_t kMinPollInterval = 60;
inline constexpr int32_t kMinMaxDelta = 100;

// Added to every status text while another program holds the NTP port: no
// client is answered and no broadcast heard until each poll's new try
// takes it.
inline constexpr char kPortWaitNote[] = " - port 123 busy";

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
    // -b as a setting (the Windows service's), which may be switched off.
    void SetAcceptAnySource(bool on) { switches.acceptAnySource = on ? 1 : 0; }
    // -i and -u (of given) for the next exchange only: they hold until a
    // reply has been accepted.
    void RelaxNextExchange(const ServiceSwitches& given) { relaxedOnce = given; }

    // A request now, when Windows Sockets runs and a server address is
    // known, unless an exchange is under way, which the ask then joins: the
    // first ask after SetServer with a host name joins the exchange of the
    // lookup's completion (while the lookup runs, or for
    // RequestMatcher::kAwaitMs after its request, answered or not); any ask
    // joins a request younger than that still awaiting its reply. A second
    // request would only make the reply to the first unmatched, or ask a
    // server that answers once a second time.
    void SendNow();

    // Hands the four counts as they stand now to the host, which shows them
    // (the window's statistics dialog).
    void ShowStats();
    ServiceCounts Counts() const
    {
        return ServiceCounts{SentCount(), ReceivedCount(), rejectedCount, broadcastCount};
    }

    // Settings beyond the server, interval and limit, each off or as before
    // until set.
    // The version requests carry: 1 unless told; "auto" see versionpick.h.
    void SetProtocolVersion(VersionSetting setting) { versions.Assign(setting); }
    // The exchange log's file (exchlog.h); empty: no log. A relative path is
    // taken in folder, where the host's KESTRIN.INI is; null: the Windows
    // folder, the window's.
    void SetLogFile(const char* path, const char* folder = nullptr);
    // Replies whose transmit time lies before this are rejected whatever the
    // switches say (timefloor.h); seconds since 1970, UTC; 0: no floor.
    void SetTimeFloor(int64_t unixSeconds) { timeFloorSeconds = unixSeconds; }
    // ServerStratum=auto: answers to clients tell this clock's own state
    // (ownstate.h); off, they say stratum 15 as always.
    void SetAnswerOwnState(bool on)
    {
        answerOwnState = on;
        PublishAnswerState();
    }
    // NTS=1: every server is an NTS server (srvnts.cpp); no plain reply is
    // taken then. rootsFile: extra trusted roots (PEM), empty for none; a
    // relative path is taken in folder (null: the Windows folder), as
    // SetLogFile's. A change drops the keys: the next request exchanges anew.
    void SetNts(bool on, const char* rootsFile, const char* folder = nullptr);
    // The folder a relative name of those two lies in: the one given, by
    // default the Windows folder (where the window's KESTRIN.INI lies).
    static std::string FolderOrWindows(const char* folder);
    bool NtsEnabled() const { return ntsOn; }

    // The counters since the last SetServer; 64 bits, so that no rate a
    // socket can carry wraps them.
    uint64_t SentCount() const { return sentCount + portCounts.sent.load(); }
    uint64_t BroadcastCount() const { return broadcastCount; }
    uint64_t ReceivedCount() const { return receivedCount + portCounts.received.load(); }
    uint64_t RejectedCount() const { return rejectedCount; }
    // Replies accepted since the engine was made, never cleared.
    uint64_t AcceptedCount() const { return acceptedCount; }

    // State for the statistics dialog and for tests.
    uint32_t ServerAddr() const { return serverAddr; }          // network order, 0: none
    uint16_t ServicePort() const { return servicePort; }        // network order
    uint16_t ExchangePort() const { return exchangePort; }      // network order, 0: none
    int32_t CurrentInterval() const { return currentInterval; } // seconds
    int32_t BaseInterval() const { return baseInterval; }       // seconds
    int32_t TickCount() const { return tickCount; }
    int32_t MaxDelta() const { return maxDelta; }               // milliseconds
    bool Bound() const { return bound != 0; }  // the NTP port is ours
    bool LookupOutstanding() const { return lookupBuffer != nullptr; }
    bool RequestPending() const { return !pendingRequest.empty(); }
    // A request is out that no reply has answered yet.
    bool ExchangeInFlight() const { return requests.InFlight(); }

    // Starts Windows Sockets once the window exists.
    void SetupWindow() override;

private:
    LRESULT EvTimer(WPARAM wParam, LPARAM lParam);
    LRESULT EvSocketNotify(WPARAM wParam, LPARAM lParam);
    LRESULT EvExchangeNotify(WPARAM wParam, LPARAM lParam);
    // What the NTP port's thread handed over: log lines written, broadcasts
    // and stray replies checked as if read here.
    LRESULT EvPortDatagrams(WPARAM wParam, LPARAM lParam);
    // A read or write event of the NTP port's socket or the exchange's.
    void HandleSocketEvent(bool exchange, int event);
    LRESULT EvHostResolved(WPARAM wParam, LPARAM lParam);
    // The end of an NTS key exchange: its first request goes at once, or
    // its failure is the status and the log's.
    LRESULT EvNtsKeyExchange(WPARAM wParam, LPARAM lParam);
    // The address of the NTP server a key exchange named by a host name of
    // its own: the request goes now, or the failure is shown.
    LRESULT EvNtsResolved(WPARAM wParam, LPARAM lParam);
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
    // Binds the NTP port's socket, once; a failure is shown the first time
    // and tried again at each poll.
    void BindSocket();
    void CloseSocket();
    // The NTP port's thread, once the port is bound; stopped before the
    // socket closes.
    void StartServing();
    void StopServing();
    // What answers say, to the NTP port's thread: after each change of the
    // server, the rule or the last set, and at every tick.
    void PublishAnswerState();
    // A socket of the exchange's own on a random port, replacing the last
    // one (and with it any reply still on its way to that). Returns 0, else
    // the Winsock code; exchangeSock is then INVALID_SOCKET.
    int OpenExchangeSocket();
    void CloseExchangeSocket();
    // At a poll with no address: a host name whose lookup failed is looked
    // up again, so a service started before the network sets once it works.
    void RetryLookup();
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
    // With NTS: true when no request may go yet (a key exchange, started
    // here when none runs, or the NTP server's lookup comes first).
    bool NtsHoldsRequest();
    // With NTS: a key exchange with the current server, unless one runs.
    void StartNtsKeyExchange();
    // The request in packet (48 bytes) completed with NTS in ntsDatagram;
    // its length, 0 when it cannot be (the reason then shown and logged).
    size_t ProtectRequest(const NtpPacket& packet);
    // With NTS, before any other check of a message: true when it is the
    // authentic reply to our request (in ntsDatagram when read from the
    // exchange's socket); otherwise it is counted, logged and shown refused.
    bool NtsAuthentic(uint32_t fromAddr, const ReplyTimes& times, int lengthBytes);
    // An NTS failure: counted as a rejection, logged, its reason the status.
    void NtsRefused(const char* reason, uint32_t addr, const ReplyTimes& times, const NtpTime* t4);
    // One read of the socket the batch is for (readingExchange): notified
    // for the first of a notification's batch. Closed: the dialog was
    // closed, and the service may be gone with it.
    ReadOutcome ReadOne(bool notified) override;
    void SetNotifications(bool on) override;
    // false when it closed the dialog (nothing of the service may be used).
    // Only a reply read from the exchange's socket can answer our request.
    // queueLate: the reply may have waited in the queue past its bound.
    bool CheckReply(const NtpPacket& reply, uint32_t fromAddr, int lengthBytes, bool queueLate);
    // A kiss code in answer to the request in flight, from the server asked.
    void TakeKiss(const KissCode& kiss, uint32_t fromAddr, const ReplyTimes& times);
    // One exchange log line for the message just handled; adjusted: what
    // an accepted reply did (null for the others).
    void LogExchange(uint32_t addr, const ReplyTimes& times, const NtpTime* t4, Verdict verdict,
                     const AdjustResult* adjusted, const char* kissCode = nullptr);
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
    ServiceSwitches relaxedOnce;  // i and u until the next accepted reply
    uint64_t acceptedCount = 0;
    int32_t maxDelta = kMinMaxDelta;  // milliseconds
    TimeServiceHost* host;            // not owned
    UINT_PTR timerId = 0;
    int32_t currentInterval = kMinPollInterval;  // seconds
    int32_t baseInterval = kMinPollInterval;     // seconds
    int32_t tickCount = 0;
    uint64_t sentCount = 0;       // requests and answers to clients
    uint64_t broadcastCount = 0;  // mode 5 messages received
    uint64_t receivedCount = 0;   // read notifications, and datagrams read in their batches
    PortCounts portCounts;        // the NTP port's, counted by its thread
    uint64_t rejectedCount = 0;   // messages that failed the acceptance tests
    NtpTime T1{}, T2{}, T3{}, T4{};  // of the last message taken as a reply
    RequestMatcher requests;         // the request in flight, which a reply must answer
    // How long what each socket holds may have waited.
    QueueWait exchangeQueue;  // the exchange socket's (the NTP port's is its thread's)
    SOCKET sock = INVALID_SOCKET;  // at the NTP port: clients and broadcasts
    uint16_t servicePort = 0;  // network order; local and remote port alike
    SOCKET exchangeSock = INVALID_SOCKET;  // the request in flight's, replies only
    uint16_t exchangePort = 0;             // network order, its port
    bool readingExchange = false;          // the batch being read is exchangeSock's
    int32_t socketsUp = 0;                 // Windows Sockets started and usable
    bool bindFailureShown = false;         // the NTP port's box came once
    bool lookupFailed = false;             // the current name's last lookup failed
    bool lookupExchangeOpen = false;       // the next ask joins the lookup's exchange
    uint32_t lookupRequestTickMs = 0;      // when the lookup's completion sent
    uint32_t serverAddr = 0;   // network order; 0: no server
    HANDLE lookupHandle = nullptr;
    std::unique_ptr<char[]> lookupBuffer;  // non-null exactly while a lookup is outstanding
    std::vector<uint8_t> pendingRequest;  // a send that would block, whole
    int32_t bound = 0;
    std::string serverName;  // the latest name SetServer was given
    std::string lookupName;  // the name the outstanding lookup is for
    ServerList servers;      // the names SetServer was given; serverName is the current one
    VersionPicker versions;
    Resync resync;
    ExchangeLog exchangeLog;
    int64_t timeFloorSeconds = 0;  // since 1970, UTC; 0: no floor
    bool answerOwnState = false;   // ServerStratum=auto
    OwnClockState ownState;        // the last set, for answers under it
    bool ntsOn = false;            // NTS=1
    NtsLink nts;                   // the DLL, the keys and cookies of the current server
    uint16_t ntsPort = 0;          // network order: where NTP goes, as the key exchange said
    // The lookup of the NTP server a key exchange named; left to the end of
    // the process when cancelled, as lookupBuffer.
    std::unique_ptr<char[]> ntsLookupBuffer;
    HANDLE ntsLookupHandle = nullptr;
    bool ntsLookupWanted = false;  // its answer is the current server's
    // NTS requests and replies: longer than any plain message (cookies).
    std::unique_ptr<uint8_t[]> ntsDatagram;
    // Answers clients while the NTP port is bound (null otherwise).
    std::unique_ptr<PortServer> portServer;

    DECLARE_RESPONSE_TABLE(TimeService);
};
