#include <gtest/gtest.h>

#include <utility>

#include "display/window_layout.h"

namespace {

TEST(WindowLayout, LinesPerPageForPanelsAroundTheHeaderBands) {
    // Lower than the bands, truncation towards zero gives 0 down to 35 rows, then -1.
    const std::pair<int32_t, int32_t> cases[] = {
        {48, 0}, {61, 0}, {62, 1}, {75, 1}, {76, 2}, {297, 17}, {35, 0}, {34, -1}, {0, -3},
    };
    for (const auto& [height, lines] : cases) {
        EXPECT_EQ(LinesPerPage(height), lines) << "panel height " << height;
    }
}

TEST(WindowLayout, CentredDialogStaysOnScreen) {
    const struct {
        const char* what;
        int32_t refStart, refSize, size, screen, expected;
    } cases[] = {
        {"centred", 100, 800, 400, 1280, 300},
        {"odd difference truncates towards zero", 100, 401, 400, 1280, 100},
        {"negative odd difference truncates towards zero", 10, 399, 400, 1280, 10},
        {"reference partly off the left edge", -500, 600, 400, 1280, 0},
        {"would reach past the right edge", 1000, 600, 400, 1280, 880},
        {"wider than the screen starts at 0 when centred left of it", -100, 200, 1400, 1280, 0},
        {"wider than the screen on the right ends flush", 600, 800, 1400, 1280, -120},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CentredOnScreen(c.refStart, c.refSize, c.size, c.screen), c.expected) << c.what;
    }
}

}  // namespace
