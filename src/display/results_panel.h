// The results panel: two grey header bands with the run's status, duration and counters, the
// throughput chart in the strip at the right, and the log lines below the bands, painted in
// one pass through a Canvas (the window hands it the panel's off-screen bitmap).
#pragma once

#include <cstdint>

#include "display/canvas.h"

// Paints the whole panel, `width` by `height` pixels with its top-left corner at 0, 0, from
// the run state, the test mode, the card's link and the event log as they are now; sets the
// scale and rates of theThroughputChart (if it exists) and paints it. Main thread only.
void PaintResultsPanel(Canvas& canvas, int32_t width, int32_t height);
