// RecordingCanvas: a Canvas for tests that keeps every drawing call with its arguments and the
// clip rectangle in force when it was made, so a test can ask what was drawn where, in which
// colour and font, without a window system.
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
        CanvasRect rect;      // Rectangle, GradientBand; Line: x0, y0, x1, y1
        Colour colour = 0;    // Line and Text colour, Rectangle fill, GradientBand top colour
        Colour bottom = 0;    // GradientBand
        Colour fallback = 0;  // GradientBand
        std::wstring text{};
        CanvasFont font = CanvasFont::ChartFont;
        int32_t x = 0;  // Text
        int32_t y = 0;
        std::optional<CanvasRect> clip{};  // the clip in force when the call was made
    };

    void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour) override {
        Push({Kind::Line, {x0, y0, x1, y1}, colour});
    }
    void Rectangle(const CanvasRect& rect, Colour fill) override {
        Push({Kind::Rectangle, rect, fill});
    }
    void GradientBand(const CanvasRect& rect, Colour top, Colour bottom, Colour fallback) override {
        Push({Kind::GradientBand, rect, top, bottom, fallback});
    }
    void Text(int32_t x, int32_t y, std::wstring_view text, CanvasFont font,
              Colour colour) override {
        Push({Kind::Text, {}, colour, 0, 0, std::wstring(text), font, x, y});
    }
    void SetClip(const CanvasRect& rect) override { clip = rect; }
    void ClearClip() override { clip.reset(); }

    // --- Questions tests ask ---

    std::vector<Call> Of(Kind kind) const {
        std::vector<Call> found;
        for (const Call& call : calls) {
            if (call.kind == kind) found.push_back(call);
        }
        return found;
    }
    std::vector<Call> Texts() const { return Of(Kind::Text); }
    std::vector<Call> Rectangles() const { return Of(Kind::Rectangle); }
    std::vector<Call> Lines() const { return Of(Kind::Line); }

    // The first text call whose text starts with `prefix`, if any.
    std::optional<Call> TextStartingWith(const std::wstring& prefix) const {
        for (const Call& call : Texts()) {
            if (call.text.rfind(prefix, 0) == 0) return call;
        }
        return std::nullopt;
    }

    void Clear() {
        calls.clear();
        clip.reset();
    }

    std::vector<Call> calls;
    std::optional<CanvasRect> clip;

  private:
    void Push(Call call) {
        call.clip = clip;
        calls.push_back(std::move(call));
    }
};
