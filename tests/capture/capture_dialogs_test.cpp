#include "capture/capture_dialogs.h"
#include "capture/ffmpeg_capture_component.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace tarvex {
namespace {

class NoCameras : public VideoBackend {
public:
    QList<VideoDeviceInfo> devices() override { return {}; }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo&, const VideoOpenRequest&, QString&) override { return nullptr; }
};

class OneMic : public AudioBackend {
public:
    QList<AudioDeviceInfo> devices() override { return {AudioDeviceInfo{"Mic", "alsa", "hw:9"}}; }
};

// Plays the operator's answers in the component's dialogs.
class ScriptedDialogs : public CaptureDialogHost {
public:
    QStringList shown;
    bool accept = true;
    bool chooseVideoSource(VideoSourceChoice& c) override
    {
        shown << QStringLiteral("video %1 %2 %3").arg(c.device, c.resolutions.value(c.resolution)).arg(c.framesPerSecond);
        c.resolution = 0;
        c.framesPerSecond = 25;
        return accept;
    }
    bool chooseCompression(CompressionChoice& c) override
    {
        shown << QStringLiteral("compression %1 %2").arg(c.compressor).arg(c.quality);
        c.quality = 40;
        return accept;
    }
    bool chooseAudioFormat(AudioFormatChoice& c) override
    {
        shown << QStringLiteral("audio %1 %2 %3").arg(c.sampleRate).arg(c.channels).arg(c.bits);
        c.sampleRate = 22050;
        c.channels = 1;
        c.bits = 8;
        return accept;
    }
};

struct Station {
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
    std::unique_ptr<FfmpegCaptureComponent> c;
    explicit Station(bool withDialogs = true)
    {
        FfmpegCaptureOptions o;
        o.rehearsal = true;
        o.videoBackend = std::make_shared<NoCameras>();
        o.audioBackend = std::make_shared<OneMic>();
        o.devicePollMs = 0;
        c = std::make_unique<FfmpegCaptureComponent>(o, withDialogs ? dialogs : nullptr);
    }
};

TEST(CaptureDialogs, AreAvailableWhereThereIsSomethingToChoose)
{
    Station s;
    FfmpegCaptureComponent& c = *s.c;
    EXPECT_FALSE(c.dialogAvailable(CaptureComponent::VideoSourceDialog));   // nothing connected
    EXPECT_TRUE(c.dialogAvailable(CaptureComponent::VideoCompressionDialog));   // MJPEG has a quality
    EXPECT_FALSE(c.dialogAvailable(CaptureComponent::AudioFormatDialog));    // sound "None"
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setAudioDevice(0));
    EXPECT_TRUE(c.dialogAvailable(CaptureComponent::VideoSourceDialog));
    EXPECT_TRUE(c.dialogAvailable(CaptureComponent::VideoSourceDialog + CaptureComponent::EffectDialogFlag));
    EXPECT_TRUE(c.dialogAvailable(CaptureComponent::AudioFormatDialog));
    ASSERT_FALSE(c.setVideoCompressor(1));   // FFV1: lossless, no quality to set
    EXPECT_FALSE(c.dialogAvailable(CaptureComponent::VideoCompressionDialog));
    EXPECT_FALSE(c.dialogAvailable(77));

    Station none(false);
    ASSERT_FALSE(none.c->connectDevice(0));
    EXPECT_FALSE(none.c->dialogAvailable(CaptureComponent::VideoSourceDialog));
    const CaptureResult e = none.c->showDialog(CaptureComponent::VideoSourceDialog, {});
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number, CaptureError::Unsupported);
}

TEST(CaptureDialogs, TheOperatorsChoicesReachTheComponentAndCancelKeepsEverything)
{
    Station s;
    FfmpegCaptureComponent& c = *s.c;
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setAudioDevice(0));
    ASSERT_FALSE(c.setFrameRate(30));

    s.dialogs->accept = false;
    EXPECT_FALSE(c.showDialog(CaptureComponent::VideoSourceDialog, {}));
    EXPECT_EQ(c.resolutionName(c.resolution()), "1280x720");
    EXPECT_EQ(c.frameRate(), 30);

    s.dialogs->accept = true;
    EXPECT_FALSE(c.showDialog(CaptureComponent::VideoSourceDialog + CaptureComponent::EffectDialogFlag, {}));
    EXPECT_EQ(c.resolutionName(c.resolution()), "320x240");
    EXPECT_EQ(c.frameRate(), 25);
    EXPECT_FALSE(c.showDialog(CaptureComponent::VideoCompressionDialog, {}));
    EXPECT_EQ(c.quality(), 40);
    EXPECT_FALSE(c.showDialog(CaptureComponent::AudioFormatDialog, {}));
    EXPECT_EQ(c.audioSampleRate(), 22050);
    EXPECT_EQ(c.audioChannels(), 1);
    EXPECT_EQ(c.audioBits(), 8);
    EXPECT_EQ(s.dialogs->shown, (QStringList{"video Tarvex Rehearsal Camera 1280x720 30",
                                             "video Tarvex Rehearsal Camera 1280x720 30", "compression MJPEG 85",
                                             "audio 44100 2 16"}));
}

// Runs f on the dialog once it is up, then accepts it.
void whenShown(std::function<void(QDialog&)> f)
{
    QTimer::singleShot(0, [f] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        f(*d);
        d->accept();
    });
}

TEST(QtCaptureDialogs, ShowTheChoicesAndHandBackWhatTheOperatorSet)
{
    QtCaptureDialogs dialogs;
    VideoSourceChoice v;
    v.device = "Cam";
    v.resolutions = {"320x240", "640x480"};
    v.resolution = 1;
    v.colorFormats = {"YUYV"};
    v.colorFormat = 0;
    v.framesPerSecond = 30;
    whenShown([](QDialog& d) {
        EXPECT_EQ(d.findChild<QComboBox*>("resolution")->currentText(), "640x480");
        EXPECT_FALSE(d.findChild<QComboBox*>("colorFormat")->isEnabled());   // one format: no choice
        d.findChild<QComboBox*>("resolution")->setCurrentIndex(0);
        d.findChild<QSpinBox*>("frameRate")->setValue(15);
    });
    ASSERT_TRUE(dialogs.chooseVideoSource(v));
    EXPECT_EQ(v.resolution, 0);
    EXPECT_EQ(v.framesPerSecond, 15);
    EXPECT_EQ(v.input, -1);

    CompressionChoice c{"MJPEG", 85};
    whenShown([](QDialog& d) { d.findChild<QSlider*>("quality")->setValue(60); });
    ASSERT_TRUE(dialogs.chooseCompression(c));
    EXPECT_EQ(c.quality, 60);

    AudioFormatChoice a{{11025, 22050, 44100}, 44100, 2, 16};
    whenShown([](QDialog& d) {
        EXPECT_EQ(d.findChild<QComboBox*>("sampleRate")->currentText(), "44100 Hz");
        d.findChild<QComboBox*>("sampleRate")->setCurrentIndex(0);
        d.findChild<QComboBox*>("channels")->setCurrentIndex(0);
    });
    ASSERT_TRUE(dialogs.chooseAudioFormat(a));
    EXPECT_EQ(a.sampleRate, 11025);
    EXPECT_EQ(a.channels, 1);
    EXPECT_EQ(a.bits, 16);
}

} // namespace
} // namespace tarvex
