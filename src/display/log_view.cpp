#include "display/log_view.h"

#include <cwchar>

#include "display/window_layout.h"
#include "log/logger.h"

std::atomic<int32_t> firstShown{0};
std::atomic<int32_t> lastPage{0};
std::atomic<int32_t> linesPerPage{0};

namespace {

std::atomic<LogViewPort*> logViewPort{nullptr};

// Log texts start a little in from the panel's left edge.
constexpr int32_t kLogTextLeftPixels = 5;

void ApplyScrollBar(const ScrollBarState& state) {
    if (LogViewPort* port = logViewPort.load()) port->SetScrollBar(state);
}

void MoveThumbAndRedraw(int32_t position) {
    if (LogViewPort* port = logViewPort.load()) {
        port->SetScrollPosition(position);
        port->RedrawPanel();
    }
}

int32_t RecordCount() {
    Logger* log = theLog.load();
    return log ? log->Count() : 0;
}

}  // namespace

void SetLogViewPort(LogViewPort* port) { logViewPort = port; }

void UpdateLogScrollBar() {
    // The log is about to be released; a late record must not touch the closing window.
    if (shuttingDown) return;
    const int32_t newLast = RecordCount() - linesPerPage;
    if (newLast != lastPage && firstShown == lastPage) firstShown = newLast;
    lastPage = newLast;
    if (newLast < 1) {
        lastPage = 0;
        firstShown = 0;
        ApplyScrollBar({});
        return;
    }
    ApplyScrollBar(
        {true, 0, newLast + kLogScrollPageLines - 1, kLogScrollPageLines, firstShown.load()});
}

void ScrollLog(int code, int thumbPosition) {
    const int32_t first = firstShown;
    const int32_t last = lastPage;
    int32_t next = first;
    switch (code) {
        case kScrollLineUp:
            if (first >= 1) next = first - 1;
            break;
        case kScrollLineDown:
            if (first < last) next = first + 1;
            break;
        case kScrollPageUp:
            next = first > kLogScrollPageLines ? first - kLogScrollPageLines : 0;
            break;
        case kScrollPageDown:
            next = first < last - kLogScrollPageLines ? first + kLogScrollPageLines : last;
            break;
        case kScrollThumbTrack:
            next = thumbPosition;
            break;
        case kScrollTop:
            next = 0;
            break;
        case kScrollBottom:
            next = last;
            break;
        default:  // thumb position (the drag has already tracked there), end of scroll, others
            break;
    }
    firstShown = next;
    MoveThumbAndRedraw(next);
}

void OnLogRecordAdded() {
    UpdateLogScrollBar();
    firstShown = lastPage.load();
    MoveThumbAndRedraw(firstShown);
}

int WheelScrollCode(int32_t* accumulator, int32_t delta) {
    *accumulator += delta;
    if (*accumulator >= kWheelNotchDelta) {
        *accumulator = 0;
        return kScrollLineUp;
    }
    if (*accumulator <= -kWheelNotchDelta) {
        *accumulator = 0;
        return kScrollLineDown;
    }
    return kNoScroll;
}

Colour CategoryColour(LogCategory category) {
    switch (category) {
        case kLogInformation:
            return Rgb(255, 255, 128);
        case kLogLoopback:
            return Rgb(150, 255, 255);
        case kLogBenchmark:
            return Rgb(200, 150, 200);
        case kLogError:
            return Rgb(255, 64, 64);
        case kLogDiagnostics:
            return Rgb(255, 224, 129);
        case kLogMinorError:
            return Rgb(255, 116, 61);
        case kLogPass:
            return Rgb(128, 255, 128);
        case 9:  // no category has this value, yet it has always had a colour of its own
            return Rgb(255, 204, 153);
        default:  // File op. and Results included
            return kWhite;
    }
}

void DrawLogArea(Canvas& canvas, int32_t width, int32_t height) {
    const int32_t right = width - kPanelChartStripPixels;
    int32_t y = kLogAreaTopPixels;
    Logger* log = theLog.load();
    if (log) {
        const int32_t lines = linesPerPage;
        const int32_t count = log->Count();
        const int32_t n = lines < count ? lines : count;
        const int32_t first = firstShown;
        // Only the visible records are copied, so a paint costs the same with ten records as
        // with ten thousand; each copy is taken under the log lock, as a test thread may be
        // reusing the oldest slot meanwhile.
        LogRecord record;
        for (int32_t i = 0; i < n; ++i) {
            // A negative index would count back from the newest record; the view only ever
            // means records from the oldest, so one caught mid-update simply has no record.
            const int32_t index = first + i;
            if (index < 0 || !log->CopyRecord(index, &record)) continue;
            canvas.Rectangle({0, y, right, y + kLogLineHeightPixels},
                             CategoryColour(record.category));
            // Cut at the chart strip so a long text never writes over the gauge.
            canvas.SetClip({0, 0, right, height});
            canvas.Text(kLogTextLeftPixels, y,
                        std::wstring_view(record.text, std::wcslen(record.text)),
                        CanvasFont::LogFont, kBlack);
            canvas.ClearClip();
            y += kLogLineHeightPixels;
        }
    }
    canvas.Rectangle({0, y, right, height}, kWhite);
}
