// The throughput chart: a small vertical gauge of the benchmark's best read and write rates
// against a scale chosen by the card's link, drawn through a Canvas. Win32Module is the base
// of the window-bound display modules; the window itself is reached only through the
// ModuleOwner the main window supplies, so this file builds and is tested without one.
#pragma once

#include <cstdint>

#include "display/canvas.h"

// What a display module needs of the window it sits in. The Win32 side answers from the main
// window's handle variable, read at each call, so a module made before the window exists (or
// after it is gone) simply finds no placeholder.
class ModuleOwner {
  public:
    virtual ~ModuleOwner() = default;

    // The window rectangle of the owner's control `controlId` in screen coordinates. False,
    // with `screenRect` untouched, when there is no owner window or no such control.
    virtual bool ControlScreenRect(int32_t controlId, CanvasRect* screenRect) = 0;

    // `screenRect`'s two corners converted to the owner window's client coordinates.
    virtual CanvasRect ScreenToClient(const CanvasRect& screenRect) = 0;
};

class Win32Module {
  public:
    explicit Win32Module(ModuleOwner& owner) : owner(owner) {}
    virtual ~Win32Module() = default;
    Win32Module(const Win32Module&) = delete;
    Win32Module& operator=(const Win32Module&) = delete;

    // The family's first operation: no module does anything in it and nothing calls it; it is
    // kept so every module answers the same two operations.
    virtual void Idle() {}
    // Draws the module at its own place in the owner's client coordinates.
    virtual void Paint(Canvas& /*canvas*/) {}

  protected:
    ModuleOwner& owner;
};

class Win32ThroughputChart final : public Win32Module {
  public:
    Win32ThroughputChart(ModuleOwner& owner, int32_t controlId);

    // Draws the gauge at `rect`; first takes `rect` from the placeholder if it has not yet,
    // and draws nothing while that still fails.
    void Paint(Canvas& canvas) override;

    // Takes the placeholder control's window rectangle; it counts only when its right and
    // bottom are both non-zero (a control not yet laid out reports zeros).
    void RefreshRect();
    // left += dx; top += dy; right += dx + dw; bottom += dy + dh, valid or not.
    void MoveBy(int32_t dx, int32_t dy, int32_t dw, int32_t dh);
    void SetScale(int32_t maximum, int32_t greenFromRate, int32_t yellowFromRate);
    // The peak keeps the largest rate seen since the last ClearRates.
    void SetRates(int32_t read, int32_t write);
    void ClearRates();

    const int32_t controlId;
    CanvasRect rect;  // in the owner's client coordinates
    uint8_t rectValid = 0;

    // Geometry of the gauge, in pixels from `rect`'s corners.
    const int32_t fontHeight = 14;
    const int32_t fontWeight = 700;
    const wchar_t* const fontFace = L"Tahoma";
    const int32_t axisX = 44;
    const int32_t majorTickLength = 9;
    const int32_t minorTickLength = 3;
    const int32_t majorTicks = 5;
    const int32_t minorTicks = 5;
    const int32_t barX = 49;
    const int32_t barWidth = 9;
    const int32_t bottomMargin = 30;
    const int32_t topMargin = 36;
    const int32_t labelX = 2;
    const int32_t titleX = 14;
    const int32_t titleY = 2;
    const int32_t peakX = 25;
    const int32_t naX = 34;
    const int32_t unitsY = 22;
    const int32_t barLabelY = 29;
    const int32_t barLabelX = 46;

    // The drawing objects, as the colours and font the canvas draws them with.
    const Colour frameBrush = kBlack;
    const Colour linePen = kBlack;
    const CanvasFont font = CanvasFont::ChartFont;
    const Colour greenBrush = 0x0064C864;
    const Colour yellowBrush = 0x001EC8C8;
    const Colour redBrush = 0x006464FF;

    // Rates in MB/s.
    int32_t scaleMax = 1000;
    const int32_t scaleMin = 0;
    int32_t readRate = 0;
    int32_t writeRate = 0;
    int32_t peakRate = scaleMin;
    uint8_t hasRates = 0;
    int32_t greenFrom = 0;
    int32_t yellowFrom = 0;

  private:
    Colour BarBrush(int32_t rate) const;
    // Height in pixels of a bar for `rate` on a scale `scaleHeight` pixels high.
    int32_t BarHeight(int32_t rate, int32_t scaleHeight) const;
};

// The system's one chart: made by the main window's initialisation, moved by its layout,
// painted by the results panel, all on the main thread. Never destroyed.
extern Win32ThroughputChart* theThroughputChart;
