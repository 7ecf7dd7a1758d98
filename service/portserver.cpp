// PortServer: the NTP port's own thread (see portserver.h).
#include "service/portserver.h"

#include "service/clockif.h"
#include "service/ntpclock.h"
#include "service/randsrc.h"
#include "service/sockets.h"
#include "service/workthread.h"

namespace {

// The longest one blocking read waits before the thread looks for a stop
// (where closing the socket does not end the read at once), and its pause
// after a failing read, so that a socket that keeps failing is no busy loop.
const int kReadSliceMs = 100;

}  // namespace

PortServer::PortServer(SOCKET sock, uint16_t port, HWND engine, UINT message,
                       PortCounts* counts, const AnswerState& state)
    : sock_(sock), port_(port), engine_(engine), message_(message), counts_(counts),
      marks_(static_cast<uint64_t>(RandomBits()) << 32 | RandomBits()), current_(state),
      published_(state)
{
    InitializeCriticalSection(&lock_);
    // The counter's first reading sets it up: here, not racing the thread's.
    // The socket was bound just now: what its queue holds came after this,
    // and a request that came before the thread's first read is on time.
    queue_.NoteEmpty(ReadElapsedUs());
}

PortServer::~PortServer() { DeleteCriticalSection(&lock_); }

bool PortServer::Start()
{
    // The thread waits in its reads as a plain loop does: fewest calls into
    // the system per datagram. The timeout is a help only: without it the
    // stop's closing of the socket ends the read.
    if (SockSetBlocking(sock_) != 0)
        return false;
    SockSetReceiveTimeout(sock_, kReadSliceMs);
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
    while (!server->stopping_.load())
        if (server->ServeOne() == ServeResult::Failed && !server->stopping_.load())
            Sleep(kReadSliceMs);
    return 0;
}

void PortServer::NoteReadable() { queue_.NoteNotification(ReadElapsedUs()); }

PortServer::ServeResult PortServer::ServeOne()
{
    NtpPacket datagram{};
    int length = 0;
    uint32_t addr = 0;
    uint16_t port = 0;
    // Whether anything waits is asked before each read: when nothing does,
    // what the read then takes comes after the question. While reads drop
    // what waited too long it is asked every kReadsPerAsk reads only, so a
    // backlog is read at about the cost of its reads and answers resume as
    // soon as a question finds its end.
    const int64_t askedAtUs = ReadElapsedUs();
    bool empty = false;
    if (!dropping_ || ++readsSinceAsk_ >= kReadsPerAsk) {
        readsSinceAsk_ = 0;
        unsigned long waiting = 0;
        empty = SockPendingBytes(sock_, &waiting) == 0 && waiting == 0;
        if (empty)
            queue_.NoteEmpty(askedAtUs);
    }
    const int error = SockReceiveFrom(sock_, datagram.bytes,
                                      static_cast<int>(kDatagramBufferSize), &length, &addr, &port);
    // Nothing came within the read's time (or, unblocked, nothing waited):
    // the queue was empty from its start, and the next read asks again.
    if (error == WSAETIMEDOUT || error == WSAEWOULDBLOCK) {
        queue_.NoteEmpty(askedAtUs);
        dropping_ = false;
        return ServeResult::NothingWaited;
    }
    // An earlier answer's port was closed: nothing is lost.
    if (error == WSAECONNRESET)
        return ServeResult::Served;
    // Longer than the buffer (WSAEMSGSIZE): gone, but read all the same.
    if (error != 0 && error != WSAEMSGSIZE)
        return ServeResult::Failed;
    // A read that found the queue empty wakes as its datagram comes.
    if (empty)
        NoteReadable();
    // One of the thread's own marks (from the loopback and this port): what
    // follows came after it was sent, if its token is one of ours still
    // expected; whoever else sends one (another program may bind the
    // loopback's port 123 beside ours) cannot know the token.
    if (error == 0 && addr == htonl(INADDR_LOOPBACK) && port == port_ &&
        QueueMarks::LooksLikeMark(datagram.bytes, length)) {
        int64_t sentAtUs = 0;
        if (marks_.Take(datagram.bytes, length, &sentAtUs))
            queue_.NoteReadPast(sentAtUs);
        return ServeResult::Served;
    }
    counts_->received.fetch_add(1);
    if (error != 0 || length == 0)
        return ServeResult::Served;

    // Its stamp is late by as long as it waited: a request that may have
    // waited past the bound gets no answer, as that would say it was
    // received later than it was. The client asks again.
    const int64_t readAtUs = ReadElapsedUs();
    MarkQueue(readAtUs);
    const bool late = !queue_.OnTime(readAtUs);
    dropping_ = late;
    const bool request = ClassifyDatagram(datagram) == DatagramKind::ClientRequest;
    if (request && late)
        return ServeResult::Served;

    // What the engine published since, taken once per change: the lock is
    // held for the copy only.
    if (version_.load() != currentVersion_) {
        EnterCriticalSection(&lock_);
        current_ = published_;
        currentVersion_ = version_.load();
        LeaveCriticalSection(&lock_);
    }
    NtpTime now{};
    const bool clockUsable = ReadNtpClock(current_.converter, &now, nullptr);
    if (!request) {
        const PortDatagram copy{datagram, length, addr, now, late};
        HandOver(&copy, nullptr);
        return ServeResult::Served;
    }
    // A clock we cannot read gives no time to anyone.
    if (clockUsable)
        Answer(&datagram, addr, port, now);
    return ServeResult::Served;
}

void PortServer::MarkQueue(int64_t nowUs)
{
    if (!marks_.Due(nowUs, queue_.MaxWaitUs(nowUs)))
        return;
    uint8_t mark[kQueueMarkSize];
    marks_.Sent(nowUs, mark);
    if (SockSendTo(sock_, mark, static_cast<int>(sizeof mark), htonl(INADDR_LOOPBACK), port_) != 0)
        marks_.SendFailed(nowUs);
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
