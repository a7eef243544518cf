#pragma once
// Colours as the settings hold them, and the one rule for the picture overlays' colour.
#include <QColor>
#include <QString>

namespace tarvex {

// A colour value as the settings and AppSettings hold it: 0xBBGGRR.
QColor colourFromBgr(long value);

// The buoy markers' and overlay's colour on both picture screens: white while no colour
// is chosen (an empty name or "default"), otherwise the message colour.
QColor overlayColour(const QString& colourName, long bgr);

} // namespace tarvex
