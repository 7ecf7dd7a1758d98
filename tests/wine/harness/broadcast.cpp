// kestrin_broadcast: plays to a running program what the system and other
// programs do: the broadcast of a resume from sleep or of a change of the
// clock, and a file held open; and Set Time to the test host.
//
// Usage: kestrin_broadcast.exe resume | timechange | sendnow | hold FILE SECONDS
//   resume      WM_POWERBROADCAST with PBT_APMRESUMEAUTOMATIC, then with
//               PBT_APMRESUMESUSPEND, as a wake-up with a user present gives
//   timechange  WM_TIMECHANGE
//   sendnow     the message "KestrinSendNow", on which the test host asks
//               its server at once (what Set Time does in the program)
//   hold        opens FILE as a viewer of a log does (others may read and
//               write it, not move or delete it), prints "held", and keeps it
//               open for SECONDS or until stopped
// Exit status 0 when every broadcast was delivered (or the file was held), 1
// when one was not, 2 for a wrong argument.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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
    if (argc == 2 && std::strcmp(argv[1], "sendnow") == 0)
        return Broadcast(RegisterWindowMessageA("KestrinSendNow"), 0) ? 0 : 1;
    if (argc == 4 && std::strcmp(argv[1], "hold") == 0) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 1;
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::atoi(argv[3])) * 1000u);
        CloseHandle(file);
        return 0;
    }
    std::fprintf(stderr, "usage: kestrin_broadcast resume | timechange | sendnow | hold FILE SECONDS\n");
    return 2;
}
