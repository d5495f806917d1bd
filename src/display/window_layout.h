// The arithmetic of the main window's layout: how the panel, the log scroll bar and the
// right-hand buttons follow a change of the client size, how many log lines fit in the panel,
// and where a dialog centred over the main window lands on the screen. Pure integers, so the
// Win32 layout code and the tests share one definition.
#pragma once

#include <cstdint>

#include "display/scaled_canvas.h"

// Pixel rows at the top of the results panel taken by its two header bands; log lines start
// just below them.
inline constexpr int32_t kPanelHeaderPixels = 48;
// Height of one log line: the cell height of the log font.
inline constexpr int32_t kLogLineHeightPixels = 14;

struct LayoutRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// What the layout reads before it changes anything, and the client size it is asked to fit.
struct LayoutInput {
    int32_t newClientWidth = 0;
    int32_t newClientHeight = 0;
    int32_t prevClientWidth = 0;
    int32_t prevClientHeight = 0;
    LayoutRect scrollBar;    // in the main window's client coordinates
    int32_t panelWidth = 0;  // the panel's client size; its top-left corner never moves
    int32_t panelHeight = 0;
    int32_t dpi = kBaseDpi;  // the window's; the panel draws in 96-dpi units scaled to it
};

struct LayoutPlan {
    bool apply = false;  // false: leave every control and the previous size as they are
    int32_t dx = 0;      // horizontal move of the buttons, the scroll bar and the chart
    int32_t dy = 0;      // growth of the panel, the scroll bar and the chart downwards
    int32_t panelWidth = 0;
    int32_t panelHeight = 0;
    LayoutRect scrollBar;
    int32_t linesPerPage = 0;
    // The chart's move in the 96-dpi units it draws in: the change of the panel's size in
    // units, so the chart keeps its place in the chart strip to the unit at every dpi.
    int32_t chartDx = 0;
    int32_t chartDy = 0;
};

// Whole log lines below the header bands of a panel `panelHeight` pixels high; 0 or less when
// the panel is not even as high as its bands (the log view then draws nothing).
int32_t LinesPerPage(int32_t panelHeight, int32_t lineHeight = kLogLineHeightPixels);

// A minimised window reports a client size of 0 and must leave the controls where they are,
// so the restore that follows sees no change at all; so must a size message that comes before
// the first layout has recorded the starting size.
LayoutPlan PlanLayout(const LayoutInput& input);

// Start coordinate on one screen axis of a window `size` long, centred over a reference
// window spanning `refStart` .. `refStart + refSize`, then pushed back onto a screen
// `screenSize` long: a window that would start before 0 starts at 0, one that would end past
// the screen ends flush with it.
int32_t CentredOnScreen(int32_t refStart, int32_t refSize, int32_t size, int32_t screenSize);
