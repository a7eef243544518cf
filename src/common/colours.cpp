#include "common/colours.h"

namespace tarvex {

QColor colourFromBgr(long value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QColor overlayColour(const QString& colourName, long bgr)
{
    if (colourName.isEmpty() || colourName == QLatin1String("default"))
        return Qt::white;
    return colourFromBgr(bgr);
}

} // namespace tarvex
