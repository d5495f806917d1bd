// The GDI side of the display seams: GdiCanvas draws the results panel and the throughput
// chart into a device context (the panel's off-screen memory DC), and WindowModuleOwner lets
// the chart find its placeholder control in the main window.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "display/canvas.h"
#include "display/throughput_chart.h"

// Msimg32's GradientFill; looked up at start-up, null where the system has none.
using GradientFillEntry = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

// Deletes a pen, brush, font or region when its owner goes.
struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const {
        if (object) DeleteObject(object);
    }
};
template <typename Handle>
using UniqueGdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

// Selects `object` into `dc` for one scope and puts the previous object back at its end. A
// null object (a font that could not be made) selects nothing, so GDI keeps what it had.
class ScopedSelect {
  public:
    ScopedSelect(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelect() {
        if (previous_) SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A memory DC with a bitmap the size of the window selected into it, to paint off-screen and
// copy at once. On going it puts the DC's own bitmap back, deletes ours, then the DC.
class OffscreenBuffer {
  public:
    OffscreenBuffer(HDC screen, int width, int height)
        : dc_(CreateCompatibleDC(screen)),
          bitmap_(dc_ ? CreateCompatibleBitmap(screen, width, height) : nullptr),
          select_(dc_.get(), bitmap_.get()) {}
    // False when the DC or the bitmap could not be made.
    bool Ready() const { return bitmap_ != nullptr; }
    HDC Dc() const { return dc_.get(); }

  private:
    struct DcDeleter {
        void operator()(HDC dc) const { DeleteDC(dc); }
    };
    std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter> dc_;
    UniqueGdiObject<HBITMAP> bitmap_;
    ScopedSelect select_;
};

// The fonts the canvas writes with. The canvas borrows them; the main window makes them once
// when it is initialised and deletes the log and header fonts when it is destroyed (the chart
// font lives as long as the chart, which is never destroyed).
struct GdiFonts {
    HFONT chartFont = nullptr;
    HFONT logFont = nullptr;
    HFONT headerFont = nullptr;
};

// `font`, whose cell height is that of a 96-dpi screen, made for `dpi`: its height scaled by
// dpi / 96 like every coordinate the panel draws at.
HFONT CreateFontAtDpi(LOGFONTW font, int32_t dpi);

// The chart's own font: its fontHeight (cell height, scaled to `dpi`), fontWeight and
// fontFace, every other attribute left at its default (character set 0).
HFONT CreateChartFont(const Win32ThroughputChart& chart, int32_t dpi);

class GdiCanvas final : public Canvas {
  public:
    // Draws into `dc` for the canvas's lifetime: a one-pixel black pen and a transparent text
    // background stay selected until the canvas goes, then the DC gets its own back.
    GdiCanvas(HDC dc, const GdiFonts& fonts, GradientFillEntry gradientFill);
    ~GdiCanvas() override;
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour) override;
    void Rectangle(const CanvasRect& rect, Colour fill) override;
    // With GradientFill: two vertices, one rectangle, vertical mode. Without: the fallback.
    void GradientBand(const CanvasRect& rect, Colour top, Colour bottom, Colour fallback) override;
    void Text(int32_t x, int32_t y, std::wstring_view text, CanvasFont font,
              Colour colour) override;
    void SetClip(const CanvasRect& rect) override;
    void ClearClip() override;

  private:
    HFONT FontFor(CanvasFont font) const;

    HDC dc_;
    GdiFonts fonts_;
    GradientFillEntry gradientFill_;
    UniqueGdiObject<HPEN> pen_;
    ScopedSelect penSelection_;
    int previousBkMode_;
    COLORREF previousTextColour_;
    // The clip region the DC had before SetClip (null: it had none), restored by ClearClip.
    UniqueGdiObject<HRGN> savedClip_;
    bool clipped_ = false;
};

// The chart's view of the main window: reads the window handle through a reference to the
// variable that holds it, at each use, so the chart may be made before the window and never
// holds a stale handle. The chart draws in 96-dpi units, so the client coordinates it gets are
// in those units too, from the window's dpi (read through its variable as well).
class WindowModuleOwner final : public ModuleOwner {
  public:
    WindowModuleOwner(const HWND& ownerWindow, const int32_t& dpi)
        : ownerWindow_(ownerWindow), dpi_(dpi) {}

    bool ControlScreenRect(int32_t controlId, CanvasRect* screenRect) override;
    CanvasRect ScreenToClient(const CanvasRect& screenRect) override;

  private:
    const HWND& ownerWindow_;
    const int32_t& dpi_;
};
