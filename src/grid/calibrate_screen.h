#pragma once
// The calibration line screen: two points typed in survey metres or in screen twips are
// converted with the current grid and joined by a line on the grid setup and measuring
// pictures, so the operator sees whether a surveyed line lands where the camera shows it.
#include "station/station.h"

#include <QLineF>
#include <QString>
#include <optional>

class QLineEdit;
class QPushButton;

namespace tarvex {

class PictureCanvas;

// The part of a segment inside the square [-limit, limit]^2 (twips), or nullopt when none of
// it is or an end is not finite. A point near a grid's vanishing line maps to a screen
// position far beyond any picture; the painter only ever sees the visible stretch.
std::optional<QLineF> segmentWithin(const QLineF& segment, double limit);

class CalibrateScreen : public Screen {
    Q_OBJECT
public:
    explicit CalibrateScreen(Station& station);

    // Picture positions beyond this many twips (about 66,000 pixels) are never on view.
    static constexpr double kDrawLimitTwips = 1e6;
    static constexpr int kLineWidthPixels = 1;

    // Handlers, public so tests and other screens reach them as the operator would.
    // Switches the column typed into between survey metres ("Actual") and twips ("Screen").
    void toggleInputColumn();
    // Converts the typed column into the other and draws the line on the pictures.
    void drawLine();
    void eraseLine();
    void leave();

    // Endpoints (twips) of the line drawn last; (0,0)-(0,0) until the first Draw.
    QLineF lastLine() const { return last_; }

protected:
    // The frame's close button leaves the assistant as Exit does, beside the setup screen,
    // instead of returning to the hub.
    void closeEvent(QCloseEvent* e) override;

private:
    struct PointBoxes {
        QLineEdit* xTwips = nullptr;
        QLineEdit* yTwips = nullptr;
        QLineEdit* xActual = nullptr;
        QLineEdit* yActual = nullptr;
    };

    bool readInput(QLineEdit* box, const QString& what, double& value);
    void drawOnPictures(const QLineF& line, const QColor& colour);
    void complain(const QString& text) const;

    PointBoxes first_;
    PointBoxes second_;
    QPushButton* inputColumnButton_ = nullptr;

    QLineF last_;
};

} // namespace tarvex
