// Reports and closes the message boxes of one thread (see boxwatch.h).
#include "tests/wine/harness/boxwatch.h"

#include <windows.h>

#include <cstring>

namespace {

BoxSink g_sink = nullptr;
HHOOK g_hook = nullptr;
const UINT_PTR kDismissTimer = 0x4B53;
const int kMessageBoxTextId = 0xFFFF;  // the static that holds a box's text

// Runs inside the box's own message loop, once its texts are in place.
void CALLBACK DismissBox(HWND box, UINT, UINT_PTR id, DWORD)
{
    KillTimer(box, id);
    char caption[256] = "";
    char text[1024] = "";
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, kMessageBoxTextId, text, sizeof text);
    if (g_sink != nullptr)
        g_sink(caption, text);
    EndDialog(box, IDOK);
}

LRESULT CALLBACK WatchProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (std::strcmp(className, "#32770") == 0)
            SetTimer(window, kDismissTimer, 10, DismissBox);
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

bool WatchMessageBoxes(BoxSink sink)
{
    g_sink = sink;
    if (g_hook == nullptr)
        g_hook = SetWindowsHookExA(WH_CBT, WatchProc, nullptr, GetCurrentThreadId());
    return g_hook != nullptr;
}
