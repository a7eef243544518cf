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
#include <vector>

class QLabel;
class QPainter;

namespace tarvex {

class PictureSurface;
class PictureLoupe;
class ZoomBar;

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

    // Markers drawn from now on get a one-pixel dark rim around their colour, and erasing
    // takes the rim too, so they stay visible on white spray and dark water alike.
    void setOutline(bool on) { outline_ = on; }
    bool outline() const { return outline_; }
    static QColor outlineColour() { return QColor(24, 24, 24); }

    // Size of the field in picture pixels and twips (the default field without a picture).
    QSize fieldPixels() const { return layer_.size(); }
    double widthTwips() const { return layer_.width() * kTwipsPerPixel; }

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

    // Zoom: the bar above the picture, Ctrl+wheel about the mouse, and the keys "+", "-",
    // "0" (one screen pixel per picture pixel) and "F" (fit) anywhere on the window outside
    // a text box.
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    void zoomIn() { setZoom(zoom_ * 1.25); }
    void zoomOut() { setZoom(zoom_ / 1.25); }
    // The whole field in the visible area (any zoom the limits allow).
    void fitToWindow();
    // The zoom figure as the bar shows it, e.g. "100 %".
    QString zoomText() const;
    // A line of the screen's own (a live figure) beside the zoom figure.
    void setInfoText(const QString& text);
    QString infoText() const;

    // The widget that shows the field; its (0,0) is the picture origin.
    QWidget* surface() const;
    // One convention at every zoom: the centre of picture pixel (i, j) is the point
    // (15 i, 15 j) twips. `surfacePos` is a widget position as Qt gives it for the mouse
    // (the pixel it names has its centre half a pixel further on).
    QPointF twipsAt(const QPointF& surfacePos) const
    {
        return ((surfacePos + QPointF(0.5, 0.5)) / zoom_ - QPointF(0.5, 0.5)) * kTwipsPerPixel;
    }
    // The inverse: the widget position whose pixel centre shows the point.
    QPointF surfacePosOf(double xTwips, double yTwips) const
    {
        return (QPointF(xTwips, yTwips) / kTwipsPerPixel + QPointF(0.5, 0.5)) * zoom_ - QPointF(0.5, 0.5);
    }

    bool handleZoomKey(int key, Qt::KeyboardModifiers mods);

    // The loupe: a magnified view of the area under the cursor with a cross hair, shown
    // while the mouse is over the picture. Moving into the loupe holds it still; a press
    // there marks the point under its cross hair, to a fraction of a picture pixel.
    void setLoupeEnabled(bool on);
    QWidget* loupe() const;
    // Screen pixels per picture pixel in the loupe: eight times the view's zoom, at least 8.
    double loupeMagnification() const;
    // The point the loupe shows at its centre, and aiming it there (as the mouse does).
    QPointF loupeCentre() const { return loupeCentre_; }
    void aimLoupe(const QPointF& twips);
    // Whether the last press came through the loupe, which places a point far finer.
    bool lastPressInLoupe() const { return pressInLoupe_; }
    // The picture point under a position inside the loupe.
    QPointF loupeTwipsAt(const QPointF& loupePos) const;
    // The position inside the loupe that shows a picture point.
    QPointF loupePosOf(const QPointF& twips) const;

signals:
    void mousePressed(double xTwips, double yTwips, Qt::MouseButton button);
    void mouseMoved(double xTwips, double yTwips, Qt::MouseButtons buttons);
    void mouseReleased(double xTwips, double yTwips, Qt::MouseButton button);
    void pictureChanged();
    void zoomChanged(double zoom);

protected:
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    friend class PictureSurface;
    friend class PictureLoupe;
    // What was drawn, kept as shapes so the view draws them centred on their twips point at
    // every zoom; the layer holds the same at picture resolution for saving and checks.
    struct DrawOp {
        enum Kind { Line, Circle, Point } kind = Line;
        QPointF a, b;          // twips; b is the second end of a line
        double radius = 0;     // twips
        QColor colour;
        int width = 1;         // pixels
        bool outline = false;
        bool erase = false;
    };
    void resizeField(QSize pixels);
    void relayout();
    void record(DrawOp op);
    static void paintShapes(QPainter& p, const std::vector<DrawOp>& ops, const std::function<QPointF(QPointF)>& at,
                            double scale);
    // Replays the shapes; `at` maps twips to painter coordinates, `scale` is painter units per twip.
    void paintDrawing(QPainter& p, const std::function<QPointF(QPointF)>& at, double scale) const;
    void fitIfLarger();
    void placeLoupe();
    void surfaceMouse(const QPointF& surfacePos);
    void buildShortcuts();

    PictureSurface* surface_ = nullptr;
    ZoomBar* bar_ = nullptr;
    PictureLoupe* loupe_ = nullptr;
    QImage picture_;
    QImage layer_;
    std::vector<DrawOp> ops_;
    bool opsOverflowed_ = false;   // too many shapes: the view shows the layer as it is
    int drawWidth_ = 1;
    bool outline_ = false;
    double zoom_ = 1;
    bool fitPending_ = true;
    bool autoFitted_ = false;    // the zoom is the canvas's own fit, not the operator's
    bool autoFitting_ = false;
    bool loupeEnabled_ = true;
    QPointF loupeCentre_;
    bool pressInLoupe_ = false;
    QHash<QWidget*, QPointF> items_;
};

} // namespace tarvex
