#pragma once
#include <QColor>
#include <QLineF>
#include <QWidget>

namespace tarvex {

class PictureCanvas;

// A line control over the picture (the impact marker's three lines): kept at a line in
// twips whatever the zoom, and transparent to the mouse so marking goes on underneath.
class LineShape : public QWidget {
    Q_OBJECT
public:
    LineShape(const QString& objectName, PictureCanvas* canvas);
    void setLine(const QLineF& twips);
    QLineF line() const { return line_; }
    void setColour(const QColor& c);
    QColor colour() const { return colour_; }
    // Follows the canvas zoom.
    void relayout();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    PictureCanvas* canvas_;
    QLineF line_;
    QColor colour_ = Qt::white;
};

} // namespace tarvex
