#include "grid/setup_record.h"
#include "support/grid_test_support.h"

#include <gtest/gtest.h>

using namespace tarvex;

TEST(SetupRecord, BoxTextsOfTheWorkingStateHaveALeadingBlank)
{
    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    g.jump_survey_x = -0.5;
    g.jump_survey_y = 0.25;
    const SetupBoxTexts t = SetupBoxTexts::fromWorkingState(g);
    EXPECT_EQ(t.upper_right_x, " 9000");
    EXPECT_EQ(t.lower_left_y, " 7000");
    EXPECT_EQ(t.ul_survey_y, "-20");
    EXPECT_EQ(t.lr_survey_x, " 30");
    EXPECT_EQ(t.jump_x, "-.5");
    EXPECT_EQ(t.jump_y, " .25");
}

TEST(SetupRecord, NineteenLinesWithPixelsOrTwipsLabels)
{
    SetupBoxTexts t;
    t.upper_left_x = " 3000";
    t.upper_left_y = " 2000";
    t.ul_survey_x = " 60";
    t.ul_survey_y = "-20";
    t.lower_left_x = "auto";
    t.lower_left_y = "auto";
    t.ll_survey_x = "input";
    t.ll_survey_y = "input";
    t.upper_right_x = " 9000";
    t.upper_right_y = " 2000";
    t.ur_survey_x = " 60";
    t.ur_survey_y = " 20";
    t.lower_right_x = " 10500";
    t.lower_right_y = " 7000";
    t.lr_survey_x = " 30";
    t.lr_survey_y = " 20";
    t.jump_x = "jump x";
    t.jump_y = "jump y";
    const QStringList lines = setupRecordLines(QDateTime(QDate(2026, 6, 14), QTime(14, 30, 0)), "No File",
                                               "North", 1, t, "Twips");
    EXPECT_EQ(lines, (QStringList{
                         "06-14-2026 14:30:00 New Set-up now in place",
                         "No File",
                         "North",
                         "Grid Number:  1 ",
                         " ",
                         "Upper Left X,Y Twips:  3000   2000",
                         "Upper Left X,Y Survey:  60  -20",
                         " ",
                         "Lower Left X,Y Twips: auto  auto",
                         "Lower Left X,Y Survey: input  input",
                         " ",
                         "Upper Right X,Y Twips:  9000   2000",
                         "Upper Right X,Y Survey:  60   20",
                         " ",
                         "Lower Right X,Y Twips:  10500   7000",
                         "Lower Right X,Y Survey:  30   20",
                         " ",
                         "Jump X,Y Survey: jump x  jump y",
                         " ",
                     }));
    EXPECT_EQ(setupRecordBuoyLines(t, "Pixels").first(), "Upper Left X,Y Pixels:  3000   2000");
}
