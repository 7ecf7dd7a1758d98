// The window's end of the channel: the pipe opened, written and read with
// overlapped I/O and a time limit, so a slow or silent server never holds
// the window; and only when its server is the service.
#include "ui/svcfront.h"

#include <windows.h>

#include "ui/svcowner.h"

namespace {

const int kSetAttempts = 40;  // 2 s of a busy pipe: another client's turn
const DWORD kBusyRetryMs = 50;
// The whole exchange, from the pipe opened to the reply's end: the service
// answers in milliseconds, and the window answers its messages again well
// within a second when it does not.
const DWORD kExchangeMs = 700;
// After a time-out: how long the cancelled operation may take to end.
const DWORD kCancelMs = 200;

// One operation's state; it must outlive the operation, which the system
// may end later than asked.
struct PipeIo {
    OVERLAPPED overlapped;
    char reply[kChannelReplyMax];
};

typedef BOOL(WINAPI* CancelIoFn)(HANDLE);

// Ends the operation on pipe that has not finished in time. Returns false
// when it did not end: io must then be left allocated.
bool Cancel(HANDLE pipe, PipeIo* io)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "CancelIo") : nullptr;
    const auto cancelIo = reinterpret_cast<CancelIoFn>(reinterpret_cast<void*>(found));
    if (cancelIo != nullptr)
        cancelIo(pipe);
    return WaitForSingleObject(io->overlapped.hEvent, kCancelMs) == WAIT_OBJECT_0;
}

// One read or write, finished before deadline (a GetTickCount value).
// Returns the bytes moved; 0 on failure or time-out. *abandoned: io must
// not be freed (the operation outlived its cancel).
DWORD Transfer(HANDLE pipe, bool write, const void* buffer, DWORD size, PipeIo* io,
               DWORD deadline, bool* abandoned)
{
    const BOOL done = write ? WriteFile(pipe, buffer, size, nullptr, &io->overlapped)
                            : ReadFile(pipe, const_cast<void*>(buffer), size, nullptr,
                                       &io->overlapped);
    if (!done && GetLastError() != ERROR_IO_PENDING)
        return 0;
    if (!done) {
        const DWORD now = GetTickCount();
        const LONG left = static_cast<LONG>(deadline - now);
        if (left <= 0 ||
            WaitForSingleObject(io->overlapped.hEvent, static_cast<DWORD>(left)) != WAIT_OBJECT_0) {
            *abandoned = !Cancel(pipe, io);
            return 0;
        }
    }
    DWORD moved = 0;
    return GetOverlappedResult(pipe, &io->overlapped, &moved, FALSE) ? moved : 0;
}

ChannelReply Call(const char* request, size_t length, ChannelStatus* status, int attempts)
{
    // The service impersonates no further than to learn who asks; writing
    // the data is all this end needs (making instances it may not).
    const DWORD access = GENERIC_READ | FILE_WRITE_DATA;
    const DWORD flags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        pipe = CreateFileA(kChannelPipeName, access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
        if (pipe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY)
            break;
        Sleep(kBusyRetryMs);
    }
    if (pipe == INVALID_HANDLE_VALUE)
        return ChannelReply::Unreadable;
    // Another program that took the name while the service could not is
    // no service: it hears nothing and is not listened to.
    if (CheckPipeOwner(pipe) == PipeOwner::Other) {
        CloseHandle(pipe);
        return ChannelReply::Unreadable;
    }
    PipeIo* io = new PipeIo{};
    io->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ChannelReply result = ChannelReply::Unreadable;
    bool abandoned = false;
    if (io->overlapped.hEvent != nullptr) {
        const DWORD deadline = GetTickCount() + kExchangeMs;
        if (Transfer(pipe, true, request, static_cast<DWORD>(length), io, deadline, &abandoned) ==
            length) {
            // The service writes its reply and waits for this end to hang up.
            size_t got = 0;
            DWORD read = 0;
            while (!abandoned && got < sizeof io->reply &&
                   !ChannelMessageEnded(io->reply, got) &&
                   (read = Transfer(pipe, false, io->reply + got,
                                    static_cast<DWORD>(sizeof io->reply - got), io, deadline,
                                    &abandoned)) > 0)
                got += read;
            if (!abandoned)
                result = ParseChannelReply(io->reply, got, status);
        }
    }
    CloseHandle(pipe);
    // An operation that outlived its cancel may still write into io: it is
    // left to the process rather than freed under it.
    if (!abandoned) {
        if (io->overlapped.hEvent != nullptr)
            CloseHandle(io->overlapped.hEvent);
        delete io;
    }
    return result;
}

}  // namespace

ChannelReply CallService(ChannelCommand command, ChannelStatus* status, int attempts)
{
    char request[kChannelRequestMax];
    const size_t length = FormatChannelRequest(command, nullptr, nullptr, request, sizeof request);
    if (length == 0)
        return ChannelReply::Unreadable;
    return Call(request, length, status, attempts);
}

ChannelReply CallServiceSet(const SNTPSettings& settings, const bool given[kSettingsKeyCount])
{
    char request[kChannelRequestMax];
    const size_t length =
        FormatChannelRequest(ChannelCommand::Set, &settings, given, request, sizeof request);
    if (length == 0)
        return ChannelReply::Bad;
    return Call(request, length, nullptr, kSetAttempts);
}

ChannelReply CallServiceAsk(const ChannelAsk& ask, ChannelStatus* status, int attempts)
{
    char request[kChannelRequestMax];
    const size_t length = FormatSendNowRequest(ask, request, sizeof request);
    if (length == 0)
        return ChannelReply::Unreadable;
    return Call(request, length, status, attempts);
}

ChannelReply CallServiceBroadcasts(bool on)
{
    char request[kChannelRequestMax];
    const size_t length = FormatBroadcastsRequest(on, request, sizeof request);
    if (length == 0)
        return ChannelReply::Bad;
    return Call(request, length, nullptr, kSetAttempts);
}
