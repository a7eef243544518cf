#include "widgets/text_colour.h"

#include <QColor>
#include <QRegularExpression>
#include <QWidget>

namespace tarvex {

void setTextColour(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, c);
    w->setPalette(p);
    // A style sheet would hide the palette's colour; one of plain declarations (no
    // selectors) gets its colour declaration replaced, the rest of it is kept.
    QString sheet = w->styleSheet();
    if (!sheet.trimmed().isEmpty() && !sheet.contains(QLatin1Char('{'))) {
        static const QRegularExpression colorDecl(QStringLiteral("(?<![-\\w])color\\s*:[^;]*;?"));
        sheet.remove(colorDecl);
        sheet = sheet.trimmed();
        if (!sheet.isEmpty() && !sheet.endsWith(QLatin1Char(';')))
            sheet += QLatin1Char(';');
        w->setStyleSheet(sheet + QStringLiteral(" color: %1;").arg(c.name()));
    }
}

} // namespace tarvex
