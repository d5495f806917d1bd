#include "display/scaled_canvas.h"

namespace {

// Division rounding towards minus infinity, so the mapping is the same on both sides of 0
// (C++ division truncates towards zero).
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

int32_t UnitsToPixels(int32_t units, int32_t dpi) {
    return static_cast<int32_t>(FloorDiv(int64_t{units} * dpi + kBaseDpi / 2, kBaseDpi));
}

int32_t UnitsCovering(int32_t pixels, int32_t dpi) {
    return static_cast<int32_t>(-FloorDiv(-int64_t{pixels} * kBaseDpi, dpi));
}

int32_t WholeUnitsIn(int32_t pixels, int32_t dpi) {
    return static_cast<int32_t>(FloorDiv(int64_t{pixels} * kBaseDpi, dpi));
}

CanvasRect ScaledCanvas::Px(const CanvasRect& rect) const {
    return {Px(rect.left), Px(rect.top), Px(rect.right), Px(rect.bottom)};
}

void ScaledCanvas::Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour) {
    device_.Line(Px(x0), Px(y0), Px(x1), Px(y1), colour);
}

void ScaledCanvas::Rectangle(const CanvasRect& rect, Colour fill) {
    device_.Rectangle(Px(rect), fill);
}

void ScaledCanvas::GradientBand(const CanvasRect& rect, Colour top, Colour bottom,
                                Colour fallback) {
    device_.GradientBand(Px(rect), top, bottom, fallback);
}

void ScaledCanvas::Text(int32_t x, int32_t y, std::wstring_view text, CanvasFont font,
                        Colour colour) {
    device_.Text(Px(x), Px(y), text, font, colour);
}

void ScaledCanvas::SetClip(const CanvasRect& rect) { device_.SetClip(Px(rect)); }
