// Centring a window over another window or the screen, the left edge on a multiple of 8 pixels.
#pragma once

#include <windows.h>

// reference: the window to centre over; null means the desktop (the screen).
// window: when given, its screen rectangle is read into rect first;
// otherwise rect describes the window. rect is replaced by the centred
// position of the same size (see CentreRectOver for the rules).
void CentredRect(HWND reference, HWND window, RECT* rect);

// CentredRect on window, then MoveWindow to the result with repaint.
void CentreWindow(HWND reference, HWND window, BOOL repaint);
