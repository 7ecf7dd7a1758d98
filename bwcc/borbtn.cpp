// "BorBtn": a grey 3D push button with text, focus and default state, the
// OK and Cancel faces for ids IDOK and IDCANCEL without text, and a
// bitmap-only style (BBS_BITMAP) that shows the module's bitmaps for its id.
#include "bwcc/bwcc.h"
#include "bwcc/bwccint.h"


namespace {

// State bits in the kExtraState slot.
enum : LONG_PTR {
    kPressed = 1,    // drawn pushed in
    kTracking = 2,   // mouse captured after a button-down
    kSpaceDown = 4,  // space bar held
};

LONG_PTR State(HWND window)
{
    return GetWindowLongPtrA(window, kExtraState);
}

void SetStateBit(HWND window, LONG_PTR bit, bool on)
{
    LONG_PTR old = State(window);
    LONG_PTR now = on ? (old | bit) : (old & ~bit);
    if (now != old) {
        SetWindowLongPtrA(window, kExtraState, now);
        if (bit == kPressed)
            InvalidateRect(window, nullptr, FALSE);
    }
}

bool IsDefault(HWND window)
{
    return (GetWindowLongA(window, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
}

void Click(HWND window)
{
    HWND parent = GetParent(window);
    int id = GetDlgCtrlID(window);
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(window));
}

// The glyph of the standard faces: a check mark for OK, a cross for Cancel.
void DrawGlyph(HDC dc, int id, int cx, int cy, bool enabled)
{
    COLORREF colour = !enabled ? bwcc::ShadowColour()
                      : id == IDOK ? RGB(0, 128, 0)
                                   : RGB(176, 0, 0);
    HPEN pen = CreatePen(PS_SOLID, 3, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    if (id == IDOK) {
        POINT check[] = {{cx - 6, cy}, {cx - 2, cy + 4}, {cx + 6, cy - 5}};
        Polyline(dc, check, 3);
    } else {
        MoveToEx(dc, cx - 5, cy - 5, nullptr);
        LineTo(dc, cx + 5, cy + 5);
        MoveToEx(dc, cx + 5, cy - 5, nullptr);
        LineTo(dc, cx - 5, cy + 5);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

// Bitmap-only face: 1000 + id up, 2000 + id pressed (falling back to the
// up picture), centred; false when the module has neither.
bool DrawBitmapFace(HWND window, HDC dc, const RECT& r, bool pressed)
{
    auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    int id = GetDlgCtrlID(window);
    HBITMAP bitmap = nullptr;
    if (pressed)
        bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(2000 + id));
    if (bitmap == nullptr)
        bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(1000 + id));
    if (bitmap == nullptr)
        return false;
    BITMAP info;
    GetObjectA(bitmap, sizeof info, &info);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    int x = r.left + (r.right - r.left - info.bmWidth) / 2;
    int y = r.top + (r.bottom - r.top - info.bmHeight) / 2;
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return true;
}

void Paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    bool pressed = (State(window) & kPressed) != 0;
    bool enabled = IsWindowEnabled(window) != FALSE;
    bool focused = GetFocus() == window;
    auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));

    FillRect(dc, &r, bwcc::FaceBrush());
    if (style & BBS_BITMAP) {
        if (!DrawBitmapFace(window, dc, r, pressed))
            bwcc::DrawBevel(dc, r, !pressed, 2);
        EndPaint(window, &ps);
        return;
    }

    // Outline: black for the default button (and the focused one), the
    // bevel inside it.
    RECT face = r;
    if (IsDefault(window) || focused) {
        HBRUSH dark = CreateSolidBrush(bwcc::DarkColour());
        FrameRect(dc, &face, dark);
        DeleteObject(dark);
        InflateRect(&face, -1, -1);
    }
    if (pressed) {
        HBRUSH shadow = CreateSolidBrush(bwcc::ShadowColour());
        FrameRect(dc, &face, shadow);
        DeleteObject(shadow);
    } else {
        bwcc::DrawBevel(dc, face, true, 2);
    }
    int shift = pressed ? 1 : 0;

    char buffer[256];
    const char* text = buffer;
    int length = GetWindowTextA(window, buffer, sizeof buffer);
    int id = GetDlgCtrlID(window);
    bool standardFace = length <= 0 && (id == IDOK || id == IDCANCEL);

    HGDIOBJ oldFont = SelectObject(dc, bwcc::ControlFont(window));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, enabled ? GetSysColor(COLOR_BTNTEXT) : bwcc::ShadowColour());
    RECT textRect = face;
    OffsetRect(&textRect, shift, shift);
    if (standardFace) {
        text = id == IDOK ? "OK" : "Cancel";
        TEXTMETRICA tm;
        GetTextMetricsA(dc, &tm);
        int total = 12 + 2 + tm.tmHeight;
        int top = textRect.top + (textRect.bottom - textRect.top - total) / 2;
        DrawGlyph(dc, id, (textRect.left + textRect.right) / 2, top + 6, enabled);
        textRect.top = top + 14;
        DrawTextA(dc, text, -1, &textRect, DT_CENTER | DT_TOP | DT_SINGLELINE);
    } else {
        DrawTextA(dc, text, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SelectObject(dc, oldFont);

    if (focused) {
        RECT dots = face;
        InflateRect(&dots, -4, -4);
        DrawFocusRect(dc, &dots);
    }
    EndPaint(window, &ps);
}

bool PointInside(HWND window, LPARAM lParam)
{
    RECT r;
    GetClientRect(window, &r);
    POINT p = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    return PtInRect(&r, p) != FALSE;
}

}  // namespace

LRESULT CALLBACK BorBtnProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (bwcc::HandleFontMessage(window, message, wParam, lParam, &result))
        return result;
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_GETDLGCODE:
        if (GetWindowLongA(window, GWL_STYLE) & BBS_BITMAP)
            return DLGC_STATIC;
        return DLGC_BUTTON | (IsDefault(window) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_SETSTYLE: {
        // The dialog manager moves the default look between buttons.
        auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
        style = (style & ~0x0FUL) | (static_cast<DWORD>(wParam) & 0x0F);
        SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(style));
        if (LOWORD(lParam))
            InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    case BM_GETSTATE:
        return (State(window) & kPressed ? BST_PUSHED : 0) |
               (GetFocus() == window ? BST_FOCUS : 0);
    case BM_SETSTATE:
        SetStateBit(window, kPressed, wParam != 0);
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(window))
            Click(window);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetFocus(window);
        SetCapture(window);
        SetStateBit(window, kTracking, true);
        SetStateBit(window, kPressed, true);
        return 0;
    case WM_MOUSEMOVE:
        if (State(window) & kTracking)
            SetStateBit(window, kPressed, PointInside(window, lParam));
        return 0;
    case WM_LBUTTONUP:
        if (State(window) & kTracking) {
            bool inside = PointInside(window, lParam);
            SetStateBit(window, kTracking, false);
            SetStateBit(window, kPressed, false);
            ReleaseCapture();
            if (inside)
                Click(window);
        }
        return 0;
    case WM_CAPTURECHANGED:
        SetStateBit(window, kTracking, false);
        SetStateBit(window, kPressed, false);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            SetStateBit(window, kSpaceDown, true);
            SetStateBit(window, kPressed, true);
            return 0;
        }
        break;
    case WM_KEYUP:
        if (wParam == VK_SPACE && (State(window) & kSpaceDown)) {
            SetStateBit(window, kSpaceDown, false);
            SetStateBit(window, kPressed, false);
            Click(window);
            return 0;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (message == WM_KILLFOCUS) {
            SetStateBit(window, kSpaceDown, false);
            SetStateBit(window, kPressed, false);
        }
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_ENABLE:
    case WM_SETTEXT:
        result = DefWindowProcA(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, FALSE);
        return result;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
