// TimeService: socket start-up, poll tick, requests and the extra request
// after a resume or a step of the clock (the server's address: srvaddr.cpp;
// replies and the log: srvreply.cpp; answers to clients, on the NTP port's
// own thread: portserver.cpp; the exchange's own socket: srvexch.cpp).
#include "service/timesrvc.h"

#include <cstdio>
#include <new>

#include "service/adjust.h"
#include "service/clockif.h"
#include "service/ntpclock.h"
#include "service/randsrc.h"
#include "service/sockets.h"
#include "service/timefloor.h"

namespace {

const uint16_t kNtpPort = 123;  // host order, when the services file has no "ntp"
const UINT kPollPeriodMs = 1000;
// The socket's receive buffer: what waits while the thread is busy
// elsewhere (painting, a dialog, another program's turn on the processor).
// A usual default of some 200 KB holds a few hundred datagrams, tens of
// milliseconds of a busy server's load; a system may grant less than asked.
const int kReceiveBufferBytes = 4 * 1024 * 1024;
// How long a stop waits for the NTP port's thread, which looks for it at
// least every 100 ms; one that overruns is left to the end of the process.
const DWORD kServerStopMs = 2000;

int ClockYear()
{
    ClockDate date{};
    ClockTime time{};
    ReadLocalClock(&date, &time);
    return date.da_year;
}

}  // namespace

DEFINE_RESPONSE_TABLE(TimeService, TWindow)
    EV_MESSAGE(WM_TIMER, EvTimer),
    EV_MESSAGE(WM_SOCKET_NOTIFY, EvSocketNotify),
    EV_MESSAGE(WM_EXCHANGE_NOTIFY, EvExchangeNotify),
    EV_MESSAGE(WM_HOST_RESOLVED, EvHostResolved),
    EV_MESSAGE(WM_NTS_KE, EvNtsKeyExchange),
    EV_MESSAGE(WM_NTS_RESOLVED, EvNtsResolved),
    EV_MESSAGE(WM_PORT_DATAGRAMS, EvPortDatagrams),
    EV_MESSAGE(WM_POWERBROADCAST, EvPowerBroadcast),
    EV_MESSAGE(WM_TIMECHANGE, EvTimeChange),
END_RESPONSE_TABLE;

TimeService::TimeService(TimeServiceHost* serviceHost, const DstRuleRecord* rule,
                         const char* title)
    : TWindow(serviceHost->EngineParent(), title), TimeConverter(rule, ClockYear()),
      host(serviceHost)
{
    Attr.style = WS_CHILD;  // never shown
    if (serviceHost->EngineParent() == nullptr) {
        // A service has no window to belong to; a message-only window still
        // gets the socket notifications, the lookups and the tick.
        Attr.style = 0;
        Attr.parentHandle = HWND_MESSAGE;
    }
    Attr.x = Attr.y = Attr.w = Attr.h = 0;
}

TimeService::~TimeService()
{
    if (timerId != 0 && handle_ != nullptr)
        KillTimer(handle_, timerId);
    if (lookupBuffer != nullptr) {
        // Not every Windows Sockets can promise that a cancelled lookup has
        // stopped writing (some only pretend to cancel), so the buffer is
        // left to the end of the process rather than freed under it.
        SockCancelLookup(lookupHandle);
        static_cast<void>(lookupBuffer.release());
    }
    if (ntsLookupBuffer != nullptr) {
        SockCancelLookup(ntsLookupHandle);
        static_cast<void>(ntsLookupBuffer.release());
    }
    CloseSocket();
}

void TimeService::SetupWindow()
{
    TWindow::SetupWindow();
    StartWinsock();
}

// --- start-up and the socket ----------------------------------------------

void TimeService::StartWinsock()
{
    bound = 0;
    WORD version = 0;
    if (SockStartup(&version) != 0) {
        ErrorBox("Can't find WINSOCK.DLL", kStartupCaption);
        return;
    }
    if (LOBYTE(version) != 1 || HIBYTE(version) != 1) {
        ErrorBox("WINSOCK version < 1.1", kStartupCaption);
        SockCleanup();
        return;
    }
    if (int error = SockOpenUdp(&sock); error != 0) {
        SocketErrorBox("Can't get socket - %d", error);
        return;
    }
    if (int error = SockSetNonBlocking(sock); error != 0) {
        SocketErrorBox("Can't set socket unblocked - %d", error);
        return;
    }
    socketsUp = 1;
    // Refused or cut down, the default buffer still works: nothing to report.
    SockSetReceiveBuffer(sock, kReceiveBufferBytes);
    servicePort = SockServicePort("ntp", htons(kNtpPort));
    // No notifications: the NTP port is read by a thread of its own.
    if (int error = SockSelectEvents(sock, handle_, WM_SOCKET_NOTIFY, 0); error != 0)
        SocketErrorBox("Can't select events on socket - %d", error);
    BindSocket();
}

void TimeService::BindSocket()
{
    if (bound || servicePort == 0 || !socketsUp)
        return;
    int error = SockBind(sock, servicePort);
    if (error == 0) {
        bound = 1;
        StartServing();
        return;
    }
    // Someone else holds the NTP port (another copy, a time server): the
    // requests go from their own ports all the same; clients and broadcasts
    // wait for the try at each poll, and every status says so meanwhile.
    if (!bindFailureShown) {
        bindFailureShown = true;
        SocketErrorBox("Can't bind socket - %d", error);
    }
}

void TimeService::CloseSocket()
{
    CloseExchangeSocket();
    // The port's thread may be blocked in a read: the closing ends it. No
    // socket is made before the thread is waited for, so none takes the
    // closed one's handle under it.
    if (portServer != nullptr)
        portServer->RequestStop();
    if (sock != INVALID_SOCKET) {
        SockClose(sock);
        sock = INVALID_SOCKET;
    }
    StopServing();
    SockCleanup();
}

void TimeService::StartServing()
{
    if (portServer != nullptr)
        return;
    portServer.reset(new (std::nothrow) PortServer(sock, servicePort, handle_, WM_PORT_DATAGRAMS,
                                                   &portCounts, AnswerState(*this)));
    PublishAnswerState();
    // Without its thread the port stays bound and unanswered, as when busy.
    if (portServer != nullptr && !portServer->Start())
        portServer.reset();
}

void TimeService::StopServing()
{
    if (portServer == nullptr)
        return;
    // A thread that does not end in time may still use the server: it is
    // left to the end of the process, as the lookup buffers are.
    if (!portServer->Stop(kServerStopMs))
        static_cast<void>(portServer.release());
    portServer.reset();
}

void TimeService::PublishAnswerState()
{
    if (portServer == nullptr)
        return;
    AnswerState state(*this);
    state.serverAddr = serverAddr;
    state.answerOwnState = answerOwnState;
    state.ownState = ownState;
    // Stale after three of the longest polls without a set.
    state.staleAfterSeconds = 3 * static_cast<int64_t>(kMaxIntervalFactor) * baseInterval;
    state.logging = exchangeLog.Enabled();
    portServer->Publish(state);
}

// --- polling -----------------------------------------------------------------

void TimeService::SetPollInterval(int32_t* seconds)
{
    if (*seconds < kMinPollInterval)
        *seconds = kMinPollInterval;
    if (timerId != 0)
        KillTimer(handle_, timerId);
    baseInterval = currentInterval = *seconds;
    tickCount = 0;
    timerId = SetTimer(handle_, POLL_TIMER_ID, kPollPeriodMs, nullptr);
    if (timerId == 0)
        ErrorBox("Unable to get timer resource", kErrorCaption);
    PublishAnswerState();
}

void TimeService::SetDstRule(const DstRuleRecord* rule)
{
    TimeConverter::SetDstRule(rule, ClockYear());
    PublishAnswerState();
}

void TimeService::SetSwitches(const ServiceSwitches& given)
{
    switches.closeAfterSet |= given.closeAfterSet;
    switches.ignoreLimit |= given.ignoreLimit;
    switches.acceptUnsynced |= given.acceptUnsynced;
    switches.acceptAnySource |= given.acceptAnySource;
}

void TimeService::SetMaxDelta(int32_t* milliseconds)
{
    if (*milliseconds < kMinMaxDelta)
        *milliseconds = kMinMaxDelta;
    maxDelta = *milliseconds;
}

LRESULT TimeService::EvTimer(WPARAM wParam, LPARAM lParam)
{
    DefaultProcessing(WM_TIMER, wParam, lParam);
    // Reaching or passing: an interval that shrank below the count fires at once.
    if (++tickCount >= currentInterval) {
        tickCount = 0;
        BindSocket();
        if (serverAddr == 0)
            RetryLookup();
        else if (!servers.CurrentRefused())
            SendRequest();
    }
    SendResyncIfDue();
    PublishAnswerState();
    return 0;
}

void TimeService::SendNow()
{
    // Set Time asks again servers that refused us.
    servers.ClearRefusals();
    // One request per exchange: the one under way is the one asked for. A
    // start or Set Time gives a host name and asks at once; the lookup may
    // complete, send and even be answered before the ask comes.
    const uint32_t nowMs = GetTickCount();
    if (lookupExchangeOpen) {
        lookupExchangeOpen = false;
        if ((serverAddr == 0 && LookupOutstanding()) ||
            nowMs - lookupRequestTickMs < RequestMatcher::kAwaitMs)
            return;
    }
    if (socketsUp && serverAddr != 0 && !requests.Awaiting(nowMs))
        SendRequest();
}

void TimeService::SendRequest()
{
    // A list of servers moves on after unanswered requests; a host name is
    // looked up first, and the lookup's completion sends the request.
    if (servers.MoveIfDue()) {
        serverAddr = 0;
        if (!UseServer(servers.Current().c_str()))
            return;
    }
    // With NTS a request needs keys and a cookie: a key exchange first,
    // whose end sends it.
    if (NtsHoldsRequest())
        return;
    std::unique_ptr<NtpPacket> request(new (std::nothrow) NtpPacket{});
    if (request == nullptr) {
        ErrorBox("Can't allocate buffer for request", kErrorCaption);
        return;
    }
    ++sentCount;
    // An older request still waiting to be sent is over: this one replaces it,
    // from a new socket (none when it cannot be had: counted and shown all
    // the same, as with no sockets at all).
    pendingRequest.clear();
    const bool haveSocket = socketsUp && OpenExchangeSocket() == 0;
    // Kept: only a reply that carries it back is taken.
    const NtpTime transmit = StampRequest(RandomBits(), RandomBits());
    BuildRequest(request.get(), transmit);
    request->bytes[0] = RequestHeaderFor(versions.NoteRequest());
    const uint8_t* datagram = request->bytes;
    size_t length = kNtpPacketSize;
    uint16_t port = servicePort;
    if (ntsOn) {
        length = ProtectRequest(*request);
        if (length == 0)
            return;
        datagram = ntsDatagram.get();
        port = ntsPort;
    }
    // Read last, just before the send: the reading is T1. An unreadable
    // clock still asks: the answer may be what corrects it.
    NtpTime reading{};
    int64_t epochSeconds = 0;
    ReadClock(&reading, &epochSeconds);
    servers.NoteRequestSent();
    resync.NoteRequestSent(GetTickCount());
    requests.NoteSent(transmit, reading, GetTickCount());
    if (haveSocket && SockSendTo(exchangeSock, datagram, static_cast<int>(length), serverAddr,
                                 port) == WSAEWOULDBLOCK)
        pendingRequest.assign(datagram, datagram + length);

    char text[kStatusTextSize];
    FormatRequestText(text, sizeof text, servers, EpochTimeText(&epochSeconds));
    SetStatus(text);
}

// --- re-sync after a resume or a step of the clock ---------------------------

LRESULT TimeService::EvPowerBroadcast(WPARAM event, LPARAM)
{
    // Woken by the user or by a timer: both mean the clock has stood still.
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND ||
        event == PBT_APMRESUMECRITICAL)
        resync.NoteResume(GetTickCount());
    return TRUE;
}

LRESULT TimeService::EvTimeChange(WPARAM, LPARAM)
{
    resync.NoteTimeChange(GetTickCount(), ClockReadingMs());
    SendResyncIfDue();
    return 0;
}

void TimeService::SendResyncIfDue()
{
    resync.NoteClockReading(GetTickCount(), ClockReadingMs());
    // Without a server the request waits until there is one.
    if (socketsUp && serverAddr != 0 && !servers.CurrentRefused() && resync.Due(GetTickCount()))
        SendRequest();
}

int64_t TimeService::ClockReadingMs()
{
    NtpTime stamp{};
    int64_t epochSeconds = 0;
    ReadClock(&stamp, &epochSeconds);
    return epochSeconds * 1000 + static_cast<int64_t>((uint64_t{stamp.fraction} * 1000u) >> 32);
}

// --- helpers -----------------------------------------------------------------

bool TimeService::ReadClock(NtpTime* stamp, int64_t* epochSeconds)
{
    return ReadNtpClock(*this, stamp, epochSeconds);
}

void TimeService::ShowStats()
{
    host->ShowStats(Counts());
}

void TimeService::SetStatus(const char* text)
{
    if (!socketsUp || bound || servicePort == 0) {
        host->ShowStatus(text);
        return;
    }
    char noted[kStatusTextSize];
    std::snprintf(noted, sizeof noted, "%s%s", text, kPortWaitNote);
    host->ShowStatus(noted);
}

void TimeService::ErrorBox(const char* text, const char* caption)
{
    host->ShowError(text, caption);
}

void TimeService::SocketErrorBox(const char* format, int error)
{
    char text[kStatusTextSize];
    std::snprintf(text, sizeof text, format, error);
    ErrorBox(text, kSocketCaption);
}
