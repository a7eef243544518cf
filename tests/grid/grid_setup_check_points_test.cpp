// Check points on the grid setup screen: added, named, surveyed and placed through the table
// and the picture, fitted with the buoys, judged by their residuals and carried into the
// accuracy report.
#include "grid/grid_setup_screen.h"

#include "support/station_fixture.h"
#include "widgets/picture_canvas.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct Mark {
    const char* option;
    double x, y;   // twips, whole pixels so a click lands exactly
    const char *surveyX, *surveyY;
    const char *sx, *sy;
};

// The camera of the grid setup tests: far buoys closer together than near ones.
const Mark kMarks[] = {
    {"upper_left_button", 3000, 1995, "ul_survey_x", "ul_survey_y", "60", "-20"},
    {"upper_right_button", 9000, 1995, "ur_survey_x", "ur_survey_y", "60", "20"},
    {"lower_left_button", 1500, 6990, "ll_survey_x", "ll_survey_y", "30", "-20"},
    {"lower_right_button", 10500, 6990, "lr_survey_x", "lr_survey_y", "30", "20"},
};

struct Check {
    double x, y;          // twips
    const char *sx, *sy;  // where the four buoys' exact mapping puts them, to 0.1 mm
};
const Check kChecks[] = {
    {6000, 4500, "41.9568", "0"},
    {7500, 6000, "34.2444", "7.1383"},
    {4500, 3000, "51.7735", "-9.0859"},
    {9000, 5250, "37.8822", "15.0849"},
};

enum Column { Name, SurveyX, SurveyY, PictureX, PictureY, Residual, LeaveOneOut, Note };

struct GridSetupCheckPointTest : StationFixture {
    GridSetupScreen* screen = nullptr;

    void open()
    {
        makeStation();
        station->settings().ResultsFilePath = tmp.filePath("results.txt");
        station->settings().SetupFilesPath = tmp.filePath("grids");
        QDir().mkpath(tmp.filePath("grids"));
        station->grids().grids_in_use = 1;
        screen = station->screenAs<GridSetupScreen>("Grid_Setup");
        screen->resize(1400, 900);
        screen->show();
    }
    GridState& g() { return station->grids(); }
    QTableWidget* table() { return child<QTableWidget>(screen, "checkPointTable"); }
    QString cell(int row, int column) { return table()->item(row, column)->text(); }
    void edit(int row, int column, const QString& text) { table()->item(row, column)->setText(text); }
    void press(const char* button) { child<QPushButton>(screen, button)->click(); }
    QString quality() { return child<QLabel>(screen, "lblGridQuality")->text(); }
    QCheckBox* lens() { return child<QCheckBox>(screen, "chkLensCorrection"); }
    void clickPicture(double x, double y)
    {
        QTest::mouseClick(screen->canvas()->surface(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(int(x / 15), int(y / 15)));
    }
    void setUpBuoys()
    {
        for (const Mark& m : kMarks) {
            child<QRadioButton>(screen, m.option)->setChecked(true);
            clickPicture(m.x, m.y);
            child<QLineEdit>(screen, m.surveyX)->setText(m.sx);
            child<QLineEdit>(screen, m.surveyY)->setText(m.sy);
        }
        child<QLineEdit>(screen, "jump_x")->setText("0");
        child<QLineEdit>(screen, "jump_y")->setText("0");
    }
    // Add Point, type its survey, click it on the picture: as the operator does.
    void addCheck(const Check& c)
    {
        press("btnAddCheckPoint");
        const int row = table()->rowCount() - 1;
        edit(row, SurveyX, c.sx);
        edit(row, SurveyY, c.sy);
        clickPicture(c.x, c.y);
    }
    double centimetresIn(int row, int column) { return cell(row, column).toDouble(); }
};

} // namespace

TEST_F(GridSetupCheckPointTest, TwoPlacedCheckPointsJoinTheFitAndShowTheirResiduals)
{
    open();
    setUpBuoys();
    EXPECT_EQ(quality(), "Complete the grid to see how well its points agree");
    EXPECT_FALSE(lens()->isEnabled());
    EXPECT_FALSE(lens()->toolTip().isEmpty());

    press("btnAddCheckPoint");
    ASSERT_EQ(table()->rowCount(), 1);
    EXPECT_EQ(cell(0, Name), "C1");
    EXPECT_EQ(cell(0, PictureX), "");
    EXPECT_EQ(screen->selectedCheckPoint(), 0);
    // The new row takes the next click: no buoy stays chosen.
    for (const Mark& m : kMarks)
        EXPECT_FALSE(child<QRadioButton>(screen, m.option)->isChecked()) << m.option;
    edit(0, SurveyX, kChecks[0].sx);
    edit(0, SurveyY, kChecks[0].sy);
    clickPicture(kChecks[0].x, kChecks[0].y);
    EXPECT_EQ(cell(0, PictureX), "6000");
    EXPECT_EQ(cell(0, PictureY), "4500");
    EXPECT_EQ(g().check_points[0].survey_x, 41.9568);
    EXPECT_EQ(g().buoy_screen_x[buoy::UpperLeft], 3000);   // the buoy stayed put

    // The arrow-key nudge moves the chosen point a pixel, and back.
    QTest::keyClick(screen->canvas()->surface(), Qt::Key_Right);
    EXPECT_EQ(cell(0, PictureX), "6015");
    QTest::keyClick(screen->canvas()->surface(), Qt::Key_Left);
    EXPECT_EQ(cell(0, PictureX), "6000");

    addCheck(kChecks[1]);
    EXPECT_EQ(cell(1, Name), "C2");
    EXPECT_TRUE(lens()->isEnabled());
    press("Load");
    ASSERT_TRUE(g().grid_set_up[1]);
    ASSERT_TRUE(screen->gridFit().has_value());
    for (int row : {0, 1}) {
        EXPECT_EQ(cell(row, Residual), "0.0") << row;
        EXPECT_EQ(cell(row, LeaveOneOut), "0.0") << row;
        EXPECT_EQ(cell(row, Note), "") << row;
    }
    EXPECT_TRUE(quality().startsWith("RMS 0.0 cm over 6 points - worst ")) << quality().toStdString();

    // Under the cursor: the pixel's size and the distance's uncertainty.
    screen->pictureMouseMove(6000, 4500);
    const QString info = screen->canvas()->infoText();
    EXPECT_TRUE(info.startsWith("One picture pixel here: ")) << info.toStdString();
    EXPECT_TRUE(info.contains(" cm on the water  +/- ")) << info.toStdString();

    // Up to eight check points: the add button gives up at the eighth.
    for (int k = 3; k <= 8; ++k)
        press("btnAddCheckPoint");
    EXPECT_EQ(table()->rowCount(), 8);
    EXPECT_FALSE(child<QPushButton>(screen, "btnAddCheckPoint")->isEnabled());
    EXPECT_EQ(cell(7, Name), "C8");
    // Editing took the grid back out of complete, and its figures with it.
    EXPECT_FALSE(g().grid_set_up[1]);
    EXPECT_EQ(cell(0, Residual), "");

    // Remove takes the chosen row and frees the add button again.
    table()->selectRow(2);
    press("btnRemoveCheckPoint");
    EXPECT_EQ(table()->rowCount(), 7);
    EXPECT_EQ(cell(2, Name), "C4");
    EXPECT_TRUE(child<QPushButton>(screen, "btnAddCheckPoint")->isEnabled());
}

TEST_F(GridSetupCheckPointTest, AMisSurveyedCheckPointIsFlaggedInTheTableAndTheReport)
{
    open();
    station->settings().MarkerStyle = "circle";
    child<QScrollBar>(screen, "Setup_Cross_size")->setValue(90);
    setUpBuoys();
    for (const Check& c : kChecks)
        addCheck(c);
    // Half a metre out in survey X.
    edit(2, SurveyX, "52.2735");
    press("Load");
    ASSERT_TRUE(screen->gridFit().has_value());
    EXPECT_EQ(cell(2, Note), "likely misplaced or mis-surveyed");
    EXPECT_EQ(table()->item(2, Name)->toolTip(), "likely misplaced or mis-surveyed");
    EXPECT_GT(centimetresIn(2, LeaveOneOut), 40.0);
    EXPECT_LT(centimetresIn(2, LeaveOneOut), 60.0);
    EXPECT_TRUE(quality().contains(" - worst C3 ")) << quality().toStdString();
    // Rings 15 pixels out from circle markers of radius 12: red for the flagged point, amber
    // for one between 2 and 5 cm.
    const QImage drawing = screen->canvas()->drawing();
    const QRgb c3 = drawing.pixel(4500 / 15 + 15, 3000 / 15);
    EXPECT_GT(qRed(c3), 200);
    EXPECT_LT(qGreen(c3), 60);
    EXPECT_EQ(cell(1, Residual), "2.4");
    const QRgb c2 = drawing.pixel(7500 / 15 + 15, 6000 / 15);
    EXPECT_GT(qRed(c2), 200);
    EXPECT_GT(qGreen(c2), 150);
    EXPECT_LT(qBlue(c2), 60);

    // The accuracy report keeps its own lines and appends the points and the quality line.
    prompter->answer("4");
    press("btnAccuracyCheck");
    const QStringList report = QString::fromLatin1(readAll(station->programFile("acc1206.txt"))).split("\r\n");
    EXPECT_EQ(report.count("12-06-2026  14:03:22 Accuracy Check"), 1);
    const int table = int(report.indexOf(QRegularExpression("UR  residual .*")));
    ASSERT_GT(table, 49);
    EXPECT_EQ(report[table - 1], " ");
    EXPECT_TRUE(report[table + 1].startsWith("LR  residual "));
    EXPECT_TRUE(report[table + 6].startsWith("C3  residual "));
    EXPECT_TRUE(report[table + 6].endsWith("  likely misplaced or mis-surveyed"));
    // Only the bad point is blamed, though it drags the others' residuals up.
    EXPECT_EQ(report.filter("likely misplaced").size(), 1);
    EXPECT_EQ(report[table + 8], quality());
}

TEST_F(GridSetupCheckPointTest, BadNamesAndFiguresAreRefusedAndAnUnplacedPointStopsComplete)
{
    open();
    setUpBuoys();
    press("btnAddCheckPoint");
    press("btnAddCheckPoint");
    prompter->clear();
    edit(1, Name, "UR");
    edit(1, Name, "c1");
    edit(1, Name, "far 3");
    edit(1, SurveyX, "12,5m");
    ASSERT_EQ(prompter->messages().size(), 4);
    EXPECT_TRUE(prompter->messages()[0].contains("\"UR\" is not one"));
    EXPECT_EQ(prompter->messages()[1], "Another check point is already named c1");
    EXPECT_EQ(prompter->messages()[3], "The survey X of C2 must be a number of metres, not \"12,5m\"");
    EXPECT_EQ(cell(1, Name), "C2");
    EXPECT_EQ(cell(1, SurveyX), "");
    edit(1, Name, "Far-3");
    EXPECT_EQ(g().check_points[1].name, "Far-3");

    // Complete refuses a point without figures or position, naming it, and records nothing.
    prompter->clear();
    edit(0, SurveyX, "40");
    edit(0, SurveyY, "1.5");
    press("Load");
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_EQ(prompter->messages()[0], "Place check point C1 on the picture, or remove it");
    EXPECT_FALSE(g().grid_set_up[1]);
    EXPECT_FALSE(QFile::exists(tmp.filePath("results.txt")));
}

TEST_F(GridSetupCheckPointTest, ASavedGridWithCheckPointsLoadsBackWithItsTableAndQuality)
{
    open();
    setUpBuoys();
    addCheck(kChecks[0]);
    addCheck(kChecks[1]);
    lens()->setChecked(true);
    press("Load");
    ASSERT_TRUE(g().grid_set_up[1]);
    const QString line = quality();
    prompter->file("north.ipt").answer("North").yes();
    child<QAction>(screen, "gridSave")->trigger();
    ASSERT_TRUE(QFile::exists(tmp.filePath("grids/north.ipt.pts")));

    // Spoil the table, then load the file back.
    press("btnAddCheckPoint");
    edit(0, Name, "X1");
    prompter->clear();
    prompter->file(tmp.filePath("grids/north.ipt"));
    child<QAction>(screen, "gridLoad")->trigger();
    EXPECT_EQ(prompter->unexpected(), 0);
    ASSERT_EQ(table()->rowCount(), 2);
    EXPECT_EQ(cell(0, Name), "C1");
    EXPECT_EQ(cell(1, PictureY), "6000");
    EXPECT_EQ(cell(1, Residual), "0.0");
    EXPECT_EQ(quality(), line);
    EXPECT_TRUE(lens()->isChecked());
}

TEST_F(GridSetupCheckPointTest, ALockedGridMovesItsCheckPointsWithTheBuoys)
{
    open();
    setUpBuoys();
    addCheck(kChecks[0]);
    child<QCheckBox>(screen, "chkboxGridLock")->setChecked(true);
    // A buoy clicked 10 pixels right takes the check point along...
    child<QRadioButton>(screen, "upper_left_button")->setChecked(true);
    EXPECT_EQ(screen->selectedCheckPoint(), -1);
    clickPicture(3150, 1995);
    EXPECT_EQ(cell(0, PictureX), "6150");
    EXPECT_EQ(g().buoy_screen_x[buoy::LowerRight], 10650);
    // ...and the check point clicked back takes the buoys.
    table()->selectRow(0);
    clickPicture(6000, 4500);
    EXPECT_EQ(cell(0, PictureX), "6000");
    EXPECT_EQ(g().buoy_screen_x[buoy::UpperLeft], 3000);
    EXPECT_EQ(child<QLineEdit>(screen, "lower_right_x")->text(), " 10500");
}
