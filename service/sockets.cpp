// Windows Sockets 1.1 calls of the time service, each wrapped once.
#include "service/sockets.h"

namespace {

int LastSocketError() { return WSAGetLastError(); }

sockaddr_in InetAddress(uint32_t addr, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = port;
    sa.sin_addr.s_addr = addr;
    return sa;
}

}  // namespace

int SockStartup(WORD* version)
{
    WSADATA data{};
    int error = WSAStartup(0x0101, &data);
    if (error == 0)
        *version = data.wVersion;
    return error;
}

void SockCleanup() { WSACleanup(); }

int SockOpenUdp(SOCKET* sock)
{
    *sock = socket(AF_INET, SOCK_DGRAM, 0);
    return *sock == INVALID_SOCKET ? LastSocketError() : 0;
}

int SockSetNonBlocking(SOCKET sock)
{
    u_long on = 1;
    return ioctlsocket(sock, static_cast<long>(FIONBIO), &on) == 0 ? 0 : LastSocketError();
}

int SockSetReceiveBuffer(SOCKET sock, int bytes)
{
    return setsockopt(sock, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                      sizeof bytes) == 0
               ? 0
               : LastSocketError();
}

uint16_t SockServicePort(const char* name, uint16_t fallback)
{
    const servent* entry = getservbyname(name, nullptr);
    return entry != nullptr ? static_cast<uint16_t>(entry->s_port) : fallback;
}

int SockBind(SOCKET sock, uint16_t port)
{
    sockaddr_in sa = InetAddress(htonl(INADDR_ANY), port);
    return bind(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0
                                                                              : LastSocketError();
}

int SockSelectEvents(SOCKET sock, HWND window, UINT message, long events)
{
    return WSAAsyncSelect(sock, window, message, events) == 0 ? 0 : LastSocketError();
}

uint32_t SockParseAddress(const char* dotted) { return inet_addr(dotted); }

int SockStartLookup(HWND window, UINT message, const char* name, char* buffer, int size,
                    HANDLE* task)
{
    *task = WSAAsyncGetHostByName(window, message, name, buffer, size);
    return *task != nullptr ? 0 : LastSocketError();
}

int SockCancelLookup(HANDLE task)
{
    return WSACancelAsyncRequest(task) == 0 ? 0 : LastSocketError();
}

int SockSendTo(SOCKET sock, const uint8_t* data, int length, uint32_t addr, uint16_t port)
{
    sockaddr_in to = InetAddress(addr, port);
    int sent = sendto(sock, reinterpret_cast<const char*>(data), length, 0,
                      reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == SOCKET_ERROR ? LastSocketError() : 0;
}

int SockReceiveFrom(SOCKET sock, uint8_t* buffer, int size, int* length, uint32_t* addr,
                    uint16_t* port)
{
    sockaddr_in from{};
    int fromLength = sizeof from;
    int received = recvfrom(sock, reinterpret_cast<char*>(buffer), size, 0,
                            reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received == SOCKET_ERROR)
        return LastSocketError();
    *length = received;
    *addr = from.sin_addr.s_addr;
    *port = from.sin_port;
    return 0;
}

int SockSetBlocking(SOCKET sock)
{
    u_long on = 0;
    return ioctlsocket(sock, static_cast<long>(FIONBIO), &on) == 0 ? 0 : LastSocketError();
}

int SockSetReceiveTimeout(SOCKET sock, int timeoutMs)
{
    return setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                      sizeof timeoutMs) == 0
               ? 0
               : LastSocketError();
}

int SockPendingBytes(SOCKET sock, unsigned long* bytes)
{
    u_long waiting = 0;
    if (ioctlsocket(sock, static_cast<long>(FIONREAD), &waiting) != 0)
        return LastSocketError();
    *bytes = waiting;
    return 0;
}

void SockClose(SOCKET sock)
{
    shutdown(sock, 2);
    closesocket(sock);
}
