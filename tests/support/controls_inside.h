#pragma once
// The controls of a window that are visible but (partly) cut off by its client area or by
// a frame they sit in: what an operator could not reach at the window's size. Whatever lies
// in a scroll area (a picture, a list's rows) is reached by scrolling and not looked at.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStringList>
#include <QWidget>

namespace tarvex::test {

inline bool isControl(const QWidget* w)
{
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w)
        || qobject_cast<const QComboBox*>(w) || qobject_cast<const QLabel*>(w)
        || qobject_cast<const QProgressBar*>(w) || qobject_cast<const QGroupBox*>(w)
        || qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QAbstractSpinBox*>(w)
        || qobject_cast<const QAbstractScrollArea*>(w);
}

inline bool inScrollArea(const QWidget* w, const QWidget* window)
{
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(p))
            return true;
    return false;
}

// Each control cut off, as "name at x,y wxh" in the window's coordinates.
inline QStringList controlsOutside(QWidget* window)
{
    QStringList out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!isControl(w) || w->isWindow() || !w->isVisibleTo(window) || inScrollArea(w, window)
            || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QRect r(QPoint(0, 0), w->size());
        for (const QWidget* a = w; a != window; a = a->parentWidget()) {
            r.translate(a->pos());
            if (!a->parentWidget()->rect().contains(r)) {
                const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                               : w->objectName();
                const QRect at(w->mapTo(window, QPoint(0, 0)), w->size());
                out << QStringLiteral("%1 at %2,%3 %4x%5").arg(name).arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height());
                break;
            }
        }
    }
    return out;
}

} // namespace tarvex::test
