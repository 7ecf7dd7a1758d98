// "BorShade": recessed or raised frames with an optional caption, and
// vertical or horizontal rules. Draws edges only: the controls inside a
// frame stay visible, and mouse clicks pass through to them.
#include "bwcc/bwcc.h"
#include "bwcc/bwccint.h"

namespace {

void DrawCaption(HWND window, HDC dc, const RECT& frame)
{
    char text[256];
    int length = GetWindowTextA(window, text, sizeof text);
    if (length <= 0)
        return;
    HGDIOBJ oldFont = SelectObject(dc, bwcc::ControlFont(window));
    SIZE size;
    GetTextExtentPoint32A(dc, text, length, &size);
    // The caption sits on the top edge, on a strip of face colour.
    RECT strip = {frame.left + 6, frame.top, frame.left + 6 + size.cx + 6, frame.top + size.cy};
    if (strip.right > frame.right - 4)
        strip.right = frame.right - 4;
    FillRect(dc, &strip, bwcc::FaceBrush());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    RECT textRect = {strip.left + 3, strip.top, strip.right, strip.bottom};
    DrawTextA(dc, text, length, &textRect, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

void DrawFrame(HWND window, HDC dc, RECT r, bool raised)
{
    char text[2];
    bool captioned = GetWindowTextA(window, text, sizeof text) > 0;
    if (captioned) {
        // Move the top edge down to the middle of the caption line.
        HGDIOBJ oldFont = SelectObject(dc, bwcc::ControlFont(window));
        TEXTMETRICA tm;
        GetTextMetricsA(dc, &tm);
        SelectObject(dc, oldFont);
        RECT edges = r;
        edges.top += tm.tmHeight / 2;
        bwcc::DrawBevel(dc, edges, raised, 1);
        InflateRect(&edges, -1, -1);
        bwcc::DrawBevel(dc, edges, !raised, 1);
        DrawCaption(window, dc, r);
        return;
    }
    // An etched look: an outer edge one way and an inner edge the other
    // reads as a calm groove (recessed) or ridge (raised).
    bwcc::DrawBevel(dc, r, !raised, 1);
    InflateRect(&r, -1, -1);
    bwcc::DrawBevel(dc, r, raised, 1);
}

void Paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    bool raised = (style & BSS_RAISED) != 0;
    int midX = (r.left + r.right) / 2;
    int midY = (r.top + r.bottom) / 2;

    switch (style & 0x0F) {
    case BSS_GROUP:
        DrawFrame(window, dc, r, raised);
        break;
    case BSS_BOX:
        bwcc::DrawBevel(dc, r, true, 1);
        break;
    case BSS_VDIP:
        bwcc::DrawLine(dc, midX - 1, r.top, midX - 1, r.bottom, bwcc::ShadowColour());
        bwcc::DrawLine(dc, midX, r.top, midX, r.bottom, bwcc::LightColour());
        break;
    case BSS_HDIP:
        if (r.bottom - r.top < 2)
            midY = r.top + 1;
        bwcc::DrawLine(dc, r.left, midY - 1, r.right, midY - 1, bwcc::ShadowColour());
        bwcc::DrawLine(dc, r.left, midY, r.right, midY, bwcc::LightColour());
        break;
    default:
        break;
    }
    EndPaint(window, &ps);
}

}  // namespace

LRESULT CALLBACK BorShadeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return bwcc::PassiveControlProc(window, message, wParam, lParam, Paint);
}
