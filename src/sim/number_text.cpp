#include "sim/number_text.h"

#include <cwchar>

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; }

}  // namespace

bool ParseRateText(const std::wstring& text, double max, double* out) {
    size_t digits = 0, point = 0, fraction = 0;
    for (wchar_t c : text) {
        if (IsDigit(c)) {
            (point ? fraction : digits)++;
        } else if (c == L'.' && !point) {
            point = 1;
        } else {
            return false;
        }
    }
    if (digits == 0 || (point && fraction == 0) || text.size() > 32) return false;
    const double value = std::wcstod(text.c_str(), nullptr);
    if (!(value > 0.0) || value > max) return false;
    *out = value;
    return true;
}

bool ParseLinkText(const std::wstring& text, int maxSpeed, int* speed, int* width) {
    if (text.size() < 6 || text.size() > 7 || Lower(text[0]) != L'g' || Lower(text[1]) != L'e' ||
        Lower(text[2]) != L'n' || Lower(text[4]) != L'x') {
        return false;
    }
    const int s = text[3] - L'0';
    if (s < 1 || s > maxSpeed) return false;
    // The widths a PCIe link can train to; "x04" is no way to write one.
    if (text[5] == L'0') return false;
    int w = 0;
    for (size_t i = 5; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return false;
        w = w * 10 + (text[i] - L'0');
    }
    if (w != 1 && w != 2 && w != 4 && w != 8 && w != 12 && w != 16 && w != 32) return false;
    *speed = s;
    *width = w;
    return true;
}
