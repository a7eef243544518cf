// One tournament morning through the real screens: start, configuration, a grid built on
// the setup screen and saved, a jump marked and recorded, the results window, and a restart
// that brings the grid back from its file.
#include "app/config_screen.h"
#include "app/main_screen.h"
#include "grid/grid_setup_screen.h"
#include "measure/measure_screen.h"
#include "support/station_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct StationRoadTest : StationFixture {
    void startStation()
    {
        prompter->no();   // emergency reset
        makeStation().start();
    }
    template <typename T = QWidget> T* c(QWidget* w, const char* name) { return child<T>(w, name); }
    void type(QWidget* w, const char* box, const QString& text) { c<QLineEdit>(w, box)->setText(text); }
};

} // namespace

TEST_F(StationRoadTest, FromStartToARecordedJumpAndBackAfterARestart)
{
    storeSetting("logpath", videos());
    QDir(tmp.path()).mkpath("grids");
    startStation();
    auto* config = station->screenAs<ConfigScreen>("Config");
    ASSERT_NE(config, nullptr);
    EXPECT_FALSE(config->isHidden());   // start-up hands over to the configuration
    type(config, "SetupFilesPathName", path("grids"));
    c<QCheckBox>(config, "WSTIMS")->click();
    config->saveAndExit();
    auto* main = station->screenAs<MainScreen>("MainForm");
    EXPECT_FALSE(main->isHidden());
    EXPECT_TRUE(config->isHidden());

    // Build grid 1 on the setup screen.
    c<QPushButton>(main, "cmdSetup")->click();
    auto* setup = station->screenAs<GridSetupScreen>("Grid_Setup");
    ASSERT_FALSE(setup->isHidden());
    const struct { const char* option; double u, v; const char* sx; const char* sy; double X, Y; } buoys[] = {
        {"upper_right_button", 9000, 2000, "ur_survey_x", "ur_survey_y", 60, 20},
        {"lower_right_button", 10500, 7000, "lr_survey_x", "lr_survey_y", 30, 20},
        {"upper_left_button", 3000, 2000, "ul_survey_x", "ul_survey_y", 60, -20},
        {"lower_left_button", 1500, 7000, "ll_survey_x", "ll_survey_y", 30, -20},
    };
    for (const auto& b : buoys) {
        c<QRadioButton>(setup, b.option)->click();
        setup->pictureMouseDown(b.u, b.v);
        type(setup, b.sx, QString::number(b.X));
        type(setup, b.sy, QString::number(b.Y));
    }
    type(setup, "jump_x", "0");
    type(setup, "jump_y", "0");
    prompter->clear();
    c<QPushButton>(setup, "Load")->click();
    EXPECT_TRUE(station->grids().all_grids_set_up);
    EXPECT_EQ(prompter->unexpected(), 0);

    prompter->file("north.ipt").answer("North camera").yes();
    setup->saveGridToFile();
    EXPECT_TRUE(QFile::exists(path("grids/north.ipt")));
    EXPECT_EQ(prompter->unexpected(), 0);

    // Measure and record.
    setup->hide();
    main->show();
    c<QPushButton>(main, "ccmdGoToMeasure")->click();
    auto* measure = station->screenAs<MeasureScreen>("Measure");
    ASSERT_FALSE(measure->isHidden());
    c<QComboBox>(measure, "Skier_name")->setEditText("Ann Lee");
    measure->pictureMouseDown(6000, 4500);
    prompter->clear();
    c<QPushButton>(measure, "Record")->click();
    EXPECT_EQ(prompter->unexpected(), 0);
    const QString resultsFile = station->settings().ResultsFilePath;
    EXPECT_EQ(resultsFile, videos() + "/JumpMeasurementResults120626.txt");
    const QByteArray results = readAll(resultsFile);
    EXPECT_TRUE(results.contains("New Set-up now in place"));
    EXPECT_TRUE(results.contains("Ann Lee  jump 1 - ")) << results.constData();
    EXPECT_TRUE(readAll(station->txioFile("txresult.dst")).startsWith("OK, "));

    measure->openResults();
    QWidget* window = station->existingScreen("Results");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(c<QTextEdit>(window, "output_box")->toPlainText().contains("Ann Lee  jump 1 - "));

    // A restart loads grid 1 from its file.
    const JumpGrid saved = station->grids().grid_table[1];
    startStation();
    EXPECT_TRUE(station->grids().grid_set_up[1]);
    EXPECT_TRUE(station->grids().all_grids_set_up);
    for (int b = 1; b <= 4; ++b)
        EXPECT_EQ(station->grids().grid_table[1].buoys[b], saved.buoys[b]);
    EXPECT_TRUE(station->screenAs<MainScreen>("MainForm")->gridStatusLoaded(1));
    EXPECT_EQ(station->screenAs<MainScreen>("MainForm")->gridDescription(1), "North camera");
}
