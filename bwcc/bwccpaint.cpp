// The grey palette and the bevel and line drawing shared by the controls.
#include "bwcc/bwccint.h"

namespace bwcc {
namespace {

HBRUSH g_faceBrush = nullptr;

}  // namespace

COLORREF FaceColour() { return RGB(192, 192, 192); }
COLORREF LightColour() { return RGB(255, 255, 255); }
COLORREF ShadowColour() { return RGB(128, 128, 128); }
COLORREF DarkColour() { return RGB(0, 0, 0); }

HBRUSH FaceBrush()
{
    if (g_faceBrush == nullptr)
        g_faceBrush = CreateSolidBrush(FaceColour());
    return g_faceBrush;
}

void ReleasePalette()
{
    if (g_faceBrush != nullptr)
        DeleteObject(g_faceBrush);
    g_faceBrush = nullptr;
}

void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void DrawBevel(HDC dc, const RECT& rect, bool raised, int width)
{
    COLORREF topLeft = raised ? LightColour() : ShadowColour();
    COLORREF bottomRight = raised ? ShadowColour() : LightColour();
    RECT r = rect;
    for (int i = 0; i < width; ++i) {
        if (r.right - r.left < 2 || r.bottom - r.top < 2)
            return;
        DrawLine(dc, r.left, r.bottom - 1, r.left, r.top, topLeft);
        DrawLine(dc, r.left, r.top, r.right - 1, r.top, topLeft);
        DrawLine(dc, r.right - 1, r.top, r.right - 1, r.bottom - 1, bottomRight);
        DrawLine(dc, r.right - 1, r.bottom - 1, r.left - 1, r.bottom - 1, bottomRight);
        InflateRect(&r, -1, -1);
    }
}

HFONT ControlFont(HWND window)
{
    auto font = reinterpret_cast<HFONT>(GetWindowLongPtrA(window, kExtraFont));
    if (font == nullptr)
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return font;
}

bool HandleFontMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT* result)
{
    if (message == WM_SETFONT) {
        SetWindowLongPtrA(window, kExtraFont, static_cast<LONG_PTR>(wParam));
        if (LOWORD(lParam))
            InvalidateRect(window, nullptr, TRUE);
        *result = 0;
        return true;
    }
    if (message == WM_GETFONT) {
        *result = GetWindowLongPtrA(window, kExtraFont);
        return true;
    }
    return false;
}

LRESULT PassiveControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           void (*paint)(HWND))
{
    LRESULT result = 0;
    if (HandleFontMessage(window, message, wParam, lParam, &result))
        return result;
    switch (message) {
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT draws all that is ours
    case WM_SETTEXT:
    case WM_ENABLE:
        result = DefWindowProcA(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, TRUE);
        return result;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace bwcc
