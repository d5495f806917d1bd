#include "display/window_layout.h"

int32_t LinesPerPage(int32_t panelHeight, int32_t lineHeight) {
    // C++ division truncates towards zero, which is what a panel lower than its bands needs:
    // -13 rows of log area must give 0 lines, not -1.
    return (panelHeight - kPanelHeaderPixels) / lineHeight;
}

LayoutPlan PlanLayout(const LayoutInput& input) {
    LayoutPlan plan;
    if (input.newClientWidth == 0 || input.newClientHeight == 0) return plan;
    if (input.prevClientWidth == 0 && input.prevClientHeight == 0) return plan;

    plan.apply = true;
    plan.dx = input.newClientWidth - input.prevClientWidth;
    plan.dy = input.newClientHeight - input.prevClientHeight;
    plan.panelWidth = input.panelWidth + plan.dx;
    plan.panelHeight = input.panelHeight + plan.dy;
    plan.scrollBar = input.scrollBar;
    plan.scrollBar.left += plan.dx;
    plan.scrollBar.height += plan.dy;
    plan.linesPerPage = LinesPerPage(WholeUnitsIn(plan.panelHeight, input.dpi));
    plan.chartDx =
        UnitsCovering(plan.panelWidth, input.dpi) - UnitsCovering(input.panelWidth, input.dpi);
    plan.chartDy =
        UnitsCovering(plan.panelHeight, input.dpi) - UnitsCovering(input.panelHeight, input.dpi);
    return plan;
}

int32_t CentredOnScreen(int32_t refStart, int32_t refSize, int32_t size, int32_t screenSize) {
    int32_t start = refStart + (refSize - size) / 2;
    if (start < 0) {
        start = 0;
    } else if (start + size > screenSize) {
        start = screenSize - size;
    }
    return start;
}
