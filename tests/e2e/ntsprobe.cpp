// ntsprobe.exe: drives KESTNTS.DLL through NtsLink as kestrin will, for the
// end-to-end tests: one key exchange (on the DLL's thread, its end posted
// to a message-only window), then POLLS protected requests to the server the
// exchange named, one line per step on standard output. With "tamper" each
// authentic reply is also offered again (a replay), with one bit of its
// encrypted fields flipped, and once more after the next request (a reply
// to another request); each must be refused. With "plain" it sends plain
// version-4 requests to HOST port 123 instead (no key exchange), for the
// bench; with "restart" the key exchange is started twice in a row (see
// KeyExchange). The last line gives the milliseconds from start to the key
// exchange's end and to the first reply taken.
// Usage: ntsprobe DLL HOST PORT ROOTS|- POLLS [FLOOR_EPOCH_SECONDS] [tamper|plain|restart]
#include <winsock.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "nts/ntslink_win32.h"

namespace {

const UINT kKeyExchangeDone = WM_APP + 1;
const UINT_PTR kGiveUpTimer = 1;

// Runs the key exchange as the program does and waits for its message,
// 30 s at most. With restart, a first exchange is started and at once
// replaced by a second (as when the server changes): the first one's end
// must bring nothing.
bool KeyExchange(NtsLink* link, const char* server, int64_t floor, bool restart, char* reason)
{
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (window == nullptr || !link->StartKeyExchange(server, window, kKeyExchangeDone, floor, reason))
        return false;
    if (restart && !link->StartKeyExchange(server, window, kKeyExchangeDone, floor, reason))
        return false;
    SetTimer(window, kGiveUpTimer, 30000, nullptr);
    MSG msg;
    bool done = false, ok = false;
    int ends = restart ? 2 : 1;
    while (!done && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == window && msg.message == kKeyExchangeDone) {
            const bool taken = link->FinishKeyExchange(msg.lParam, reason);
            if (restart)
                std::printf("end: %d '%s' ready %d\n", taken ? 1 : 0, reason, link->Ready() ? 1 : 0);
            ok = ok || taken;
            done = --ends == 0;
        } else if (msg.hwnd == window && msg.message == WM_TIMER) {
            std::strcpy(reason, "probe: no end of the key exchange in 30 s");
            done = true;
        } else {
            DispatchMessageA(&msg);
        }
    }
    DestroyWindow(window);
    return ok;
}

double NowNtp()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    // 1601 to 1900: 9435484800 s the other way round.
    return static_cast<double>(ticks) / 1e7 - 9435484800.0;
}

double ReadStamp(const uint8_t* p)
{
    const unsigned long s = (static_cast<unsigned long>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    const unsigned long f = (static_cast<unsigned long>(p[4]) << 24) | (p[5] << 16) | (p[6] << 8) | p[7];
    return static_cast<double>(s) + static_cast<double>(f) / 4294967296.0;
}

void WriteStamp(uint8_t* p, double t)
{
    const unsigned long s = static_cast<unsigned long>(t);
    const unsigned long f = static_cast<unsigned long>((t - static_cast<double>(s)) * 4294967296.0);
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(s >> (24 - 8 * i));
        p[4 + i] = static_cast<uint8_t>(f >> (24 - 8 * i));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: ntsprobe DLL HOST PORT ROOTS|- POLLS [FLOOR] [tamper|plain|restart]\n");
        return 64;
    }
    const DWORD start = GetTickCount();
    DWORD keMs = 0, firstMs = 0;
    const int polls = std::atoi(argv[5]);
    const bool tamper = argc > 7 && std::strcmp(argv[7], "tamper") == 0;
    const bool plain = argc > 7 && std::strcmp(argv[7], "plain") == 0;
    const bool restart = argc > 7 && std::strcmp(argv[7], "restart") == 0;
    NtsLink link;
    link.Configure(argv[1], std::strcmp(argv[4], "-") == 0 ? nullptr : argv[4]);
    char reason[KESTRIN_NTS_REASON_BYTES];
    uint16_t port = 123;
    const char* server = argv[2];
    char keServer[300];
    std::snprintf(keServer, sizeof keServer, "%s:%s", argv[2], argv[3]);
    if (!plain) {
        if (!KeyExchange(&link, keServer, argc > 6 ? std::atoll(argv[6]) : 0, restart, reason)) {
            std::printf("ke: %s\n", reason);
            return 1;
        }
        server = link.NtpServer(&port);
        keMs = GetTickCount() - start;
        std::printf("ke: ok server %s port %u cookies %u\n", server, port, static_cast<unsigned>(link.Cookies()));
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = inet_addr(server);
    if (to.sin_addr.s_addr == INADDR_NONE) {
        const hostent* h = gethostbyname(server);
        if (h == nullptr) {
            std::printf("ntp: %s not found\n", server);
            return 1;
        }
        std::memcpy(&to.sin_addr, h->h_addr_list[0], 4);
    }
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    int authentic = 0;
    std::vector<uint8_t> lastReply;
    for (int i = 1; i <= polls; ++i) {
        uint8_t packet[2304] = {0x23};
        const double t1 = NowNtp();
        WriteStamp(packet + 40, t1);
        const size_t size = plain ? 48 : link.Protect(packet, sizeof packet);
        if (size == 0) {
            std::printf("poll %d: no cookie left\n", i);
            break;
        }
        // The cookie's first bytes name it in the log (field at 48 + 36).
        if (!plain)
            std::printf("poll %d: cookie ", i);
        for (int k = 0; !plain && k < 16; ++k)
            std::printf("%02x", packet[48 + 36 + 4 + k]);
        if (!plain)
            std::printf(" size %u\n", static_cast<unsigned>(size));
        if (tamper && !lastReply.empty()) {
            const int r = link.Check(lastReply.data(), lastReply.size(), reason);
            std::printf("poll %d: old reply: %d %s\n", i, r, reason);
        }
        send(s, reinterpret_cast<const char*>(packet), static_cast<int>(size), 0);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval tv{3, 0};
        uint8_t reply[2304];
        int n = 0;
        if (select(0, &set, nullptr, nullptr, &tv) == 1)
            n = recv(s, reinterpret_cast<char*>(reply), sizeof reply, 0);
        const double t4 = NowNtp();
        if (n <= 0) {
            std::printf("poll %d: no reply\n", i);
            continue;
        }
        if (plain) {
            if (firstMs == 0)
                firstMs = GetTickCount() - start;
            ++authentic;
            std::printf("poll %d: plain offset %.3f\n", i,
                        ((ReadStamp(reply + 32) - t1) + (ReadStamp(reply + 40) - t4)) / 2);
            continue;
        }
        std::vector<uint8_t> flipped(reply, reply + n);
        flipped[n - 5] ^= 0x10;  // inside the ciphertext
        if (tamper) {
            const int r = link.Check(flipped.data(), flipped.size(), reason);
            std::printf("poll %d: flipped: %d %s\n", i, r, reason);
        }
        const int r = link.Check(reply, static_cast<size_t>(n), reason);
        const double offset = ((ReadStamp(reply + 32) - t1) + (ReadStamp(reply + 40) - t4)) / 2;
        // A NAK drops the association, and its cookie count with it.
        std::printf("poll %d: %d %s offset %.3f stratum %u cookies %u\n", i, r, reason, offset, reply[1],
                    static_cast<unsigned>(link.Ready() ? link.Cookies() : 0));
        if (r == 1) {
            ++authentic;
            if (firstMs == 0)
                firstMs = GetTickCount() - start;
            lastReply.assign(reply, reply + n);
            if (tamper) {
                const int again = link.Check(reply, static_cast<size_t>(n), reason);
                std::printf("poll %d: replayed: %d %s\n", i, again, reason);
            }
        }
        std::fflush(stdout);
    }
    closesocket(s);
    std::printf("time: key exchange %lu ms, first reply taken %lu ms\n", static_cast<unsigned long>(keMs),
                static_cast<unsigned long>(firstMs));
    std::printf("authentic %d of %d\n", authentic, polls);
    return authentic == polls ? 0 : 1;
}
