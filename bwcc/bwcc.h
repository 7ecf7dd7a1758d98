// BWCC32.DLL: the grey 3D custom controls and dialog classes of the
// program's dialogs, and the calls the program makes into the library.
//
// Window classes (registered globally while the DLL is loaded):
//   "BorBtn"      push button. Style low nibble: 0 push, 1 default push
//                 (BS_DEFPUSHBUTTON). BBS_BITMAP (0x8000): shows only the
//                 bitmaps 1000 + id (up) and 2000 + id (pressed) of the
//                 control's module. Ids IDOK and IDCANCEL with no text get the
//                 OK and Cancel faces with a glyph. Clicks reach the parent
//                 as WM_COMMAND BN_CLICKED.
//   "BorShade"    frames and rules. Style low nibble: BSS_GROUP (1) a
//                 recessed frame with the window text as caption, BSS_BOX (2)
//                 a raised frame, BSS_VDIP (3) a vertical rule, BSS_HDIP (4) a
//                 horizontal rule. BSS_RAISED (0x8000) draws a group raised.
//                 Only the edges are drawn; mouse clicks pass through.
//   "BorStatic"   text on grey; SS_LEFT / SS_CENTER / SS_RIGHT, SS_NOPREFIX.
//   "bordlg", "bordlg_gray"  dialog classes with a light grey face. Class
//                 names are case-blind, so "BorDlg" is "bordlg".
#pragma once

#include <windows.h>

#define BBS_BITMAP 0x8000L
#define BSS_GROUP 1L
#define BSS_BOX 2L
#define BSS_VDIP 3L
#define BSS_HDIP 4L
#define BSS_RAISED 0x8000L

#ifdef __cplusplus
extern "C" {
#endif

// The library's version word: 0x0200.
DWORD WINAPI BWCCGetVersion(void);
// Notes the user-interface language. Always succeeds: TRUE.
BOOL WINAPI BWCCIntlInit(UINT language);
// Makes sure the classes are registered for the calling program. TRUE when
// all are, FALSE when one could not be registered.
BOOL WINAPI BWCCRegister(HINSTANCE instance);
// A message box with MessageBoxA's arguments and result (0 on failure).
int WINAPI BWCCMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

#ifdef __cplusplus
}
#endif
