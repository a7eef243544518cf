#include "grid/jump_grid.h"
#include "support/grid_test_support.h"

#include <gtest/gtest.h>

using namespace tarvex;

TEST(GridState, StartsZeroedWithGridOneCurrent)
{
    const GridState g;
    EXPECT_EQ(g.current_grid, 1);
    EXPECT_FALSE(g.all_grids_set_up);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_FALSE(g.grid_set_up[n]);
        EXPECT_EQ(g.grid_table[n], JumpGrid{});
        EXPECT_TRUE(g.grid_file_path[n].isEmpty());
        EXPECT_TRUE(g.grid_description[n].isEmpty());
    }
    for (int m = 1; m <= 8; ++m)
        EXPECT_EQ(g.mapping_coefficients[m], 0);
}

TEST(GridState, ArraysAreIndexedByTheStationsOwnNumbersFromOne)
{
    GridState g;
    g.buoy_survey_x[buoy::UpperRight] = 1;
    g.buoy_survey_x[buoy::LowerLeft] = 4;
    EXPECT_EQ(g.buoy_survey_x.items.front(), 1);
    EXPECT_EQ(g.buoy_survey_x.items.back(), 4);
    g.mapping_coefficients[8] = 8;
    EXPECT_EQ(g.mapping_coefficients.items[7], 8);
    EXPECT_TRUE(decltype(g.grid_set_up)::contains(3));
    EXPECT_FALSE(decltype(g.grid_set_up)::contains(0));
}

TEST(GridState, StoreAndRestoreCarryEveryGridField)
{
    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    for (int m = 1; m <= 8; ++m)
        g.mapping_coefficients[m] = m * 1.5;
    g.jump_survey_x = -3.5;
    g.jump_survey_y = 0.25;
    g.storeGrid(2, 10, 2, 2);

    const JumpGrid& r = g.grid_table[2];
    EXPECT_EQ(r.buoys[buoy::LowerRight].screen_x, 10500);
    EXPECT_EQ(r.buoys[buoy::UpperLeft].survey_y, -20);
    EXPECT_EQ(r.c[7], 10.5);
    EXPECT_EQ(r.jump_x, -3.5);
    EXPECT_EQ(r.t3, 2);
    EXPECT_EQ(g.grid_table[1], JumpGrid{});

    GridState other;
    other.grid_table = g.grid_table;
    other.switchToGrid(2);
    EXPECT_EQ(other.current_grid, 2);
    EXPECT_EQ(other.buoy_screen_x, g.buoy_screen_x);
    EXPECT_EQ(other.buoy_screen_y, g.buoy_screen_y);
    EXPECT_EQ(other.buoy_survey_x, g.buoy_survey_x);
    EXPECT_EQ(other.buoy_survey_y, g.buoy_survey_y);
    EXPECT_EQ(other.mapping_coefficients, g.mapping_coefficients);
    EXPECT_EQ(other.jump_survey_y, 0.25);
}

TEST(GridState, StoringWithoutTrailersKeepsTheRecordsTrailers)
{
    GridState g;
    g.grid_table[1].t1 = 10;
    g.grid_table[1].t3 = 5;
    g.storeGrid(1);
    EXPECT_EQ(g.grid_table[1].t1, 10);
    EXPECT_EQ(g.grid_table[1].t3, 5);
}

TEST(AllGridsSetUp, FollowsGridsInUse)
{
    GridState g;
    g.grids_in_use = 2;
    g.grid_set_up[1] = true;
    g.recompute_all_grids_set_up();
    EXPECT_FALSE(g.all_grids_set_up);
    g.grid_set_up[2] = true;
    g.recompute_all_grids_set_up();
    EXPECT_TRUE(g.all_grids_set_up);

    GridState three;
    three.grids_in_use = 3;
    three.grid_set_up[1] = three.grid_set_up[2] = true;
    three.recompute_all_grids_set_up();
    EXPECT_FALSE(three.all_grids_set_up);
    three.grid_set_up[3] = true;
    three.recompute_all_grids_set_up();
    EXPECT_TRUE(three.all_grids_set_up);

    GridState one;
    one.grid_set_up[1] = true;
    one.recompute_all_grids_set_up();
    EXPECT_TRUE(one.all_grids_set_up);
}

TEST(AllGridsSetUp, RecomputingNeverClearsTheFlag)
{
    GridState g;
    g.grids_in_use = 3;
    g.all_grids_set_up = true;
    g.recompute_all_grids_set_up();
    EXPECT_TRUE(g.all_grids_set_up);
}

TEST(SurveyXDirection, PlusOneOnlyWhenUpperRightIsBelowUpperLeft)
{
    EXPECT_EQ(GridState::surveyXDirection(10, 20), 1);
    EXPECT_EQ(GridState::surveyXDirection(20, 10), -1);
    EXPECT_EQ(GridState::surveyXDirection(10, 10), -1);

    GridState g;
    test::setBuoys(g, test::kTrapezoid);   // both upper buoys at X = 60
    g.recompute_survey_x_direction();
    EXPECT_EQ(g.survey_x_direction, -1);
    g.buoy_survey_x[buoy::UpperLeft] = 61;
    g.recompute_survey_x_direction();
    EXPECT_EQ(g.survey_x_direction, 1);
}

TEST(CompletedGrid, BecomesCurrentAndSetUpWithTrailersTenTwoFive)
{
    GridState g;
    g.grids_in_use = 2;
    g.grid_set_up[1] = true;
    test::setBuoys(g, test::kTrapezoid);
    g.buoy_survey_x[buoy::UpperRight] = 50;   // right of the upper left buoy's 60
    g.mapping_coefficients[2] = 0.01;
    g.storeCompletedGrid(2, QStringLiteral("/grids/north.ipt"), QStringLiteral("North"));

    EXPECT_EQ(g.current_grid, 2);
    EXPECT_TRUE(g.grid_set_up[2]);
    EXPECT_TRUE(g.all_grids_set_up);
    EXPECT_EQ(g.survey_x_direction, 1);
    EXPECT_EQ(g.grid_file_path[2], "/grids/north.ipt");
    EXPECT_EQ(g.grid_description[2], "North");
    const JumpGrid& r = g.grid_table[2];
    EXPECT_EQ(r.c[2], 0.01);
    EXPECT_EQ(r.buoys[buoy::UpperRight].survey_x, 50);
    EXPECT_EQ(r.t1, 10);
    EXPECT_EQ(r.t2, 2);
    EXPECT_EQ(r.t3, 5);
}
