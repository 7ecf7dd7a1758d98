// kestrin_broadcast: sends to every top-level window what the system sends
// when the machine resumes from sleep, or what a program that changed the
// clock sends, so scripts can play those events to a running program.
//
// Usage: kestrin_broadcast.exe resume | timechange
//   resume      WM_POWERBROADCAST with PBT_APMRESUMEAUTOMATIC, then with
//               PBT_APMRESUMESUSPEND, as a wake-up with a user present gives
//   timechange  WM_TIMECHANGE
// Exit status 0 when every broadcast was delivered, 1 when one was not, 2
// for a wrong argument.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool Broadcast(UINT message, WPARAM wParam)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(HWND_BROADCAST, message, wParam, 0, SMTO_ABORTIFHUNG, 5000,
                               &result) != 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "resume") == 0)
        return Broadcast(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC) &&
                       Broadcast(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND)
                   ? 0
                   : 1;
    if (argc == 2 && std::strcmp(argv[1], "timechange") == 0)
        return Broadcast(WM_TIMECHANGE, 0) ? 0 : 1;
    std::fprintf(stderr, "usage: kestrin_broadcast resume | timechange\n");
    return 2;
}
