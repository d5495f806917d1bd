#include "display/log_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/window_layout.h"
#include "log/logger.h"
#include "recording_canvas.h"

namespace {

struct RecordingLogViewPort : LogViewPort {
    void SetScrollBar(const ScrollBarState& state) override { bar = state; }
    void SetScrollPosition(int32_t position) override { positions.push_back(position); }
    void RedrawPanel() override { ++redraws; }
    ScrollBarState bar;
    std::vector<int32_t> positions;
    int redraws = 0;
};

constexpr int32_t kLogRight = kPanelWidth - 81;
using K = RecordingCanvas::Kind;
std::wstring RecordText(int n) { return L"record " + std::to_wstring(n); }

class LogViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TearDown();
        CreateTheLog();
        SetLogViewPort(&port);
        linesPerPage = 16;
    }
    void TearDown() override {
        SetLogViewPort(nullptr);
        DestroyTheLog();
        shuttingDown = false;
        firstShown = lastPage = linesPerPage = 0;
    }
    // Stores records "record <from>".. and moves the view, as LogAdd and the window do.
    void Add(int n, int from = 0) {
        for (int i = from; i < from + n; ++i) {
            theLog.load()->Add(RecordText(i).c_str(), kLogInformation);
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
        for (const auto& call : Draw().Of(K::Text)) texts.push_back(call.text);
        return texts;
    }
    RecordingLogViewPort port;
};

// The range is 0 .. lastPage + 4 with a page of five, so lastPage is the highest position; a
// view at the bottom stays there when the room changes, a scrolled one stays where it is.
// Fewer than fit, a page, one more; a recount keeps a scrolled view, and one at the bottom
// there; everything fits again; closing freezes the bar. Lines: the room after the adding.
TEST_F(LogViewTest, ScrollBarFollowsTheRecordsAndTheRoom) {
    const struct {
        int records, scrolledTo, lines;  // scrolledTo -1: left at the bottom
        bool closing;
        ScrollBarState bar;
        int32_t first, last;
    } cases[] = {{10, -1, 16, false, {}, 0, 0},
                 {16, -1, 16, false, {}, 0, 0},
                 {17, -1, 16, false, {true, 0, 5, 5, 1}, 1, 1},
                 {36, 4, 10, false, {true, 0, 30, 5, 4}, 4, 26},
                 {36, -1, 10, false, {true, 0, 30, 5, 26}, 26, 26},
                 {36, 20, 40, false, {}, 0, 0},
                 {20, -1, 5, true, {true, 0, 8, 5, 4}, 4, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.records << " " << c.scrolledTo << " " << c.lines);
        SetUp();
        port = RecordingLogViewPort();
        Add(c.records);
        if (c.scrolledTo >= 0) firstShown = c.scrolledTo;
        shuttingDown = c.closing;
        linesPerPage = c.lines;
        UpdateLogScrollBar();
        EXPECT_EQ(port.bar, c.bar);
        EXPECT_EQ(std::make_pair(firstShown.load(), lastPage.load()),
                  std::make_pair(c.first, c.last));
        const auto texts = ShownTexts();
        ASSERT_EQ(texts.size(), static_cast<size_t>(std::min(c.lines, c.records)));
        EXPECT_EQ(texts.front(), RecordText(c.first));
    }
}

// 36 records with room for 16: lastPage is 20. Every code puts the thumb where the view is and
// repaints, even when nothing moved; then a new record brings a scrolled view back to the
// bottom, after the range has grown.
TEST_F(LogViewTest, ScrollCodesMoveTheFirstLineByTheTableAndANewRecordToTheBottom) {
    // Code (42 is none), from, thumb, to.
    const int cases[][4] = {{kScrollLineUp, 5, 0, 4},
                            {kScrollLineUp, 0, 0, 0},
                            {kScrollLineDown, 19, 0, 20},
                            {kScrollLineDown, 20, 0, 20},
                            {kScrollPageUp, 6, 0, 1},
                            {kScrollPageUp, 3, 0, 0},
                            {kScrollPageDown, 14, 0, 19},
                            {kScrollPageDown, 17, 0, 20},
                            {kScrollTop, 13, 0, 0},
                            {kScrollThumbPosition, 7, 12, 7},
                            {kScrollThumbTrack, 7, 12, 12},
                            {kScrollBottom, 2, 0, 20},
                            {42, 9, 3, 9}};
    Add(36);
    ASSERT_EQ(lastPage, 20);
    for (const auto& c : cases) {
        firstShown = c[1];
        port.positions.clear();
        const int redrawsBefore = port.redraws;
        ScrollLog(c[0], c[2]);
        EXPECT_EQ(std::make_tuple(firstShown.load(), port.positions, port.redraws),
                  std::make_tuple(c[3], std::vector<int32_t>{c[3]}, redrawsBefore + 1))
            << "code " << c[0] << " from " << c[1];
    }
    ScrollLog(kScrollTop, 0);
    Add(1, 36);
    EXPECT_EQ(
        std::make_tuple(lastPage.load(), firstShown.load(), port.bar.max, port.positions.back()),
        std::make_tuple(21, 21, 25, 21));
    EXPECT_EQ(ShownTexts().back(), RecordText(36));
}

// A full log of 10000 records (15000 added, so the oldest is the 5001st), its thumb dragged to
// the middle: the lines show the records from there on, across the end of the log's ring.
TEST_F(LogViewTest, FullLogScrolledToTheMiddleShowsTheRecordsThere) {
    Add(15000);
    ASSERT_EQ(lastPage, 10000 - 16);
    ScrollLog(kScrollThumbTrack, 4992);
    std::vector<std::wstring> records;
    for (int n = 9992; n < 10008; ++n) records.push_back(RecordText(n));
    EXPECT_EQ(ShownTexts(), records);
}

// An empty record is held but takes no line; the text is cut at the chart strip, not at its
// line; the fills are not clipped, nor what follows. The colour tells the kind of record.
TEST_F(LogViewTest, LinesAreCategoryColouredBandsClippedAtTheChartStripAndNeverWrapRound) {
    const std::wstring longText(290, L'W');
    theLog.load()->Add(L"first", kLogInformation);
    theLog.load()->Add(L"", kLogError);
    theLog.load()->Add(longText.c_str(), kLogError);
    const RecordingCanvas canvas = Draw();
    const auto rects = canvas.Of(K::Rectangle);
    const auto texts = canvas.Of(K::Text);
    ASSERT_EQ(std::make_pair(rects.size(), texts.size()), std::make_pair(size_t{3}, size_t{2}));
    EXPECT_EQ(
        std::vector<CanvasRect>({rects[0].rect, rects[1].rect, rects[2].rect}),
        std::vector<CanvasRect>(
            {{0, 49, kLogRight, 63}, {0, 63, kLogRight, 77}, {0, 77, kLogRight, kPanelHeight}}));
    EXPECT_EQ(std::make_pair(rects[1].colour, rects[2].colour),
              std::make_pair(Rgb(255, 64, 64), kWhite));
    EXPECT_EQ(std::make_tuple(texts[1].text, texts[1].y, texts[1].font, *texts[1].clip),
              std::make_tuple(longText, 63, CanvasFont::LogFont,
                              CanvasRect{0, 0, kLogRight, kPanelHeight}));
    for (const auto& rect : rects) EXPECT_FALSE(rect.clip.has_value());
    EXPECT_FALSE(canvas.clip.has_value());

    theLog.load()->Clear();
    for (LogCategory c = 0; c < 11; ++c) theLog.load()->Add(L"x", c);
    std::vector<Colour> colours;
    for (const auto& r : Draw().Of(K::Rectangle)) colours.push_back(r.colour);
    EXPECT_EQ(colours, (std::vector<Colour>{
                           Rgb(255, 255, 128), Rgb(150, 255, 255), Rgb(200, 150, 200),
                           Rgb(255, 64, 64), Rgb(255, 224, 129), kWhite, kWhite, Rgb(255, 116, 61),
                           Rgb(128, 255, 128), Rgb(255, 204, 153), kWhite, kWhite}));
    // No room, no log, a thumb dragged past the end: nothing shown rather than wrapping round.
    const int32_t cases[][3] = {{1, -3, 0}, {0, 16, 0}, {1, 16, 50}};  // log, lines, first
    for (const auto& c : cases) {
        CreateTheLog();
        theLog.load()->Add(L"x", kLogInformation);
        if (!c[0]) DestroyTheLog();
        linesPerPage = c[1];
        firstShown = c[2];
        const RecordingCanvas empty = Draw();
        ASSERT_EQ(empty.calls.size(), 1u) << c[1] << " " << c[2];
        EXPECT_EQ(std::make_pair(empty.calls[0].rect, empty.calls[0].colour),
                  std::make_pair(CanvasRect{0, 49, kLogRight, kPanelHeight}, kWhite));
    }
}

// Centred; an odd negative difference truncates; kept off the left and the right edge; wider
// than the screen: at 0 when centred left of it, flush right otherwise.
TEST(WindowLayout, CentredDialogStaysOnScreen) {
    const int32_t cases[][5] = {{100, 800, 400, 1280, 300}, {10, 399, 400, 1280, 10},
                                {-500, 600, 400, 1280, 0},  {1000, 600, 400, 1280, 880},
                                {-100, 200, 1400, 1280, 0}, {600, 800, 1400, 1280, -120}};
    for (const auto& c : cases) EXPECT_EQ(CentredOnScreen(c[0], c[1], c[2], c[3]), c[4]) << c[0];
}

}  // namespace
