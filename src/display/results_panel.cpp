#include "display/results_panel.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "display/log_view.h"
#include "display/throughput_chart.h"
#include "engine/card_scan.h"
#include "engine/run_state.h"
#include "engine/test_data.h"
#include "engine/test_settings.h"
#include "log/logger.h"

namespace {

constexpr CanvasRect HeaderBand1(int32_t width) { return {0, 1, width, 25}; }
constexpr CanvasRect HeaderBand2(int32_t width) { return {0, 25, width, 49}; }

// Each band darkens towards its top edge; where the device cannot blend, it is plain grey.
constexpr Colour kBandTopColour = Rgb(96, 96, 96);
constexpr Colour kBandBottomColour = Rgb(192, 192, 192);
constexpr Colour kBandFallbackColour = Rgb(192, 192, 192);
constexpr Colour kHeaderTextColour = kBlack;

constexpr const wchar_t* kResultsText = L"Results";
// The trailing blanks are part of the text as it has always been written.
constexpr const wchar_t* kStatusFormat = L"Status: %ls                                ";
constexpr const wchar_t* kClosingText = L"Closing tests";
constexpr const wchar_t* kOperationsFormat = L"Operations: %llu";
constexpr const wchar_t* kErrorsFormat = L"Errors: %llu";

constexpr int32_t kBand1TextY = 4;
constexpr int32_t kBand2TextY = 28;
constexpr int32_t kResultsX = 5;
constexpr int32_t kStatusX = 210;
constexpr int32_t kDurationX = 5;
constexpr int32_t kOperationsX = 190;
// A count above a million has grown by a digit that would reach the errors text.
constexpr int32_t kLongOperationsX = 175;
constexpr uint64_t kLongOperationsAbove = 1000000;
constexpr int32_t kErrorsX = 390;

constexpr uint8_t kLoopbackMode = 0;
constexpr uint8_t kBenchmarkMode = 1;

struct ChartScale {
    int32_t maximum;
    int32_t greenFrom;
    int32_t yellowFrom;
};

// A row for kAnyOtherWidth matches every width that no earlier row of its speed took.
constexpr int kAnyOtherWidth = -1;

struct LinkScale {
    int speed;  // 1 = Gen1 (2.5 GT/s) ... 4 = Gen4 (16 GT/s)
    int width;
    ChartScale scale;
};

// The gauge's scale by the card's link, in MB/s. Gen3 and Gen4 know only x1 and x4; any other
// link leaves the scale as it was. No link at all (the card did not open) takes the scale the
// chart starts with, not the previous card's.
constexpr LinkScale kLinkScales[] = {
    {1, 1, {250, 150, 100}},    {1, kAnyOtherWidth, {1000, 600, 500}},
    {2, 1, {500, 300, 250}},    {2, kAnyOtherWidth, {2000, 1200, 1000}},
    {3, 1, {1000, 800, 750}},   {3, 4, {4000, 3200, 3000}},
    {4, 1, {2000, 1600, 1500}}, {4, 4, {8000, 6200, 6000}},
    {0, 0, {1000, 0, 0}},
};

const ChartScale* ChartScaleForLink(int speed, int width) {
    for (const LinkScale& row : kLinkScales) {
        if (row.speed == speed && (row.width == width || row.width == kAnyOtherWidth)) {
            return &row.scale;
        }
    }
    return nullptr;
}

// A rate truncated towards zero. The benchmark's figures come from timings, so a NaN or a
// rate beyond 32 bits is clamped here rather than left to an undefined conversion.
int32_t WholeMBps(float rate) {
    if (std::isnan(rate)) return 0;
    if (rate >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (rate <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(rate);
}

std::wstring FormatCount(const wchar_t* format, uint64_t value) {
    wchar_t text[64];
    std::swprintf(text, 64, format, static_cast<unsigned long long>(value));
    return text;
}

void PaintChart(Canvas& canvas, Win32ThroughputChart& chart) {
    const LinkShape link = LastOpenedLink();
    if (const ChartScale* scale = ChartScaleForLink(link.speed, link.width)) {
        chart.SetScale(scale->maximum, scale->greenFrom, scale->yellowFrom);
    }
    // The best overall rate tells whether this run has measured anything; the per-direction
    // maxima may still hold figures from before it.
    if (TestCounters.peakRateMBps != 0) {
        chart.SetRates(WholeMBps(TestCounters.maxReadMBps), WholeMBps(TestCounters.maxWriteMBps));
    } else {
        chart.ClearRates();
    }
    chart.Paint(canvas);
}

void HeaderText(Canvas& canvas, int32_t x, int32_t y, std::wstring_view text) {
    canvas.Text(x, y, text, CanvasFont::HeaderFont, kHeaderTextColour);
}

void PaintStatusBand(Canvas& canvas, int32_t width) {
    canvas.GradientBand(HeaderBand1(width), kBandTopColour, kBandBottomColour, kBandFallbackColour);
    HeaderText(canvas, kResultsX, kBand1TextY, kResultsText);
    const wchar_t* status = StatusTextString(TestCounters.statusText);
    if (status[0] != L'\0') {
        wchar_t text[128];
        std::swprintf(text, 128, kStatusFormat, status);
        HeaderText(canvas, kStatusX, kBand1TextY, text);
    }
}

void PaintCountersBand(Canvas& canvas, int32_t width) {
    canvas.GradientBand(HeaderBand2(width), kBandTopColour, kBandBottomColour, kBandFallbackColour);
    // While the window closes, the counters of a test still winding down mean nothing.
    if (shuttingDown && TestControl.activeThreads >= 1) {
        HeaderText(canvas, kDurationX, kBand2TextY, kClosingText);
        return;
    }
    HeaderText(canvas, kDurationX, kBand2TextY, FormatDuration(TestCounters.elapsedSeconds));
    switch (TestSettings.testMode) {
        case kLoopbackMode: {
            const uint64_t operations = TestCounters.operations;
            const int32_t x = operations > kLongOperationsAbove ? kLongOperationsX : kOperationsX;
            HeaderText(canvas, x, kBand2TextY, FormatCount(kOperationsFormat, operations));
            HeaderText(canvas, kErrorsX, kBand2TextY,
                       FormatCount(kErrorsFormat, TestCounters.errors));
            break;
        }
        case kBenchmarkMode:
            HeaderText(
                canvas, kOperationsX, kBand2TextY,
                FormatCount(kOperationsFormat, TestCounters.readBlocks + TestCounters.writeBlocks));
            break;
        default:
            break;
    }
}

}  // namespace

void PaintResultsPanel(Canvas& canvas, int32_t width, int32_t height) {
    canvas.Rectangle({width - kPanelChartStripPixels, kLogAreaTopPixels, width, height}, kWhite);
    if (Win32ThroughputChart* chart = theThroughputChart) PaintChart(canvas, *chart);
    PaintStatusBand(canvas, width);
    PaintCountersBand(canvas, width);
    DrawLogArea(canvas, width, height);
}
