#include <gtest/gtest.h>

#include <utility>

#include "display/window_layout.h"

namespace {

// The main window at its template size, as Wine lays it out with Tahoma 8: what matters is
// only that the numbers are a plausible panel and scroll bar beside it.
LayoutInput TemplateSizedWindow() {
    LayoutInput input;
    input.prevClientWidth = 756;
    input.prevClientHeight = 489;
    input.newClientWidth = 756;
    input.newClientHeight = 489;
    input.scrollBar = {537, 175, 15, 299};
    input.panelWidth = 520;
    input.panelHeight = 297;
    return input;
}

TEST(WindowLayout, FirstLayoutAtUnchangedSizeMovesNothingButCountsLines) {
    const LayoutInput input = TemplateSizedWindow();
    const LayoutPlan plan = PlanLayout(input);
    ASSERT_TRUE(plan.apply);
    EXPECT_EQ(plan.dx, 0);
    EXPECT_EQ(plan.dy, 0);
    EXPECT_EQ(plan.panelWidth, input.panelWidth);
    EXPECT_EQ(plan.panelHeight, input.panelHeight);
    EXPECT_EQ(plan.scrollBar.left, input.scrollBar.left);
    EXPECT_EQ(plan.scrollBar.height, input.scrollBar.height);
    EXPECT_EQ(plan.linesPerPage, (297 - 48) / 14);
}

TEST(WindowLayout, WideningMovesRightHandControlsAndWidensPanelOnly) {
    LayoutInput input = TemplateSizedWindow();
    input.newClientWidth += 100;
    const LayoutPlan plan = PlanLayout(input);
    ASSERT_TRUE(plan.apply);
    EXPECT_EQ(plan.dx, 100);
    EXPECT_EQ(plan.dy, 0);
    EXPECT_EQ(plan.panelWidth, input.panelWidth + 100);
    EXPECT_EQ(plan.panelHeight, input.panelHeight);
    EXPECT_EQ(plan.scrollBar.left, input.scrollBar.left + 100);
    EXPECT_EQ(plan.scrollBar.top, input.scrollBar.top);
    EXPECT_EQ(plan.scrollBar.width, input.scrollBar.width);
    EXPECT_EQ(plan.scrollBar.height, input.scrollBar.height);
}

TEST(WindowLayout, TwentyEightPixelsTallerAddsExactlyTwoLines) {
    LayoutInput input = TemplateSizedWindow();
    const int32_t before = PlanLayout(input).linesPerPage;
    input.newClientHeight += 28;
    const LayoutPlan plan = PlanLayout(input);
    EXPECT_EQ(plan.linesPerPage, before + 2);
    EXPECT_EQ(plan.panelHeight, input.panelHeight + 28);
    EXPECT_EQ(plan.scrollBar.height, input.scrollBar.height + 28);
    EXPECT_EQ(plan.scrollBar.left, input.scrollBar.left);
}

TEST(WindowLayout, MinimisedSizeIsIgnoredSoRestoreSeesNoChange) {
    LayoutInput input = TemplateSizedWindow();
    for (const auto& [w, h] : {std::pair{0, 0}, std::pair{0, 489}, std::pair{756, 0}}) {
        input.newClientWidth = w;
        input.newClientHeight = h;
        EXPECT_FALSE(PlanLayout(input).apply) << w << "x" << h;
    }
    // The caller keeps the previous size, so the restore to the old size moves nothing.
    input.newClientWidth = input.prevClientWidth;
    input.newClientHeight = input.prevClientHeight;
    const LayoutPlan plan = PlanLayout(input);
    EXPECT_TRUE(plan.apply);
    EXPECT_EQ(plan.dx, 0);
    EXPECT_EQ(plan.dy, 0);
    // Before the first layout has recorded the starting size there is nothing to move by.
    input.prevClientWidth = 0;
    input.prevClientHeight = 0;
    EXPECT_FALSE(PlanLayout(input).apply);
}

TEST(WindowLayout, LinesPerPageForPanelsAroundTheHeaderBands) {
    struct Case {
        int32_t panelHeight;
        int32_t lines;
    };
    const Case cases[] = {
        {48, 0},
        {61, 0},
        {62, 1},
        {75, 1},
        {76, 2},
        {297, 17},
        {325, 19},
        // Lower than the bands: truncation towards zero gives 0 down to 35 rows, then -1.
        {47, 0},
        {35, 0},
        {34, -1},
        {0, -3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LinesPerPage(c.panelHeight), c.lines) << "panel height " << c.panelHeight;
    }
}

TEST(WindowLayout, CentredDialogStaysOnScreen) {
    struct Case {
        const char* what;
        int32_t refStart, refSize, size, screen, expected;
    };
    const Case cases[] = {
        {"centred", 100, 800, 400, 1280, 300},
        {"odd difference truncates towards zero", 100, 401, 400, 1280, 100},
        {"negative odd difference truncates towards zero", 10, 399, 400, 1280, 10},
        {"reference partly off the left edge", -500, 600, 400, 1280, 0},
        {"would reach past the right edge", 1000, 600, 400, 1280, 880},
        {"exactly flush with the right edge stays", 880, 400, 400, 1280, 880},
        {"wider than the screen starts at 0 when centred left of it", -100, 200, 1400, 1280, 0},
        {"wider than the screen on the right ends flush", 600, 800, 1400, 1280, -120},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CentredOnScreen(c.refStart, c.refSize, c.size, c.screen), c.expected) << c.what;
    }
}

}  // namespace
