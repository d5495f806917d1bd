#include "app/scaled_picture_win.h"

#include <algorithm>
#include <vector>

#include "display/scaled_canvas.h"

namespace {

// Top row first. The source is read as 32-bit pixels (no row padding); the result is 24-bit,
// as the resources are: the version 6 static control keeps a copy of a 32-bit bitmap of its
// own, which would outlive the one we hand it.
BITMAPINFO TopDown(int width, int height, WORD bitsPerPixel) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// Where destination pixel `d` (of `to`) samples the source (of `from`): the pixel centres of
// both line up, so the picture neither shifts nor loses its edges.
struct Sample {
    int first;
    int second;
    int weight;  // of `second`, out of 256
};
Sample SampleAt(int d, int from, int to) {
    const int position = std::max(0, ((2 * d + 1) * from * 128) / to - 128);  // x 256
    const int first = std::min(position / 256, from - 1);
    return {first, std::min(first + 1, from - 1), position % 256};
}

uint32_t Blend(uint32_t a, uint32_t b, int weight) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int ca = (a >> shift) & 0xFF;
        const int cb = (b >> shift) & 0xFF;
        out |= static_cast<uint32_t>((ca * (256 - weight) + cb * weight + 128) / 256) << shift;
    }
    return out;
}

}  // namespace

UniqueGdiObject<HBITMAP> LoadScaledBitmap(HINSTANCE module, int resourceId, int32_t dpi) {
    UniqueGdiObject<HBITMAP> source(static_cast<HBITMAP>(
        LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP size = {};
    if (!source || !GetObjectW(source.get(), sizeof(size), &size)) return nullptr;
    const int sw = size.bmWidth;
    const int sh = size.bmHeight;
    const int dw = UnitsToPixels(sw, dpi);
    const int dh = UnitsToPixels(sh, dpi);
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return nullptr;

    std::vector<uint32_t> pixels(static_cast<size_t>(sw) * sh);
    BITMAPINFO sourceInfo = TopDown(sw, sh, 32);
    HDC screen = GetDC(nullptr);
    const int rows =
        GetDIBits(screen, source.get(), 0, sh, pixels.data(), &sourceInfo, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != sh) return nullptr;

    BITMAPINFO info = TopDown(dw, dh, 24);
    void* bits = nullptr;
    UniqueGdiObject<HBITMAP> scaled(
        CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!scaled || !bits) return nullptr;
    const size_t stride = (static_cast<size_t>(dw) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < dh; ++y) {
        BYTE* row = static_cast<BYTE*>(bits) + stride * y;
        const Sample sy = SampleAt(y, sh, dh);
        const uint32_t* upper = &pixels[static_cast<size_t>(sy.first) * sw];
        const uint32_t* lower = &pixels[static_cast<size_t>(sy.second) * sw];
        for (int x = 0; x < dw; ++x) {
            const Sample sx = SampleAt(x, sw, dw);
            const uint32_t pixel =
                Blend(Blend(upper[sx.first], upper[sx.second], sx.weight),
                      Blend(lower[sx.first], lower[sx.second], sx.weight), sy.weight);
            row[3 * x] = static_cast<BYTE>(pixel);
            row[3 * x + 1] = static_cast<BYTE>(pixel >> 8);
            row[3 * x + 2] = static_cast<BYTE>(pixel >> 16);
        }
    }
    GdiFlush();
    return scaled;
}

UniqueGdiObject<HBITMAP> ShowScaledPicture(HWND control, int resourceId, int32_t dpi) {
    if (!control || dpi == kBaseDpi) return nullptr;
    UniqueGdiObject<HBITMAP> scaled = LoadScaledBitmap(
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(control, GWLP_HINSTANCE)), resourceId, dpi);
    if (!scaled) return nullptr;
    // The control loaded its 96-dpi bitmap from the template and hands it back here; nothing
    // else holds it.
    const LRESULT previous =
        SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled.get()));
    if (previous) DeleteObject(reinterpret_cast<HGDIOBJ>(previous));
    return scaled;
}
