#pragma once
// The floating controls of the picture screens: labels the operator drags out of the way of
// the buoys or the landing, carrying their controls along, and the nudge arrow buttons.
#include <QList>
#include <QObject>
#include <QPoint>

class QLabel;
class QPushButton;
class QRect;
class QString;
class QWidget;

namespace tarvex {

class DragHandle : public QObject {
    Q_OBJECT
public:
    // A label with the move pointer, at `geometry` in `parent`.
    static QLabel* makeLabel(QWidget* parent, const QString& objectName, const QString& caption, const QRect& geometry);
    // Dragging `handle` moves every widget of `carried` (the handle itself included, if listed).
    DragHandle(QLabel* handle, QList<QWidget*> carried);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QList<QWidget*> carried_;
    bool dragging_ = false;
    QPoint last_;
};

// A button showing one of the compiled-in icons (":/icons/<icon>").
QPushButton* makeIconButton(QWidget* parent, const QString& objectName, const QString& icon, const QRect& geometry);

} // namespace tarvex
