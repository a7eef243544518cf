#include "grid/accuracy.h"

#include "common/list_text.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "grid/grid_geometry.h"

#include <QFile>
#include <cmath>

namespace tarvex {

namespace {
constexpr double kBoundarySlack = 1e-9;   // metres
}

QString accuracyLevel(double delta)
{
    if (delta <= 0.1 + kBoundarySlack)
        return QStringLiteral("R");
    if (delta <= 0.15 + kBoundarySlack)
        return QStringLiteral("L");
    if (delta <= 0.2 + kBoundarySlack)
        return QStringLiteral("C");
    return QStringLiteral("NH");
}

std::array<std::array<ScreenPoint, kLatticeSize>, kLatticeSize>
latticePositions(ScreenPoint upperLeft, ScreenPoint upperRight, ScreenPoint lowerLeft, ScreenPoint lowerRight)
{
    constexpr int n = kLatticeIntervals;
    std::array<std::array<ScreenPoint, kLatticeSize>, kLatticeSize> p{};
    auto between = [](ScreenPoint a, ScreenPoint b, int k) {
        return ScreenPoint{a.x + (b.x - a.x) * k / n, a.y + (b.y - a.y) * k / n};
    };
    p[0][0] = upperLeft;
    p[n][0] = upperRight;
    p[0][n] = lowerLeft;
    p[n][n] = lowerRight;
    for (int j = 1; j < n; ++j) {
        p[0][j] = between(p[0][0], p[0][n], j);
        p[n][j] = between(p[n][0], p[n][n], j);
    }
    for (int j = 0; j <= n; ++j)
        for (int i = 1; i < n; ++i)
            p[i][j] = between(p[0][j], p[n][j], i);
    return p;
}

AccuracyLattice computeAccuracyLattice(GridState& g, ScreenPoint upperLeft, ScreenPoint upperRight,
                                       ScreenPoint lowerLeft, ScreenPoint lowerRight, TournamentType type)
{
    AccuracyLattice lattice;
    const auto positions = latticePositions(upperLeft, upperRight, lowerLeft, lowerRight);
    auto distanceAt = [&](double x, double y, double& d) {
        g.query_screen_x = x;
        g.query_screen_y = y;
        if (!distance_calculation(g, type))
            return false;
        d = g.jump_distance;
        return true;
    };
    for (int i = 0; i < kLatticeSize; ++i) {
        for (int j = 0; j < kLatticeSize; ++j) {
            LatticePoint& p = lattice.points[std::size_t(i)][std::size_t(j)];
            p.x = positions[std::size_t(i)][std::size_t(j)].x;
            p.y = positions[std::size_t(i)][std::size_t(j)].y;
            if (!distanceAt(p.x, p.y, p.d0) || !distanceAt(p.x + kOnePixelTwips, p.y, p.d1)
                || !distanceAt(p.x, p.y + kOnePixelTwips, p.d2)) {
                lattice.error = QStringLiteral("The accuracy check cannot be made: no distance can be "
                                               "computed near the screen point%1,%2 (it lies on or next "
                                               "to the vanishing line of the grid)")
                                    .arg(paddedNumber(std::floor(p.x)), paddedNumber(std::floor(p.y)));
                return lattice;
            }
            const double right = std::fabs(p.d1 - p.d0);
            const double down = std::fabs(p.d2 - p.d0);
            p.delta = right >= down ? right : down;
            p.mapped_survey_x = g.mapped_survey_x;
            p.mapped_survey_y = g.mapped_survey_y;
            p.level = accuracyLevel(p.delta);
        }
    }
    lattice.ok = true;
    return lattice;
}

AccuracyLattice computeAccuracyLattice(GridState& g, TournamentType type)
{
    auto corner = [&g](int b) { return ScreenPoint{g.buoy_screen_x[b], g.buoy_screen_y[b]}; };
    return computeAccuracyLattice(g, corner(buoy::UpperLeft), corner(buoy::UpperRight),
                                  corner(buoy::LowerLeft), corner(buoy::LowerRight), type);
}

QString accuracyLabelText(const LatticePoint& p, AccuracyDisplay display)
{
    switch (display) {
    case AccuracyDisplay::Level: return p.level;
    case AccuracyDisplay::Distance: return paddedNumber(roundTo(p.d0, 1));
    case AccuracyDisplay::Detail: break;
    }
    return paddedNumber(roundTo(p.delta, 2));
}

QString accuracyPointLine(const LatticePoint& p)
{
    auto two = [](double v) { return paddedNumber(roundTo(v, 2)); };
    return QStringLiteral("xpix: ") + paddedNumber(std::floor(p.x))
           + QStringLiteral("  ypix: ") + paddedNumber(std::floor(p.y))
           + QStringLiteral("  x: ") + two(p.mapped_survey_x)
           + QStringLiteral("  y: ") + two(p.mapped_survey_y)
           + QStringLiteral("  distance: ") + two(p.d0)
           + QStringLiteral("  v inc: ") + two(p.d2)
           + QStringLiteral("  h inc: ") + two(p.d1)
           + QStringLiteral("  delta: ") + two(p.delta);
}

QStringList accuracyReportLines(const AccuracyReportHeader& h, const AccuracyLattice& lattice)
{
    QStringList lines;
    lines << dateText(h.when) + QStringLiteral("  ") + timeText(h.when) + QStringLiteral(" Accuracy Check");
    lines << QStringLiteral("Grid Set-up for accuracy check");
    lines << h.ipt_file_description;
    lines << h.ipt_file_description_2;
    lines << QStringLiteral("Grid Number: ") + paddedNumber(h.gridNumber) + QLatin1Char(' ');
    lines << QStringLiteral(" ");
    if (h.ratiosKnown) {
        lines << QStringLiteral("Front Ratio: ") + paddedNumber(std::floor(h.front_ratio));
        lines << QStringLiteral("Back Ratio: ") + paddedNumber(std::floor(h.back_ratio));
    } else {
        lines << QStringLiteral("Front Ratio: no picture loaded");
        lines << QStringLiteral("Back Ratio: no picture loaded");
    }
    lines << setupRecordBuoyLines(h.boxes, QStringLiteral("Pixels"));
    for (int i = 0; i < kLatticeSize; ++i)
        for (int j = 0; j < kLatticeSize; ++j)
            lines << accuracyPointLine(lattice.at(i, j));
    return lines;
}

QStringList agreementReportLines(const GridFit& fit)
{
    const auto cm = [](double metres) { return QString::number(metres * 100, 'f', 1) + QStringLiteral(" cm"); };
    QStringList lines{QStringLiteral(" ")};
    for (const PointAgreement& p : fit.points) {
        QString line = QStringLiteral("%1  residual %2  leave-one-out %3")
                           .arg(p.name, cm(p.residual), p.leaveOneOut ? cm(*p.leaveOneOut) : QStringLiteral("-"));
        if (p.flagged)
            line += QStringLiteral("  likely misplaced or mis-surveyed");
        lines << line;
    }
    lines << qualityLine(fit);
    return lines;
}

QString accuracyFileName(const QDateTime& when)
{
    const QString d = dateText(when);   // mm-dd-yyyy
    return QStringLiteral("acc") + d.mid(0, 2) + d.mid(3, 2) + QStringLiteral(".txt");
}

AccuracyWriteResult appendAccuracyReport(const QString& path, const QStringList& lines)
{
    AccuracyWriteResult r;
    if (const auto failed = appendDurably(path, lineBytes(lines))) {
        r.error = QStringLiteral("The accuracy report could not be written to %1: %2").arg(path, *failed);
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace tarvex
