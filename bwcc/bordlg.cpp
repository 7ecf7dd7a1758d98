// The dialog classes "bordlg" and "bordlg_gray": the system's dialog
// manager on a light grey face, with static text on the same grey.
#include "bwcc/bwccint.h"

LRESULT CALLBACK BorDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(window, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, bwcc::FaceBrush());
        return 1;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // The dialog's own procedure may colour a control itself; ask it
        // first through the dialog manager's stored procedure.
        auto dialogProc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(window, DWLP_DLGPROC));
        if (dialogProc != nullptr) {
            INT_PTR brush = dialogProc(window, message, wParam, lParam);
            if (brush != 0)
                return brush;
        }
        auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, bwcc::FaceColour());
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        return reinterpret_cast<LRESULT>(bwcc::FaceBrush());
    }
    default:
        return DefDlgProcA(window, message, wParam, lParam);
    }
}
