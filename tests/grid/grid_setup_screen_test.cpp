#include "grid/grid_setup_screen.h"

#include "support/station_fixture.h"
#include "grid/grid_file.h"
#include "widgets/picture_canvas.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
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

// A camera on shore: the far buoys look closer together than the near ones.
const Mark kMarks[] = {
    {"upper_left_button", 3000, 1995, "ul_survey_x", "ul_survey_y", "60", "-20"},
    {"upper_right_button", 9000, 1995, "ur_survey_x", "ur_survey_y", "60", "20"},
    {"lower_left_button", 1500, 6990, "ll_survey_x", "ll_survey_y", "30", "-20"},
    {"lower_right_button", 10500, 6990, "lr_survey_x", "lr_survey_y", "30", "20"},
};

struct GridSetupTest : StationFixture {
    GridSetupScreen* screen = nullptr;

    GridSetupScreen* open(int gridsInUse = 1, const QStringList& only = {})
    {
        makeStation(only);
        station->settings().ResultsFilePath = results();
        station->settings().SetupFilesPath = gridFolder();
        station->grids().grids_in_use = gridsInUse;
        QDir().mkpath(gridFolder());
        screen = station->screenAs<GridSetupScreen>("Grid_Setup");
        screen->resize(1400, 900);
        screen->show();
        return screen;
    }
    QString results() const { return tmp.filePath("results.txt"); }
    QString gridFolder() const { return tmp.filePath("grids"); }
    GridState& g() { return station->grids(); }

    QString text(const char* box) { return child<QLineEdit>(screen, box)->text(); }
    void type(const char* box, const QString& t) { child<QLineEdit>(screen, box)->setText(t); }
    void choose(const char* option) { child<QRadioButton>(screen, option)->setChecked(true); }
    void press(const char* button) { child<QPushButton>(screen, button)->click(); }
    void menu(const char* action) { child<QAction>(screen, action)->trigger(); }
    bool shown(const char* name) { return !child<QWidget>(screen, name)->isHidden(); }

    void clickPicture(double x, double y)
    {
        QTest::mouseClick(screen->canvas()->surface(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(int(x / 15), int(y / 15)));
    }
    void placeBuoys()
    {
        for (const Mark& m : kMarks) {
            choose(m.option);
            clickPicture(m.x, m.y);
        }
    }
    void enterSurvey(const char* leaveAtInput = nullptr)
    {
        for (const Mark& m : kMarks) {
            if (!leaveAtInput || QByteArray(m.surveyX) != leaveAtInput)
                type(m.surveyX, m.sx);
            type(m.surveyY, m.sy);
        }
        type("jump_x", "0");
        type("jump_y", "0");
    }
    void completeGrid()
    {
        placeBuoys();
        enterSurvey();
        press("Load");
    }
    QStringList resultLines() { return QString::fromLatin1(readAll(results())).split("\r\n"); }
    // Whether the drawing layer has anything at a twips position.
    bool drawnAt(double x, double y) { return qAlpha(screen->canvas()->drawing().pixel(int(x / 15), int(y / 15))) != 0; }
};

} // namespace

TEST_F(GridSetupTest, ScreenStartsWithItsCaptionsAndNothingComplete)
{
    open();
    EXPECT_EQ(screen->windowTitle(), "Grid Setup");
    EXPECT_EQ(text("upper_left_x"), "auto");
    EXPECT_EQ(text("lr_survey_y"), "input");
    EXPECT_EQ(text("jump_x"), "jump x");
    EXPECT_EQ(text("ipt_file_description"), "No File");
    EXPECT_EQ(child<QPushButton>(screen, "Load")->text(), "Complete");
    EXPECT_EQ(child<QAction>(screen, "gridExit")->text(), "E&xit");
    EXPECT_EQ(child<QScrollBar>(screen, "Setup_Cross_size")->value(), 90);
    EXPECT_DOUBLE_EQ(screen->markerRadius(), 180);
    EXPECT_EQ(child<QLabel>(screen, "grid_state_icon")->property("pictureName").toString(), "msgbox03.ico");
    EXPECT_FALSE(shown("btnAccuracyCheck"));
    EXPECT_FALSE(shown("fmAccuracyDisplay"));
    EXPECT_TRUE(child<QRadioButton>(screen, "optStandardAccuracy")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(screen, "optHomolgationLevel")->isChecked());
    // No picture, no assumed width.
    EXPECT_EQ(screen->pictureWidthTwips(), "");
    EXPECT_EQ(screen->pictureHeightTwips(), "");
}

TEST_F(GridSetupTest, ClickWithoutABuoySelectedChangesNothing)
{
    open();
    clickPicture(3000, 3000);
    EXPECT_EQ(text("upper_left_x"), "auto");
    EXPECT_EQ(g().buoy_screen_x[buoy::UpperLeft], 0);
    EXPECT_FALSE(drawnAt(3000, 3000));
    EXPECT_TRUE(prompter->shown().isEmpty());
}

TEST_F(GridSetupTest, LockedClickMovesAllFourBuoysByTheSameOffset)
{
    open();
    placeBuoys();
    EXPECT_EQ(text("upper_right_x"), " 9000");
    EXPECT_EQ(text("upper_right_y"), " 1995");
    EXPECT_TRUE(drawnAt(9000, 1995 - 45));   // the white cross of the new marker

    child<QCheckBox>(screen, "chkboxGridLock")->setChecked(true);
    EXPECT_TRUE(shown("gridLockedLabel"));
    choose("upper_right_button");
    clickPicture(9300, 1995);
    for (const Mark& m : kMarks) {
        SCOPED_TRACE(m.option);
        const int b = QByteArray(m.option).startsWith("upper_right") ? buoy::UpperRight
                      : QByteArray(m.option).startsWith("lower_right") ? buoy::LowerRight
                      : QByteArray(m.option).startsWith("upper_left")  ? buoy::UpperLeft
                                                                        : buoy::LowerLeft;
        EXPECT_DOUBLE_EQ(g().buoy_screen_x[b], m.x + 300);
        EXPECT_DOUBLE_EQ(g().buoy_screen_y[b], m.y);
    }
    EXPECT_EQ(text("upper_left_x"), " 3300");
    EXPECT_EQ(text("lower_left_x"), " 1800");
    EXPECT_EQ(text("lower_right_x"), " 10800");
    // The old marker is erased, the new one drawn.
    EXPECT_FALSE(drawnAt(3000, 1995 - 45));
    EXPECT_TRUE(drawnAt(3300, 1995 - 45));
    EXPECT_DOUBLE_EQ(screen->clickPoint().x(), 9300);
}

TEST_F(GridSetupTest, LockIsRefusedWhileAnXBoxReadsAuto)
{
    open();
    for (int k = 0; k < 3; ++k) {
        choose(kMarks[k].option);
        clickPicture(kMarks[k].x, kMarks[k].y);
    }
    auto* lock = child<QCheckBox>(screen, "chkboxGridLock");
    lock->setChecked(true);
    EXPECT_FALSE(lock->isChecked());
    EXPECT_FALSE(shown("gridLockedLabel"));
    EXPECT_EQ(prompter->messages(),
              QStringList{"Cannot Lock Grid Until buoy positions have been entered for all four buoys"});
}

TEST_F(GridSetupTest, NudgesMoveOnePixelAtATime)
{
    open();
    placeBuoys();
    choose("lower_left_button");
    for (int i = 0; i < 3; ++i)
        press("AdjustUp");
    EXPECT_EQ(text("lower_left_y"), " 6945");
    EXPECT_DOUBLE_EQ(g().buoy_screen_y[buoy::LowerLeft], 6945);
    EXPECT_DOUBLE_EQ(g().buoy_screen_y[buoy::LowerRight], 6990);
    press("AdjustRight");
    EXPECT_EQ(text("lower_left_x"), " 1515");

    // Locked, a nudge moves every buoy.
    child<QCheckBox>(screen, "chkboxGridLock")->setChecked(true);
    press("AdjustLeft");
    EXPECT_EQ(text("lower_left_x"), " 1500");
    EXPECT_EQ(text("upper_right_x"), " 8985");
}

TEST_F(GridSetupTest, CompleteWithAMissingSurveyValueWarnsAndStillRecords)
{
    open();
    placeBuoys();
    enterSurvey("ll_survey_x");
    press("Load");
    ASSERT_EQ(prompter->shown().size(), 1);
    EXPECT_EQ(prompter->shown()[0].text, "Warning - Not all parameters have been set up on grid");
    EXPECT_EQ(prompter->shown()[0].title, "Error Message");
    EXPECT_EQ(prompter->shown()[0].icon, Icon::Exclamation);
    EXPECT_FALSE(g().grid_set_up[1]);
    EXPECT_FALSE(shown("btnAccuracyCheck"));

    const QStringList lines = resultLines();
    ASSERT_EQ(lines.size(), 20);   // 19 lines and the empty rest after the last CR LF
    EXPECT_EQ(lines[0], "12-06-2026 14:03:22 New Set-up now in place");
    EXPECT_EQ(lines[1], "No File");
    EXPECT_EQ(lines[3], "Grid Number:  1 ");
    EXPECT_EQ(lines[5], "Upper Left X,Y Pixels:  3000   1995");
    EXPECT_EQ(lines[9], "Lower Left X,Y Survey: input  -20");
    EXPECT_EQ(lines[17], "Jump X,Y Survey: 0  0");

    // Filled in, the grid completes and a second record follows.
    type("ll_survey_x", "30");
    press("Load");
    EXPECT_EQ(prompter->shown().size(), 1);
    EXPECT_TRUE(g().grid_set_up[1]);
    EXPECT_TRUE(g().all_grids_set_up);
    EXPECT_EQ(g().grid_table[1].t3, 5);
    EXPECT_EQ(g().grid_table[1].buoys[buoy::LowerLeft].survey_x, 30);
    EXPECT_EQ(child<QLabel>(screen, "grid_state_icon")->property("pictureName").toString(), "face02.ico");
    EXPECT_TRUE(shown("btnAccuracyCheck"));
    EXPECT_TRUE(shown("fmAccuracyDisplay"));
    EXPECT_FALSE(shown("fmAccuracyConfig"));
    EXPECT_EQ(resultLines().size(), 39);

    // Any box edit takes the completion back.
    type("jump_y", "1");
    EXPECT_FALSE(g().all_grids_set_up);
    EXPECT_FALSE(g().grid_set_up[1]);
    EXPECT_EQ(g().jump_survey_y, 1);
    EXPECT_FALSE(shown("btnAccuracyCheck"));
}

TEST_F(GridSetupTest, CompleteReportsNoUniqueSolutionAndResultsFileProblems)
{
    open();
    for (const Mark& m : kMarks) {   // all four buoys on one spot
        choose(m.option);
        clickPicture(0, 0);
    }
    enterSurvey();
    press("Load");
    ASSERT_EQ(prompter->shown().size(), 1);
    EXPECT_EQ(prompter->shown()[0].text, "No Unique Solution - Re-enter data");
    EXPECT_EQ(prompter->shown()[0].title, "Error Message");
    EXPECT_EQ(prompter->shown()[0].icon, Icon::Exclamation);
    EXPECT_FALSE(g().grid_set_up[1]);
    EXPECT_EQ(resultLines().size(), 20);

    prompter->clear();
    station->settings().ResultsFilePath.clear();
    press("Load");
    ASSERT_EQ(prompter->messages().size(), 2);
    EXPECT_TRUE(prompter->messages()[1].startsWith("The set-up record was not written"));

    prompter->clear();
    station->settings().ResultsFilePath = tmp.filePath("no/such/folder/results.txt");
    press("Load");
    ASSERT_EQ(prompter->messages().size(), 2);
    EXPECT_TRUE(prompter->messages()[1].contains(tmp.filePath("no/such/folder/results.txt")));
}

TEST_F(GridSetupTest, GridSelectorCyclesThroughTheGridsInUse)
{
    for (int inUse : {1, 2, 3}) {
        SCOPED_TRACE(inUse);
        open(inUse);
        auto* select = child<QPushButton>(screen, "grid_select");
        QStringList seen;
        for (int i = 0; i < 3; ++i) {
            select->click();
            seen << select->text();
        }
        const QStringList expected = inUse == 1   ? QStringList{"Grid 1", "Grid 1", "Grid 1"}
                                     : inUse == 2 ? QStringList{"Grid 2", "Grid 1", "Grid 2"}
                                                  : QStringList{"Grid 2", "Grid 3", "Grid 1"};
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(GridSetupTest, SwitchingGridsRefillsTheBoxesFromTheStoredRecords)
{
    open(2);
    completeGrid();
    type("ipt_file_description_2", "North camera");
    press("grid_select");
    EXPECT_EQ(g().current_grid, 2);
    EXPECT_EQ(text("upper_left_x"), " 0");
    EXPECT_EQ(text("ipt_file_description"), "No File");
    EXPECT_EQ(child<QLabel>(screen, "grid_state_icon")->property("pictureName").toString(), "msgbox03.ico");
    press("grid_select");
    EXPECT_EQ(g().current_grid, 1);
    EXPECT_EQ(text("upper_left_x"), " 3000");
    EXPECT_EQ(text("lr_survey_y"), " 20");
    EXPECT_EQ(child<QLabel>(screen, "grid_state_icon")->property("pictureName").toString(), "face02.ico");
    EXPECT_TRUE(shown("btnAccuracyCheck"));
    EXPECT_FALSE(g().all_grids_set_up);   // grid 2 is still missing
}

TEST_F(GridSetupTest, LeavingAnIncompleteSetupAsksAndNoStays)
{
    open(2);
    press("grid_select");
    menu("gridExit");
    ASSERT_EQ(prompter->shown().size(), 1);
    EXPECT_EQ(prompter->shown()[0].kind, "yesno");
    EXPECT_EQ(prompter->shown()[0].title, "Grid Setup Error");
    EXPECT_EQ(prompter->shown()[0].text, "Do you want to leave the grid setup with the grid setup not complete?");
    EXPECT_TRUE(screen->isVisible());
    EXPECT_EQ(g().current_grid, 2);
}

TEST_F(GridSetupTest, LeavingACompleteSetupGoesBackWithGridOneAndItsCrosses)
{
    open(2);
    prompter->no();   // the main screen's emergency reset question
    storeSetting("logpath", videos());
    station->start();
    screen->show();
    completeGrid();
    press("grid_select");
    completeGrid();
    ASSERT_TRUE(g().all_grids_set_up);
    prompter->clear();
    menu("gridExit");
    EXPECT_TRUE(prompter->shown().isEmpty());
    EXPECT_FALSE(screen->isVisible());
    EXPECT_TRUE(station->existingScreen("MainForm")->isVisible());
    EXPECT_EQ(g().current_grid, 1);
    EXPECT_TRUE(drawnAt(3000 + 90, 1995));                 // cross arm 100 twips long
    EXPECT_TRUE(drawnAt(2250, (1995 + 6990) / 2.0));       // left line, halfway
}

TEST_F(GridSetupTest, SaveThenLoadRestoresTheGridThroughTheScreen)
{
    open(1);
    prompter->no();
    storeSetting("logpath", videos());
    storeSetting("SetupFiles", gridFolder());
    station->start();
    station->settings().ResultsFilePath = results();   // the configuration's load chose its own
    screen->show();
    completeGrid();
    const GridState completed = g();
    prompter->clear();

    const QString file = gridFolder() + "/north.ipt";
    prompter->file("north.ipt").answer("North camera").yes();
    menu("gridSave");
    ASSERT_EQ(prompter->shown().size(), 3);
    const auto& dialog = prompter->shown()[0];
    EXPECT_EQ(dialog.kind, "save");   // its accept button reads Save
    EXPECT_EQ(dialog.request.filter, "All Files (*.*)|*.*|Text Files (*.TXT)|*.TXT|Parameter Files (*.IPT)|*.IPT|");
    EXPECT_EQ(dialog.request.filterIndex, 3);
    EXPECT_EQ(dialog.request.initialFolder, gridFolder());
    EXPECT_FALSE(dialog.request.mustExist);
    EXPECT_EQ(prompter->shown()[1].title, "Grid Description");
    EXPECT_EQ(prompter->shown()[1].text, "Enter descriptive line about grid");
    EXPECT_EQ(prompter->shown()[2].title, "Current Grid");
    EXPECT_EQ(prompter->shown()[2].text, "Save Grid 1");
    EXPECT_TRUE(readAll(file).startsWith("Initialization Points for file: " + file.toUtf8() + "\r\nNorth camera\r\n"));
    EXPECT_EQ(g().grid_table[1].t3, 1);

    // Spoil the screen, then load the file back.
    type("upper_left_x", "123");
    type("ul_survey_x", "7");
    prompter->clear();
    prompter->file(file);
    QSignalSpy loaded(station.get(), &Station::gridLoaded);
    menu("gridLoad");
    EXPECT_EQ(prompter->unexpected(), 0);
    ASSERT_FALSE(prompter->shown().isEmpty());
    EXPECT_EQ(prompter->shown()[0].kind, "open");   // no grid question with one grid in use
    EXPECT_TRUE(prompter->shown()[0].request.mustExist);
    // The grid check has no picture to measure against and says so.
    ASSERT_EQ(prompter->shown().size(), 2);
    EXPECT_EQ(prompter->shown()[1].kind, "message");
    EXPECT_EQ(prompter->shown()[1].text, "Load the camera's picture to check the grid");
    EXPECT_EQ(text("upper_left_x"), " 3000");
    EXPECT_EQ(text("ul_survey_x"), " 60");
    EXPECT_EQ(text("ipt_file_description"), file);
    EXPECT_EQ(text("ipt_file_description_2"), "North camera");
    for (int b = 1; b <= 4; ++b)
        EXPECT_EQ(g().grid_table[1].buoys[b], completed.grid_table[1].buoys[b]);
    for (int c = 1; c <= 8; ++c)   // the file keeps 15 significant digits
        EXPECT_NEAR(g().mapping_coefficients[c], completed.mapping_coefficients[c],
                    std::abs(completed.mapping_coefficients[c]) * 1e-14);
    EXPECT_TRUE(g().all_grids_set_up);
    EXPECT_EQ(child<QLabel>(screen, "grid_state_icon")->property("pictureName").toString(), "face02.ico");
    EXPECT_EQ(SettingsStore(settingsFile()).get("grid1File"), file);
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0][0].toInt(), 1);
    const QStringList lines = resultLines();
    EXPECT_TRUE(lines.contains("Upper Left X,Y Twips:  3000   1995"));
    ASSERT_GE(lines.size(), 20);
    EXPECT_EQ(lines[lines.size() - 20], "12-06-2026 14:03:22 New Set-up now in place");
}

TEST_F(GridSetupTest, GridQuestionsRepeatUntilAGridInUseIsNamed)
{
    open(3);
    prompter->no().answer("0").answer("4").answer("").answer("2").cancel();
    menu("gridLoad");
    const QStringList asked = prompter->texts();
    EXPECT_EQ(asked.first(), "Load Grid 1");
    EXPECT_EQ(asked.count("What grid are you loading?"), 4);
    EXPECT_EQ(prompter->shown().last().kind, "open");
    EXPECT_EQ(g().current_grid, 2);   // a cancelled dialog keeps the chosen grid
    EXPECT_EQ(prompter->pending(), 0);

    // Cancel at the grid question ends the action before any dialog.
    prompter->clear();
    prompter->no().cancel();
    menu("gridLoad");
    EXPECT_EQ(prompter->shown().last().kind, "input");

    // A missing grid file folder stops before the dialog.
    prompter->clear();
    station->settings().SetupFilesPath = tmp.filePath("missing");
    prompter->yes();
    menu("gridLoad");
    EXPECT_EQ(prompter->messages(), QStringList{"Invalid path, change in configuration screen"});
    EXPECT_EQ(prompter->shown().last().icon, Icon::Exclamation);
}

TEST_F(GridSetupTest, ABrokenGridFileIsReportedAndNotMarkedSetUp)
{
    open();
    QFile f(gridFolder() + "/bad.ipt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Initialization Points for file: x\r\nd\r\n1,2,three,4\r\n");
    f.close();
    prompter->file(f.fileName());
    menu("gridLoad");
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains(f.fileName()));
    EXPECT_FALSE(g().grid_set_up[1]);
    EXPECT_FALSE(QFile::exists(results()));
}

TEST_F(GridSetupTest, ADamagedGridFileIsRefusedAndTheLoadedGridStays)
{
    open();
    completeGrid();
    const QString good = gridFolder() + "/north.ipt";
    prompter->file(good).answer("North").yes();
    menu("gridSave");
    prompter->clear();
    const GridState before = g();
    const QByteArray lines = readAll(good);
    const QString boxBefore = text("upper_left_x");

    QList<QByteArray> comma = lines.split('\n');
    comma[4] = " 3000 , 1995 , 60,5 ,-20 \r";   // buoy 3's survey X with a decimal comma
    QList<QByteArray> zero = lines.split('\n');
    for (int i = 6; i < 14; ++i)
        zero[i] = " 0 \r";
    const struct {
        const char* name;
        QByteArray bytes;
        const char* why;
    } damaged[] = {
        {"comma.ipt", comma.join('\n'), " could not be read: line 5 (buoy 3) holds 5 fields where 4 are expected"},
        {"zero.ipt", zero.join('\n'), " cannot be used: its mapping coefficients are all zero"},
    };
    for (const auto& d : damaged) {
        QFile f(gridFolder() + "/" + d.name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(d.bytes);
        f.close();
        prompter->clear();
        prompter->file(f.fileName());
        menu("gridLoad");
        ASSERT_EQ(prompter->messages().size(), 1) << d.name;
        EXPECT_EQ(prompter->messages()[0], "The grid file " + f.fileName() + d.why);
        EXPECT_EQ(prompter->shown().last().icon, Icon::Exclamation);
    }
    EXPECT_EQ(g().grid_file_path[1], before.grid_file_path[1]);
    EXPECT_EQ(g().grid_table[1], before.grid_table[1]);
    EXPECT_EQ(g().mapping_coefficients, before.mapping_coefficients);
    EXPECT_TRUE(g().grid_set_up[1]);
    EXPECT_EQ(text("upper_left_x"), boxBefore);
    EXPECT_EQ(text("ipt_file_description"), good);
}

TEST_F(GridSetupTest, DrawBuoysDrawsCirclesOrCrossesAfterTheMarkerStyle)
{
    open();
    placeBuoys();
    screen->canvas()->clear();
    child<QScrollBar>(screen, "Setup_Cross_size")->setValue(60);
    station->settings().MarkerStyle = "circle";
    press("show_alignment");
    EXPECT_DOUBLE_EQ(screen->markerRadius(), 120);
    EXPECT_TRUE(drawnAt(3000 + 120, 1995));    // on the circle
    EXPECT_TRUE(drawnAt(3000, 1995));          // centre of the five-point plus
    EXPECT_FALSE(drawnAt(3000 + 60, 1995));    // inside the circle

    station->settings().MarkerStyle = "cross";
    press("show_alignment");
    EXPECT_TRUE(drawnAt(3000 + 45, 1995));
    EXPECT_FALSE(drawnAt(3000 + 120, 1995));
}

TEST_F(GridSetupTest, StandardAccuracyCheckAsksForTheSkierLineAndShowsItsRow)
{
    open();
    completeGrid();
    prompter->clear();
    prompter->answer("8").answer("0").answer("2.5").answer("").answer("3");
    press("btnAccuracyCheck");
    EXPECT_EQ(prompter->texts().count("Pick the line number that best represents where the skier will land"), 5);
    EXPECT_EQ(prompter->shown()[0].title, "Input the skier path line");
    for (int e = 0; e <= 50; ++e) {
        const bool expected = e <= 44 && e % 7 == 2;
        EXPECT_EQ(shown(QStringLiteral("AccuracyIndicator%1").arg(e).toLatin1()), expected) << e;
    }
    EXPECT_FALSE(shown("LineLabel2"));
    EXPECT_FALSE(child<QLabel>(screen, "AccuracyIndicator9")->text().isEmpty());

    // Advanced shows every lattice label at once and asks nothing; the report of the same
    // day goes to the same file.
    prompter->clear();
    choose("optAdvancedAccuracy");
    EXPECT_TRUE(shown("fmAccuracyConfig"));
    choose("optDisplayDistance");
    press("btnAccuracyCheck");
    EXPECT_TRUE(prompter->shown().isEmpty());
    for (int e = 0; e < 49; ++e)
        EXPECT_TRUE(shown(QStringLiteral("AccuracyIndicator%1").arg(e).toLatin1())) << e;
    const QString report = QString::fromLatin1(readAll(station->programFile("acc1206.txt")));
    EXPECT_EQ(report.count("12-06-2026  14:03:22 Accuracy Check\r\n"), 2);
    EXPECT_EQ(report.count("xpix: "), 98);

    // Any box edit hides the indicators again.
    type("jump_x", "0.5");
    EXPECT_FALSE(shown("AccuracyIndicator0"));
}

TEST_F(GridSetupTest, ASelectedFrameBecomesThePictureWithItsTwipsSize)
{
    open();
    screen->hide();
    QImage frame(800, 600, QImage::Format_RGB32);
    frame.fill(Qt::darkBlue);
    ASSERT_TRUE(frame.save(station->programFile("currentcapture.bmp"), "BMP"));
    station->settings().setArrival(Arrival::FrameChosen);
    station->show("Grid_Setup");
    EXPECT_TRUE(screen->canvas()->hasPicture());
    EXPECT_EQ(station->settings().NavigationTag, "");
    EXPECT_EQ(screen->pictureWidthTwips(), "11981.320754717");
    EXPECT_EQ(screen->pictureHeightTwips(), "8985.84905660377");

    // A missing frame file is reported, the tag still cleared.
    screen->hide();
    QFile::remove(station->programFile("currentcapture.bmp"));
    station->settings().setArrival(Arrival::FrameChosen);
    station->show("Grid_Setup");
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains("currentcapture.bmp"));
    EXPECT_EQ(station->settings().NavigationTag, "");
}

TEST_F(GridSetupTest, DraggingTheAdjustmentHandleCarriesTheNudgeButtons)
{
    open();
    auto* handle = child<QLabel>(screen, "AdjustmentLabel");
    auto* up = child<QPushButton>(screen, "AdjustUp");
    const QPoint before = up->mapTo(screen, QPoint(0, 0));
    const QPointF start = handle->mapToGlobal(QPointF(5, 5));
    auto send = [&](QEvent::Type type, QPointF global, Qt::MouseButtons buttons) {
        QMouseEvent e(type, handle->mapFromGlobal(global), global, Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(handle, &e);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(QEvent::MouseMove, start + QPointF(40, 25), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + QPointF(40, 25), Qt::NoButton);
    send(QEvent::MouseMove, start + QPointF(90, 90), Qt::NoButton);
    EXPECT_EQ(up->mapTo(screen, QPoint(0, 0)), before + QPoint(40, 25));
}

TEST_F(GridSetupTest, StoredGridFilesApplyWithoutQuestionsAndFailedSavesAreReported)
{
    open(2);
    completeGrid();
    prompter->clear();
    // A file name in a folder that does not exist cannot be written.
    prompter->file("gone/north.ipt").answer("North").yes();
    menu("gridSave");
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains(gridFolder() + "/gone/north.ipt"));

    // Load lists parameter files by extension: a name without one gets ".ipt"; others keep theirs.
    prompter->file("hand").answer("Hand").yes();
    menu("gridSave");
    EXPECT_TRUE(QFileInfo(gridFolder() + "/hand.ipt").isFile());
    EXPECT_FALSE(QFileInfo(gridFolder() + "/hand").exists());
    EXPECT_EQ(SettingsStore(settingsFile()).get("grid1File"), gridFolder() + "/hand.ipt");
    prompter->file("dot.").answer("Dot").yes();
    menu("gridSave");
    EXPECT_TRUE(QFileInfo(gridFolder() + "/dot.ipt").isFile());
    prompter->file("west.txt").answer("West").yes();
    menu("gridSave");
    EXPECT_TRUE(QFileInfo(gridFolder() + "/west.txt").isFile());
    EXPECT_EQ(prompter->messages().size(), 1);
    prompter->clear();

    const QString file = gridFolder() + "/south.ipt";
    ASSERT_TRUE(saveGridFile(g(), 2, file, "South").ok);
    prompter->clear();
    type("upper_left_x", "1");
    ASSERT_TRUE(screen->applyGridFileToGrid(2, file));
    EXPECT_TRUE(prompter->shown().isEmpty());   // no dialog, no grid check
    EXPECT_EQ(child<QPushButton>(screen, "grid_select")->text(), "Grid 2");
    EXPECT_EQ(text("upper_left_x"), " 3000");
    EXPECT_EQ(text("ipt_file_description_2"), "South");
    EXPECT_TRUE(g().grid_set_up[2]);
    // Grid 1 was edited after its Complete, so it is no longer complete.
    EXPECT_FALSE(g().grid_set_up[1]);
    EXPECT_FALSE(g().all_grids_set_up);
    EXPECT_EQ(SettingsStore(settingsFile()).get("grid2File"), file);
    EXPECT_TRUE(resultLines().contains("Lower Right X,Y Twips:  10500   6990"));

    EXPECT_FALSE(screen->applyGridFileToGrid(3, gridFolder() + "/none.ipt"));
    EXPECT_EQ(prompter->messages().size(), 1);
    EXPECT_FALSE(g().grid_set_up[3]);
}

TEST_F(GridSetupTest, LoadPictureTakesItsSizeFromThePicturesFolder)
{
    open();
    station->settings().PicturesPath = tmp.filePath("missing");
    menu("mnuLoadPicture");
    EXPECT_EQ(prompter->messages(), QStringList{"Invalid path, change in configuration screen"});

    prompter->clear();
    station->settings().PicturesPath = videos();
    QImage pic(96, 48, QImage::Format_RGB32);
    pic.fill(Qt::gray);
    ASSERT_TRUE(pic.save(videos() + "/jump.bmp", "BMP"));
    prompter->file("jump.bmp");
    menu("mnuLoadPicture");
    ASSERT_EQ(prompter->shown().size(), 1);
    EXPECT_EQ(prompter->shown()[0].request.filterIndex, 4);
    EXPECT_EQ(screen->canvas()->picture().size(), QSize(96, 48));
    EXPECT_EQ(screen->pictureWidthTwips(), "1437.7358490566");   // 2540 HiMetric
    menu("mnuClearPicture");
    EXPECT_FALSE(screen->canvas()->hasPicture());
}

TEST_F(GridSetupTest, AStationWithoutTheCalibrationScreenSaysSoAndStays)
{
    open(1, {"Grid_Setup"});
    EXPECT_FALSE(station->canCreate("Calibrate"));
    EXPECT_FALSE(station->canCreate("MainForm"));
    menu("mnuCalibrate");
    EXPECT_EQ(prompter->messages(), QStringList{"The calibration line screen is not available"});
    EXPECT_EQ(prompter->shown().value(0).title, "Calibrate");
    EXPECT_FALSE(station->hasScreen("Calibrate"));
    EXPECT_TRUE(screen->isVisible());
}
