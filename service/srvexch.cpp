// TimeService: the exchange's own socket. Each request goes from a new UDP
// socket on a random port, and only a reply read there can answer it: a
// forger off the path must guess the port as well as the 64-bit stamp, and
// networks that drop UDP to port 123 towards homes let the reply through.
#include "service/timesrvc.h"

#include "service/randsrc.h"
#include "service/sockets.h"

namespace {

// The dynamic ports (49152 to 65535): no service is registered there, so
// holding one until the next request takes nothing from anybody.
const uint32_t kFirstDynamicPort = 49152;
const uint32_t kDynamicPorts = 65536 - kFirstDynamicPort;
// Draws before the system's own choice is taken: one draw in use is rare,
// several in a row mean the range is crowded.
const int kPortDraws = 8;

}  // namespace

int TimeService::OpenExchangeSocket()
{
    CloseExchangeSocket();
    SOCKET s = INVALID_SOCKET;
    int error = SockOpenUdp(&s);
    if (error != 0)
        return error;
    error = SockSetNonBlocking(s);
    // Drawn here, not left to the system: some hand out ports in turn, which
    // anyone who saw one request can follow.
    uint16_t port = 0;
    for (int draw = 0; error == 0 && draw < kPortDraws; ++draw) {
        port = htons(static_cast<uint16_t>(kFirstDynamicPort + RandomBits() % kDynamicPorts));
        if (SockBind(s, port) == 0)
            break;
        port = 0;
    }
    if (error == 0 && port == 0)
        error = SockBind(s, 0);
    if (error == 0)
        error = SockSelectEvents(s, handle_, WM_EXCHANGE_NOTIFY, kSocketEvents);
    if (error != 0) {
        SockClose(s);
        return error;
    }
    exchangeSock = s;
    exchangeQueue = QueueWait{};  // a new socket: nothing has waited in it
    exchangePort = port;
    return 0;
}

void TimeService::CloseExchangeSocket()
{
    if (exchangeSock == INVALID_SOCKET)
        return;
    SockClose(exchangeSock);
    exchangeSock = INVALID_SOCKET;
    exchangePort = 0;
}
