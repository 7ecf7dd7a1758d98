// The bare Win32 program the benches measure Kestrin against: a frame window
// around a dialog child, a one-second timer, nothing else. Built with the
// same compiler and flags as kestrin.exe, so that what the two differ in
// is Kestrin's own work, not Wine's.
#include <windows.h>

namespace {

const int kDialogId = 1;
const UINT_PTR kTimerId = 275;
const UINT kTimerPeriodMs = 1000;
HWND g_dialog = nullptr;
unsigned g_ticks = 0;  // the timer's work: counting

INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        g_dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogId),
                                      window, DialogProc, 0);
        if (g_dialog == nullptr)
            return -1;
        // The frame shrinks to its client, as Kestrin's does.
        RECT r;
        GetWindowRect(g_dialog, &r);
        RECT frame = {0, 0, r.right - r.left, r.bottom - r.top};
        AdjustWindowRect(&frame, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FALSE);
        int w = frame.right - frame.left, h = frame.bottom - frame.top;
        SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER);
        ShowWindow(g_dialog, SW_SHOW);
        SetTimer(window, kTimerId, kTimerPeriodMs, nullptr);
        return 0;
    }
    case WM_TIMER:
        ++g_ticks;
        return 0;
    case WM_DESTROY:
        KillTimer(window, kTimerId);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "BaselineFrame";
    if (RegisterClassA(&wc) == 0)
        return 1;
    HWND frame = CreateWindowA("BaselineFrame", "Baseline",
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                               CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance,
                               nullptr);
    if (frame == nullptr)
        return 1;
    ShowWindow(frame, showCommand);
    UpdateWindow(frame);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (g_dialog != nullptr && IsDialogMessageA(g_dialog, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
