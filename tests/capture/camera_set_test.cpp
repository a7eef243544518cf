// Several cameras recording one pass: the names of their files, the times files beside
// them, the frame of one camera that matches a frame of another, and two rehearsal cameras
// recorded at once on one clock.
#include "capture/camera_set.h"
#include "capture/ffmpeg_capture_device.h"
#include "cli/cli.h"
#include "support/rehearsal_capture.h"
#include "testkit/fake_capture_component.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace tarvex {
namespace {

template <class Pred>
bool waitFor(Pred pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

TEST(CameraFiles, CompanionsAreNamedAfterTheFirstFilePlusTheirGrid)
{
    EXPECT_EQ(cameraFilePath("D:/video/Annjump1.avi", 1), "D:/video/Annjump1.avi");
    EXPECT_EQ(cameraFilePath("D:/video/Annjump1.avi", 2), "D:/video/Annjump1-cam2.avi");
    EXPECT_EQ(cameraFilePath("/v.old/take", 3), "/v.old/take-cam3");
    EXPECT_EQ(cameraFilePath("Annjump1.avi", 3), "Annjump1-cam3.avi");
    EXPECT_EQ(cameraFilePath("C:\\clips\\Bo.j2.avi", 2), "C:\\clips\\Bo.j2-cam2.avi");

    EXPECT_EQ(cameraOfFile("/v/Annjump1-cam2.avi"), 2);
    EXPECT_EQ(cameraOfFile("/v/Annjump1-CAM3.AVI"), 3);
    EXPECT_EQ(cameraOfFile("/v/Annjump1.avi"), 1);
    EXPECT_EQ(cameraOfFile("/v/cam2.avi"), 1);
    EXPECT_EQ(firstCameraFile("/v/Annjump1-cam2.avi"), "/v/Annjump1.avi");
    EXPECT_EQ(firstCameraFile("/v/Annjump1.avi"), "/v/Annjump1.avi");
    EXPECT_EQ(frameTimesPath("/v/Annjump1-cam2.avi"), "/v/Annjump1-cam2.avi.times");
}

TEST(CameraFiles, TheFilesOfATakeAreFoundFromAnyOfThem)
{
    QTemporaryDir dir;
    writeText(dir.filePath("Annjump1.avi"), "x");
    writeText(dir.filePath("Annjump1-cam3.avi"), "x");
    writeText(dir.filePath("Bo1.avi"), "x");
    const QMap<int, QString> expected{{1, dir.filePath("Annjump1.avi")}, {3, dir.filePath("Annjump1-cam3.avi")}};
    EXPECT_EQ(cameraFilesOf(dir.filePath("Annjump1-cam3.avi")), expected);
    EXPECT_EQ(cameraFilesOf(dir.filePath("Annjump1.avi")), expected);
    EXPECT_EQ(cameraFilesOf(dir.filePath("Bo1.avi")), (QMap<int, QString>{{1, dir.filePath("Bo1.avi")}}));
    EXPECT_TRUE(cameraFilesOf(dir.filePath("gone.avi")).isEmpty());
}

TEST(FrameTimes, AreWrittenOneALineAndReadBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.avi.times");
    QString error;
    ASSERT_TRUE((FrameTimes{{0, 33333, 66667}}).write(path, error)) << error.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("0\r\n33333\r\n66667\r\n"));

    FrameTimes t;
    ASSERT_TRUE(FrameTimes::read(path, t, error));
    EXPECT_EQ(t.micros, (QList<qint64>{0, 33333, 66667}));

    writeText(path, "-12000\n21000\n\n54333\n");
    ASSERT_TRUE(FrameTimes::read(path, t, error));
    EXPECT_EQ(t.micros, (QList<qint64>{-12000, 21000, 54333}));
}

TEST(FrameTimes, RefuseWhatIsNotATimesFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.times");
    FrameTimes t{{5}};
    QString error;
    writeText(path, "0\n40000\n20000\n");
    EXPECT_FALSE(FrameTimes::read(path, t, error));
    EXPECT_EQ(error, path + ", line 3: not a frame time in order");
    writeText(path, "0\nRIFF\n");
    EXPECT_FALSE(FrameTimes::read(path, t, error));
    EXPECT_EQ(error, path + ", line 2: not a frame time in order");
    EXPECT_FALSE(FrameTimes::read(dir.filePath("none.times"), t, error));
    EXPECT_EQ(t.micros, QList<qint64>{5});   // left as it was
}

TEST(FrameTimes, TheNearestFrameInTimeIsFound)
{
    const FrameTimes t{{0, 33333, 66666, 66666, 133333}};
    EXPECT_EQ(t.nearest(-50000), 0);
    EXPECT_EQ(t.nearest(16000), 0);
    EXPECT_EQ(t.nearest(16666), 0);
    EXPECT_EQ(t.nearest(16667), 1);
    EXPECT_EQ((FrameTimes{{0, 40000}}).nearest(20000), 0);   // a tie goes to the earlier frame
    EXPECT_EQ(t.nearest(66666), 2);    // a dropped frame repeats the one before: the first of them
    EXPECT_EQ(t.nearest(90000), 2);
    EXPECT_EQ(t.nearest(100000), 4);
    EXPECT_EQ(t.nearest(999999), 4);
    EXPECT_EQ(FrameTimes{}.nearest(0), -1);

    // A second camera that runs 14 ms behind the first.
    const FrameTimes first{{0, 33333, 66666, 99999}};
    const FrameTimes second{{14000, 47333, 80666}};
    EXPECT_EQ(first.matching(0, second), 0);
    EXPECT_EQ(first.matching(2, second), 2);
    EXPECT_EQ(first.matching(3, second), 2);
    EXPECT_EQ(second.matching(1, first), 1);
    EXPECT_EQ(first.matching(4, second), -1);
    EXPECT_EQ(first.matching(-1, second), -1);
}

FakeVideoDevice cam(const QString& name)
{
    FakeVideoDevice d;
    d.name = name;
    d.resolutions = {"320x240", "640x480"};
    d.colorFormats = {"RGB24"};
    return d;
}

TEST(StartTogether, GivesEveryCameraOneStartAndUndoesAHalfStart)
{
    FakeCaptureDevice a, b, c;
    for (FakeCaptureDevice* d : {&a, &b, &c}) {
        d->video = {cam("North"), cam("South")};
        ASSERT_FALSE(d->open(0));
    }
    RecordingSettings s;
    s.path = "/v/x.avi";
    ASSERT_FALSE(startTogether({&a, &b}, {s, s}));
    ASSERT_TRUE(a.lastRecording().start.has_value());
    EXPECT_EQ(a.lastRecording().start, b.lastRecording().start);
    EXPECT_TRUE(a.isRecording() && b.isRecording());
    a.stopRecording();
    b.stopRecording();

    RecordingSettings bad = s;
    bad.framesPerSecond = 0;
    const CaptureResult e = startTogether({&a, &b, &c}, {s, s, bad});
    ASSERT_TRUE(e);
    EXPECT_EQ(e->description, "Camera 3: The frame rate must be at least 1");
    EXPECT_FALSE(a.isRecording());
    EXPECT_FALSE(b.isRecording());
    EXPECT_TRUE(startTogether({&a}, {s, s}));
}

TEST(CaptureComponentCameras, OneStartRecordsEveryConfiguredCamera)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("North")).addVideoDevice(cam("South")).addVideoDevice(cam("Tower"));
    c.addAudioDevice("Mic", true);
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setResolution(1));
    ASSERT_FALSE(c.setCaptureFileName("/v/Annjump1.avi"));
    c.setCompanionCameras({"", "Tower"});
    ASSERT_FALSE(c.startCapture());

    EXPECT_EQ(c.companionDevice(2), nullptr);
    auto* tower = dynamic_cast<FakeCaptureDevice*>(c.companionDevice(3));
    ASSERT_NE(tower, nullptr);
    EXPECT_TRUE(tower->isRecording());
    EXPECT_EQ(tower->format().resolution, 1);   // 640x480 as the first camera
    EXPECT_EQ(tower->lastRecording().path, "/v/Annjump1-cam3.avi");
    EXPECT_EQ(tower->lastRecording().timesPath, "/v/Annjump1-cam3.avi.times");
    EXPECT_EQ(tower->lastRecording().audioDevice, -1);
    const RecordingSettings& first = c.fakeDevice().lastRecording();
    EXPECT_EQ(first.timesPath, "/v/Annjump1.avi.times");
    EXPECT_EQ(first.audioDevice, 0);
    EXPECT_EQ(first.start, tower->lastRecording().start);
    EXPECT_EQ(c.recordingFiles(), (QMap<int, QString>{{1, "/v/Annjump1.avi"}, {3, "/v/Annjump1-cam3.avi"}}));

    ASSERT_FALSE(c.stopCapture());
    EXPECT_FALSE(tower->isRecording());
}

TEST(CaptureComponentCameras, ACameraThatIsMissingIsToldAndTheOthersStillRecord)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("North")).addVideoDevice(cam("South"));
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setCaptureFileName("/v/Bo2.avi"));
    QSignalSpy warnings(&c, &CaptureComponent::warning);
    c.setCompanionCameras({"Harbour", "North"});
    ASSERT_FALSE(c.startCapture());
    EXPECT_EQ(warnings.size(), 0);   // told once the recording runs
    QCoreApplication::processEvents();
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_EQ(warnings[0][0].toString(), "The camera of grid 2, Harbour, was not recorded: it is not connected to this station");
    EXPECT_EQ(warnings[1][0].toString(), "The camera of grid 3, North, is the camera of grid 1; it was recorded once");
    EXPECT_TRUE(c.isCapturing());
    // One camera alone writes no times file: nothing is there to match.
    EXPECT_EQ(c.fakeDevice().lastRecording().timesPath, "");
    EXPECT_EQ(c.recordingFiles(), (QMap<int, QString>{{1, "/v/Bo2.avi"}}));
}

TEST(CaptureComponentCameras, ACompanionLeftRecordingWhenTheFirstReachedItsLimitIsStopped)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("North")).addVideoDevice(cam("Tower"));
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setFrameRate(30));
    ASSERT_FALSE(c.setTimeLimit(5));
    ASSERT_FALSE(c.setCaptureFileName("/v/Annjump1.avi"));
    c.setCompanionCameras({"Tower"});
    ASSERT_FALSE(c.startCapture());
    auto* tower = dynamic_cast<FakeCaptureDevice*>(c.companionDevice(2));
    ASSERT_NE(tower, nullptr);
    // The first camera ends at its limit (its file also holds 2 s from before the press);
    // the tower has gone silent and would never reach its own.
    c.fakeDevice().stopRecording();
    c.fakeDevice().stats = {210, 0, 0, 7000};
    emit c.fakeDevice().statusCode(CaptureStatusReady, "Ready");
    EXPECT_TRUE(tower->isRecording());   // it may still take its last frame
    EXPECT_TRUE(waitFor([&] { return !tower->isRecording(); }, 3000));
}

// Pre-recording holds the seconds before Start on every camera of the take, not the first
// alone; a camera taken out of the take stops holding.
TEST(CaptureComponentCameras, EveryCameraHoldsTheSecondsBeforeStart)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("North")).addVideoDevice(cam("Tower")).addVideoDevice(cam("Boat"));
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setFrameRate(30));
    c.setCompanionCameras({"Tower", "Boat"});
    ASSERT_FALSE(c.setPreRecording(3));
    EXPECT_EQ(c.fakeDevice().preSeconds, 3);
    auto* tower = dynamic_cast<FakeCaptureDevice*>(c.companionDevice(2));
    auto* boat = dynamic_cast<FakeCaptureDevice*>(c.companionDevice(3));
    ASSERT_NE(tower, nullptr);
    ASSERT_NE(boat, nullptr);
    EXPECT_EQ(tower->preSeconds, 3);
    EXPECT_EQ(boat->preSeconds, 3);
    c.setCompanionCameras({"Tower"});
    EXPECT_EQ(tower->preSeconds, 3);
    EXPECT_EQ(boat->preSeconds, 0);
    ASSERT_FALSE(c.setPreRecording(0));
    EXPECT_EQ(tower->preSeconds, 0);
    EXPECT_EQ(c.fakeDevice().preSeconds, 0);
}

// While the capture screen is shown the other cameras are open and sending, so Start does
// not wait for a network camera to connect; they stop when it is left.
TEST(CaptureComponentCameras, TheOtherCamerasRunWhileTheCaptureScreenIsShown)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("North")).addVideoDevice(cam("Tower"));
    ASSERT_FALSE(c.connectDevice(0));
    c.setCompanionCameras({"Tower"});
    EXPECT_EQ(c.companionDevice(2), nullptr);   // nothing opened before it is wanted
    c.setCompanionsRunning(true);
    auto* tower = dynamic_cast<FakeCaptureDevice*>(c.companionDevice(2));
    ASSERT_NE(tower, nullptr);
    EXPECT_TRUE(tower->isOpen());
    EXPECT_TRUE(tower->standby);
    ASSERT_FALSE(c.setCaptureFileName("/v/Annjump1.avi"));
    ASSERT_FALSE(c.startCapture());
    EXPECT_EQ(c.companionDevice(2), tower);   // the running one records
    EXPECT_TRUE(tower->isRecording());
    ASSERT_FALSE(c.stopCapture());
    c.setCompanionsRunning(false);
    EXPECT_FALSE(tower->standby);
}

TEST(RehearsalCameras, TwoRecordedAtOnceHoldMatchingFramesOnOneClock)
{
    QTemporaryDir dir;
    FfmpegCaptureDevice first(test::rehearsalCameraOnly());
    FfmpegCaptureDevice second(first.companionOptions());
    ASSERT_EQ(first.videoDevices(),
              (QStringList{"Tarvex Rehearsal Camera", "Tarvex Rehearsal Camera 2", "Tarvex Rehearsal Camera 3"}));
    ASSERT_FALSE(first.open(0));
    ASSERT_FALSE(second.open(1));
    for (FfmpegCaptureDevice* d : {&first, &second}) {
        CaptureFormat f = d->format();
        f.resolution = 0;   // 320x240
        ASSERT_FALSE(d->setFormat(f));
    }
    RecordingSettings s;
    s.framesPerSecond = 30;
    s.timeLimit = 2;
    s.path = dir.filePath("Annjump1.avi");
    s.timesPath = frameTimesPath(s.path);
    RecordingSettings t = s;
    t.path = dir.filePath("Annjump1-cam2.avi");
    t.timesPath = frameTimesPath(t.path);
    int ready = 0;
    for (FfmpegCaptureDevice* d : {&first, &second})
        QObject::connect(d, &CaptureDevice::statusCode, d, [&](int code, const QString&) { ready += code == CaptureStatusReady; });
    ASSERT_FALSE(startTogether({&first, &second}, {s, t}));
    ASSERT_TRUE(waitFor([&] { return ready == 2; }, 20000));

    const long a = first.statistics().framesCaptured, b = second.statistics().framesCaptured;
    EXPECT_EQ(a, 60);
    EXPECT_LE(std::abs(a - b), 1);
    FrameTimes ta, tb;
    QString error;
    ASSERT_TRUE(FrameTimes::read(s.timesPath, ta, error)) << error.toStdString();
    ASSERT_TRUE(FrameTimes::read(t.timesPath, tb, error)) << error.toStdString();
    EXPECT_EQ(ta.micros.size(), a);
    EXPECT_EQ(tb.micros.size(), b);
    // The first camera sets the clock: its frame n is n / 30 s after the common start.
    EXPECT_EQ(ta.micros.value(30), 1000000);
    const int n = int(std::min(ta.micros.size(), tb.micros.size()));
    for (int k = 0; k < n; ++k) {
        EXPECT_LT(std::abs(ta.micros[k] - tb.micros[k]), 16667) << "frame " << k;
        EXPECT_EQ(ta.matching(k, tb), k);
    }

    QFile truth(dir.filePath("Annjump1-cam2.truth.json"));
    ASSERT_TRUE(truth.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(truth.readAll()).object()["camera"].toString(), "Tarvex Rehearsal Camera 2");
}

// With pre-recording every camera holds its seconds from the same moment: both files hold
// the held seconds and the skier's contact at the same frame, inside the file.
TEST(RehearsalCameras, HeldSecondsOfSeveralCamerasShowTheSameJump)
{
    QTemporaryDir dir;
    QString text;
    QTextStream out(&text);
    ASSERT_EQ(runCli({"record", dir.filePath("Bo1.avi"), "--cameras", "2", "--size", "320x240", "--fps", "10",
                      "--seconds", "1", "--pre-seconds", "2"},
                     out, out),
              0)
        << text.toStdString();
    out.flush();
    EXPECT_EQ(text, "frames captured 30, dropped 0, audio samples 0, elapsed 3000 ms\n"
                    "frames captured 30, dropped 0, audio samples 0, elapsed 3000 ms\n");
    const auto contact = [&](const char* name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()["contactFrame"].toInt(-99) : -99;
    };
    const int first = contact("Bo1.truth.json");
    EXPECT_GE(first, 0);
    EXPECT_LT(first, 30);
    EXPECT_NEAR(contact("Bo1-cam2.truth.json"), first, 1);
}

TEST(RehearsalCameras, TheCommandLineRecordsSeveralAndWritesTheGridOfEach)
{
    QTemporaryDir dir;
    QString text;
    QTextStream out(&text);
    ASSERT_EQ(runCli({"record", dir.filePath("Bo1.avi"), "--cameras", "2", "--size", "320x240", "--fps", "10",
                      "--seconds", "1"},
                     out, out),
              0)
        << text.toStdString();
    out.flush();
    EXPECT_EQ(text, "frames captured 10, dropped 0, audio samples 0, elapsed 1000 ms\n"
                    "frames captured 10, dropped 0, audio samples 0, elapsed 1000 ms\n");
    EXPECT_TRUE(QFile::exists(dir.filePath("Bo1-cam2.avi")));
    EXPECT_TRUE(QFile::exists(dir.filePath("Bo1-cam2.avi.times")));

    // The grid of camera 2 from the first camera's truth is the one its own truth gives.
    text.clear();
    ASSERT_EQ(runCli({"rehearsal-grid", dir.filePath("Bo1.truth.json"), "--camera", "2", "--grid", "2", "--out",
                      dir.filePath("from1.ipt")},
                     out, out),
              0);
    ASSERT_EQ(runCli({"rehearsal-grid", dir.filePath("Bo1-cam2.truth.json"), "--grid", "2", "--out",
                      dir.filePath("own.ipt")},
                     out, out),
              0);
    ASSERT_EQ(runCli({"rehearsal-grid", dir.filePath("Bo1.truth.json"), "--grid", "2", "--out",
                      dir.filePath("cam1.ipt")},
                     out, out),
              0);
    // Past the first line, which names the file itself.
    const auto bytes = [&](const char* name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n').mid(1).join('\n') : QByteArray();
    };
    EXPECT_FALSE(bytes("own.ipt").isEmpty());
    EXPECT_EQ(bytes("from1.ipt"), bytes("own.ipt"));
    EXPECT_NE(bytes("cam1.ipt"), bytes("own.ipt"));

    text.clear();
    EXPECT_EQ(runCli({"record", dir.filePath("x.avi"), "--cameras", "4"}, out, out), 2);
    EXPECT_EQ(runCli({"record", dir.filePath("x.avi"), "--device", "Tarvex Rehearsal Camera 3", "--cameras", "2"}, out,
                     out),
              2);
    out.flush();
    EXPECT_EQ(text, "tarvex-cli: --cameras must be 1 to 3\n"
                    "tarvex-cli: 2 cameras from Tarvex Rehearsal Camera 3 on: there are only Tarvex Rehearsal Camera 3\n");
}

} // namespace
} // namespace tarvex
