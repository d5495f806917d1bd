// The number and link texts that the runner's options and the simulated card's options both
// accept, parsed one way for both.
#pragma once

#include <string>

// Digits with an optional fraction ("1200", "850.5"): no sign, exponent or blanks, at most 32
// characters, above 0 and at most `max`.
bool ParseRateText(const std::wstring& text, double max, double* out);

// "genSxW" in any case, with S from 1 to `maxSpeed` and W 1, 2, 4, 8, 12, 16 or 32 written
// without a leading zero.
bool ParseLinkText(const std::wstring& text, int maxSpeed, int* speed, int* width);
