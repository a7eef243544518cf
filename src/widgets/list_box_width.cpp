#include "widgets/list_box_width.h"

#include <QFontMetrics>
#include <QListWidget>

namespace tarvex {

int FitListBoxWidth(QListWidget* list)
{
    if (!list)
        return 0;
    QString longest;
    for (int i = 0; i < list->count(); ++i) {
        const QString t = list->item(i)->text();
        if (t.size() > longest.size())   // the first of equal length wins
            longest = t;
    }
    const QWidget* measureOn = list->parentWidget() ? list->parentWidget() : list;
    const int width = QFontMetrics(measureOn->font()).horizontalAdvance(longest + QLatin1Char(' '));
    // The view scrolls sideways once its content is wider than the viewport.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setProperty("horizontalExtent", width);
    return width;
}

} // namespace tarvex
