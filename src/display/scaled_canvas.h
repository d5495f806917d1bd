// The panel's geometry is given in pixels of a 96-dpi screen. On a scaled screen (125 %, 150 %,
// 200 %) ScaledCanvas maps every coordinate of it onto device pixels of the window's dpi, so
// the chart, the log lines and the header bands grow together and the layout arithmetic
// (lines per page, the chart strip) stays in the same 96-dpi units at every dpi.
#pragma once

#include <cstdint>

#include "display/canvas.h"

inline constexpr int32_t kBaseDpi = 96;

// Device pixels for a coordinate or length of `units` 96-dpi pixels, to the nearest pixel.
// One mapping for every coordinate, so two shapes that meet in units meet on the device too.
int32_t UnitsToPixels(int32_t units, int32_t dpi);
// The fewest 96-dpi units whose pixels cover `pixels` device pixels (rounded up): the size in
// units of a panel, so that what is painted up to its edge reaches the bitmap's edge.
int32_t UnitsCovering(int32_t pixels, int32_t dpi);
// The whole 96-dpi units that fit into `pixels` device pixels (rounded down).
int32_t WholeUnitsIn(int32_t pixels, int32_t dpi);

// Draws on `device` with every coordinate taken in 96-dpi units. Lines and outlines stay one
// device pixel wide. Texts are placed in units; their size is the font's, so the fonts the
// device canvas writes with must be made at the same dpi (their cell heights scaled alike).
class ScaledCanvas final : public Canvas {
  public:
    ScaledCanvas(Canvas& device, int32_t dpi) : device_(device), dpi_(dpi) {}

    void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour) override;
    void Rectangle(const CanvasRect& rect, Colour fill) override;
    void GradientBand(const CanvasRect& rect, Colour top, Colour bottom, Colour fallback) override;
    void Text(int32_t x, int32_t y, std::wstring_view text, CanvasFont font,
              Colour colour) override;
    void SetClip(const CanvasRect& rect) override;
    void ClearClip() override { device_.ClearClip(); }

  private:
    int32_t Px(int32_t units) const { return UnitsToPixels(units, dpi_); }
    CanvasRect Px(const CanvasRect& rect) const;

    Canvas& device_;
    const int32_t dpi_;
};
