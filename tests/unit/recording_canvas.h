// A Canvas for tests that keeps every drawing call with the clip in force when it was made.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "display/canvas.h"

class RecordingCanvas : public Canvas {
  public:
    enum class Kind { Line, Rectangle, GradientBand, Text };
    struct Call {
        Kind kind;
        CanvasRect rect;    // Line: x0, y0, x1, y1
        Colour colour = 0;  // GradientBand: the top colour
        Colour bottom = 0;
        std::wstring text{};
        CanvasFont font = CanvasFont::ChartFont;
        int32_t x = 0, y = 0;
        std::optional<CanvasRect> clip{};
    };

    void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour c) override {
        Push({Kind::Line, {x0, y0, x1, y1}, c});
    }
    void Rectangle(const CanvasRect& r, Colour fill) override { Push({Kind::Rectangle, r, fill}); }
    void GradientBand(const CanvasRect& r, Colour top, Colour bottom, Colour) override {
        Push({Kind::GradientBand, r, top, bottom});
    }
    void Text(int32_t x, int32_t y, std::wstring_view text, CanvasFont font, Colour c) override {
        Push({Kind::Text, {}, c, 0, std::wstring(text), font, x, y});
    }
    void SetClip(const CanvasRect& r) override { clip = r; }
    void ClearClip() override { clip.reset(); }

    std::vector<Call> Of(Kind kind) const {
        std::vector<Call> found;
        for (const Call& call : calls) if (call.kind == kind) found.push_back(call);
        return found;
    }
    std::optional<Call> TextStartingWith(const std::wstring& prefix) const {
        for (const Call& call : Of(Kind::Text)) if (call.text.rfind(prefix, 0) == 0) return call;
        return std::nullopt;
    }

    std::vector<Call> calls;
    std::optional<CanvasRect> clip;

  private:
    void Push(Call call) {
        call.clip = clip;
        calls.push_back(std::move(call));
    }
};

// The results panel's size in the window at 96 dpi, as the tests draw it.
inline constexpr int32_t kPanelWidth = 520, kPanelHeight = 297;
