// Takes the README's screenshots: a station on temporary folders with the rehearsal camera,
// the rehearsal grid loaded and the rehearsal jump's contact frame as the picture, each screen
// grabbed into a PNG. Driven by scripts/screenshots.sh, which makes the video, the grid file
// and the frame with tarvex-cli first. Prompts are answered by a script, so nothing waits for
// a person; a screen this build does not have is skipped with a note.
#include "app/config_screen.h"
#include "app/main_screen.h"
#include "app/screen_registry.h"
#include "grid/grid_setup_screen.h"
#include "measure/measure_screen.h"
#include "review/review_screen.h"
#include "station/screen_names.h"
#include "station/settings_keys.h"
#include "station/settings_store.h"
#include "station/station.h"
#include "widgets/frame_view.h"
#include "testkit/fixed_clock.h"
#include "testkit/scripted_prompter.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>
#include <cstdio>

using namespace tarvex;

namespace {

QTextStream& note()
{
    static QTextStream err(stderr);
    return err;
}

// Lets the screen lay itself out and paint before it is grabbed.
void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// size: at least this big once shown (the screen's own size otherwise).
bool grab(QWidget* w, const QString& outDir, const QString& name, QSize size = {})
{
    if (!w) {
        note() << "screenshots: " << name << " skipped: this build has no such screen\n";
        return false;
    }
    w->show();
    w->raise();
    settle();
    if (size.isValid()) {
        w->resize(w->size().expandedTo(size));
        settle();
    }
    const QString file = outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!w->grab().save(file)) {
        note() << "screenshots: cannot write " << file << "\n";
        return false;
    }
    note() << "screenshots: " << file << "\n";
    return true;
}

QJsonObject readTruth(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QCommandLineParser cl;
    cl.setApplicationDescription(QStringLiteral("The README's screenshots of a rehearsal station."));
    cl.addHelpOption();
    const QCommandLineOption work(QStringLiteral("work"), "folder with videos/, grids/, program/, txio/", "DIR");
    const QCommandLineOption video(QStringLiteral("video"), "the rehearsal video (its .truth.json beside it)", "AVI");
    const QCommandLineOption grid(QStringLiteral("grid"), "the rehearsal grid file", "IPT");
    const QCommandLineOption out(QStringLiteral("out"), "where the PNGs go", "DIR");
    cl.addOptions({work, video, grid, out});
    cl.process(app);
    for (const auto& o : {work, video, grid, out})
        if (!cl.isSet(o)) {
            note() << "screenshots: --" << o.names().first() << " is needed\n";
            return 2;
        }
    const QString dir = cl.value(work);
    const QString outDir = cl.value(out);
    const QString videoFile = cl.value(video);
    const QJsonObject truth = readTruth(videoFile.left(videoFile.lastIndexOf('.')) + ".truth.json");
    const QJsonArray contact = truth.value("contactTwips").toArray();
    if (contact.size() != 2) {
        note() << "screenshots: no ground truth beside " << videoFile << "\n";
        return 2;
    }
    QDir().mkpath(outDir);

    // The settings a station has after its first morning: the video folder, one grid and
    // its file, so the start-up loads it.
    const QString settingsFile = dir + "/TX05.ini";
    {
        SettingsStore store(settingsFile);
        store.save(key::logpath, dir + "/videos");
        store.save(key::TournamentName, QStringLiteral("Rehearsal"));
        store.save(key::grids, QStringLiteral("1"));
        store.save(key::gridFile(1), cl.value(grid));
        store.save(key::SetupFiles, QFileInfo(cl.value(grid)).absolutePath());
    }
    auto prompter = std::make_shared<ScriptedPrompter>();
    StationOptions o;
    o.settingsFile = settingsFile;
    o.programFolder = dir + "/program";
    o.txioFolder = dir + "/txio";
    o.prompter = prompter;
    o.clock = std::make_shared<FixedClock>(QDateTime(QDate(2026, 6, 13), QTime(9, 30, 0)));
    o.rehearsal = true;   // the station's own capture component, with the rehearsal camera
    o.screens = builtInScreens();
    Station station{withRealSeams(o)};
    prompter->no();   // the emergency reset
    station.start();

    int taken = 0;
    auto* config = station.screenAs<ConfigScreen>(screen::Config);
    taken += grab(config, outDir, "config");
    if (config)
        config->saveAndExit();
    auto* main = station.screenAs<MainScreen>(screen::MainForm);
    taken += grab(main, outDir, "main");

    // Grid setup with the contact frame (program/currentcapture.bmp) and the grid drawn on it.
    if (main) {
        station.settings().setArrival(Arrival::FrameChosen);
        main->goToGridSetup();
    }
    auto* setup = station.screenAs<GridSetupScreen>(screen::Grid_Setup);
    if (setup) {
        setup->Show_grid();
    }
    // Wide enough for the whole 1280-pixel frame beside the controls.
    taken += grab(setup, outDir, "grid-setup", QSize(1620, 800));
    if (setup)
        setup->hide();

    // Measure: the same frame, the splash clicked where the ground truth has the contact.
    if (main) {
        main->show();
        main->goToMeasure();
    }
    auto* measure = station.screenAs<MeasureScreen>(screen::Measure);
    if (measure && measure->loadPictureFile(station.programFile("currentcapture.bmp"))) {
        measure->pictureMouseDown(contact[0].toDouble(), contact[1].toDouble());
        if (auto* name = measure->findChild<QComboBox*>(QStringLiteral("Skier_name")))
            name->setEditText(QStringLiteral("Ann"));
        measure->recordJump();   // the distance in the read-out, as after "Record Jump"
    }
    taken += grab(measure, outDir, "measure", QSize(1600, 900));
    if (measure)
        measure->hide();

    // Review: the video as a recording hands it over, at the contact frame.
    if (ReviewSession* review = station.reviewSession(true)) {
        review->openRecording({videoFile, truth.value("contactFrame").toInt(), 0, 0});
        QWidget* w = station.show(screen::frmSetStart);
        w->resize(w->size().expandedTo(QSize(1600, 900)));
        // The frame is decoded off the user-interface thread: wait for it to be on screen.
        if (auto* r = qobject_cast<ReviewScreen*>(w)) {
            QElapsedTimer waited;
            waited.start();
            // And for the station's own suggestion, which the screen moves to and marks.
            while ((r->frameView()->shownFrame() < 0 || !r->suggestionSettled() || r->frameView()->busy())
                   && waited.elapsed() < 10000) {
                QApplication::processEvents();
                QThread::msleep(10);
            }
        }
        taken += grab(w, outDir, "review");
        // With TARVEX_SHOOT_SUGGESTION set: the suggested frame used, as the Measure screen then
        // offers the suggested point (not among the README's pictures).
        auto* r = qobject_cast<ReviewScreen*>(w);
        if (r && r->suggestion() && qEnvironmentVariableIsSet("TARVEX_SHOOT_SUGGESTION")) {
            r->useShownFrame();
            if (auto* m = station.screenAs<MeasureScreen>(screen::Measure); m && m->isVisible())
                taken += grab(m, outDir, "measure-suggested", QSize(1600, 900));
        }
    } else {
        note() << "screenshots: review skipped: this build has no review screen yet\n";
    }
    // The capture screen, as "Proceed to Record Jumps" shows it.
    if (station.captureSession(true)) {
        station.settings().setArrival(Arrival::FromMainScreen);
        QWidget* w = station.show(screen::PreviewForm);
        if (auto* capture = station.captureSession())
            capture->setSkierName(QStringLiteral("Ann"));
        // Let the live picture arrive.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 1000) {
            QApplication::processEvents();
            QThread::msleep(10);
        }
        taken += grab(w, outDir, "capture", QSize(1400, 800));
    } else {
        note() << "screenshots: capture skipped: this build has no capture screen yet\n";
    }

    if (prompter->unexpected() > 0)
        note() << "screenshots: prompts on the way: " << prompter->texts().join(" | ") << "\n";
    note() << "screenshots: " << taken << " taken\n";
    station.quit();
    return taken > 0 ? 0 : 1;
}
