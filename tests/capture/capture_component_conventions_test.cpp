// The conventions the panel relies on, held by the component over every device it can be
// given: the settings live in the component once, whatever the device.
#include "capture/capture_component.h"
#include "capture/ffmpeg_capture_component.h"
#include "testkit/fake_capture_component.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include "support/rehearsal_capture.h"
#include <gtest/gtest.h>

namespace tarvex {
namespace {

struct NullMaker {
    static constexpr bool hasDevice = false;
    static std::unique_ptr<CaptureComponent> make() { return std::make_unique<NullCaptureComponent>(); }
};

struct FakeMaker {
    static constexpr bool hasDevice = true;
    static std::unique_ptr<CaptureComponent> make()
    {
        auto c = std::make_unique<FakeCaptureComponent>();
        FakeVideoDevice d;
        d.name = QStringLiteral("Cam");
        d.resolutions = {QStringLiteral("320x240"), QStringLiteral("640x480")};
        d.colorFormats = {QStringLiteral("RGB24")};
        c->addVideoDevice(d);
        c->setVideoCompressors({QStringLiteral("MJPEG")}, 0);
        return c;
    }
};

struct FfmpegMaker {
    static constexpr bool hasDevice = true;
    static std::unique_ptr<CaptureComponent> make()
    {
        return std::make_unique<FfmpegCaptureComponent>(test::rehearsalCameraOnly());
    }
};

template <class Maker>
class ComponentConventions : public ::testing::Test {
protected:
    std::unique_ptr<CaptureComponent> c = Maker::make();
    QTemporaryDir dir;
    void connectIfPossible()
    {
        if (Maker::hasDevice) {
            ASSERT_FALSE(c->connectDevice(0));
        } else {
            ASSERT_TRUE(c->connectDevice(0));
        }
    }
};

using Components = ::testing::Types<NullMaker, FakeMaker, FfmpegMaker>;
TYPED_TEST_SUITE(ComponentConventions, Components);

TYPED_TEST(ComponentConventions, QueriesAnswerEmptyValuesInsteadOfFailing)
{
    CaptureComponent& c = *this->c;
    EXPECT_EQ(c.videoDeviceName(-1), "");
    EXPECT_EQ(c.videoDeviceName(99), "");
    EXPECT_EQ(c.audioDeviceName(99), "");
    EXPECT_EQ(c.videoCompressorName(99), "");
    EXPECT_EQ(c.effectName(CaptureComponent::VideoEffect1, 99), "");
    EXPECT_LT(c.findEffect(CaptureComponent::VideoEffect1, "No such effect"), 0);
    EXPECT_EQ(c.currentEffect(CaptureComponent::VideoEffect1, 0), -1);
    // Lists of a connected device are empty while nothing is connected.
    EXPECT_FALSE(c.isConnected());
    EXPECT_EQ(c.resolutionCount(), 0);
    EXPECT_EQ(c.resolution(), -1);
    EXPECT_EQ(c.resolutionName(0), "");
    EXPECT_EQ(c.colorFormatCount(), 0);
    EXPECT_EQ(c.colorFormat(), -1);
    EXPECT_EQ(c.videoInputCount(), 0);
    EXPECT_EQ(c.videoInput(), -1);
    EXPECT_FALSE(c.hasTuner());
}

TYPED_TEST(ComponentConventions, SettingsSetBeforeConnectingSurviveConnectAndDisconnect)
{
    CaptureComponent& c = *this->c;
    const QString file = this->dir.filePath("jump.avi");
    EXPECT_FALSE(c.setFrameRate(12));
    EXPECT_FALSE(c.setTimeLimit(4));
    EXPECT_FALSE(c.setCaptureFileName(file));
    EXPECT_FALSE(c.setAudioSampleRate(22050));
    EXPECT_FALSE(c.setAudioChannels(2));
    EXPECT_FALSE(c.setAudioBits(16));
    EXPECT_FALSE(c.setAudioListen(true));
    EXPECT_FALSE(c.setVideoCompressor(-1));
    EXPECT_FALSE(c.setPreview(false));
    this->connectIfPossible();
    (void)c.disconnectDevice();
    EXPECT_FALSE(c.isConnected());
    EXPECT_EQ(c.frameRate(), 12);
    EXPECT_EQ(c.timeLimit(), 4);
    EXPECT_EQ(c.captureFileName(), file);
    EXPECT_EQ(c.audioSampleRate(), 22050);
    EXPECT_EQ(c.audioChannels(), 2);
    EXPECT_EQ(c.audioBits(), 16);
    EXPECT_TRUE(c.audioListen());
    EXPECT_EQ(c.videoCompressor(), -1);
    EXPECT_FALSE(c.preview());
    // The lists of the device went with it.
    EXPECT_EQ(c.resolutionCount(), 0);
    EXPECT_EQ(c.resolution(), -1);
}

TYPED_TEST(ComponentConventions, AFrameRateBelowOneIsTakenButNoRecordingStartsWithIt)
{
    CaptureComponent& c = *this->c;
    const QString file = this->dir.filePath("zero.avi");
    ASSERT_FALSE(c.setCaptureFileName(file));
    EXPECT_FALSE(c.setFrameRate(0));
    EXPECT_EQ(c.frameRate(), 0);
    this->connectIfPossible();
    EXPECT_TRUE(c.startCapture());
    EXPECT_FALSE(c.isCapturing());
    EXPECT_FALSE(QFile::exists(file));
}

TYPED_TEST(ComponentConventions, AStopWhileIdleSucceedsAndSignalsNothing)
{
    CaptureComponent& c = *this->c;
    QSignalSpy codes(&c, &CaptureComponent::statusCode);
    QSignalSpy warnings(&c, &CaptureComponent::warning);
    EXPECT_FALSE(c.stopCapture());
    this->connectIfPossible();
    EXPECT_FALSE(c.stopCapture());
    EXPECT_FALSE(c.stopCapture());
    QCoreApplication::processEvents();
    EXPECT_EQ(codes.size(), 0);
    EXPECT_EQ(warnings.size(), 0);
    EXPECT_EQ(c.statistics(), CaptureStatistics{});
    EXPECT_FALSE(c.isCapturing());
}

TYPED_TEST(ComponentConventions, NoneIsAlwaysASelectionAndAnIndexOutsideItsListIsRefused)
{
    CaptureComponent& c = *this->c;
    EXPECT_FALSE(c.setVideoCompressor(-1));
    EXPECT_FALSE(c.setAudioCompressor(-1));
    EXPECT_FALSE(c.setAudioDevice(-1));
    EXPECT_FALSE(c.setEffect(CaptureComponent::VideoEffect1, 0, -1));
    EXPECT_EQ(c.audioDevice(), -1);
    EXPECT_TRUE(c.setVideoCompressor(999));
    EXPECT_TRUE(c.setAudioDevice(999));
    EXPECT_TRUE(c.setEffect(CaptureComponent::VideoEffect1, 0, 999));
    this->connectIfPossible();
    EXPECT_TRUE(c.setResolution(999));
    EXPECT_TRUE(c.setColorFormat(-2));
}

TYPED_TEST(ComponentConventions, OperationsThatNeedADeviceReportWhyWithoutOne)
{
    CaptureComponent& c = *this->c;
    ASSERT_FALSE(c.setCaptureFileName(this->dir.filePath("x.avi")));
    for (const CaptureResult& r : {c.setResolution(0), c.setColorFormat(0), c.startCapture(), c.captureFrame()}) {
        ASSERT_TRUE(r.has_value());
        EXPECT_LT(r->number, 0);
        EXPECT_FALSE(r->description.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(this->dir.filePath("x.avi")));
}

} // namespace
} // namespace tarvex
