#include "display/throughput_chart.h"

#include <string>

Win32ThroughputChart* theThroughputChart = nullptr;

namespace {

constexpr const wchar_t* kTitleText = L"Max. Rate";
constexpr const wchar_t* kNoRatesText = L"NA";
constexpr const wchar_t* kUnitsText = L"(MB/s)";
constexpr const wchar_t* kBarLabelText = L"R/W";
// The chart never sets a text colour: it writes in the device's own, which in the panel's
// freshly made memory context is black.
constexpr Colour kChartTextColour = kBlack;

}  // namespace

Win32ThroughputChart::Win32ThroughputChart(ModuleOwner& owner, int32_t controlId)
    : Win32Module(owner), controlId(controlId) {}

void Win32ThroughputChart::RefreshRect() {
    CanvasRect screen = rect;
    if (!owner.ControlScreenRect(controlId, &screen)) return;
    rect = screen;
    // A control that has no size yet reports zeros; taking that would pin the chart to the
    // owner's corner for good, since only MoveBy changes the rectangle afterwards.
    if (screen.right == 0 || screen.bottom == 0) return;
    rect = owner.ScreenToClient(screen);
    rectValid = 1;
}

void Win32ThroughputChart::MoveBy(int32_t dx, int32_t dy, int32_t dw, int32_t dh) {
    rect.left += dx;
    rect.top += dy;
    rect.right += dx + dw;
    rect.bottom += dy + dh;
}

void Win32ThroughputChart::SetScale(int32_t maximum, int32_t greenFromRate,
                                    int32_t yellowFromRate) {
    scaleMax = maximum;
    greenFrom = greenFromRate;
    yellowFrom = yellowFromRate;
}

void Win32ThroughputChart::SetRates(int32_t read, int32_t write) {
    readRate = read;
    writeRate = write;
    hasRates = 1;
    if (read > peakRate) peakRate = read;
    if (write > peakRate) peakRate = write;
}

void Win32ThroughputChart::ClearRates() {
    hasRates = 0;
    readRate = 0;
    writeRate = 0;
    peakRate = scaleMin;
}

Colour Win32ThroughputChart::BarBrush(int32_t rate) const {
    if (rate >= greenFrom) return greenBrush;
    if (rate >= yellowFrom) return yellowBrush;
    return redBrush;
}

int32_t Win32ThroughputChart::BarHeight(int32_t rate, int32_t scaleHeight) const {
    // Only called for a rate above scaleMin; a rate at or past the top never divides, so a
    // scale whose maximum is not above its minimum cannot divide by zero either.
    if (rate >= scaleMax) return scaleHeight;
    const float fraction =
        static_cast<float>(rate - scaleMin) / static_cast<float>(scaleMax - scaleMin);
    return static_cast<int32_t>(fraction * static_cast<float>(scaleHeight));
}

void Win32ThroughputChart::Paint(Canvas& canvas) {
    if (!rectValid) RefreshRect();
    if (!rectValid) return;

    const int32_t left = rect.left;
    const int32_t top = rect.top;
    const int32_t bottom = rect.bottom;
    const int32_t scaleHeight = bottom - bottomMargin - topMargin - top;
    const int32_t scaleTop = top + topMargin;
    const int32_t scaleBottom = bottom - bottomMargin;
    const int32_t axis = left + axisX;
    const int32_t majorSpacing = scaleHeight / (majorTicks - 1);
    const int32_t minorSpacing = scaleHeight / ((majorTicks - 1) * minorTicks);

    canvas.Line(axis, scaleBottom, axis, scaleTop, linePen);

    // Every major mark but the bottom one carries its minor marks below it; the spacings are
    // truncated separately, so the bottom mark is drawn at the true scale bottom on its own.
    for (int32_t i = 0; i <= majorTicks - 2; ++i) {
        int32_t y = scaleTop + majorSpacing * i;
        canvas.Line(axis, y, axis - majorTickLength, y, linePen);
        for (int32_t m = 0; m < minorTicks - 1; ++m) {
            y += minorSpacing;
            canvas.Line(axis, y, axis - minorTickLength, y, linePen);
        }
    }
    canvas.Line(axis, scaleBottom, axis - majorTickLength, scaleBottom, linePen);

    const int32_t barLeft = left + barX;
    canvas.Rectangle({barLeft, scaleTop, barLeft + 2 * barWidth, scaleBottom}, frameBrush);

    // Labels step down by a truncated quarter of the maximum, so a maximum that does not
    // divide by four ends above zero (250 reads 250, 188, 126, 64, 2).
    const int32_t labelStep = scaleMax / (majorTicks - 1);
    for (int32_t i = 0; i <= majorTicks - 1; ++i) {
        canvas.Text(left + labelX, scaleTop + majorSpacing * i - fontHeight / 2,
                    std::to_wstring(scaleMax - labelStep * i), font, kChartTextColour);
    }

    canvas.Text(left + titleX, top + titleY, kTitleText, font, kChartTextColour);
    if (hasRates) {
        canvas.Text(left + peakX, top + titleY + fontHeight, std::to_wstring(peakRate), font,
                    kChartTextColour);
    } else {
        canvas.Text(left + naX, top + titleY + fontHeight, kNoRatesText, font, kChartTextColour);
    }
    canvas.Text(left + labelX, bottom - unitsY, kUnitsText, font, kChartTextColour);
    canvas.Text(left + barLabelX, bottom - barLabelY, kBarLabelText, font, kChartTextColour);

    if (readRate > scaleMin) {
        const int32_t h = BarHeight(readRate, scaleHeight);
        canvas.Rectangle({barLeft, scaleBottom - h, barLeft + barWidth, scaleBottom},
                         BarBrush(readRate));
    }
    if (writeRate > scaleMin) {
        const int32_t h = BarHeight(writeRate, scaleHeight);
        canvas.Rectangle({barLeft + barWidth, scaleBottom - h, barLeft + 2 * barWidth, scaleBottom},
                         BarBrush(writeRate));
    }
}
