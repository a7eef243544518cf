#include "capture/capture_component.h"
#include "testkit/fake_capture_component.h"
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
