// The program's pictures on a scaled screen: a bitmap resource drawn at the window's dpi with
// a smooth (bilinear) filter, so the test card and the maker's logo grow with the dialogs that
// frame them instead of staying at their 96-dpi size.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/gdi_canvas_win.h"

// Bitmap resource `resourceId` scaled by dpi / 96, as a 24-bit DIB section; null if it cannot
// be loaded or made.
UniqueGdiObject<HBITMAP> LoadScaledBitmap(HINSTANCE module, int resourceId, int32_t dpi);

// Shows resource `resourceId` at `dpi` in the picture control `control` (a static control
// with SS_BITMAP) and returns the bitmap, which the caller keeps as long as the control shows
// it. At 96 dpi, or if the bitmap cannot be made, the control keeps its own and this returns
// null.
UniqueGdiObject<HBITMAP> ShowScaledPicture(HWND control, int resourceId, int32_t dpi);
