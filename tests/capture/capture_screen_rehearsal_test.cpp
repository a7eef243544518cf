// The capture screen on the station's own component with the rehearsal camera: the real
// countdown ends a real recording, and the live picture reaches the screen.
#include "app/main_screen.h"
#include "app/screen_registry.h"
#include "capture/capture_backend.h"
#include "capture/capture_device_panel.h"
#include "capture/ffmpeg_capture_component.h"
#include "capture/capture_screen.h"
#include "station/station.h"
#include "support/widget_lookup.h"
#include "testkit/fixed_clock.h"
#include "testkit/scripted_prompter.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include "support/rehearsal_capture.h"
#include <gtest/gtest.h>

using namespace tarvex;
using namespace tarvex::test;

TEST(CaptureScreenRehearsal, TheCountdownEndsARealRecordingOfItsLength)
{
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("videos");
    const QString videos = tmp.filePath("videos");
    SettingsStore(tmp.filePath("TX05.ini")).save("logpath", videos);
    SettingsStore(tmp.filePath("TX05.ini")).save("captureTime", "3");

    auto prompter = std::make_shared<ScriptedPrompter>();
    prompter->no();   // emergency reset
    const StationOptions o = test::rehearsalStation(tmp.path(), tmp.filePath("TX05.ini"), prompter, builtInScreens());
    Station station(o);
    station.start();

    auto* main = station.screenAs<MainScreen>("MainForm");
    auto* cap = station.screenAs<CaptureScreen>("PreviewForm");
    ASSERT_NE(cap, nullptr);
    child<QLineEdit>(main->devicePanel(), "EdtRate")->setText("30");
    main->show();
    child<QPushButton>(main, "cmdGoCapture")->click();
    cap->setSkierName("Ann");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !cap->livePicture().isNull(); }, 3000));

    prompter->clear();
    child<QPushButton>(cap, "cmdStartCapture")->click();
    ASSERT_TRUE(cap->recording()) << prompter->texts().join("|").toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cap->recording(); }, 6000));

    const AppSettings& s = station.settings();
    EXPECT_EQ(s.NavigationTag, "Capture");
    EXPECT_EQ(s.ContactFrameHint, 45);
    EXPECT_GE(s.CapturedFrameCount, 85);
    EXPECT_LE(s.CapturedFrameCount, 92);
    EXPECT_EQ(s.CaptureFrameRate, 30);
    EXPECT_GT(QFileInfo(videos + "/Annjump1.avi").size(), 0);
    // Nothing stored chose the compressor: a fresh station records MJPEG, not raw frames.
    EXPECT_EQ(child<QComboBox>(main->devicePanel(), "CompressionCombo")->currentText(), "MJPEG");
    QFile video(videos + "/Annjump1.avi");
    ASSERT_TRUE(video.open(QIODevice::ReadOnly));
    EXPECT_TRUE(video.read(4096).contains("MJPG"));
    EXPECT_EQ(cap->passNumber(), "2");
    EXPECT_EQ(prompter->unexpected(), 0);
}
