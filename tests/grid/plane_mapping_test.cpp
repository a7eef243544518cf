#include "grid/plane_mapping.h"

#include "grid/grid_geometry.h"
#include "support/grid_test_support.h"

#include <gtest/gtest.h>
#include <limits>

using namespace tarvex;

namespace {

// X = (4 + u/2) / D, Y = (-2 + v) / D, D = v/4 + 1: every value below is exact in binary,
// so the round trip can be checked bit for bit. The vanishing line is v = -4 on the picture
// and Y = 4 on the water.
PlaneMapping handMapping()
{
    PlaneMapping::Coefficients c;
    c[1] = 4;
    c[2] = 0.5;
    c[5] = 0.25;
    c[6] = -2;
    c[8] = 1;
    return PlaneMapping::fromCoefficients(c);
}

} // namespace

TEST(PlaneMapping, KnownPointGoesToTheWaterAndBack)
{
    const PlaneMapping m = handMapping();
    EXPECT_EQ(m.forwardDenominator({4, 4}), 2);
    EXPECT_EQ(m.surveyFromScreen({4, 4}), QPointF(3, 1));
    EXPECT_EQ(m.inverseDenominator({3, 1}), 0.375);
    EXPECT_EQ(m.screenFromSurvey({3, 1}), QPointF(4, 4));
}

TEST(PlaneMapping, VanishingLineAndOverflowGiveNothing)
{
    const PlaneMapping m = handMapping();
    EXPECT_EQ(m.surveyFromScreen({10, -4}), std::nullopt);
    EXPECT_EQ(m.screenFromSurvey({7, 4}), std::nullopt);
    PlaneMapping::Coefficients huge;
    huge[2] = 1e300;
    EXPECT_EQ(PlaneMapping::fromCoefficients(huge).surveyFromScreen({1e10, 0}), std::nullopt);
    // A grid never set up maps nothing anywhere instead of everything to the origin.
    EXPECT_EQ(PlaneMapping().screenFromSurvey({3, 1}), std::nullopt);
}

TEST(PlaneMapping, ConstantIsAddedLastAsTheDistanceCalculationAlwaysDid)
{
    PlaneMapping::Coefficients c;
    c[4] = 1;
    c[5] = 1;
    // 1 + 1e-16 + 1e-16 rounds to 1 twice; 1e-16 + 1e-16 + 1 does not.
    EXPECT_EQ(PlaneMapping::fromCoefficients(c).forwardDenominator({1e-16, 1e-16}), 1.0000000000000002);
}

TEST(PlaneMapping, BuoysOfASolvedGridMapToTheirSurveyPoints)
{
    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    ASSERT_TRUE(solve_coefficients(g));
    const PlaneMapping m = PlaneMapping::fromGrid(g);
    const auto lowerRight = m.surveyFromScreen({10500, 7000});
    ASSERT_TRUE(lowerRight);
    EXPECT_NEAR(lowerRight->x(), 30, 1e-9);
    EXPECT_NEAR(lowerRight->y(), 20, 1e-9);
    const auto upperLeft = m.screenFromSurvey({60, -20});
    ASSERT_TRUE(upperLeft);
    EXPECT_NEAR(upperLeft->x(), 3000, 1e-6);
    EXPECT_NEAR(upperLeft->y(), 2000, 1e-6);

    g.storeGrid(2);
    EXPECT_EQ(PlaneMapping::fromGrid(g.grid_table[2]), m);
}

TEST(PlaneMapping, DistanceAddsTheAllowanceToTheStraightLine)
{
    EXPECT_EQ(distanceFrom({0, 0}, {3, 4}, 0.5), 5.5);
    EXPECT_EQ(distanceFrom({3, 4}, {0, 0}, 0), 5);
}

TEST(MeasureJump, DistanceFromTheJumpPointByTournamentType)
{
    const PlaneMapping m = handMapping();
    const auto standard = measureJump(m, {0, 1}, {4, 4}, TournamentType::Standard);
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard->survey, QPointF(3, 1));
    EXPECT_EQ(standard->distance, 3 + 2.1);
    EXPECT_EQ(measureJump(m, {0, 1}, {4, 4}, TournamentType::SitSki)->distance, 3 + 1.9000000000000001);
    EXPECT_EQ(measureJump(m, {0, 1}, {4, 4}, TournamentType::Barefoot)->distance, 3);
    EXPECT_EQ(measureJump(m, {0, 1}, {10, -4}, TournamentType::Standard), std::nullopt);
    EXPECT_EQ(measureJump(m, {std::numeric_limits<double>::max(), 1}, {4, 4}, TournamentType::Barefoot),
              std::nullopt);
}

TEST(MeasureJump, LeavesTheSharedStateAsItWas)
{
    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    ASSERT_TRUE(solve_coefficients(g));
    g.query_screen_x = 1;
    g.mapped_survey_x = 2;
    g.jump_distance = 3;
    g.mapping_denominator = 4;
    const auto m = measureJump(g, {10500, 7000}, TournamentType::Barefoot);
    ASSERT_TRUE(m);
    EXPECT_NEAR(m->distance, 36.05551275463989, 1e-9);   // hypot(30, 20) from the origin
    EXPECT_EQ(g.query_screen_x, 1);
    EXPECT_EQ(g.mapped_survey_x, 2);
    EXPECT_EQ(g.jump_distance, 3);
    EXPECT_EQ(g.mapping_denominator, 4);
}

TEST(DistancePerPixel, OnAPlainScaleOnePixelIsFifteenTwips)
{
    PlaneMapping::Coefficients c;
    c[2] = 0.01;   // a centimetre per twip on both axes
    c[8] = 0.01;
    const PlaneMapping m = PlaneMapping::fromCoefficients(c);
    EXPECT_NEAR(*distancePerPixel(m, {0, 0}, {3000, 4000}), 0.15, 1e-12);
    EXPECT_NEAR(*distancePerPixel(m, {30, 40}, {3000, 4000}), 0.15, 1e-12);   // at the jump point
    EXPECT_EQ(distancePerPixel(handMapping(), {0, 0}, {10, -4}), std::nullopt);
}
