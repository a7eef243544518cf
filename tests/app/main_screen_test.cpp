#include "app/main_screen.h"
#include "support/controls_inside.h"
#include "support/station_fixture.h"
#include "grid/grid_setup_screen.h"

#include <QAction>
#include <QRadioButton>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>

#include <QDir>
#include <QFileInfo>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct MainScreenTest : StationFixture {
    // Start-up with the emergency reset declined and a valid stored folder.
    MainScreen* start()
    {
        prompter->no();
        makeStation().start();
        return station->screenAs<MainScreen>("MainForm");
    }
    QString logFile(const QString& mmddyy) const { return videos() + "/JumpMeasurementLog" + mmddyy + ".txt"; }
};

} // namespace

TEST_F(MainScreenTest, TwoStartsOnOneDayShareALogAndTheNextDayStartsANewOne)
{
    storeSetting("logpath", videos());
    start();
    clock->advance(3600);
    start();
    EXPECT_EQ(readAll(logFile("120626")),
              "12-06-2026    14:03:22      Tarvex Measurement Session started  \r\n"
              "12-06-2026    15:03:22      Tarvex Measurement Session started  \r\n");
    EXPECT_EQ(SettingsStore(settingsFile()).get("logfile"), "JumpMeasurementLog120626.txt");

    clock->set(QDateTime(QDate(2026, 12, 7), QTime(8, 0, 1)));
    start();
    EXPECT_EQ(readAll(logFile("120726")), "12-07-2026    08:00:01      Tarvex Measurement Session started  \r\n");
    EXPECT_EQ(station->settings().MeasurementLogName, "JumpMeasurementLog120726.txt");
    EXPECT_EQ(station->settings().CapturesPath, videos());
}

TEST_F(MainScreenTest, StartUpShowsTheVerifyMessageLast)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    ASSERT_NE(m, nullptr);
    ASSERT_FALSE(prompter->messages().isEmpty());
    EXPECT_EQ(prompter->messages().last(), "Please Verify all Setup Parameters");
    EXPECT_EQ(child<QLabel>(m, "lblVideodir")->text(), videos());
    EXPECT_EQ(child<QLineEdit>(m, "EdtFile")->text(), "testvid.avi");
    EXPECT_EQ(m->windowTitle(), "Tarvex 2005");
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(MainScreenTest, AMissingStoredFolderIsAskedForAndATrailingSeparatorIsAccepted)
{
    storeSetting("logpath", path("deleted"));
    prompter->no();
    for (int i = 0; i < 5; ++i)
        prompter->cancel();
    prompter->answer(videos() + "/");
    makeStation().start();

    const QString ask = "No Correct Save Video Directory has been set.  Please put in the path of the Save Video Directory here.";
    int asked = 0, invalid = 0;
    for (const auto& s : prompter->shown()) {
        if (s.kind == "input") {
            ++asked;
            EXPECT_EQ(s.text, ask);
            EXPECT_EQ(s.title, "Input Save Video Files Path");
        }
        if (s.text == "You entered an invalid path - try  again")
            ++invalid;
    }
    EXPECT_EQ(asked, 6);
    EXPECT_EQ(invalid, 5);
    EXPECT_EQ(prompter->unexpected(), 0);
    // The folder prompt stores the text as typed; the mirror never ends with a separator.
    EXPECT_EQ(SettingsStore(settingsFile()).get("logpath"), videos() + "/");
    EXPECT_EQ(station->settings().CapturesPath, videos());
    EXPECT_FALSE(readAll(logFile("120626")).isEmpty());
}

TEST_F(MainScreenTest, AStationThatIsNeverGivenAFolderEndsInsteadOfAskingForever)
{
    prompter->no();   // reset declined; every folder prompt then finds no answer
    makeStation().start();
    EXPECT_TRUE(station->hasQuit());
    EXPECT_GT(prompter->unexpected(), 0);
}

TEST_F(MainScreenTest, FrameRateDecidesTheConfigurationCaption)
{
    storeSetting("logpath", videos());
    camera->addVideoDevice({"Cam A", {"640x480"}, 0, {"RGB24"}, 0, {}, 0, false, 0, 0, 0});
    const struct { const char* rate; const char* caption; } cases[] = {
        {"30", "Currently Configured for R"},
        {"12", "Currently Configured for Normal/C"},
        {"3", "Currently Configured for R"},   // below 5 the initial caption stays
    };
    for (const auto& c : cases) {
        storeSetting("framerate", c.rate);
        MainScreen* m = start();
        EXPECT_EQ(child<QLabel>(m, "lblConfig")->text(), c.caption) << c.rate;
    }
}

TEST_F(MainScreenTest, NoCaptureDeviceIsReportedAndStartUpGoesOn)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    EXPECT_EQ(child<QComboBox>(m, "Combo1")->currentText(), "No Capture Devices");
    EXPECT_TRUE(prompter->messages().contains("No MCI capture devices are installed on this system"));
    EXPECT_EQ(prompter->messages().last(), "Please Verify all Setup Parameters");
}

TEST_F(MainScreenTest, BarefootTimingIsRestoredAndStoredOnClick)
{
    storeSetting("logpath", videos());
    storeSetting("barefoot", "1");
    MainScreen* m = start();
    auto* cb = child<QCheckBox>(m, "cb15");
    EXPECT_TRUE(cb->isChecked());
    EXPECT_TRUE(station->settings().BarefootTiming);
    cb->click();
    EXPECT_EQ(SettingsStore(settingsFile()).get("barefoot"), "0");
    EXPECT_FALSE(station->settings().BarefootTiming);
}

TEST_F(MainScreenTest, ShowAndHideConfigurationMoveTheNavigationFrame)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    auto* b = child<QPushButton>(m, "cmdShowConfig");
    EXPECT_EQ(m->frame1LeftTwips(), 120);
    b->click();
    EXPECT_EQ(b->text(), "Hide Configuration");
    EXPECT_EQ(m->frame1LeftTwips(), 6120);
    EXPECT_FALSE(child<QWidget>(m, "Frame3")->isHidden());
    EXPECT_FALSE(child<QWidget>(m, "StrmOptions")->isHidden());
    EXPECT_FALSE(child<QWidget>(m, "LblStatus")->isHidden());
    b->click();
    EXPECT_EQ(b->text(), "Show Configuration");
    EXPECT_EQ(m->frame1LeftTwips(), 120);
    EXPECT_TRUE(child<QWidget>(m, "Frame3")->isHidden());
}

TEST_F(MainScreenTest, VideoFolderEditsAndChanges)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    auto* box = child<QLineEdit>(m, "txtVideoDir");
    box->setText("C:\\jumps\\\\");
    EXPECT_EQ(SettingsStore(settingsFile()).get("logpath"), "C:\\jumps\\");
    EXPECT_EQ(station->settings().CapturesPath, "C:\\jumps\\");

    prompter->clear();
    prompter->answer(path("nowhere")).no().answer(tmp.path());
    child<QPushButton>(m, "btnChangeDirectory")->click();
    EXPECT_EQ(prompter->texts(), (QStringList{"Please put in the path of the Save Video Directory here.",
                                              "The video folder " + QDir::toNativeSeparators(path("nowhere")) + " does not exist. Create it?",
                                              "The folder you entered does not exist",
                                              "Please put in the path of the Save Video Directory here."}));
    EXPECT_EQ(prompter->shown()[2].title, "Jump Measurement Alert");
    EXPECT_FALSE(QFileInfo::exists(path("nowhere")));
    EXPECT_EQ(box->text(), tmp.path());
    EXPECT_EQ(child<QLabel>(m, "lblVideodir")->text(), tmp.path());

    prompter->clear();
    prompter->cancel();
    child<QPushButton>(m, "btnChangeDirectory")->click();
    EXPECT_EQ(box->text(), tmp.path());
}

TEST_F(MainScreenTest, RecordingNeedsAnExistingFolder)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    child<QLineEdit>(m, "txtVideoDir")->setText(path("gone"));
    prompter->clear();
    child<QPushButton>(m, "cmdGoCapture")->click();
    child<QPushButton>(m, "cmdGoTimer")->click();
    ASSERT_EQ(prompter->shown().size(), 2);
    for (const auto& s : prompter->shown()) {
        EXPECT_EQ(s.title, "Path Error");
        EXPECT_EQ(s.text, "The Log File Folder you specified does not exist. Please change it to a Folder that does exist.");
    }
}

TEST_F(MainScreenTest, PicturesNeedEveryGridSetUp)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    station->grids().grids_in_use = 2;
    station->grids().grid_set_up[1] = true;
    prompter->clear();
    child<QPushButton>(m, "ccmdGoToMeasure")->click();
    ASSERT_FALSE(prompter->messages().isEmpty());
    EXPECT_EQ(prompter->messages().first(),
              "At least one measurement grid that you have specified has not been set up.  All grids specified must be set up correctly before you can use the measurement screen");
}

TEST_F(MainScreenTest, ImportedNamesAreSavedAsPlainText)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    const QString rtf = path("names.rtf");
    {
        QFile f(rtf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Ann,Lee,USA\\par Bob,Ray,CAN\\par}");
    }
    prompter->file(rtf);
    child<QPushButton>(m, "cmdImport")->click();
    const QByteArray saved = readAll(station->programFile("SkierNames.txt"));
    EXPECT_TRUE(saved.startsWith("Ann,Lee,USA\r\nBob,Ray,CAN")) << saved.constData();
    EXPECT_EQ(m->property("importedSkierName").toString(), "Ann Lee USA");

    const QString plain = path("names.txt");
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Lee,Ann,USA\nRay,Bob,CAN\n");
    }
    prompter->file(plain);
    child<QPushButton>(m, "cmdImport")->click();
    EXPECT_EQ(readAll(station->programFile("SkierNames.txt")), "Lee,Ann,USA\r\nRay,Bob,CAN\r\n");

    prompter->cancel();   // a cancelled dialog leaves the earlier import alone
    child<QPushButton>(m, "cmdImport")->click();
    EXPECT_EQ(readAll(station->programFile("SkierNames.txt")), "Lee,Ann,USA\r\nRay,Bob,CAN\r\n");
}

TEST_F(MainScreenTest, ADamagedRtfImportAsksAndNoKeepsTheNamesInUse)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    const QString kept = "Lee,Ann,USA\r\n";
    {
        QFile f(station->programFile("SkierNames.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kept.toLatin1());
    }
    const QString rtf = path("names.rtf");
    {
        QFile f(rtf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{\\rtf1\\ansi Ann,Lee,USA\\par Bob,Ray");   // cut off before its closing brace
    }
    prompter->clear();
    prompter->file(rtf).no();
    child<QPushButton>(m, "cmdImport")->click();
    ASSERT_EQ(prompter->shown().size(), 2);
    EXPECT_EQ(prompter->shown()[1].kind, "yesno");
    EXPECT_TRUE(prompter->shown()[1].text.contains("Only its first 2 line(s) could be read"))
        << prompter->shown()[1].text.toStdString();
    EXPECT_EQ(readAll(station->programFile("SkierNames.txt")), kept.toLatin1());

    prompter->file(rtf).yes();
    child<QPushButton>(m, "cmdImport")->click();
    EXPECT_TRUE(readAll(station->programFile("SkierNames.txt")).startsWith("Ann,Lee,USA\r\nBob,Ray"));
}

TEST_F(MainScreenTest, ManualLoadsOnceAndDoneReturnsToTheHub)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    m->viewManual();
    QWidget* manual = station->existingScreen("frmManual");
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(manual->windowTitle(), "Tarvex 2005 Manual");
    EXPECT_TRUE(m->isHidden());
    child<QPushButton>(manual, "cmdDone")->click();
    EXPECT_FALSE(m->isHidden());
    EXPECT_TRUE(manual->isHidden());
    m->viewManual();
    EXPECT_EQ(station->existingScreen("frmManual"), manual);
}

TEST_F(MainScreenTest, ExitEndsTheProgram)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    m->exitStation();
    EXPECT_TRUE(station->hasQuit());
}

TEST_F(MainScreenTest, GridTriosShowTheBuiltInPictures)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    auto* img = child<QLabel>(m, "ImageGrid1");
    EXPECT_FALSE(img->pixmap().isNull());
    EXPECT_EQ(img->property("pictureName").toString(), "SmallCaution.jpg");
    m->setGridStatus(2, true, true);
    EXPECT_EQ(child<QLabel>(m, "ImageGrid2")->property("pictureName").toString(), "SmallSmiley.jpg");
    EXPECT_FALSE(child<QLabel>(m, "ImageGrid2")->pixmap().isNull());
    EXPECT_TRUE(child<QLabel>(m, "lblGrid3")->isHidden());
    EXPECT_EQ(child<QLabel>(m, "lblGrid3")->text(), "Grid3");
}

TEST_F(MainScreenTest, AGridLoadedAnywhereShowsItsSmileyAndDescription)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    station->grids().grid_description[2] = "South camera";
    emit station->gridLoaded(2);
    EXPECT_TRUE(m->gridStatusLoaded(2));
    EXPECT_EQ(m->gridDescription(2), "South camera");
    EXPECT_EQ(child<QLabel>(m, "ImageGrid2")->property("pictureName").toString(), "SmallSmiley.jpg");
    EXPECT_FALSE(m->gridStatusLoaded(1));
}

TEST_F(MainScreenTest, ABrokenManualGivesAMessageAndAnEmptyViewer)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    {
        QFile f(station->programFile("TX05Manual.rtf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a rich-text document");
    }
    prompter->clear();
    m->viewManual();
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains("is not a readable rich-text document"));
    QWidget* manual = station->existingScreen("frmManual");
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(child<QTextBrowser>(manual, "RichTextBox1")->toPlainText().isEmpty());
}

TEST_F(MainScreenTest, GridTrioFollowsCompleteEditSaveAndLoad)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    QDir(tmp.path()).mkpath("grids");
    station->settings().SetupFilesPath = path("grids");
    station->settings().ResultsFilePath = path("results.txt");
    auto* setup = station->screenAs<GridSetupScreen>("Grid_Setup");
    auto picture = [&] { return child<QLabel>(m, "ImageGrid1")->property("pictureName").toString(); };
    auto type = [&](const char* box, const QString& t) { child<QLineEdit>(setup, box)->setText(t); };
    ASSERT_EQ(picture(), "SmallCaution.jpg");

    const struct { const char* option; double x, y; const char *sx, *sy, *vx, *vy; } buoys[] = {
        {"upper_left_button", 3000, 1995, "ul_survey_x", "ul_survey_y", "60", "-20"},
        {"upper_right_button", 9000, 1995, "ur_survey_x", "ur_survey_y", "60", "20"},
        {"lower_left_button", 1500, 6990, "ll_survey_x", "ll_survey_y", "30", "-20"},
        {"lower_right_button", 10500, 6990, "lr_survey_x", "lr_survey_y", "30", "20"},
    };
    for (const auto& b : buoys) {
        child<QRadioButton>(setup, b.option)->setChecked(true);
        setup->pictureMouseDown(b.x, b.y);
        type(b.sx, b.vx);
        type(b.sy, b.vy);
    }
    type("jump_x", "0");
    type("jump_y", "0");
    type("ipt_file_description_2", "North camera");
    child<QPushButton>(setup, "Load")->click();
    EXPECT_EQ(picture(), "SmallSmiley.jpg");
    EXPECT_EQ(m->gridDescription(1), "North camera");

    type("jump_y", "1");
    EXPECT_EQ(picture(), "SmallCaution.jpg");
    child<QPushButton>(setup, "Load")->click();
    EXPECT_EQ(picture(), "SmallSmiley.jpg");

    prompter->clear();
    prompter->file(path("grids/north.ipt")).answer("North camera, 2 m up").yes();
    child<QAction>(setup, "gridSave")->trigger();
    EXPECT_EQ(prompter->unexpected(), 0);
    EXPECT_EQ(m->gridDescription(1), "North camera, 2 m up");
    EXPECT_EQ(picture(), "SmallSmiley.jpg");

    type("upper_left_x", "123");
    EXPECT_EQ(picture(), "SmallCaution.jpg");
    prompter->clear();
    prompter->file(path("grids/north.ipt"));
    child<QAction>(setup, "gridLoad")->trigger();
    EXPECT_EQ(picture(), "SmallSmiley.jpg");
    EXPECT_EQ(m->gridDescription(1), "North camera, 2 m up");
}

// Root may write into a chmod-ed folder; nobody creates a file in /proc.
#ifdef Q_OS_LINUX
TEST_F(MainScreenTest, StartUpRefusesAVideoFolderThatTakesNoFileAndCreatesAMissingOne)
{
    storeSetting("logpath", "/proc");
    prompter->no();
    prompter->answer("/proc").answer(path("lake/videos")).yes();
    makeStation().start();
    // The device panel speaks first; what follows is the folder's part of the start-up. The
    // system's own words for why /proc takes no file are left out.
    const QString refused = "The video folder /proc cannot be used: no file can be created in it (";
    QStringList texts;
    for (const auto& shown : prompter->shown())
        if (shown.title == "Input Save Video Files Path")
            texts << (shown.text.startsWith(refused) ? refused : shown.text);
    const QString ask = "No Correct Save Video Directory has been set.  Please put in the path of the Save Video Directory here.";
    EXPECT_EQ(texts, (QStringList{refused, ask, refused, ask,
                                  "The video folder " + QDir::toNativeSeparators(path("lake/videos")) + " does not exist. Create it?"}));
    EXPECT_EQ(station->settings().CapturesPath, path("lake/videos"));
    EXPECT_FALSE(readAll(path("lake/videos") + "/JumpMeasurementLog120626.txt").isEmpty());
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(MainScreenTest, ChangeVideoFileDirectoryRefusesAFolderThatTakesNoFile)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    prompter->clear();
    prompter->answer("/proc").answer(settingsFile()).answer(path("new")).yes();
    child<QPushButton>(m, "btnChangeDirectory")->click();
    ASSERT_EQ(prompter->messages().size(), 2);
    EXPECT_TRUE(prompter->messages()[0].startsWith("The video folder /proc cannot be used: no file can be created in it ("));
    EXPECT_EQ(prompter->messages()[1], "The video folder " + QDir::toNativeSeparators(settingsFile()) + " cannot be used: it is a file, not a folder.");
    EXPECT_EQ(child<QLineEdit>(m, "txtVideoDir")->text(), path("new"));
    EXPECT_TRUE(QFileInfo(path("new")).isDir());
}
#endif

TEST_F(MainScreenTest, TheCaptureScreenOpensBesideTheHubOnlyWhereBothFit)
{
    const QRect hub(0, 0, 446, 620);
    // 1366x768 less a 40-pixel panel: side by side would put half the capture screen off it.
    EXPECT_EQ(MainScreen::capturePlace(hub, QSize(1006, 640), QRect(0, 0, 1366, 728)), QPoint(180, 44));
    EXPECT_EQ(MainScreen::capturePlace(hub, QSize(1006, 640), QRect(0, 0, 1920, 1040)), QPoint(446, 0));
    EXPECT_EQ(MainScreen::capturePlace(hub, QSize(1500, 800), QRect(0, 28, 1366, 700)), QPoint(0, 28));
}

TEST_F(MainScreenTest, TheHubFitsA1366By728AreaWithItsCapturePanelsShownOrNot)
{
    storeSetting("logpath", videos());
    MainScreen* m = start();
    for (int shown = 0; shown < 2; ++shown) {
        EXPECT_LE(m->height(), 728);
        EXPECT_LE(m->width(), 1366);
        EXPECT_EQ(controlsOutside(m), QStringList()) << shown;
        child<QPushButton>(m, "cmdShowConfig")->click();
    }
}
