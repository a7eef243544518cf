#pragma once
#include "common/twips.h"
// The picture view shared by the grid setup and measuring screens: a still picture (or none)
// under a transparent drawing layer, both addressed in twips of the picture. Drawing in
// magenta clears drawing-layer pixels, so an erased marker leaves the picture untouched,
// the same visible result as keying a live overlay on magenta.
#include <QColor>
#include <QLineF>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QScrollArea>
#include <functional>

class QLabel;
class QPainter;

namespace tarvex {

class PictureSurface;

class PictureCanvas : public QScrollArea {
    Q_OBJECT
public:
    // Without a picture buoys can still be placed on an 800 x 600 pixel field.
    static constexpr int kDefaultWidthPixels = 800;
    static constexpr int kDefaultHeightPixels = 600;
    static constexpr double kMinZoom = 0.25;
    static constexpr double kMaxZoom = 16;
    static QColor magenta() { return QColor(255, 0, 255); }

    explicit PictureCanvas(QWidget* parent = nullptr);
    ~PictureCanvas() override;

    // Picture layer. BMP, GIF and JPEG (whatever Qt reads). On failure the old picture stays
    // and `error` receives an operator-readable reason.
    bool loadPicture(const QString& path, QString* error = nullptr);
    void setPicture(const QImage& image);   // a null image removes the picture
    void clearPicture();
    bool hasPicture() const { return !picture_.isNull(); }
    const QImage& picture() const { return picture_; }

    // Size of the field in picture pixels and twips (the default field without a picture).
    QSize fieldPixels() const { return layer_.size(); }
    double widthTwips() const { return layer_.width() * kTwipsPerPixel; }
    double heightTwips() const { return layer_.height() * kTwipsPerPixel; }

    // Drawing layer; coordinates and radii in twips, the width in picture pixels.
    void clear();
    void setDrawWidth(int pixels);
    int drawWidth() const { return drawWidth_; }
    void line(double x1, double y1, double x2, double y2, const QColor& colour);
    void circle(double x, double y, double radius, const QColor& colour);
    void point(double x, double y, const QColor& colour);
    // A line at a width of its own (a point when both ends meet); the canvas keeps its
    // draw width, so an erase at the same width always covers what the draw set.
    void stroke(const QLineF& twips, const QColor& colour, int widthPixels);
    // A buoy's marker, the same on both picture screens: a white cross of half-width `size`,
    // or a circle of radius 2 * size in `colour`, with dots at and about its centre when asked.
    void buoyMarker(const QPointF& twips, double size, bool cross, const QColor& colour, bool centreDots = false);
    const QImage& drawing() const { return layer_; }
    // What the view shows at zoom 1: magenta background, picture, drawing.
    QImage composed() const;

    // Child items (labels, marker lines) kept at a twips position whatever the zoom.
    QLabel* addLabel(const QString& objectName, const QString& text = {});
    void placeItem(QWidget* item, double xTwips, double yTwips);
    QPointF itemPosition(QWidget* item) const { return items_.value(item); }

    // Zoom: Ctrl+wheel, "+"/"-" and "0" (back to one screen pixel per picture pixel).
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    void zoomIn() { setZoom(zoom_ * 1.25); }
    void zoomOut() { setZoom(zoom_ / 1.25); }

    // The widget that shows the field; its (0,0) is the picture origin.
    QWidget* surface() const;
    QPointF twipsAt(const QPointF& surfacePos) const { return surfacePos / zoom_ * kTwipsPerPixel; }
    QPointF surfacePosOf(double xTwips, double yTwips) const
    {
        return QPointF(xTwips, yTwips) / kTwipsPerPixel * zoom_;
    }

    bool handleZoomKey(int key, Qt::KeyboardModifiers mods);

signals:
    void mousePressed(double xTwips, double yTwips, Qt::MouseButton button);
    void mouseMoved(double xTwips, double yTwips, Qt::MouseButtons buttons);
    void mouseReleased(double xTwips, double yTwips, Qt::MouseButton button);
    void pictureChanged();

protected:
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    friend class PictureSurface;
    void resizeField(QSize pixels);
    void relayout();
    void drawWith(const QColor& colour, const std::function<void(QPainter&)>& draw);

    PictureSurface* surface_ = nullptr;
    QImage picture_;
    QImage layer_;
    int drawWidth_ = 1;
    double zoom_ = 1;
    QHash<QWidget*, QPointF> items_;
};

} // namespace tarvex
