#include "station/settings_store.h"
#include "capture/capture_device_panel.h"
#include "support/widget_lookup.h"
#include "testkit/fake_capture_component.h"
#include "testkit/scripted_prompter.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace tarvex;

namespace {

FakeVideoDevice camera(const QString& name)
{
    FakeVideoDevice d;
    d.name = name;
    d.resolutions = {"160x120", "320x240", "640x480"};
    d.resolution = 1;
    d.colorFormats = {"RGB24", "YUY2", "I420"};
    d.colorFormat = 0;
    return d;
}

QStringList items(QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

class DevicePanel : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SettingsStore store{dir.filePath("s.ini")};
    ScriptedPrompter prompter;
    FakeCaptureComponent cap;
    std::unique_ptr<CaptureDevicePanel> panel;

    void make() { panel = std::make_unique<CaptureDevicePanel>(store, prompter, cap); }

    // The start-up calls in the order the main screen makes them.
    void startUp()
    {
        make();
        panel->selectStreamMode();
        panel->prepareAtStartup();
        panel->toggleConnection();
        panel->applyStoredCompression();
        panel->switchPreviewOn();
        panel->setStreamFile("testvid.avi");
    }

    template <class T>
    T* get(const char* name)
    {
        return test::child<T>(panel.get(), name);
    }
    QComboBox* box(const char* name) { return get<QComboBox>(name); }
    QString text(const char* name)
    {
        if (auto* l = panel->findChild<QLabel*>(QString::fromLatin1(name))) return l->text();
        if (auto* e = panel->findChild<QLineEdit*>(QString::fromLatin1(name))) return e->text();
        return get<QAbstractButton>(name)->text();
    }
    bool enabled(const char* name) { return get<QWidget>(name)->isEnabled(); }
};

} // namespace

// --- The panel as the main screen places it ---

TEST_F(DevicePanel, HoldsEveryControlUnderItsNameInTheTwoFrames)
{
    make();
    EXPECT_EQ(panel->commandsFrame()->objectName(), "Frame3");
    EXPECT_EQ(panel->commandsFrame()->title(), "Commands");
    EXPECT_EQ(panel->optionsFrame()->objectName(), "StrmOptions");
    EXPECT_EQ(panel->optionsFrame()->title(), "Options");
    EXPECT_EQ(panel->statusLabel()->objectName(), "LblStatus");
    for (const char* name : {"Combo1", "VideoInput", "Channel", "ResolutionCombo", "ColorFormatCombo", "VideoConfig",
                             "Effect", "CaptureType", "CmdConnect", "CmdPreview", "CmdCap", "ResolutionLabel",
                             "ColorFormatLabel", "InputLabel", "ChannelLabel"})
        EXPECT_TRUE(panel->commandsFrame()->findChild<QWidget*>(name)) << name;
    for (const char* name : {"CompressionCombo", "ComprConfig", "EdtRate", "EdtLimit", "AudioDevice", "ComboAttrib",
                             "AudioConfig", "AudioCompr", "Check1", "LblFrames", "LblFrmDrop", "LblSamples",
                             "LblTime", "EdtFile", "CmdCapFN", "AttribLabel", "AudioCompLabel"})
        EXPECT_TRUE(panel->optionsFrame()->findChild<QWidget*>(name)) << name;
    EXPECT_EQ(text("VideoConfig"), "Configure...");
    EXPECT_EQ(text("CmdCapFN"), "...");
    EXPECT_EQ(text("Check1"), "Listen");
    EXPECT_EQ(items(box("ComboAttrib")).size(), 16);
    for (const char* hidden : {"CmdConnect", "CmdPreview", "CmdCap", "CaptureType"})
        EXPECT_TRUE(get<QWidget>(hidden)->isHidden()) << hidden;
}

TEST_F(DevicePanel, StreamModeCaptionsTheCaptureButtonAndShowsTheStreamOptions)
{
    make();
    panel->selectStreamMode();
    EXPECT_EQ(box("CaptureType")->currentText(), "Streams");
    EXPECT_EQ(text("CmdCap"), "Capture Stream");
    EXPECT_FALSE(panel->optionsFrame()->isHidden());
    EXPECT_TRUE(get<QGroupBox>("FrameOptions")->isHidden());
}

// --- Start-up and connecting ---

TEST_F(DevicePanel, WithoutAVideoDeviceStartUpSaysSoAndConnectsNothing)
{
    startUp();
    EXPECT_EQ(items(box("Combo1")), QStringList{"No Capture Devices"});
    EXPECT_EQ(box("Combo1")->currentIndex(), 0);
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].kind, "message");
    EXPECT_EQ(prompter.shown()[0].text, "No MCI capture devices are installed on this system");
    EXPECT_EQ(cap.calls("connectDevice"), 0);
    EXPECT_EQ(text("CmdConnect"), "Connect");
    EXPECT_FALSE(enabled("CmdCap"));
    EXPECT_EQ(text("EdtFile"), "testvid.avi");
    EXPECT_TRUE(cap.preview());
}

TEST_F(DevicePanel, StartUpConnectsTheStoredDeviceAndFillsItsLists)
{
    cap.addVideoDevice(camera("Cam A")).addVideoDevice(camera("Cam B"));
    store.save("device", 1);
    store.save("ColorFormat", 2);
    cap.setDialogAvailable(CaptureComponent::VideoSourceDialog);
    startUp();
    EXPECT_EQ(prompter.unexpected(), 0);
    EXPECT_TRUE(prompter.messages().isEmpty());
    EXPECT_EQ(items(box("Combo1")), (QStringList{"Cam A", "Cam B"}));
    EXPECT_EQ(box("Combo1")->currentIndex(), 1);
    EXPECT_EQ(cap.log("connectDevice"), QStringList{"connectDevice(1)"});
    EXPECT_EQ(store.getInt("device", -1), 1);
    EXPECT_EQ(text("CmdConnect"), "Disconnect");
    EXPECT_EQ(items(box("ResolutionCombo")), (QStringList{"160x120", "320x240", "640x480"}));
    EXPECT_EQ(box("ResolutionCombo")->currentIndex(), 1);   // the device's own; nothing stored
    EXPECT_EQ(box("ColorFormatCombo")->currentIndex(), 2);  // the stored one, pushed
    EXPECT_EQ(cap.videoDeviceData(1).colorFormat, 2);
    EXPECT_EQ(cap.calls("setResolution"), 0);
    for (const char* on : {"CmdCap", "CmdPreview", "VideoConfig", "ResolutionCombo", "ResolutionLabel",
                           "ColorFormatCombo", "ColorFormatLabel"})
        EXPECT_TRUE(enabled(on)) << on;
    for (const char* off : {"VideoInput", "InputLabel", "Channel", "ChannelLabel"})
        EXPECT_FALSE(enabled(off)) << off;
}

TEST_F(DevicePanel, AnAbsentOrUnknownStoredDeviceSelectsTheFirst)
{
    cap.addVideoDevice(camera("Cam A")).addVideoDevice(camera("Cam B"));
    store.save("device", 7);
    startUp();
    EXPECT_EQ(cap.log("connectDevice"), QStringList{"connectDevice(0)"});
}

TEST_F(DevicePanel, TheResolutionIsWrittenInLowerCaseAndReadInMixedCase)
{
    cap.addVideoDevice(camera("Cam"));
    startUp();
    box("ResolutionCombo")->setCurrentIndex(2);
    EXPECT_EQ(cap.log("setResolution"), QStringList{"setResolution(2)"});
    EXPECT_EQ(store.get("videoresolution"), "2");

    // Next start-up: the stored entry is applied again.
    cap.videoDeviceData(0).resolution = 0;
    (void)cap.disconnectDevice();
    startUp();
    EXPECT_EQ(box("ResolutionCombo")->currentIndex(), 2);
    EXPECT_EQ(cap.videoDeviceData(0).resolution, 2);
}

TEST_F(DevicePanel, InputsAndTunerAreListedWhenTheDeviceHasThem)
{
    FakeVideoDevice tv = camera("TV Card");
    tv.inputs = {"Composite", "S-Video", "Tuner"};
    tv.input = 2;
    tv.tuner = true;
    tv.lowestChannel = 2;
    tv.highestChannel = 6;
    tv.channel = 4;
    cap.addVideoDevice(tv);
    store.save("VideoInput", 1);
    startUp();
    EXPECT_TRUE(enabled("VideoInput"));
    EXPECT_EQ(box("VideoInput")->currentIndex(), 1);
    EXPECT_EQ(cap.videoDeviceData(0).input, 1);
    EXPECT_EQ(store.getInt("VideoInput", -1), 1);
    EXPECT_EQ(items(box("Channel")), (QStringList{"2", "3", "4", "5", "6"}));
    EXPECT_EQ(box("Channel")->currentIndex(), 2);
    EXPECT_EQ(cap.calls("setChannel"), 0);

    box("Channel")->setCurrentIndex(4);
    EXPECT_EQ(cap.log("setChannel"), QStringList{"setChannel(6)"});
}

TEST_F(DevicePanel, WithoutStoredInputTheFirstInputIsTaken)
{
    FakeVideoDevice d = camera("Cam");
    d.inputs = {"Composite", "S-Video"};
    d.input = 1;
    cap.addVideoDevice(d);
    startUp();
    EXPECT_EQ(box("VideoInput")->currentIndex(), 0);
    EXPECT_EQ(cap.videoDeviceData(0).input, 0);
}

TEST_F(DevicePanel, AConnectRefusalShowsTheHexadecimalErrorBox)
{
    cap.addVideoDevice(camera("Cam"));
    cap.failNext("connectDevice", {captureErrorNumber(0x80040218u), "The device is in use"});
    startUp();
    ASSERT_EQ(prompter.messages(), QStringList{"Eror code: 80040218 The device is in use"});
    EXPECT_EQ(prompter.shown()[0].title, "Error");
    EXPECT_EQ(text("CmdConnect"), "Connect");
    EXPECT_FALSE(enabled("CmdCap"));
    EXPECT_EQ(store.contains("device"), false);
}

TEST_F(DevicePanel, ConnectingWithPreviewOnShowsTheCaptureScreen)
{
    cap.addVideoDevice(camera("Cam"));
    cap.setPreviewState(true);
    make();
    QSignalSpy screen(panel.get(), &CaptureDevicePanel::captureScreenRequested);
    panel->prepareAtStartup();
    EXPECT_EQ(text("CmdPreview"), "Preview Off");
    panel->toggleConnection();
    ASSERT_EQ(screen.size(), 1);
    EXPECT_EQ(screen[0][0].toBool(), true);
    EXPECT_EQ(cap.log("setPreview"), QStringList{"setPreview(true)"});
}

TEST_F(DevicePanel, ConnectTwiceDisconnectsAndEmptiesTheDeviceLists)
{
    cap.addVideoDevice(camera("Cam"));
    startUp();
    QSignalSpy screen(panel.get(), &CaptureDevicePanel::captureScreenRequested);
    panel->toggleConnection();
    EXPECT_EQ(cap.calls("disconnectDevice"), 1);
    EXPECT_EQ(text("CmdConnect"), "Connect");
    EXPECT_EQ(box("ResolutionCombo")->count(), 0);
    EXPECT_EQ(box("ColorFormatCombo")->count(), 0);
    for (const char* off : {"CmdCap", "CmdPreview", "VideoConfig", "ResolutionCombo", "ResolutionLabel",
                            "ColorFormatCombo", "ColorFormatLabel", "AudioConfig", "ComboAttrib", "AudioCompr"})
        EXPECT_FALSE(enabled(off)) << off;
    ASSERT_EQ(screen.size(), 1);
    EXPECT_EQ(screen[0][0].toBool(), false);
}

TEST_F(DevicePanel, ListsOfAudioDevicesCompressorsAndEffectsStartWithNone)
{
    cap.addVideoDevice(camera("Cam"));
    cap.addAudioDevice("Line In").addAudioDevice("Mic", true);
    cap.setVideoCompressors({"MJPEG", "DV"}, 1);
    cap.setAudioCompressors({"PCM"});
    cap.setEffects(CaptureComponent::VideoEffect1, {"Mirror", "Gray"}, 1);
    make();
    panel->prepareAtStartup();
    EXPECT_EQ(items(box("AudioDevice")), (QStringList{"None", "Line In", "Mic"}));
    EXPECT_EQ(box("AudioDevice")->currentIndex(), 2);
    EXPECT_EQ(items(box("CompressionCombo")), (QStringList{"None", "MJPEG", "DV"}));
    EXPECT_EQ(box("CompressionCombo")->currentIndex(), 2);
    EXPECT_EQ(box("AudioCompr")->currentIndex(), 0);
    EXPECT_EQ(items(box("Effect")), (QStringList{"None", "Mirror", "Gray"}));
    EXPECT_TRUE(enabled("Effect"));
    EXPECT_EQ(box("Effect")->currentText(), "Gray");
    EXPECT_EQ(cap.calls("setAudioDevice") + cap.calls("setVideoCompressor") + cap.calls("setAudioCompressor"), 0);
}

TEST_F(DevicePanel, WithoutEffectsTheEffectBoxIsDisabledOnNone)
{
    make();
    panel->prepareAtStartup();
    EXPECT_EQ(items(box("Effect")), QStringList{"None"});
    EXPECT_FALSE(enabled("Effect"));
}

TEST_F(DevicePanel, TheStoredCompressionIsAppliedAfterConnecting)
{
    cap.addVideoDevice(camera("Cam"));
    cap.setVideoCompressors({"MJPEG", "DV"});
    cap.setDialogAvailable(CaptureComponent::VideoCompressionDialog);
    store.save("compression", 2);
    startUp();
    EXPECT_EQ(cap.log("setVideoCompressor"), QStringList{"setVideoCompressor(1)"});
    EXPECT_TRUE(enabled("ComprConfig"));
    EXPECT_EQ(store.getInt("compression", -1), 2);

    box("CompressionCombo")->setCurrentIndex(0);
    EXPECT_EQ(cap.videoCompressor(), -1);
    EXPECT_FALSE(enabled("ComprConfig"));
    EXPECT_EQ(store.getInt("compression", -1), 0);
}

TEST_F(DevicePanel, AFreshStationRecordsMjpegTheNameOutranksTheOldNumber)
{
    cap.addVideoDevice(camera("Cam"));
    cap.setVideoCompressors({"DV", "MJPEG"});
    startUp();
    EXPECT_EQ(box("CompressionCombo")->currentText(), "MJPEG");
    EXPECT_EQ(cap.videoCompressor(), 1);

    box("CompressionCombo")->setCurrentIndex(1);
    EXPECT_EQ(store.get("compressionName"), "DV");
    cap.setVideoCompressors({"MJPEG", "H.264", "DV"});   // another build, another order
    startUp();
    EXPECT_EQ(cap.videoCompressor(), 2);

    store.save("compressionName", QString());   // a station from before names were kept
    store.save("compression", 1);
    startUp();
    EXPECT_EQ(box("CompressionCombo")->currentText(), "MJPEG");
}

// --- Frame rate ---

TEST_F(DevicePanel, FrameRateTextSetsTheRateTheStoredKeyAndTheCaption)
{
    make();
    QSignalSpy caption(panel.get(), &CaptureDevicePanel::configCaptionChanged);
    auto* rate = get<QLineEdit>("EdtRate");
    rate->setText("30");
    rate->setText("12");
    rate->setText("3");
    rate->setText("15");
    ASSERT_EQ(caption.size(), 3);
    EXPECT_EQ(caption[0][0].toString(), "Currently Configured for R");
    EXPECT_EQ(caption[1][0].toString(), "Currently Configured for Normal/C");
    EXPECT_EQ(caption[2][0].toString(), "Currently Configured for L");
    EXPECT_EQ(cap.log("setFrameRate"),
              (QStringList{"setFrameRate(30)", "setFrameRate(12)", "setFrameRate(3)", "setFrameRate(15)"}));
    EXPECT_EQ(store.get("framerate"), "15");
    EXPECT_EQ(CaptureDevicePanel::frameRateCaption("3"), "");
    EXPECT_EQ(CaptureDevicePanel::frameRateCaption("25"), "Currently Configured for R");
}

TEST_F(DevicePanel, StartUpShowsTheStoredFrameRateOrTheComponentsOne)
{
    cap.setFrameRateState(15);
    cap.setTimeLimitState(8);
    store.save("framerate", "30");
    make();
    panel->prepareAtStartup();
    EXPECT_EQ(text("EdtRate"), "30");
    EXPECT_EQ(text("EdtLimit"), "8");
    EXPECT_EQ(cap.frameRate(), 30);

    store.save("framerate", "0");
    make();
    panel->prepareAtStartup();
    EXPECT_EQ(text("EdtRate"), "30");   // the component now runs at 30
    EXPECT_EQ(panel->frameRateBoxValue(), 30);
}

// --- Audio ---

TEST_F(DevicePanel, LoadAudioFormatAppendsAndSelectsAFormatOutsideTheList)
{
    cap.setAudioFormat(48000, 2, 16);
    make();
    ASSERT_EQ(box("ComboAttrib")->currentIndex(), 0);
    panel->loadAudioFormat();
    EXPECT_EQ(box("ComboAttrib")->count(), 17);
    EXPECT_EQ(box("ComboAttrib")->currentText(), "48.000 Khz, 16 bit, Stereo");
    // The device keeps its own format.
    EXPECT_EQ(cap.audioSampleRate(), 48000);
    EXPECT_EQ(cap.audioChannels(), 2);
    EXPECT_EQ(cap.audioBits(), 16);

    panel->loadAudioFormat();
    EXPECT_EQ(box("ComboAttrib")->count(), 17);   // found again, not appended twice
}

TEST_F(DevicePanel, LoadAudioFormatMatchesAListEntryIgnoringCase)
{
    cap.setAudioFormat(22050, 2, 16);
    make();
    panel->loadAudioFormat();
    EXPECT_EQ(box("ComboAttrib")->currentIndex(), 7);
    EXPECT_EQ(box("ComboAttrib")->count(), 16);
}

TEST_F(DevicePanel, LoadAudioFormatReadsTheDevicesFormatWithoutChangingIt)
{
    cap.setAudioFormat(48000, 2, 16);
    make();
    cap.clearLog();
    panel->loadAudioFormat();
    EXPECT_EQ(cap.log(), QStringList{});
    EXPECT_EQ(box("ComboAttrib")->currentText(), "48.000 Khz, 16 bit, Stereo");
    EXPECT_EQ(cap.audioSampleRate(), 48000);

    // The operator's choice still sets the device, and a later initialisation keeps it.
    box("ComboAttrib")->setCurrentIndex(6);
    EXPECT_EQ(cap.log(), (QStringList{"setAudioSampleRate(22050)", "setAudioChannels(1)", "setAudioBits(16)"}));
    cap.clearLog();
    panel->loadAudioFormat();
    EXPECT_EQ(cap.log(), QStringList{});
    EXPECT_EQ(box("ComboAttrib")->currentIndex(), 6);
}

TEST_F(DevicePanel, ARefusedAudioFormatReselectsTheDevicesFormatThenReports)
{
    cap.setAudioFormat(48000, 2, 16);
    cap.setSupportedSampleRates({48000});
    make();
    panel->loadAudioFormat();
    box("ComboAttrib")->setCurrentIndex(15);
    EXPECT_EQ(box("ComboAttrib")->currentText(), "48.000 Khz, 16 bit, Stereo");
    EXPECT_EQ(cap.audioSampleRate(), 48000);
    ASSERT_EQ(prompter.messages(),
              QStringList{QStringLiteral("Eror code: %1 Unsupported sample rate").arg(CaptureError::Unsupported)});
    EXPECT_EQ(prompter.shown()[0].title, "Error");
}

TEST_F(DevicePanel, AudioBoxesNeedAnAudioDeviceAndAConnection)
{
    cap.addVideoDevice(camera("Cam"));
    cap.addAudioDevice("Mic");
    cap.setDialogAvailable(CaptureComponent::AudioFormatDialog);
    startUp();
    EXPECT_FALSE(enabled("ComboAttrib"));   // "None" selected
    box("AudioDevice")->setCurrentIndex(1);
    EXPECT_EQ(cap.audioDevice(), 0);
    for (const char* on : {"AudioConfig", "AttribLabel", "ComboAttrib", "AudioCompLabel", "AudioCompr"})
        EXPECT_TRUE(enabled(on)) << on;
    cap.setDialogAvailable(CaptureComponent::AudioFormatDialog, false);
    panel->enableAudioConfig();
    EXPECT_FALSE(enabled("AudioConfig"));
    EXPECT_TRUE(enabled("ComboAttrib"));
}

TEST_F(DevicePanel, ListenFollowsTheCheckBox)
{
    make();
    get<QCheckBox>("Check1")->setChecked(true);
    EXPECT_TRUE(cap.audioListen());
}

// --- Values pushed before a recording ---

TEST_F(DevicePanel, ApplyCaptureValuesPushesFileRateLimitAndAudioFormat)
{
    make();
    panel->selectStreamMode();
    get<QLineEdit>("EdtFile")->setText("C:/caps/Annjump1.avi");
    get<QLineEdit>("EdtRate")->setText("29.5");
    get<QLineEdit>("EdtLimit")->setText("6");
    box("ComboAttrib")->setCurrentText("22.050 Khz, 16 Bit, Stereo");
    cap.clearLog();
    EXPECT_FALSE(panel->applyCaptureValues());
    EXPECT_EQ(cap.log(), (QStringList{"setCaptureFileName(C:/caps/Annjump1.avi)", "setFrameRate(30)",
                                      "setTimeLimit(6)", "setAudioSampleRate(22050)", "setAudioChannels(2)",
                                      "setAudioBits(16)"}));
}

TEST_F(DevicePanel, ApplyCaptureValuesStopsAtTheFirstRefusal)
{
    make();
    panel->selectStreamMode();
    const CaptureError full{7, "Disk full"};
    cap.failNext("setTimeLimit", full);
    EXPECT_EQ(panel->applyCaptureValues(), full);
    EXPECT_EQ(cap.calls("setAudioSampleRate"), 0);
}

// --- Operator changes and their error boxes ---

TEST_F(DevicePanel, ChangeHandlersReportRefusalsInDecimal)
{
    cap.addVideoDevice(camera("Cam"));
    startUp();
    cap.failNext("setResolution", {5, "Access denied"});
    box("ResolutionCombo")->setCurrentIndex(0);
    cap.failNext("setColorFormat", {380, "Invalid property value"});
    box("ColorFormatCombo")->setCurrentIndex(1);
    EXPECT_EQ(prompter.messages(),
              (QStringList{"Eror code: 5 Access denied", "Eror code: 380 Invalid property value"}));
    EXPECT_FALSE(store.contains("videoresolution"));
    EXPECT_FALSE(store.contains("ColorFormat"));
}

TEST_F(DevicePanel, TheChannelHandlerSpellsErrorCorrectly)
{
    FakeVideoDevice tv = camera("TV");
    tv.tuner = true;
    tv.lowestChannel = 1;
    tv.highestChannel = 3;
    tv.channel = 1;
    cap.addVideoDevice(tv);
    startUp();
    cap.failNext("setChannel", {12, "No signal"});
    box("Channel")->setCurrentIndex(2);
    EXPECT_EQ(prompter.messages(), QStringList{"Error code: 12 No signal"});
    EXPECT_EQ(prompter.shown()[0].title, "Error");
}

TEST_F(DevicePanel, AnEffectTheComponentCannotFindFallsBackToNone)
{
    cap.setEffects(CaptureComponent::VideoEffect1, {"Mirror", "Gray"});
    make();
    panel->prepareAtStartup();
    box("Effect")->setCurrentIndex(1);
    EXPECT_EQ(cap.currentEffect(CaptureComponent::VideoEffect1, 0), 0);

    cap.setEffects(CaptureComponent::VideoEffect1, {"Mirror"}, 0);
    box("Effect")->setCurrentIndex(2);
    EXPECT_EQ(prompter.messages(), QStringList{"Cannot find Gray effect"});
    EXPECT_EQ(box("Effect")->currentText(), "None");
    EXPECT_EQ(cap.currentEffect(CaptureComponent::VideoEffect1, 0), -1);

    cap.failNext("setEffect", {9, "Effect failed"});
    box("Effect")->setCurrentIndex(1);
    EXPECT_EQ(prompter.messages().last(), "Eror code: 9 Effect failed");
}

TEST_F(DevicePanel, TheVideoDialogCarriesTheEffectFlagAndItsChoicesAreReadBack)
{
    cap.addVideoDevice(camera("Cam"));
    cap.setDialogAvailable(CaptureComponent::VideoSourceDialog);
    cap.setEffects(CaptureComponent::VideoEffect1, {"Mirror"});
    cap.onDialog([this](int) {
        cap.videoDeviceData(0).resolution = 2;
        cap.videoDeviceData(0).colorFormat = 1;
    });
    startUp();
    get<QPushButton>("VideoConfig")->click();
    box("Effect")->setCurrentIndex(1);
    get<QPushButton>("VideoConfig")->click();
    EXPECT_EQ(cap.log("showDialog"), (QStringList{"showDialog(35)", "showDialog(4131)"}));
    EXPECT_EQ(box("ResolutionCombo")->currentIndex(), 2);
    EXPECT_EQ(box("ColorFormatCombo")->currentIndex(), 1);
    EXPECT_EQ(cap.calls("setResolution"), 0);
}

TEST_F(DevicePanel, TheStreamFileIsChosenWithTheSaveDialog)
{
    make();
    panel->setStreamFile("testvid.avi");
    prompter.file(QStringLiteral("/caps/run.avi"));
    get<QPushButton>("CmdCapFN")->click();
    EXPECT_EQ(text("EdtFile"), "/caps/run.avi");
    prompter.cancel();
    get<QPushButton>("CmdCapFN")->click();
    EXPECT_EQ(text("EdtFile"), "/caps/run.avi");
    ASSERT_EQ(prompter.shown().size(), 2);
    EXPECT_EQ(prompter.shown()[0].kind, "save");
    EXPECT_EQ(prompter.shown()[0].request.initialName, "testvid.avi");
}

// --- Devices plugged in and removed ---

TEST_F(DevicePanel, ACameraPluggedIntoAnEmptyListTakesThePlaceholderWithoutAsking)
{
    startUp();
    prompter.clear();
    cap.plugVideoDevice(camera("USB Cam"));
    EXPECT_EQ(items(box("Combo1")), QStringList{"USB Cam"});
    EXPECT_EQ(box("Combo1")->currentIndex(), 0);
    EXPECT_EQ(cap.log("setVideoDevice"), QStringList{"setVideoDevice(0)"});
    EXPECT_TRUE(prompter.shown().isEmpty());
}

TEST_F(DevicePanel, ASecondCameraIsOfferedOnlyWhileNotConnected)
{
    cap.addVideoDevice(camera("Cam A"));
    startUp();
    cap.plugVideoDevice(camera("Cam B"));
    EXPECT_TRUE(prompter.shown().isEmpty());
    EXPECT_EQ(items(box("Combo1")), (QStringList{"Cam A", "Cam B"}));
    EXPECT_EQ(box("Combo1")->currentIndex(), 0);

    panel->toggleConnection();   // disconnect
    prompter.yes();
    cap.plugVideoDevice(camera("Cam C"));
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].kind, "yesno");
    EXPECT_EQ(prompter.shown()[0].text, "Cam C is plugged into your computer. Do you want to use it?");
    EXPECT_EQ(cap.videoDevice(), 2);
    EXPECT_EQ(box("Combo1")->currentIndex(), 2);
}

TEST_F(DevicePanel, AnsweringNoKeepsTheCurrentCamera)
{
    cap.addVideoDevice(camera("Cam A"));
    make();
    panel->prepareAtStartup();
    prompter.no();
    cap.plugVideoDevice(camera("Cam B"));
    EXPECT_EQ(prompter.pending(), 0);
    EXPECT_EQ(cap.videoDevice(), 0);
    EXPECT_EQ(box("Combo1")->currentIndex(), 0);
}

TEST_F(DevicePanel, RemovingTheConnectedCameraDisconnectsThePanel)
{
    cap.addVideoDevice(camera("Cam A"));
    startUp();
    QSignalSpy screen(panel.get(), &CaptureDevicePanel::captureScreenRequested);
    cap.unplugVideoDevice(0);
    EXPECT_EQ(items(box("Combo1")), QStringList{"No Capture Devices"});
    EXPECT_EQ(text("CmdConnect"), "Connect");
    EXPECT_EQ(box("ResolutionCombo")->count(), 0);
    EXPECT_EQ(screen.size(), 1);
}

TEST_F(DevicePanel, RemovingAnotherCameraKeepsTheConnection)
{
    cap.addVideoDevice(camera("Cam A")).addVideoDevice(camera("Cam B"));
    store.save("device", 1);
    startUp();
    cap.unplugVideoDevice(0);
    EXPECT_EQ(items(box("Combo1")), QStringList{"Cam B"});
    EXPECT_EQ(box("Combo1")->currentIndex(), 0);
    EXPECT_EQ(text("CmdConnect"), "Disconnect");
}

TEST_F(DevicePanel, AudioDevicesArriveAndLeaveBehindNone)
{
    cap.addAudioDevice("Line In", true);
    make();
    panel->prepareAtStartup();
    prompter.yes();
    cap.plugAudioDevice("USB Mic");
    EXPECT_EQ(prompter.texts(), QStringList{"USB Mic is plugged into your computer. Do you want to use it?"});
    EXPECT_EQ(cap.audioDevice(), 1);
    EXPECT_EQ(box("AudioDevice")->currentText(), "USB Mic");

    cap.unplugAudioDevice(1);
    EXPECT_EQ(items(box("AudioDevice")), (QStringList{"None", "Line In"}));
    EXPECT_EQ(box("AudioDevice")->currentText(), "None");
    EXPECT_EQ(cap.calls("setAudioDevice"), 1);
}

// --- Status notifications ---

TEST_F(DevicePanel, StatusNotificationsUpdateTheStatusLineAndStatistics)
{
    make();
    panel->selectStreamMode();
    cap.emitStatusText("Previewing");
    EXPECT_EQ(panel->statusLabel()->text(), "Previewing");

    get<QPushButton>("CmdCap")->setText("End Capture");
    cap.emitStatusCode(301, "Ready");
    EXPECT_EQ(text("CmdCap"), "Capture Stream");
    EXPECT_EQ(panel->statusLabel()->text(), "Previewing");

    cap.setStatistics({150, 2, 220500, 5003});
    cap.emitStatusCode(510, "Capture finished");
    EXPECT_EQ(text("LblFrames"), "150");
    EXPECT_EQ(text("LblFrmDrop"), "2");
    EXPECT_EQ(text("LblSamples"), "220500");
    EXPECT_EQ(text("LblTime"), "5003");
    EXPECT_EQ(panel->statusLabel()->text(), "Capture finished");
}

// --- The hidden state holders ---

TEST_F(DevicePanel, TheHiddenCaptureButtonStartsAndEndsAStreamWithStatistics)
{
    cap.addVideoDevice(camera("Cam"));
    startUp();
    auto* cmdCap = get<QPushButton>("CmdCap");
    cmdCap->click();
    EXPECT_TRUE(cap.isCapturing());
    EXPECT_EQ(cap.captureFileName(), "testvid.avi");
    EXPECT_EQ(cmdCap->text(), "End Capture");
    cap.setStatistics({75, 1, 110250, 2500});
    cmdCap->click();
    EXPECT_FALSE(cap.isCapturing());
    EXPECT_EQ(cmdCap->text(), "Capture Stream");
    EXPECT_EQ(text("LblFrames"), "75");
    EXPECT_EQ(text("LblTime"), "2500");

    cap.failNext("startCapture", {captureErrorNumber(0x80040005u), "Busy"});
    cmdCap->click();
    EXPECT_EQ(prompter.messages(), QStringList{"Eror code: 80040005 Busy"});
    EXPECT_EQ(cmdCap->text(), "Capture Stream");
}

TEST_F(DevicePanel, TheHiddenCaptureButtonAsksForAStillAndShowsALateFailureInHex)
{
    cap.addVideoDevice(camera("Cam"));
    startUp();
    box("CaptureType")->setCurrentIndex(0);   // Frames
    panel->setStreamFile("still.jpg");
    cap.fakeDevice().stillOutcome = CaptureError{captureErrorNumber(0x80040001u), "The capture device delivers no pictures"};
    get<QPushButton>("CmdCap")->click();
    EXPECT_EQ(cap.fakeDevice().lastFramePath(), "still.jpg");
    EXPECT_TRUE(prompter.messages().isEmpty());   // the click does not wait for the picture
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.messages(), QStringList{"Eror code: 80040001 The capture device delivers no pictures"});

    cap.fakeDevice().stillOutcome.reset();
    get<QPushButton>("CmdCap")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(cap.calls("captureFrame"), 2);
}

TEST_F(DevicePanel, TheHiddenPreviewButtonTogglesPreviewAndTheCaptureScreen)
{
    cap.addVideoDevice(camera("Cam"));
    startUp();
    QSignalSpy screen(panel.get(), &CaptureDevicePanel::captureScreenRequested);
    auto* preview = get<QPushButton>("CmdPreview");
    ASSERT_EQ(preview->text(), "Preview On");
    preview->click();
    EXPECT_EQ(preview->text(), "Preview Off");
    preview->click();
    EXPECT_EQ(preview->text(), "Preview On");
    EXPECT_FALSE(cap.preview());
    ASSERT_EQ(screen.size(), 2);
    EXPECT_EQ(screen[0][0].toBool(), true);
    EXPECT_EQ(screen[1][0].toBool(), false);
}

TEST_F(DevicePanel, FrameOptionsAndListenAreFilledFromTheComponentAtStartUp)
{
    FrameCaptureOptions o;
    o.progressiveJpeg = true;
    o.chromaFactor = 40;
    o.caption = "Lake";
    cap.setFrameOptionsState(o);
    cap.setListenState(true);
    make();
    panel->prepareAtStartup();
    EXPECT_TRUE(get<QCheckBox>("ChkProg")->isChecked());
    EXPECT_EQ(text("EdtChrom"), "40");
    EXPECT_EQ(text("EdtCaption"), "Lake");
    EXPECT_TRUE(get<QCheckBox>("Check1")->isChecked());
    EXPECT_EQ(cap.calls("setAudioListen"), 1);   // set to what it already was
    EXPECT_TRUE(cap.audioListen());
}

TEST_F(DevicePanel, TheCamerasOfTheOtherGridsAreChosenByNameAndGoToTheComponent)
{
    store.save("grids", 3);
    store.save("camera3", QString("Harbour"));   // chosen on another day, not plugged in now
    cap.addVideoDevice(camera("North")).addVideoDevice(camera("South")).addVideoDevice(camera("Tower"));
    startUp();
    panel->show();
    ASSERT_TRUE(get<QGroupBox>("GridCameras")->isVisibleTo(panel.get()));
    EXPECT_EQ(items(box("cmbCamera2")), (QStringList{"None", "North", "South", "Tower"}));
    EXPECT_EQ(box("cmbCamera2")->currentText(), "None");
    EXPECT_EQ(items(box("cmbCamera3")), (QStringList{"None", "North", "South", "Tower", "Harbour"}));
    EXPECT_EQ(box("cmbCamera3")->currentText(), "Harbour");

    box("cmbCamera2")->setCurrentIndex(3);
    emit box("cmbCamera2")->activated(3);
    EXPECT_EQ(store.get("camera2"), "Tower");
    ASSERT_FALSE(panel->applyCaptureValues());
    EXPECT_EQ(cap.companionCameras(), (QStringList{"Tower", "Harbour"}));

    // A camera plugged in later is offered at once; the choices stay.
    cap.plugVideoDevice(camera("Dock"));
    EXPECT_EQ(items(box("cmbCamera2")), (QStringList{"None", "North", "South", "Tower", "Dock"}));
    EXPECT_EQ(box("cmbCamera2")->currentText(), "Tower");

    // Two grids: only grid 2's camera is recorded; one grid: none, and the block is hidden.
    store.save("grids", 2);
    panel->refreshGridCameras();
    EXPECT_FALSE(box("cmbCamera3")->isVisibleTo(panel.get()));
    ASSERT_FALSE(panel->applyCaptureValues());
    EXPECT_EQ(cap.companionCameras(), QStringList{"Tower"});
    store.save("grids", 1);
    panel->refreshGridCameras();
    EXPECT_FALSE(get<QGroupBox>("GridCameras")->isVisibleTo(panel.get()));
    ASSERT_FALSE(panel->applyCaptureValues());
    EXPECT_EQ(cap.companionCameras(), QStringList());
}
