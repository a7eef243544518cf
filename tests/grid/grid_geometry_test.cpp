#include "grid/grid_geometry.h"
#include "support/grid_test_support.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

using namespace tarvex;

namespace {

constexpr double kTol = 1e-9;

// Survey point of a screen point under coefficients written by hand from the mapping formulas.
void mapBy(const double c[9], double u, double v, double& x, double& y)
{
    const double d = 1 + c[4] * u + c[5] * v;
    x = (c[1] + c[2] * u + c[3] * v) / d;
    y = (c[6] + c[7] * u + c[8] * v) / d;
}

// Buoys at the given screen points, surveyed where the known coefficients map them: the
// solver must give those coefficients back.
void expectSolvedAs(const double known[9], const double pts[4][2])
{
    GridState g;
    for (int b = 1; b <= 4; ++b) {
        g.buoy_screen_x[b] = pts[b - 1][0];
        g.buoy_screen_y[b] = pts[b - 1][1];
        mapBy(known, pts[b - 1][0], pts[b - 1][1], g.buoy_survey_x[b], g.buoy_survey_y[b]);
    }
    ASSERT_TRUE(solve_coefficients(g));
    for (int m = 1; m <= 8; ++m)
        EXPECT_NEAR(g.mapping_coefficients[m], known[m], 1e-9 * std::max(1.0, std::fabs(known[m]))) << "c" << m;
}

GridState trapezoidGrid()
{
    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    g.jump_survey_x = 0;
    g.jump_survey_y = 0;
    EXPECT_TRUE(solve_coefficients(g));
    return g;
}

} // namespace

TEST(SolveCoefficients, RectangleScaledGivesPureScaleAndShift)
{
    const double s = 0.005;   // metres per twip
    GridState g;
    const test::BuoySample rect[] = {
        {buoy::UpperRight, 9000, 1000, 9000 * s + 7, 1000 * s - 3},
        {buoy::LowerRight, 9000, 7000, 9000 * s + 7, 7000 * s - 3},
        {buoy::UpperLeft, 1000, 1000, 1000 * s + 7, 1000 * s - 3},
        {buoy::LowerLeft, 1000, 7000, 1000 * s + 7, 7000 * s - 3},
    };
    test::setBuoys(g, rect);
    ASSERT_TRUE(solve_coefficients(g));
    const auto& c = g.mapping_coefficients;
    EXPECT_NEAR(c[1], 7, kTol);
    EXPECT_NEAR(c[2], s, kTol);
    EXPECT_NEAR(c[3], 0, kTol);
    EXPECT_NEAR(c[4], 0, kTol);
    EXPECT_NEAR(c[5], 0, kTol);
    EXPECT_NEAR(c[6], -3, kTol);
    EXPECT_NEAR(c[7], 0, kTol);
    EXPECT_NEAR(c[8], s, kTol);
}

TEST(SolveCoefficients, RecoversAKnownPerspectiveMapping)
{
    const double known[9] = {0, 12.5, 0.002, -0.001, 1e-5, 2e-4, -3, 0.0005, 0.006};
    const double pts[4][2] = {{9000, 2000}, {10500, 7000}, {3000, 2000}, {1500, 7000}};
    expectSolvedAs(known, pts);
}

TEST(SolveCoefficients, ZeroPivotIsExchangedWithALaterRow)
{
    // Upper right and lower right at the same screen X leave A(2,2) zero after the first
    // column is cleared; a later row supplies the pivot and the mapping still fits.
    const double known[9] = {0, 4, 0.01, 0.002, 1e-5, 2e-5, -1, 0.001, 0.008};
    const double pts[4][2] = {{9000, 2000}, {9000, 7000}, {3000, 2000}, {1500, 7000}};
    expectSolvedAs(known, pts);
}

TEST(SolveCoefficients, AllScreenPositionsZeroHasNoUniqueSolutionAndChangesNothing)
{
    GridState g;
    for (int b = 1; b <= 4; ++b) {
        g.buoy_survey_x[b] = 10 * b;
        g.buoy_survey_y[b] = -b;
    }
    for (int m = 1; m <= 8; ++m)
        g.mapping_coefficients[m] = m;
    const auto before = g.mapping_coefficients;
    EXPECT_FALSE(solve_coefficients(g));
    EXPECT_EQ(g.mapping_coefficients, before);
    EXPECT_STREQ(kNoUniqueSolutionText, "No Unique Solution - Re-enter data");
    EXPECT_STREQ(kNoUniqueSolutionTitle, "Error Message");
}

TEST(SolveCoefficients, OverflowFromATinyPivotCountsAsNoUniqueSolution)
{
    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    // The second pivot is the smallest positive double: used as it is, 1/A(2,2) overflows.
    g.buoy_screen_x[buoy::UpperRight] = 0;
    g.buoy_screen_x[buoy::LowerRight] = std::numeric_limits<double>::denorm_min();
    g.buoy_screen_x[buoy::UpperLeft] = 0;
    g.buoy_screen_x[buoy::LowerLeft] = 0;
    g.mapping_coefficients[1] = 42;
    EXPECT_FALSE(solve_coefficients(g));
    EXPECT_EQ(g.mapping_coefficients[1], 42);
}

TEST(Mapping, EachBuoyMapsBackToItsSurveyPoint)
{
    GridState g = trapezoidGrid();
    for (const auto& b : test::kTrapezoid) {
        g.query_screen_x = b.u;
        g.query_screen_y = b.v;
        ASSERT_TRUE(survey_from_screen(g));
        EXPECT_NEAR(g.mapped_survey_x, b.x, kTol);
        EXPECT_NEAR(g.mapped_survey_y, b.y, kTol);
    }
}

TEST(Mapping, InverseOfForwardReturnsTheScreenPoint)
{
    GridState g = trapezoidGrid();
    const double points[][2] = {{6000, 4500}, {1500, 7000}, {12000, 0}, {0, 9000}, {4321.5, 1234.25}};
    for (const auto& p : points) {
        g.query_screen_x = p[0];
        g.query_screen_y = p[1];
        ASSERT_TRUE(survey_from_screen(g));
        g.query_screen_x = g.query_screen_y = -1;
        ASSERT_TRUE(screen_from_survey(g));
        EXPECT_NEAR(g.query_screen_x, p[0], 1e-6);
        EXPECT_NEAR(g.query_screen_y, p[1], 1e-6);
    }
}

TEST(Mapping, ForwardSetsTheDenominator)
{
    GridState g;
    g.mapping_coefficients[4] = 0.001;
    g.mapping_coefficients[5] = 0.002;
    g.query_screen_x = 100;
    g.query_screen_y = 50;
    ASSERT_TRUE(survey_from_screen(g));
    EXPECT_DOUBLE_EQ(g.mapping_denominator, 1.2);
}

TEST(Mapping, PointOnTheVanishingLineFailsAndKeepsTheLastResult)
{
    GridState g;
    g.mapping_coefficients[2] = 1;
    g.mapping_coefficients[5] = 1.0 / 1024;
    g.mapped_survey_x = 7;
    g.query_screen_x = 10;
    g.query_screen_y = -1024;
    EXPECT_FALSE(survey_from_screen(g));
    EXPECT_EQ(g.mapping_denominator, 0);
    EXPECT_EQ(g.mapped_survey_x, 7);
}

TEST(Mapping, InverseOfADegenerateGridFails)
{
    GridState g;   // all coefficients 0: E = 0
    g.query_screen_x = 5;
    EXPECT_FALSE(screen_from_survey(g));
    EXPECT_EQ(g.query_screen_x, 5);
}

TEST(RampAllowance, ByTournamentType)
{
    EXPECT_DOUBLE_EQ(ramp_allowance(TournamentType::Standard), 2.1);
    EXPECT_DOUBLE_EQ(ramp_allowance(TournamentType::SitSki), 1.9);
    EXPECT_EQ(ramp_allowance(TournamentType::SitSki), 2.1 + 0.2 * -1);
    EXPECT_EQ(ramp_allowance(TournamentType::Barefoot), 0);
}

TEST(RampAllowance, TypeFromTheTwoSettingsFlagsWithBarefootWinning)
{
    EXPECT_EQ(tournamentType(false, false), TournamentType::Standard);
    EXPECT_EQ(tournamentType(false, true), TournamentType::SitSki);
    EXPECT_EQ(tournamentType(true, false), TournamentType::Barefoot);
    EXPECT_EQ(tournamentType(true, true), TournamentType::Barefoot);
    AppSettings s;
    s.SitSkiMode = true;
    EXPECT_EQ(tournamentType(s), TournamentType::SitSki);
    s.BarefootMode = true;
    EXPECT_EQ(tournamentType(s), TournamentType::Barefoot);
}

TEST(DistanceCalculation, AtABuoyIsTheSurveyDistancePlusTheAllowance)
{
    GridState g = trapezoidGrid();
    g.jump_survey_x = -2;
    g.jump_survey_y = 1;
    const auto& b = test::kTrapezoid[1];   // lower right (30, 20)
    const double planar = std::hypot(30 + 2, 20 - 1);
    struct Case { TournamentType type; double allowance; };
    for (const Case c : {Case{TournamentType::Standard, 2.1}, Case{TournamentType::SitSki, 1.9},
                         Case{TournamentType::Barefoot, 0}}) {
        g.query_screen_x = b.u;
        g.query_screen_y = b.v;
        ASSERT_TRUE(distance_calculation(g, c.type));
        EXPECT_NEAR(g.mapped_survey_x, 30, kTol);
        EXPECT_NEAR(g.mapped_survey_y, 20, kTol);
        EXPECT_NEAR(g.jump_distance, planar + c.allowance, kTol);
        EXPECT_NEAR(g.mapping_denominator, 1 + g.mapping_coefficients[4] * b.u + g.mapping_coefficients[5] * b.v, 1e-15);
    }
}

TEST(DistanceCalculation, VanishingLineReportsFailureAndLeavesTheDistance)
{
    GridState g;
    g.mapping_coefficients[2] = 1;
    g.mapping_coefficients[5] = 1.0 / 1024;
    g.jump_distance = 33;
    g.query_screen_x = 10;
    g.query_screen_y = -1024;
    EXPECT_FALSE(distance_calculation(g, TournamentType::Standard));
    EXPECT_EQ(g.mapping_denominator, 0);
    EXPECT_EQ(g.jump_distance, 33);
}

TEST(DistanceCalculation, OverflowingResultReportsFailure)
{
    GridState g;
    g.mapping_coefficients[2] = 1e300;
    g.query_screen_x = 1e10;
    EXPECT_FALSE(distance_calculation(g, TournamentType::Standard));
}

namespace {
// Buoy X texts for a 12000-twip picture with the given front and back spans.
GridCheckResult checkSpans(double front, double back, const QString& width = QStringLiteral("12000"))
{
    return grid_check(QStringLiteral(" 1000"), QString::number(1000 + front),
                      QStringLiteral(" 2000"), QString::number(2000 + back), width);
}
} // namespace

TEST(GridCheck, WellFramedShowsOnlyTheRatios)
{
    const GridCheckResult r = checkSpans(8688, 6108);   // 72.4 % and 50.9 %
    ASSERT_TRUE(r.valid);
    EXPECT_DOUBLE_EQ(r.front_ratio, 72.4);
    EXPECT_DOUBLE_EQ(r.back_ratio, 50.9);
    EXPECT_EQ(r.messages, QStringList{"Front ratio is  72%  Back Ratio is  50%"});
}

TEST(GridCheck, FrontSeventyBackThirtyGivesThreeBoxes)
{
    const GridCheckResult r = checkSpans(8400, 3600);
    const QString base = QStringLiteral("Front ratio is  70%  Back Ratio is  30%");
    EXPECT_EQ(r.messages, (QStringList{base + "  Elevate camera until back is > 45%",
                                       base + "  Zoom camera in until back is > 45%",
                                       base + "  Zoom camera in until front is > 85%"}));
}

TEST(GridCheck, FrontNinetyBackThirtyGivesTwoBoxes)
{
    const GridCheckResult r = checkSpans(10800, 3600);
    const QString base = QStringLiteral("Front ratio is  90%  Back Ratio is  30%");
    EXPECT_EQ(r.messages, (QStringList{base + "  Elevate camera until back is > 45%",
                                       base + "  Zoom camera in until back is > 45%"}));
}

TEST(GridCheck, FrontFiftyBackFortyGivesOneBox)
{
    const GridCheckResult r = checkSpans(6000, 4800);
    EXPECT_EQ(r.messages, QStringList{"Front ratio is  50%  Back Ratio is  40%  Zoom camera in until front is > 85%"});
}

TEST(GridCheck, FrontExactlySixtyFiveGivesNoBox)
{
    const GridCheckResult r = checkSpans(7800, 5000);
    ASSERT_TRUE(r.valid);
    EXPECT_DOUBLE_EQ(r.front_ratio, 65);
    EXPECT_NEAR(r.back_ratio, 41.667, 0.001);
    EXPECT_TRUE(r.messages.isEmpty());
}

TEST(GridCheck, NarrowFrontWithWideBackGivesNoBox)
{
    EXPECT_TRUE(checkSpans(6000, 6000).messages.isEmpty());
}

TEST(GridCheck, SpansCountWhicheverSideIsLeftAndTextsReadByLeadingNumber)
{
    const GridCheckResult r = grid_check(QStringLiteral(" 9400 "), QStringLiteral("1000"),
                                         QStringLiteral("auto"), QStringLiteral("6108 twips"),
                                         QStringLiteral("12000"));
    EXPECT_DOUBLE_EQ(r.front_ratio, 70);
    EXPECT_DOUBLE_EQ(r.back_ratio, 50.9);
}

TEST(GridCheck, ZeroPictureWidthGivesNoAdviceButSaysWhy)
{
    GridState g;
    g.front_ratio = 80;
    const GridCheckResult r = grid_check(g, "1000", "9400", "2000", "8000", "0");
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.messages, QStringList{"The picture width is 0 - load a picture before checking the grid"});
    EXPECT_EQ(g.front_ratio, 0);
}

TEST(GridCheck, StoresTheRatiosInTheState)
{
    GridState g;
    grid_check(g, "1000", "9400", "2000", "8000", "12000");
    EXPECT_DOUBLE_EQ(g.front_ratio, 70);
    EXPECT_DOUBLE_EQ(g.back_ratio, 50);
}

TEST(BoxNumbers, OnlyAWholeNumberWithBlanksAroundItCounts)
{
    for (const char* yes : {"0", " 12.5 ", "-3", ".5", "1e3", "\t7"})
        EXPECT_TRUE(holdsNumber(yes)) << yes;
    for (const char* no : {"", "  ", "abc", "12abc", "12,5", "1 2", "input", "inf", "nan"})
        EXPECT_FALSE(holdsNumber(no)) << no;
}

TEST(DegenerateBuoys, RepeatedOrAlignedPointsGiveNoMapping)
{
    OneBasedArray<double, kBuoyCount> x, y;
    auto set = [&](std::initializer_list<std::pair<double, double>> pts) {
        int i = 1;
        for (const auto& [px, py] : pts) {
            x[i] = px;
            y[i] = py;
            ++i;
        }
    };
    set({{9000, 2000}, {10500, 7000}, {3000, 2000}, {1500, 7000}});
    EXPECT_FALSE(buoysDegenerate(x, y));
    set({{9000, 2000}, {9000, 2000}, {3000, 2000}, {1500, 7000}});
    EXPECT_TRUE(buoysDegenerate(x, y));
    set({{60, 20}, {30, 20}, {45, 20}, {30, -20}});   // three on one survey line
    EXPECT_TRUE(buoysDegenerate(x, y));
    set({{0, 0}, {0, 0}, {0, 0}, {0, 0}});
    EXPECT_TRUE(buoysDegenerate(x, y));
}
