#include "display/log_view.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "log/logger.h"
#include "recording_canvas.h"

// Readable failures for scroll bar states.
void PrintTo(const ScrollBarState& s, std::ostream* out) {
    *out << (s.visible ? "shown " : "hidden ") << s.min << ".." << s.max << " page " << s.page
         << " pos " << s.pos;
}

namespace {

class RecordingLogViewPort : public LogViewPort {
  public:
    void SetScrollBar(const ScrollBarState& state) override {
        bar = state;
        ++barUpdates;
    }
    void SetScrollPosition(int32_t position) override { positions.push_back(position); }
    void RedrawPanel() override { ++redraws; }

    ScrollBarState bar;
    int barUpdates = 0;
    std::vector<int32_t> positions;
    int redraws = 0;
};

constexpr int32_t kPanelWidth = 520;
constexpr int32_t kPanelHeight = 297;
constexpr int32_t kLogRight = kPanelWidth - 81;
constexpr int32_t kRoomForLines = 16;

std::wstring RecordText(int n) { return L"record " + std::to_wstring(n); }

class LogViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        shuttingDown = false;
        CreateTheLog();
        firstShown = 0;
        lastPage = 0;
        linesPerPage = kRoomForLines;
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

    // Adds records "record <from>" .. "record <from + n - 1>" the way LogAdd and the window's
    // follow-up do: store, then move the view.
    void Add(int n, LogCategory category = kLogInformation, int from = 0) {
        for (int i = 0; i < n; ++i) {
            theLog.load()->Add(RecordText(from + i).c_str(), category);
            OnLogRecordAdded();
        }
    }

    // The texts of the drawn log lines, top to bottom.
    std::vector<std::wstring> ShownTexts() {
        RecordingCanvas canvas;
        DrawLogArea(canvas, kPanelWidth, kPanelHeight);
        std::vector<std::wstring> texts;
        for (const auto& call : canvas.Texts()) texts.push_back(call.text);
        return texts;
    }

    // Puts the view at `first` over a log with `count` records and a last page of count - 16.
    void ViewAt(int count, int32_t first) {
        Add(count);
        firstShown = first;
    }

    RecordingLogViewPort port;
};

TEST_F(LogViewTest, TenRecordsWithRoomForSixteenFillFromTheOldestWithoutScrollBar) {
    Add(10);
    EXPECT_FALSE(port.bar.visible);
    EXPECT_EQ(firstShown, 0);
    EXPECT_EQ(lastPage, 0);

    RecordingCanvas canvas;
    DrawLogArea(canvas, kPanelWidth, kPanelHeight);
    const auto rects = canvas.Rectangles();
    ASSERT_EQ(rects.size(), 11u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(rects[i].rect, (CanvasRect{0, 49 + 14 * i, kLogRight, 63 + 14 * i}));
        EXPECT_EQ(rects[i].colour, Rgb(255, 255, 128));
    }
    EXPECT_EQ(rects[10].rect, (CanvasRect{0, 49 + 140, kLogRight, kPanelHeight}));
    EXPECT_EQ(rects[10].colour, kWhite);
    const auto texts = canvas.Texts();
    ASSERT_EQ(texts.size(), 10u);
    EXPECT_EQ(texts[0].text, RecordText(0));
    EXPECT_EQ(texts[9].text, RecordText(9));
}

TEST_F(LogViewTest, OneRecordMoreThanFitsShowsTheScrollBarOneLineDown) {
    Add(kRoomForLines + 1);
    EXPECT_EQ(port.bar, (ScrollBarState{true, 0, 5, 5, 1}));
    EXPECT_EQ(firstShown, 1);
    ASSERT_FALSE(port.positions.empty());
    EXPECT_EQ(port.positions.back(), 1);
    const auto texts = ShownTexts();
    ASSERT_EQ(texts.size(), static_cast<size_t>(kRoomForLines));
    EXPECT_EQ(texts.front(), RecordText(1));
    EXPECT_EQ(texts.back(), RecordText(kRoomForLines));
}

TEST_F(LogViewTest, ScrollCodesMoveTheFirstLineByTheTable) {
    // 36 records with room for 16: lastPage is 20.
    struct Case {
        const char* name;
        int code;
        int32_t from;
        int thumb;
        int32_t to;
    };
    const Case cases[] = {
        {"line up", kScrollLineUp, 5, 0, 4},
        {"line up at the top", kScrollLineUp, 0, 0, 0},
        {"line down", kScrollLineDown, 19, 0, 20},
        {"line down at the bottom", kScrollLineDown, 20, 0, 20},
        {"page up", kScrollPageUp, 6, 0, 1},
        {"page up from 5", kScrollPageUp, 5, 0, 0},
        {"page up from 3", kScrollPageUp, 3, 0, 0},
        {"page down", kScrollPageDown, 14, 0, 19},
        {"page down from lastPage - 5", kScrollPageDown, 15, 0, 20},
        {"page down from lastPage - 3", kScrollPageDown, 17, 0, 20},
        {"thumb position", kScrollThumbPosition, 7, 12, 7},
        {"thumb track", kScrollThumbTrack, 7, 12, 12},
        {"top", kScrollTop, 13, 0, 0},
        {"bottom", kScrollBottom, 2, 0, 20},
        {"end scroll", 8, 9, 3, 9},
        {"unknown code", 42, 9, 3, 9},
    };
    Add(36);
    ASSERT_EQ(lastPage, 20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        firstShown = c.from;
        port.positions.clear();
        const int redrawsBefore = port.redraws;
        ScrollLog(c.code, c.thumb);
        EXPECT_EQ(firstShown, c.to);
        // Every code puts the thumb where the view is and repaints, even when nothing moved.
        EXPECT_EQ(port.positions, (std::vector<int32_t>{c.to}));
        EXPECT_EQ(port.redraws, redrawsBefore + 1);
    }
}

TEST_F(LogViewTest, ANewRecordBringsAScrolledViewBackToTheBottom) {
    ViewAt(36, 0);
    ScrollLog(kScrollTop, 0);
    Add(1, kLogInformation, 36);
    EXPECT_EQ(lastPage, 21);
    EXPECT_EQ(firstShown, 21);
    // The range grows first; the thumb then follows the view to the bottom.
    EXPECT_EQ(port.bar.max, 25);
    EXPECT_EQ(port.positions.back(), 21);
    EXPECT_EQ(ShownTexts().back(), RecordText(36));
}

TEST_F(LogViewTest, RecountWithoutANewRecordKeepsAScrolledViewWhereItIs) {
    // The mode buttons recount the range; only a view that was at the bottom follows it.
    ViewAt(36, 4);
    linesPerPage = 10;
    UpdateLogScrollBar();
    EXPECT_EQ(lastPage, 26);
    EXPECT_EQ(firstShown, 4);
    EXPECT_EQ(port.bar, (ScrollBarState{true, 0, 30, 5, 4}));
}

TEST_F(LogViewTest, AViewAtTheBottomStaysThereWhenTheWindowShrinks) {
    Add(36);
    linesPerPage = 10;
    UpdateLogScrollBar();
    EXPECT_EQ(firstShown, 26);
    EXPECT_EQ(ShownTexts().back(), RecordText(35));
}

TEST_F(LogViewTest, EnlargingUntilEverythingFitsHidesTheBarAndShowsFromTheOldest) {
    ViewAt(36, 20);
    linesPerPage = 40;
    UpdateLogScrollBar();
    EXPECT_FALSE(port.bar.visible);
    EXPECT_EQ(firstShown, 0);
    EXPECT_EQ(lastPage, 0);
    const auto texts = ShownTexts();
    ASSERT_EQ(texts.size(), 36u);
    EXPECT_EQ(texts.front(), RecordText(0));
}

TEST_F(LogViewTest, ExactlyAPageFullNeedsNoScrollBar) {
    // lastPage must be at least 1 before there is anything to scroll to.
    Add(kRoomForLines);
    EXPECT_FALSE(port.bar.visible);
    EXPECT_EQ(firstShown, 0);
}

TEST_F(LogViewTest, ClosingWindowFreezesTheScrollBar) {
    Add(20);
    const int updates = port.barUpdates;
    shuttingDown = true;
    linesPerPage = 5;
    UpdateLogScrollBar();
    EXPECT_EQ(port.barUpdates, updates);
    EXPECT_EQ(lastPage, 4);
    EXPECT_EQ(firstShown, 4);
}

TEST_F(LogViewTest, FullLogScrollsTheLastPageWithoutMovingIt) {
    Add(10000);
    EXPECT_EQ(lastPage, 10000 - kRoomForLines);
    Add(5, kLogInformation, 10000);
    EXPECT_EQ(lastPage, 10000 - kRoomForLines);
    EXPECT_EQ(firstShown, 10000 - kRoomForLines);
    const auto texts = ShownTexts();
    ASSERT_EQ(texts.size(), static_cast<size_t>(kRoomForLines));
    EXPECT_EQ(texts.back(), RecordText(10004));
    EXPECT_EQ(texts.front(), RecordText(10005 - kRoomForLines));
}

TEST_F(LogViewTest, LineBackgroundTellsTheCategory) {
    struct Case {
        LogCategory category;
        Colour colour;
    };
    const Case cases[] = {
        {0, Rgb(255, 255, 128)},
        {1, Rgb(150, 255, 255)},
        {2, Rgb(200, 150, 200)},
        {3, Rgb(255, 64, 64)},
        {4, Rgb(255, 224, 129)},
        {5, kWhite},
        {6, kWhite},
        {7, Rgb(255, 116, 61)},
        {8, Rgb(128, 255, 128)},
        {9, Rgb(255, 204, 153)},
        {10, kWhite},
        {0xFFFFFFFF, kWhite},
    };
    for (const Case& c : cases) theLog.load()->Add(L"x", c.category);
    linesPerPage = 20;
    RecordingCanvas canvas;
    DrawLogArea(canvas, kPanelWidth, kPanelHeight);
    const auto rects = canvas.Rectangles();
    ASSERT_EQ(rects.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].category);
        EXPECT_EQ(rects[i].colour, cases[i].colour);
    }
}

TEST_F(LogViewTest, TextIsBlackLogFontClippedAtTheChartStripNotAtItsLine) {
    const std::wstring longText(290, L'W');
    theLog.load()->Add(longText.c_str(), kLogError);
    RecordingCanvas canvas;
    DrawLogArea(canvas, kPanelWidth, kPanelHeight);
    const auto texts = canvas.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, longText);
    EXPECT_EQ(texts[0].x, 5);
    EXPECT_EQ(texts[0].y, 49);
    EXPECT_EQ(texts[0].font, CanvasFont::LogFont);
    EXPECT_EQ(texts[0].colour, kBlack);
    ASSERT_TRUE(texts[0].clip.has_value());
    EXPECT_EQ(*texts[0].clip, (CanvasRect{0, 0, kLogRight, kPanelHeight}));
    // The fills are not clipped, and the clip does not outlive the text.
    for (const auto& rect : canvas.Rectangles()) EXPECT_FALSE(rect.clip.has_value());
    EXPECT_FALSE(canvas.clip.has_value());
}

TEST_F(LogViewTest, EmptyRecordTakesNoLine) {
    theLog.load()->Add(L"first", kLogInformation);
    theLog.load()->Add(L"", kLogError);
    theLog.load()->Add(L"third", kLogPass);
    RecordingCanvas canvas;
    DrawLogArea(canvas, kPanelWidth, kPanelHeight);
    const auto texts = canvas.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].text, L"third");
    EXPECT_EQ(texts[1].y, 63);
    const auto rects = canvas.Rectangles();
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[2].rect, (CanvasRect{0, 77, kLogRight, kPanelHeight}));
}

TEST_F(LogViewTest, NoRoomOrNoLogLeavesTheAreaWhite) {
    struct Case {
        const char* name;
        bool withLog;
        int32_t lines;
    };
    const Case cases[] = {
        {"no lines fit", true, 0}, {"negative room", true, -3}, {"no log", false, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateTheLog();
        theLog.load()->Add(L"x", kLogInformation);
        if (!c.withLog) DestroyTheLog();
        linesPerPage = c.lines;
        RecordingCanvas canvas;
        DrawLogArea(canvas, kPanelWidth, kPanelHeight);
        ASSERT_EQ(canvas.calls.size(), 1u);
        EXPECT_EQ(canvas.calls[0].rect, (CanvasRect{0, 49, kLogRight, kPanelHeight}));
        EXPECT_EQ(canvas.calls[0].colour, kWhite);
    }
}

TEST_F(LogViewTest, FirstLineBeyondTheRecordsDrawsNoLines) {
    // A thumb dragged past the end (or a view left behind by a cleared log) shows nothing
    // rather than wrapping round to other records.
    Add(3);
    firstShown = 50;
    EXPECT_TRUE(ShownTexts().empty());
}

TEST(LogViewWheel, OneLinePerWholeNotchAtMostOnePerMessage) {
    struct Case {
        const char* name;
        std::vector<int32_t> deltas;
        std::vector<int> codes;
        int32_t left;
    };
    const Case cases[] = {
        {"one notch up", {120}, {kScrollLineUp}, 0},
        {"a double notch moves one line", {240}, {kScrollLineUp}, 0},
        {"two half notches", {60, 60}, {kNoScroll, kScrollLineUp}, 0},
        {"one notch down", {-120}, {kScrollLineDown}, 0},
        {"two half notches down", {-60, -60}, {kNoScroll, kScrollLineDown}, 0},
        {"remainder waits", {90}, {kNoScroll}, 90},
        {"overshoot is dropped", {90, 90}, {kNoScroll, kScrollLineUp}, 0},
        {"opposite turns cancel", {100, -100, -20}, {kNoScroll, kNoScroll, kNoScroll}, -20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t accumulator = 0;
        std::vector<int> codes;
        for (int32_t delta : c.deltas) codes.push_back(WheelScrollCode(&accumulator, delta));
        EXPECT_EQ(codes, c.codes);
        EXPECT_EQ(accumulator, c.left);
    }
}

}  // namespace
