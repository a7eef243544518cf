// The road of one jump through the real screens, on the station's own capture component with
// the rehearsal camera: configuration, the rehearsal grid loaded from the file tarvex-cli
// writes, a recording with Contact pressed, the review screen stepped to the ground truth's
// contact frame, the Measure screen marked at the truth's contact point, Record, and the log
// viewer taking the operator back to the video.
#include "app/config_screen.h"
#include "app/main_screen.h"
#include "app/screen_registry.h"
#include "capture/capture_backend.h"
#include "capture/capture_device_panel.h"
#include "capture/ffmpeg_capture_component.h"
#include "capture/capture_screen.h"
#include "capture/rehearsal_camera.h"
#include "cli/cli.h"
#include "grid/grid_setup_screen.h"
#include "logview/log_view.h"
#include "measure/measure_screen.h"
#include "review/review_screen.h"
#include "station/station.h"
#include "support/widget_lookup.h"
#include "testkit/fixed_clock.h"
#include "testkit/scripted_prompter.h"
#include "widgets/frame_view.h"
#include "widgets/picture_canvas.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include "support/rehearsal_capture.h"
#include <gtest/gtest.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QByteArray readAll(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject readJson(const QString& file) { return QJsonDocument::fromJson(readAll(file)).object(); }

} // namespace

TEST(JumpRoad, FromTheCameraToARecordedDistanceAndBackThroughTheLog)
{
    QTemporaryDir tmp;
    for (const char* d : {"videos", "grids", "program", "txio", "truth"})
        QDir(tmp.path()).mkpath(d);
    const QString videos = tmp.filePath("videos");
    const QString gridFile = tmp.filePath("grids/rehearsal.ipt");
    const QString settings = tmp.filePath("TX05.ini");
    SettingsStore(settings).save("logpath", videos);
    SettingsStore(settings).save("captureTime", "3");
    SettingsStore(settings).save("VideoSave", "Save");

    // The rehearsal camera's grid, as the README has it built before the first recording.
    QString truthFile = tmp.filePath("truth/layout.truth.json");
    QString why;
    ASSERT_TRUE(writeGroundTruth(truthFile, groundTruth(RehearsalLayout::forSize({1280, 720}), {}, 30), why));
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    ASSERT_EQ(runCli({"rehearsal-grid", truthFile, "--out", gridFile}, out, err), 0) << errText.toStdString();

    auto prompter = std::make_shared<ScriptedPrompter>();
    const StationOptions o = test::rehearsalStation(tmp.path(), settings, prompter, builtInScreens());
    Station station(o);
    prompter->no();   // emergency reset
    station.start();

    // Configuration, then the grid from its file.
    auto* config = station.screenAs<ConfigScreen>("Config");
    ASSERT_NE(config, nullptr);
    child<QLineEdit>(config, "SetupFilesPathName")->setText(tmp.filePath("grids"));
    config->saveAndExit();
    auto* main = station.screenAs<MainScreen>("MainForm");
    child<QPushButton>(main, "cmdSetup")->click();
    auto* setup = station.screenAs<GridSetupScreen>("Grid_Setup");
    prompter->clear();
    prompter->file(gridFile);
    setup->loadGridFromFile();
    ASSERT_TRUE(station.grids().all_grids_set_up) << prompter->texts().join("|").toStdString();
    setup->hide();
    main->show();

    // A 3-second recording with Contact pressed at the splash.
    child<QLineEdit>(main->devicePanel(), "EdtRate")->setText("30");
    child<QPushButton>(main, "cmdGoCapture")->click();
    auto* cap = station.screenAs<CaptureScreen>("PreviewForm");
    ASSERT_TRUE(cap && cap->isVisible());
    cap->setSkierName("Ann");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cap->livePicture().isNull(); }, 3000));
    prompter->clear();
    child<QPushButton>(cap, "cmdStartCapture")->click();
    ASSERT_TRUE(cap->recording()) << prompter->texts().join("|").toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cap->recording()
                                             && station.capture().statistics().framesCaptured >= 28; }, 3000));
    child<QPushButton>(cap, "cmdStartTimer")->click();
    const int hint = station.settings().ContactFrameHint;
    EXPECT_GE(hint, 28);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cap->recording(); }, 6000));

    // The review screen opens the new video at the hint; step to the truth's contact frame.
    const QString video = videos + "/Annjump1.avi";
    const QJsonObject truth = readJson(videos + "/Annjump1.truth.json");
    ASSERT_EQ(truth.value("contactFrame").toInt(), 30);
    auto* review = station.screenAs<ReviewScreen>("frmSetStart");
    ASSERT_TRUE(review && review->isVisible());
    FrameView* view = review->frameView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->shownFrame() == hint; }, 3000));
    while (view->shownFrame() != 30) {
        const int before = view->shownFrame();
        const int step = before > 30 ? -1 : 1;
        QTest::keyClick(view->canvas(), step < 0 ? Qt::Key_Left : Qt::Key_Right);
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->shownFrame() == before + step; }, 3000));
    }
    child<QPushButton>(review, "cmdMarkStart")->click();

    // The Measure screen on that frame, marked at the truth's contact point.
    auto* measure = station.screenAs<MeasureScreen>("Measure");
    ASSERT_TRUE(measure && measure->isVisible()) << prompter->texts().join("|").toStdString();
    EXPECT_EQ(measure->canvas()->picture().size(), QSize(1280, 720));
    child<QComboBox>(measure, "Skier_name")->setEditText("Ann");
    const QJsonArray contact = truth.value("contactTwips").toArray();
    measure->pictureMouseDown(contact[0].toDouble(), contact[1].toDouble());
    prompter->clear();
    child<QPushButton>(measure, "Record")->click();
    EXPECT_EQ(prompter->unexpected(), 0) << prompter->texts().join("|").toStdString();

    // Contact at (52.4, 1.6) m from the jump at (0, 0) plus the 2.1 m ramp allowance: 54.5244 m.
    const QByteArray results = readAll(station.settings().ResultsFilePath);
    EXPECT_TRUE(results.contains("Ann  jump 1 -  54.5m")) << results.constData();
    const auto exact = QRegularExpression(R"(\( *(\d+\.\d+)\)\r?$)", QRegularExpression::MultilineOption)
                           .match(QString::fromUtf8(results));
    ASSERT_TRUE(exact.hasMatch()) << results.constData();
    EXPECT_NEAR(exact.captured(1).toDouble(), 54.5244, 0.01);
    const QByteArray log = readAll(videos + "/JumpMeasurementLog120626.txt");
    EXPECT_TRUE(log.contains("Contact Frame: 30")) << log.constData();
    EXPECT_TRUE(log.contains(("File: " + video).toUtf8()));
    EXPECT_EQ(readAll(video + ".info"), (video + ",30\r\n").toUtf8());
    EXPECT_TRUE(QFile::exists(video));   // "Save" keeps it

    // The log viewer reopens the video on the review screen, which says it was measured.
    measure->hide();
    main->show();
    prompter->clear();
    auto* logView = qobject_cast<LogView*>(station.openLogView(main));
    ASSERT_NE(logView, nullptr);
    ASSERT_EQ(logView->list()->count(), 1);
    logView->viewLine(logView->list()->item(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return review->isVisible() && !prompter->shown().isEmpty(); }, 3000));
    EXPECT_EQ(prompter->texts(), QStringList{"File already measured - contact frame is 30"});
    EXPECT_EQ(review->videoPath(), video);
}
