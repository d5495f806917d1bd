#include "display/log_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "display/window_layout.h"
#include "log/logger.h"
#include "recording_canvas.h"

void PrintTo(const ScrollBarState& s, std::ostream* out) {
    *out << (s.visible ? "shown " : "hidden ") << s.min << ".." << s.max << " page " << s.page
         << " pos " << s.pos;
}

namespace {

class RecordingLogViewPort : public LogViewPort {
  public:
    void SetScrollBar(const ScrollBarState& state) override { bar = state; }
    void SetScrollPosition(int32_t position) override { positions.push_back(position); }
    void RedrawPanel() override { ++redraws; }

    ScrollBarState bar;
    std::vector<int32_t> positions;
    int redraws = 0;
};

constexpr int32_t kPanelWidth = 520;
constexpr int32_t kPanelHeight = 297;
constexpr int32_t kLogRight = kPanelWidth - 81;

std::wstring RecordText(int n) { return L"record " + std::to_wstring(n); }

class LogViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        shuttingDown = false;
        CreateTheLog();
        firstShown = 0;
        lastPage = 0;
        linesPerPage = 16;
        SetLogViewPort(&port);
    }
    void TearDown() override {
        SetLogViewPort(nullptr);
        shuttingDown = false;
        DestroyTheLog();
        firstShown = 0;
        lastPage = 0;
        linesPerPage = 0;
    }

    // Adds records "record <from>" .. the way LogAdd and the window's follow-up do: store,
    // then move the view.
    void Add(int n, int from = 0) {
        for (int i = 0; i < n; ++i) {
            theLog.load()->Add(RecordText(from + i).c_str(), kLogInformation);
            OnLogRecordAdded();
        }
    }
    RecordingCanvas Draw() {
        RecordingCanvas canvas;
        DrawLogArea(canvas, kPanelWidth, kPanelHeight);
        return canvas;
    }
    std::vector<std::wstring> ShownTexts() {
        std::vector<std::wstring> texts;
        for (const auto& call : Draw().Texts()) texts.push_back(call.text);
        return texts;
    }

    RecordingLogViewPort port;
};

// The range is 0 .. lastPage + 4 with a page of five, so lastPage is the highest position; a
// view at the bottom stays there when the room changes, a scrolled one stays where it is.
TEST_F(LogViewTest, ScrollBarFollowsTheRecordsAndTheRoom) {
    const struct {
        const char* name;
        int records;
        int32_t scrolledTo;  // -1: left at the bottom
        int32_t lines;       // room after the records were added
        bool closing;
        ScrollBarState bar;
        int32_t first, last;
    } cases[] = {
        {"fewer than fit", 10, -1, 16, false, {}, 0, 0},
        {"exactly a page", 16, -1, 16, false, {}, 0, 0},
        {"one more than fits", 17, -1, 16, false, {true, 0, 5, 5, 1}, 1, 1},
        {"recount keeps a scrolled view", 36, 4, 10, false, {true, 0, 30, 5, 4}, 4, 26},
        {"a view at the bottom stays there", 36, -1, 10, false, {true, 0, 30, 5, 26}, 26, 26},
        {"everything fits again", 36, 20, 40, false, {}, 0, 0},
        {"closing freezes the bar", 20, -1, 5, true, {true, 0, 8, 5, 4}, 4, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        port = RecordingLogViewPort();
        Add(c.records);
        if (c.scrolledTo >= 0) firstShown = c.scrolledTo;
        shuttingDown = c.closing;
        linesPerPage = c.lines;
        UpdateLogScrollBar();
        EXPECT_EQ(port.bar, c.bar);
        EXPECT_EQ(firstShown, c.first);
        EXPECT_EQ(lastPage, c.last);
        const auto texts = ShownTexts();
        ASSERT_EQ(texts.size(), static_cast<size_t>(std::min(c.lines, c.records)));
        EXPECT_EQ(texts.front(), RecordText(c.first));
    }
}

TEST_F(LogViewTest, ScrollCodesMoveTheFirstLineByTheTable) {
    // 36 records with room for 16: lastPage is 20. Code (42 is none), from, thumb, to.
    const int cases[][4] = {{kScrollLineUp, 5, 0, 4},
                            {kScrollLineUp, 0, 0, 0},
                            {kScrollLineDown, 19, 0, 20},
                            {kScrollLineDown, 20, 0, 20},
                            {kScrollPageUp, 6, 0, 1},
                            {kScrollPageUp, 3, 0, 0},
                            {kScrollPageDown, 14, 0, 19},
                            {kScrollPageDown, 17, 0, 20},
                            {kScrollThumbPosition, 7, 12, 7},
                            {kScrollThumbTrack, 7, 12, 12},
                            {kScrollTop, 13, 0, 0},
                            {kScrollBottom, 2, 0, 20},
                            {42, 9, 3, 9}};
    Add(36);
    ASSERT_EQ(lastPage, 20);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c[0] << " from " << c[1]);
        firstShown = c[1];
        port.positions.clear();
        const int redrawsBefore = port.redraws;
        ScrollLog(c[0], c[2]);
        EXPECT_EQ(firstShown, c[3]);
        // Every code puts the thumb where the view is and repaints, even when nothing moved.
        EXPECT_EQ(port.positions, (std::vector<int32_t>{c[3]}));
        EXPECT_EQ(port.redraws, redrawsBefore + 1);
    }
}

TEST_F(LogViewTest, ANewRecordBringsAScrolledViewBackToTheBottom) {
    Add(36);
    ScrollLog(kScrollTop, 0);
    Add(1, 36);
    EXPECT_EQ(lastPage, 21);
    EXPECT_EQ(firstShown, 21);
    // The range grows first; the thumb then follows the view to the bottom.
    EXPECT_EQ(port.bar.max, 25);
    EXPECT_EQ(port.positions.back(), 21);
    EXPECT_EQ(ShownTexts().back(), RecordText(36));
}

TEST_F(LogViewTest, LinesAreCategoryColouredBandsWithTextClippedAtTheChartStrip) {
    const std::wstring longText(290, L'W');
    theLog.load()->Add(L"first", kLogInformation);
    theLog.load()->Add(L"", kLogError);  // held, but takes no line
    theLog.load()->Add(longText.c_str(), kLogError);
    const RecordingCanvas canvas = Draw();
    const auto rects = canvas.Rectangles();
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0].rect, (CanvasRect{0, 49, kLogRight, 63}));
    EXPECT_EQ(rects[1].rect, (CanvasRect{0, 63, kLogRight, 77}));
    EXPECT_EQ(rects[1].colour, Rgb(255, 64, 64));  // an ERROR line is red
    EXPECT_EQ(rects[2].rect, (CanvasRect{0, 77, kLogRight, kPanelHeight}));
    EXPECT_EQ(rects[2].colour, kWhite);
    const auto texts = canvas.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].text, longText);
    EXPECT_EQ(texts[1].y, 63);
    EXPECT_EQ(texts[1].font, CanvasFont::LogFont);
    // Cut at the chart strip, not at its line; the fills are not clipped, nor what follows.
    EXPECT_EQ(texts[1].clip, (CanvasRect{0, 0, kLogRight, kPanelHeight}));
    for (const auto& rect : rects) EXPECT_FALSE(rect.clip.has_value());
    EXPECT_FALSE(canvas.clip.has_value());

    // Every category's background, as drawn: the colour tells the kind of record.
    theLog.load()->Clear();
    for (LogCategory c = 0; c < 11; ++c) theLog.load()->Add(L"x", c);
    std::vector<Colour> colours;
    for (const auto& r : Draw().Rectangles()) colours.push_back(r.colour);
    colours.resize(11);
    EXPECT_EQ(colours, (std::vector<Colour>{Rgb(255, 255, 128), Rgb(150, 255, 255),
                                            Rgb(200, 150, 200), Rgb(255, 64, 64),
                                            Rgb(255, 224, 129), kWhite, kWhite, Rgb(255, 116, 61),
                                            Rgb(128, 255, 128), Rgb(255, 204, 153), kWhite}));
}

TEST_F(LogViewTest, NoRoomNoLogOrAFirstLineBeyondTheRecordsDrawsNoLines) {
    const struct {
        const char* name;
        bool withLog;
        int32_t lines;
        int32_t first;
    } cases[] = {
        {"no room", true, -3, 0},
        {"no log", false, 16, 0},
        // A thumb dragged past the end shows nothing rather than wrapping round.
        {"first line beyond the records", true, 16, 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CreateTheLog();
        theLog.load()->Add(L"x", kLogInformation);
        if (!c.withLog) DestroyTheLog();
        linesPerPage = c.lines;
        firstShown = c.first;
        const RecordingCanvas canvas = Draw();
        ASSERT_EQ(canvas.calls.size(), 1u);
        EXPECT_EQ(canvas.calls[0].rect, (CanvasRect{0, 49, kLogRight, kPanelHeight}));
        EXPECT_EQ(canvas.calls[0].colour, kWhite);
    }
}

TEST(WindowLayout, CentredDialogStaysOnScreen) {
    const struct {
        const char* what;
        int32_t refStart, refSize, size, screen, expected;
    } cases[] = {
        {"centred", 100, 800, 400, 1280, 300},
        {"negative odd difference truncates towards zero", 10, 399, 400, 1280, 10},
        {"reference partly off the left edge", -500, 600, 400, 1280, 0},
        {"would reach past the right edge", 1000, 600, 400, 1280, 880},
        {"wider than the screen starts at 0 when centred left of it", -100, 200, 1400, 1280, 0},
        {"wider than the screen on the right ends flush", 600, 800, 1400, 1280, -120},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CentredOnScreen(c.refStart, c.refSize, c.size, c.screen), c.expected) << c.what;
    }
}

}  // namespace
