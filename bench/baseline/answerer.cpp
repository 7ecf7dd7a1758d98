// The bare SNTP answerer the server bench measures Kestrin against: a hidden
// window, Windows Sockets 1.1 with WSAAsyncSelect on the NTP port, the same
// batch reading and the same socket calls as Kestrin's service, and a
// 48-byte mode-4 answer to each mode-3 request, nothing else. What it
// answers per second is what Wine allows any such program on the machine.
// Stops when its process is killed. An argument, if given, is the receive
// buffer to ask for in bytes instead (the bench's measure of a small buffer
// as the bound on how long a request may wait).
#include <windows.h>
#include <winsock.h>

#include <cstdlib>

#include "bench/baseline/systemnow.h"
#include "service/ntppacket.h"
#include "service/readbatch.h"
#include "service/sockets.h"

namespace {

const UINT kSocketNotify = WM_USER + 1;
const long kSocketEvents = FD_READ | FD_WRITE | FD_OOB;  // as the service asks
const int kReceiveBufferBytes = 4 * 1024 * 1024;         // as the service asks
const uint16_t kNtpPort = 123;

class Answerer final : public DatagramReader {
public:
    SOCKET sock = INVALID_SOCKET;
    HWND window = nullptr;

    ReadOutcome ReadOne(bool) override
    {
        NtpPacket packet{};
        int length = 0;
        uint32_t addr = 0;
        uint16_t port = 0;
        int error = SockReceiveFrom(sock, packet.bytes, kDatagramBufferSize, &length, &addr, &port);
        if (error == WSAEMSGSIZE)
            return ReadOutcome::Taken;
        if (error != 0)
            return ReadOutcome::NothingTaken;
        if (length >= static_cast<int>(kNtpPacketSize) &&
            ClassifyDatagram(packet) == DatagramKind::ClientRequest) {
            BuildAnswer(&packet, SystemNtpNow(), 0);
            SockSendTo(sock, packet.bytes, kNtpPacketSize, addr, port);
        }
        return ReadOutcome::Taken;
    }

    void SetNotifications(bool on) override
    {
        SockSelectEvents(sock, window, kSocketNotify, on ? kSocketEvents : 0);
    }
};

Answerer g_answerer;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kSocketNotify && WSAGETSELECTEVENT(lParam) == FD_READ) {
        ReadBatch(g_answerer);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    const long asked = std::strtol(commandLine, nullptr, 10);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = "BareAnswerer";
    if (RegisterClassA(&wc) == 0)
        return 1;
    // Never shown, as the service's window.
    g_answerer.window = CreateWindowA("BareAnswerer", "Answerer", WS_OVERLAPPED, 0, 0, 0, 0,
                                      nullptr, nullptr, instance, nullptr);
    WORD version = 0;
    if (g_answerer.window == nullptr || SockStartup(&version) != 0 ||
        SockOpenUdp(&g_answerer.sock) != 0 || SockSetNonBlocking(g_answerer.sock) != 0)
        return 2;
    SockSetReceiveBuffer(g_answerer.sock,
                         asked > 0 ? static_cast<int>(asked) : kReceiveBufferBytes);
    if (SockBind(g_answerer.sock, htons(kNtpPort)) != 0)
        return 3;
    g_answerer.SetNotifications(true);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    SockClose(g_answerer.sock);
    SockCleanup();
    return 0;
}
