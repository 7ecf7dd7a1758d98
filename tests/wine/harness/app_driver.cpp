// Command-line driver for scripts: start kestrin.exe and time it, watch its status line, set fields, press buttons, open its dialogs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/harness/app_probe.h"
#include "resources/resource.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: app_driver rect SECONDS | shown SECONDS | status | text ID | wait-status PREFIX SECONDS |\n"
                 "       watch SECONDS | set ID TEXT |\n"
                 "       click ID | escape | ping SECONDS |\n"
                 "       startup|startup-window|first-reply EXE [ARGS] |\n"
                 "       open tz|stats|about | close tz|stats|about | stats |\n"
                 "       command ID | context ID | help-rect TEXT SECONDS | help-close |\n"
                 "       pipe TEXT [BYTES] | pipe-once TEXT | asks COUNT | hold SECONDS |\n"
                 "       standin SECONDS REPLY|-\n");
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

const char kStatusLog[] = "C:\\windows\\temp\\kestrin-status.log";

// Loads app_hook.dll (beside this program) into the thread of frame, which
// then logs every text its status line is given, even one shown only for
// an instant before the program ends. Returns false when it cannot.
bool HookStatusLine(HWND frame)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dll = path;
    dll = dll.substr(0, dll.find_last_of('\\') + 1) + "app_hook.dll";
    return HookWindowThread(frame, WH_CALLWNDPROCRET, dll, "StatusHookProc");
}

// Prints the lines the hook added to the log since offset.
void PrintNewLog(long* offset, DWORD start)
{
    FILE* f = std::fopen(kStatusLog, "rb");
    if (f == nullptr)
        return;
    std::fseek(f, *offset, SEEK_SET);
    char line[512];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        char* text = std::strchr(line, ' ');
        const unsigned long tick = std::strtoul(line, nullptr, 10);
        std::printf("%6.1f s  status: %s", (tick - start) / 1000.0, text != nullptr ? text + 1 : line);
    }
    *offset = std::ftell(f);
    std::fclose(f);
    std::fflush(stdout);
}

// Prints each text the status line is given until the window goes.
int Watch(DWORD ms)
{
    std::remove(kStatusLog);
    HWND frame = FrameOrFail(ms);
    if (frame == nullptr)
        return 1;
    const DWORD start = GetTickCount();
    if (!HookStatusLine(frame))
        std::fprintf(stderr, "app_driver: cannot hook the status line\n");
    // The first line tells a script that the hook is in place.
    std::printf("%6.1f s  status: %s\n", 0.0, TextOf(Control(frame, IDC_STATUS)).c_str());
    std::fflush(stdout);
    long offset = 0;
    int status = 2;
    while (GetTickCount() - start < ms) {
        PrintNewLog(&offset, start);
        if (!IsWindow(frame)) {
            status = 0;
            break;
        }
        Pump(50);
    }
    Pump(200);
    PrintNewLog(&offset, start);
    return status;
}

// How long the program's thread takes to answer a message while it works:
// a status-line read every 20 ms for the given time; prints the count, the
// median and the longest wait in milliseconds.
int Ping(DWORD ms)
{
    HWND frame = FrameOrFail(5000);
    if (frame == nullptr)
        return 1;
    HWND status = Control(frame, IDC_STATUS);
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> waits;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms && waits.size() < 100000) {
        DWORD_PTR length = 0;
        QueryPerformanceCounter(&t0);
        if (SendMessageTimeoutA(status, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length) == 0)
            break;
        QueryPerformanceCounter(&t1);
        waits.push_back(1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                        static_cast<double>(frequency.QuadPart));
        Sleep(20);
    }
    if (waits.empty())
        return 2;
    std::sort(waits.begin(), waits.end());
    std::printf("pings=%u median_ms=%.2f max_ms=%.2f\n", static_cast<unsigned>(waits.size()),
                waits[waits.size() / 2], waits.back());
    return 0;
}

struct VisibleSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchVisible(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<VisibleSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

enum class StartupWait { Window, Request, Reply };

// Milliseconds from the start to the process's first visible window and, as
// asked, to the first request and the first reply on its status line
// (control 109); then closes the program. Any program with a top-level
// window can be timed this way: the benches time a bare one beside Kestrin.
int Startup(const std::string& exe, const std::string& args, StartupWait wait)
{
    const DWORD start = GetTickCount();
    AppRun run;
    if (!LaunchApp(WinPathOf(exe), args, &run)) {
        std::fprintf(stderr, "app_driver: cannot start %s\n", exe.c_str());
        return 1;
    }
    HWND frame = nullptr, status = nullptr;
    DWORD shown = 0, requested = 0, replied = 0;
    std::string reply;
    // A reply from a near server may replace the request's text before it
    // is seen: the reply alone ends that wait.
    auto done = [&] {
        return shown != 0 && (wait == StartupWait::Window ||
                              (wait == StartupWait::Request ? requested != 0 : replied != 0));
    };
    while (GetTickCount() - start < 30000 && !done()) {
        if (frame == nullptr) {
            VisibleSearch search{run.pi.dwProcessId, nullptr};
            EnumWindows(MatchVisible, reinterpret_cast<LPARAM>(&search));
            if ((frame = search.found) != nullptr)
                shown = GetTickCount() - start;
        }
        if (frame != nullptr && status == nullptr)
            status = Control(frame, IDC_STATUS);
        if (status != nullptr && wait != StartupWait::Window) {
            const std::string text = TextOf(status);
            if (requested == 0 && text.rfind("NTP Request sent", 0) == 0)
                requested = GetTickCount() - start;
            if (replied == 0 && (text.rfind("Last set:", 0) == 0 || text.rfind("Clock NOT", 0) == 0)) {
                replied = GetTickCount() - start;
                reply = text;
            }
        }
        if (WaitForSingleObject(run.pi.hProcess, 0) == WAIT_OBJECT_0)
            break;
        Pump(1);
    }
    std::printf("window shown after       %lu ms\n", static_cast<unsigned long>(shown));
    if (wait != StartupWait::Window)
        std::printf("first request sent after %lu ms\n", static_cast<unsigned long>(requested));
    if (wait == StartupWait::Reply)
        std::printf("first reply shown after  %lu ms: %s\n", static_cast<unsigned long>(replied),
                    reply.c_str());
    if (frame != nullptr)
        PostMessageA(frame, WM_CLOSE, 0, 0);
    WaitExit(&run, 10000);
    return done() ? 0 : 2;
}

// The secondary dialogs: how each is opened and its caption.
struct DialogKind {
    const char* name;
    int command;  // a main-dialog button, or a menu command of the frame
    bool menu;
    const char* caption;
};
const DialogKind kDialogs[] = {
    {"tz", IDC_SETTZ, false, "Configure Time Zone"},
    {"stats", IDC_STATS, false, "SNTP Statistics"},
    {"about", CM_HELPABOUT, true, "About Kestrin"},
};

const DialogKind* DialogNamed(const char* name)
{
    for (const DialogKind& d : kDialogs)
        if (std::strcmp(d.name, name) == 0)
            return &d;
    return nullptr;
}

// The open dialog of that kind, opening it when it is not; null when it
// did not appear within 10 s.
HWND OpenDialog(HWND frame, const DialogKind& kind)
{
    if (HWND open = WaitWindowTitled(0, kind.caption, 0))
        return open;
    if (kind.menu)
        PostMessageA(frame, WM_COMMAND, static_cast<WPARAM>(kind.command), 0);
    else
        PostClick(frame, kind.command);
    return WaitWindowTitled(0, kind.caption, 10000);
}

// Opens (if need be) the dialog of that kind and prints its window
// rectangle, or for "stats" its counts as "sent received broadcast
// rejected", the order of the scripts' counters.
int Open(const char* name, bool counts)
{
    const DialogKind* kind = DialogNamed(name);
    HWND frame = kind != nullptr ? FrameOrFail(5000) : nullptr;
    if (frame == nullptr)
        return Usage();
    HWND dialog = OpenDialog(frame, *kind);
    if (dialog == nullptr) {
        std::fprintf(stderr, "app_driver: no %s dialog\n", kind->caption);
        return 2;
    }
    if (counts) {
        std::printf("%s %s %s %s\n", TextOf(GetDlgItem(dialog, IDC_SENTCOUNT)).c_str(),
                    TextOf(GetDlgItem(dialog, IDC_RECEIVEDCOUNT)).c_str(),
                    TextOf(GetDlgItem(dialog, IDC_BROADCASTCOUNT)).c_str(),
                    TextOf(GetDlgItem(dialog, IDC_REJECTEDCOUNT)).c_str());
        return 0;
    }
    // Painted before anyone looks at it.
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r{};
    GetWindowRect(dialog, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

// Cancels the open dialog of that kind and waits until it has gone.
int Close(const char* name)
{
    const DialogKind* kind = DialogNamed(name);
    if (kind == nullptr)
        return Usage();
    HWND dialog = WaitWindowTitled(0, kind->caption, 0);
    if (dialog == nullptr)
        return 0;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return WaitGone(dialog, 10000) ? 0 : 2;
}

const char kPipeName[] = "\\\\.\\pipe\\KestrinTimeService";

// The service's pipe, tried for openMs (0: once); INVALID_HANDLE_VALUE when
// it could not be opened.
HANDLE OpenPipe(DWORD openMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE pipe = CreateFileA(kPipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE || GetTickCount() - start >= openMs)
            return pipe;
        Sleep(50);
    }
}

// Reads until the end line or until the other end hangs up.
std::string ReadReply(HANDLE pipe)
{
    std::string reply;
    char buffer[512];
    DWORD got = 0;
    while (reply.size() < 8192 &&
           (reply.size() < 4 || reply.compare(reply.size() - 4, 4, "END\n") != 0) &&
           ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        reply.append(buffer, got);
    return reply;
}

// Writes text (C escapes \\n and \\xHH read) to the service's pipe, or its
// first bytes only, then prints the reply as it came and the time it took
// in milliseconds. 2 when no pipe could be opened within openMs (once: 0).
int Pipe(const std::string& escaped, long bytes, DWORD openMs = 5000)
{
    std::string text;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 1 < escaped.size() && escaped[i + 1] == 'n') {
            text += '\n';
            ++i;
        } else if (escaped[i] == '\\' && i + 3 < escaped.size() && escaped[i + 1] == 'x') {
            text += static_cast<char>(std::strtol(escaped.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            text += escaped[i];
        }
    }
    if (bytes >= 0 && static_cast<size_t>(bytes) < text.size())
        text.resize(static_cast<size_t>(bytes));
    HANDLE pipe = OpenPipe(openMs);
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "app_driver: no service pipe (error %lu)\n", GetLastError());
        return 2;
    }
    const DWORD opened = GetTickCount();
    DWORD written = 0;
    if (!text.empty())
        WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const std::string reply = ReadReply(pipe);
    CloseHandle(pipe);
    std::printf("%sms=%lu\n", reply.c_str(), GetTickCount() - opened);
    return 0;
}

// count SENDNOW requests in a row, each on a connection of its own; prints
// each reply on one line.
int Asks(int count)
{
    const char request[] = "SENDNOW\nEND\n";
    for (int i = 0; i < count && i < 1000; ++i) {
        HANDLE pipe = OpenPipe(5000);
        if (pipe == INVALID_HANDLE_VALUE)
            return 2;
        DWORD written = 0;
        WriteFile(pipe, request, sizeof request - 1, &written, nullptr);
        std::string reply = ReadReply(pipe);
        CloseHandle(pipe);
        std::replace(reply.begin(), reply.end(), '\n', ' ');
        std::printf("%s\n", reply.c_str());
    }
    return 0;
}

// A client that holds a pipe instance and sends nothing, for ms: when the
// service hangs up it opens the pipe again at once.
int Hold(DWORD ms)
{
    const DWORD start = GetTickCount();
    int holds = 0;
    while (GetTickCount() - start < ms) {
        HANDLE pipe = OpenPipe(0);
        if (pipe == INVALID_HANDLE_VALUE) {
            Sleep(5);
            continue;
        }
        if (++holds == 1) {
            std::printf("hold: holding an instance\n");
            std::fflush(stdout);
        }
        char byte;
        DWORD got = 0;
        ReadFile(pipe, &byte, 1, &got, nullptr);  // ends when the service hangs up
        CloseHandle(pipe);
    }
    std::printf("holds=%d\n", holds);
    return 0;
}

DWORD WINAPI EndAfterLimit(void* ms)
{
    Sleep(*static_cast<DWORD*>(ms));
    ExitProcess(0);
}

// Another program that takes the pipe's name first, for ms: it answers each
// request with reply (C escapes read), or with nothing for "-", keeping the
// client until it hangs up. 2 when the name could not be taken.
int StandIn(DWORD ms, const std::string& escaped)
{
    std::string reply;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 1 < escaped.size() && escaped[i + 1] == 'n') {
            reply += '\n';
            ++i;
        } else {
            reply += escaped[i];
        }
    }
    HANDLE pipe = CreateNamedPipeA(kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, 1, 1024, 1024, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "app_driver: the pipe's name is taken (error %lu)\n", GetLastError());
        return 2;
    }
    std::printf("standin: holding the name\n");
    std::fflush(stdout);
    // The time limit: a thread ends the process.
    static DWORD limitMs;
    limitMs = ms;
    CreateThread(nullptr, 0, EndAfterLimit, &limitMs, 0, nullptr);
    for (int clients = 0; clients < 100000; ++clients) {
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            Sleep(10);
        char buffer[1024];
        DWORD got = 0;
        if (reply != "-" && ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) {
            DWORD written = 0;
            WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
            FlushFileBuffers(pipe);
        }
        while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        }
        DisconnectNamedPipe(pipe);
    }
    return 0;
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
        for (int i = 0; i < 500 && !IsWindowVisible(frame); ++i)
            Pump(10);
        RECT r{};
        GetWindowRect(frame, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (cmd == "shown" && argc == 3) {
        // The frame is visible within the time.
        const DWORD start = GetTickCount();
        HWND frame = FrameOrFail(Seconds(argv[2]));
        while (frame != nullptr && !IsWindowVisible(frame) && GetTickCount() - start < Seconds(argv[2]))
            Pump(20);
        return frame != nullptr && IsWindowVisible(frame) ? 0 : 2;
    }
    if ((cmd == "command" || cmd == "context") && argc == 3) {
        // A menu command as the menu sends it; with context, in
        // context-help mode (Shift+F1 first).
        HWND frame = FrameOrFail(5000);
        if (frame == nullptr)
            return 1;
        if (cmd == "context" && !EnterContextHelp(frame, 5000)) {
            std::fprintf(stderr, "app_driver: Shift+F1 changed no cursor\n");
            return 2;
        }
        PostMessageA(frame, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[2])), 0);
        return 0;
    }
    if (cmd == "help-rect" && argc == 4) {
        // The help viewer's rectangle once it shows a topic holding TEXT.
        HWND viewer = WaitHelpViewer(Seconds(argv[3]));
        if (viewer == nullptr || !WaitHelpText(viewer, argv[2], Seconds(argv[3]))) {
            std::fprintf(stderr, "app_driver: no help viewer showing '%s'\n", argv[2]);
            return 2;
        }
        RECT r{};
        GetWindowRect(viewer, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (cmd == "help-close") {
        CloseHelpViewers(10000);
        return 0;
    }
    if (cmd == "status") {
        HWND frame = FrameOrFail(5000);
        if (frame == nullptr)
            return 1;
        std::printf("%s\n", TextOf(Control(frame, IDC_STATUS)).c_str());
        return 0;
    }
    if (cmd == "text" && argc == 3) {
        HWND frame = FrameOrFail(5000);
        if (frame == nullptr)
            return 1;
        std::printf("%s\n", TextOf(Control(frame, std::atoi(argv[2]))).c_str());
        return 0;
    }
    if (cmd == "wait-status" && argc == 4) {
        HWND frame = FrameOrFail(Seconds(argv[3]));
        if (frame == nullptr)
            return 1;
        const bool seen = WaitTextPrefix(Control(frame, IDC_STATUS), argv[2], Seconds(argv[3]));
        std::printf("%s\n", TextOf(Control(frame, IDC_STATUS)).c_str());
        return seen ? 0 : 2;
    }
    if (cmd == "pipe" && (argc == 3 || argc == 4))
        return Pipe(argv[2], argc == 4 ? std::atol(argv[3]) : -1);
    if (cmd == "pipe-once" && argc == 3)
        return Pipe(argv[2], -1, 0);
    if (cmd == "asks" && argc == 3)
        return Asks(std::atoi(argv[2]));
    if (cmd == "hold" && argc == 3)
        return Hold(Seconds(argv[2]));
    if (cmd == "standin" && argc == 4)
        return StandIn(Seconds(argv[2]), argv[3]);
    if (cmd == "ping" && argc == 3)
        return Ping(Seconds(argv[2]));
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
        PostKey(Control(frame, IDC_NTPSERVER), VK_ESCAPE);
        return 0;
    }
    if (cmd == "open" && argc == 3)
        return Open(argv[2], false);
    if (cmd == "close" && argc == 3)
        return Close(argv[2]);
    if (cmd == "stats" && argc == 2)
        return Open("stats", true);
    if ((cmd == "startup" || cmd == "startup-window" || cmd == "first-reply") && argc >= 3) {
        std::string args;
        for (int i = 3; i < argc; ++i)
            args += (i > 3 ? " " : "") + std::string(argv[i]);
        const StartupWait wait = cmd == "startup"          ? StartupWait::Request
                                 : cmd == "startup-window" ? StartupWait::Window
                                                           : StartupWait::Reply;
        return Startup(argv[2], args, wait);
    }
    return Usage();
}
