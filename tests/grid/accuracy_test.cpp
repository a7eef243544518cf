#include "grid/accuracy.h"
#include "grid/grid_geometry.h"
#include "support/grid_test_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

// Distance grows along survey X only, by metresPerPixel for each pixel to the right, and
// not at all downwards: the same change at every lattice point.
GridState evenGrid(double metresPerPixel)
{
    GridState g;
    test::setBuoys(g, test::kTrapezoid);   // only the screen positions matter here
    g.mapping_coefficients[2] = metresPerPixel / 15;
    g.jump_survey_x = -1000;
    return g;
}

// A solved rectangle grid at metresPerPixel on both axes, jump point far off to the left so
// a step right changes the distance by almost exactly one pixel's worth everywhere.
GridState rectangleGrid(double metresPerPixel)
{
    const double s = metresPerPixel / 15;
    const test::BuoySample rect[] = {
        {buoy::UpperRight, 9000, 1000, 9000 * s, 1000 * s},
        {buoy::LowerRight, 9000, 7000, 9000 * s, 7000 * s},
        {buoy::UpperLeft, 1000, 1000, 1000 * s, 1000 * s},
        {buoy::LowerLeft, 1000, 7000, 1000 * s, 7000 * s},
    };
    GridState g;
    test::setBuoys(g, rect);
    EXPECT_TRUE(solve_coefficients(g));
    g.jump_survey_x = -100000;
    g.jump_survey_y = 4000 * s;
    return g;
}

QStringList levels(const AccuracyLattice& l)
{
    QStringList out;
    for (int i = 0; i < kLatticeSize; ++i)
        for (int j = 0; j < kLatticeSize; ++j)
            out << l.at(i, j).level;
    out.removeDuplicates();
    return out;
}

} // namespace

TEST(AccuracyLevel, Boundaries)
{
    EXPECT_EQ(accuracyLevel(0), "R");
    EXPECT_EQ(accuracyLevel(0.1), "R");
    EXPECT_EQ(accuracyLevel(0.1000001), "L");
    EXPECT_EQ(accuracyLevel(0.15), "L");
    EXPECT_EQ(accuracyLevel(0.1500001), "C");
    EXPECT_EQ(accuracyLevel(0.2), "C");
    EXPECT_EQ(accuracyLevel(0.2000001), "NH");
}

TEST(AccuracyLattice, PositionsInterpolateTheSidesThenTheRows)
{
    const auto p = latticePositions({3000, 2000}, {9000, 2000}, {1500, 7000}, {10500, 7000});
    EXPECT_DOUBLE_EQ(p[0][0].x, 3000);
    EXPECT_DOUBLE_EQ(p[6][6].x, 10500);
    EXPECT_DOUBLE_EQ(p[0][3].x, 2250);
    EXPECT_DOUBLE_EQ(p[0][3].y, 4500);
    EXPECT_DOUBLE_EQ(p[6][3].x, 9750);
    EXPECT_DOUBLE_EQ(p[3][3].x, 6000);
    EXPECT_DOUBLE_EQ(p[3][3].y, 4500);
    EXPECT_DOUBLE_EQ(p[1][6].x, 1500 + 9000.0 / 6);
    EXPECT_DOUBLE_EQ(p[2][1].y, 2000 + 5000.0 / 6);
}

TEST(AccuracyLattice, EvenGridsGiveOneLevelEverywhere)
{
    const struct { double perPixel; const char* level; } cases[] = {
        {0.08, "R"}, {0.1, "R"}, {0.12, "L"}, {0.18, "C"}, {0.2, "C"}, {0.25, "NH"}};
    for (const auto& c : cases) {
        GridState g = evenGrid(c.perPixel);
        const AccuracyLattice l = computeAccuracyLattice(g, TournamentType::Standard);
        ASSERT_TRUE(l.ok);
        EXPECT_NEAR(l.at(3, 3).delta, c.perPixel, 1e-12);
        EXPECT_EQ(levels(l), QStringList{c.level}) << c.perPixel;
    }
}

TEST(AccuracyLattice, SolvedRectangleGridsGiveTheirLevel)
{
    const struct { double perPixel; const char* level; } cases[] = {
        {0.08, "R"}, {0.12, "L"}, {0.18, "C"}, {0.25, "NH"}};
    for (const auto& c : cases) {
        GridState g = rectangleGrid(c.perPixel);
        const AccuracyLattice l = computeAccuracyLattice(g, TournamentType::Standard);
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(levels(l), QStringList{c.level}) << c.perPixel;
    }
}

TEST(AccuracyLattice, EachPointKeepsItsThreeDistancesAndTheLastMappedPoint)
{
    GridState g = evenGrid(0.12);
    g.mapping_coefficients[8] = 0.001;   // Y = 0.001 * v
    const AccuracyLattice l = computeAccuracyLattice(g, TournamentType::SitSki);
    const LatticePoint& p = l.at(0, 0);   // upper left buoy at (3000, 2000)
    EXPECT_DOUBLE_EQ(p.x, 3000);
    EXPECT_DOUBLE_EQ(p.y, 2000);
    // From the jump point 1000 m to the left, plus the sit-ski allowance of 1.9 m; the
    // neighbours lie a pixel (15 twips) right and a pixel down.
    EXPECT_NEAR(p.d0, 1025.90195312314, 1e-9);
    EXPECT_NEAR(p.d1, 1026.02195289428, 1e-9);
    EXPECT_NEAR(p.d2, 1025.90198252982, 1e-9);
    EXPECT_NEAR(p.delta, 0.119999771145558, 1e-9);
    EXPECT_NEAR(p.mapped_survey_x, 24, 1e-12);
    EXPECT_NEAR(p.mapped_survey_y, 2.015, 1e-12);
}

TEST(AccuracyLattice, VanishingLineInsideTheLatticeFails)
{
    GridState g = evenGrid(0.1);
    g.buoy_screen_x[buoy::UpperLeft] = 4096;
    g.mapping_coefficients[4] = -1.0 / 4096;   // D = 0 at the first lattice point
    const AccuracyLattice l = computeAccuracyLattice(g, TournamentType::Standard);
    EXPECT_FALSE(l.ok);
    EXPECT_FALSE(l.error.isEmpty());
}

TEST(AccuracyLabels, LevelDistanceOrDetail)
{
    LatticePoint p;
    p.level = "L";
    p.d0 = 45.26;
    p.delta = 0.1249;
    EXPECT_EQ(accuracyLabelText(p, AccuracyDisplay::Level), "L");
    EXPECT_EQ(accuracyLabelText(p, AccuracyDisplay::Distance), " 45.3");
    EXPECT_EQ(accuracyLabelText(p, AccuracyDisplay::Detail), " .12");
}

TEST(AccuracyReport, PointLine)
{
    LatticePoint p;
    p.x = 1500.7;
    p.y = -0.5;
    p.mapped_survey_x = 12.345;
    p.mapped_survey_y = -3.004;
    p.d0 = 45.2;
    p.d2 = 45.314;
    p.d1 = 45.286;
    p.delta = 0.114;
    EXPECT_EQ(accuracyPointLine(p), "xpix:  1500  ypix: -1  x:  12.35  y: -3  distance:  45.2  "
                                    "v inc:  45.31  h inc:  45.29  delta:  .11");
}

TEST(AccuracyReport, HeaderBuoyLinesThenFortyNinePoints)
{
    GridState g = evenGrid(0.08);
    const AccuracyLattice l = computeAccuracyLattice(g, TournamentType::Standard);
    AccuracyReportHeader h;
    h.when = QDateTime(QDate(2026, 6, 14), QTime(9, 5, 3));
    h.ipt_file_description = "/grids/north.ipt";
    h.ipt_file_description_2 = "North";
    h.gridNumber = 2;
    h.front_ratio = 72.4;
    h.back_ratio = 50.9;
    h.boxes = SetupBoxTexts::fromWorkingState(g);
    const QStringList lines = accuracyReportLines(h, l);

    ASSERT_EQ(lines.size(), 8 + 14 + 49);
    EXPECT_EQ(lines.mid(0, 8), (QStringList{"06-14-2026  09:05:03 Accuracy Check",
                                            "Grid Set-up for accuracy check", "/grids/north.ipt",
                                            "North", "Grid Number:  2 ", " ", "Front Ratio:  72",
                                            "Back Ratio:  50"}));
    EXPECT_EQ(lines[8], "Upper Left X,Y Pixels:  3000   2000");
    EXPECT_EQ(lines[21], " ");
    EXPECT_EQ(lines[22], "xpix:  3000  ypix:  2000  x:  16  y:  0  distance:  1018.1  v inc:  1018.1  "
                         "h inc:  1018.18  delta:  .08");
    // Down the left side first.
    EXPECT_EQ(lines[23], "xpix:  2750  ypix:  2833  x:  14.67  y:  0  distance:  1016.77  v inc:  1016.77  "
                         "h inc:  1016.85  delta:  .08");
    EXPECT_EQ(lines[29], "xpix:  4000  ypix:  2000  x:  21.33  y:  0  distance:  1023.43  v inc:  1023.43  "
                         "h inc:  1023.51  delta:  .08");
    EXPECT_EQ(lines.last(), "xpix:  10500  ypix:  7000  x:  56  y:  0  distance:  1058.1  v inc:  1058.1  "
                            "h inc:  1058.18  delta:  .08");
}

TEST(AccuracyReport, FileNameIsMonthAndDay)
{
    EXPECT_EQ(accuracyFileName(QDateTime(QDate(2026, 6, 14), QTime(23, 0))), "acc0614.txt");
    EXPECT_EQ(accuracyFileName(QDateTime(QDate(2026, 12, 1), QTime(0, 0))), "acc1201.txt");
}

TEST(AccuracyReport, TwoChecksAppendToTheSameFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("acc0614.txt");
    ASSERT_TRUE(appendAccuracyReport(path, {"first", "check"}).ok);
    ASSERT_TRUE(appendAccuracyReport(path, {"second"}).ok);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "first\r\ncheck\r\nsecond\r\n");
}

TEST(AccuracyReport, UnwritableFileIsReported)
{
    QTemporaryDir dir;
    const AccuracyWriteResult r = appendAccuracyReport(dir.filePath("missing/acc0614.txt"), {"x"});
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("acc0614.txt"));
}

TEST(AccuracyReport, AgreementLinesFollowThePointsWithTheQualityLine)
{
    GridFit fit;
    fit.ok = true;
    fit.rms = 0.018;
    fit.points = {{"UR", 0.004, 0.0061, false}, {"LR", 0.0, std::nullopt, false}, {"C3", 0.041, 0.4831, true}};
    EXPECT_EQ(agreementReportLines(fit).join("|").toStdString(),
              (QStringList{" ", "UR  residual 0.4 cm  leave-one-out 0.6 cm", "LR  residual 0.0 cm  leave-one-out -",
                           "C3  residual 4.1 cm  leave-one-out 48.3 cm  likely misplaced or mis-surveyed",
                           "RMS 1.8 cm over 3 points - worst C3 4.1 cm"}).join("|").toStdString());
}
