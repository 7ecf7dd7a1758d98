// TimeService: the server's address, from a dotted name or an asynchronous
// host lookup, one lookup at a time, the latest name winning.
#include "service/timesrvc.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "nts/ntske.h"
#include "service/sockets.h"

namespace {

// Digits and dots only, exactly three dots: taken as an address, not a name.
bool IsDottedAddress(const char* name)
{
    int dots = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '.')
            ++dots;
        else if (*p < '0' || *p > '9')
            return false;
    }
    return dots == 3;
}

}  // namespace

uint32_t FirstHostAddress(const char* buffer)
{
    const hostent* entry = reinterpret_cast<const hostent*>(buffer);
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr)
        return 0;
    uint32_t addr = 0;
    std::memcpy(&addr, entry->h_addr_list[0], sizeof addr);
    return addr;
}

void TimeService::SetServer(const char* name)
{
    SetStatus(" ");
    sentCount = broadcastCount = receivedCount = rejectedCount = 0;
    portCounts.sent.store(0);
    portCounts.received.store(0);
    // Nothing goes to the old address, whatever became of the NTP port.
    serverAddr = 0;
    lookupFailed = false;
    requests.Forget();
    servers.Assign(name);
    UseServer(servers.Current().c_str());
    // The lookup's completion asks: that is this setting's exchange. (A
    // dotted address set while an older lookup runs has no lookup of its own.)
    lookupExchangeOpen = serverAddr == 0 && LookupOutstanding();
    lookupRequestTickMs = GetTickCount() - RequestMatcher::kAwaitMs;
    PublishAnswerState();
}

bool TimeService::UseServer(const char* name)
{
    serverName = name;
    // Another server (or the same looked up anew): its own key exchange.
    nts.Reset();
    ntsLookupWanted = false;
    if (IsDottedAddress(name)) {
        uint32_t addr = SockParseAddress(name);
        if (addr == INADDR_NONE)
            return ServerUnusable("Invalid dotted decimal address for Server", kErrorCaption);
        serverAddr = addr;
        lookupFailed = false;
        servers.NoteResolved();
        BindSocket();
        return true;
    }
    // One lookup at a time: when the one in flight completes, it sees that
    // the name has changed and starts this one (EvHostResolved).
    if (lookupBuffer == nullptr)
        return StartLookup(name);
    return false;
}

bool TimeService::ServerUnusable(const char* text, const char* caption)
{
    serverAddr = 0;
    // With a list the entry counts as failed and the next one is used at
    // once; the box comes only when every entry has failed in a row, and
    // once: the lookups tried again at each poll fail on the status line.
    if (servers.NoteFailed())
        return UseServer(servers.Current().c_str());
    if (lookupFailed)
        SetStatus(text);
    else
        ErrorBox(text, caption);
    return false;
}

void TimeService::RetryLookup()
{
    const std::string& name = servers.Current();
    if (!lookupFailed || lookupBuffer != nullptr || name.empty() || IsDottedAddress(name.c_str()))
        return;
    UseServer(name.c_str());
}

bool TimeService::StartLookup(const char* name)
{
    if (lookupBuffer == nullptr)
        lookupBuffer.reset(new (std::nothrow) char[MAXGETHOSTSTRUCT]);
    int error = WSAENOBUFS;
    // An NTS server may name its key exchange port ("host:port"): the host
    // alone is looked up.
    char keHost[kMaxServerNameBytes + 1];
    uint16_t port = 0;
    const char* lookedUp = ntsOn && SplitKeServer(name, keHost, sizeof keHost, &port) ? keHost : name;
    if (lookupBuffer != nullptr)
        error = SockStartLookup(handle_, WM_HOST_RESOLVED, lookedUp, lookupBuffer.get(),
                                MAXGETHOSTSTRUCT, &lookupHandle);
    if (error != 0) {
        lookupBuffer.reset();
        char text[kStatusTextSize];
        std::snprintf(text, sizeof text, "Async lookup (DNS) failed - %d", error);
        const bool unusable = ServerUnusable(text, kSocketCaption);
        lookupFailed = true;
        return unusable;
    }
    lookupName = name;
    SetStatus("DNS Lookup in progress...");
    return false;
}

LRESULT TimeService::EvHostResolved(WPARAM wParam, LPARAM lParam)
{
    if (lookupBuffer == nullptr || reinterpret_cast<HANDLE>(wParam) != lookupHandle)
        return 0;

    if (lookupName != serverName) {
        // SetServer was given another name meanwhile: this answer is stale.
        // A dotted address set since then stays; a host name is looked up now,
        // in the same buffer.
        if (IsDottedAddress(serverName.c_str()))
            lookupBuffer.reset();
        else
            StartLookup(serverName.c_str());
        return 0;
    }

    std::unique_ptr<char[]> entry = std::move(lookupBuffer);
    if (WSAGETASYNCERROR(lParam) != 0) {
        // With a list of servers the next name is tried, until all failed.
        if (servers.NoteFailed()) {
            UseServer(servers.Current().c_str());
            return 0;
        }
        if (lookupFailed) {
            SetStatus("Lookup of server address failed");
        } else {
            SetStatus(" ");
            ErrorBox("Lookup of server address failed", kErrorCaption);
        }
        // Looked up again at each poll: the network may not be up yet.
        lookupFailed = true;
        return 0;
    }
    lookupFailed = false;
    serverAddr = FirstHostAddress(entry.get());
    servers.NoteResolved();
    BindSocket();
    PublishAnswerState();
    SetStatus("DNS Lookup complete...");
    SendRequest();
    lookupRequestTickMs = GetTickCount();
    return 0;
}
