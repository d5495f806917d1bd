// What the log view asks of the main window, answered with Win32 calls on the main window's
// handles: the log scroll bar and the panel's redraw. Main thread only.
#pragma once

#include "display/log_view.h"

class Win32LogViewPort final : public LogViewPort {
  public:
    void SetScrollBar(const ScrollBarState& state) override;
    void SetScrollPosition(int32_t position) override;
    void RedrawPanel() override;
};

