// The arithmetic of centring a window over a reference rectangle or the screen; no window system.
#include "ui/cntr_rect.h"

namespace {

// Screen coordinates stay far inside 32 bits; the 64-bit sums keep even
// absurd rectangles from overflowing, and the result is clamped back.
int32_t Clamp32(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

ScreenRect CentreRectOver(const ScreenRect& reference, bool referenceIsDesktop,
                          int32_t screenWidth, int32_t screenHeight, const ScreenRect& window)
{
    const int64_t w = static_cast<int64_t>(window.right) - window.left;
    const int64_t h = static_cast<int64_t>(window.bottom) - window.top;
    const int64_t refWidth = static_cast<int64_t>(reference.right) - reference.left;
    const int64_t refHeight = static_cast<int64_t>(reference.bottom) - reference.top;

    // C++ division truncates toward zero: -3 / 2 == -1.
    int64_t x = (refWidth - w) / 2;
    int64_t y = (refHeight - h) / 2;
    if (x >= 0 && y >= 0) {
        x += reference.left;
        y += reference.top;
    } else {
        // It does not fit the reference: centre on the screen, never above or
        // left of its origin.
        if (!referenceIsDesktop) {
            x = (screenWidth - w) / 2;
            y = (screenHeight - h) / 2;
        }
        if (x < 0)
            x = 0;
        if (y < 0)
            y = 0;
    }

    // Nearest multiple of 8, two's complement: (x + 4) with its low bits
    // cleared, so -3 gives 0 and -5 gives -8.
    const int64_t left = (x + 4) & ~static_cast<int64_t>(7);
    ScreenRect result;
    result.left = Clamp32(left);
    result.top = Clamp32(y);
    result.right = Clamp32(left + w);
    result.bottom = Clamp32(y + h);
    return result;
}
