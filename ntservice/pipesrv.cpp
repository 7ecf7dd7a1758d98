// PipeServer: the named pipe, its access list, the time limits on each
// client and the administrator check of a request.
#include "ntservice/pipesrv.h"

#include <sddl.h>

#include "channel/channel.h"
#include "ntservice/svcwindow.h"

namespace {

// A client has this long to send its request, and then to take the reply
// and hang up: one that connects and never sends costs the others no more.
const DWORD kRequestMs = 2000;
const DWORD kReplyMs = 1000;
const DWORD kStopMs = 1500;

// Refused: everyone from the network. Read and write: the interactive
// users, the one group whose members sit at the machine. Everything:
// administrators, the system and Local Service, the service's account.
const char kPipeAccess[] = "D:P(D;;GA;;;NU)(A;;GRGW;;;IU)(A;;GA;;;BA)(A;;GA;;;SY)(A;;GA;;;LS)";

#ifndef PIPE_REJECT_REMOTE_CLIENTS
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#endif

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

HANDLE CreatePipe(SECURITY_ATTRIBUTES* security)
{
    // The first instance or none: a pipe of the same name made earlier by
    // someone else would otherwise hear the windows' requests.
    const DWORD open = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    const DWORD mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    HANDLE pipe = CreateNamedPipeA(kChannelPipeName, open, mode | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                   kChannelReplyMax, kChannelRequestMax, 0, security);
    // Before Vista the flag is unknown: the access list alone keeps the
    // network out.
    if (pipe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        pipe = CreateNamedPipeA(kChannelPipeName, open, mode, 1, kChannelReplyMax,
                                kChannelRequestMax, 0, security);
    return pipe;
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
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &id);
    return thread_ != nullptr ? 0 : GetLastError();
}

void PipeServer::Stop()
{
    if (thread_ != nullptr) {
        SetEvent(stopEvent_);
        // The thread may be inside a SendMessage to this thread's window:
        // sent messages are answered while waiting.
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= kStopMs)
                break;
            const DWORD woke =
                MsgWaitForMultipleObjects(1, &thread_, FALSE, kStopMs - spent, QS_SENDMESSAGE);
            if (woke != WAIT_OBJECT_0 + 1)
                break;
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    if (stopEvent_ != nullptr) {
        CloseHandle(stopEvent_);
        stopEvent_ = nullptr;
    }
}

DWORD WINAPI PipeServer::ThreadMain(void* self)
{
    static_cast<PipeServer*>(self)->Serve();
    return 0;
}

void PipeServer::Serve()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kPipeAccess, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return;  // no access list, no pipe: the window then runs on its own
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    HANDLE pipe = CreatePipe(&security);
    HANDLE io = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (pipe != INVALID_HANDLE_VALUE && io != nullptr &&
           WaitForSingleObject(stopEvent_, 0) != WAIT_OBJECT_0) {
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
                ChannelCall call{&parsed, reply, sizeof reply, 0};
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
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(pipe);
    LocalFree(descriptor);
}
