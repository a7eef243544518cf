#include "grid/calibrate_screen.h"
#include "station/screen_names.h"

#include "common/text_forms.h"
#include "grid/grid_geometry.h"
#include "grid/grid_setup_screen.h"
#include "widgets/controls.h"
#include "widgets/picture_canvas.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace tarvex {

namespace {

const QString kActual = QStringLiteral("Actual");
const QString kScreen = QStringLiteral("Screen");
const QString kTitle = QStringLiteral("Calibration Assistant");

// "+ 0.0" turns a negative zero into the " 0" the operator expects.
QString twipsText(double q) { return paddedNumber(std::floor(q + 0.5) + 0.0); }
QString metresText(double m) { return paddedNumber(roundTo(m, 2) + 0.0); }

} // namespace

std::optional<QLineF> segmentWithin(const QLineF& segment, double limit)
{
    const double x1 = segment.x1(), y1 = segment.y1();
    const double dx = segment.x2() - x1, dy = segment.y2() - y1;
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(dx) || !std::isfinite(dy))
        return std::nullopt;
    // Liang-Barsky: narrow the parameter range [t0, t1] against each edge of the square.
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 + limit, limit - x1, y1 + limit, limit - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    // Untouched ends keep their exact values, so an erase repeats the draw pixel for pixel.
    const QPointF a = t0 == 0 ? segment.p1() : QPointF(x1 + t0 * dx, y1 + t0 * dy);
    const QPointF b = t1 == 1 ? segment.p2() : QPointF(x1 + t1 * dx, y1 + t1 * dy);
    return QLineF(a, b);
}

CalibrateScreen::CalibrateScreen(Station& station) : Screen(station)
{
    setWindowTitle(kTitle);
    auto* layout = new QGridLayout(this);

    layout->addWidget(makeLabel(this, "CalibrationLineScreenLabel", kScreen), 0, 1, 1, 2, Qt::AlignHCenter);
    layout->addWidget(makeLabel(this, "CalibrationLineActualLabel", kActual), 0, 3, 1, 2, Qt::AlignHCenter);

    first_ = {makeLineEdit(this, "CalibrationLineXTwips"), makeLineEdit(this, "CalibrationLineYTwips"),
              makeLineEdit(this, "CalibrationLineXActual"), makeLineEdit(this, "CalibrationLineYActual")};
    second_ = {makeLineEdit(this, "CalibrationLineXTwips2"), makeLineEdit(this, "CalibrationLineYTwips2"),
               makeLineEdit(this, "CalibrationLineXActual2"), makeLineEdit(this, "CalibrationLineYActual2")};
    int row = 1;
    for (const PointBoxes* p : {&first_, &second_}) {
        QLabel* from = makeLabel(this, row == 1 ? "Label1" : "Label2", QStringLiteral("from"));
        layout->addWidget(from, row, 0);
        layout->addWidget(p->xTwips, row, 1);
        layout->addWidget(p->yTwips, row, 2);
        layout->addWidget(p->xActual, row, 3);
        layout->addWidget(p->yActual, row, 4);
        ++row;
    }

    inputColumnButton_ =
        makeButton(this, "CalibrationLineUnitsSelect", kActual, this, &CalibrateScreen::toggleInputColumn);
    inputColumnButton_->setToolTip(QStringLiteral("The column you type into; Draw fills the other one"));
    QPushButton* draw = makeButton(this, "CalibrateLineDrawCommand", QStringLiteral("Draw"), this, &CalibrateScreen::drawLine);
    QPushButton* erase = makeButton(this, "CalibrationLineErase", QStringLiteral("Erase"), this, &CalibrateScreen::eraseLine);
    QPushButton* exit = makeButton(this, "formexit", QStringLiteral("E&xit"), this, &CalibrateScreen::leave);
    layout->addWidget(inputColumnButton_, row, 0);
    layout->addWidget(draw, row, 1);
    layout->addWidget(erase, row, 2);
    layout->addWidget(exit, row, 4);
}

void CalibrateScreen::complain(const QString& text) const
{
    station_.prompter().message(text, kTitle, Icon::Exclamation);
}

// A box is read by its leading number, as every number box of the station is; one that
// holds no number at all would silently become 0 and put the line at the origin.
bool CalibrateScreen::readInput(QLineEdit* box, const QString& what, double& value)
{
    static const QRegularExpression startsWithNumber(QStringLiteral("^[ \\t]*[+-]?(\\d|\\.\\d)"));
    const QString text = box->text();
    if (!startsWithNumber.match(text).hasMatch()) {
        complain(text.trimmed().isEmpty()
                     ? QStringLiteral("The box %1 is empty. Type a number and press Draw again.").arg(what)
                     : QStringLiteral("The box %1 holds \"%2\", which is not a number. "
                                      "Type a number and press Draw again.")
                           .arg(what, text.trimmed()));
        box->setFocus();
        return false;
    }
    value = leadingNumber(text);
    return true;
}

void CalibrateScreen::toggleInputColumn()
{
    inputColumnButton_->setText(inputColumnButton_->text() == kActual ? kScreen : kActual);
}

void CalibrateScreen::drawLine()
{
    GridState& g = station_.grids();
    const bool fromActual = inputColumnButton_->text() == kActual;
    const PointBoxes* points[2] = {&first_, &second_};
    const QString ordinal[2] = {QStringLiteral("first"), QStringLiteral("second")};
    const QString& column = fromActual ? kActual : kScreen;

    // Every typed value is read before anything is written, so a bad box changes nothing.
    double in[2][2] = {};
    for (int i = 0; i < 2; ++i) {
        QLineEdit* x = fromActual ? points[i]->xActual : points[i]->xTwips;
        QLineEdit* y = fromActual ? points[i]->yActual : points[i]->yTwips;
        if (!readInput(x, QStringLiteral("%1 X of the %2 point").arg(column, ordinal[i]), in[i][0])
            || !readInput(y, QStringLiteral("%1 Y of the %2 point").arg(column, ordinal[i]), in[i][1]))
            return;
    }

    // All-zero coefficients are a grid never completed or loaded: its "mapping" sends every
    // screen point to (0, 0) and no survey point anywhere.
    const auto& c = g.mapping_coefficients;
    if (std::all_of(c.begin(), c.end(), [](double v) { return v == 0; })) {
        complain(QStringLiteral("Grid %1 has no mapping yet. Complete or load the grid on the grid "
                                "setup screen, then press Draw again.")
                     .arg(g.current_grid));
        return;
    }

    QString out[2][2];
    for (int i = 0; i < 2; ++i) {
        const QString where = QStringLiteral("The %1 point (%2 %3, %4)")
                                  .arg(ordinal[i], column, paddedNumber(in[i][0]).trimmed(),
                                       paddedNumber(in[i][1]).trimmed());
        if (fromActual) {
            g.mapped_survey_x = in[i][0];
            g.mapped_survey_y = in[i][1];
            if (!screen_from_survey(g)) {
                complain(QStringLiteral("%1 cannot be placed on the picture with Grid %2: it lies on "
                                        "the horizon of the camera's view. Nothing was drawn.")
                             .arg(where)
                             .arg(g.current_grid));
                return;
            }
            out[i][0] = twipsText(g.query_screen_x);
            out[i][1] = twipsText(g.query_screen_y);
        } else {
            g.query_screen_x = in[i][0];
            g.query_screen_y = in[i][1];
            if (!survey_from_screen(g)) {
                complain(QStringLiteral("%1 cannot be mapped to the water with Grid %2: it lies on "
                                        "the horizon of the camera's view. Nothing was drawn.")
                             .arg(where)
                             .arg(g.current_grid));
                return;
            }
            out[i][0] = metresText(g.mapped_survey_x);
            out[i][1] = metresText(g.mapped_survey_y);
        }
    }
    for (int i = 0; i < 2; ++i) {
        (fromActual ? points[i]->xTwips : points[i]->xActual)->setText(out[i][0]);
        (fromActual ? points[i]->yTwips : points[i]->yActual)->setText(out[i][1]);
    }

    const QLineF line(leadingNumber(first_.xTwips->text()), leadingNumber(first_.yTwips->text()),
                      leadingNumber(second_.xTwips->text()), leadingNumber(second_.yTwips->text()));
    drawOnPictures(last_, PictureCanvas::magenta());
    drawOnPictures(line, Qt::white);
    last_ = line;
}

void CalibrateScreen::eraseLine()
{
    drawOnPictures(last_, PictureCanvas::magenta());
}

void CalibrateScreen::leave() { hide(); }

void CalibrateScreen::closeEvent(QCloseEvent* e)
{
    e->accept();
    leave();
}

void CalibrateScreen::drawOnPictures(const QLineF& line, const QColor& colour)
{
    // Only the picture screens that exist draw it: creating the setup screen here would
    // run its load and clear the grids-complete flag.
    if (const std::optional<QLineF> visible = segmentWithin(line, kDrawLimitTwips))
        emit station_.pictureLineRequested(*visible, colour, kLineWidthPixels);
}

} // namespace tarvex
