#include "widgets/picture_canvas.h"
#include "widgets/controls.h"
#include "widgets/line_shape.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QShortcut>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tarvex {

namespace {

// Beyond this many shapes since the last clear the view stops replaying them and shows the
// picture-resolution layer instead; nothing is lost, only the sub-pixel placement.
constexpr std::size_t kMaxShapes = 20000;
constexpr int kLoupeSide = 161;   // odd, so one screen pixel sits exactly at the centre
constexpr double kLoupeMinMagnification = 8;
constexpr double kLoupeMaxMagnification = 64;

// Letters with a dark rim, for labels placed over spray and water.
class OutlinedLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect r = contentsRect();
        const int flags = int(alignment()) | Qt::TextSingleLine;
        p.setPen(PictureCanvas::outlineColour());
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (dx || dy)
                    p.drawText(r.translated(dx, dy), flags, text());
        p.setPen(palette().color(foregroundRole()));
        p.drawText(r, flags, text());
    }
};

} // namespace

// The field itself: paints magenta, the picture and the drawing at the canvas zoom, and
// reports the mouse in twips.
class PictureSurface : public QWidget {
public:
    explicit PictureSurface(PictureCanvas* canvas) : QWidget(nullptr), canvas_(canvas)
    {
        setObjectName(QStringLiteral("PictureSurface"));
        setFocusPolicy(Qt::ClickFocus);
        // The loupe follows the mouse without a button held.
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter p(this);
        // The empty field is magenta; under a picture only its rounded-up edge shows, in the
        // grey around the field.
        p.fillRect(e->rect(), canvas_->hasPicture() ? QColor(64, 64, 64) : PictureCanvas::magenta());
        const double z = canvas_->zoom_;
        p.save();
        p.scale(z, z);
        // Smooth scaling would blur the one-pixel markers the operator lines up against.
        p.setRenderHint(QPainter::SmoothPixmapTransform, z < 1);
        if (!canvas_->picture_.isNull())
            p.drawImage(QPointF(0, 0), canvas_->picture_);
        if (canvas_->opsOverflowed_)
            p.drawImage(QPointF(0, 0), canvas_->layer_);
        p.restore();
        if (canvas_->opsOverflowed_ || canvas_->ops_.empty())
            return;
        // The shapes go on a layer of their own, so an erase clears only shapes.
        const QRect r = e->rect();
        QImage shapes(r.size(), QImage::Format_ARGB32_Premultiplied);
        shapes.fill(Qt::transparent);
        QPainter q(&shapes);
        q.translate(-r.topLeft());
        canvas_->paintDrawing(
            q, [this](QPointF t) { return canvas_->surfacePosOf(t.x(), t.y()); }, z / kTwipsPerPixel);
        q.end();
        p.drawImage(r.topLeft(), shapes);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        const QPointF t = canvas_->twipsAt(e->position());
        canvas_->pressInLoupe_ = false;
        emit canvas_->mousePressed(t.x(), t.y(), e->button());
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        canvas_->surfaceMouse(e->position());
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

// The magnified view. It follows the mouse over the picture; with the mouse inside it, it
// holds still and the mouse aims at the point under its own cross hair.
class PictureLoupe : public QWidget {
public:
    explicit PictureLoupe(PictureCanvas* canvas, QWidget* parent) : QWidget(parent), canvas_(canvas)
    {
        setObjectName(QStringLiteral("PictureLoupe"));
        setFixedSize(kLoupeSide, kLoupeSide);
        setMouseTracking(true);
        setCursor(Qt::CrossCursor);
        hide();
    }
    bool held() const { return held_; }
    void release()
    {
        held_ = false;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), PictureCanvas::magenta());
        const double m = canvas_->loupeMagnification();
        const QPointF c = canvas_->loupeCentre_ / kTwipsPerPixel;
        p.save();
        // Picture pixel i covers [i, i + 1) of the image; its centre i + 0.5 is the point
        // 15 i twips, which belongs at the loupe's centre when it is the loupe's centre.
        p.translate(kLoupeSide / 2.0, kLoupeSide / 2.0);
        p.scale(m, m);
        p.translate(-c.x() - 0.5, -c.y() - 0.5);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (!canvas_->picture_.isNull())
            p.drawImage(QPointF(0, 0), canvas_->picture_);
        if (canvas_->opsOverflowed_)
            p.drawImage(QPointF(0, 0), canvas_->layer_);
        p.restore();
        if (!canvas_->opsOverflowed_ && !canvas_->ops_.empty()) {
            QImage shapes(size(), QImage::Format_ARGB32_Premultiplied);
            shapes.fill(Qt::transparent);
            QPainter q(&shapes);
            canvas_->paintDrawing(
                q, [this](QPointF t) { return canvas_->loupePosOf(t) - QPointF(0.5, 0.5); }, m / kTwipsPerPixel);
            q.end();
            p.drawImage(0, 0, shapes);
        }
        // The marker lines over the picture (the impact cross, the splash indicator).
        for (const LineShape* l : canvas_->surface_->findChildren<LineShape*>(Qt::FindDirectChildrenOnly)) {
            if (l->isHidden())
                continue;
            const QPointF a = canvas_->loupePosOf(l->line().p1()), b = canvas_->loupePosOf(l->line().p2());
            p.setPen(QPen(PictureCanvas::outlineColour(), 4, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(a, b);
            p.setPen(QPen(l->colour(), 2, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(a, b);
        }
        // The cross hair: where a press would mark.
        const QPointF aim = held_ ? aim_ : QPointF(kLoupeSide / 2.0, kLoupeSide / 2.0);
        const double x = std::floor(aim.x()) + 0.5, y = std::floor(aim.y()) + 0.5;
        for (const auto& [colour, width] : {std::pair{PictureCanvas::outlineColour(), 3.0}, std::pair{QColor(Qt::white), 1.0}}) {
            p.setPen(QPen(colour, width));
            p.drawLine(QPointF(x - 12, y), QPointF(x - 3, y));
            p.drawLine(QPointF(x + 3, y), QPointF(x + 12, y));
            p.drawLine(QPointF(x, y - 12), QPointF(x, y - 3));
            p.drawLine(QPointF(x, y + 3), QPointF(x, y + 12));
        }
        p.setPen(QPen(PictureCanvas::outlineColour(), 1));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    void enterEvent(QEnterEvent*) override { held_ = true; }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        held_ = true;
        aim_ = e->position();
        update();
        const QPointF t = canvas_->loupeTwipsAt(e->position());
        emit canvas_->mouseMoved(t.x(), t.y(), e->buttons());
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        const QPointF t = canvas_->loupeTwipsAt(e->position());
        canvas_->pressInLoupe_ = true;
        emit canvas_->mousePressed(t.x(), t.y(), e->button());
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        const QPointF t = canvas_->loupeTwipsAt(e->position());
        emit canvas_->mouseReleased(t.x(), t.y(), e->button());
    }
    void wheelEvent(QWheelEvent* e) override { e->ignore(); }

private:
    PictureCanvas* canvas_;
    bool held_ = false;
    QPointF aim_;
};

// Zoom out, zoom in, fit, 1:1, the figure, the loupe switch and the screen's live figure.
class ZoomBar : public QWidget {
public:
    explicit ZoomBar(PictureCanvas* canvas) : QWidget(canvas)
    {
        setObjectName(QStringLiteral("zoomBar"));
        setAutoFillBackground(true);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(4, 1, 4, 1);
        row->setSpacing(3);
        auto button = [this, row](const char* name, const QString& text, const QString& tip) {
            QToolButton* b = makeToolButton(this, name, text);
            b->setToolTip(tip);
            // The buttons leave the focus where it was (a buoy choice, a box).
            b->setFocusPolicy(Qt::NoFocus);
            row->addWidget(b);
            return b;
        };
        connect(button("zoomOutButton", QStringLiteral("\u2212"), QStringLiteral("Zoom out (-)")), &QToolButton::clicked,
                canvas, &PictureCanvas::zoomOut);
        connect(button("zoomInButton", QStringLiteral("+"), QStringLiteral("Zoom in (+)")), &QToolButton::clicked,
                canvas, &PictureCanvas::zoomIn);
        connect(button("zoomFitButton", QStringLiteral("Fit"), QStringLiteral("Fit the picture to the window (F)")),
                &QToolButton::clicked, canvas, &PictureCanvas::fitToWindow);
        connect(button("zoomOneButton", QStringLiteral("1:1"), QStringLiteral("One screen pixel per picture pixel (0)")),
                &QToolButton::clicked, canvas, [canvas] { canvas->setZoom(1); });
        figure = makeLabel(this, "zoomFigure", QString());
        figure->setMinimumWidth(48);
        figure->setToolTip(QStringLiteral("Zoom; Ctrl+wheel zooms about the mouse"));
        row->addWidget(figure);
        loupe = button("loupeButton", QStringLiteral("Loupe"), QStringLiteral("Magnified view under the mouse"));
        loupe->setCheckable(true);
        loupe->setChecked(true);
        connect(loupe, &QToolButton::toggled, canvas, &PictureCanvas::setLoupeEnabled);
        info = makeLabel(this, "canvasInfo", QString());
        row->addWidget(info, 1);
    }
    QLabel* figure = nullptr;
    QLabel* info = nullptr;
    QToolButton* loupe = nullptr;
};

PictureCanvas::PictureCanvas(QWidget* parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("PictureCanvas"));
    surface_ = new PictureSurface(this);
    setWidget(surface_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Around the field a neutral grey: magenta there would read as part of the picture.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(64, 64, 64));
    viewport()->setAutoFillBackground(true);
    viewport()->setPalette(pal);
    viewport()->installEventFilter(this);
    layer_ = QImage(kDefaultWidthPixels, kDefaultHeightPixels, QImage::Format_ARGB32_Premultiplied);
    layer_.fill(Qt::transparent);
    bar_ = new ZoomBar(this);
    setViewportMargins(0, bar_->sizeHint().height(), 0, 0);
    loupe_ = new PictureLoupe(this, viewport());
    buildShortcuts();
    relayout();
    bar_->figure->setText(zoomText());
}

PictureCanvas::~PictureCanvas()
{
    // The items report their end to items_; let them go while it still exists.
    delete takeWidget();
}

void PictureCanvas::buildShortcuts()
{
    // Window-wide, so the keys work wherever the focus is on the screen; a text box takes
    // its own typed characters first, so "-" and "0" still type into survey boxes.
    auto add = [this](const QKeySequence& k, auto slot) {
        auto* s = new QShortcut(k, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, slot);
    };
    for (const QKeySequence& k : {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
                                  QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)})
        add(k, [this] { zoomIn(); });
    for (const QKeySequence& k : {QKeySequence(Qt::Key_Minus), QKeySequence(Qt::CTRL | Qt::Key_Minus)})
        add(k, [this] { zoomOut(); });
    for (const QKeySequence& k : {QKeySequence(Qt::Key_0), QKeySequence(Qt::CTRL | Qt::Key_0)})
        add(k, [this] { setZoom(1); });
    add(QKeySequence(Qt::Key_F), [this] { fitToWindow(); });
}

QWidget* PictureCanvas::surface() const { return surface_; }
QWidget* PictureCanvas::loupe() const { return loupe_; }

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
    if (loupe_->isVisible())
        loupe_->update();
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
        // A picture of a new size is shown whole when it is larger than the window; frames
        // of the same size keep the operator's zoom.
        fitPending_ = true;
    }
    relayout();
    if (fitPending_ && isVisible())
        fitIfLarger();
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
    ops_.clear();
    opsOverflowed_ = false;
    surface_->update();
    loupe_->update();
}

void PictureCanvas::setDrawWidth(int pixels) { drawWidth_ = std::max(1, pixels); }

void PictureCanvas::paintShapes(QPainter& p, const std::vector<DrawOp>& ops, const std::function<QPointF(QPointF)>& at,
                                double scale)
{
    // No antialiasing: an erase must clear exactly the pixels the marker set.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::NoBrush);
    for (const DrawOp& op : ops) {
        auto pass = [&](const QColor& colour, int extra) {
            const int w = op.width + extra;
            if (op.kind == DrawOp::Point) {
                // A square of the pen's width, centred on the point.
                const QPointF c = at(op.a);
                p.fillRect(QRectF(c.x() - (w - 1) / 2.0, c.y() - (w - 1) / 2.0, w, w).toAlignedRect(), colour);
                return;
            }
            QPen pen(colour);
            pen.setWidth(w);
            pen.setCapStyle(Qt::SquareCap);
            pen.setJoinStyle(Qt::MiterJoin);
            p.setPen(pen);
            if (op.kind == DrawOp::Line)
                p.drawLine(at(op.a), at(op.b));
            else
                p.drawEllipse(at(op.a), op.radius * scale, op.radius * scale);
        };
        if (op.erase) {
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            pass(Qt::black, op.outline ? 2 : 0);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            continue;
        }
        if (op.outline)
            pass(outlineColour(), 2);
        pass(op.colour, 0);
    }
}

void PictureCanvas::paintDrawing(QPainter& p, const std::function<QPointF(QPointF)>& at, double scale) const
{
    paintShapes(p, ops_, at, scale);
}

void PictureCanvas::record(DrawOp op)
{
    op.width = drawWidth_;
    op.outline = outline_;
    op.erase = op.colour.rgb() == magenta().rgb();
    // The picture-resolution layer: twips / 15 is the pixel whose centre shows the point.
    {
        QPainter p(&layer_);
        paintShapes(
            p, {op}, [](QPointF t) { return t / kTwipsPerPixel; }, 1.0 / kTwipsPerPixel);
    }
    if (!opsOverflowed_) {
        if (ops_.size() >= kMaxShapes) {
            opsOverflowed_ = true;
            ops_.clear();
        } else {
            ops_.push_back(op);
        }
    }
    surface_->update();
    if (loupe_->isVisible())
        loupe_->update();
}

void PictureCanvas::line(double x1, double y1, double x2, double y2, const QColor& colour)
{
    DrawOp op;
    op.kind = DrawOp::Line;
    op.a = QPointF(x1, y1);
    op.b = QPointF(x2, y2);
    op.colour = colour;
    record(op);
}

void PictureCanvas::circle(double x, double y, double radius, const QColor& colour)
{
    DrawOp op;
    op.kind = DrawOp::Circle;
    op.a = QPointF(x, y);
    op.radius = radius;
    op.colour = colour;
    record(op);
}

void PictureCanvas::point(double x, double y, const QColor& colour)
{
    DrawOp op;
    op.kind = DrawOp::Point;
    op.a = QPointF(x, y);
    op.colour = colour;
    record(op);
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
    // The calibration line is drawn and erased as it is, without a rim.
    const int previousWidth = drawWidth_;
    const bool previousOutline = outline_;
    setDrawWidth(widthPixels);
    outline_ = false;
    if (twips.p1() == twips.p2())
        point(twips.x1(), twips.y1(), colour);
    else
        line(twips.x1(), twips.y1(), twips.x2(), twips.y2(), colour);
    setDrawWidth(previousWidth);
    outline_ = previousOutline;
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
    auto* l = new OutlinedLabel(text, surface_);
    l->setObjectName(objectName);
    l->setContentsMargins(1, 1, 1, 1);
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
    // A zoom the operator chose is kept; one the canvas chose follows the window.
    if (!autoFitting_)
        autoFitted_ = false;
    if (zoom == zoom_)
        return;
    zoom_ = zoom;
    relayout();
    bar_->figure->setText(zoomText());
    if (loupe_->isVisible())
        loupe_->update();
    emit zoomChanged(zoom_);
}

QString PictureCanvas::zoomText() const { return QStringLiteral("%1 %").arg(std::lround(zoom_ * 100)); }

void PictureCanvas::setInfoText(const QString& text) { bar_->info->setText(text); }
QString PictureCanvas::infoText() const { return bar_->info->text(); }

void PictureCanvas::fitToWindow()
{
    const QSize room = viewport()->size();
    if (room.width() < 16 || room.height() < 16 || layer_.isNull())
        return;
    const double z = std::min(double(room.width()) / layer_.width(), double(room.height()) / layer_.height());
    // Whole-percent zooms keep the figure honest.
    setZoom(std::floor(z * 100) / 100);
    fitPending_ = false;
}

void PictureCanvas::fitIfLarger()
{
    const QSize room = viewport()->size();
    // The empty field keeps its zoom; only a picture is fitted.
    if (room.width() < 16 || room.height() < 16 || !hasPicture())
        return;
    fitPending_ = false;
    // A zoom the canvas chose itself is chosen again for the new size (a 720p clip after a
    // 1080p one would otherwise stay small).
    if (autoFitted_ || layer_.width() * zoom_ > room.width() || layer_.height() * zoom_ > room.height()
        || (zoom_ < 1 && layer_.width() <= room.width() && layer_.height() <= room.height())) {
        const QScopedValueRollback<bool> choosing(autoFitting_, true);
        if (layer_.width() > room.width() || layer_.height() > room.height()) {
            fitToWindow();
            autoFitted_ = true;
        } else {
            setZoom(1);
        }
    }
}

void PictureCanvas::resizeEvent(QResizeEvent* e)
{
    QScrollArea::resizeEvent(e);
    const QRect r = contentsRect();
    bar_->setGeometry(r.x(), r.y(), r.width(), bar_->sizeHint().height());
    if (autoFitted_ && isVisible()) {
        // The window grew or shrank (a maximise arriving late): fit again.
        const QScopedValueRollback<bool> choosing(autoFitting_, true);
        fitToWindow();
    } else if (fitPending_ && isVisible()) {
        fitIfLarger();
    }
    placeLoupe();
}

void PictureCanvas::showEvent(QShowEvent* e)
{
    QScrollArea::showEvent(e);
    if (fitPending_)
        fitIfLarger();
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
    case Qt::Key_F:
        fitToWindow();
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

// ---------------------------------------------------------------- loupe

void PictureCanvas::setLoupeEnabled(bool on)
{
    loupeEnabled_ = on;
    if (bar_->loupe->isChecked() != on)
        bar_->loupe->setChecked(on);
    if (!on)
        loupe_->hide();
}

double PictureCanvas::loupeMagnification() const
{
    return std::clamp(8 * zoom_, kLoupeMinMagnification, kLoupeMaxMagnification);
}

void PictureCanvas::aimLoupe(const QPointF& twips)
{
    loupeCentre_ = twips;
    loupe_->release();
    loupe_->update();
}

QPointF PictureCanvas::loupeTwipsAt(const QPointF& loupePos) const
{
    // The loupe's centre pixel (80, 80) has its centre on loupeCentre_.
    const double m = loupeMagnification();
    const QPointF fromCentre = loupePos + QPointF(0.5, 0.5) - QPointF(kLoupeSide / 2.0, kLoupeSide / 2.0);
    return loupeCentre_ + fromCentre / m * kTwipsPerPixel;
}

QPointF PictureCanvas::loupePosOf(const QPointF& twips) const
{
    const double m = loupeMagnification();
    return (twips - loupeCentre_) / kTwipsPerPixel * m + QPointF(kLoupeSide / 2.0, kLoupeSide / 2.0);
}

void PictureCanvas::placeLoupe()
{
    // The top right corner of the visible picture, clear of the scroll bars.
    const QRect v = viewport()->rect();
    loupe_->move(std::max(0, v.width() - kLoupeSide - 4), 4);
}

void PictureCanvas::surfaceMouse(const QPointF& surfacePos)
{
    if (!loupeEnabled_)
        return;
    aimLoupe(twipsAt(surfacePos));
    if (!loupe_->isVisible()) {
        placeLoupe();
        loupe_->show();
        loupe_->raise();
    }
}

bool PictureCanvas::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == viewport() && e->type() == QEvent::Leave)
        loupe_->hide();
    return QScrollArea::eventFilter(watched, e);
}

} // namespace tarvex
