#pragma once
// Twips: the unit of screen coordinates in grid files, records and the picture screens.
#include <QString>

namespace tarvex {

// One picture pixel is 15 twips.
constexpr int kTwipsPerPixel = 15;

constexpr int pixelsFromTwips(int twips) { return twips / kTwipsPerPixel; }

// A picture's width or height as the picture screens keep it for the grid check:
// HiMetric = round(pixels * 2540 / 96), twips = HiMetric * 15 / 26.5, written in the padded
// number form without its blank and with "." whatever the locale.
QString pictureTwipsText(int pixels);

} // namespace tarvex
