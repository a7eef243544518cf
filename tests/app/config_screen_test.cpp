#include "app/config_screen.h"
#include "common/colours.h"
#include "app/main_screen.h"
#include "measure/skier_name_list.h"
#include "grid/grid_file.h"
#include "grid/grid_geometry.h"
#include "support/grid_test_support.h"
#include "support/controls_inside.h"
#include "support/station_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <QDir>
#include <QFileInfo>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct ConfigScreenTest : StationFixture {
    ConfigScreen* config = nullptr;

    // A start-up with the emergency reset declined and a valid video folder: it ends on
    // the configuration screen.
    ConfigScreen* start()
    {
        if (SettingsStore(settingsFile()).get("logpath").isEmpty())
            storeSetting("logpath", videos());
        prompter->no();
        makeStation().start();
        config = station->screenAs<ConfigScreen>("Config");
        return config;
    }
    QString stored(const QString& key) const { return SettingsStore(settingsFile()).get(key); }
    MainScreen* main() { return station->screenAs<MainScreen>("MainForm"); }
    QWidget* measure() { return station->screen("Measure"); }
    QString results() const { return videos() + "/JumpMeasurementResults120626.txt"; }

    void click(const char* control) { child<QAbstractButton>(config, control)->click(); }
    bool checked(const char* control) { return child<QAbstractButton>(config, control)->isChecked(); }
    QLineEdit* box(const char* name) { return child<QLineEdit>(config, name); }
    void exitConfig() { child<QAction>(config, "mnuExit")->trigger(); }

    QString writeGrid(const QString& name, const QString& description, int n)
    {
        const QString file = path(name);
        // A solved grid: one whose mapping misses its buoys is refused on load.
        GridState g;
        test::setBuoys(g, test::kTrapezoid);
        EXPECT_TRUE(solve_coefficients(g));
        JumpGrid r;
        for (const auto& b : test::kTrapezoid)
            r.buoys[b.index] = {b.u, b.v, b.x, b.y};
        r.c = g.mapping_coefficients;
        EXPECT_TRUE(writeGridFile(file, description, r, n).ok);
        return file;
    }
    QString writeText(const QString& name, const QByteArray& bytes)
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path(name);
    }
    // A station started without a fixed exchange folder, so the operator's choice counts.
    void startWithChosenTxio()
    {
        envTxio = qgetenv("TARVEX_TXIO");
        qunsetenv("TARVEX_TXIO");
        if (SettingsStore(settingsFile()).get("logpath").isEmpty())
            storeSetting("logpath", videos());
        prompter->no();
        StationOptions o;
        o.settingsFile = settingsFile();
        o.programFolder = tmp.filePath("program");
        o.prompter = prompter;
        o.clock = clock;
        o.capture = camera;
        o.screens = builtInScreens();
        station.reset();
        station = std::make_unique<Station>(o);
        station->start();
        config = station->screenAs<ConfigScreen>("Config");
    }
    void TearDown() override
    {
        if (!envTxio.isEmpty())
            qputenv("TARVEX_TXIO", envTxio);
    }
    QByteArray envTxio;

    QColor textColor(const char* control)
    {
        return child<QWidget>(measure(), control)->palette().color(QPalette::WindowText);
    }
};

} // namespace

TEST_F(ConfigScreenTest, FirstRunWithAnEmptyStoreStoresTheDefaultsAndTakesOverFromStartUp)
{
    start();
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->windowTitle(), "Configuration Parameters");
    EXPECT_TRUE(config->isVisible());
    EXPECT_TRUE(main()->isHidden());
    EXPECT_EQ(prompter->messages().last(), "Please Verify all Setup Parameters");
    EXPECT_EQ(prompter->unexpected(), 0);

    const struct { const char* key; const char* value; } defaults[] = {
        {"grids", "1"}, {"tournamentType", "normal"}, {"buoymarker", "circle"}, {"labelcolor", "default"},
        {"PictureSave", "Ask"}, {"VideoSave", "Ask"}, {"WSTIMS", "0"}, {"right2left", "False"},
        {"boxlineoff", "False"}, {"SetupFiles", ""},
    };
    for (const auto& d : defaults)
        EXPECT_EQ(stored(d.key), d.value) << d.key;
    EXPECT_FALSE(SettingsStore(settingsFile()).contains("Loupe"));
    EXPECT_FALSE(SettingsStore(settingsFile()).contains("grid1File"));

    const AppSettings& s = station->settings();
    EXPECT_TRUE(s.PictureSaveMode.isEmpty());   // "Ask" counts from the next start on
    EXPECT_TRUE(s.VideoSaveMode.isEmpty());
    EXPECT_EQ(s.ResultsFilePath, results());
    EXPECT_EQ(box("ResultsPathName")->text(), results());
    EXPECT_EQ(s.PicturesPath, videos());
    EXPECT_EQ(s.PictureExtension, ".bmp");
    EXPECT_EQ(s.MarkerStyle, "circle");
    EXPECT_EQ(s.MessageColorName, "default");
    EXPECT_FALSE(s.BarefootMode || s.SitSkiMode || s.RightToLeft || s.LineControlOff || s.WstimsEnabled);
    EXPECT_EQ(station->grids().grids_in_use, 1);
    EXPECT_FALSE(station->grids().grid_set_up[1]);
    for (const char* on : {"Opt1Grid", "left_to_right_button", "OptCircle", "default_color", "OptPictureAsk",
                           "OptVideoAsk", "line_control_check"})
        EXPECT_TRUE(checked(on)) << on;
    EXPECT_TRUE(child<QLabel>(config, "TXIOLabel")->isHidden());
    EXPECT_TRUE(box("SkierNameFile")->text().isEmpty());
    EXPECT_TRUE(box("TournamentName")->text().isEmpty());
}

TEST_F(ConfigScreenTest, StoredGridsLoadFromThreeDownToOneAndTheCountDecidesTheTrios)
{
    storeSetting("grids", "2");
    storeSetting("SetupFiles", path("grids"));
    const QString north = writeGrid("north.ipt", "North", 1);
    const QString south = writeGrid("south.ipt", "South", 3);
    storeSetting("grid1File", north);
    storeSetting("grid2File", path("missing.ipt"));
    storeSetting("grid3File", south);
    start();

    const GridState& g = station->grids();
    EXPECT_EQ(g.grids_in_use, 2);
    EXPECT_EQ(g.current_grid, 1);
    EXPECT_TRUE(g.grid_set_up[1]);
    EXPECT_FALSE(g.grid_set_up[2]);
    EXPECT_TRUE(g.grid_set_up[3]);
    EXPECT_FALSE(g.all_grids_set_up);
    EXPECT_EQ(station->settings().SetupFilesPath, path("grids"));

    const QByteArray log = readAll(results());
    const qsizetype third = log.indexOf("Grid Number:  3 \r\n"), first = log.indexOf("Grid Number:  1 \r\n");
    ASSERT_GE(third, 0);
    ASSERT_GE(first, 0);
    EXPECT_LT(third, first);
    EXPECT_EQ(log.count("New Set-up now in place"), 2);

    MainScreen* m = main();
    EXPECT_FALSE(child<QLabel>(m, "lblGrid1")->isHidden());
    EXPECT_FALSE(child<QLabel>(m, "lblGrid2")->isHidden());
    EXPECT_TRUE(child<QLabel>(m, "lblGrid3")->isHidden());   // loaded, but not in use
    EXPECT_EQ(child<QLabel>(m, "ImageGrid1")->property("pictureName").toString(), "SmallSmiley.jpg");
    EXPECT_EQ(child<QLabel>(m, "ImageGrid2")->property("pictureName").toString(), "SmallCaution.jpg");
    EXPECT_EQ(m->gridDescription(1), "North");
    EXPECT_EQ(stored("grid1File"), north);
    EXPECT_EQ(prompter->unexpected(), 0);

    // Three grids: trio 3 comes into view with the picture of its loaded grid.
    click("Opt3grid");
    EXPECT_EQ(stored("grids"), "3");
    EXPECT_FALSE(child<QLabel>(m, "lblGrid3")->isHidden());
    EXPECT_EQ(child<QLabel>(m, "ImageGrid3")->property("pictureName").toString(), "SmallSmiley.jpg");
    click("Opt1Grid");
    EXPECT_TRUE(child<QLabel>(m, "lblGrid2")->isHidden());
    EXPECT_EQ(g.grids_in_use, 1);
}

TEST_F(ConfigScreenTest, AnUnreadableGridFileIsReportedAndShowsTheCaution)
{
    storeSetting("grid1File", writeText("broken.ipt", "not a grid\r\n"));
    storeSetting("grids", "two");   // a foreign value counts as one grid
    start();
    EXPECT_FALSE(station->grids().grid_set_up[1]);
    EXPECT_EQ(station->grids().grids_in_use, 1);
    EXPECT_EQ(stored("grids"), "1");
    EXPECT_EQ(child<QLabel>(main(), "ImageGrid1")->property("pictureName").toString(), "SmallCaution.jpg");
    int gridMessages = 0;
    for (const auto& shown : prompter->shown())
        gridMessages += shown.title == "Grid File" && shown.text.contains("broken.ipt");
    EXPECT_EQ(gridMessages, 1);
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(ConfigScreenTest, TournamentTypeBoxesExcludeEachOther)
{
    storeSetting("tournamentType", "sitski");
    start();
    const AppSettings& s = station->settings();
    auto* indicator = child<QLineEdit>(measure(), "barefoot_indicator");
    EXPECT_TRUE(s.SitSkiMode);
    EXPECT_FALSE(s.BarefootMode);
    EXPECT_EQ(indicator->text(), "Sit Ski Jump");
    EXPECT_FALSE(indicator->isHidden());
    EXPECT_EQ(stored("tournamentType"), "sitski");

    click("Barefoot_box");
    EXPECT_FALSE(checked("SitSki_box"));
    EXPECT_TRUE(s.BarefootMode);
    EXPECT_FALSE(s.SitSkiMode);
    EXPECT_EQ(indicator->text(), "Barefoot Jump");
    EXPECT_FALSE(indicator->isHidden());
    EXPECT_EQ(stored("tournamentType"), "barefoot");

    click("Barefoot_box");
    EXPECT_FALSE(s.BarefootMode || s.SitSkiMode);
    EXPECT_TRUE(indicator->isHidden());
    EXPECT_EQ(stored("tournamentType"), "normal");
}

TEST_F(ConfigScreenTest, MessageColoursApplyToTheMeasuringScreenAndSurviveARestart)
{
    start();
    EXPECT_EQ(textColor("M_Reride"), QColor(255, 0, 0));
    // Opt. reride's yellow is its ground; black letters on it stay legible.
    EXPECT_EQ(textColor("O_reride"), QColor(0, 0, 0));
    QWidget* optionalReride = child<QWidget>(measure(), "O_reride");
    EXPECT_EQ(optionalReride->palette().color(optionalReride->backgroundRole()), QColor(255, 255, 0));
    EXPECT_EQ(textColor("FrozenSign"), QColor(255, 255, 255));
    EXPECT_EQ(textColor("Fall"), QColor(0, 0, 0));

    click("yellow_color");
    EXPECT_EQ(station->settings().MessageColor, 65535);
    EXPECT_EQ(textColor("M_Reride"), QColor(255, 255, 0));
    EXPECT_EQ(textColor("minbuoym"), QColor(255, 255, 0));
    EXPECT_EQ(stored("labelcolor"), "default");   // stored only when the screen is left
    exitConfig();
    EXPECT_EQ(stored("labelcolor"), "yellow");

    start();
    EXPECT_TRUE(checked("yellow_color"));
    EXPECT_EQ(station->settings().MessageColor, 65535);
    EXPECT_EQ(station->settings().MessageColorName, "yellow");
    EXPECT_EQ(textColor("Make_comment"), QColor(255, 255, 0));

    EXPECT_EQ(colourFromBgr(255), QColor(255, 0, 0));
    EXPECT_EQ(colourFromBgr(0xFF0000), QColor(0, 0, 255));
}

TEST_F(ConfigScreenTest, OptionsAreStoredAtOnceButSaveModesWaitForTheNextStart)
{
    storeSetting("PictureSave", "Save");
    storeSetting("VideoSave", "sometimes");   // foreign: treated as none stored
    storeSetting("right2left", "True");
    storeSetting("boxlineoff", "True");
    storeSetting("buoymarker", "cross");
    storeSetting("WSTIMS", "1");
    start();
    AppSettings& s = station->settings();
    EXPECT_EQ(s.PictureSaveMode, "Save");
    EXPECT_TRUE(s.VideoSaveMode.isEmpty());
    EXPECT_EQ(stored("VideoSave"), "Ask");
    EXPECT_TRUE(s.RightToLeft);
    EXPECT_TRUE(s.LineControlOff);
    EXPECT_FALSE(checked("line_control_check"));
    EXPECT_EQ(s.MarkerStyle, "cross");
    EXPECT_TRUE(s.WstimsEnabled);
    EXPECT_FALSE(child<QLabel>(config, "TXIOLabel")->isHidden());

    click("OptPictureNoSave");
    EXPECT_EQ(stored("PictureSave"), "NoSave");
    EXPECT_EQ(s.PictureSaveMode, "Save");
    click("left_to_right_button");
    EXPECT_EQ(stored("right2left"), "False");
    click("line_control_check");
    EXPECT_EQ(stored("boxlineoff"), "False");
    click("OptCircle");
    EXPECT_EQ(stored("buoymarker"), "circle");
    click("WSTIMS");
    EXPECT_EQ(stored("WSTIMS"), "0");
    EXPECT_TRUE(child<QLabel>(config, "TXIOLabel")->isHidden());
    box("SetupFilesPathName")->setText(path("grids"));
    EXPECT_EQ(stored("SetupFiles"), path("grids"));
    EXPECT_EQ(s.SetupFilesPath, path("grids"));
}

TEST_F(ConfigScreenTest, LeavingRecordsTheConfigurationAndEndsTheCapturesPathWithASeparator)
{
    start();
    box("TournamentName")->setText("Spring Open");
    box("CapturesPathName")->setText(path("caps"));
    prompter->clear();
    prompter->yes();   // the missing folder is created
    exitConfig();
    EXPECT_EQ(prompter->texts().value(0), "The captures path " + QDir::toNativeSeparators(path("caps")) + " does not exist. Create it?");
    EXPECT_TRUE(QFileInfo(path("caps")).isDir());
    EXPECT_EQ(readAll(results()), "New Configuration: 12-06-2026  14:03:22 Spring Open\r\n");
    EXPECT_EQ(stored("TournamentName"), "Spring Open");
    EXPECT_EQ(station->settings().PicturesPath, path("caps") + "/");
    EXPECT_EQ(box("CapturesPathName")->text(), path("caps") + "/");
    EXPECT_TRUE(config->isHidden());
    EXPECT_TRUE(main()->isVisible());

    // "Configure" brings the same screen back; leaving again appends, and a path that ends
    // with a separator is left alone.
    clock->advance(60);
    child<QPushButton>(main(), "cmdConfigure")->click();
    EXPECT_TRUE(config->isVisible());
    EXPECT_EQ(box("TournamentName")->text(), "Spring Open");
    exitConfig();
    EXPECT_EQ(readAll(results()), "New Configuration: 12-06-2026  14:03:22 Spring Open\r\n"
                                  "New Configuration: 12-06-2026  14:04:22 Spring Open\r\n");
    EXPECT_EQ(station->settings().PicturesPath, path("caps") + "/");

    start();
    EXPECT_EQ(box("TournamentName")->text(), "Spring Open");
    EXPECT_EQ(box("CapturesPathName")->text(), videos());   // not stored: starts anew
}

TEST_F(ConfigScreenTest, ClosingTheWindowFrameLeavesAsExitDoes)
{
    start();
    config->close();
    EXPECT_TRUE(config->isHidden());
    EXPECT_TRUE(main()->isVisible());
    EXPECT_FALSE(station->hasQuit());
    EXPECT_EQ(readAll(results()), "New Configuration: 12-06-2026  14:03:22 \r\n");
    EXPECT_EQ(station->existingScreen("Config"), config);
}

TEST_F(ConfigScreenTest, ResultsFileProblemsAreReportedAndLeavingStillReturnsToTheHub)
{
    start();
    prompter->clear();
    box("ResultsPathName")->setText("");
    EXPECT_EQ(prompter->messages(), QStringList{"Enter valid path and filename for results file"});
    EXPECT_TRUE(station->settings().ResultsFilePath.isEmpty());

    const QString unwritable = path("no such folder/results.txt");
    box("ResultsPathName")->setText(unwritable);
    prompter->clear();
    exitConfig();
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains(QDir::toNativeSeparators(unwritable)));
    EXPECT_TRUE(main()->isVisible());

    // A relative name is taken from the program folder.
    child<QPushButton>(main(), "cmdConfigure")->click();
    box("ResultsPathName")->setText("Default.txt");
    exitConfig();
    EXPECT_EQ(readAll(station->programFile("Default.txt")), "New Configuration: 12-06-2026  14:03:22 \r\n");
}

TEST_F(ConfigScreenTest, AnUnwritableSettingsFileIsReportedOnLeaving)
{
    writeText("blocker", "a file where the settings folder should be");
    StationOptions o;
    o.settingsFile = path("blocker/TX05.ini");
    o.programFolder = tmp.filePath("program");
    o.txioFolder = tmp.filePath("txio");
    o.prompter = prompter;
    o.clock = clock;
    o.capture = camera;
    o.screens = builtInScreens();
    station = std::make_unique<Station>(o);
    prompter->no().answer(videos());
    station->start();
    config = station->screenAs<ConfigScreen>("Config");
    ASSERT_NE(config, nullptr);
    prompter->clear();
    exitConfig();
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains(QDir::toNativeSeparators(path("blocker/TX05.ini"))));
    EXPECT_TRUE(main()->isVisible());
}

TEST_F(ConfigScreenTest, FindButtonsOfferTextFilesAndCancelChangesNothing)
{
    start();
    prompter->cancel();
    click("btnFindResults");
    EXPECT_EQ(box("ResultsPathName")->text(), results());
    ASSERT_EQ(prompter->shown().last().kind, "open");
    const FileRequest r = prompter->shown().last().request;
    EXPECT_EQ(r.filter, "All Files (*.*)|*.*|Text Files (*.TXT)|*.TXT|Parameter Files (*.ipt)|*.ipt|");
    EXPECT_EQ(r.filterIndex, 2);
    EXPECT_EQ(r.initialFolder, station->programFolder());

    prompter->file(path("names.txt"));
    click("btnFindNames");
    EXPECT_EQ(box("SkierNameFile")->text(), path("names.txt"));
    prompter->file(path("tournament.txt"));
    click("btnFindResults");
    EXPECT_EQ(station->settings().ResultsFilePath, path("tournament.txt"));
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(ConfigScreenTest, LeavingLoadsTheSkierNameList)
{
    start();
    auto* list = child<QComboBox>(measure(), "Skier_name");
    list->setEditText("Typed Name");
    box("SkierNameFile")->setText(writeText("names.txt", "Ann Lee,USA\r\nBob Smith\r\n"));
    prompter->clear();
    QStringList announced;
    QObject::connect(config, &ConfigScreen::skierNamesLoaded, [&](const QStringList& n) { announced = n; });
    exitConfig();
    const QStringList names{"Ann Lee", "USA", "Bob Smith"};
    EXPECT_EQ(config->skierNames(), names);
    EXPECT_EQ(announced, names);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(2), "Bob Smith");
    EXPECT_EQ(list->currentText(), "Typed Name");
    EXPECT_TRUE(prompter->messages().isEmpty());

    // A missing file keeps the list; an empty one empties it; both say so.
    const QString notLoaded = "Names not loaded, check file name and path";
    box("SkierNameFile")->setText(path("gone.txt"));
    exitConfig();
    EXPECT_EQ(prompter->messages(), QStringList{notLoaded});
    EXPECT_EQ(config->skierNames(), names);
    EXPECT_EQ(list->count(), 3);

    box("SkierNameFile")->setText(writeText("empty.txt", ""));
    exitConfig();
    EXPECT_EQ(prompter->messages(), (QStringList{notLoaded, notLoaded}));
    EXPECT_TRUE(config->skierNames().isEmpty());
    EXPECT_EQ(list->count(), 0);
}


TEST_F(ConfigScreenTest, TheNameButtonFollowsTheWstimsBox)
{
    start();
    auto* name = child<QWidget>(measure(), "btnGetName");
    exitConfig();
    EXPECT_TRUE(name->isHidden());
    child<QPushButton>(main(), "cmdConfigure")->click();
    click("WSTIMS");
    exitConfig();
    EXPECT_FALSE(name->isHidden());
}

TEST_F(ConfigScreenTest, AMissingMagnifierIsReportedOnce)
{
    storeSetting("Loupe", "1");
    start();
    EXPECT_TRUE(checked("chkLoupe"));
    const QString missing = QDir::toNativeSeparators(config->loupeProgram());
    // The load starts the magnifier once, after the start-up's own messages.
    EXPECT_EQ(prompter->messages().filter(missing).size(), 1);
    EXPECT_TRUE(prompter->messages().last().contains(missing));
    EXPECT_EQ(prompter->shown().last().title, "Screen Loupe");

    prompter->clear();
    click("chkLoupe");   // unticking starts nothing
    EXPECT_EQ(stored("Loupe"), "0");
    EXPECT_TRUE(prompter->messages().isEmpty());
    click("cmdLoupe");   // the restart button tries whatever the box says
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains(missing));
}

TEST_F(ConfigScreenTest, TheExchangeFolderIsTheOperatorsUnlessTheStationFixedIt)
{
    start();
    auto* txio = box("TxioPathName");
    EXPECT_EQ(txio->text(), tmp.filePath("txio"));   // given by the station's options
    EXPECT_TRUE(txio->isReadOnly());

    const QByteArray env = qgetenv("TARVEX_TXIO");
    qunsetenv("TARVEX_TXIO");
    storeSetting("TxioPath", path("exchange"));
    prompter->no();
    StationOptions o;
    o.settingsFile = settingsFile();
    o.programFolder = tmp.filePath("program");
    o.prompter = prompter;
    o.clock = clock;
    o.capture = camera;
    o.screens = builtInScreens();
    station.reset();
    station = std::make_unique<Station>(o);
    station->start();
    config = station->screenAs<ConfigScreen>("Config");
    txio = box("TxioPathName");
    EXPECT_FALSE(txio->isReadOnly());
    EXPECT_EQ(txio->text(), path("exchange"));
    EXPECT_EQ(station->txioFolder(), path("exchange"));
    txio->setText(path("wstims") + "/");
    EXPECT_EQ(station->txioFile("txskier.nam"), path("wstims") + "/txskier.nam");
    EXPECT_EQ(stored("TxioPath"), path("wstims"));
    if (!env.isEmpty())
        qputenv("TARVEX_TXIO", env);
}

TEST_F(ConfigScreenTest, TheTxioChooserSetsTheBoxTheStoreAndTheStation)
{
    storeSetting("TxioPath", path("txio"));
    startWithChosenTxio();
    QDir(tmp.path()).mkpath("share/txio");
    prompter->clear();
    prompter->file(QDir::toNativeSeparators(path("share/txio")));
    click("btnFindTxio");
    EXPECT_EQ(prompter->shown().value(0).kind, "folder");
    EXPECT_EQ(prompter->shown().value(0).request.initialFolder, path("txio"));
    EXPECT_EQ(box("TxioPathName")->text(), path("share/txio"));
    EXPECT_EQ(stored("TxioPath"), path("share/txio"));
    EXPECT_EQ(station->txioFile("txresult.dst"), path("share/txio") + "/txresult.dst");
}

TEST_F(ConfigScreenTest, WstimsRefusesAnExchangeFolderThatTakesNoFile)
{
    storeSetting("TxioPath", settingsFile());   // a file, not a folder
    startWithChosenTxio();
    prompter->clear();
    click("WSTIMS");
    EXPECT_EQ(prompter->messages(), QStringList{"The TXIO directory " + QDir::toNativeSeparators(settingsFile())
                                                + " cannot be used: it is a file, not a folder."});
    EXPECT_FALSE(checked("WSTIMS"));
    EXPECT_EQ(stored("WSTIMS"), "0");

    box("TxioPathName")->setText(path("exchange"));   // missing: created on Yes, the box stays ticked
    prompter->yes();
    click("WSTIMS");
    EXPECT_EQ(stored("WSTIMS"), "1");
    EXPECT_TRUE(QFileInfo(path("exchange")).isDir());
#ifdef Q_OS_LINUX
    box("TxioPathName")->setText("/proc");   // leaving is refused while the ticked folder takes no file
    prompter->clear();
    exitConfig();
    EXPECT_TRUE(prompter->messages().value(0).startsWith("The TXIO directory /proc cannot be used: no file can be created in it ("));
    EXPECT_FALSE(config->isHidden());
#endif
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(ConfigScreenTest, LeavingIsRefusedWhileTheCapturesPathTakesNoFile)
{
    start();
    box("CapturesPathName")->setText(path("gone"));
    prompter->clear();
    prompter->no();
    exitConfig();
    EXPECT_EQ(prompter->texts(), (QStringList{
        "The captures path " + QDir::toNativeSeparators(path("gone")) + " does not exist. Create it?",
        "The captures path " + QDir::toNativeSeparators(path("gone")) + " does not exist."}));
    EXPECT_FALSE(config->isHidden());
#ifdef Q_OS_LINUX
    box("CapturesPathName")->setText("/proc/");
    prompter->clear();
    config->close();
    EXPECT_TRUE(prompter->messages().value(0).startsWith("The captures path /proc cannot be used: no file can be created in it ("));
    EXPECT_FALSE(config->isHidden());
#endif
    EXPECT_TRUE(readAll(results()).isEmpty());
}

TEST_F(ConfigScreenTest, EveryControlIsInsideTheWindowOnA1366By728Area)
{
    start();
    EXPECT_LE(config->frameGeometry().width(), 1366);
    EXPECT_LE(config->frameGeometry().height(), 728);
    EXPECT_EQ(controlsOutside(config), QStringList());
}
