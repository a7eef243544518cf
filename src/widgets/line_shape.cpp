#include "widgets/line_shape.h"
#include "widgets/picture_canvas.h"

#include <QPainter>

namespace tarvex {

namespace {
constexpr int kMarkerLinePixels = 2;
// The dark rim each side keeps a white cross visible on white spray.
constexpr int kRimPixels = 1;
}

LineShape::LineShape(const QString& objectName, PictureCanvas* canvas) : QWidget(canvas->surface()), canvas_(canvas)
{
    setObjectName(objectName);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void LineShape::setLine(const QLineF& twips)
{
    line_ = twips;
    relayout();
    // The loupe shows the marker too.
    if (QWidget* loupe = canvas_->loupe(); loupe && loupe->isVisible())
        loupe->update();
}

void LineShape::setColour(const QColor& c)
{
    colour_ = c;
    update();
}

void LineShape::relayout()
{
    const QPointF a = canvas_->surfacePosOf(line_.x1(), line_.y1());
    const QPointF b = canvas_->surfacePosOf(line_.x2(), line_.y2());
    const int reach = kMarkerLinePixels + kRimPixels + 1;
    const QRectF box = QRectF(a, b).normalized().adjusted(-reach, -reach, reach, reach);
    setGeometry(box.toAlignedRect());
    update();
}

void LineShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPointF origin = pos();
    const QPointF a = canvas_->surfacePosOf(line_.x1(), line_.y1()) - origin;
    const QPointF b = canvas_->surfacePosOf(line_.x2(), line_.y2()) - origin;
    QPen rim(PictureCanvas::outlineColour());
    rim.setWidth(kMarkerLinePixels + 2 * kRimPixels);
    rim.setCapStyle(Qt::SquareCap);
    p.setPen(rim);
    p.drawLine(a, b);
    QPen pen(colour_);
    pen.setWidth(kMarkerLinePixels);
    pen.setCapStyle(Qt::SquareCap);
    p.setPen(pen);
    p.drawLine(a, b);
}

} // namespace tarvex
