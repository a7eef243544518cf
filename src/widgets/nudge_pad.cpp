#include "widgets/nudge_pad.h"

#include "widgets/drag_handle.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QRegion>

namespace tarvex {

namespace {

constexpr int kButtonSide = 28;
// Button origins 30 pixels apart, the layout the screens have always had.
constexpr int kPitch = 30;
constexpr int kBigStepFactor = 10;

} // namespace

NudgePad::NudgePad(QWidget* parent, QPoint topLeft, double step) : QWidget(parent), step_(step)
{
    setObjectName(QStringLiteral("nudgePad"));
    setGeometry(QRect(topLeft, QSize(2 * kPitch + kButtonSide, 2 * kPitch + kButtonSide)));
    // Creation order is the focus order: up, left, right, down.
    up_ = arrow("AdjustUp", "arrow_up.png", {kPitch, 0}, 0, -step);
    left_ = arrow("AdjustLeft", "arrow_left.png", {0, kPitch}, -step, 0);
    right_ = arrow("AdjustRight", "arrow_right.png", {2 * kPitch, kPitch}, step, 0);
    down_ = arrow("AdjustDown", "arrow_down.png", {kPitch, 2 * kPitch}, 0, step);
    QRegion buttons;
    for (QPushButton* b : {up_, left_, right_, down_})
        buttons += b->geometry();
    // Only the buttons catch the mouse; a click between them marks the picture.
    setMask(buttons);
}

QPushButton* NudgePad::arrow(const char* objectName, const char* icon, QPoint at, double dx, double dy)
{
    QPushButton* b = makeIconButton(this, QString::fromLatin1(objectName), QString::fromLatin1(icon),
                                    QRect(at, QSize(kButtonSide, kButtonSide)));
    connect(b, &QPushButton::clicked, this, [this, dx, dy] { emit nudged(dx, dy); });
    return b;
}

bool NudgePad::nudgeForKey(const QKeyEvent& key)
{
    const double s = (key.modifiers() & Qt::ShiftModifier) ? kBigStepFactor * step_ : step_;
    switch (key.key()) {
    case Qt::Key_Up: emit nudged(0, -s); return true;
    case Qt::Key_Down: emit nudged(0, s); return true;
    case Qt::Key_Left: emit nudged(-s, 0); return true;
    case Qt::Key_Right: emit nudged(s, 0); return true;
    default: return false;
    }
}

} // namespace tarvex
