// "BorStatic": text on the grey face, left, centred or right aligned.
#include "bwcc/bwccint.h"

#include <string>

namespace {

std::string WindowText(HWND window)
{
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
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
    std::string text = WindowText(window);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
    SelectObject(dc, oldFont);
    EndPaint(window, &ps);
}

}  // namespace

LRESULT CALLBACK BorStaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return bwcc::PassiveControlProc(window, message, wParam, lParam, Paint);
}
