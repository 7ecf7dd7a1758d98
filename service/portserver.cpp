// PortServer: the NTP port's own thread (see portserver.h).
#include "service/portserver.h"

#include "service/clockif.h"
#include "service/ntpclock.h"
#include "service/sockets.h"
#include "service/workthread.h"

namespace {

// How long the thread sleeps in one wait for a datagram: the longest a stop
// waits for it to notice.
const int kWaitSliceMs = 50;

}  // namespace

PortServer::PortServer(SOCKET sock, HWND engine, UINT message, PortCounts* counts,
                       const AnswerState& state)
    : sock_(sock), engine_(engine), message_(message), counts_(counts), current_(state),
      published_(state)
{
    InitializeCriticalSection(&lock_);
}

PortServer::~PortServer() { DeleteCriticalSection(&lock_); }

bool PortServer::Start()
{
    thread_ = StartWorkThread(ThreadMain, this);
    return thread_ != nullptr;
}

bool PortServer::Stop(DWORD timeoutMs)
{
    if (thread_ == nullptr)
        return true;
    stopping_.store(true);
    if (!JoinWorkThread(thread_, timeoutMs))
        return false;
    thread_ = nullptr;
    return true;
}

DWORD WINAPI PortServer::ThreadMain(void* self)
{
    auto* server = static_cast<PortServer*>(self);
    while (!server->stopping_.load()) {
        if (server->ServeOne())
            continue;
        // Asleep until a datagram comes, waking now and then for a stop.
        bool readable = false;
        if (SockWaitReadable(server->sock_, kWaitSliceMs, &readable) != 0)
            Sleep(kWaitSliceMs);  // the socket is failing: no busy loop meanwhile
        else if (readable)
            server->NoteReadable();
    }
    return 0;
}

void PortServer::NoteReadable() { queue_.NoteNotification(ReadElapsedUs()); }

bool PortServer::ServeOne()
{
    NtpPacket datagram{};
    int length = 0;
    uint32_t addr = 0;
    uint16_t port = 0;
    const int64_t readAtUs = ReadElapsedUs();
    const int error = SockReceiveFrom(sock_, datagram.bytes,
                                      static_cast<int>(kDatagramBufferSize), &length, &addr, &port);
    if (error == WSAEWOULDBLOCK) {
        queue_.NoteEmpty(readAtUs);
        return false;
    }
    // Longer than the buffer (WSAEMSGSIZE): gone, but read all the same.
    if (error != 0 && error != WSAEMSGSIZE)
        return error == WSAECONNRESET;  // an earlier answer's port was closed
    counts_->received.fetch_add(1);
    if (error != 0 || length == 0)
        return true;

    // The stamp first, before anything else can delay it.
    if (version_.load() != currentVersion_) {
        EnterCriticalSection(&lock_);
        current_ = published_;
        currentVersion_ = version_.load();
        LeaveCriticalSection(&lock_);
    }
    NtpTime now{};
    const bool clockUsable = ReadNtpClock(current_.converter, &now, nullptr);
    // Its stamp is late by as long as it waited.
    const bool late = !queue_.OnTime(ReadElapsedUs());
    if (ClassifyDatagram(datagram) != DatagramKind::ClientRequest) {
        const PortDatagram copy{datagram, length, addr, now, late};
        HandOver(&copy, nullptr);
        return true;
    }
    // A clock we cannot read gives no time to anyone, and a request that
    // may have waited past the bound gets no answer: it would say it was
    // received later than it was. The client asks again.
    if (clockUsable && !late)
        Answer(&datagram, addr, port, now);
    return true;
}

void PortServer::Answer(NtpPacket* request, uint32_t addr, uint16_t port, const NtpTime& now)
{
    counts_->sent.fetch_add(1);
    BuildAnswer(request, now, current_.serverAddr);
    if (current_.answerOwnState)
        current_.ownState.FillAnswer(request, now, current_.staleAfterSeconds);
    // Back to the port the request came from: clients that send from a port
    // of their own listen there, and one that sends from 123 gets it on 123.
    SockSendTo(sock_, request->bytes, kNtpPacketSize, addr, port);
    if (!current_.logging)
        return;
    ExchangeRecord line{};
    ReadLocalClock(&line.date, &line.time);
    const ReplyTimes times = ReadReplyTimes(*request);
    line.address = addr;
    line.t1 = times.originate;
    line.t2 = times.receive;
    line.t3 = times.transmit;
    line.verdict = Verdict::ClientRequest;
    HandOver(nullptr, &line);
}

void PortServer::HandOver(const PortDatagram* datagram, const ExchangeRecord* line)
{
    EnterCriticalSection(&lock_);
    if (datagram != nullptr && datagrams_.size() < kMaxWaitingDatagrams)
        datagrams_.push_back(*datagram);
    if (line != nullptr && lines_.size() < kMaxWaitingLines)
        lines_.push_back(*line);
    const bool post = !posted_;
    posted_ = true;
    LeaveCriticalSection(&lock_);
    // One message for whatever piles up until the engine takes it.
    if (post)
        PostMessageA(engine_, message_, 0, 0);
}

void PortServer::Publish(const AnswerState& state)
{
    EnterCriticalSection(&lock_);
    published_ = state;
    version_.fetch_add(1);
    LeaveCriticalSection(&lock_);
}

void PortServer::Take(std::vector<PortDatagram>* datagrams, std::vector<ExchangeRecord>* lines)
{
    datagrams->clear();
    lines->clear();
    EnterCriticalSection(&lock_);
    datagrams->swap(datagrams_);
    lines->swap(lines_);
    posted_ = false;
    LeaveCriticalSection(&lock_);
}
