// Inside BWCC32.DLL: the window procedures, their registration and the
// drawing helpers they share.
#pragma once

#include <windows.h>

// The DLL's own module handle, set at load.
extern HINSTANCE g_bwccModule;

LRESULT CALLBACK BorBtnProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK BorShadeProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK BorStaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK BorDlgProc(HWND, UINT, WPARAM, LPARAM);

// Window-extra slots of the control classes.
enum : int {
    kExtraFont = 0,                          // HFONT from WM_SETFONT
    kExtraState = sizeof(LONG_PTR),          // control state bits
    kControlExtraBytes = 2 * sizeof(LONG_PTR),
};

// The grey palette: face, light edge, dark edge, darkest edge, text.
namespace bwcc {

COLORREF FaceColour();
COLORREF LightColour();
COLORREF ShadowColour();
COLORREF DarkColour();
HBRUSH FaceBrush();  // shared, never deleted by callers

// A bevel inside rect: raised (light top-left) or sunken, width 1 or 2.
void DrawBevel(HDC dc, const RECT& rect, bool raised, int width);
// A solid line from (x1, y1) to (x2, y2), end point excluded.
void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour);

// The control's font (WM_SETFONT), else the GUI font.
HFONT ControlFont(HWND window);
// WM_SETFONT / WM_GETFONT for the controls; true when handled.
bool HandleFontMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT* result);

// The window procedure of a control that only draws itself (shades, static
// text): paint draws it, text and enable changes redraw it, the mouse goes
// through to what lies beneath, and the dialog manager treats it as static.
LRESULT PassiveControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           void (*paint)(HWND));

// Frees the shared GDI objects (DLL unload).
void ReleasePalette();

}  // namespace bwcc
