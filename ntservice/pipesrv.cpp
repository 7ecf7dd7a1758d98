// PipeServer: the named pipe, its instances, its access list, the time
// limits on each client and the administrator check of a request.
#include "ntservice/pipesrv.h"

#include <sddl.h>

#include <cstdio>

#include "channel/channel.h"
#include "ntservice/accesslists.h"
#include "ntservice/svcwindow.h"

namespace {

// A client has this long to send its request, and then to take the reply
// and hang up: one that connects and never sends costs the others no more.
const DWORD kRequestMs = 2000;
const DWORD kReplyMs = 1000;
const DWORD kStopMs = 1500;
// While another program holds the pipe's name: how often the service tries
// again to make it.
const DWORD kRetryMs = 3000;

const char kEventSource[] = "Kestrin";
const DWORD kEventNoChannel = 1;
const DWORD kEventChannelBack = 2;

#ifndef PIPE_REJECT_REMOTE_CLIENTS
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#endif

// One line in the Application event log; nobody sees a service's boxes.
void ReportToEventLog(WORD type, DWORD id, const char* text)
{
    HANDLE source = RegisterEventSourceA(nullptr, kEventSource);
    if (source == nullptr)
        return;
    const char* strings[1] = {text};
    ReportEventA(source, type, 0, id, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

// One read or write on the overlapped pipe, waiting at most limitMs and
// never past the stop event. Returns the bytes moved; 0 on failure, time
// out or stop (the operation is then cancelled).
DWORD Transfer(HANDLE pipe, bool write, void* buffer, DWORD size, DWORD limitMs, HANDLE stop,
               HANDLE io)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = io;
    ResetEvent(io);
    const BOOL done = write ? WriteFile(pipe, buffer, size, nullptr, &overlapped)
                            : ReadFile(pipe, buffer, size, nullptr, &overlapped);
    if (!done && GetLastError() != ERROR_IO_PENDING)
        return 0;
    if (!done) {
        HANDLE waits[2] = {io, stop};
        if (WaitForMultipleObjects(2, waits, FALSE, limitMs) != WAIT_OBJECT_0) {
            CancelIo(pipe);
            DWORD ignored = 0;
            GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
            return 0;
        }
    }
    DWORD moved = 0;
    return GetOverlappedResult(pipe, &overlapped, &moved, FALSE) ? moved : 0;
}

// Whether the client of the request just read is an administrator: a
// member of Administrators with that group switched on (an administrator's
// unelevated token holds it for denying only, and is refused).
bool ClientIsAdministrator(HANDLE pipe)
{
    if (!ImpersonateNamedPipeClient(pipe))
        return false;
    BOOL member = FALSE;
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID administrators = nullptr;
        if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                     DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
            if (!CheckTokenMembership(token, administrators, &member))
                member = FALSE;
            FreeSid(administrators);
        }
        CloseHandle(token);
    }
    RevertToSelf();
    return member != FALSE;
}

HANDLE CreatePipe(SECURITY_ATTRIBUTES* security, bool first)
{
    // The first instance must be the service's: a pipe of the same name
    // made earlier by someone else would otherwise hear the windows'
    // requests. The others join it.
    const DWORD open =
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    const DWORD mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    const DWORD instances = PipeServer::kInstances;
    HANDLE pipe = CreateNamedPipeA(kChannelPipeName, open, mode | PIPE_REJECT_REMOTE_CLIENTS,
                                   instances, kChannelReplyMax, kChannelRequestMax, 0, security);
    // Before Vista the flag is unknown: the access list alone keeps the
    // network out.
    if (pipe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        pipe = CreateNamedPipeA(kChannelPipeName, open, mode, instances, kChannelReplyMax,
                                kChannelRequestMax, 0, security);
    return pipe;
}

// The pipe's security attributes; false when the access list cannot be
// made (no pipe then: better none than one open to all).
bool PipeSecurity(SECURITY_ATTRIBUTES* security)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kPipeSddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    *security = SECURITY_ATTRIBUTES{sizeof *security, descriptor, FALSE};
    return true;
}

}  // namespace

PipeServer::~PipeServer()
{
    Stop();
}

DWORD PipeServer::Start(HWND window)
{
    window_ = window;
    stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent_ == nullptr)
        return GetLastError();
    DWORD id = 0;
    threads_[0] = CreateThread(nullptr, 0, KeeperMain, this, 0, &id);
    return threads_[0] != nullptr ? 0 : GetLastError();
}

void PipeServer::Stop()
{
    if (stopEvent_ != nullptr)
        SetEvent(stopEvent_);
    // The threads may be inside a SendMessage to this thread's window:
    // sent messages are answered while waiting. The keeper first: it
    // starts the others.
    const DWORD start = GetTickCount();
    for (HANDLE& thread : threads_) {
        if (thread == nullptr)
            continue;
        for (;;) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= kStopMs)
                break;
            const DWORD woke =
                MsgWaitForMultipleObjects(1, &thread, FALSE, kStopMs - spent, QS_SENDMESSAGE);
            if (woke != WAIT_OBJECT_0 + 1)
                break;
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        }
        CloseHandle(thread);
        thread = nullptr;
    }
    if (stopEvent_ != nullptr) {
        CloseHandle(stopEvent_);
        stopEvent_ = nullptr;
    }
}

DWORD WINAPI PipeServer::KeeperMain(void* self)
{
    static_cast<PipeServer*>(self)->Keep();
    return 0;
}

DWORD WINAPI PipeServer::InstanceMain(void* instance)
{
    Instance* own = static_cast<Instance*>(instance);
    own->server->Serve(own->pipe);
    return 0;
}

void PipeServer::Keep()
{
    SECURITY_ATTRIBUTES security{};
    if (!PipeSecurity(&security)) {
        ReportToEventLog(EVENTLOG_ERROR_TYPE, kEventNoChannel,
                         "The Kestrin time service cannot make its channel's access list; "
                         "it keeps the clock without a channel.");
        return;
    }
    const DWORD start = GetTickCount();
    HANDLE first = CreatePipe(&security, true);
    bool reported = false;
    while (first == INVALID_HANDLE_VALUE) {
        if (!reported) {
            char text[320];
            std::snprintf(text, sizeof text,
                          "The Kestrin time service cannot make its channel %s (error %lu): "
                          "another program holds the name. The service keeps the clock and "
                          "tries again every %lu seconds; until then no window reaches it.",
                          kChannelPipeName, static_cast<unsigned long>(GetLastError()),
                          static_cast<unsigned long>(kRetryMs / 1000));
            ReportToEventLog(EVENTLOG_WARNING_TYPE, kEventNoChannel, text);
            reported = true;
        }
        if (WaitForSingleObject(stopEvent_, kRetryMs) != WAIT_TIMEOUT) {
            LocalFree(security.lpSecurityDescriptor);
            return;
        }
        first = CreatePipe(&security, true);
    }
    if (reported) {
        InterlockedExchange(&noChannelMs_, static_cast<LONG>(GetTickCount() - start));
        char text[160];
        std::snprintf(text, sizeof text,
                      "The Kestrin time service has its channel, after %lu seconds without.",
                      static_cast<unsigned long>(noChannelMs_ / 1000));
        ReportToEventLog(EVENTLOG_INFORMATION_TYPE, kEventChannelBack, text);
    }
    // The name is the service's now: the other instances join it. One that
    // cannot be made leaves the others fewer, no more.
    for (int i = 1; i < kInstances; ++i) {
        HANDLE pipe = CreatePipe(&security, false);
        if (pipe == INVALID_HANDLE_VALUE)
            break;
        instances_[i] = Instance{this, pipe};
        DWORD id = 0;
        threads_[i] = CreateThread(nullptr, 0, InstanceMain, &instances_[i], 0, &id);
        if (threads_[i] == nullptr) {
            CloseHandle(pipe);
            break;
        }
    }
    LocalFree(security.lpSecurityDescriptor);
    Serve(first);
}

void PipeServer::Serve(HANDLE pipe)
{
    HANDLE io = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (io != nullptr && WaitForSingleObject(stopEvent_, 0) != WAIT_OBJECT_0) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = io;
        ResetEvent(io);
        bool connected = ConnectNamedPipe(pipe, &overlapped) != FALSE;
        if (!connected) {
            const DWORD error = GetLastError();
            connected = error == ERROR_PIPE_CONNECTED;
            if (error == ERROR_IO_PENDING) {
                HANDLE waits[2] = {io, stopEvent_};
                if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                    CancelIo(pipe);
                    break;
                }
                DWORD ignored = 0;
                connected = GetOverlappedResult(pipe, &overlapped, &ignored, FALSE) != FALSE;
            }
        }
        if (!connected) {
            DisconnectNamedPipe(pipe);
            continue;
        }

        // The request: read until it is whole, too long, garbage, or late.
        char request[kChannelRequestMax + 1];
        size_t length = 0;
        ChannelRequest parsed;
        ChannelParse parse = ChannelParse::Short;
        const DWORD start = GetTickCount();
        while (parse == ChannelParse::Short && length < sizeof request) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= kRequestMs)
                break;
            const DWORD got = Transfer(pipe, false, request + length,
                                       static_cast<DWORD>(sizeof request - length),
                                       kRequestMs - spent, stopEvent_, io);
            if (got == 0)
                break;
            length += got;
            parse = ParseChannelRequest(request, length, &parsed);
        }

        char reply[kChannelReplyMax];
        size_t replyLength = 0;
        if (parse == ChannelParse::Complete) {
            if (DecideChannelAccess(parsed, ClientIsAdministrator(pipe)) ==
                ChannelAccess::NeedsAdministrator) {
                replyLength = FormatPlainReply(ChannelReply::Denied, reply, sizeof reply);
            } else {
                ChannelCall call{&parsed, reply, sizeof reply, 0,
                                 static_cast<uint32_t>(noChannelMs_ / 1000)};
                SendMessageA(window_, WM_CHANNEL_REQUEST, 0, reinterpret_cast<LPARAM>(&call));
                replyLength = call.replyLength;
            }
        } else if (parse != ChannelParse::Short) {
            replyLength = FormatPlainReply(ChannelReply::Bad, reply, sizeof reply);
        }
        // A client that sent nothing whole gets no reply. One that did gets
        // it, and the pipe waits for it to hang up (a disconnect would
        // throw away a reply not yet read).
        if (replyLength > 0 &&
            Transfer(pipe, true, reply, static_cast<DWORD>(replyLength), kReplyMs, stopEvent_,
                     io) == replyLength) {
            char rest[64];
            for (int reads = 0; reads < 4; ++reads)
                if (Transfer(pipe, false, rest, sizeof rest, kReplyMs, stopEvent_, io) == 0)
                    break;
        }
        DisconnectNamedPipe(pipe);
    }
    if (io != nullptr)
        CloseHandle(io);
    CloseHandle(pipe);
}
