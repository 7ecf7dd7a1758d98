// The arithmetic of centring a window over a reference rectangle or the screen; no window system.
#pragma once

#include <cstdint>

// A rectangle in screen pixels; right and bottom are exclusive.
struct ScreenRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The rectangle of the same size as window, centred over reference.
// referenceIsDesktop: the reference is the whole screen. screenWidth and
// screenHeight: the screen's size in pixels.
// x and y are the halves of the size differences (truncated toward zero);
// when both are at least 0 the reference's origin is added. Otherwise, for a
// reference other than the desktop, both are recomputed against the screen;
// then each is raised to at least 0 and taken as screen coordinates. The left
// edge is rounded to the nearest multiple of 8 (a remainder of 4 rounds up);
// the size never changes.
ScreenRect CentreRectOver(const ScreenRect& reference, bool referenceIsDesktop,
                          int32_t screenWidth, int32_t screenHeight, const ScreenRect& window);
