#include "widgets/drag_handle.h"

#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace tarvex {

QLabel* DragHandle::makeLabel(QWidget* parent, const QString& objectName, const QString& caption, const QRect& geometry)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(objectName);
    l->setGeometry(geometry);
    l->setCursor(Qt::SizeAllCursor);
    return l;
}

DragHandle::DragHandle(QLabel* handle, QList<QWidget*> carried)
    : QObject(handle), carried_(std::move(carried))
{
    handle->installEventFilter(this);
}

bool DragHandle::eventFilter(QObject*, QEvent* e)
{
    // Only mouse events carry a position; every other event goes on to the label.
    switch (e->type()) {
    case QEvent::MouseButtonPress:
        dragging_ = true;
        last_ = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
        return true;
    case QEvent::MouseMove:
        if (dragging_) {
            const QPoint now = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
            const QPoint delta = now - last_;
            last_ = now;
            for (QWidget* w : carried_)
                w->move(w->pos() + delta);
        }
        return true;
    case QEvent::MouseButtonRelease:
        dragging_ = false;
        return true;
    default:
        return false;
    }
}

QPushButton* makeIconButton(QWidget* parent, const QString& objectName, const QString& icon, const QRect& geometry)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(objectName);
    b->setIcon(QIcon(QStringLiteral(":/icons/") + icon));
    b->setGeometry(geometry);
    return b;
}

} // namespace tarvex
