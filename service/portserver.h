// PortServer: answers clients at the NTP port on a thread of its own, so
// that answers keep pace with the socket whatever the engine's window is
// doing. What is not a client's request (broadcasts, stray replies) and the
// log lines of the clients answered are handed to the engine's window as
// copies; what answers say comes from a state the engine publishes.
//
// Threads: the engine's window thread makes, publishes to, takes from and
// stops the server; the server's own thread only reads the socket, answers
// and hands over. Neither waits on the other except for the short copy
// under the lock, and the engine at Stop.
#pragma once

#include <windows.h>
#include <winsock.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "service/exchlog.h"
#include "service/ntppacket.h"
#include "service/ntptime.h"
#include "service/ownstate.h"
#include "service/queuemarks.h"
#include "service/queuewait.h"
#include "time/timecvt.h"

// What an answer says, as the engine last published it.
struct AnswerState {
    explicit AnswerState(const TimeConverter& clockRule) : converter(clockRule) {}

    TimeConverter converter;        // the engine's rule, for reading the clock
    uint32_t serverAddr = 0;        // network order: the reference id as always
    bool answerOwnState = false;    // ServerStratum=auto
    OwnClockState ownState;         // the last set, for answers under it
    int64_t staleAfterSeconds = 0;  // own state older than this: unsynchronised
    bool logging = false;           // clients answered are logged
};

// A datagram of the NTP port that is no client's request, for the engine.
struct PortDatagram {
    NtpPacket packet;  // as much as was read, zero-filled past it
    int lengthBytes;
    uint32_t addr;  // the sender, network order
    NtpTime t4;     // its destination time
    bool late;      // it may have waited in the queue past the bound
};

// Counted by the server thread, read and cleared by the engine.
struct PortCounts {
    std::atomic<uint64_t> received{0};  // datagrams read at the NTP port
    std::atomic<uint64_t> sent{0};      // clients answered
};

class PortServer {
public:
    // sock: the bound NTP port, non-blocking, not owned (closed after Stop);
    // port: its number, network order. engine gets message posted whenever
    // something waits to be taken.
    PortServer(SOCKET sock, uint16_t port, HWND engine, UINT message, PortCounts* counts,
               const AnswerState& state);
    // Stop first: the thread must have ended.
    ~PortServer();
    PortServer(const PortServer&) = delete;
    PortServer& operator=(const PortServer&) = delete;

    // Starts the thread. False when none could be had.
    bool Start();
    // Asks the thread to end: it does after its read (the socket's closing
    // ends that at once, its timeout soon).
    void RequestStop() { stopping_.store(true); }
    // Asks, and waits up to timeoutMs. True when the thread has ended;
    // false: it still runs, and this object must be left to the end of the
    // process rather than freed under it.
    bool Stop(DWORD timeoutMs);

    // What answers say from now on.
    void Publish(const AnswerState& state);
    // Moves what waits for the engine into the two lists (cleared first).
    void Take(std::vector<PortDatagram>* datagrams, std::vector<ExchangeRecord>* lines);

    enum class ServeResult { Served, NothingWaited, Failed };
    // One read of the socket (blocking on the thread, up to its timeout)
    // and what it asks for: a client answered, a copy handed over. The
    // thread's step; tests call it themselves on an unblocked fake.
    ServeResult ServeOne();
    // A datagram came to an empty queue just now: it has not waited. (A
    // read that found the queue empty notes it itself.)
    void NoteReadable();

    // Reads between two questions whether anything waits, while reads drop
    // what waited past the bound.
    static constexpr int kReadsPerAsk = 8;
    // Copies waiting for the engine at most; more are read, counted and
    // dropped, so a flood of them cannot swamp the engine's window.
    static constexpr size_t kMaxWaitingDatagrams = 64;
    // Log lines waiting at most; the engine writes them between its messages.
    static constexpr size_t kMaxWaitingLines = 1024;

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Answer(NtpPacket* request, uint32_t addr, uint16_t port, const NtpTime& now);
    // Hands a copy or a line over; posts the message when none waited.
    void HandOver(const PortDatagram* datagram, const ExchangeRecord* line);
    // A mark behind what waits now, when the queue has been busy a while.
    void MarkQueue(int64_t nowUs);

    SOCKET sock_;
    uint16_t port_;
    HWND engine_;
    UINT message_;
    PortCounts* counts_;  // not owned, outlives the thread
    QueueWait queue_;     // the thread's own
    QueueMarks marks_;    // sent to the thread's own queue
    AnswerState current_;  // the thread's copy of the published state
    uint32_t currentVersion_ = 0;
    bool dropping_ = false;  // the last read may have waited past the bound
    int readsSinceAsk_ = 0;  // reads since the last question, while dropping
    std::atomic<uint32_t> version_{0};  // of published_, bumped by Publish
    std::atomic<bool> stopping_{false};
    HANDLE thread_ = nullptr;

    CRITICAL_SECTION lock_;  // guards the members below
    AnswerState published_;
    std::vector<PortDatagram> datagrams_;
    std::vector<ExchangeRecord> lines_;
    bool posted_ = false;  // the message is on its way, not yet taken
};
