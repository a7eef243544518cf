#include "station/screen_place.h"

#include <algorithm>

namespace tarvex {

namespace {

// The start of a span of `length` kept inside [lo, lo + room): pushed in from the far edge
// first, so a span longer than the room starts at the near edge.
int keptInside(int start, int length, int lo, int room)
{
    return std::max(lo, std::min(start, lo + room - length));
}

} // namespace

QRect fittedPlace(const QRect& wanted, const QMargins& frame, const QRect& available, const QSize& minimum)
{
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const QSize room(available.width() - frameWidth, available.height() - frameHeight);
    const QSize size = wanted.size().boundedTo(room).expandedTo(minimum);
    const int x = keptInside(wanted.x(), size.width() + frameWidth, available.x(), available.width());
    const int y = keptInside(wanted.y(), size.height() + frameHeight, available.y(), available.height());
    return QRect(QPoint(x, y), size);
}

} // namespace tarvex
