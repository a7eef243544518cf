#pragma once
#include <QMargins>
#include <QRect>
#include <QSize>

namespace tarvex {

// Where a screen goes so that the whole window, frame included, lies inside `available` (a
// screen's area without its panels). `wanted` is the frame's top-left with the content's size,
// as move() and resize() take them. The content shrinks to fit, but never below `minimum`
// (what its controls need); the place then moves in by the least distance. A window larger
// than the area even at its minimum keeps its title bar on the area.
QRect fittedPlace(const QRect& wanted, const QMargins& frame, const QRect& available, const QSize& minimum);

} // namespace tarvex
