// A scripted stand-in for the socket layer (service/sockets.h): start-up
// results, datagrams waiting to be read, sends recorded, lookups completed
// by the test. Sockets are numbered as opened from kFirstSocket on: the
// first is the NTP port's, each later one an exchange's. Linked into the test instead of service/sockets.cpp.
#pragma once

#include <winsock.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

inline constexpr SOCKET kFirstSocket = 7;

struct FakeDatagram {
    std::vector<uint8_t> bytes;
    uint32_t addr;  // network order
    uint16_t port;  // network order
    SOCKET sock = 0;  // sent from, or waiting at (0: read by any socket)
};

struct FakeBind {
    SOCKET sock;
    uint16_t port;  // network order
};

struct FakeNet {
    // What the calls return (0: success).
    int startupError = 0;
    WORD version = 0x0101;
    int openError = 0;  // every open
    int nonBlockError = 0;
    std::deque<int> bindErrors;  // one per bind, then 0
    int selectError = 0;
    int lookupError = 0;
    std::deque<int> sendErrors;  // one per send, then 0
    int receiveError = 0;        // when the inbox is empty: WSAEWOULDBLOCK

    // What happened.
    std::vector<uint16_t> bindPorts;
    std::vector<FakeBind> binds;  // the same, with their sockets
    SOCKET lastOpened = 0;
    std::vector<SOCKET> closed;
    std::vector<FakeDatagram> sent;
    std::deque<FakeDatagram> inbox;
    std::vector<std::string> lookups;
    std::vector<HANDLE> cancelled;
    char* lookupBuffer = nullptr;
    int lookupSize = 0;
    HANDLE lookupTask = nullptr;
    HWND lookupWindow = nullptr;
    int cleanups = 0;
    int closes = 0;
    int pendingAsks = 0;  // FIONREAD calls
    int looped = 0;       // sends to the loopback, which come back to the inbox
};

// The one fake, back to its defaults.
FakeNet& Net();
void ResetNet();

// Completes the outstanding lookup as the platform does: the host entry
// (addr, network order) in the caller's buffer, then WM_USER+3.
void CompleteLookup(uint32_t addr);
void FailLookup(int error);
