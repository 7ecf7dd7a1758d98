// Centring arithmetic: over a reference, over the screen when it does not fit, left edge on 8 pixels.
#include "ui/cntr_rect.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(CentreRect, Examples)
{
    const struct {
        const char* what;
        ScreenRect reference;
        bool desktop;
        int32_t w, h;
        int32_t left, top;
    } cases[] = {
        {"200x100 over 640x480 at (100,50)", {100, 50, 740, 530}, false, 200, 100, 320, 240},
        {"201 wide: x 319", {100, 50, 740, 530}, false, 201, 100, 320, 240},
        {"x = 316 rounds up", {0, 0, 640, 480}, false, 8, 100, 320, 190},
        {"x = 315 rounds down", {0, 0, 640, 480}, false, 10, 100, 312, 190},
        {"x = 316 exactly", {16, 0, 616, 480}, false, 0, 0, 320, 240},
        {"700x100 over 640x480 on 800x600", {0, 0, 640, 480}, false, 700, 100, 48, 250},
        {"wider than the screen", {0, 0, 800, 600}, true, 900, 100, 0, 250},
        {"taller than the screen", {0, 0, 800, 600}, true, 200, 700, 304, 0},
        {"larger than reference and screen", {10, 10, 100, 100}, false, 1000, 1000, 0, 0},
        {"reference at -50: x = -3", {-50, 0, 50, 100}, false, 6, 10, 0, 45},
        {"reference at -50: x = -5", {-50, 0, 50, 100}, false, 10, 10, -8, 45},
        {"screen itself", {0, 0, 1024, 768}, true, 300, 200, 360, 284},
    };
    for (const auto& c : cases) {
        // The window's own position does not matter, only its size.
        const ScreenRect window{7, 9, 7 + c.w, 9 + c.h};
        const ScreenRect r = CentreRectOver(c.reference, c.desktop, 800, 600, window);
        EXPECT_EQ(c.left, r.left) << c.what;
        EXPECT_EQ(c.top, r.top) << c.what;
        EXPECT_EQ(c.w, r.right - r.left) << c.what;
        EXPECT_EQ(c.h, r.bottom - r.top) << c.what;
    }
}

TEST(CentreRect, LeftEdgeAlwaysOnEightPixelsAndSizeKept)
{
    for (int32_t refLeft = -40; refLeft <= 40; refLeft += 3) {
        for (int32_t w = 1; w < 300; w += 7) {
            const ScreenRect reference{refLeft, 0, refLeft + 640, 480};
            const ScreenRect r = CentreRectOver(reference, false, 800, 600, {0, 0, w, 50});
            EXPECT_EQ(0, r.left % 8) << refLeft << " " << w;
            EXPECT_EQ(w, r.right - r.left);
            // Never more than 4 pixels from the exact centre.
            const int32_t exact = refLeft + (640 - w) / 2;
            EXPECT_LE(std::abs(r.left - exact), 4) << refLeft << " " << w;
        }
    }
}

TEST(CentreRect, AbsurdRectanglesDoNotOverflow)
{
    const ScreenRect huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    const ScreenRect r = CentreRectOver({0, 0, 800, 600}, true, 800, 600, huge);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
}

}  // namespace
