// The plain SNTP answerer the server bench measures Kestrin against: Windows
// Sockets 1.1, one blocking socket on the NTP port read by a thread of its
// own in a loop of recvfrom and sendto, a 48-byte mode-4 answer to each
// mode-3 request, and nothing else (no window, no notifications, no
// batches). Its receive buffer is the size Kestrin asks for. Stops when its
// process is killed.
#include <windows.h>
#include <winsock.h>

#include "bench/baseline/systemnow.h"
#include "service/ntppacket.h"

namespace {

const int kReceiveBufferBytes = 4 * 1024 * 1024;  // as Kestrin asks
const u_short kNtpPort = 123;

DWORD WINAPI AnswerLoop(LPVOID param)
{
    const SOCKET sock = *static_cast<SOCKET*>(param);
    // Bounded only by the process's life: the bench kills it.
    for (;;) {
        NtpPacket packet{};
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int length = recvfrom(sock, reinterpret_cast<char*>(packet.bytes),
                                    kDatagramBufferSize, 0, reinterpret_cast<sockaddr*>(&from),
                                    &fromLength);
        if (length < static_cast<int>(kNtpPacketSize) ||
            ClassifyDatagram(packet) != DatagramKind::ClientRequest)
            continue;
        BuildAnswer(&packet, SystemNtpNow(), 0);
        sendto(sock, reinterpret_cast<const char*>(packet.bytes), kNtpPacketSize, 0,
               reinterpret_cast<const sockaddr*>(&from), fromLength);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    WSADATA data{};
    if (WSAStartup(0x0101, &data) != 0)
        return 1;
    SOCKET sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock == INVALID_SOCKET)
        return 2;
    int bytes = kReceiveBufferBytes;
    setsockopt(sock, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kNtpPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return 3;
    HANDLE thread = CreateThread(nullptr, 0, AnswerLoop, &sock, 0, nullptr);
    if (thread == nullptr)
        return 4;
    WaitForSingleObject(thread, INFINITE);
    return 0;
}
