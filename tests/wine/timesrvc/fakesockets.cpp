// The scripted socket layer (see fakesockets.h).
#include "tests/wine/timesrvc/fakesockets.h"

#include "service/sockets.h"

#include <cstring>

namespace {

FakeNet g_net;
uintptr_t g_nextTask = 0x100;

int Next(std::deque<int>& results)
{
    if (results.empty())
        return 0;
    int result = results.front();
    results.pop_front();
    return result;
}

}  // namespace

FakeNet& Net() { return g_net; }
void ResetNet() { g_net = FakeNet{}; }

SOCKET g_nextSocket = kFirstSocket;

void CompleteLookup(uint32_t addr)
{
    // hostent, then the address list and the address, inside the buffer.
    char* buffer = g_net.lookupBuffer;
    auto* entry = reinterpret_cast<hostent*>(buffer);
    auto** list = reinterpret_cast<char**>(buffer + sizeof(hostent));
    char* address = buffer + sizeof(hostent) + 2 * sizeof(char*);
    std::memcpy(address, &addr, 4);
    list[0] = address;
    list[1] = nullptr;
    entry->h_name = nullptr;
    entry->h_aliases = nullptr;
    entry->h_addrtype = AF_INET;
    entry->h_length = 4;
    entry->h_addr_list = list;
    SendMessageA(g_net.lookupWindow, WM_USER + 3, reinterpret_cast<WPARAM>(g_net.lookupTask), 0);
}

void FailLookup(int error)
{
    SendMessageA(g_net.lookupWindow, WM_USER + 3, reinterpret_cast<WPARAM>(g_net.lookupTask),
                 WSAMAKEASYNCREPLY(0, error));
}

int SockStartup(WORD* version)
{
    if (g_net.startupError == 0)
        *version = g_net.version;
    return g_net.startupError;
}

void SockCleanup() { ++g_net.cleanups; }

int SockOpenUdp(SOCKET* sock)
{
    if (g_net.lastOpened == 0)
        g_nextSocket = kFirstSocket;
    *sock = g_net.openError == 0 ? g_nextSocket++ : INVALID_SOCKET;
    if (*sock != INVALID_SOCKET)
        g_net.lastOpened = *sock;
    return g_net.openError;
}

int SockSetNonBlocking(SOCKET) { return g_net.nonBlockError; }

int SockSetReceiveBuffer(SOCKET, int) { return 0; }

uint16_t SockServicePort(const char*, uint16_t fallback) { return fallback; }

int SockBind(SOCKET sock, uint16_t port)
{
    g_net.bindPorts.push_back(port);
    g_net.binds.push_back(FakeBind{sock, port});
    return Next(g_net.bindErrors);
}

int SockSelectEvents(SOCKET, HWND, UINT, long) { return g_net.selectError; }

uint32_t SockParseAddress(const char* dotted) { return inet_addr(dotted); }

int SockStartLookup(HWND window, UINT, const char* name, char* buffer, int size, HANDLE* task)
{
    g_net.lookups.push_back(name);
    if (g_net.lookupError != 0)
        return g_net.lookupError;
    g_net.lookupBuffer = buffer;
    g_net.lookupSize = size;
    g_net.lookupWindow = window;
    g_net.lookupTask = reinterpret_cast<HANDLE>(g_nextTask++);
    *task = g_net.lookupTask;
    return 0;
}

int SockCancelLookup(HANDLE task)
{
    g_net.cancelled.push_back(task);
    return 0;
}

int SockSendTo(SOCKET sock, const uint8_t* data, int length, uint32_t addr, uint16_t port)
{
    int error = Next(g_net.sendErrors);
    if (error != 0)
        return error;
    FakeDatagram d{std::vector<uint8_t>(data, data + length), addr, port, sock};
    if (addr != htonl(INADDR_LOOPBACK)) {
        g_net.sent.push_back(d);
        return 0;
    }
    // Through the loopback: to the back of the queue of the socket bound to
    // that port, from the sender's port.
    ++g_net.looped;
    d.port = 0;
    for (const FakeBind& b : g_net.binds)
        if (b.sock == sock)
            d.port = b.port;
    for (const FakeBind& b : g_net.binds)
        if (b.port == port) {
            d.sock = b.sock;
            g_net.inbox.push_back(d);
            break;
        }
    return 0;
}

int SockReceiveFrom(SOCKET sock, uint8_t* buffer, int size, int* length, uint32_t* addr,
                    uint16_t* port)
{
    auto waiting = g_net.inbox.begin();
    while (waiting != g_net.inbox.end() && waiting->sock != 0 && waiting->sock != sock)
        ++waiting;
    if (waiting == g_net.inbox.end())
        return g_net.receiveError != 0 ? g_net.receiveError : WSAEWOULDBLOCK;
    FakeDatagram d = *waiting;
    g_net.inbox.erase(waiting);
    if (static_cast<int>(d.bytes.size()) > size)
        return WSAEMSGSIZE;
    std::memcpy(buffer, d.bytes.data(), d.bytes.size());
    *length = static_cast<int>(d.bytes.size());
    *addr = d.addr;
    *port = d.port;
    return 0;
}

int SockSetBlocking(SOCKET) { return 0; }

int SockSetReceiveTimeout(SOCKET, int) { return 0; }

int SockPendingBytes(SOCKET sock, unsigned long* bytes)
{
    ++g_net.pendingAsks;
    *bytes = 0;
    for (const FakeDatagram& d : g_net.inbox)
        if (d.sock == 0 || d.sock == sock)
            *bytes += static_cast<unsigned long>(d.bytes.size());
    return 0;
}

void SockClose(SOCKET sock)
{
    ++g_net.closes;
    g_net.closed.push_back(sock);
}
