// ntsprobe.exe: drives KESTNTS.DLL as kestrin will, for the end-to-end
// tests: one key exchange, then POLLS protected requests to the server the
// exchange named, one line per step on standard output. With "tamper" each
// authentic reply is also offered again (a replay), with one bit of its
// encrypted fields flipped, and once more after the next request (a reply
// to another request); each must be refused. With "plain" it sends plain
// version-4 requests to HOST port 123 instead (no key exchange), for the
// bench. The last line gives the milliseconds from start to the key
// exchange's end and to the first reply taken.
// Usage: ntsprobe DLL HOST PORT ROOTS|- POLLS [FLOOR_EPOCH_SECONDS] [tamper|plain]
#include <winsock.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "nts/ntsclient.h"

namespace {

struct Api {
    decltype(&NtsKeRun) keRun;
    decltype(&NtsNtpServer) ntpServer;
    decltype(&NtsWriteRequest) writeRequest;
    decltype(&NtsCheckReply) checkReply;
    decltype(&NtsCookieCount) cookieCount;
    decltype(&NtsFree) free;
};

template <typename F>
bool Take(HMODULE dll, const char* name, F* f)
{
    *f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return *f != nullptr;
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
        std::fprintf(stderr, "usage: ntsprobe DLL HOST PORT ROOTS|- POLLS [FLOOR] [tamper]\n");
        return 64;
    }
    HMODULE dll = LoadLibraryA(argv[1]);
    Api api{};
    if (dll == nullptr || !Take(dll, "NtsKeRun", &api.keRun) || !Take(dll, "NtsNtpServer", &api.ntpServer) ||
        !Take(dll, "NtsWriteRequest", &api.writeRequest) || !Take(dll, "NtsCheckReply", &api.checkReply) ||
        !Take(dll, "NtsCookieCount", &api.cookieCount) || !Take(dll, "NtsFree", &api.free)) {
        std::printf("dll: cannot load %s\n", argv[1]);
        return 2;
    }
    const DWORD start = GetTickCount();
    DWORD keMs = 0, firstMs = 0;
    const int polls = std::atoi(argv[5]);
    const bool tamper = argc > 7 && std::strcmp(argv[7], "tamper") == 0;
    const bool plain = argc > 7 && std::strcmp(argv[7], "plain") == 0;
    NtsKeParams params{};
    params.size = sizeof params;
    params.host = argv[2];
    params.port = static_cast<uint16_t>(std::atoi(argv[3]));
    params.rootsFile = std::strcmp(argv[4], "-") == 0 ? nullptr : argv[4];
    params.floorEpochSeconds = argc > 6 ? std::atoll(argv[6]) : 0;
    params.timeoutMs = 10000;
    char reason[KESTRIN_NTS_REASON_BYTES];
    NtsAssociation* a = nullptr;
    uint16_t port = 123;
    const char* server = argv[2];
    if (!plain) {
        a = api.keRun(&params, reason);
        if (a == nullptr) {
            std::printf("ke: %s\n", reason);
            return 1;
        }
        server = api.ntpServer(a, &port);
        keMs = GetTickCount() - start;
        std::printf("ke: ok server %s port %u cookies %u\n", server, port,
                    static_cast<unsigned>(api.cookieCount(a)));
    }
    std::fflush(stdout);

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
        const size_t size = plain ? 48 : api.writeRequest(a, packet, sizeof packet);
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
            const int r = api.checkReply(a, lastReply.data(), lastReply.size(), reason);
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
            const int r = api.checkReply(a, flipped.data(), flipped.size(), reason);
            std::printf("poll %d: flipped: %d %s\n", i, r, reason);
        }
        const int r = api.checkReply(a, reply, static_cast<size_t>(n), reason);
        const double offset = ((ReadStamp(reply + 32) - t1) + (ReadStamp(reply + 40) - t4)) / 2;
        std::printf("poll %d: %d %s offset %.3f stratum %u cookies %u\n", i, r, reason, offset, reply[1],
                    static_cast<unsigned>(api.cookieCount(a)));
        if (r == 1) {
            ++authentic;
            if (firstMs == 0)
                firstMs = GetTickCount() - start;
            lastReply.assign(reply, reply + n);
            if (tamper) {
                const int again = api.checkReply(a, reply, static_cast<size_t>(n), reason);
                std::printf("poll %d: replayed: %d %s\n", i, again, reason);
            }
        }
        std::fflush(stdout);
    }
    closesocket(s);
    if (a != nullptr)
        api.free(a);
    std::printf("time: key exchange %lu ms, first reply taken %lu ms\n", static_cast<unsigned long>(keMs),
                static_cast<unsigned long>(firstMs));
    std::printf("authentic %d of %d\n", authentic, polls);
    return authentic == polls ? 0 : 1;
}
