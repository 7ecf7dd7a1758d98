// Command-line driver for scripts: start kestrin.exe and time it, watch its status line, set fields, press buttons.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/wine/app_probe.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: app_driver rect SECONDS | status | watch SECONDS | set ID TEXT |\n"
                 "       click ID | escape | startup EXE [ARGS]\n");
    return 64;
}

HWND FrameOrFail(DWORD ms)
{
    HWND frame = FindAnyFrame(ms);
    if (frame == nullptr)
        std::fprintf(stderr, "app_driver: no Kestrin window\n");
    return frame;
}

DWORD Seconds(const char* text)
{
    return static_cast<DWORD>(std::atoi(text)) * 1000u;
}

// Prints the status line each time it changes until the window goes.
int Watch(DWORD ms)
{
    HWND frame = FrameOrFail(ms);
    if (frame == nullptr)
        return 1;
    const DWORD start = GetTickCount();
    std::string last = "\x01";
    while (GetTickCount() - start < ms) {
        if (!IsWindow(frame))
            return 0;
        const std::string now = TextOf(Control(frame, 109));
        if (now != last && IsWindow(frame)) {
            std::printf("%6.1f s  status: %s\n", (GetTickCount() - start) / 1000.0, now.c_str());
            std::fflush(stdout);
            last = now;
        }
        Pump(50);
    }
    return 2;
}

// Milliseconds from the start to the window shown and to the first request.
int Startup(const std::string& exe, const std::string& args)
{
    const DWORD start = GetTickCount();
    AppRun run;
    if (!LaunchApp(WinPathOf(exe), args, &run)) {
        std::fprintf(stderr, "app_driver: cannot start %s\n", exe.c_str());
        return 1;
    }
    HWND frame = nullptr;
    DWORD shown = 0, requested = 0;
    while (GetTickCount() - start < 30000 && (shown == 0 || requested == 0)) {
        if (frame == nullptr)
            frame = WaitFrame(run, 5);
        if (frame != nullptr && shown == 0 && IsWindowVisible(frame))
            shown = GetTickCount() - start;
        if (frame != nullptr && requested == 0 &&
            TextOf(Control(frame, 109)).rfind("NTP Request sent", 0) == 0)
            requested = GetTickCount() - start;
        Pump(5);
    }
    std::printf("window shown after      %lu ms\n", static_cast<unsigned long>(shown));
    std::printf("first request sent after %lu ms\n", static_cast<unsigned long>(requested));
    std::printf("pid %lu\n", static_cast<unsigned long>(run.pi.dwProcessId));
    return shown != 0 && requested != 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string cmd = argv[1];
    if (cmd == "rect" && argc == 3) {
        HWND frame = FrameOrFail(Seconds(argv[2]));
        if (frame == nullptr)
            return 1;
        RECT r{};
        GetWindowRect(frame, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (cmd == "status") {
        HWND frame = FrameOrFail(5000);
        if (frame == nullptr)
            return 1;
        std::printf("%s\n", TextOf(Control(frame, 109)).c_str());
        return 0;
    }
    if (cmd == "watch" && argc == 3)
        return Watch(Seconds(argv[2]));
    if (cmd == "set" && argc == 4) {
        HWND frame = FrameOrFail(5000);
        if (frame == nullptr)
            return 1;
        SetTextOf(Control(frame, std::atoi(argv[2])), argv[3]);
        return 0;
    }
    if (cmd == "click" && argc == 3) {
        HWND frame = FrameOrFail(5000);
        if (frame == nullptr)
            return 1;
        ClickButton(frame, std::atoi(argv[2]));
        return 0;
    }
    if (cmd == "escape") {
        HWND frame = FrameOrFail(5000);
        if (frame == nullptr)
            return 1;
        PostKey(Control(frame, 104), VK_ESCAPE);
        return 0;
    }
    if (cmd == "startup" && argc >= 3) {
        std::string args;
        for (int i = 3; i < argc; ++i)
            args += (i > 3 ? " " : "") + std::string(argv[i]);
        return Startup(argv[2], args);
    }
    return Usage();
}
