// The documented conventions of CaptureDevice, run against every device the station can be
// given, so the test double cannot drift from the real one.
#include "capture/capture_device.h"
#include "capture/ffmpeg_capture_device.h"
#include "testkit/fake_capture_device.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include "support/rehearsal_capture.h"
#include <gtest/gtest.h>

namespace tarvex {
namespace {

struct NullMaker {
    static constexpr bool hasDevice = false;
    static std::unique_ptr<CaptureDevice> make() { return std::make_unique<NullCaptureDevice>(); }
};

struct FakeMaker {
    static constexpr bool hasDevice = true;
    static std::unique_ptr<CaptureDevice> make()
    {
        auto d = std::make_unique<FakeCaptureDevice>();
        FakeVideoDevice cam;
        cam.name = QStringLiteral("Cam");
        cam.resolutions = {QStringLiteral("320x240"), QStringLiteral("640x480")};
        cam.colorFormats = {QStringLiteral("RGB24")};
        d->video << cam;
        d->compressors = {QStringLiteral("MJPEG")};
        return d;
    }
};

struct FfmpegMaker {
    static constexpr bool hasDevice = true;
    static std::unique_ptr<CaptureDevice> make()
    {
        return std::make_unique<FfmpegCaptureDevice>(test::rehearsalCameraOnly());
    }
};

template <class Maker>
class CaptureContract : public ::testing::Test {
protected:
    std::unique_ptr<CaptureDevice> d = Maker::make();
    QTemporaryDir dir;

    void openIfPossible()
    {
        if (Maker::hasDevice) {
            ASSERT_FALSE(d->open(0));
            ASSERT_TRUE(d->isOpen());
        } else {
            ASSERT_TRUE(d->open(0));
            ASSERT_FALSE(d->isOpen());
        }
    }
    RecordingSettings settings(const QString& name) const
    {
        RecordingSettings s;
        s.path = dir.filePath(name);
        s.framesPerSecond = 25;
        return s;
    }
};

struct Still {
    QString path;
    CaptureResult outcome;
};

// Every stillSaved of a device, in order.
struct StillLog {
    QList<Still> stills;
    explicit StillLog(CaptureDevice& d)
    {
        QObject::connect(&d, &CaptureDevice::stillSaved, &d,
                         [this](const QString& path, const CaptureResult& outcome) { stills.append({path, outcome}); });
    }
    bool waitForOne()
    {
        QElapsedTimer t;
        t.start();
        while (stills.isEmpty() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return !stills.isEmpty();
    }
};

void expectRefusal(const CaptureResult& r)
{
    ASSERT_TRUE(r.has_value());
    EXPECT_LT(r->number, 0);
    EXPECT_FALSE(r->description.isEmpty());
}

using Devices = ::testing::Types<NullMaker, FakeMaker, FfmpegMaker>;
TYPED_TEST_SUITE(CaptureContract, Devices);

TYPED_TEST(CaptureContract, AClosedDeviceHasEmptyListsAndNoFormat)
{
    CaptureDevice& d = *this->d;
    EXPECT_FALSE(d.isOpen());
    EXPECT_TRUE(d.lists().colorFormats.isEmpty());
    EXPECT_TRUE(d.lists().resolutions.isEmpty());
    EXPECT_TRUE(d.lists().inputs.isEmpty());
    EXPECT_FALSE(d.lists().tuner);
    EXPECT_EQ(d.format(), (CaptureFormat{-1, -1, -1, 0}));
    EXPECT_FALSE(d.isRecording());
    EXPECT_EQ(d.statistics(), CaptureStatistics{});
}

TYPED_TEST(CaptureContract, OperationsThatNeedAnOpenDeviceReportWhyWithoutOne)
{
    CaptureDevice& d = *this->d;
    StillLog log(d);
    expectRefusal(d.setFormat(CaptureFormat{0, 0, 0, 0}));
    expectRefusal(d.saveFrame(this->dir.filePath("still.jpg"), 90));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.stills.isEmpty());   // a refused still has no outcome to report
    expectRefusal(d.startRecording(this->settings("x.avi")));
    EXPECT_FALSE(d.isRecording());
    EXPECT_FALSE(QFile::exists(this->dir.filePath("x.avi")));
    expectRefusal(d.open(99));
    expectRefusal(d.open(-1));
    EXPECT_FALSE(d.isOpen());
}

TYPED_TEST(CaptureContract, AnOpenDeviceShowsItsListsUntilItIsClosed)
{
    CaptureDevice& d = *this->d;
    this->openIfPossible();
    if (!TypeParam::hasDevice)
        return;
    const CaptureSourceLists lists = d.lists();
    ASSERT_FALSE(lists.colorFormats.isEmpty());
    ASSERT_GE(lists.resolutions.size(), 2);
    const CaptureFormat f = d.format();
    EXPECT_EQ(f.colorFormat, 0);
    EXPECT_GE(f.resolution, 0);
    EXPECT_LT(f.resolution, lists.resolutions.size());

    ASSERT_FALSE(d.setFormat(CaptureFormat{0, 1, f.input, f.channel}));
    EXPECT_EQ(d.format().resolution, 1);
    d.close();
    EXPECT_FALSE(d.isOpen());
    EXPECT_TRUE(d.lists().resolutions.isEmpty());
    EXPECT_EQ(d.format().resolution, -1);
}

TYPED_TEST(CaptureContract, AStopWhileIdleSucceedsAndSignalsNothing)
{
    CaptureDevice& d = *this->d;
    QSignalSpy codes(&d, &CaptureDevice::statusCode);
    QSignalSpy warnings(&d, &CaptureDevice::warning);
    d.stopRecording();
    this->openIfPossible();
    d.stopRecording();
    d.stopRecording();
    QCoreApplication::processEvents();
    EXPECT_EQ(codes.size(), 0);
    EXPECT_EQ(warnings.size(), 0);
    EXPECT_EQ(d.statistics(), CaptureStatistics{});
    EXPECT_FALSE(d.isRecording());
}

TYPED_TEST(CaptureContract, NoRecordingStartsBelowOneFramePerSecond)
{
    CaptureDevice& d = *this->d;
    this->openIfPossible();
    RecordingSettings s = this->settings("zero.avi");
    s.framesPerSecond = 0;
    expectRefusal(d.startRecording(s));
    EXPECT_FALSE(d.isRecording());
    EXPECT_FALSE(QFile::exists(s.path));
}

TYPED_TEST(CaptureContract, ARecordingRunsFromStartToStopAndClosingEndsIt)
{
    CaptureDevice& d = *this->d;
    this->openIfPossible();
    if (!TypeParam::hasDevice)
        return;
    ASSERT_FALSE(d.startRecording(this->settings("run.avi")));
    EXPECT_TRUE(d.isRecording());
    d.stopRecording();
    EXPECT_FALSE(d.isRecording());

    ASSERT_FALSE(d.startRecording(this->settings("closed.avi")));
    d.close();
    EXPECT_FALSE(d.isRecording());
    EXPECT_FALSE(d.isOpen());
}

TYPED_TEST(CaptureContract, AStillIsReportedOnceAndOnlyAfterTheCallReturned)
{
    CaptureDevice& d = *this->d;
    this->openIfPossible();
    if (!TypeParam::hasDevice)
        return;
    StillLog log(d);
    const QString path = this->dir.filePath("still.jpg");
    ASSERT_FALSE(d.saveFrame(path, 90));
    EXPECT_TRUE(log.stills.isEmpty());
    ASSERT_TRUE(log.waitForOne());
    EXPECT_EQ(log.stills[0].path, path);
    EXPECT_FALSE(log.stills[0].outcome);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(log.stills.size(), 1);
}

TYPED_TEST(CaptureContract, PreviewCanBeSwitchedWhetherOpenOrNot)
{
    CaptureDevice& d = *this->d;
    EXPECT_FALSE(d.setPreview(true));
    EXPECT_FALSE(d.setPreview(false));
    this->openIfPossible();
    EXPECT_FALSE(d.setPreview(true));
    EXPECT_FALSE(d.setPreview(false));
}

} // namespace
} // namespace tarvex
