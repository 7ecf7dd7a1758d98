// TimeService over the scripted socket layer and the virtual clock: start-up
// failures, the poll count, sends that would block, lookups and their order,
// and the exact texts for a chosen local time.
#include "service/timesrvc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/tcontrol.h"
#include "service/ntptime.h"
#include "tests/fakes/fakeclock.h"
#include "tests/fakes/fakerandom.h"
#include "tests/wine/harness/boxwatch.h"
#include "tests/wine/timesrvc/fakesockets.h"
#include "tests/wine/timesrvc/fakethread.h"
#include "time/dstrule.h"

namespace {

std::vector<std::string> g_boxes;

void RecordBox(const char* caption, const char* text)
{
    g_boxes.push_back(std::string(caption) + "|" + text);
}

// 1998-06-01 12:00:00 UTC, the virtual clock's reading after a reset (the
// zone is UTC with no daylight saving).
const int32_t kNow = 896702400;
const uint16_t kNtpPort = htons(123);
const uint32_t kServer = inet_addr("10.0.0.1");

void PutTimestamp(std::vector<uint8_t>& m, size_t at, NtpTime t)
{
    for (int i = 0; i < 4; ++i) {
        m[at + i] = static_cast<uint8_t>(t.seconds >> (24 - 8 * i));
        m[at + 4 + i] = static_cast<uint8_t>(t.fraction >> (24 - 8 * i));
    }
}

// A 48-byte server message; zero times stay zero.
std::vector<uint8_t> Message(int mode, NtpTime t1, NtpTime t2, NtpTime t3)
{
    std::vector<uint8_t> m(48, 0);
    m[0] = static_cast<uint8_t>((3 << 3) | mode);
    m[1] = 2;
    PutTimestamp(m, 24, t1);
    PutTimestamp(m, 32, t2);
    PutTimestamp(m, 40, t3);
    return m;
}

// The transmit time of a sent request.
NtpTime TransmitOf(const FakeDatagram& d)
{
    NtpTime t{};
    for (int i = 0; i < 4; ++i) {
        t.seconds = (t.seconds << 8) | d.bytes[40 + i];
        t.fraction = (t.fraction << 8) | d.bytes[44 + i];
    }
    return t;
}

// A reply with no offset to the last request, sent at the virtual clock's
// reset time; its originate time is the request's stamp.
std::vector<uint8_t> GoodReply()
{
    NtpTime now = NtpFromEpoch(kNow, 0);
    return Message(4, Net().sent.empty() ? now : TransmitOf(Net().sent.back()), now, now);
}

// The main dialog's part: a window with a status line, which closes when
// the engine asks.
class StandInDialog : public TWindow, public TimeServiceHost {
public:
    StandInDialog() : TWindow(nullptr, "stand-in dialog") { status = new TStatic(this, 109, 80); }
    TWindow* EngineParent() override { return this; }
    void ShowStatus(const char* text) override
    {
        if (status->GetHandle() != nullptr)
            SetWindowTextA(status->GetHandle(), text);
    }
    void ShowStats(const ServiceCounts&) override {}
    void ShowError(const char* text, const char* caption) override
    {
        MessageBox(text, caption, MB_OK | MB_ICONEXCLAMATION);
    }
    bool CloseAfterSet() override
    {
        HWND dialog = GetHandle();
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        return IsWindow(dialog) != FALSE;
    }

    TStatic* status;  // owned by the child list
};

class TimeServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetNet();
        FakeClockReset();
        FakeRandomSet(0);
        g_boxes.clear();
        ASSERT_TRUE(WatchMessageBoxes(RecordBox));
        rule_ = DefaultDstRule();
    }

    void TearDown() override { delete parent_; }

    void Start()
    {
        parent_ = new StandInDialog;
        status_ = parent_->status;
        service_ = new TimeService(parent_, &rule_, "Invisible");
        ASSERT_TRUE(parent_->Create());
    }

    // Started, a dotted server and the poll tick, no request yet.
    void StartPolling(int32_t interval = 60)
    {
        Start();
        service_->SetServer("10.0.0.1");
        service_->SetPollInterval(&interval);
        Net().sent.clear();
    }

    std::string Status() const { return status_->GetText(); }

    void Tick(int count)
    {
        for (int i = 0; i < count; ++i)
            SendMessageA(service_->GetHandle(), WM_TIMER, POLL_TIMER_ID, 0);
    }

    // The NTP port's thread wakes to a read and serves a batch of what
    // waits, as many as one notification of the exchange's socket reads;
    // what it hands over is taken as the engine's window takes it.
    void Notify(int event)
    {
        PortServer* server = FakeThreadServer();
        if (event != FD_READ || server == nullptr) {
            SendMessageA(service_->GetHandle(), WM_SOCKET_NOTIFY, 7, WSAMAKESELECTREPLY(event, 0));
            return;
        }
        server->NoteReadable();
        for (int i = 0;
             i < kMaxReadsPerNotify && server->ServeOne() == PortServer::ServeResult::Served; ++i) {
        }
        MSG msg;
        while (PeekMessageA(&msg, service_->GetHandle(), WM_PORT_DATAGRAMS, WM_PORT_DATAGRAMS,
                            PM_REMOVE))
            DispatchMessageA(&msg);
    }

    // A server's reply (mode 4) comes to the last request's socket, as
    // replies do; anything else to the NTP port.
    void Deliver(const std::vector<uint8_t>& bytes, uint32_t addr = kServer,
                 uint16_t port = kNtpPort)
    {
        const bool reply = !bytes.empty() && (bytes[0] & 7) == 4;
        DeliverTo(reply && Net().lastOpened > kFirstSocket ? Net().lastOpened : kFirstSocket,
                  bytes, addr, port);
    }

    void DeliverTo(SOCKET sock, const std::vector<uint8_t>& bytes, uint32_t addr = kServer,
                   uint16_t port = kNtpPort)
    {
        Net().inbox.push_back(FakeDatagram{bytes, addr, port, sock});
        if (sock == kFirstSocket)
            Notify(FD_READ);
        else
            SendMessageA(service_->GetHandle(), WM_EXCHANGE_NOTIFY, sock,
                         WSAMAKESELECTREPLY(FD_READ, 0));
    }

    DstRuleRecord rule_{};
    StandInDialog* parent_ = nullptr;
    TStatic* status_ = nullptr;
    TimeService* service_ = nullptr;
};

// --- start-up ----------------------------------------------------------------

TEST_F(TimeServiceTest, StartUpFailuresShowTheirBoxAndLeaveNoBoundSocket)
{
    struct Case {
        const char* name;
        void (*script)(FakeNet&);
        const char* box;
        bool bound;
    } cases[] = {
        {"no Winsock", [](FakeNet& n) { n.startupError = WSASYSNOTREADY; },
         "Kestrin Startup Error|Can't find WINSOCK.DLL", false},
        {"version 1.0", [](FakeNet& n) { n.version = 0x0001; },
         "Kestrin Startup Error|WINSOCK version < 1.1", false},
        {"version 2.2", [](FakeNet& n) { n.version = 0x0202; },
         "Kestrin Startup Error|WINSOCK version < 1.1", false},
        {"no socket", [](FakeNet& n) { n.openError = WSAEMFILE; },
         "Kestrin Socket Error|Can't get socket - 10024", false},
        {"blocking", [](FakeNet& n) { n.nonBlockError = WSAEINVAL; },
         "Kestrin Socket Error|Can't set socket unblocked - 10022", false},
        {"no events", [](FakeNet& n) { n.selectError = WSAEINVAL; },
         "Kestrin Socket Error|Can't select events on socket - 10022", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.script(Net());
        Start();
        EXPECT_EQ(g_boxes, std::vector<std::string>{c.box});
        EXPECT_EQ(service_->Bound(), c.bound);
        TearDown();
        parent_ = nullptr;
    }
}

TEST_F(TimeServiceTest, StartUpBindsTheNtpPort)
{
    Start();
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(Net().bindPorts, std::vector<uint16_t>{kNtpPort});
    EXPECT_EQ(service_->ServicePort(), kNtpPort);
    EXPECT_TRUE(service_->Bound());
}

// Another program on the NTP port once left the engine a client only for
// the whole run, with one box at start and then silence. Now requests still
// go (from their own ports), every status says the port is busy, and each
// poll tries the port again until it is ours; the box comes once.
TEST_F(TimeServiceTest, BusyNtpPortIsTriedAgainAtEachPoll)
{
    // The NTP port at start, at SetServer, at two polls; the exchanges' own.
    Net().bindErrors = {WSAEADDRINUSE, WSAEADDRINUSE, 0, WSAEADDRINUSE, 0, 0, 0};
    Start();
    EXPECT_EQ(g_boxes, std::vector<std::string>{"Kestrin Socket Error|Can't bind socket - 10048"});
    EXPECT_FALSE(service_->Bound());
    service_->SetServer("10.0.0.1");
    int32_t interval = 60;
    service_->SetPollInterval(&interval);
    service_->SendNow();
    ASSERT_EQ(Net().sent.size(), 1u);
    EXPECT_EQ(Net().sent[0].port, kNtpPort);
    EXPECT_EQ(Status(), std::string("NTP Request sent - Mon Jun 01 12:00:00 1998 UTC") + kPortWaitNote);

    Tick(60);
    EXPECT_FALSE(service_->Bound());
    EXPECT_EQ(Net().sent.size(), 2u);
    Tick(60);
    EXPECT_TRUE(service_->Bound());
    EXPECT_EQ(Status(), "NTP Request sent - Mon Jun 01 12:00:00 1998 UTC");
    std::vector<uint16_t> ntpBinds;
    for (const FakeBind& b : Net().binds)
        if (b.sock == kFirstSocket)
            ntpBinds.push_back(b.port);
    EXPECT_EQ(ntpBinds, std::vector<uint16_t>(4, kNtpPort));  // never another port
    EXPECT_EQ(g_boxes.size(), 1u);
}

// Requests once went from the NTP port, where anyone may aim a forged
// reply and where networks that filter port 123 towards homes drop the
// answer. Each request now goes from a socket of its own on a random
// dynamic port, closed when the next goes; its reply is taken only there.
TEST_F(TimeServiceTest, EachRequestGoesFromANewSocketOnARandomPort)
{
    StartPolling();
    const struct {
        uint32_t bits;
        uint16_t port;  // host order
    } draws[] = {{0, 49152}, {16383, 65535}, {16384 + 5, 49157}};
    std::vector<SOCKET> from;
    for (const auto& d : draws) {
        FakeRandomSet(d.bits);
        Tick(60);  // each poll an exchange of its own
        ASSERT_FALSE(Net().sent.empty());
        const FakeDatagram& request = Net().sent.back();
        EXPECT_NE(request.sock, kFirstSocket);
        EXPECT_EQ(request.port, kNtpPort);  // to the server's NTP port
        EXPECT_EQ(Net().binds.back().sock, request.sock);
        EXPECT_EQ(ntohs(Net().binds.back().port), d.port);
        EXPECT_EQ(service_->ExchangePort(), Net().binds.back().port);
        from.push_back(request.sock);
    }
    EXPECT_EQ(Net().closed, (std::vector<SOCKET>{from[0], from[1]}));

    // The right reply in every other respect, at the NTP port: no answer to
    // anything sent from there. A late notice of a closed socket reads nothing.
    const std::vector<uint8_t> reply = GoodReply();
    DeliverTo(kFirstSocket, reply);
    EXPECT_EQ(service_->RejectedCount(), 1);
    const uint64_t received = service_->ReceivedCount();
    DeliverTo(from[0], reply);
    EXPECT_EQ(service_->ReceivedCount(), received);
    EXPECT_EQ(FakeClockSetCount(), 0);
    DeliverTo(from[2], reply);
    EXPECT_EQ(FakeClockSetCount(), 1);
    EXPECT_EQ(service_->RejectedCount(), 1);

    // A client asking at the exchange's port is not answered; at the NTP
    // port it is, from there.
    Net().sent.clear();
    const std::vector<uint8_t> ask = Message(3, {}, {}, NtpFromEpoch(kNow, 0));
    DeliverTo(from[2], ask, inet_addr("10.0.0.9"), htons(50123));
    EXPECT_TRUE(Net().sent.empty());
    DeliverTo(kFirstSocket, ask, inet_addr("10.0.0.9"), htons(50123));
    ASSERT_EQ(Net().sent.size(), 1u);
    EXPECT_EQ(Net().sent[0].sock, kFirstSocket);

    // Every draw's port in use: the system's choice rather than none.
    Net().bindErrors = std::deque<int>(8, WSAEADDRINUSE);
    service_->SendNow();
    EXPECT_EQ(Net().binds.back().port, 0);
    EXPECT_EQ(Net().sent.back().sock, Net().lastOpened);
}

// A host name at start once gave two requests within a millisecond: the
// lookup's completion sent one and the start's own SendNow, just after, a
// second, so the server's reply to the first was rejected as unmatched.
// Whatever starts an exchange, one request goes and its reply is taken.
// Steps: H a host name, D a dotted address (SetServer), L the lookup
// completes, N SendNow, F the reply to the first request, R to the last.
TEST_F(TimeServiceTest, OneRequestPerExchange)
{
    const struct {
        const char* steps;
        size_t requests;
        int sets;
    } cases[] = {
        {"HLNF", 1, 1},  // the lookup done before the start's SendNow
        {"HLFN", 1, 1},  // even answered before it
        {"HLFNNR", 2, 2},  // a later ask is an exchange of its own
        {"HDNR", 1, 1},    // an address set while the lookup runs: no lookup to join
        {"HNLF", 1, 1},  // SendNow while the lookup runs
        {"DNNF", 1, 1},  // an ask while a request is awaited
        {"DNRNR", 2, 2}, // an ask after the reply was taken
        {"DNDNR", 2, 1}, // Set Time: a new server setting, a new exchange
        {"HLNDNR", 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        SetUp();
        Start();
        for (const char* step = c.steps; *step != '\0'; ++step) {
            switch (*step) {
            case 'H': service_->SetServer("ntp.example"); break;
            case 'D': service_->SetServer("10.0.0.1"); break;
            case 'L': CompleteLookup(kServer); break;
            case 'N': service_->SendNow(); break;
            case 'F':
            case 'R': {
                ASSERT_FALSE(Net().sent.empty());
                const FakeDatagram& request = *step == 'F' ? Net().sent.front() : Net().sent.back();
                const NtpTime now = NtpFromEpoch(kNow, 0);
                Deliver(Message(4, TransmitOf(request), now, now));
                break;
            }
            }
        }
        EXPECT_EQ(Net().sent.size(), c.requests);
        EXPECT_EQ(FakeClockSetCount(), c.sets);
        EXPECT_EQ(service_->RejectedCount(), 0);
        TearDown();
        parent_ = nullptr;
    }
}

TEST_F(TimeServiceTest, WithoutASocketTimedRequestsStillCountAndShow)
{
    Net().openError = WSAEMFILE;
    Start();
    service_->SetServer("10.0.0.1");
    EXPECT_EQ(service_->ServerAddr(), kServer);
    service_->SendNow();  // not bound: nothing
    EXPECT_EQ(service_->SentCount(), 0);

    int32_t interval = 60;
    service_->SetPollInterval(&interval);
    Tick(60);
    EXPECT_EQ(service_->SentCount(), 1);
    EXPECT_EQ(Status(), "NTP Request sent - Mon Jun 01 12:00:00 1998 UTC");
}

// --- the server name ---------------------------------------------------------

TEST_F(TimeServiceTest, OnlyThreeDotsAndDigitsMakeAnAddress)
{
    struct Case {
        const char* name;
        bool address;
    } cases[] = {
        {"10.0.0.1", true}, {"10.0.0", false}, {"10.0.0.1.2", false},
        {"10.0.0.1a", false}, {"ntp.example", false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Start();
        service_->SetServer(c.name);
        EXPECT_EQ(service_->LookupOutstanding(), !c.address);
        EXPECT_EQ(Status(), c.address ? " " : "DNS Lookup in progress...");
        TearDown();
        parent_ = nullptr;
    }
}

// The counts were once signed 32 bits: negative after 2^31 messages, some
// 30 hours at the rate the service answers clients. At 64 bits they never wrap.
using CountOf = decltype(std::declval<const TimeService&>().SentCount());
static_assert(std::is_same_v<CountOf, uint64_t>, "the counts never turn negative or wrap");
static_assert(std::is_same_v<decltype(std::declval<const TimeService&>().ReceivedCount()), CountOf> &&
                  std::is_same_v<decltype(std::declval<const TimeService&>().RejectedCount()), CountOf> &&
                  std::is_same_v<decltype(std::declval<const TimeService&>().BroadcastCount()), CountOf>,
              "all four counts alike");

TEST_F(TimeServiceTest, SetServerClearsTheCountersAndTheAddress)
{
    StartPolling();
    service_->SendNow();
    Deliver(GoodReply());
    Deliver(Message(3, {}, {}, NtpFromEpoch(kNow, 0)), inet_addr("10.0.0.9"), 9);  // a client's
    EXPECT_EQ(service_->SentCount(), 2);
    EXPECT_EQ(service_->ReceivedCount(), 2);
    service_->SetServer("ntp.example");
    EXPECT_EQ(service_->SentCount(), 0);
    EXPECT_EQ(service_->ReceivedCount(), 0);
    EXPECT_EQ(service_->ServerAddr(), 0u);
}

TEST_F(TimeServiceTest, LookupThatCannotStartShowsTheSocketBox)
{
    Net().lookupError = WSAENETDOWN;
    Start();
    service_->SetServer("ntp.example");
    EXPECT_FALSE(service_->LookupOutstanding());
    EXPECT_EQ(g_boxes,
              std::vector<std::string>{"Kestrin Socket Error|Async lookup (DNS) failed - 10050"});
}

// With a list, an entry that cannot be used (a dotted address that does not
// parse, a lookup that cannot start) used to end polling for good, with its
// box in the middle of a poll: it counts as that entry's failure instead, and
// the box comes only when every entry has failed in a row.
TEST_F(TimeServiceTest, ListWithAnUnusableEntryKeepsPolling)
{
    const struct {
        const char* list;
        int lookupError;
    } cases[] = {{"10.0.0.1 300.1.1.1", 0}, {"10.0.0.1 ntp.example", WSAENETDOWN}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        SetUp();
        Net().lookupError = c.lookupError;
        Start();
        service_->SetServer(c.list);
        int32_t interval = 60;
        service_->SetPollInterval(&interval);
        Tick(7 * 60);  // three to A, the fourth passes B by, three more to A
        ASSERT_EQ(Net().sent.size(), 7u);
        for (const auto& sent : Net().sent)
            EXPECT_EQ(sent.addr, kServer);
        EXPECT_EQ(Status(), "NTP Request sent to 10.0.0.1 - Mon Jun 01 12:00:00 1998 UTC");
        EXPECT_TRUE(g_boxes.empty());
        TearDown();
        parent_ = nullptr;
    }

    // The first entry unusable: the next one is used at once.
    SetUp();
    Start();
    service_->SetServer("300.1.1.1 10.0.0.1");
    service_->SendNow();
    ASSERT_EQ(Net().sent.size(), 1u);
    EXPECT_EQ(Net().sent[0].addr, kServer);
    EXPECT_TRUE(g_boxes.empty());
    TearDown();
    parent_ = nullptr;

    // None usable: one box, as for a lone entry, and no request.
    SetUp();
    Net().lookupError = WSAENETDOWN;
    Start();
    service_->SetServer("300.1.1.1 ntp.example");
    int32_t interval = 60;
    service_->SetPollInterval(&interval);
    Tick(2 * 60);
    EXPECT_TRUE(Net().sent.empty());
    EXPECT_EQ(g_boxes,
              std::vector<std::string>{"Kestrin Socket Error|Async lookup (DNS) failed - 10050"});
}

TEST_F(TimeServiceTest, CompletedLookupSetsTheServerAndAsksAtOnce)
{
    Start();
    service_->SetServer("ntp.example");
    SendMessageA(service_->GetHandle(), WM_HOST_RESOLVED, 0x7777, 0);  // not ours
    EXPECT_TRUE(service_->LookupOutstanding());
    CompleteLookup(kServer);
    EXPECT_FALSE(service_->LookupOutstanding());
    EXPECT_EQ(service_->ServerAddr(), kServer);
    ASSERT_EQ(Net().sent.size(), 1u);
    EXPECT_EQ(Net().sent[0].addr, kServer);
}

// A failed lookup once ended polling for good: a service started before the
// network was up never set the clock. The name is looked up again at each
// poll (the box only the first time) until it resolves, and the request
// follows; an emptied server asks nothing, however many polls pass.
TEST_F(TimeServiceTest, FailedLookupIsTriedAgainAtEachPoll)
{
    StartPolling();
    service_->SetServer("ntp.example");
    FailLookup(WSAHOST_NOT_FOUND);
    Tick(60);
    ASSERT_EQ(Net().lookups.size(), 2u);
    FailLookup(WSATRY_AGAIN);
    EXPECT_EQ(Status(), "Lookup of server address failed");
    EXPECT_EQ(g_boxes, std::vector<std::string>{"Kestrin Error|Lookup of server address failed"});
    Tick(59);
    EXPECT_EQ(Net().lookups.size(), 2u);
    Tick(1);
    ASSERT_EQ(Net().lookups.size(), 3u);
    CompleteLookup(kServer);
    ASSERT_EQ(Net().sent.size(), 1u);
    Deliver(GoodReply());
    EXPECT_EQ(FakeClockSetCount(), 1);

    service_->SetServer("");
    Net().sent.clear();
    FailLookup(WSAHOST_NOT_FOUND);
    Tick(3 * 120);
    EXPECT_TRUE(Net().sent.empty());
    EXPECT_EQ(Net().lookups.size(), 4u);
}

TEST_F(TimeServiceTest, LatestNameWinsOverTheOutstandingLookup)
{
    Start();
    service_->SetServer("old.example");
    service_->SetServer("new.example");
    EXPECT_EQ(Net().lookups, std::vector<std::string>{"old.example"});  // one at a time

    char* buffer = Net().lookupBuffer;
    CompleteLookup(inet_addr("10.9.9.9"));  // the stale answer
    EXPECT_EQ(service_->ServerAddr(), 0u);
    EXPECT_TRUE(Net().sent.empty());
    EXPECT_EQ(Net().lookups, (std::vector<std::string>{"old.example", "new.example"}));
    EXPECT_EQ(Net().lookupBuffer, buffer);  // still the one buffer
    EXPECT_EQ(Status(), "DNS Lookup in progress...");

    CompleteLookup(kServer);
    EXPECT_EQ(service_->ServerAddr(), kServer);
    ASSERT_EQ(Net().sent.size(), 1u);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(TimeServiceTest, StaleLookupFailureIsNotReported)
{
    Start();
    service_->SetServer("old.example");
    service_->SetServer("10.0.0.1");
    FailLookup(WSAHOST_NOT_FOUND);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_FALSE(service_->LookupOutstanding());
    EXPECT_EQ(service_->ServerAddr(), kServer);
    EXPECT_EQ(Net().lookups.size(), 1u);
}

TEST_F(TimeServiceTest, DestructorCancelsTheLookupAndKeepsItsBuffer)
{
    Start();
    service_->SetServer("slow.example");
    HANDLE task = Net().lookupTask;
    char* buffer = Net().lookupBuffer;
    delete parent_;
    parent_ = nullptr;
    EXPECT_EQ(Net().cancelled, std::vector<HANDLE>{task});

    // The platform finishing late must write into memory still ours: the
    // heaps stay sound.
    std::memset(buffer, 0xA5, MAXGETHOSTSTRUCT);
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i)
        EXPECT_TRUE(HeapValidate(heaps[i], 0, nullptr)) << "heap " << i;
}

// --- the poll tick -----------------------------------------------------------

// Another program's time change asks only when the clock stepped a second
// or more against the tick counter: two programs that set the clock would
// otherwise answer each other's sets for as long as both run.
// Each case with the system's notice and without it (a service before
// Windows 7 gets none): the next tick's reading sees the step itself.
TEST_F(TimeServiceTest, TimeChangeAsksOnlyWhenTheClockStepped)
{
    const struct {
        const char* what;
        int minute, second, hundredths;
        size_t requests;
    } cases[] = {
        {"no step", 0, 0, 0, 0},
        {"half a second", 0, 0, 50, 0},
        {"30 s ahead", 0, 30, 0, 1},
        {"30 s back", 59, 30, 0, 1},
    };
    for (const auto& c : cases) {
        for (bool notice : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (notice ? ", notice" : ", no notice"));
            SetUp();
            StartPolling();
            Tick(1);  // the clock read against the counter
            FakeClockSet(1998, 6, 1, c.minute == 59 ? 11 : 12, c.minute, c.second, c.hundredths);
            if (notice)
                SendMessageA(service_->GetHandle(), WM_TIMECHANGE, 0, 0);
            else
                Tick(1);
            EXPECT_EQ(Net().sent.size(), c.requests);
            TearDown();
            parent_ = nullptr;
        }
    }
}

TEST_F(TimeServiceTest, SettersRaiseTheCallersValues)
{
    Start();
    int32_t interval = 30;
    int32_t delta = 20;
    service_->SetPollInterval(&interval);
    service_->SetMaxDelta(&delta);
    EXPECT_EQ(interval, 60);
    EXPECT_EQ(delta, 100);
    EXPECT_EQ(service_->BaseInterval(), 60);
    EXPECT_EQ(service_->MaxDelta(), 100);
}

TEST_F(TimeServiceTest, ARequestEveryIntervalOfTicks)
{
    StartPolling();
    Tick(59);
    EXPECT_TRUE(Net().sent.empty());
    Tick(1);
    EXPECT_EQ(Net().sent.size(), 1u);

    // A good reply doubles the interval to 120 ticks.
    Deliver(GoodReply());
    EXPECT_EQ(service_->CurrentInterval(), 120);
    Tick(60);
    service_->SendNow();  // does not restart the count
    EXPECT_EQ(Net().sent.size(), 2u);
    Tick(59);
    EXPECT_EQ(Net().sent.size(), 2u);
    Tick(1);
    EXPECT_EQ(Net().sent.size(), 3u);
}

TEST_F(TimeServiceTest, IntervalShrunkBelowTheCountFiresAtTheNextTick)
{
    StartPolling();
    service_->SendNow();
    Deliver(GoodReply());
    ASSERT_EQ(service_->CurrentInterval(), 120);
    Tick(90);
    EXPECT_EQ(Net().sent.size(), 1u);

    // 0.5 s off, more than the 100 ms allowed: back to 60, already passed.
    service_->SendNow();  // does not restart the count
    NtpTime ahead = NtpFromEpoch(kNow, 50);
    Deliver(Message(4, TransmitOf(Net().sent.back()), ahead, ahead));
    ASSERT_EQ(service_->CurrentInterval(), 60);
    Net().sent.clear();
    Tick(1);
    EXPECT_EQ(Net().sent.size(), 1u);
    EXPECT_EQ(service_->TickCount(), 0);
}

// --- sending and receiving ---------------------------------------------------------

TEST_F(TimeServiceTest, RequestThatWouldBlockGoesAgainOnWrite)
{
    StartPolling();
    Net().sendErrors = {WSAEWOULDBLOCK, WSAEWOULDBLOCK};
    service_->SendNow();
    EXPECT_TRUE(service_->RequestPending());
    Notify(FD_WRITE);  // blocks again: still pending
    EXPECT_TRUE(service_->RequestPending());
    Notify(FD_WRITE);
    EXPECT_FALSE(service_->RequestPending());
    ASSERT_EQ(Net().sent.size(), 1u);
    EXPECT_EQ(Net().sent[0].bytes.size(), 48u);
    EXPECT_EQ(Net().sent[0].bytes[0], 0x0B);
    EXPECT_EQ(service_->SentCount(), 1);
}

// The request sent again keeps its transmit time, so its reply is taken; a
// newer request (the poll's) replaces one still waiting, whose reply would
// match nothing.
TEST_F(TimeServiceTest, RequestSentAgainKeepsItsStamp)
{
    StartPolling();
    FakeRandomSet(0x00012345u);
    Net().sendErrors = {WSAEWOULDBLOCK};
    service_->SendNow();
    Notify(FD_WRITE);
    ASSERT_EQ(Net().sent.size(), 1u);
    const NtpTime stamp = TransmitOf(Net().sent[0]);
    EXPECT_EQ(stamp.seconds, 0x00012345u);  // random bits, nothing of the clock
    EXPECT_EQ(stamp.fraction, 0x00012345u);
    const NtpTime nearby = NtpFromEpoch(kNow, 1);
    Deliver(Message(4, stamp, nearby, nearby));
    EXPECT_EQ(FakeClockSetCount(), 1);

    Net().sendErrors = {WSAEWOULDBLOCK};
    service_->SendNow();
    ASSERT_TRUE(service_->RequestPending());
    Tick(120);  // the poll's request (the reply doubled the interval), sent at once
    EXPECT_FALSE(service_->RequestPending());
    Notify(FD_WRITE);
    EXPECT_EQ(Net().sent.size(), 2u);
}

TEST_F(TimeServiceTest, ReadsThatGiveNoMessageStillCount)
{
    StartPolling();
    Notify(FD_READ);                              // nothing waiting: no datagram
    Deliver(std::vector<uint8_t>(61, 0x24));       // too long: lost
    Deliver({});                                   // empty
    Notify(FD_OOB);                                // not a read
    EXPECT_EQ(service_->ReceivedCount(), 2);
    EXPECT_EQ(service_->RejectedCount(), 0);
    EXPECT_EQ(Status(), " ");
}

TEST_F(TimeServiceTest, AcceptedReplySetsTheClockFromTheFourTimes)
{
    StartPolling();
    // T1 = now - 0.20 (the clock when the request went, kept: the reply
    // carries the request's random stamp), T2 = T3 = now + 2.15, T4 = now:
    // +2.25 s.
    FakeClockSet(1998, 6, 1, 11, 59, 59, 80);
    service_->SendNow();
    FakeClockReset();
    NtpTime t23 = NtpFromEpoch(kNow + 2, 15);
    Deliver(Message(4, TransmitOf(Net().sent[0]), t23, t23));
    EXPECT_EQ(Status(), "Last set: Mon Jun 01 12:00:02 1998 UTC   Delta: +2.25 secs");
    EXPECT_EQ(FakeClockSetCount(), 1);
    EXPECT_EQ(FakeClockLastSetTime().ti_second, 2);
    EXPECT_EQ(FakeClockLastSetTime().ti_hundredths, 25);
}

// A broadcast answers no request, so anyone can send one with the server's
// address: it adjusts only when -b trusts every sender.
TEST_F(TimeServiceTest, BroadcastFromTheServerCountsAndAdjustsOnlyWithAnySource)
{
    StartPolling();
    service_->SendNow();
    NtpTime zero{0, 0};
    Deliver(Message(5, zero, zero, NtpFromEpoch(kNow + 2, 0)));
    EXPECT_EQ(service_->BroadcastCount(), 1);
    EXPECT_EQ(service_->ReceivedCount(), 1);
    EXPECT_EQ(service_->RejectedCount(), 1);
    EXPECT_EQ(Status(), "NTP Reply rejected");
    EXPECT_EQ(FakeClockSetCount(), 0);

    ServiceSwitches anySource;
    anySource.acceptAnySource = 1;
    service_->SetSwitches(anySource);
    Deliver(Message(5, zero, zero, NtpFromEpoch(kNow + 2, 0)));
    EXPECT_EQ(service_->BroadcastCount(), 2);
    EXPECT_EQ(service_->RejectedCount(), 1);
    EXPECT_EQ(Status(), "Last set: Mon Jun 01 12:00:01 1998 UTC   Delta: +1.00 secs");
    // The request is still in flight: its reply is taken too.
    Deliver(GoodReply());
    EXPECT_EQ(service_->RejectedCount(), 1);
    EXPECT_EQ(FakeClockSetCount(), 2);
}

// The forged replies a sender off the path can make: it knows the server's
// address and the time to the millisecond, not the request's random bits.
// Only the reply to the request in flight is taken, and only once.
TEST_F(TimeServiceTest, OnlyTheReplyToTheRequestInFlightIsTaken)
{
    StartPolling();
    FakeRandomSet(0x0029A5C3u);  // 0.635 ms of the 0.98 possible
    service_->SendNow();
    ASSERT_EQ(Net().sent.size(), 1u);
    const NtpTime first = TransmitOf(Net().sent[0]);
    EXPECT_EQ(first.seconds, 0x0029A5C3u);  // nothing of the clock's reading
    EXPECT_EQ(first.fraction, 0x0029A5C3u);

    const NtpTime ahead = NtpFromEpoch(kNow + 1000, 0);
    const NtpTime guessed = NtpFromReading(kNow, 0, 0);  // right to the millisecond
    NtpTime oneBitOff = first;
    oneBitOff.fraction ^= 1;
    for (NtpTime forged : {guessed, oneBitOff, NtpTime{0, 0}})
        Deliver(Message(4, forged, ahead, ahead));
    EXPECT_EQ(service_->RejectedCount(), 3);
    EXPECT_EQ(Status(), "NTP Reply rejected");

    const NtpTime nearby = NtpFromEpoch(kNow, 2);
    Deliver(Message(4, first, nearby, nearby));  // the server's reply
    EXPECT_EQ(FakeClockSetCount(), 1);
    Deliver(Message(4, first, ahead, ahead));  // a copy of it, or a replay
    EXPECT_EQ(service_->RejectedCount(), 4);

    FakeRandomSet(0x00100000u);
    service_->SendNow();
    Deliver(Message(4, first, ahead, ahead));  // answers the earlier request
    EXPECT_EQ(service_->RejectedCount(), 5);
    EXPECT_EQ(FakeClockSetCount(), 1);
    EXPECT_EQ(Status(), "NTP Reply rejected");
    Deliver(Message(4, TransmitOf(Net().sent[1]), nearby, nearby));
    EXPECT_EQ(FakeClockSetCount(), 2);
    EXPECT_EQ(service_->RejectedCount(), 5);
}

TEST_F(TimeServiceTest, CloseAfterSetClosesTheDialogAfterAnyAcceptedReply)
{
    StartPolling();
    ServiceSwitches closing;
    closing.closeAfterSet = 1;
    service_->SetSwitches(closing);
    HWND dialog = parent_->GetHandle();
    service_->SendNow();
    NtpTime distant = NtpFromEpoch(kNow + 7200, 0);
    Net().inbox.push_back(FakeDatagram{Message(4, TransmitOf(Net().sent.back()), distant, distant),
                                       kServer, kNtpPort});
    Deliver(GoodReply());  // waits behind the first, which is too far to set
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(FakeClockSetCount(), 0);
    EXPECT_EQ(Net().inbox.size(), 1u);  // nothing read after the close
}

TEST_F(TimeServiceTest, ANotificationReadsWhatWaitsInBoundedBatches)
{
    StartPolling();
    const uint32_t client = inet_addr("10.0.0.9");
    const int waiting = 500;
    for (int i = 0; i < waiting; ++i)
        Net().inbox.push_back(FakeDatagram{Message(3, {}, {}, NtpFromEpoch(kNow, 0)), client, 9});
    Notify(FD_READ);
    EXPECT_GT(service_->ReceivedCount(), 1);
    EXPECT_LT(service_->ReceivedCount(), waiting);  // the thread gets its turn
    for (int i = 0; i < waiting && !Net().inbox.empty(); ++i)
        Notify(FD_READ);
    // Each request counted once and answered once; no empty read counted.
    EXPECT_EQ(service_->ReceivedCount(), waiting);
    EXPECT_EQ(service_->SentCount(), waiting);
    EXPECT_EQ(Net().sent.size(), static_cast<size_t>(waiting));
}

// Clients are answered on the NTP port's thread, which hands their log
// lines to the engine's: each answered client has its line, in order; one
// not answered (it waited past the bound) has none.
TEST_F(TimeServiceTest, ClientsAnsweredOnThePortThreadAreLogged)
{
    char folder[MAX_PATH] = "";
    ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
    const std::string path = std::string(folder) + "kestrin-portlog.csv";
    DeleteFileA(path.c_str());
    StartPolling();
    service_->SetLogFile(path.c_str());
    const auto request = Message(3, {}, {}, NtpFromEpoch(kNow, 0));
    for (const char* client : {"10.0.0.9", "10.0.0.10"})
        Deliver(request, inet_addr(client), 9);
    FakeElapsedSet(1000000, 20000);  // every read now comes past the bound
    Deliver(request, inet_addr("10.0.0.11"), 9);
    service_->SetLogFile("");  // closes the file

    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        text.assign(buffer, std::fread(buffer, 1, sizeof buffer, f));
        std::fclose(f);
    }
    DeleteFileA(path.c_str());
    const size_t first = text.find(",10.0.0.9,");
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_GT(text.find(",10.0.0.10,"), first) << text;
    EXPECT_EQ(text.find(",10.0.0.11,"), std::string::npos) << text;
    EXPECT_EQ(Net().sent.size(), 2u);
    EXPECT_EQ(service_->SentCount(), 2u);
    EXPECT_EQ(service_->ReceivedCount(), 3u);
}

// What may have waited in a socket's queue past the bound is neither
// answered (the NTP port's) nor set from (the exchange's); once a read finds
// a queue empty, what comes next is. The elapsed counter moves 1 ms with
// each reading.
TEST_F(TimeServiceTest, WhatWaitedPastTheQueueBoundIsNeitherAnsweredNorSetFrom)
{
    StartPolling();
    service_->SendNow();
    // The answer to that request, before any answer to a client is sent.
    const auto reply = GoodReply();
    Net().sent.clear();
    const SOCKET exchange = Net().lastOpened;
    const uint32_t client = inet_addr("10.0.0.9");
    const auto request = Message(3, {}, {}, NtpFromEpoch(kNow, 0));
    const int waiting = 40;
    FakeElapsedSet(1000000, 1000);
    for (int i = 0; i < waiting; ++i)
        Net().inbox.push_back(FakeDatagram{request, client, 9, kFirstSocket});
    // One wake reads the backlog to the end, and what waited too long costs
    // its read and hardly a question whether more waits.
    Net().pendingAsks = 0;
    Notify(FD_READ);
    EXPECT_TRUE(Net().inbox.empty());
    EXPECT_GE(Net().sent.size(), 1u);  // the first came in time
    EXPECT_LT(Net().sent.size(), static_cast<size_t>(waiting / 4));
    EXPECT_LE(Net().pendingAsks, (waiting + Net().looped) / 4);  // the thread's marks are read too

    // The reply behind as many datagrams at the exchange's socket.
    const size_t answered = Net().sent.size();
    for (int i = 0; i < waiting; ++i)
        Net().inbox.push_back(FakeDatagram{request, client, 9, exchange});
    Deliver(reply);
    EXPECT_TRUE(Net().inbox.empty());
    EXPECT_EQ(Net().sent.size(), answered);  // no client is answered there
    EXPECT_EQ(FakeClockSetCount(), 0);
    EXPECT_EQ(service_->RejectedCount(), 1u);  // for its delay, not unmatched
    EXPECT_EQ(Status(), "NTP Reply rejected");

    // Once a read finds each queue empty, the next request and reply are
    // on time.
    Notify(FD_READ);
    SendMessageA(service_->GetHandle(), WM_EXCHANGE_NOTIFY, exchange,
                 WSAMAKESELECTREPLY(FD_READ, 0));
    Net().sent.clear();
    Deliver(request, client, 9);
    EXPECT_EQ(Net().sent.size(), 1u);
    Deliver(reply);
    EXPECT_EQ(FakeClockSetCount(), 1);
}

// The port's queue counts as empty from the bind: a request that came
// before the thread's first read has waited no longer than since then.
TEST_F(TimeServiceTest, ARequestBeforeThePortThreadsFirstReadIsAnswered)
{
    FakeElapsedSet(1000000, 10);
    StartPolling();
    Net().sent.clear();
    PortServer* server = FakeThreadServer();
    ASSERT_NE(server, nullptr);
    Net().inbox.push_back(FakeDatagram{Message(3, {}, {}, NtpFromEpoch(kNow, 0)),
                                       inet_addr("10.0.0.9"), 9, kFirstSocket});
    EXPECT_EQ(server->ServeOne(), PortServer::ServeResult::Served);
    EXPECT_EQ(Net().sent.size(), 1u);
}

// A queue that stays busy but where nothing waits long: the thread's marks
// bound each request's wait from when a mark went out, not from when the
// queue was last empty, so the requests are answered throughout. A mark of
// another's token bounds nothing. Each reading of the counter is 0.25 ms.
TEST_F(TimeServiceTest, ABusyQueueWhoseRequestsWaitLittleIsAnswered)
{
    StartPolling();
    Net().sent.clear();
    PortServer* server = FakeThreadServer();
    ASSERT_NE(server, nullptr);
    const auto request = Message(3, {}, {}, NtpFromEpoch(kNow, 0));
    const FakeDatagram fromClient{request, inet_addr("10.0.0.9"), 9, kFirstSocket};
    FakeElapsedSet(1000000, 250);
    server->NoteReadable();
    // Two wait at every read, one more comes with each: never empty.
    const int requests = 400;
    int came = 0;
    for (int reads = 0; came < requests && reads < 2 * requests; ++reads) {
        while (Net().inbox.size() < 2 && came < requests) {
            Net().inbox.push_back(fromClient);
            ++came;
        }
        server->ServeOne();
    }
    EXPECT_GE(Net().sent.size(), static_cast<size_t>(requests * 9 / 10));
    EXPECT_GT(Net().looped, 0);
    EXPECT_LE(Net().looped, requests / 3);  // a mark costs about an answer

    // A backlog past the bound, then a mark-shaped datagram from this very
    // port whose token is not ours: what follows it is still not answered.
    while (server->ServeOne() == PortServer::ServeResult::Served) {
    }
    Net().sent.clear();
    FakeElapsedSet(5000000, 6000);
    server->NoteReadable();
    Net().inbox.push_back(fromClient);
    Net().inbox.push_back(fromClient);
    std::vector<uint8_t> forged{0xFF, 'q', 'm', 'k', 1, 2, 3, 4, 5, 6, 7, 8};
    Net().inbox.push_back(FakeDatagram{forged, htonl(INADDR_LOOPBACK), kNtpPort, kFirstSocket});
    Net().inbox.push_back(fromClient);
    for (int i = 0; i < 4; ++i)
        server->ServeOne();
    EXPECT_TRUE(Net().sent.empty());
    for (const FakeDatagram& d : Net().inbox)  // the thread's own marks, behind them
        EXPECT_EQ(d.addr, htonl(INADDR_LOOPBACK));
}

// --- the clock's years ---------------------------------------------------------

// Epoch seconds past 2038-01-19 03:14:07 UTC: the clock is read, asked
// about and set right to the calendar's end, NTP seconds in their second
// era; a clock wrongly in 2040 is put back to 2026 when the limit is lifted.
TEST_F(TimeServiceTest, ReadsAndSetsTheClockPast2038)
{
    struct Case {
        int year, month, day, hour, minute, second;  // the clock
        int64_t clockEpoch;
        int64_t serverEpoch;
        bool ignoreLimit;
        const char* sentText;
        const char* statusText;
        int setYear;
    } cases[] = {
        {2038, 1, 19, 3, 14, 8, 2147483648, 2147483650, false,
         "NTP Request sent - Tue Jan 19 03:14:08 2038 UTC",
         "Last set: Tue Jan 19 03:14:10 2038 UTC   Delta: +2.00 secs", 2038},
        {2040, 6, 1, 12, 0, 0, 2222164800, 2222164802, false,
         "NTP Request sent - Fri Jun 01 12:00:00 2040 UTC",
         "Last set: Fri Jun 01 12:00:02 2040 UTC   Delta: +2.00 secs", 2040},
        {2099, 12, 31, 23, 59, 0, 4102444740, 4102444742, false,
         "NTP Request sent - Thu Dec 31 23:59:00 2099 UTC",
         "Last set: Thu Dec 31 23:59:02 2099 UTC   Delta: +2.00 secs", 2099},
        {2040, 6, 1, 12, 0, 0, 2222164800, 1780315200, false,
         "NTP Request sent - Fri Jun 01 12:00:00 2040 UTC",
         "Clock NOT Set:   Delta = -441849600 seconds (Check TZ)", 0},
        {2040, 6, 1, 12, 0, 0, 2222164800, 1780315200, true,
         "NTP Request sent - Fri Jun 01 12:00:00 2040 UTC",
         "Last set: Mon Jun 01 12:00:00 2026 UTC   Delta: -441849600.00 secs", 2026},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statusText);
        SetUp();
        FakeClockSet(c.year, c.month, c.day, c.hour, c.minute, c.second);
        StartPolling();
        ServiceSwitches switches;
        switches.ignoreLimit = c.ignoreLimit ? 1 : 0;
        service_->SetSwitches(switches);
        service_->SendNow();
        EXPECT_EQ(Status(), c.sentText);
        ASSERT_EQ(Net().sent.size(), 1u);
        const NtpTime t1 = TransmitOf(Net().sent[0]);

        const NtpTime server = NtpFromEpoch(c.serverEpoch, 0);
        Deliver(Message(4, t1, server, server));
        EXPECT_EQ(Status(), c.statusText);
        EXPECT_EQ(FakeClockSetCount(), c.setYear != 0 ? 1 : 0);
        if (c.setYear != 0) {
            EXPECT_EQ(FakeClockLastSetDate().da_year, c.setYear);
        }
        TearDown();
        parent_ = nullptr;
    }
}

// A clock the program cannot read or cannot show (before 1980, past 2099)
// gives other clients no time at all, but still asks its server.
TEST_F(TimeServiceTest, UnreadableClockAnswersNoClientButStillAsks)
{
    struct Case {
        int year;
        bool answered;
    } cases[] = {
        {1969, false}, {1975, false}, {2100, false}, {2150, false}, {1998, true}, {2040, true},
    };
    const NtpTime zero{0, 0};
    const uint32_t client = inet_addr("10.0.0.9");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.year);
        SetUp();
        FakeClockSet(c.year, 6, 1, 12, 0, 0);
        StartPolling();
        Deliver(Message(3, zero, zero, NtpFromEpoch(kNow, 0)), client, htons(50123));
        EXPECT_EQ(Net().sent.size(), c.answered ? 1u : 0u);
        EXPECT_EQ(service_->SentCount(), c.answered ? 1 : 0);
        EXPECT_EQ(service_->ReceivedCount(), 1);
        if (c.answered) {
            EXPECT_EQ(Net().sent[0].addr, client);
        }

        Net().sent.clear();
        service_->SendNow();
        ASSERT_EQ(Net().sent.size(), 1u);
        EXPECT_EQ(Net().sent[0].addr, kServer);
        TearDown();
        parent_ = nullptr;
    }
}

// The clock reads milliseconds: the stamps keep those past the hundredth,
// so a client we answer gets our time, not up to 9 ms less, and a server
// whose clock is ours shows no offset, not up to +0.01.
TEST_F(TimeServiceTest, StampsKeepTheMillisecondsPastTheHundredth)
{
    const uint32_t client = inet_addr("10.0.0.9");
    const int64_t second = int64_t{1} << 32;  // in fraction units
    const int64_t millisecond = second / 1000;
    for (int pastMs : {0, 4, 5, 9}) {
        SCOPED_TRACE(pastMs);
        SetUp();
        FakeClockSet(1998, 6, 1, 12, 0, 0, 37);
        FakeClockSetPastHundredth(pastMs);
        // The clock's instant, exact to 2^-32 s.
        const NtpTime exact{kNow + kNtpToEpoch,
                            static_cast<uint32_t>((370 + pastMs) * second / 1000)};
        StartPolling();
        Deliver(Message(3, {}, {}, exact), client, htons(50123));
        ASSERT_EQ(Net().sent.size(), 1u);
        EXPECT_LT(std::llabs(NtpToFixed(NtpSub(TransmitOf(Net().sent[0]), exact))), millisecond);

        Net().sent.clear();
        service_->SendNow();
        ASSERT_EQ(Net().sent.size(), 1u);
        // The reply's times are the clock's own: no offset, if T1 kept them.
        Deliver(Message(4, TransmitOf(Net().sent[0]), exact, exact));
        // A hundredth is 42949680 units, a little over: the sign may go either way.
        const std::string shown = Status();
        EXPECT_EQ(shown.substr(shown.find("Delta: ") + 8), "0.00 secs") << shown;
        TearDown();
        parent_ = nullptr;
    }
}

}  // namespace

// --- NTS ---------------------------------------------------------------------

// With NTS on and no keys (here: no KESTNTS.DLL beside the tests) nothing
// goes by plain SNTP and nothing plain is taken: the failure is the status
// at each poll, and a reply that would have set the clock is refused.
TEST_F(TimeServiceTest, WithNtsNoPlainRequestGoesAndNoPlainReplyIsTaken)
{
    StartPolling();
    service_->SendNow();
    ASSERT_EQ(Net().sent.size(), 1u);
    const NtpTime stamp = TransmitOf(Net().sent[0]);
    service_->SetNts(true, "");
    const NtpTime t23 = NtpFromEpoch(kNow + 2, 0);
    Deliver(Message(4, stamp, t23, t23));  // the answer to the plain request in flight
    EXPECT_EQ(FakeClockSetCount(), 0);
    EXPECT_EQ(service_->RejectedCount(), 1u);
    EXPECT_EQ(Status().rfind("NTS: ", 0), 0u) << Status();

    // The port of a key server is no part of the name looked up.
    int32_t interval = 60;
    service_->SetServer("nts.example.test:4460");
    service_->SetPollInterval(&interval);
    ASSERT_FALSE(Net().lookups.empty());
    EXPECT_EQ(Net().lookups.back(), "nts.example.test");
    Net().sent.clear();
    CompleteLookup(kServer);
    EXPECT_EQ(Status(), "NTS: KESTNTS.DLL missing or unusable");
    Tick(2 * 60);
    EXPECT_EQ(Status(), "NTS: KESTNTS.DLL missing or unusable");
    EXPECT_TRUE(Net().sent.empty());
    EXPECT_EQ(service_->RejectedCount(), 3u);  // the key exchange of the lookup and of each poll
    // Broadcasts carry no authentication, whatever -b says.
    service_->SetAcceptAnySource(true);
    Deliver(Message(5, NtpTime{}, t23, t23));
    EXPECT_EQ(FakeClockSetCount(), 0);
    EXPECT_EQ(Status(), "NTS: reply not authentic");

    // Off again: plain SNTP as always.
    service_->SetNts(false, "");
    Tick(60);
    EXPECT_EQ(Net().sent.size(), 1u);
}
