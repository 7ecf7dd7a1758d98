// TimeService: socket start-up, poll tick, requests, replies and answers
// to clients (the server's address: srvaddr.cpp; the hooks of the
// additions: srvhooks.cpp).
#include "service/timesrvc.h"

#include <cstdio>
#include <new>

#include "service/abnormal.h"
#include "service/adjust.h"
#include "service/clockif.h"
#include "service/randsrc.h"
#include "service/sockets.h"
#include "service/timefloor.h"

namespace {

const uint16_t kNtpPort = 123;  // host order, when the services file has no "ntp"
const UINT kPollPeriodMs = 1000;
const long kSocketEvents = FD_READ | FD_WRITE | FD_OOB;
// The socket's receive buffer: what waits while the thread is busy
// elsewhere (painting, a dialog, another program's turn on the processor).
// A usual default of some 200 KB holds a few hundred datagrams, tens of
// milliseconds of a busy server's load; a system may grant less than asked.
const int kReceiveBufferBytes = 4 * 1024 * 1024;

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
    EV_MESSAGE(WM_HOST_RESOLVED, EvHostResolved),
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
    // Refused or cut down, the default buffer still works: nothing to report.
    SockSetReceiveBuffer(sock, kReceiveBufferBytes);
    servicePort = SockServicePort("ntp", htons(kNtpPort));
    BindSocket();
    if (int error = SockSelectEvents(sock, handle_, WM_SOCKET_NOTIFY, kSocketEvents);
        error != 0)
        SocketErrorBox("Can't select events on socket - %d", error);
}

void TimeService::BindSocket()
{
    if (bound || servicePort == 0)
        return;
    int error = SockBind(sock, servicePort);
    if (error == 0) {
        bound = 1;
        return;
    }
    SocketErrorBox("Can't bind socket - %d", error);
    // Someone else holds the NTP port: go on as a client only, on a port the
    // system chooses. Replies come back to it; broadcasts and other clients'
    // requests, which go to the NTP port, do not reach us.
    if (SockBind(sock, 0) == 0) {
        bound = 1;
        return;
    }
    EndAbnormally();
}

void TimeService::CloseSocket()
{
    if (sock != INVALID_SOCKET) {
        SockClose(sock);
        sock = INVALID_SOCKET;
    }
    SockCleanup();
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
}

void TimeService::SetDstRule(const DstRuleRecord* rule)
{
    TimeConverter::SetDstRule(rule, ClockYear());
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
        if (serverAddr != 0)
            SendRequest();
    }
    SendResyncIfDue();
    return 0;
}

void TimeService::SendNow()
{
    if (bound && serverAddr != 0)
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
    std::unique_ptr<NtpPacket> request(new (std::nothrow) NtpPacket{});
    if (request == nullptr) {
        ErrorBox("Can't allocate buffer for request", kErrorCaption);
        return;
    }
    ++sentCount;
    // An unreadable clock still asks: the answer may be what corrects it.
    NtpTime reading{};
    int64_t epochSeconds = 0;
    ReadClock(&reading, &epochSeconds);
    // Kept: only a reply that carries it back is taken, and it is T1.
    const NtpTime transmit = StampRequest(reading, RandomBits());
    BuildRequest(request.get(), transmit);
    request->bytes[0] = RequestHeaderFor(versions.NoteRequest());
    servers.NoteRequestSent();
    resync.NoteRequestSent(GetTickCount());
    requests.NoteSent(transmit);
    // An older request still waiting to be sent is over: this one replaces it.
    pendingRequest.reset();
    int error = SockSendTo(sock, request->bytes, kNtpPacketSize, serverAddr, servicePort);
    if (error == WSAEWOULDBLOCK)
        pendingRequest = std::move(request);

    char text[kStatusTextSize];
    FormatRequestText(text, sizeof text, servers, EpochTimeText(&epochSeconds));
    SetStatus(text);
}

// --- receiving -------------------------------------------------------------

LRESULT TimeService::EvSocketNotify(WPARAM, LPARAM lParam)
{
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_READ:
        ReadBatch(*this);
        break;
    case FD_WRITE:
        // The request that would have blocked goes again, its 48 bytes.
        if (pendingRequest != nullptr &&
            SockSendTo(sock, pendingRequest->bytes, kNtpPacketSize, serverAddr, servicePort) !=
                WSAEWOULDBLOCK)
            pendingRequest.reset();
        break;
    default:
        break;
    }
    return 0;
}

ReadOutcome TimeService::ReadOne(bool notified)
{
    // The destination time comes first, before anything else can delay it.
    NtpTime destination{};
    ReadClock(&destination, nullptr);
    // A notification counts whether or not it finds a datagram; a further
    // read of the same batch counts only for a datagram it takes, as that
    // datagram's own notification would have.
    if (notified) {
        T4 = destination;
        ++receivedCount;
    }
    std::unique_ptr<NtpPacket> datagram(new (std::nothrow) NtpPacket{});
    if (datagram == nullptr) {
        if (notified)
            ErrorBox("Can't allocate buffer for reply", kErrorCaption);
        return ReadOutcome::NothingTaken;
    }
    int length = 0;
    uint32_t fromAddr = 0;
    uint16_t fromPort = 0;
    // Longer than the buffer: WSAEMSGSIZE, the datagram is gone.
    int error = SockReceiveFrom(sock, datagram->bytes, kDatagramBufferSize, &length, &fromAddr,
                                &fromPort);
    bool taken = error == 0 || error == WSAEMSGSIZE;
    if (!notified) {
        if (!taken)
            return ReadOutcome::NothingTaken;
        T4 = destination;
        ++receivedCount;
    }
    if (error != 0 || length == 0)
        return taken ? ReadOutcome::Taken : ReadOutcome::NothingTaken;

    switch (ClassifyDatagram(*datagram)) {
    case DatagramKind::ClientRequest:
        AnswerClient(datagram.get(), fromAddr, fromPort);
        return ReadOutcome::Taken;
    case DatagramKind::Broadcast:
        ++broadcastCount;
        return CheckReply(*datagram, fromAddr, length) ? ReadOutcome::Taken : ReadOutcome::Closed;
    case DatagramKind::Reply:
        return CheckReply(*datagram, fromAddr, length) ? ReadOutcome::Taken : ReadOutcome::Closed;
    }
    return ReadOutcome::Taken;
}

void TimeService::SetNotifications(bool on)
{
    SockSelectEvents(sock, handle_, WM_SOCKET_NOTIFY, on ? kSocketEvents : 0);
}

void TimeService::AnswerClient(NtpPacket* request, uint32_t fromAddr, uint16_t fromPort)
{
    // A clock we cannot read gives no time to anyone: no answer at all.
    NtpTime now{};
    if (!ReadClock(&now, nullptr))
        return;
    ++sentCount;
    BuildAnswer(request, now, serverAddr);
    // Back to the port the request came from: clients that send from a port
    // of their own listen there, and one that sends from 123 gets it on 123.
    SockSendTo(sock, request->bytes, kNtpPacketSize, fromAddr, fromPort);
    LogExchange(fromAddr, ReadReplyTimes(*request), nullptr, ExchangeVerdict::ClientRequest,
                ExchangeAction::Answered, 0);
}

bool TimeService::CheckReply(const NtpPacket& reply, uint32_t fromAddr, int lengthBytes)
{
    const ReplyTimes times = ReadReplyTimes(reply);
    ExchangeVerdict verdict = ExchangeVerdictOf(
        ::CheckReply(reply, fromAddr, serverAddr, switches.acceptUnsynced != 0,
                     switches.acceptAnySource != 0),
        BeforeTimeFloor(times.transmit, timeFloorSeconds), lengthBytes);
    // Last, the match to our request: -b trusts broadcasts, as it trusts senders.
    const MatchVerdict match = requests.Check(ClassifyDatagram(reply), times.originate,
                                              switches.acceptAnySource != 0);
    if (verdict == ExchangeVerdict::Accepted)
        verdict = ExchangeVerdictOf(match);
    // The server answered our request, whatever its answer says.
    if (fromAddr == serverAddr && requests.Answers(times.originate))
        versions.NoteReply();
    if (verdict != ExchangeVerdict::Accepted) {
        ++rejectedCount;
        LogExchange(fromAddr, times, &T4, verdict, ExchangeAction::None, 0);
        SetExchangeStatus("NTP Reply rejected");
        return true;
    }
    if (match == MatchVerdict::Matched)
        requests.NoteTaken();
    servers.NoteAccepted();
    // A time change reported from now on is this reply's own set.
    resync.NoteClockSet(GetTickCount());
    T1 = times.originate;
    T2 = times.receive;
    T3 = times.transmit;
    AdjustResult result = AdjustClock(
        *this, AdjustInput{T1, T2, T3, T4, switches.ignoreLimit != 0, maxDelta, baseInterval,
                           currentInterval});
    currentInterval = result.currentInterval;
    LogExchange(fromAddr, times, &T4, verdict, ExchangeActionOf(result.action), result.error);
    SetExchangeStatus(result.statusText);

    if (switches.closeAfterSet) {
        // The host may destroy this object: nothing may follow, unless the
        // host says the engine is still there (a close that waits for a
        // modal window).
        return host->CloseAfterSet();
    }
    return true;
}

// --- helpers -----------------------------------------------------------------

bool TimeService::ReadClock(NtpTime* stamp, int64_t* epochSeconds)
{
    ClockDate date{};
    ClockTime time{};
    int pastHundredthMs = 0;
    ReadLocalClock(&date, &time, &pastHundredthMs);
    FollowClockYear(date.da_year);
    // A reading LocalToEpoch refuses stays 0. One from 1970 to 1980 converts
    // one way only; its stamp is still true, and requests need it.
    int64_t seconds = 0;
    ClockDate backDate{};
    ClockTime backTime{};
    const bool usable = LocalToEpoch(&date, &time, &seconds) &&
                        EpochToLocal(seconds, &backDate, &backTime);
    if (epochSeconds != nullptr)
        *epochSeconds = seconds;
    *stamp = NtpFromReading(seconds, time.ti_hundredths, pastHundredthMs);
    return usable;
}

void TimeService::ShowStats()
{
    host->ShowStats(Counts());
}

void TimeService::SetStatus(const char* text)
{
    host->ShowStatus(text);
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
