// The window's end of the channel: the pipe opened, written and read as a
// file, which every Windows with named-pipe clients can do.
#include "ui/svcfront.h"

#include <windows.h>

namespace {

const int kSetAttempts = 40;  // 2 s of a busy pipe: another client's turn
const DWORD kBusyRetryMs = 50;

ChannelReply Call(const char* request, size_t length, ChannelStatus* status, int attempts)
{
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        pipe = CreateFileA(kChannelPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY)
            break;
        Sleep(kBusyRetryMs);
    }
    if (pipe == INVALID_HANDLE_VALUE)
        return ChannelReply::Unreadable;
    DWORD written = 0;
    ChannelReply result = ChannelReply::Unreadable;
    if (WriteFile(pipe, request, static_cast<DWORD>(length), &written, nullptr) &&
        written == length) {
        // The service writes its reply and waits for this end to hang up;
        // it gives up after a second, which ends these reads.
        char reply[kChannelReplyMax];
        size_t got = 0;
        DWORD read = 0;
        while (got < sizeof reply && !ChannelMessageEnded(reply, got) &&
               ReadFile(pipe, reply + got, static_cast<DWORD>(sizeof reply - got), &read,
                        nullptr) &&
               read > 0)
            got += read;
        result = ParseChannelReply(reply, got, status);
    }
    CloseHandle(pipe);
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
