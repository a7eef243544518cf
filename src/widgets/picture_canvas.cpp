#include "widgets/picture_canvas.h"

#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tarvex {

// The field itself: paints magenta, the picture and the drawing at the canvas zoom, and
// reports the mouse in twips.
class PictureSurface : public QWidget {
public:
    explicit PictureSurface(PictureCanvas* canvas) : QWidget(nullptr), canvas_(canvas)
    {
        setObjectName(QStringLiteral("PictureSurface"));
        setFocusPolicy(Qt::ClickFocus);
        setMouseTracking(false);
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter p(this);
        p.fillRect(e->rect(), PictureCanvas::magenta());
        p.scale(canvas_->zoom_, canvas_->zoom_);
        // Smooth scaling would blur the one-pixel markers the operator lines up against.
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (!canvas_->picture_.isNull())
            p.drawImage(QPointF(0, 0), canvas_->picture_);
        p.drawImage(QPointF(0, 0), canvas_->layer_);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        const QPointF t = canvas_->twipsAt(e->position());
        emit canvas_->mousePressed(t.x(), t.y(), e->button());
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        const QPointF t = canvas_->twipsAt(e->position());
        emit canvas_->mouseMoved(t.x(), t.y(), e->buttons());
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        const QPointF t = canvas_->twipsAt(e->position());
        emit canvas_->mouseReleased(t.x(), t.y(), e->button());
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (!canvas_->handleZoomKey(e->key(), e->modifiers()))
            QWidget::keyPressEvent(e);
    }

private:
    PictureCanvas* canvas_;
};

PictureCanvas::PictureCanvas(QWidget* parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("PictureCanvas"));
    surface_ = new PictureSurface(this);
    setWidget(surface_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, magenta());
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
    viewport()->setPalette(pal);
    layer_ = QImage(kDefaultWidthPixels, kDefaultHeightPixels, QImage::Format_ARGB32_Premultiplied);
    layer_.fill(Qt::transparent);
    relayout();
}

PictureCanvas::~PictureCanvas()
{
    // The items report their end to items_; let them go while it still exists.
    delete takeWidget();
}

QWidget* PictureCanvas::surface() const { return surface_; }

bool PictureCanvas::loadPicture(const QString& path, QString* error)
{
    QImageReader reader(path);
    // Some BMP and GIF files carry the wrong extension; judge by content.
    reader.setDecideFormatFromContent(true);
    QImage img = reader.read();
    if (img.isNull()) {
        if (error)
            *error = QStringLiteral("The picture %1 could not be loaded: %2").arg(path, reader.errorString());
        return false;
    }
    setPicture(img);
    return true;
}

void PictureCanvas::setPicture(const QImage& image)
{
    picture_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    resizeField(picture_.isNull() ? QSize(kDefaultWidthPixels, kDefaultHeightPixels) : picture_.size());
    emit pictureChanged();
}

void PictureCanvas::clearPicture() { setPicture(QImage()); }

void PictureCanvas::resizeField(QSize pixels)
{
    if (pixels != layer_.size()) {
        // Markers drawn before the picture changed stay where they were.
        QImage layer(pixels, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        QPainter p(&layer);
        p.drawImage(0, 0, layer_);
        p.end();
        layer_ = layer;
    }
    relayout();
}

void PictureCanvas::relayout()
{
    const QSize s(int(std::ceil(layer_.width() * zoom_)), int(std::ceil(layer_.height() * zoom_)));
    surface_->setFixedSize(s);
    for (auto it = items_.cbegin(); it != items_.cend(); ++it) {
        const QPointF pos = surfacePosOf(it.value().x(), it.value().y());
        it.key()->move(int(std::lround(pos.x())), int(std::lround(pos.y())));
    }
    surface_->update();
}

void PictureCanvas::clear()
{
    layer_.fill(Qt::transparent);
    surface_->update();
}

void PictureCanvas::setDrawWidth(int pixels) { drawWidth_ = std::max(1, pixels); }

void PictureCanvas::drawWith(const QColor& colour, const std::function<void(QPainter&)>& draw)
{
    QPainter p(&layer_);
    // No antialiasing: an erase must clear exactly the pixels the marker set.
    p.setRenderHint(QPainter::Antialiasing, false);
    const bool erase = colour.rgb() == magenta().rgb();
    if (erase)
        p.setCompositionMode(QPainter::CompositionMode_Clear);
    // The painter works in twips, so the pen width (pixels) is given in twips too.
    QPen pen(erase ? QColor(Qt::black) : colour);
    pen.setWidthF(drawWidth_ * kTwipsPerPixel);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setBrush(Qt::NoBrush);
    p.scale(1.0 / kTwipsPerPixel, 1.0 / kTwipsPerPixel);
    p.setPen(pen);
    draw(p);
    p.end();
    surface_->update();
}

void PictureCanvas::line(double x1, double y1, double x2, double y2, const QColor& colour)
{
    drawWith(colour, [&](QPainter& p) { p.drawLine(QPointF(x1, y1), QPointF(x2, y2)); });
}

void PictureCanvas::circle(double x, double y, double radius, const QColor& colour)
{
    drawWith(colour, [&](QPainter& p) { p.drawEllipse(QPointF(x, y), radius, radius); });
}

void PictureCanvas::buoyMarker(const QPointF& at, double size, bool cross, const QColor& colour, bool centreDots)
{
    const double x = at.x(), y = at.y();
    if (cross) {
        line(x - size, y, x + size, y, Qt::white);
        line(x, y - size, x, y + size, Qt::white);
        return;
    }
    circle(x, y, 2 * size, colour);
    if (centreDots)
        for (const QPointF d : {QPointF(0, 0), QPointF(0, 5), QPointF(0, -5), QPointF(5, 0), QPointF(-5, 0)})
            point(x + d.x(), y + d.y(), colour);
}

void PictureCanvas::stroke(const QLineF& twips, const QColor& colour, int widthPixels)
{
    const int previousWidth = drawWidth_;
    setDrawWidth(widthPixels);
    if (twips.p1() == twips.p2())
        point(twips.x1(), twips.y1(), colour);
    else
        line(twips.x1(), twips.y1(), twips.x2(), twips.y2(), colour);
    setDrawWidth(previousWidth);
}

void PictureCanvas::point(double x, double y, const QColor& colour)
{
    drawWith(colour, [&](QPainter& p) { p.drawPoint(QPointF(x, y)); });
}

QImage PictureCanvas::composed() const
{
    QImage out(layer_.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(magenta());
    QPainter p(&out);
    if (!picture_.isNull())
        p.drawImage(0, 0, picture_);
    p.drawImage(0, 0, layer_);
    return out;
}

QLabel* PictureCanvas::addLabel(const QString& objectName, const QString& text)
{
    auto* l = new QLabel(text, surface_);
    l->setObjectName(objectName);
    // Clicks on a label still place a mark on the picture under it.
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    placeItem(l, 0, 0);
    return l;
}

void PictureCanvas::placeItem(QWidget* item, double xTwips, double yTwips)
{
    if (!item)
        return;
    if (item->parentWidget() != surface_)
        item->setParent(surface_);
    if (!items_.contains(item))
        connect(item, &QObject::destroyed, this, [this, item] { items_.remove(item); });
    items_.insert(item, QPointF(xTwips, yTwips));
    const QPointF pos = surfacePosOf(xTwips, yTwips);
    item->move(int(std::lround(pos.x())), int(std::lround(pos.y())));
}

void PictureCanvas::setZoom(double zoom)
{
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom == zoom_)
        return;
    zoom_ = zoom;
    relayout();
}

bool PictureCanvas::handleZoomKey(int key, Qt::KeyboardModifiers mods)
{
    Q_UNUSED(mods);
    switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomIn();
        return true;
    case Qt::Key_Minus:
        zoomOut();
        return true;
    case Qt::Key_0:
        setZoom(1);
        return true;
    default:
        return false;
    }
}

void PictureCanvas::wheelEvent(QWheelEvent* e)
{
    if (!(e->modifiers() & Qt::ControlModifier)) {
        QScrollArea::wheelEvent(e);
        return;
    }
    const int steps = e->angleDelta().y() / 120;
    if (steps == 0) {
        e->accept();
        return;
    }
    // Keep the picture point under the cursor where it is.
    const QPointF inViewport = e->position();
    const QPointF inSurface = inViewport + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QPointF twips = twipsAt(inSurface);
    setZoom(zoom_ * std::pow(1.25, steps));
    const QPointF after = surfacePosOf(twips.x(), twips.y());
    horizontalScrollBar()->setValue(int(std::lround(after.x() - inViewport.x())));
    verticalScrollBar()->setValue(int(std::lround(after.y() - inViewport.y())));
    e->accept();
}

void PictureCanvas::keyPressEvent(QKeyEvent* e)
{
    if (!handleZoomKey(e->key(), e->modifiers()))
        QScrollArea::keyPressEvent(e);
}

} // namespace tarvex
