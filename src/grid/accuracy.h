#pragma once
// The accuracy check without its screen: the 7 x 7 lattice between the four
// buoys, the distance change for a one-pixel step at each lattice point, its level, and the
// accuracy report appended to "acc" + mm + dd + ".txt".
#include "grid/grid_fit.h"
#include "grid/jump_grid.h"
#include "grid/setup_record.h"
#include "grid/tournament_type.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>

namespace tarvex {

constexpr int kLatticeIntervals = 6;                    // intervals per side of the lattice
constexpr int kLatticeSize = kLatticeIntervals + 1;     // 7 points a side
constexpr double kOnePixelTwips = 15;

struct LatticePoint {
    double x = 0;          // screen position, twips
    double y = 0;
    double d0 = 0;         // jump_distance at the point (metres)
    double d1 = 0;         // ... one pixel to the right
    double d2 = 0;         // ... one pixel down
    double delta = 0;      // the larger of |d1 - d0| and |d2 - d0|
    double mapped_survey_x = 0;   // of the last evaluation (one pixel down), as reported
    double mapped_survey_y = 0;
    QString level;         // "R", "L", "C" or "NH"
};

struct AccuracyLattice {
    bool ok = false;
    QString error;         // when a distance could not be computed at some point
    // points[i][j]: i = 0..6 across (0 left), j = 0..6 down (0 upper buoys); the indicator
    // label of point (i, j) is element 7*i + j.
    std::array<std::array<LatticePoint, kLatticeSize>, kLatticeSize> points{};

    const LatticePoint& at(int i, int j) const { return points[std::size_t(i)][std::size_t(j)]; }
};

struct ScreenPoint {
    double x = 0;
    double y = 0;
};

// Level of a one-pixel change: <= 0.1 "R", <= 0.15 "L", <= 0.2 "C", else "NH". A boundary
// value counts with the better level even when it carries the last bit of rounding (within
// a nanometre), so a grid built to exactly 0.1 m per pixel reads "R".
QString accuracyLevel(double delta);

// Lattice positions from the four corner buoys by bilinear interpolation.
std::array<std::array<ScreenPoint, kLatticeSize>, kLatticeSize>
latticePositions(ScreenPoint upperLeft, ScreenPoint upperRight, ScreenPoint lowerLeft, ScreenPoint lowerRight);

// Builds the lattice from the corner positions and runs distance_calculation three times
// per point, i outer and j inner as the check does (so the query and mapped values of g
// end as the last evaluation left them). ok false, with an error text, when a distance
// cannot be computed; the lattice is then unusable.
AccuracyLattice computeAccuracyLattice(GridState& g, ScreenPoint upperLeft, ScreenPoint upperRight,
                                       ScreenPoint lowerLeft, ScreenPoint lowerRight, TournamentType type);
// The same with the corners at the current grid's buoy screen positions.
AccuracyLattice computeAccuracyLattice(GridState& g, TournamentType type);

// The three kinds of indicator caption: Hom.Lvl, Distance, Detail.
enum class AccuracyDisplay { Level, Distance, Detail };
QString accuracyLabelText(const LatticePoint& p, AccuracyDisplay display);

// "xpix: ..." line of the report for one point.
QString accuracyPointLine(const LatticePoint& p);

struct AccuracyReportHeader {
    QDateTime when;
    QString ipt_file_description;
    QString ipt_file_description_2;
    int gridNumber = 1;
    double front_ratio = 0;
    double back_ratio = 0;
    // false: no picture to measure the ratios against; the report says so instead of a 0.
    bool ratiosKnown = true;
    SetupBoxTexts boxes;
};

// The whole report of one check, lines without line ends: the header
// followed by the 49 point lines in the check's order.
QStringList accuracyReportLines(const AccuracyReportHeader& header, const AccuracyLattice& lattice);

// What the check appends after the point lines: a blank line, one line per surveyed point
// ("C3  residual 4.1 cm  leave-one-out 6.0 cm", "-" without a leave-one-out figure, and
// "likely misplaced or mis-surveyed" when flagged), then the grid's quality line.
QStringList agreementReportLines(const GridFit& fit);

// "acc" + two-digit month + two-digit day + ".txt".
QString accuracyFileName(const QDateTime& when);

struct AccuracyWriteResult {
    bool ok = false;
    QString error;   // operator-readable, empty on success
};

// Appends the lines, each ended with CR LF, to the file (created when missing); the file is
// closed again before returning, whatever happens.
AccuracyWriteResult appendAccuracyReport(const QString& path, const QStringList& lines);

} // namespace tarvex
