// The real kestrin.exe as the front of a Windows service: a stand-in for the
// service on its pipe shows what the window asks and what it is told (to a
// copy of the program that takes any pipe for the service's); the real
// program does not talk to it, and neither waits on a silent one.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "channel/channel.h"
#include "resources/resource.h"
#include "tests/wine/harness/app_probe.h"

namespace {

const std::string kExe = WinPathOf(KESTRIN_EXE);
const std::string kAnyOwnerExe = WinPathOf(KESTRIN_ANYOWNER_EXE);
constexpr DWORD kStartMs = 20000;
constexpr DWORD kEndMs = 15000;
constexpr DWORD kBoxMs = 15000;
const char kServiceStatus[] = "Last set: Tue Dec 08 12:00:00 2026 UTC   Delta: +0.01 secs";

// The service's end of the pipe, on a thread of this process: it answers
// STATUS with kServiceStatus and its settings, refuses every SET and every
// relaxed SENDNOW as it refuses an ordinary user's, and takes a plain
// SENDNOW, which it counts as a reply accepted at once; it counts each.
class ServiceStandIn {
public:
    ServiceStandIn()
    {
        ResetSettings(&status_.settings);
        std::strcpy(status_.settings.ntpServer, "timesrv");
        status_.settings.pollInterval = 300;
        std::strcpy(status_.statusText, kServiceStatus);
        status_.counts = ServiceCounts{5, 4, 1, 0};
        pipe_ = CreateNamedPipeA(kChannelPipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                 1, kChannelReplyMax, kChannelRequestMax, 0, nullptr);
        thread_ = CreateThread(nullptr, 0, Serve, this, 0, nullptr);
    }
    ~ServiceStandIn()
    {
        stopping_ = 1;
        // A connection of its own wakes the thread from its wait.
        HANDLE self = CreateFileA(kChannelPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        WaitForSingleObject(thread_, 5000);
        if (self != INVALID_HANDLE_VALUE)
            CloseHandle(self);
        CloseHandle(thread_);
        CloseHandle(pipe_);
    }
    bool Ready() const { return pipe_ != INVALID_HANDLE_VALUE && thread_ != nullptr; }
    // From now on requests are read and never answered.
    void GoSilent() { silent_ = 1; }
    LONG Connects() const { return connects_; }
    LONG Count(ChannelCommand command) const { return counts_[static_cast<int>(command)]; }
    LONG Relaxed() const { return relaxed_; }
    std::string LastSetServer() const { return lastSetServer_; }
    // Waits until command has been asked count times; false after ms.
    bool WaitCount(ChannelCommand command, LONG count, DWORD ms) const
    {
        const DWORD start = GetTickCount();
        while (Count(command) < count && GetTickCount() - start < ms)
            Sleep(10);
        return Count(command) >= count;
    }

private:
    static DWORD WINAPI Serve(void* self)
    {
        static_cast<ServiceStandIn*>(self)->Loop();
        return 0;
    }
    void Loop()
    {
        while (!stopping_) {
            if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
                break;
            if (stopping_)
                break;
            InterlockedIncrement(&connects_);
            char request[kChannelRequestMax + 1];
            size_t length = 0;
            DWORD got = 0;
            ChannelRequest parsed;
            ChannelParse parse = ChannelParse::Short;
            while (parse == ChannelParse::Short && length < sizeof request &&
                   ReadFile(pipe_, request + length, static_cast<DWORD>(sizeof request - length),
                            &got, nullptr) &&
                   got > 0) {
                length += got;
                parse = ParseChannelRequest(request, length, &parsed);
            }
            if (silent_) {
                // Until the client gives up and hangs up.
                char rest[64];
                while (ReadFile(pipe_, rest, sizeof rest, &got, nullptr) && got > 0) {
                }
                DisconnectNamedPipe(pipe_);
                continue;
            }
            char reply[kChannelReplyMax];
            size_t replyLength = FormatPlainReply(ChannelReply::Bad, reply, sizeof reply);
            if (parse == ChannelParse::Complete) {
                InterlockedIncrement(&counts_[static_cast<int>(parsed.command)]);
                if (parsed.command == ChannelCommand::Status) {
                    replyLength = FormatStatusReply(status_, reply, sizeof reply);
                } else if (parsed.command == ChannelCommand::Set) {
                    lastSetServer_ = parsed.value[kKeyNtpServer];
                    replyLength = FormatPlainReply(ChannelReply::Denied, reply, sizeof reply);
                } else if (parsed.ask.ignoreLimit || parsed.ask.acceptUnsynced) {
                    InterlockedIncrement(&relaxed_);
                    replyLength = FormatPlainReply(ChannelReply::Denied, reply, sizeof reply);
                } else {
                    // The status at the ask; the reply is taken right after.
                    replyLength = FormatStatusReply(status_, reply, sizeof reply);
                    ++status_.accepted;
                }
            }
            DWORD written = 0;
            WriteFile(pipe_, reply, static_cast<DWORD>(replyLength), &written, nullptr);
            FlushFileBuffers(pipe_);
            DisconnectNamedPipe(pipe_);
        }
    }

    ChannelStatus status_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE thread_ = nullptr;
    volatile LONG stopping_ = 0;
    volatile LONG silent_ = 0;
    volatile LONG connects_ = 0;
    volatile LONG counts_[3] = {};
    volatile LONG relaxed_ = 0;
    std::string lastSetServer_;
};

// Each test: no settings file of the window's own, the stand-in on the pipe
// and one run of a program.
class Front : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileA(IniPath().c_str());
        ASSERT_TRUE(service.Ready());
    }
    // Launches exe with no switches and waits for its window.
    void Open(const std::string& exe, HWND* frame)
    {
        ASSERT_TRUE(LaunchApp(exe, "", &run));
        *frame = WaitFrame(run, kStartMs);
        ASSERT_NE(nullptr, *frame);
    }
    // The text of the next message box, which it dismisses; empty when none
    // came within kBoxMs.
    std::string DismissNextBox()
    {
        std::string box;
        const DWORD start = GetTickCount();
        while (!DismissBox(run, &box) && GetTickCount() - start < kBoxMs)
            Pump(20);
        return box;
    }
    // Escape in the window, which ends the program.
    void CloseWithEscape(HWND frame)
    {
        PostKey(Control(frame, IDC_NTPSERVER), VK_ESCAPE);
        EXPECT_EQ(0, WaitExit(&run, kEndMs));
    }

    ServiceStandIn service;
    AppRun run;
};

TEST_F(Front, TheWindowShowsTheServiceAndAsksItInsteadOfSettingTheClock)
{
    HWND frame = nullptr;
    ASSERT_NO_FATAL_FAILURE(Open(kAnyOwnerExe, &frame));

    // The service's status line and settings, not the window's own.
    EXPECT_TRUE(WaitTextPrefix(Control(frame, IDC_STATUS), kServiceStatus, kStartMs));
    EXPECT_EQ("timesrv", TextOf(Control(frame, IDC_NTPSERVER)));
    EXPECT_EQ("300", TextOf(Control(frame, IDC_POLLINTERVAL)));

    // Set Time with the fields as they are: an exchange now, no change.
    ClickButton(frame, IDC_SETTIME);
    EXPECT_TRUE(service.WaitCount(ChannelCommand::SendNow, 1, 5000));
    EXPECT_EQ(0, service.Count(ChannelCommand::Set));

    // A change the service refuses, as it refuses an ordinary user's: the
    // user is told, the exchange is still asked for, and the fields show
    // the service's settings again.
    SetTextOf(Control(frame, IDC_NTPSERVER), "other.example");
    PostClick(frame, IDC_SETTIME);
    const std::string box = DismissNextBox();
    EXPECT_NE(std::string::npos, box.find("Only an administrator can change")) << box;
    EXPECT_EQ(1, service.Count(ChannelCommand::Set));
    EXPECT_EQ("other.example", service.LastSetServer());
    EXPECT_TRUE(service.WaitCount(ChannelCommand::SendNow, 2, 5000));
    EXPECT_TRUE(WaitTextPrefix(Control(frame, IDC_NTPSERVER), "timesrv", 5000));

    CloseWithEscape(frame);
    // The window's own settings file is no business of the service's front.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(IniPath().c_str()));
}

// No service runs here: a program that took the pipe's name is heard by
// the real program on its own, and told nothing.
TEST_F(Front, APipeThatIsNotTheServicesIsNoService)
{
    HWND frame = nullptr;
    ASSERT_NO_FATAL_FAILURE(Open(kExe, &frame));
    // The window opened the pipe before its frame showed, and hung up.
    EXPECT_GE(service.Connects(), 1);
    EXPECT_EQ(0, service.Count(ChannelCommand::Status));
    EXPECT_NE(kServiceStatus, TextOf(Control(frame, IDC_STATUS)));
    EXPECT_NE("timesrv", TextOf(Control(frame, IDC_NTPSERVER)));
    CloseWithEscape(frame);
    DeleteFileA(IniPath().c_str());
}

// A service that accepts and never answers: each call gives up in time,
// and the window answers its messages within a second throughout.
TEST_F(Front, ASilentServiceNeverHoldsTheWindow)
{
    HWND frame = nullptr;
    ASSERT_NO_FATAL_FAILURE(Open(kAnyOwnerExe, &frame));
    ASSERT_TRUE(WaitTextPrefix(Control(frame, IDC_STATUS), kServiceStatus, kStartMs));

    service.GoSilent();
    const LONG before = service.Connects();
    bool noAnswerShown = false;
    // The window asks each second: a few rounds of silence, each bounded.
    for (int round = 0; round < 60 && !(noAnswerShown && service.Connects() >= before + 3);
         ++round) {
        DWORD_PTR ignored = 0;
        ASSERT_NE(0, SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored))
            << "the window did not answer within a second, round " << round;
        noAnswerShown = TextOf(Control(frame, IDC_STATUS)) == "Kestrin time service: no answer";
        Sleep(100);
    }
    EXPECT_TRUE(noAnswerShown);
    EXPECT_GE(service.Connects(), before + 3);
    CloseWithEscape(frame);
}

TEST_F(Front, SwitchesThatRelaxTheChecksAreRefusedToAnOrdinaryUserAndSStillEnds)
{
    ASSERT_TRUE(LaunchApp(kAnyOwnerExe, "-s -i -u", &run));
    // Told why not, then asked without them; the accepted reply ends the run.
    const std::string box = DismissNextBox();
    EXPECT_NE(std::string::npos, box.find("Only an administrator can give the time service -i"))
        << box;
    EXPECT_EQ(1, service.Relaxed());
    EXPECT_TRUE(service.WaitCount(ChannelCommand::SendNow, 2, 5000));
    EXPECT_EQ(0, WaitExit(&run, kEndMs));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(IniPath().c_str()));
}

TEST_F(Front, HiddenWithTheServiceThereEndsAtOnce)
{
    ASSERT_TRUE(LaunchApp(kAnyOwnerExe, "-h", &run));
    EXPECT_EQ(0, WaitExit(&run, kEndMs));
    EXPECT_EQ(0, service.Count(ChannelCommand::SendNow));
}

}  // namespace
