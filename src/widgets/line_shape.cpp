#include "widgets/line_shape.h"
#include "widgets/picture_canvas.h"

#include <QPainter>

namespace tarvex {

namespace {
constexpr int kMarkerLinePixels = 2;
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
    const QRectF box = QRectF(a, b).normalized().adjusted(-kMarkerLinePixels, -kMarkerLinePixels,
                                                         kMarkerLinePixels, kMarkerLinePixels);
    setGeometry(box.toAlignedRect());
    update();
}

void LineShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QPen pen(colour_);
    pen.setWidth(kMarkerLinePixels);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    const QPointF origin = pos();
    p.drawLine(canvas_->surfacePosOf(line_.x1(), line_.y1()) - origin,
               canvas_->surfacePosOf(line_.x2(), line_.y2()) - origin);
}

} // namespace tarvex
