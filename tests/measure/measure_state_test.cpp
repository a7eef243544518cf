#include "measure/measure_state.h"

#include "grid/grid_geometry.h"

#include <gtest/gtest.h>

using namespace tarvex;

namespace {

// One metre per 100 twips, axes as on screen: easy to reason about by hand.
GridState scaleGrid()
{
    GridState g;
    const double u[4] = {9000, 9000, 1000, 1000}, v[4] = {1000, 7000, 1000, 7000};
    for (int b = 1; b <= 4; ++b) {
        g.buoy_screen_x[b] = u[b - 1];
        g.buoy_screen_y[b] = v[b - 1];
        g.buoy_survey_x[b] = u[b - 1] / 100;
        g.buoy_survey_y[b] = v[b - 1] / 100;
    }
    EXPECT_TRUE(solve_coefficients(g));
    return g;
}

} // namespace

TEST(MeasureReadout, ShowsTwipsSurveyAndDistanceTexts)
{
    GridState g = scaleGrid();
    Readout r = liveReadout(g, 3000.7, 4000.2, TournamentType::Standard);
    ASSERT_TRUE(r.mapped);
    EXPECT_EQ(r.xtwips, " 3000");
    EXPECT_EQ(r.ytwips, " 4000");
    EXPECT_EQ(r.xposition, " 30.01");
    EXPECT_EQ(r.yposition, " 40");
    // 50.0055 m + 2.1 m; 52.1055 * 3.28 = 170.9 ft.
    EXPECT_EQ(r.VerifyDistance, " 52.1m  171ft");
    // The read-out leaves the point in the shared query values, as the recording code expects.
    EXPECT_DOUBLE_EQ(g.query_screen_x, 3000.7);

    EXPECT_EQ(liveReadout(g, 3000.7, 4000.2, TournamentType::SitSki).VerifyDistance, " 51.9m  170ft");
    EXPECT_EQ(liveReadout(g, 3000.7, 4000.2, TournamentType::Barefoot).VerifyDistance, " 50m  164ft");
}

TEST(MeasureReadout, PointTheGridCannotMapShowsNoNumber)
{
    GridState g = scaleGrid();
    g.mapping_coefficients[4] = -0.001;   // vanishing line at u = 1000
    const Readout r = liveReadout(g, 1000, 500, TournamentType::Standard);
    EXPECT_FALSE(r.mapped);
    EXPECT_EQ(r.xtwips, " 1000");
    EXPECT_TRUE(r.xposition.isEmpty());
    EXPECT_TRUE(r.yposition.isEmpty());
    EXPECT_TRUE(r.VerifyDistance.isEmpty());
    EXPECT_FALSE(splashFoot(g, {1000, 500}, TournamentType::Standard, false).has_value());
    EXPECT_FALSE(splashFoot(g, {1000, 500}, TournamentType::Barefoot, false).has_value());
}

TEST(MeasureBuoyLabels, FeetAndMetresTexts)
{
    EXPECT_EQ(buoyFeetText(45.12), " 148 feet");
    EXPECT_EQ(buoyMetresText(45.12), " 45.1 meters");
    EXPECT_EQ(buoyMetresText(45.15), " 45.2 meters");
    EXPECT_EQ(buoyFeetText(0), " 0 feet");
}

TEST(MeasureMarker, ArmPointsBackAlongTheJumpDirection)
{
    EXPECT_EQ(horizontalArm({500, 700}, 100, false), QLineF(500, 700, 400, 700));
    EXPECT_EQ(horizontalArm({500, 700}, 100, true), QLineF(500, 700, 600, 700));
    EXPECT_EQ(verticalBar({500.5, 700.25}, 30), QLineF(500.5, 670.25, 500.5, 730.25));
    EXPECT_EQ(splashIndicatorLine({10, 2000}), QLineF(10, 2000, 10, 1000));
}

TEST(MeasureMarker, SplashFootStandsTheAllowanceAlongSurveyX)
{
    GridState g = scaleGrid();
    g.survey_x_direction = 1;
    const QPointF impact(4000, 3000);   // survey (40, 30)
    for (const bool rightToLeft : {false, true}) {
        for (const bool sitSki : {false, true}) {
            const auto foot = splashFoot(g, impact, sitSki ? TournamentType::SitSki : TournamentType::Standard,
                                         rightToLeft);
            ASSERT_TRUE(foot.has_value());
            const double k = sitSki ? 1.9 : 2.1;
            EXPECT_NEAR(foot->x(), (40 + (rightToLeft ? k : -k)) * 100, 1e-6) << rightToLeft << sitSki;
            EXPECT_NEAR(foot->y(), 3000, 1e-6);
        }
    }
    g.survey_x_direction = -1;
    EXPECT_NEAR(splashFoot(g, impact, TournamentType::Standard, true)->x(), 3790, 1e-6);
    // The shared values describe the impact, not the foot.
    EXPECT_DOUBLE_EQ(g.query_screen_x, 4000);
    EXPECT_NEAR(g.mapped_survey_x, 40, 1e-9);
    EXPECT_EQ(*splashFoot(g, impact, TournamentType::Barefoot, true), impact);
}

TEST(MeasureGridChoice, CyclesThroughTheGridsInUse)
{
    auto walk = [](int grids, int clicks) {
        QString caption = gridChoiceCaption(1);
        QStringList seen;
        for (int i = 0; i < clicks; ++i) {
            const GridChoice c = nextGridChoice(caption, grids);
            EXPECT_EQ(c.caption, gridChoiceCaption(c.grid));
            caption = c.caption;
            seen << caption;
        }
        return seen;
    };
    EXPECT_EQ(walk(2, 3), QStringList({"&Grid 2", "&Grid 1", "&Grid 2"}));
    EXPECT_EQ(walk(3, 4), QStringList({"&Grid 2", "&Grid 3", "&Grid 1", "&Grid 2"}));
    // Never onto a grid that is not in use, whatever the caption says.
    EXPECT_EQ(walk(1, 2), QStringList({"&Grid 1", "&Grid 1"}));
    EXPECT_EQ(nextGridChoice("&Grid 3", 2).grid, 1);
    EXPECT_EQ(nextGridChoice("Grid", 3).grid, 1);
}

TEST(MeasureJumpNumber, AdvancesWithTheLeadingBlank)
{
    EXPECT_EQ(nextJumpNumber(" 3"), " 4");
    EXPECT_EQ(nextJumpNumber("1"), " 2");
    EXPECT_EQ(nextJumpNumber("Jump"), " 1");
    EXPECT_EQ(nextJumpNumber(""), " 1");
}

TEST(MeasureClipFlag, OnlyReadyAsFirstFieldCounts)
{
    EXPECT_TRUE(clipFlagReady("Ready\r\n"));
    EXPECT_TRUE(clipFlagReady("  Ready,1\r\n"));
    EXPECT_TRUE(clipFlagReady("\"Ready\"\r\n"));
    EXPECT_FALSE(clipFlagReady(kClipFlagCleared));
    EXPECT_FALSE(clipFlagReady(""));
    EXPECT_FALSE(clipFlagReady("ready\r\n"));
    EXPECT_FALSE(clipFlagReady("Ready2\r\n"));
}

TEST(MeasureProvisional, FiguresAtTheMarkLeaveTheSharedValuesAlone)
{
    GridState g = scaleGrid();
    g.query_screen_x = 7;
    g.mapped_survey_x = 8;
    g.jump_distance = 9;
    // Survey (30, 40): 50 m from the jump point at the origin, a pixel is 15 cm everywhere.
    EXPECT_EQ(provisionalFigures(g, {3000, 4000}, TournamentType::Standard, false),
              "Provisional, not recorded: 52.1m  171ft\nOne picture pixel here: 15.0 cm on the water");
    EXPECT_EQ(provisionalFigures(g, {3000, 4000}, TournamentType::SitSki, true),
              "Provisional, not recorded: 51.9m  170.3ft\nOne picture pixel here: 15.0 cm on the water");
    EXPECT_EQ(provisionalFigures(g, {3000, 4000}, TournamentType::Standard, false, 0.026),
              "Provisional, not recorded: 52.1m  171ft  +/- 3 cm\nOne picture pixel here: 15.0 cm on the water");
    EXPECT_EQ(g.query_screen_x, 7);
    EXPECT_EQ(g.mapped_survey_x, 8);
    EXPECT_EQ(g.jump_distance, 9);
    g.mapping_coefficients[4] = -0.001;   // vanishing line at u = 1000
    EXPECT_EQ(provisionalFigures(g, {1000, 500}, TournamentType::Standard, false), std::nullopt);
}

TEST(MeasureVideoJump, TheVideoNameGivesSkierAndJumpAsTheStationShowsThem)
{
    struct Case {
        const char* path;
        const char* skier;   // nullptr: not a video of the naming rule
        const char* jump;
    } cases[] = {
        {"C:\\caps\\Ann Leejump2.avi", "Ann Lee", " 2"},
        {"/srv/caps/Annjump1.avi", "Ann", "1"},
        {"/srv/caps/Annjump12.avi", "Ann", " 12"},
        // "jump" inside the skier's name and in a folder's name.
        {"/srv/caps/Ann jumpjump3.avi", "Ann jump", " 3"},
        {"/srv/jumps/Bobjump4.avi", "Bob", " 4"},
        {"/srv/caps/Jumperjump5.avi", "Jumper", " 5"},
        // No pass number, a pass that is not a number, too long a pass, no skier.
        {"/srv/caps/Annjump.avi", nullptr, nullptr},
        {"/srv/caps/Annjumpx.avi", nullptr, nullptr},
        {"/srv/caps/Annjump1234.avi", nullptr, nullptr},
        {"/srv/caps/jump2.avi", nullptr, nullptr},
        // Other extensions and other names.
        {"/srv/caps/Annjump2.mp4", nullptr, nullptr},
        {"/srv/caps/Annjump2.AVI", nullptr, nullptr},
        {"/srv/caps/clip.avi", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto v = jumpOfVideo(QString::fromUtf8(c.path));
        if (!c.skier) {
            EXPECT_FALSE(v.has_value());
            continue;
        }
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(v->skier, QString::fromUtf8(c.skier));
        EXPECT_EQ(v->jumpNumber, QString::fromUtf8(c.jump));
    }
}

TEST(MeasureRecordedReadout, ShowsMetresAndFeetOrNothing)
{
    EXPECT_EQ(recordedDistanceReadout(" 54.5m", " 179ft"), "54.5 m   179 ft");
    EXPECT_EQ(recordedDistanceReadout(" 16.2m", " 53.1ft"), "16.2 m   53.1 ft");
    // An other-grid entry as typed.
    EXPECT_EQ(recordedDistanceReadout("45.2m", " 148ft"), "45.2 m   148 ft");
    // The boxes after a mark, and a pass or fall, hold no figure.
    EXPECT_EQ(recordedDistanceReadout("m", "ft"), "");
    EXPECT_EQ(recordedDistanceReadout("", ""), "");
}
