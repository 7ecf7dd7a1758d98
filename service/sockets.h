// Thin layer over Windows Sockets 1.1 (WSOCK32) for the time service: each
// call is wrapped once, and a failure comes back as its WSAGetLastError code.
// Addresses and ports are IPv4 values in network order throughout. Tests
// link a scripted fake in place of sockets.cpp.
#pragma once

#include <winsock.h>

#include <cstdint>

// WSAStartup asking for version 1.1. Returns 0 and the granted version in
// *version (low byte major, high byte minor), else WSAStartup's error code.
int SockStartup(WORD* version);

// WSACleanup; its result is of no use.
void SockCleanup();

// A UDP socket (AF_INET, SOCK_DGRAM) in *sock. Returns 0, else the code.
int SockOpenUdp(SOCKET* sock);

// Non-blocking mode (FIONBIO = 1). Returns 0, else the code.
int SockSetNonBlocking(SOCKET sock);

// Asks for a receive buffer of bytes (SO_RCVBUF); the system may grant
// less. Returns 0, else the code.
int SockSetReceiveBuffer(SOCKET sock, int bytes);

// The UDP port of the services entry name, or fallback when there is none.
uint16_t SockServicePort(const char* name, uint16_t fallback);

// Binds to INADDR_ANY at port (0: a port the system chooses). Returns 0,
// else the code.
int SockBind(SOCKET sock, uint16_t port);

// Asks for message to be posted to window for events (FD_READ, ...).
// Returns 0, else the code.
int SockSelectEvents(SOCKET sock, HWND window, UINT message, long events);

// inet_addr: the address of a dotted name, INADDR_NONE when it is none
// (255.255.255.255 included, which inet_addr cannot tell apart).
uint32_t SockParseAddress(const char* dotted);

// Starts WSAAsyncGetHostByName for name into buffer (size bytes, owned by
// the caller until the completion message has been handled or the lookup
// cancelled). Returns 0 and the task in *task, else the code.
int SockStartLookup(HWND window, UINT message, const char* name, char* buffer, int size,
                    HANDLE* task);

// WSACancelAsyncRequest. Returns 0, else the code (WSAEALREADY: the lookup
// had completed).
int SockCancelLookup(HANDLE task);

// Sends length bytes to addr:port. Returns 0, else the code
// (WSAEWOULDBLOCK: try again on FD_WRITE).
int SockSendTo(SOCKET sock, const uint8_t* data, int length, uint32_t addr, uint16_t port);

// Receives one datagram of up to size bytes. Returns 0 with *length (0 for
// an empty datagram) and the sender, else the code (WSAEMSGSIZE: the
// datagram was longer than size and is lost; WSAEWOULDBLOCK: none waiting).
int SockReceiveFrom(SOCKET sock, uint8_t* buffer, int size, int* length, uint32_t* addr,
                    uint16_t* port);

// Blocking mode (FIONBIO = 0), for a socket read by a thread of its own;
// notifications (SockSelectEvents) must be off first. Returns 0, else the code.
int SockSetBlocking(SOCKET sock);

// A blocking receive gives up after timeoutMs (SO_RCVTIMEO) with
// WSAETIMEDOUT. Returns 0, else the code (a Windows Sockets 1.1 without the
// option refuses it).
int SockSetReceiveTimeout(SOCKET sock, int timeoutMs);

// The bytes waiting to be read (FIONREAD) in *bytes: 0 when nothing waits.
// Returns 0, else the code.
int SockPendingBytes(SOCKET sock, unsigned long* bytes);

// Shuts down both directions and closes the socket.
void SockClose(SOCKET sock);
