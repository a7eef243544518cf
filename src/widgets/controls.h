#pragma once
// Controls as the screens build them: every one carries its objectName, the name tests and
// the settings find it by, so no screen can forget to set it.
#include <QAbstractButton>
#include <QObject>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace tarvex {

template <typename W>
W* named(W* widget, const QString& objectName)
{
    widget->setObjectName(objectName);
    return widget;
}

template <typename W>
W* named(W* widget, const char* objectName)
{
    return named(widget, QString::fromLatin1(objectName));
}

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption);
QToolButton* makeToolButton(QWidget* parent, const char* objectName, const QString& caption);
QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text);
QLineEdit* makeLineEdit(QWidget* parent, const char* objectName, const QString& text = {});

// A button whose click calls `slot` of `receiver`.
template <typename Receiver>
QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption, Receiver* receiver,
                        void (Receiver::*slot)())
{
    QPushButton* b = makeButton(parent, objectName, caption);
    QObject::connect(b, &QAbstractButton::clicked, receiver, slot);
    return b;
}

} // namespace tarvex
