#include "widgets/controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace tarvex {

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption)
{
    return named(new QPushButton(caption, parent), objectName);
}

QToolButton* makeToolButton(QWidget* parent, const char* objectName, const QString& caption)
{
    auto* b = named(new QToolButton(parent), objectName);
    b->setText(caption);
    return b;
}

QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text)
{
    return named(new QLabel(text, parent), objectName);
}

QLineEdit* makeLineEdit(QWidget* parent, const char* objectName, const QString& text)
{
    return named(new QLineEdit(text, parent), objectName);
}

} // namespace tarvex
