// Drives a running kestrin.exe from another Wine process: start it, find its windows, read and press its controls.
#include "tests/wine/harness/app_probe.h"

#include <cstdio>
#include <vector>
#include "resources/resource.h"

std::string WinPathOf(const std::string& unixPath)
{
    if (unixPath.size() > 1 && unixPath[1] == ':')
        return unixPath;
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

bool LaunchApp(const std::string& exe, const std::string& args, AppRun* run, int showCommand)
{
    std::string cmd = "\"" + exe + "\"";
    if (!args.empty())
        cmd += " " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (showCommand >= 0) {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(showCommand);
    }
    run->started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &si, &run->pi) != FALSE;
    return run->started;
}

void Pump(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

namespace {

struct TopWindowSearch {
    DWORD pid;            // 0: any process
    bool (*match)(HWND);
    HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TopWindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((search->pid == 0 || owner == search->pid) && search->match(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The first top-level window of process pid (0: any) that match accepts.
HWND FindTopWindow(DWORD pid, bool (*match)(HWND))
{
    TopWindowSearch search{pid, match, nullptr};
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The frame: titled "Kestrin", holding the main dialog (not being it).
bool IsFrame(HWND window)
{
    char title[32] = "";
    GetWindowTextA(window, title, sizeof title);
    return lstrcmpA(title, "Kestrin") == 0 && GetDlgItem(window, IDC_STATUS) == nullptr &&
           DialogOf(window) != nullptr;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM param)
{
    if (GetDlgItem(window, IDC_STATUS) != nullptr) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitFrame(const AppRun& run, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        const HWND found = FindTopWindow(run.pi.dwProcessId, IsFrame);
        if (found != nullptr) {
            // The window exists before its set-up (sizing, centring) is
            // over; the message loop waiting for input marks the end.
            WaitForInputIdle(run.pi.hProcess, 5000);
            return found;
        }
        if (WaitForSingleObject(run.pi.hProcess, 0) == WAIT_OBJECT_0)
            return nullptr;
        Pump(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND FindAnyFrame(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        const HWND found = FindTopWindow(0, IsFrame);
        if (found != nullptr)
            return found;
        Pump(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND DialogOf(HWND frame)
{
    HWND dialog = nullptr;
    EnumChildWindows(frame, MatchDialog, reinterpret_cast<LPARAM>(&dialog));
    return dialog;
}

HWND Control(HWND frame, int id)
{
    HWND dialog = DialogOf(frame);
    return dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
}

bool HookWindowThread(HWND window, int kind, const std::string& dll, const char* procName)
{
    HMODULE module = LoadLibraryA(dll.c_str());
    if (module == nullptr)
        return false;
    auto proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(GetProcAddress(module, procName)));
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return proc != nullptr && SetWindowsHookExA(kind, proc, module, thread) != nullptr;
}

std::string TextOf(HWND window)
{
    char text[512] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

void SetTextOf(HWND window, const char* text)
{
    SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void ClickButton(HWND frame, int id)
{
    HWND dialog = DialogOf(frame);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PostKey(HWND target, UINT virtualKey)
{
    const UINT scan = MapVirtualKeyA(virtualKey, 0);
    PostMessageA(target, WM_KEYDOWN, virtualKey, 1 | (static_cast<LPARAM>(scan) << 16));
    PostMessageA(target, WM_KEYUP, virtualKey, 1 | (static_cast<LPARAM>(scan) << 16) | 0xC0000000);
}

void SendKeys(const UINT* keys, int count, bool shift)
{
    std::vector<INPUT> input;
    auto add = [&input](UINT key, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = static_cast<WORD>(key);
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, 0));
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        input.push_back(in);
    };
    if (shift)
        add(VK_SHIFT, false);
    for (int i = 0; i < count; ++i) {
        add(keys[i], false);
        add(keys[i], true);
    }
    if (shift)
        add(VK_SHIFT, true);
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

namespace {

// A message box of the program: a visible dialog with an OK button that is
// not the main dialog.
bool IsBox(HWND window)
{
    return IsWindowVisible(window) && GetDlgItem(window, IDC_STATUS) == nullptr &&
           DialogOf(window) == nullptr && GetDlgItem(window, IDOK) != nullptr;
}

}  // namespace

bool DismissBox(const AppRun& run, std::string* text)
{
    const HWND box = FindTopWindow(run.pi.dwProcessId, IsBox);
    if (box == nullptr)
        return false;
    char buf[256] = "";
    GetDlgItemTextA(box, 0xFFFF, buf, sizeof buf);
    if (buf[0] == '\0')
        GetWindowTextA(box, buf, sizeof buf);
    *text = buf;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    Pump(100);
    return true;
}

int WaitExit(AppRun* run, DWORD timeoutMs)
{
    if (!run->started)
        return -1;
    const DWORD start = GetTickCount();
    int status = -1;
    for (;;) {
        if (WaitForSingleObject(run->pi.hProcess, 0) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(run->pi.hProcess, &code);
            status = static_cast<int>(code);
            break;
        }
        if (GetTickCount() - start >= timeoutMs) {
            TerminateProcess(run->pi.hProcess, 99);
            WaitForSingleObject(run->pi.hProcess, 5000);
            break;
        }
        Pump(20);
    }
    CloseHandle(run->pi.hProcess);
    CloseHandle(run->pi.hThread);
    run->started = false;
    return status;
}

bool WaitTextPrefix(HWND window, const char* prefix, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        if (TextOf(window).rfind(prefix, 0) == 0)
            return true;
        Pump(20);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

namespace {

// The viewer's main window class.
constexpr char kHelpViewerClass[] = "MS_WINHELP";

bool IsHelpViewer(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return lstrcmpA(name, kHelpViewerClass) == 0 && pid != GetCurrentProcessId();
}

BOOL CALLBACK MatchRichEdit(HWND window, LPARAM param)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, name, 8, "RichEdit", 8) == CSTR_EQUAL) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

DWORD ProcessOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

bool IsVisibleDialog(HWND window)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    return IsWindowVisible(window) && lstrcmpA(name, "#32770") == 0;
}

const char* g_caption = nullptr;
bool HasCaption(HWND window)
{
    char text[128] = "";
    GetWindowTextA(window, text, sizeof text);
    return lstrcmpA(text, g_caption) == 0;
}

}  // namespace

HWND WaitHelpViewer(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        const HWND found = FindTopWindow(0, IsHelpViewer);
        if (found != nullptr)
            return found;
        Pump(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

std::string HelpViewerText(HWND viewer)
{
    HWND pane = nullptr;
    EnumChildWindows(viewer, MatchRichEdit, reinterpret_cast<LPARAM>(&pane));
    if (pane == nullptr)
        return "";
    std::vector<char> text(16384, '\0');
    SendMessageA(pane, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

bool WaitHelpText(HWND viewer, const char* part, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        if (HelpViewerText(viewer).find(part) != std::string::npos)
            return true;
        Pump(20);
    } while (GetTickCount() - start < timeoutMs && IsWindow(viewer));
    return false;
}

bool HelpViewerBox(HWND viewer, std::string* text)
{
    const HWND box = FindTopWindow(ProcessOf(viewer), IsVisibleDialog);
    if (box == nullptr)
        return false;
    char buf[256] = "";
    GetDlgItemTextA(box, 0xFFFF, buf, sizeof buf);
    *text = buf;
    return true;
}

void CloseHelpViewers(DWORD timeoutMs)
{
    for (HWND viewer; (viewer = FindTopWindow(0, IsHelpViewer)) != nullptr;) {
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, ProcessOf(viewer));
        PostMessageA(viewer, WM_CLOSE, 0, 0);
        const DWORD start = GetTickCount();
        while (IsWindow(viewer) && GetTickCount() - start < timeoutMs)
            Pump(20);
        if (process != nullptr) {
            if (WaitForSingleObject(process, IsWindow(viewer) ? 0 : timeoutMs) != WAIT_OBJECT_0) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, timeoutMs);
            }
            CloseHandle(process);
        }
    }
}

HWND FindCaption(DWORD pid, const char* caption)
{
    g_caption = caption;
    return FindTopWindow(pid, HasCaption);
}

bool EnterContextHelp(HWND frame, DWORD timeoutMs)
{
    // Keyboard input goes to the foreground window: wait until the frame is
    // that window before typing.
    const DWORD start = GetTickCount();
    SetForegroundWindow(frame);
    while (GetForegroundWindow() != frame && GetTickCount() - start < timeoutMs)
        Pump(20);
    CURSORINFO before{};
    before.cbSize = sizeof before;
    GetCursorInfo(&before);
    const UINT f1 = VK_F1;
    SendKeys(&f1, 1, true);
    do {
        CURSORINFO now{};
        now.cbSize = sizeof now;
        if (GetCursorInfo(&now) && now.hCursor != nullptr && now.hCursor != before.hCursor)
            return true;
        Pump(20);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

std::string IniPath()
{
    char dir[MAX_PATH] = "";
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\KESTRIN.INI";
}

bool ReadWholeFile(const std::string& path, std::string* bytes)
{
    bytes->clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes->append(buf, n);
    std::fclose(f);
    return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

void PostClick(HWND frame, int id)
{
    HWND dialog = DialogOf(frame);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

namespace {

struct TitleSearch {
    DWORD pid;
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TitleSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    if ((search->pid == 0 || owner == search->pid) && IsWindowVisible(window) &&
        lstrcmpA(title, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitWindowTitled(DWORD pid, const char* caption, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        TitleSearch search{pid, caption, nullptr};
        EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        Pump(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool WaitGone(HWND window, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Pump(20);
    }
    return true;
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}
