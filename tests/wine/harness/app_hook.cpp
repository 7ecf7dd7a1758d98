// Window hooks loaded into a running kestrin.exe: one logs each text given to the status line (IDC_STATUS), one measures it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include "resources/resource.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK StatusHookProc(int code, WPARAM wParam,
                                                                  LPARAM lParam);
extern "C" __declspec(dllexport) LRESULT CALLBACK ExtentHookProc(int code, WPARAM wParam,
                                                                  LPARAM lParam);

namespace {

// In the prefix, so both the program and the driver reach it.
const char kLogPath[] = "C:\\windows\\temp\\kestrin-status.log";

}  // namespace

LRESULT CALLBACK StatusHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* ret = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (ret->message == WM_SETTEXT && GetDlgCtrlID(ret->hwnd) == IDC_STATUS && ret->lParam != 0) {
            // Opened once and flushed per line: a flood of status texts
            // must not cost the program a file open each.
            static FILE* f = std::fopen(kLogPath, "ab");
            if (f != nullptr) {
                std::fprintf(f, "%lu %s\n", static_cast<unsigned long>(GetTickCount()),
                             reinterpret_cast<const char*>(ret->lParam));
                std::fflush(f);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// On the message "KestrinMeasureText" posted to the status line, measures
// its text in the control's own font and leaves the width in pixels in the
// control's property "TextExtent", where another process reads it.
LRESULT CALLBACK ExtentHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    static const UINT measure = RegisterWindowMessageA("KestrinMeasureText");
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == measure &&
        GetDlgCtrlID(msg->hwnd) == IDC_STATUS) {
        char text[256] = "";
        const int length = GetWindowTextA(msg->hwnd, text, sizeof text);
        HDC dc = GetDC(msg->hwnd);
        auto font = reinterpret_cast<HFONT>(SendMessageA(msg->hwnd, WM_GETFONT, 0, 0));
        HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
        SIZE extent{};
        GetTextExtentPoint32A(dc, text, length, &extent);
        SelectObject(dc, old);
        ReleaseDC(msg->hwnd, dc);
        SetPropA(msg->hwnd, "TextExtent", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(extent.cx)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
