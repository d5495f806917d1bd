// The log view: which records of the event log the results panel shows, its scroll bar's
// range and position, scrolling, and the drawing of the coloured log lines. The scroll bar and
// the panel's redraw are reached through LogViewPort, so the arithmetic runs and is tested
// without a window.
#pragma once

#include <atomic>
#include <cstdint>

#include "display/canvas.h"
#include "log/log_category.h"

// The log lines start below the panel's two header bands and stop short of the chart strip
// at the panel's right edge.
inline constexpr int32_t kLogAreaTopPixels = 49;
inline constexpr int32_t kPanelChartStripPixels = 81;

// The scroll bar always pages by five lines, whatever fits on the screen; with a range of
// 0 .. lastPage + 4 that page makes lastPage exactly the highest position it allows.
inline constexpr int32_t kLogScrollPageLines = 5;

// Scroll codes as a vertical scroll bar sends them (SB_LINEUP ... SB_BOTTOM).
inline constexpr int kScrollLineUp = 0;
inline constexpr int kScrollLineDown = 1;
inline constexpr int kScrollPageUp = 2;
inline constexpr int kScrollPageDown = 3;
inline constexpr int kScrollThumbPosition = 4;
inline constexpr int kScrollThumbTrack = 5;
inline constexpr int kScrollTop = 6;
inline constexpr int kScrollBottom = 7;
// WheelScrollCode's answer when the wheel has not yet turned a whole notch.
inline constexpr int kNoScroll = -1;

// One notch of a mouse wheel (WHEEL_DELTA).
inline constexpr int32_t kWheelNotchDelta = 120;

// Index, from the oldest record (0), of the record on the first line; and its highest allowed
// value, Count - linesPerPage or 0 when that is below 1. Atomic because the design lets any
// thread that adds a record move the view; the window runs all of it on its main thread.
extern std::atomic<int32_t> firstShown;
extern std::atomic<int32_t> lastPage;
// Whole log lines that fit below the header bands; set by the main window's layout.
extern std::atomic<int32_t> linesPerPage;

struct ScrollBarState {
    bool visible = false;
    int32_t min = 0;
    int32_t max = 0;
    int32_t page = 0;
    int32_t pos = 0;
    bool operator==(const ScrollBarState&) const = default;
};

// What the log view asks of the window that shows it. Called on the thread that runs the log
// view's functions (the window's main thread in the Win32 program).
class LogViewPort {
  public:
    virtual ~LogViewPort() = default;

    // Visible: show the scroll bar and set its range min .. max, page and position, redrawn.
    // Not visible: hide it; the other fields mean nothing then.
    virtual void SetScrollBar(const ScrollBarState& state) = 0;

    // Move the scroll bar's thumb to `position`, redrawn; range, page and visibility stay.
    virtual void SetScrollPosition(int32_t position) = 0;

    // Redraw the results panel at once (invalidate it and update it now).
    virtual void RedrawPanel() = 0;
};

// The port the log view talks to; null (the default) shows nothing. Set by the main window
// before anything is logged.
void SetLogViewPort(LogViewPort* port);

// Recomputes lastPage from the log's Count, keeps a view that was at the bottom at the
// bottom, and shows or hides the scroll bar. Does nothing once the window has begun to close.
void UpdateLogScrollBar();

// A vertical scroll of the log's scroll bar: the scroll code (low 16 bits of the message's
// first parameter) and the thumb position (its high 16 bits, used by thumb track only). Moves
// the thumb to the new firstShown and redraws the panel, whatever the code.
void ScrollLog(int code, int thumbPosition);

// The follow-up of every record added: the view jumps to the newest records, the thumb
// follows and the panel is redrawn.
void OnLogRecordAdded();

// The mouse wheel: adds `delta` to `*accumulator` and answers kScrollLineUp once a whole notch
// up has gathered, kScrollLineDown once a whole notch down has, else kNoScroll. A notch
// resets the accumulator to 0, so one wheel message moves at most one line however large its
// delta; what is left of a partial notch waits for the next message.
int WheelScrollCode(int32_t* accumulator, int32_t delta);

// Background of a log line by the record's category.
Colour CategoryColour(LogCategory category);

// Draws the log area (0, 49, width - 81, height of the panel): one line per visible record,
// white below the last one. Reads only the records it shows, each copied under the log lock.
void DrawLogArea(Canvas& canvas, int32_t width, int32_t height);
