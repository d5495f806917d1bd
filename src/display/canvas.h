// Canvas: everything the throughput chart and the results panel draw with. The GDI canvas
// draws into the panel's off-screen bitmap; the recording canvas of the unit tests keeps every
// call so geometry, colours and texts can be checked without a window system.
#pragma once

#include <cstdint>
#include <string_view>

// 0x00BBGGRR, the layout of a GDI COLORREF, so a colour crosses to GDI unchanged.
using Colour = uint32_t;

constexpr Colour Rgb(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<Colour>(red) | (static_cast<Colour>(green) << 8) |
           (static_cast<Colour>(blue) << 16);
}

inline constexpr Colour kBlack = Rgb(0, 0, 0);
inline constexpr Colour kWhite = Rgb(255, 255, 255);

// Left, top, right, bottom in pixels; right and bottom are one past the last pixel row and
// column, as in a GDI RECT.
struct CanvasRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const CanvasRect&) const = default;
};

// The three fonts the panel writes with. The chart and the log lines both use a 14-pixel bold
// Tahoma, but the chart owns its own, so they stay two fonts.
enum class CanvasFont {
    ChartFont,   // 14-pixel cell, bold, Tahoma: every text of the throughput chart
    LogFont,     // 14-pixel cell, bold, Tahoma: the log lines
    HeaderFont,  // 16-pixel cell, bold italic, Tahoma: the header band texts
};

class Canvas {
  public:
    virtual ~Canvas() = default;

    // A one-pixel solid line in `colour` from (x0, y0) towards (x1, y1). The end point itself
    // is not drawn (as GDI LineTo), so a tick ends just short of the scale line it meets.
    virtual void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour) = 0;

    // The rectangle outlined with a one-pixel solid black line and filled with `fill` inside
    // the outline. The right column and bottom row are not drawn (as GDI Rectangle): the
    // outline runs along left .. right - 1 and top .. bottom - 1. An empty or inverted
    // rectangle may draw nothing.
    virtual void Rectangle(const CanvasRect& rect, Colour fill) = 0;

    // A band whose colour runs from `top` at its top row to `bottom` at its bottom row, every
    // row one colour, without an outline. A canvas that cannot blend colours draws
    // Rectangle(rect, fallback) instead, outline included; the caller never learns which.
    virtual void GradientBand(const CanvasRect& rect, Colour top, Colour bottom,
                              Colour fallback) = 0;

    // `text` in `font` and `colour`, its cell's top-left corner at (x, y), on a transparent
    // background (what lies under the text shows between its strokes). Cut only by the clip.
    virtual void Text(int32_t x, int32_t y, std::wstring_view text, CanvasFont font,
                      Colour colour) = 0;

    // From now on nothing is drawn outside `rect` (nor outside whatever the device itself
    // clips to). A second SetClip replaces the first; it does not narrow it.
    virtual void SetClip(const CanvasRect& rect) = 0;
    // Back to the device's own clipping. Harmless without a SetClip before it.
    virtual void ClearClip() = 0;
};
