#include "app/gdi_canvas_win.h"

#include <cwchar>

#include "display/scaled_canvas.h"

namespace {

constexpr int kPenWidthPixels = 1;

// GradientFill takes 16-bit colour channels; a byte value fills the high byte.
COLOR16 Channel16(Colour colour, int shift) {
    return static_cast<COLOR16>(((colour >> shift) & 0xFF) << 8);
}

TRIVERTEX Vertex(int32_t x, int32_t y, Colour colour) {
    TRIVERTEX vertex{};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = Channel16(colour, 0);
    vertex.Green = Channel16(colour, 8);
    vertex.Blue = Channel16(colour, 16);
    vertex.Alpha = 0;
    return vertex;
}

}  // namespace

HFONT CreateChartFont(const Win32ThroughputChart& chart, int32_t dpi) {
    LOGFONTW font{};
    // A positive height asks for the cell height, on which the chart's label offsets rest.
    font.lfHeight = chart.fontHeight;
    font.lfWeight = chart.fontWeight;
    font.lfCharSet = 0;
    std::wcsncpy(font.lfFaceName, chart.fontFace, LF_FACESIZE - 1);
    return CreateFontAtDpi(font, dpi);
}

HFONT CreateFontAtDpi(LOGFONTW font, int32_t dpi) {
    font.lfHeight = UnitsToPixels(font.lfHeight, dpi);
    return CreateFontIndirectW(&font);
}

GdiCanvas::GdiCanvas(HDC dc, const GdiFonts& fonts, GradientFillEntry gradientFill)
    : dc_(dc),
      fonts_(fonts),
      gradientFill_(gradientFill),
      pen_(CreatePen(PS_SOLID, kPenWidthPixels, kBlack)),
      penSelection_(dc, pen_.get()),
      previousBkMode_(SetBkMode(dc, TRANSPARENT)),
      previousTextColour_(GetTextColor(dc)) {}

GdiCanvas::~GdiCanvas() {
    ClearClip();
    SetTextColor(dc_, previousTextColour_);
    if (previousBkMode_ != 0) SetBkMode(dc_, previousBkMode_);
}

void GdiCanvas::Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour) {
    // The canvas's own pen is black; another colour gets a pen of its own for this line.
    UniqueGdiObject<HPEN> pen;
    if (colour != kBlack) pen.reset(CreatePen(PS_SOLID, kPenWidthPixels, colour));
    ScopedSelect selection(dc_, pen.get());
    MoveToEx(dc_, x0, y0, nullptr);
    LineTo(dc_, x1, y1);
}

void GdiCanvas::Rectangle(const CanvasRect& rect, Colour fill) {
    UniqueGdiObject<HBRUSH> brush(CreateSolidBrush(fill));
    ScopedSelect selection(dc_, brush.get());
    ::Rectangle(dc_, rect.left, rect.top, rect.right, rect.bottom);
}

void GdiCanvas::GradientBand(const CanvasRect& rect, Colour top, Colour bottom, Colour fallback) {
    if (!gradientFill_) {
        Rectangle(rect, fallback);
        return;
    }
    TRIVERTEX vertices[2] = {Vertex(rect.left, rect.top, top),
                             Vertex(rect.right, rect.bottom, bottom)};
    GRADIENT_RECT band{0, 1};
    gradientFill_(dc_, vertices, 2, &band, 1, GRADIENT_FILL_RECT_V);
}

HFONT GdiCanvas::FontFor(CanvasFont font) const {
    switch (font) {
        case CanvasFont::ChartFont:
            return fonts_.chartFont;
        case CanvasFont::LogFont:
            return fonts_.logFont;
        case CanvasFont::HeaderFont:
            return fonts_.headerFont;
    }
    return nullptr;
}

void GdiCanvas::Text(int32_t x, int32_t y, std::wstring_view text, CanvasFont font, Colour colour) {
    ScopedSelect selection(dc_, FontFor(font));
    SetTextColor(dc_, colour);
    TextOutW(dc_, x, y, text.data(), static_cast<int>(text.size()));
}

void GdiCanvas::SetClip(const CanvasRect& rect) {
    ClearClip();
    // Keep whatever clip the DC came with, so ClearClip gives exactly that back.
    UniqueGdiObject<HRGN> saved(CreateRectRgn(0, 0, 0, 0));
    if (saved && GetClipRgn(dc_, saved.get()) == 1) savedClip_ = std::move(saved);
    IntersectClipRect(dc_, rect.left, rect.top, rect.right, rect.bottom);
    clipped_ = true;
}

void GdiCanvas::ClearClip() {
    if (!clipped_) return;
    // SelectClipRgn copies the region; a null region takes the clip away altogether.
    SelectClipRgn(dc_, savedClip_.get());
    savedClip_.reset();
    clipped_ = false;
}

bool WindowModuleOwner::ControlScreenRect(int32_t controlId, CanvasRect* screenRect) {
    HWND owner = ownerWindow_;
    if (!owner) return false;
    HWND control = GetDlgItem(owner, controlId);
    RECT rect;
    if (!control || !GetWindowRect(control, &rect)) return false;
    *screenRect = {rect.left, rect.top, rect.right, rect.bottom};
    return true;
}

CanvasRect WindowModuleOwner::ScreenToClient(const CanvasRect& screenRect) {
    POINT corners[2] = {{screenRect.left, screenRect.top}, {screenRect.right, screenRect.bottom}};
    if (HWND owner = ownerWindow_) MapWindowPoints(nullptr, owner, corners, 2);
    // The chart draws in 96-dpi units; the template's dialog units grow with the dpi as the
    // panel does, so the placeholder still lies over the chart strip in those units.
    return {UnitsCovering(corners[0].x, dpi_), UnitsCovering(corners[0].y, dpi_),
            UnitsCovering(corners[1].x, dpi_), UnitsCovering(corners[1].y, dpi_)};
}
