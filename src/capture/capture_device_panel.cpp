#include "capture/capture_device_panel.h"
#include "common/prompter.h"
#include "station/settings_keys.h"
#include "station/settings_store.h"
#include "capture/capture_formats.h"
#include "common/text_forms.h"
#include "media/file_helpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tarvex {

namespace {

const QString kNoDevices = QStringLiteral("No Capture Devices");
const QString kNone = QStringLiteral("None");
const QString kConnect = QStringLiteral("Connect");
const QString kDisconnect = QStringLiteral("Disconnect");
const QString kPreviewOn = QStringLiteral("Preview On");
const QString kPreviewOff = QStringLiteral("Preview Off");
const QString kCaptureStream = QStringLiteral("Capture Stream");
const QString kCaptureFrame = QStringLiteral("Capture Frame");
const QString kEndCapture = QStringLiteral("End Capture");
const QString kStreams = QStringLiteral("Streams");


// The wait pointer for the length of a scope, restored on every way out.
class WaitPointer {
public:
    WaitPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitPointer() { QApplication::restoreOverrideCursor(); }
    WaitPointer(const WaitPointer&) = delete;
    WaitPointer& operator=(const WaitPointer&) = delete;
};

// Replaces the entries without running the change handling and leaves nothing selected, so
// the selection that follows runs it as a selection by the operator would.
void refill(QComboBox* box, const QStringList& items)
{
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(-1);
}

void clearQuietly(QComboBox* box)
{
    const QSignalBlocker quiet(box);
    box->clear();
}

// Selects an entry if there is one at that index; anything else leaves the box as it is.
void selectIfPresent(QComboBox* box, int index)
{
    if (index >= 0 && index < box->count())
        box->setCurrentIndex(index);
}

void setEnabledAll(std::initializer_list<QWidget*> widgets, bool enabled)
{
    for (QWidget* w : widgets)
        w->setEnabled(enabled);
}

template <class Count, class Name>
QStringList namesOf(Count count, Name name)
{
    QStringList out;
    const int n = count();
    for (int i = 0; i < n; ++i)
        out << name(i);
    return out;
}

} // namespace

CaptureDevicePanel::CaptureDevicePanel(SettingsStore& store, Prompter& prompter,
                                       CaptureComponent& capture, QWidget* parent)
    : QWidget(parent), store_(store), prompter_(prompter), capture_(capture)
{
    buildControls();
    wireHandlers();
}

CaptureDevicePanel::~CaptureDevicePanel() = default;

void CaptureDevicePanel::buildControls()
{
    auto named = [](auto* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    auto label = [&](QWidget* parent, const char* name, const QString& text) {
        return named(new QLabel(text, parent), name);
    };
    auto combo = [&](QWidget* parent, const char* name) { return named(new QComboBox(parent), name); };
    auto button = [&](QWidget* parent, const char* name, const QString& text) {
        return named(new QPushButton(text, parent), name);
    };
    auto edit = [&](QWidget* parent, const char* name) { return named(new QLineEdit(parent), name); };

    // --- "Commands" ---
    Frame3 = named(new QGroupBox(QStringLiteral("Commands"), this), "Frame3");
    DeviceLabel = label(Frame3, "DeviceLabel", QStringLiteral("Video Device:"));
    Combo1 = combo(Frame3, "Combo1");
    InputLabel = label(Frame3, "InputLabel", QStringLiteral("Input:"));
    VideoInput = combo(Frame3, "VideoInput");
    ChannelLabel = label(Frame3, "ChannelLabel", QStringLiteral("Channel:"));
    Channel = combo(Frame3, "Channel");
    ResolutionLabel = label(Frame3, "ResolutionLabel", QStringLiteral("Resolution:"));
    ResolutionCombo = combo(Frame3, "ResolutionCombo");
    ColorFormatLabel = label(Frame3, "ColorFormatLabel", QStringLiteral("Color Format:"));
    ColorFormatCombo = combo(Frame3, "ColorFormatCombo");
    VideoConfig = button(Frame3, "VideoConfig", QStringLiteral("Configure..."));
    EffectLabel = label(Frame3, "EffectLabel", QStringLiteral("Effect:"));
    Effect = combo(Frame3, "Effect");
    // State holders the operator never sees.
    CaptureType = combo(Frame3, "CaptureType");
    CaptureType->addItems({QStringLiteral("Frames"), kStreams});
    CmdConnect = button(Frame3, "CmdConnect", kConnect);
    CmdPreview = button(Frame3, "CmdPreview", kPreviewOn);
    CmdCap = button(Frame3, "CmdCap", kCaptureFrame);
    for (QWidget* w : std::initializer_list<QWidget*>{CaptureType, CmdConnect, CmdPreview, CmdCap})
        w->hide();

    auto* commands = new QGridLayout(Frame3);
    int row = 0;
    for (auto [l, w] : {std::pair<QLabel*, QWidget*>{DeviceLabel, Combo1}, {InputLabel, VideoInput},
                        {ChannelLabel, Channel}, {ResolutionLabel, ResolutionCombo},
                        {ColorFormatLabel, ColorFormatCombo}, {EffectLabel, Effect}}) {
        commands->addWidget(l, row, 0);
        commands->addWidget(w, row, 1);
        ++row;
    }
    commands->addWidget(VideoConfig, row++, 1);
    commands->setColumnStretch(1, 1);

    // --- "Options" ---
    StrmOptions = named(new QGroupBox(QStringLiteral("Options"), this), "StrmOptions");
    auto* compressionLabel = label(StrmOptions, "CompressionLabel", QStringLiteral("Compression:"));
    CompressionCombo = combo(StrmOptions, "CompressionCombo");
    ComprConfig = button(StrmOptions, "ComprConfig", QStringLiteral("Configure..."));
    auto* rateLabel = label(StrmOptions, "RateLabel", QStringLiteral("Frame Rate (fps)"));
    EdtRate = edit(StrmOptions, "EdtRate");
    auto* limitLabel = label(StrmOptions, "LimitLabel", QStringLiteral("Time Limit (sec)"));
    EdtLimit = edit(StrmOptions, "EdtLimit");
    auto* audioDeviceLabel = label(StrmOptions, "AudioDeviceLabel", QStringLiteral("Device:"));
    AudioDevice = combo(StrmOptions, "AudioDevice");
    AttribLabel = label(StrmOptions, "AttribLabel", QStringLiteral("Attributes:"));
    ComboAttrib = combo(StrmOptions, "ComboAttrib");
    AudioConfig = button(StrmOptions, "AudioConfig", QStringLiteral("Configure..."));
    AudioCompLabel = label(StrmOptions, "AudioCompLabel", QStringLiteral("Compression:"));
    AudioCompr = combo(StrmOptions, "AudioCompr");
    Check1 = named(new QCheckBox(QStringLiteral("Listen"), StrmOptions), "Check1");
    auto* framesLabel = label(StrmOptions, "FramesLabel", QStringLiteral("Total Frames"));
    LblFrames = label(StrmOptions, "LblFrames", QStringLiteral("0"));
    auto* dropLabel = label(StrmOptions, "FrmDropLabel", QStringLiteral("Frames Dropped"));
    LblFrmDrop = label(StrmOptions, "LblFrmDrop", QStringLiteral("0"));
    auto* samplesLabel = label(StrmOptions, "SamplesLabel", QStringLiteral("Total Samples"));
    LblSamples = label(StrmOptions, "LblSamples", QStringLiteral("0"));
    auto* timeLabel = label(StrmOptions, "TimeLabel", QStringLiteral("Time (ms)"));
    LblTime = label(StrmOptions, "LblTime", QStringLiteral("0"));
    auto* fileLabel = label(StrmOptions, "FileLabel", QStringLiteral("File:"));
    EdtFile = edit(StrmOptions, "EdtFile");
    CmdCapFN = button(StrmOptions, "CmdCapFN", QStringLiteral("..."));
    // Fixed entries: filled before any handler is connected, so nothing is pushed yet.
    ComboAttrib->addItems(standardAudioFormatNames());

    auto* options = new QGridLayout(StrmOptions);
    options->addWidget(compressionLabel, 0, 0);
    options->addWidget(CompressionCombo, 0, 1, 1, 2);
    options->addWidget(ComprConfig, 0, 3);
    options->addWidget(rateLabel, 1, 0);
    options->addWidget(EdtRate, 1, 1);
    options->addWidget(limitLabel, 1, 2);
    options->addWidget(EdtLimit, 1, 3);
    options->addWidget(audioDeviceLabel, 2, 0);
    options->addWidget(AudioDevice, 2, 1, 1, 2);
    options->addWidget(Check1, 2, 3);
    options->addWidget(AttribLabel, 3, 0);
    options->addWidget(ComboAttrib, 3, 1, 1, 2);
    options->addWidget(AudioConfig, 3, 3);
    options->addWidget(AudioCompLabel, 4, 0);
    options->addWidget(AudioCompr, 4, 1, 1, 2);
    options->addWidget(framesLabel, 5, 0);
    options->addWidget(LblFrames, 5, 1);
    options->addWidget(dropLabel, 5, 2);
    options->addWidget(LblFrmDrop, 5, 3);
    options->addWidget(samplesLabel, 6, 0);
    options->addWidget(LblSamples, 6, 1);
    options->addWidget(timeLabel, 6, 2);
    options->addWidget(LblTime, 6, 3);
    options->addWidget(fileLabel, 7, 0);
    options->addWidget(EdtFile, 7, 1, 1, 2);
    options->addWidget(CmdCapFN, 7, 3);
    options->setColumnStretch(1, 1);

    // --- Single-frame options ---
    FrameOptions = named(new QGroupBox(QStringLiteral("Frame Options"), this), "FrameOptions");
    ChkProg = named(new QCheckBox(QStringLiteral("Progressive JPG"), FrameOptions), "ChkProg");
    ChkAutoSave = named(new QCheckBox(QStringLiteral("AutoSave"), FrameOptions), "ChkAutoSave");
    ChkAutoInc = named(new QCheckBox(QStringLiteral("AutoIncrement"), FrameOptions), "ChkAutoInc");
    auto* frame = new QGridLayout(FrameOptions);
    frame->addWidget(ChkProg, 0, 0);
    frame->addWidget(ChkAutoSave, 0, 1);
    frame->addWidget(ChkAutoInc, 0, 2);
    int frameRow = 1;
    for (auto [edt, name, caption] :
         {std::tuple<QLineEdit**, const char*, const char*>{&EdtChrom, "EdtChrom", "ChromFactor:"},
          {&EdtLum, "EdtLum", "LumFactor:"}, {&EdtInterval, "EdtInterval", "Interval:"},
          {&EdtPass, "EdtPass", "Password:"}, {&EdtCaption, "EdtCaption", "Caption:"},
          {&EdtCapLeft, "EdtCapLeft", "CaptionLeft:"}, {&EdtCapTop, "EdtCapTop", "CaptionTop:"}}) {
        *edt = edit(FrameOptions, name);
        frame->addWidget(new QLabel(QString::fromLatin1(caption), FrameOptions), frameRow, 0);
        frame->addWidget(*edt, frameRow, 1, 1, 2);
        ++frameRow;
    }
    FrameOptions->hide();

    LblStatus = label(this, "LblStatus", QString());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Frame3);
    layout->addWidget(StrmOptions);
    layout->addWidget(FrameOptions);
    layout->addWidget(LblStatus);
    layout->addStretch(1);

    // Nothing is connected yet: what needs a device starts disabled.
    setEnabledAll({CmdCap, CmdPreview, VideoConfig, ResolutionCombo, ResolutionLabel, ColorFormatCombo,
                   ColorFormatLabel, Channel, ChannelLabel, VideoInput, InputLabel, ComprConfig,
                   AudioConfig, AttribLabel, ComboAttrib, AudioCompLabel, AudioCompr},
                  false);
}

void CaptureDevicePanel::wireHandlers()
{
    using Box = QComboBox;
    connect(CaptureType, &Box::currentIndexChanged, this, &CaptureDevicePanel::captureTypeChanged);
    connect(Effect, &Box::currentIndexChanged, this, &CaptureDevicePanel::effectChanged);
    connect(ResolutionCombo, &Box::currentIndexChanged, this, &CaptureDevicePanel::resolutionChanged);
    connect(ColorFormatCombo, &Box::currentIndexChanged, this, &CaptureDevicePanel::colorFormatChanged);
    connect(VideoInput, &Box::currentIndexChanged, this, &CaptureDevicePanel::videoInputChanged);
    connect(Channel, &Box::currentIndexChanged, this, &CaptureDevicePanel::channelChanged);
    connect(CompressionCombo, &Box::currentIndexChanged, this, &CaptureDevicePanel::compressionChanged);
    connect(AudioDevice, &Box::currentIndexChanged, this, &CaptureDevicePanel::audioDeviceChanged);
    connect(AudioCompr, &Box::currentIndexChanged, this, &CaptureDevicePanel::audioCompressorChanged);
    connect(ComboAttrib, &Box::currentIndexChanged, this, &CaptureDevicePanel::audioFormatChanged);
    connect(EdtRate, &QLineEdit::textChanged, this, &CaptureDevicePanel::frameRateTextChanged);
    connect(Check1, &QCheckBox::toggled, this, &CaptureDevicePanel::listenToggled);
    connect(VideoConfig, &QPushButton::clicked, this, &CaptureDevicePanel::videoConfigClicked);
    connect(ComprConfig, &QPushButton::clicked, this, &CaptureDevicePanel::compressionConfigClicked);
    connect(AudioConfig, &QPushButton::clicked, this, &CaptureDevicePanel::audioConfigClicked);
    connect(CmdConnect, &QPushButton::clicked, this, &CaptureDevicePanel::CmdConnect_Click);
    connect(CmdPreview, &QPushButton::clicked, this, &CaptureDevicePanel::previewClicked);
    connect(CmdCap, &QPushButton::clicked, this, &CaptureDevicePanel::captureClicked);
    connect(CmdCapFN, &QPushButton::clicked, this, &CaptureDevicePanel::chooseStreamFile);

    connect(&capture_, &CaptureComponent::deviceChange, this, &CaptureDevicePanel::deviceChanged);
    connect(&capture_, &CaptureComponent::statusText, this, &CaptureDevicePanel::statusTextArrived);
    connect(&capture_, &CaptureComponent::statusCode, this, &CaptureDevicePanel::statusCodeArrived);
}

void CaptureDevicePanel::showError(const CaptureError& e, ErrorForm form)
{
    // Component errors are 32-bit numbers; hexadecimal shows their two's-complement form.
    const QString number = form == ErrorForm::Hex
        ? QString::number(static_cast<quint32>(e.number), 16).toUpper()
        : QString::number(e.number);
    const QString prefix = form == ErrorForm::Channel ? QStringLiteral("Error code: ") : QStringLiteral("Eror code: ");
    prompter_.message(prefix + number + QLatin1Char(' ') + e.description, QStringLiteral("Error"), Icon::Critical);
}

bool CaptureDevicePanel::streamMode() const { return CaptureType->currentText() == kStreams; }

// --- Start-up ---

void CaptureDevicePanel::selectStreamMode() { CaptureType->setCurrentIndex(CaptureType->findText(kStreams)); }

void CaptureDevicePanel::prepareAtStartup()
{
    selectStreamMode();
    CmdPreview->setText(capture_.preview() ? kPreviewOff : kPreviewOn);

    if (capture_.videoDeviceCount() > 0) {
        refill(Combo1, namesOf([&] { return capture_.videoDeviceCount(); },
                               [&](int i) { return capture_.videoDeviceName(i); }));
        const int stored = store_.getInt(key::device, -1);
        Combo1->setCurrentIndex(stored >= 0 && stored < Combo1->count() ? stored : 0);
    } else {
        refill(Combo1, {kNoDevices});
        Combo1->setCurrentIndex(0);
    }

    refill(AudioDevice, QStringList{kNone} + namesOf([&] { return capture_.audioDeviceCount(); },
                                                     [&](int i) { return capture_.audioDeviceName(i); }));
    AudioDevice->setCurrentIndex(capture_.audioDeviceCount() > 0 ? capture_.audioDevice() + 1 : 0);

    refill(CompressionCombo, QStringList{kNone} + namesOf([&] { return capture_.videoCompressorCount(); },
                                                          [&](int i) { return capture_.videoCompressorName(i); }));
    CompressionCombo->setCurrentIndex(capture_.videoCompressor() + 1);
    refill(AudioCompr, QStringList{kNone} + namesOf([&] { return capture_.audioCompressorCount(); },
                                                    [&](int i) { return capture_.audioCompressorName(i); }));
    AudioCompr->setCurrentIndex(capture_.audioCompressor() + 1);

    const QString& category = CaptureComponent::VideoEffect1;
    const QStringList effects = namesOf([&] { return capture_.effectCount(category); },
                                        [&](int i) { return capture_.effectName(category, i); });
    refill(Effect, QStringList{kNone} + effects);
    if (effects.isEmpty()) {
        Effect->setCurrentIndex(0);
        Effect->setEnabled(false);
    } else {
        Effect->setEnabled(true);
        Effect->setCurrentIndex(capture_.currentEffect(category, 0) + 1);
    }

    fillFrameOptions(capture_.frameOptions());
    Check1->setChecked(capture_.audioListen());

    InitAudioSettings();

    const int storedRate = store_.getInt(key::framerate, 0);
    EdtRate->setText(QString::number(storedRate >= 1 ? storedRate : capture_.frameRate()));
    EdtLimit->setText(QString::number(capture_.timeLimit()));
}

void CaptureDevicePanel::applyStoredCompression()
{
    const int stored = store_.getInt(key::compression, 0);
    CompressionCombo->setCurrentIndex(stored >= 0 && stored < CompressionCombo->count() ? stored : 0);
}

void CaptureDevicePanel::switchPreviewOn()
{
    if (auto e = capture_.setPreview(true))
        showError(*e, ErrorForm::Decimal);
}

void CaptureDevicePanel::setStreamFile(const QString& name) { EdtFile->setText(name); }

QString CaptureDevicePanel::frameRateCaption(const QString& rateText)
{
    return frameRateClassCaption(leadingNumber(rateText)).value_or(QString());
}

void CaptureDevicePanel::updateConfigCaption()
{
    const QString caption = frameRateCaption(EdtRate->text());
    if (!caption.isEmpty())
        emit configCaptionChanged(caption);
}

QString CaptureDevicePanel::frameRateText() const { return EdtRate->text(); }
double CaptureDevicePanel::frameRateBoxValue() const { return leadingNumber(EdtRate->text()); }

void CaptureDevicePanel::showStatistics(const CaptureStatistics& s)
{
    LblFrames->setText(QString::number(s.framesCaptured));
    LblFrmDrop->setText(QString::number(s.framesDropped));
    LblSamples->setText(QString::number(s.audioSamples));
    LblTime->setText(QString::number(s.elapsedMs));
}

// --- Connect and disconnect ---

void CaptureDevicePanel::CmdConnect_Click()
{
    if (capture_.videoDeviceCount() == 0) {
        prompter_.message(QStringLiteral("No MCI capture devices are installed on this system"));
        return;
    }
    CaptureResult failed;
    if (!capture_.isConnected()) {
        failed = connectSelectedDevice();
    } else if (!(failed = capture_.disconnectDevice())) {
        OnDisconnect();
    }
    if (failed) {
        showError(*failed, ErrorForm::Hex);
        return;
    }
    if (streamMode()) {
        EnableAudioConfig();
        EnableVideoCompressionConfig();
    }
}

CaptureResult CaptureDevicePanel::connectSelectedDevice()
{
    const int device = Combo1->currentIndex();
    {
        const WaitPointer wait;
        if (auto e = capture_.connectDevice(device))
            return e;
    }
    store_.save(key::device, device);

    CmdPreview->setEnabled(true);
    ResolutionCombo->setEnabled(true);
    ResolutionLabel->setEnabled(true);
    refill(ResolutionCombo, namesOf([&] { return capture_.resolutionCount(); },
                                    [&](int i) { return capture_.resolutionName(i); }));
    selectIfPresent(ResolutionCombo, capture_.resolution());
    selectIfPresent(ResolutionCombo, store_.getInt(key::VideoResolution, -1));

    ColorFormatCombo->setEnabled(true);
    ColorFormatLabel->setEnabled(true);
    refill(ColorFormatCombo, namesOf([&] { return capture_.colorFormatCount(); },
                                     [&](int i) { return capture_.colorFormatName(i); }));
    selectIfPresent(ColorFormatCombo, capture_.colorFormat());
    selectIfPresent(ColorFormatCombo, store_.getInt(key::ColorFormat, -1));

    const bool inputs = capture_.videoInputCount() > 0;
    VideoInput->setEnabled(inputs);
    InputLabel->setEnabled(inputs);
    if (inputs) {
        refill(VideoInput, namesOf([&] { return capture_.videoInputCount(); },
                                   [&](int i) { return capture_.videoInputName(i); }));
        const int stored = store_.getInt(key::VideoInput, 0);
        VideoInput->setCurrentIndex(stored >= 0 && stored < VideoInput->count() ? stored : 0);
    } else {
        clearQuietly(VideoInput);
    }

    const bool tuner = capture_.hasTuner();
    Channel->setEnabled(tuner);
    ChannelLabel->setEnabled(tuner);
    if (tuner) {
        QStringList channels;
        for (int c = capture_.lowestChannel(); c <= capture_.highestChannel(); ++c)
            channels << QString::number(c);
        refill(Channel, channels);
        selectIfPresent(Channel, capture_.channel() - capture_.lowestChannel());
    } else {
        clearQuietly(Channel);
    }

    EdtRate->setText(QString::number(capture_.frameRate()));
    EdtLimit->setText(QString::number(capture_.timeLimit()));
    CmdCap->setEnabled(true);
    VideoConfig->setEnabled(capture_.dialogAvailable(CaptureComponent::VideoSourceDialog));
    CmdConnect->setText(kDisconnect);
    InitAudioSettings();
    if (CmdPreview->text() == kPreviewOff) {
        if (auto e = capture_.setPreview(true))
            return e;
        emit captureScreenRequested(true);
    }
    return {};
}

void CaptureDevicePanel::OnDisconnect()
{
    CmdConnect->setText(kConnect);
    setEnabledAll({CmdCap, CmdPreview, VideoConfig, ResolutionCombo, ResolutionLabel, ColorFormatCombo,
                   ColorFormatLabel, Channel, ChannelLabel, VideoInput, InputLabel},
                  false);
    for (QComboBox* box : {ResolutionCombo, ColorFormatCombo, Channel, VideoInput})
        clearQuietly(box);
    emit captureScreenRequested(false);
}

// --- Audio format ---

void CaptureDevicePanel::InitAudioSettings()
{
    // Reading the device's format must not change it: selecting the first entry first, with
    // its change handling, set every connected device to 11.025 kHz 8-bit mono at each start.
    // Only an operator's choice in the list pushes a format.
    const QSignalBlocker quiet(ComboAttrib);
    selectDeviceAudioFormat();
}

void CaptureDevicePanel::selectDeviceAudioFormat()
{
    const QString current = audioFormatText(
        {capture_.audioSampleRate(), capture_.audioChannels(), capture_.audioBits()});
    int index = -1;
    for (int i = 0; i < ComboAttrib->count() && index < 0; ++i)
        if (ComboAttrib->itemText(i).compare(current, Qt::CaseInsensitive) == 0)
            index = i;
    if (index < 0) {
        ComboAttrib->addItem(current);
        index = ComboAttrib->count() - 1;
    }
    ComboAttrib->setCurrentIndex(index);
}

CaptureResult CaptureDevicePanel::pushAudioFormat()
{
    if (ComboAttrib->currentIndex() < 0)
        return {};
    const AudioFormat f = audioFormatOfEntry(ComboAttrib->currentText());
    if (auto e = capture_.setAudioSampleRate(f.sampleRate))
        return e;
    if (auto e = capture_.setAudioChannels(f.channels))
        return e;
    return capture_.setAudioBits(f.bits);
}

void CaptureDevicePanel::audioFormatChanged(int index)
{
    if (index < 0)
        return;
    auto e = pushAudioFormat();
    if (!e)
        return;
    // Going back to the device's own format pushes again. While doing so a further refusal
    // is not reported on its own (the operator hears about the choice that failed) and must
    // not send us round in circles.
    if (recoveringAudioFormat_)
        return;
    recoveringAudioFormat_ = true;
    InitAudioSettings();
    recoveringAudioFormat_ = false;
    showError(*e, ErrorForm::Decimal);
}

void CaptureDevicePanel::EnableAudioConfig()
{
    const bool on = AudioDevice->currentIndex() > 0 && capture_.isConnected();
    setEnabledAll({AttribLabel, ComboAttrib, AudioCompLabel, AudioCompr}, on);
    AudioConfig->setEnabled(on && capture_.dialogAvailable(CaptureComponent::AudioFormatDialog));
}

void CaptureDevicePanel::EnableVideoCompressionConfig()
{
    ComprConfig->setEnabled(CompressionCombo->currentIndex() > 0 && capture_.isConnected()
                            && capture_.dialogAvailable(CaptureComponent::VideoCompressionDialog));
}

// --- Pushing the settings before a recording ---

CaptureResult CaptureDevicePanel::SetCaptureValues()
{
    if (!streamMode()) {
        if (auto e = capture_.setFrameFileName(EdtFile->text()))
            return e;
        return capture_.setFrameOptions(frameOptionsOfBoxes());
    }
    if (auto e = capture_.setCaptureFileName(EdtFile->text()))
        return e;
    if (auto e = capture_.setFrameRate(wholeNumberOf(EdtRate->text())))
        return e;
    if (auto e = capture_.setTimeLimit(wholeNumberOf(EdtLimit->text())))
        return e;
    return pushAudioFormat();
}

void CaptureDevicePanel::fillFrameOptions(const FrameCaptureOptions& o)
{
    ChkProg->setChecked(o.progressiveJpeg);
    ChkAutoSave->setChecked(o.autoSave);
    ChkAutoInc->setChecked(o.autoIncrement);
    EdtChrom->setText(QString::number(o.chromaFactor));
    EdtLum->setText(QString::number(o.luminanceFactor));
    EdtInterval->setText(QString::number(o.interval));
    EdtPass->setText(o.password);
    EdtCaption->setText(o.caption);
    EdtCapLeft->setText(QString::number(o.captionLeft));
    EdtCapTop->setText(QString::number(o.captionTop));
}

FrameCaptureOptions CaptureDevicePanel::frameOptionsOfBoxes() const
{
    FrameCaptureOptions o;
    o.progressiveJpeg = ChkProg->isChecked();
    o.autoSave = ChkAutoSave->isChecked();
    o.autoIncrement = ChkAutoInc->isChecked();
    o.chromaFactor = wholeNumberOf(EdtChrom->text());
    o.luminanceFactor = wholeNumberOf(EdtLum->text());
    o.interval = wholeNumberOf(EdtInterval->text());
    o.password = EdtPass->text();
    o.caption = EdtCaption->text();
    o.captionLeft = wholeNumberOf(EdtCapLeft->text());
    o.captionTop = wholeNumberOf(EdtCapTop->text());
    return o;
}

// --- Operator changes ---

void CaptureDevicePanel::captureTypeChanged(int)
{
    const bool streams = streamMode();
    CmdCap->setText(streams ? kCaptureStream : kCaptureFrame);
    StrmOptions->setVisible(streams);
    FrameOptions->setVisible(!streams);
}

void CaptureDevicePanel::effectChanged(int index)
{
    if (index < 0)
        return;
    const QString& category = CaptureComponent::VideoEffect1;
    int effect = -1;
    if (index > 0) {
        const QString name = Effect->itemText(index);
        effect = capture_.findEffect(category, name);
        if (effect < 0) {
            prompter_.message(QStringLiteral("Cannot find ") + name + QStringLiteral(" effect"));
            Effect->setCurrentIndex(0);   // its own change handling clears the slot
            return;
        }
    }
    if (auto e = capture_.setEffect(category, 0, effect))
        showError(*e, ErrorForm::Decimal);
}

void CaptureDevicePanel::resolutionChanged(int index)
{
    if (index < 0 || index == capture_.resolution())
        return;
    if (auto e = capture_.setResolution(index))
        return showError(*e, ErrorForm::Decimal);
    store_.save(key::VideoResolution, index);
}

void CaptureDevicePanel::colorFormatChanged(int index)
{
    if (index < 0 || index == capture_.colorFormat())
        return;
    if (auto e = capture_.setColorFormat(index))
        return showError(*e, ErrorForm::Decimal);
    store_.save(key::ColorFormat, index);
}

void CaptureDevicePanel::videoInputChanged(int index)
{
    if (index < 0 || index == capture_.videoInput())
        return;
    if (auto e = capture_.setVideoInput(index))
        return showError(*e, ErrorForm::Decimal);
    store_.save(key::VideoInput, index);
}

void CaptureDevicePanel::channelChanged(int index)
{
    if (index < 0)
        return;
    const int channel = index + capture_.lowestChannel();
    if (channel == capture_.channel())
        return;
    if (auto e = capture_.setChannel(channel))
        showError(*e, ErrorForm::Channel);
}

void CaptureDevicePanel::compressionChanged(int index)
{
    if (index < 0 || index - 1 == capture_.videoCompressor())
        return;
    if (auto e = capture_.setVideoCompressor(index - 1))
        return showError(*e, ErrorForm::Decimal);
    EnableVideoCompressionConfig();
    store_.save(key::compression, index);
}

void CaptureDevicePanel::audioDeviceChanged(int index)
{
    if (index < 0 || index - 1 == capture_.audioDevice())
        return;
    if (auto e = capture_.setAudioDevice(index - 1))
        return showError(*e, ErrorForm::Decimal);
    EnableAudioConfig();
    if (capture_.isConnected())
        InitAudioSettings();
}

void CaptureDevicePanel::audioCompressorChanged(int index)
{
    if (index < 0 || index - 1 == capture_.audioCompressor())
        return;
    if (auto e = capture_.setAudioCompressor(index - 1))
        showError(*e, ErrorForm::Decimal);
}

void CaptureDevicePanel::frameRateTextChanged(const QString& text)
{
    store_.save(key::framerate, text);
    if (auto e = capture_.setFrameRate(wholeNumberOf(text)))
        showError(*e, ErrorForm::Decimal);
    updateConfigCaption();
}

void CaptureDevicePanel::listenToggled(bool on)
{
    if (auto e = capture_.setAudioListen(on))
        showError(*e, ErrorForm::Decimal);
}

void CaptureDevicePanel::videoConfigClicked()
{
    int id = CaptureComponent::VideoSourceDialog;
    if (Effect->currentIndex() > 0)
        id += CaptureComponent::EffectDialogFlag;
    if (auto e = capture_.showDialog(id, {}))
        return showError(*e, ErrorForm::Decimal);
    readBackVideoSelections();
}

void CaptureDevicePanel::readBackVideoSelections()
{
    selectIfPresent(ColorFormatCombo, capture_.colorFormat());
    selectIfPresent(ResolutionCombo, capture_.resolution());
    if (capture_.hasTuner())
        selectIfPresent(Channel, capture_.channel() - capture_.lowestChannel());
    selectIfPresent(VideoInput, capture_.videoInput());
}

void CaptureDevicePanel::compressionConfigClicked()
{
    if (auto e = capture_.showDialog(CaptureComponent::VideoCompressionDialog, {}))
        showError(*e, ErrorForm::Decimal);
}

void CaptureDevicePanel::audioConfigClicked()
{
    if (auto e = capture_.showDialog(CaptureComponent::AudioFormatDialog, {}))
        return showError(*e, ErrorForm::Decimal);
    // The format chosen in the device's dialog is the one to keep: without this the list
    // would push its stale entry again before the next recording.
    selectDeviceAudioFormat();
}

void CaptureDevicePanel::previewClicked()
{
    const bool on = CmdPreview->text() == kPreviewOn;
    if (auto e = capture_.setPreview(on))
        return showError(*e, ErrorForm::Decimal);
    CmdPreview->setText(on ? kPreviewOff : kPreviewOn);
    emit captureScreenRequested(on);
}

void CaptureDevicePanel::captureClicked()
{
    CaptureResult failed;
    if (!streamMode()) {
        if (!(failed = SetCaptureValues()))
            failed = capture_.captureFrame();
    } else if (capture_.isCapturing()) {
        if (!(failed = capture_.stopCapture())) {
            showStatistics(capture_.statistics());
            CmdCap->setText(kCaptureStream);
        }
    } else if (!(failed = SetCaptureValues()) && !(failed = capture_.startCapture())) {
        CmdCap->setText(kEndCapture);
    }
    if (failed)
        showError(*failed, ErrorForm::Hex);
}

void CaptureDevicePanel::chooseStreamFile()
{
    EdtFile->setText(SaveFileDialog(prompter_, EdtFile->text(), FileDialogType::Picture));
}

// --- Component notifications ---

void CaptureDevicePanel::deviceChanged(const QString& category, int action, int index, const QString& name)
{
    const QString question = name + QStringLiteral(" is plugged into your computer. Do you want to use it?");
    const bool added = action == CaptureComponent::DeviceAdded;
    bool removed = false;

    if (category == CaptureComponent::VideoCaptureSources) {
        if (added) {
            if (Combo1->count() > 0 && Combo1->itemText(0) == kNoDevices && index == 0) {
                Combo1->setItemText(0, name);
                Combo1->setCurrentIndex(0);
                if (auto e = capture_.setVideoDevice(0))
                    showError(*e, ErrorForm::Decimal);
                return;
            }
            Combo1->addItem(name);
            if (!capture_.isConnected() && capture_.videoDevice() != index
                && prompter_.askYesNo(question, {}, Icon::Question)) {
                if (auto e = capture_.setVideoDevice(index))
                    showError(*e, ErrorForm::Decimal);
            }
        } else {
            const QSignalBlocker quiet(Combo1);
            Combo1->removeItem(index);
            removed = true;
        }
        if (capture_.videoDeviceCount() > 0) {
            const int selected = capture_.videoDevice();
            Combo1->setCurrentIndex(selected >= 0 && selected < Combo1->count() ? selected : 0);
        } else {
            Combo1->addItem(kNoDevices);
            Combo1->setCurrentIndex(Combo1->count() - 1);
        }
    } else if (category == CaptureComponent::AudioCaptureSources) {
        if (added) {
            AudioDevice->addItem(name);
            if (!capture_.isConnected() && capture_.audioDevice() != index
                && prompter_.askYesNo(question, {}, Icon::Question)) {
                if (auto e = capture_.setAudioDevice(index))
                    showError(*e, ErrorForm::Decimal);
            }
        } else {
            // The selection is set from the component just below.
            const QSignalBlocker quiet(AudioDevice);
            AudioDevice->removeItem(index + 1);
            removed = true;
        }
        AudioDevice->setCurrentIndex(capture_.audioDeviceCount() > 0 ? capture_.audioDevice() + 1 : 0);
    }

    if (removed && CmdConnect->text() == kDisconnect && !capture_.isConnected())
        OnDisconnect();
}

void CaptureDevicePanel::statusTextArrived(const QString& text) { LblStatus->setText(text); }

void CaptureDevicePanel::statusCodeArrived(int code, const QString& text)
{
    if (code == CaptureStatusReady) {
        CmdCap->setText(kCaptureStream);
        return;
    }
    if (code == CaptureStatusStatistics)
        showStatistics(capture_.statistics());
    LblStatus->setText(text);
    QCoreApplication::processEvents();
}

} // namespace tarvex
