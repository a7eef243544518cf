#pragma once
// The controls of a window that are visible but (partly) outside its client area: what an
// operator could not reach at the window's size. Pictures inside scroll areas are clipped
// by design and are not controls, so only the operator's controls are looked at.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStringList>
#include <QWidget>

namespace tarvex::test {

inline QStringList controlsOutside(QWidget* window)
{
    QStringList out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w)
            || qobject_cast<QComboBox*>(w) || qobject_cast<QLabel*>(w) || qobject_cast<QProgressBar*>(w)
            || qobject_cast<QGroupBox*>(w);
        if (!control || w->isWindow() || !w->isVisibleTo(window))
            continue;
        if (!window->rect().contains(QRect(w->mapTo(window, QPoint(0, 0)), w->size())))
            out << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
    }
    return out;
}

} // namespace tarvex::test
