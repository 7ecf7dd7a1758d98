// TimeService: datagrams read in bounded batches, replies checked and
// applied, what the NTP port's thread hands over, and the exchange log.
#include "service/timesrvc.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "service/adjust.h"
#include "service/clockif.h"
#include "service/sockets.h"
#include "service/timefloor.h"

LRESULT TimeService::EvSocketNotify(WPARAM, LPARAM lParam)
{
    HandleSocketEvent(false, WSAGETSELECTEVENT(lParam));
    return 0;
}

LRESULT TimeService::EvExchangeNotify(WPARAM wParam, LPARAM lParam)
{
    // Events of a socket closed since (a request replaced) are stale.
    if (static_cast<SOCKET>(wParam) == exchangeSock && exchangeSock != INVALID_SOCKET)
        HandleSocketEvent(true, WSAGETSELECTEVENT(lParam));
    return 0;
}

LRESULT TimeService::EvPortDatagrams(WPARAM, LPARAM)
{
    if (portServer == nullptr)
        return 0;
    std::vector<PortDatagram> datagrams;
    std::vector<ExchangeRecord> lines;
    portServer->Take(&datagrams, &lines);
    char text[kExchangeLineSize];
    for (const ExchangeRecord& line : lines) {
        FormatExchangeLine(line, text, sizeof text);
        exchangeLog.Write(text);
    }
    // Read at the NTP port: no reply there answers our request.
    readingExchange = false;
    for (const PortDatagram& d : datagrams) {
        T4 = d.t4;
        if (ClassifyDatagram(d.packet) == DatagramKind::Broadcast)
            ++broadcastCount;
        // The dialog may have closed: nothing of this object may follow.
        if (!CheckReply(d.packet, d.addr, d.lengthBytes, d.late))
            return 0;
    }
    return 0;
}

void TimeService::HandleSocketEvent(bool exchange, int event)
{
    switch (event) {
    case FD_READ:
        // The NTP port's are its thread's to read.
        if (!exchange)
            break;
        // Nothing of this object may be touched after the batch: it may be gone.
        readingExchange = exchange;
        ReadBatch(*this);
        break;
    case FD_WRITE:
        // The request that would have blocked goes again, whole.
        if (!pendingRequest.empty() &&
            SockSendTo(exchangeSock, pendingRequest.data(), static_cast<int>(pendingRequest.size()),
                       serverAddr, ntsOn ? ntsPort : servicePort) != WSAEWOULDBLOCK)
            pendingRequest.clear();
        break;
    default:
        break;
    }
}

ReadOutcome TimeService::ReadOne(bool notified)
{
    // The destination time comes first, before anything else can delay it.
    NtpTime destination{};
    ReadClock(&destination, nullptr);
    const int64_t readAtUs = ReadElapsedUs();
    QueueWait& waits = exchangeQueue;
    // A notification counts whether or not it finds a datagram; a further
    // read of the same batch counts only for a datagram it takes, as that
    // datagram's own notification would have.
    if (notified) {
        T4 = destination;
        ++receivedCount;
        waits.NoteNotification(readAtUs);
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
    const SOCKET from = exchangeSock;
    // NTS replies are read whole into their own buffer (NtsAuthentic); the
    // header is copied to datagram.
    const bool whole = ntsOn && ntsDatagram != nullptr;
    int error = SockReceiveFrom(from, whole ? ntsDatagram.get() : datagram->bytes,
                                whole ? kNtsDatagramBytes : static_cast<int>(kDatagramBufferSize),
                                &length, &fromAddr, &fromPort);
    if (whole && error == 0)
        std::memcpy(datagram->bytes, ntsDatagram.get(),
                    length < static_cast<int>(kDatagramBufferSize) ? length : kDatagramBufferSize);
    bool taken = error == 0 || error == WSAEMSGSIZE;
    if (error == WSAEWOULDBLOCK)
        waits.NoteEmpty(readAtUs);
    // Its destination time is late by as long as it waited.
    const bool late = !waits.OnTime(readAtUs);
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
        // Clients are answered on the NTP port only; the exchange's port is
        // no server.
        return ReadOutcome::Taken;
    case DatagramKind::Broadcast:
        ++broadcastCount;
        return CheckReply(*datagram, fromAddr, length, late) ? ReadOutcome::Taken
                                                             : ReadOutcome::Closed;
    case DatagramKind::Reply:
        return CheckReply(*datagram, fromAddr, length, late) ? ReadOutcome::Taken
                                                             : ReadOutcome::Closed;
    }
    return ReadOutcome::Taken;
}

void TimeService::SetNotifications(bool on)
{
    SockSelectEvents(exchangeSock, handle_, WM_EXCHANGE_NOTIFY, on ? kSocketEvents : 0);
}

bool TimeService::CheckReply(const NtpPacket& reply, uint32_t fromAddr, int lengthBytes,
                             bool queueLate)
{
    ReplyTimes times = ReadReplyTimes(reply);
    // With NTS only an authentic reply goes on to the checks below.
    if (ntsOn && !NtsAuthentic(fromAddr, times, lengthBytes))
        return true;
    const bool acceptUnsynced = switches.acceptUnsynced != 0 || relaxedOnce.acceptUnsynced != 0;
    const bool ignoreLimit = switches.ignoreLimit != 0 || relaxedOnce.ignoreLimit != 0;
    // Last, the match to our request: -b trusts broadcasts, as it trusts
    // senders. A reply at the NTP port answers nothing: our requests go
    // from the exchange's port, and their replies come back there.
    const DatagramKind kind = ClassifyDatagram(reply);
    const MatchVerdict match =
        kind == DatagramKind::Reply && !readingExchange
            ? MatchVerdict::Unmatched
            : requests.Check(kind, times.originate, switches.acceptAnySource != 0);
    // A kiss code is obeyed only from the server asked, in answer to the
    // request in flight; any other stratum-0 message meets the usual tests.
    const KissCode kiss = ReadKissCode(reply, lengthBytes);
    if (kiss.kind != KissKind::None && match == MatchVerdict::Matched && fromAddr == serverAddr) {
        TakeKiss(kiss, fromAddr, times);
        return true;
    }
    // The round trip from when the request went: its stamp is random.
    const NtpTime sentAt = match == MatchVerdict::Matched ? requests.SentAt() : times.originate;
    const Verdict verdict = JudgeDelay(
        JudgeReply(::CheckReply(reply, fromAddr, serverAddr, acceptUnsynced,
                                switches.acceptAnySource != 0),
                   BeforeTimeFloor(times.transmit, timeFloorSeconds), lengthBytes, match),
        match, RoundTripDelay(sentAt, times.receive, times.transmit, T4), queueLate);
    // The server answered our request, whatever its answer says.
    if (readingExchange && fromAddr == serverAddr && requests.Answers(times.originate))
        versions.NoteReply();
    if (verdict != Verdict::Accepted) {
        ++rejectedCount;
        LogExchange(fromAddr, times, &T4, verdict, nullptr);
        SetExchangeStatus("NTP Reply rejected");
        return true;
    }
    if (match == MatchVerdict::Matched) {
        requests.NoteTaken();
        // The originate time is the request's random stamp; T1 is the clock
        // reading kept when it was sent (a broadcast's stays its own).
        times.originate = requests.SentAt();
    }
    ++acceptedCount;
    relaxedOnce = ServiceSwitches{};
    servers.NoteAccepted();
    // A time change reported from now on is this reply's own set.
    resync.NoteClockSet(GetTickCount());
    T1 = times.originate;
    T2 = times.receive;
    T3 = times.transmit;
    AdjustResult result = AdjustClock(
        *this, AdjustInput{T1, T2, T3, T4, ignoreLimit, maxDelta, baseInterval,
                           currentInterval});
    currentInterval = result.currentInterval;
    if (result.action == AdjustAction::Set) {
        NtpTime setTime{};
        ReadClock(&setTime, nullptr);
        ownState.NoteSet(reply, fromAddr, T1, T2, T3, T4, setTime);
        PublishAnswerState();
        // The clock is now authenticated time: certificates are checked against it.
        if (ntsOn)
            nts.NoteAuthenticatedSet();
    }
    LogExchange(fromAddr, times, &T4, verdict, &result);
    SetExchangeStatus(result.statusText);

    if (switches.closeAfterSet) {
        // The host may destroy this object: nothing may follow, unless the
        // host says the engine is still there (a close that waits for a
        // modal window).
        return host->CloseAfterSet();
    }
    return true;
}

void TimeService::TakeKiss(const KissCode& kiss, uint32_t fromAddr, const ReplyTimes& times)
{
    ++rejectedCount;
    LogExchange(fromAddr, times, &T4, Verdict::Kiss, nullptr, kiss.text);
    char text[kStatusTextSize];
    FormatKissStatus(kiss, text, sizeof text);
    SetExchangeStatus(text);
    // An unknown code says nothing: the request counts as unanswered.
    if (kiss.kind == KissKind::Other)
        return;
    requests.NoteTaken();
    versions.NoteReply();
    if (kiss.kind == KissKind::Rate) {
        // Not halved again before a good reply; the next request waits the
        // whole of it.
        currentInterval = RateLimitedInterval(currentInterval, baseInterval);
        tickCount = 0;
        return;
    }
    // A list goes on with its next server; a server alone (or the last that
    // had not refused) is asked no more until Set Time or another server.
    if (servers.NoteRefused()) {
        serverAddr = 0;
        UseServer(servers.Current().c_str());
        PublishAnswerState();
    }
}

// --- the exchange log ---------------------------------------------------------

void TimeService::SetLogFile(const char* path, const char* folder)
{
    exchangeLog.SetPath(ResolveLogPath(path, FolderOrWindows(folder).c_str()).c_str());
    PublishAnswerState();
}

std::string TimeService::FolderOrWindows(const char* folder)
{
    // Not the current directory: that depends on how the program was started.
    if (folder != nullptr)
        return folder;
    char windows[MAX_PATH] = "";
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    return length == 0 || length >= sizeof windows ? "" : windows;
}

void TimeService::LogExchange(uint32_t addr, const ReplyTimes& times, const NtpTime* t4,
                              Verdict verdict, const AdjustResult* adjusted, const char* kissCode)
{
    if (!exchangeLog.Enabled())
        return;
    ExchangeRecord record{};
    ReadLocalClock(&record.date, &record.time);
    record.address = addr;
    record.t1 = times.originate;
    record.t2 = times.receive;
    record.t3 = times.transmit;
    record.hasT4 = t4 != nullptr;
    if (t4 != nullptr)
        record.t4 = *t4;
    record.verdict = verdict;
    if (kissCode != nullptr && verdict == Verdict::Nts)
        std::snprintf(record.ntsReason, sizeof record.ntsReason, "%s", kissCode);
    else if (kissCode != nullptr)
        std::snprintf(record.kissCode, sizeof record.kissCode, "%s", kissCode);
    if (adjusted != nullptr) {
        record.action = adjusted->action;
        record.error = adjusted->error;
    }
    char line[kExchangeLineSize];
    FormatExchangeLine(record, line, sizeof line);
    exchangeLog.Write(line);
}

void TimeService::SetExchangeStatus(const char* text)
{
    if (!exchangeLog.TakeFailureNote()) {
        SetStatus(text);
        return;
    }
    char noted[kStatusTextSize];
    std::snprintf(noted, sizeof noted, "%s%s", text, kLogFailureNote);
    SetStatus(noted);
}
