// "BorStatic": text on the grey face, left, centred or right aligned.
#include "bwcc/bwccint.h"

#include <memory>
#include <new>

namespace {

// The whole text, however long; *length: its length, 0 when it cannot be had.
std::unique_ptr<char[]> WindowText(HWND window, int* length)
{
    int size = GetWindowTextLengthA(window) + 1;
    std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<size_t>(size)]);
    *length = text != nullptr ? GetWindowTextA(window, text.get(), size) : 0;
    if (*length < 0)
        *length = 0;
    return text;
}

void Paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    FillRect(dc, &r, bwcc::FaceBrush());

    auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    UINT format = DT_WORDBREAK | DT_EXPANDTABS;
    switch (style & 0x0F) {
    case SS_CENTER: format |= DT_CENTER; break;
    case SS_RIGHT: format |= DT_RIGHT; break;
    default: format |= DT_LEFT; break;
    }
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;

    HGDIOBJ oldFont = SelectObject(dc, bwcc::ControlFont(window));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(window) ? GetSysColor(COLOR_BTNTEXT) : bwcc::ShadowColour());
    int length = 0;
    std::unique_ptr<char[]> text = WindowText(window, &length);
    if (length > 0)
        DrawTextA(dc, text.get(), length, &r, format);
    SelectObject(dc, oldFont);
    EndPaint(window, &ps);
}

}  // namespace

LRESULT CALLBACK BorStaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return bwcc::PassiveControlProc(window, message, wParam, lParam, Paint);
}
