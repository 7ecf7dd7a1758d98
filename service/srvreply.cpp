// TimeService: datagrams read in bounded batches, replies checked and
// applied, clients answered, and the exchange log of each.
#include "service/timesrvc.h"

#include <cstdio>
#include <new>

#include "service/adjust.h"
#include "service/clockif.h"
#include "service/sockets.h"
#include "service/timefloor.h"

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
    const int64_t readAtUs = ReadElapsedUs();
    // A notification counts whether or not it finds a datagram; a further
    // read of the same batch counts only for a datagram it takes, as that
    // datagram's own notification would have.
    if (notified) {
        T4 = destination;
        ++receivedCount;
        queue.NoteNotification(readAtUs);
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
    if (error == WSAEWOULDBLOCK)
        queue.NoteEmpty(readAtUs);
    // Its destination time is late by as long as it waited.
    const bool late = !queue.OnTime(readAtUs);
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
    SockSelectEvents(sock, handle_, WM_SOCKET_NOTIFY, on ? kSocketEvents : 0);
}

void TimeService::AnswerClient(NtpPacket* request, uint32_t fromAddr, uint16_t fromPort)
{
    // A clock we cannot read gives no time to anyone: no answer at all.
    NtpTime now{};
    if (!ReadClock(&now, nullptr))
        return;
    // Nor does a request that may have waited past the bound: its answer
    // would say it was received later than it was. The client asks again.
    if (!queue.OnTime(ReadElapsedUs()))
        return;
    ++sentCount;
    BuildAnswer(request, now, serverAddr);
    // Back to the port the request came from: clients that send from a port
    // of their own listen there, and one that sends from 123 gets it on 123.
    SockSendTo(sock, request->bytes, kNtpPacketSize, fromAddr, fromPort);
    LogExchange(fromAddr, ReadReplyTimes(*request), nullptr, Verdict::ClientRequest, nullptr);
}

bool TimeService::CheckReply(const NtpPacket& reply, uint32_t fromAddr, int lengthBytes,
                             bool queueLate)
{
    const ReplyTimes times = ReadReplyTimes(reply);
    // Last, the match to our request: -b trusts broadcasts, as it trusts senders.
    const MatchVerdict match = requests.Check(ClassifyDatagram(reply), times.originate,
                                              switches.acceptAnySource != 0);
    const Verdict verdict = JudgeDelay(
        JudgeReply(::CheckReply(reply, fromAddr, serverAddr, switches.acceptUnsynced != 0,
                                switches.acceptAnySource != 0),
                   BeforeTimeFloor(times.transmit, timeFloorSeconds), lengthBytes, match),
        match, RoundTripDelay(times.originate, times.receive, times.transmit, T4), queueLate);
    // The server answered our request, whatever its answer says.
    if (fromAddr == serverAddr && requests.Answers(times.originate))
        versions.NoteReply();
    if (verdict != Verdict::Accepted) {
        ++rejectedCount;
        LogExchange(fromAddr, times, &T4, verdict, nullptr);
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

// --- the exchange log ---------------------------------------------------------

void TimeService::SetLogFile(const char* path)
{
    // Not the current directory: that depends on how the program was started.
    char folder[MAX_PATH] = "";
    const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        folder[0] = '\0';
    exchangeLog.SetPath(ResolveLogPath(path, folder).c_str());
}

void TimeService::LogExchange(uint32_t addr, const ReplyTimes& times, const NtpTime* t4,
                              Verdict verdict, const AdjustResult* adjusted)
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
