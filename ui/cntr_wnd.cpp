// Centring a window over another window or the screen, the left edge on a multiple of 8 pixels.
#include "ui/cntr_wnd.h"

#include "ui/cntr_rect.h"

void CentredRect(HWND reference, HWND window, RECT* rect)
{
    if (rect == nullptr)
        return;
    const HWND desktop = GetDesktopWindow();
    if (reference == nullptr)
        reference = desktop;
    RECT ref{};
    GetWindowRect(reference, &ref);
    if (window != nullptr)
        GetWindowRect(window, rect);

    const ScreenRect centred = CentreRectOver(
        ScreenRect{ref.left, ref.top, ref.right, ref.bottom}, reference == desktop,
        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
        ScreenRect{rect->left, rect->top, rect->right, rect->bottom});
    rect->left = centred.left;
    rect->top = centred.top;
    rect->right = centred.right;
    rect->bottom = centred.bottom;
}

void CentreWindow(HWND reference, HWND window, BOOL repaint)
{
    RECT r{};
    CentredRect(reference, window, &r);
    MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
}
