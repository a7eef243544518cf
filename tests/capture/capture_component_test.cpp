#include "capture/capture_component.h"
#include "testkit/fake_capture_component.h"
#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace tarvex;

TEST(NullCaptureComponent, ReportsNoDevicesAndRefusesToConnectOrRecord)
{
    NullCaptureComponent c;
    EXPECT_EQ(c.videoDeviceCount(), 0);
    EXPECT_EQ(c.audioDeviceCount(), 0);
    EXPECT_EQ(c.videoDevice(), -1);
    EXPECT_FALSE(c.isConnected());
    ASSERT_TRUE(c.connectDevice(0).has_value());
    EXPECT_EQ(c.connectDevice(0)->number, CaptureError::NoDevice);
    EXPECT_TRUE(c.startCapture().has_value());
    EXPECT_TRUE(c.captureFrame().has_value());
    EXPECT_TRUE(c.setResolution(0).has_value());
}

TEST(NullCaptureComponent, HarmlessOperationsSucceedAndSettingsReadBack)
{
    NullCaptureComponent c;
    EXPECT_FALSE(c.stopCapture());
    EXPECT_FALSE(c.disconnectDevice());
    EXPECT_FALSE(c.setPreview(true));
    EXPECT_TRUE(c.preview());
    EXPECT_FALSE(c.showDialog(CaptureComponent::VideoSourceDialog, {}));
    EXPECT_FALSE(c.setVideoCompressor(-1));
    EXPECT_FALSE(c.setEffect(CaptureComponent::VideoEffect1, 0, -1));
    EXPECT_FALSE(c.setFrameRate(25));
    EXPECT_FALSE(c.setTimeLimit(6));
    EXPECT_FALSE(c.setCaptureFileName("a.avi"));
    EXPECT_FALSE(c.setAudioSampleRate(22050));
    EXPECT_EQ(c.frameRate(), 25);
    EXPECT_EQ(c.timeLimit(), 6);
    EXPECT_EQ(c.captureFileName(), "a.avi");
    EXPECT_EQ(c.audioSampleRate(), 22050);
    EXPECT_EQ(c.statistics(), CaptureStatistics{});
}

TEST(CaptureErrorNumbers, AreThe32BitFormsOnEveryPlatform)
{
    EXPECT_EQ(CaptureError::NoDevice, -2147221503L);
    EXPECT_LT(CaptureError::Busy, 0);
}

namespace {
FakeVideoDevice cam(const QString& name)
{
    FakeVideoDevice d;
    d.name = name;
    d.resolutions = {"320x240", "640x480"};
    d.colorFormats = {"RGB24", "YUY2"};
    return d;
}
} // namespace

TEST(FakeCaptureComponent, AnswersFromTheConnectedDeviceOnly)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("Cam A")).addVideoDevice(cam("Cam B"));
    EXPECT_EQ(c.videoDevice(), 0);
    EXPECT_EQ(c.resolutionCount(), 0);
    EXPECT_EQ(c.setResolution(1)->number, CaptureError::NotConnected);
    EXPECT_FALSE(c.connectDevice(1));
    EXPECT_EQ(c.videoDevice(), 1);
    EXPECT_EQ(c.resolutionName(1), "640x480");
    EXPECT_FALSE(c.setResolution(1));
    EXPECT_EQ(c.videoDeviceData(1).resolution, 1);
    EXPECT_EQ(c.setResolution(5)->number, CaptureError::BadIndex);
}

TEST(FakeCaptureComponent, ScriptedFailuresComeOnceOrAlways)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("Cam"));
    const CaptureError busy{42, "Busy"};
    c.failNext("connectDevice", busy);
    EXPECT_EQ(c.connectDevice(0), busy);
    EXPECT_FALSE(c.connectDevice(0));
    c.failAlways("setPreview", busy);
    EXPECT_EQ(c.setPreview(true), busy);
    EXPECT_EQ(c.setPreview(true), busy);
    EXPECT_FALSE(c.preview());
    c.clearFailures();
    EXPECT_FALSE(c.setPreview(true));
    EXPECT_THROW(c.failNext("conect", busy), std::invalid_argument);
}

TEST(FakeCaptureComponent, CountsAndLogsEveryOperationWithItsArguments)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("Cam"));
    (void)c.connectDevice(0);
    (void)c.setPreview(true);
    (void)c.stopCapture();
    (void)c.stopCapture();
    EXPECT_EQ(c.calls("connectDevice"), 1);
    EXPECT_EQ(c.calls("stopCapture"), 2);
    EXPECT_EQ(c.log(), (QStringList{"connectDevice(0)", "setPreview(true)", "stopCapture()", "stopCapture()"}));
    EXPECT_EQ(c.log("setPreview"), QStringList{"setPreview(true)"});
}

TEST(FakeCaptureComponent, PlugAndUnplugNotifyWithCategoryActionIndexAndName)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("Cam A"));
    (void)c.connectDevice(0);
    QSignalSpy spy(&c, &CaptureComponent::deviceChange);
    c.plugVideoDevice(cam("Cam B"));
    c.plugAudioDevice("Mic");
    c.unplugVideoDevice(0);
    ASSERT_EQ(spy.size(), 3);
    EXPECT_EQ(spy[0], (QVariantList{"Video Capture Sources", 0, 1, "Cam B"}));
    EXPECT_EQ(spy[1], (QVariantList{"Audio Capture Sources", 0, 0, "Mic"}));
    EXPECT_EQ(spy[2], (QVariantList{"Video Capture Sources", 1, 0, "Cam A"}));
    EXPECT_FALSE(c.isConnected());
    EXPECT_EQ(c.videoDeviceName(0), "Cam B");
}

TEST(FakeCaptureComponent, RefusesSampleRatesTheDeviceDoesNotTake)
{
    FakeCaptureComponent c;
    c.setSupportedSampleRates({48000});
    EXPECT_EQ(c.setAudioSampleRate(11025)->number, CaptureError::Unsupported);
    EXPECT_FALSE(c.setAudioSampleRate(48000));
    EXPECT_EQ(c.audioSampleRate(), 48000);
}

// --- What the component keeps over any device ---

TEST(CaptureComponent, SelectionsFollowUnpluggedDevices)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("A")).addVideoDevice(cam("B")).addVideoDevice(cam("C"));
    c.addAudioDevice("Mic 1").addAudioDevice("Mic 2", true);
    ASSERT_FALSE(c.setVideoDevice(2));
    c.unplugVideoDevice(0);
    EXPECT_EQ(c.videoDevice(), 1);   // C moved up
    c.unplugVideoDevice(1);
    EXPECT_EQ(c.videoDevice(), 0);   // the last one went: the one before it
    c.unplugVideoDevice(0);
    EXPECT_EQ(c.videoDevice(), -1);

    EXPECT_EQ(c.audioDevice(), 1);
    c.unplugAudioDevice(0);
    EXPECT_EQ(c.audioDevice(), 0);
    c.unplugAudioDevice(0);
    EXPECT_EQ(c.audioDevice(), -1);
}

TEST(CaptureComponent, WhileRecordingTheFormatAndRecordingSettingsAreRefused)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("Cam"));
    c.setVideoCompressors({"MJPEG"}, 0);
    ASSERT_FALSE(c.setCaptureFileName("jump.avi"));
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.startCapture());
    for (const CaptureResult& r : {c.setResolution(0), c.setColorFormat(1), c.setFrameRate(25), c.setTimeLimit(3),
                                   c.setVideoCompressor(-1), c.setCaptureFileName("other.avi"), c.startCapture()})
        EXPECT_EQ(r->number, CaptureError::Busy);
    // Saying again what already holds is no change.
    EXPECT_FALSE(c.setFrameRate(15));
    EXPECT_FALSE(c.setTimeLimit(0));
    EXPECT_FALSE(c.stopCapture());
    EXPECT_FALSE(c.setResolution(1));
}

TEST(CaptureComponent, ARecordingStartsWithEverySettingOfThePanel)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("Cam"));
    c.addAudioDevice("Mic", true);
    c.setVideoCompressors({"MJPEG", "FFV1"}, 1);
    ASSERT_FALSE(c.setAudioSampleRate(22050));
    ASSERT_FALSE(c.setAudioChannels(2));
    ASSERT_FALSE(c.setAudioBits(16));
    ASSERT_FALSE(c.setFrameRate(25));
    ASSERT_FALSE(c.setTimeLimit(6));
    ASSERT_FALSE(c.setCaptureFileName("Ann.avi"));
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.startCapture());
    const RecordingSettings& s = c.fakeDevice().lastRecording();
    EXPECT_EQ(s.path, "Ann.avi");
    EXPECT_EQ(s.framesPerSecond, 25);
    EXPECT_EQ(s.timeLimit, 6);
    EXPECT_EQ(s.audioDevice, 0);
    EXPECT_EQ(s.sampleRate, 22050);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.bits, 16);
    EXPECT_EQ(s.videoCompressor, 1);
    EXPECT_EQ(s.quality, 85);
}

TEST(CaptureComponent, AStillTakesTheLuminanceFactorAsItsQualityAndNeedsAFileName)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("Cam"));
    ASSERT_FALSE(c.connectDevice(0));
    EXPECT_EQ(c.captureFrame()->number, CaptureError::FileError);
    ASSERT_FALSE(c.setFrameFileName("still.jpg"));
    ASSERT_FALSE(c.captureFrame());
    EXPECT_EQ(c.fakeDevice().lastFramePath(), "still.jpg");
    EXPECT_EQ(c.fakeDevice().lastFrameQuality(), 90);
    FrameCaptureOptions o;
    o.luminanceFactor = 150;
    ASSERT_FALSE(c.setFrameOptions(o));
    ASSERT_FALSE(c.captureFrame());
    EXPECT_EQ(c.fakeDevice().lastFrameQuality(), 100);
}

TEST(CaptureComponent, AStillsOutcomeIsForwardedWhenTheDeviceAnswersNotDuringTheCall)
{
    FakeCaptureComponent c;
    c.addVideoDevice(cam("Cam"));
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setFrameFileName("still.jpg"));
    QList<std::pair<QString, CaptureResult>> outcomes;
    QObject::connect(&c, &CaptureComponent::stillSaved,
                     [&](const QString& path, const CaptureResult& r) { outcomes.append({path, r}); });
    c.fakeDevice().stillOutcome = CaptureError{captureErrorNumber(0x80040001u), "The capture device delivers no pictures"};
    ASSERT_FALSE(c.captureFrame());
    EXPECT_TRUE(outcomes.isEmpty());
    QCoreApplication::processEvents();
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes[0].first, "still.jpg");
    ASSERT_TRUE(outcomes[0].second);
    EXPECT_EQ(outcomes[0].second->number, captureErrorNumber(0x80040001u));
    EXPECT_EQ(outcomes[0].second->description, "The capture device delivers no pictures");

    // A still refused at once (here: by the scripted component) reports nothing later.
    c.failNext("captureFrame", {CaptureError::Busy, "Busy"});
    EXPECT_TRUE(c.captureFrame());
    QCoreApplication::processEvents();
    EXPECT_EQ(outcomes.size(), 1);
}

TEST(CaptureComponent, TheTunerTakesChannelsInItsRangeOnly)
{
    FakeCaptureComponent c;
    FakeVideoDevice tv = cam("TV");
    tv.tuner = true;
    tv.lowestChannel = 2;
    tv.highestChannel = 69;
    c.addVideoDevice(cam("Cam")).addVideoDevice(tv);
    ASSERT_FALSE(c.connectDevice(0));
    EXPECT_EQ(c.setChannel(5)->number, CaptureError::Unsupported);
    ASSERT_FALSE(c.connectDevice(1));
    EXPECT_EQ(c.lowestChannel(), 2);
    EXPECT_EQ(c.highestChannel(), 69);
    EXPECT_EQ(c.setChannel(70)->number, CaptureError::BadIndex);
    ASSERT_FALSE(c.setChannel(12));
    EXPECT_EQ(c.channel(), 12);
}
