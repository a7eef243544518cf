#include "capture/capture_component.h"
#include "capture/capture_dialog_host.h"
#include "capture/camera_set.h"

#include <QTimer>
#include <algorithm>

namespace tarvex {

namespace {

CaptureError noDevice() { return {CaptureError::NoDevice, QStringLiteral("No capture device is available")}; }
CaptureError notConnected() { return {CaptureError::NotConnected, QStringLiteral("No capture device is connected")}; }
CaptureError badIndex() { return {CaptureError::BadIndex, QStringLiteral("Invalid index")}; }
CaptureError unsupported(const QString& what) { return {CaptureError::Unsupported, what}; }
CaptureError busy() { return {CaptureError::Busy, QStringLiteral("Not possible while a recording runs")}; }

bool inRange(int index, qsizetype size) { return index >= 0 && index < size; }
QString number(int n) { return QString::number(n); }
QString flag(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }
QString slotKey(const QString& category, int slot) { return category + '/' + QString::number(slot); }

} // namespace

CaptureComponent::CaptureComponent(std::shared_ptr<CaptureDevice> device, std::shared_ptr<CaptureDialogHost> dialogs,
                                   QObject* parent)
    : QObject(parent),
      device_(device ? std::move(device) : std::make_shared<NullCaptureDevice>()),
      dialogs_(std::move(dialogs))
{
    selectedVideo_ = device_->videoDevices().isEmpty() ? -1 : 0;
    connect(device_.get(), &CaptureDevice::statusText, this, &CaptureComponent::statusText);
    connect(device_.get(), &CaptureDevice::statusCode, this, &CaptureComponent::statusCode);
    connect(device_.get(), &CaptureDevice::warning, this, &CaptureComponent::warning);
    connect(device_.get(), &CaptureDevice::previewFrame, this, &CaptureComponent::previewFrame);
    connect(device_.get(), &CaptureDevice::stillSaved, this, &CaptureComponent::stillSaved);
    connect(device_.get(), &CaptureDevice::deviceChange, this, &CaptureComponent::followDeviceChange);
    // However the first camera's recording ends (stop, time limit, lost device), the take ends.
    connect(device_.get(), &CaptureDevice::statusCode, this, [this](int code, const QString&) {
        if (code != CaptureStatusReady)
            return;
        // A recording that ran to its time limit: each companion reaches it on its own clock,
        // a frame later at most, and keeps that last frame. One that has not by a little
        // later (a silent camera, held frames that made the first look done) is stopped.
        const bool toTheLimit = limit_ > 0 && device_->statistics().framesCaptured >= long(limit_) * fps_;
        if (toTheLimit)
            QTimer::singleShot(100 + 2000 / std::max(1, fps_), this, [this, take = take_] {
                if (take == take_ && !isCapturing())
                    stopCompanions();
            });
        else
            stopCompanions();
    });
}

// The device may outlive us in another owner's hands; it must not call into a half-destroyed
// component.
CaptureComponent::~CaptureComponent()
{
    device_->disconnect(this);
    for (const auto& d : std::as_const(companions_))
        d->disconnect(this);
}

CaptureResult CaptureComponent::admit(const QString&, const QString&) { return {}; }

void CaptureComponent::followDeviceChange(const QString& category, int action, int index, const QString& name)
{
    if (action == DeviceRemoved && category == VideoCaptureSources) {
        const int count = videoDeviceCount();
        if (selectedVideo_ > index || (selectedVideo_ == index && selectedVideo_ >= count))
            --selectedVideo_;
        if (selectedVideo_ < 0 && count > 0)
            selectedVideo_ = 0;
    } else if (action == DeviceRemoved && category == AudioCaptureSources) {
        if (selectedAudio_ == index)
            selectedAudio_ = -1;
        else if (selectedAudio_ > index)
            --selectedAudio_;
    }
    emit deviceChange(category, action, index, name);
}

// --- Devices ---

CaptureResult CaptureComponent::setVideoDevice(int index)
{
    if (auto e = admit(QStringLiteral("setVideoDevice"), number(index)))
        return e;
    if (index != -1) {
        if (videoDeviceCount() == 0)
            return noDevice();
        if (!inRange(index, videoDeviceCount()))
            return badIndex();
    }
    selectedVideo_ = index;
    return {};
}

CaptureResult CaptureComponent::setAudioDevice(int index)
{
    if (auto e = admit(QStringLiteral("setAudioDevice"), number(index)))
        return e;
    if (index != -1 && !inRange(index, audioDeviceCount()))
        return audioDeviceCount() == 0
                   ? CaptureResult(CaptureError{CaptureError::NoDevice, QStringLiteral("No sound device is available")})
                   : CaptureResult(badIndex());
    if (isCapturing())
        return busy();
    selectedAudio_ = index;
    return {};
}

CaptureResult CaptureComponent::connectDevice(int index)
{
    if (auto e = admit(QStringLiteral("connectDevice"), number(index)))
        return e;
    if (videoDeviceCount() == 0)
        return noDevice();
    if (!inRange(index, videoDeviceCount()))
        return badIndex();
    if (isCapturing())
        return busy();
    selectedVideo_ = index;
    return device_->open(index);
}

CaptureResult CaptureComponent::disconnectDevice()
{
    if (auto e = admit(QStringLiteral("disconnectDevice"), {}))
        return e;
    device_->close();
    return {};
}

// --- Format of the connected device ---

CaptureResult CaptureComponent::formatChange(int index, qsizetype listSize) const
{
    if (!isConnected())
        return notConnected();
    if (!inRange(index, listSize))
        return badIndex();
    if (isCapturing())
        return busy();
    return {};
}

CaptureResult CaptureComponent::setResolution(int index)
{
    if (auto e = admit(QStringLiteral("setResolution"), number(index)))
        return e;
    if (auto e = formatChange(index, resolutionCount()))
        return e;
    CaptureFormat f = device_->format();
    f.resolution = index;
    return device_->setFormat(f);
}

CaptureResult CaptureComponent::setColorFormat(int index)
{
    if (auto e = admit(QStringLiteral("setColorFormat"), number(index)))
        return e;
    if (auto e = formatChange(index, colorFormatCount()))
        return e;
    CaptureFormat f = device_->format();
    f.colorFormat = index;
    return device_->setFormat(f);
}

CaptureResult CaptureComponent::setVideoInput(int index)
{
    if (auto e = admit(QStringLiteral("setVideoInput"), number(index)))
        return e;
    if (auto e = formatChange(index, videoInputCount()))
        return e;
    CaptureFormat f = device_->format();
    f.input = index;
    return device_->setFormat(f);
}

// The tuner changes channel while recording: that is what a channel is for.
CaptureResult CaptureComponent::setChannel(int channel)
{
    if (auto e = admit(QStringLiteral("setChannel"), number(channel)))
        return e;
    if (!isConnected())
        return notConnected();
    if (!hasTuner())
        return unsupported(QStringLiteral("The device has no tuner"));
    if (channel < lowestChannel() || channel > highestChannel())
        return badIndex();
    CaptureFormat f = device_->format();
    f.channel = channel;
    return device_->setFormat(f);
}

// --- Compressors ---

CaptureResult CaptureComponent::setVideoCompressor(int index)
{
    if (auto e = admit(QStringLiteral("setVideoCompressor"), number(index)))
        return e;
    if (index != -1 && !inRange(index, videoCompressorCount()))
        return badIndex();
    if (isCapturing())
        return busy();
    videoCompressor_ = index;
    return {};
}

CaptureResult CaptureComponent::setAudioCompressor(int index)
{
    if (auto e = admit(QStringLiteral("setAudioCompressor"), number(index)))
        return e;
    if (index != -1 && !inRange(index, audioCompressorCount()))
        return badIndex();
    audioCompressor_ = index;
    return {};
}

// --- Audio format ---

CaptureResult CaptureComponent::setAudioSampleRate(int hz)
{
    if (auto e = admit(QStringLiteral("setAudioSampleRate"), number(hz)))
        return e;
    const QList<int> rates = device_->sampleRates();
    if (!rates.isEmpty() && !rates.contains(hz))
        return unsupported(QStringLiteral("Unsupported sample rate"));
    if (isCapturing())
        return busy();
    sampleRate_ = hz;
    return {};
}

CaptureResult CaptureComponent::setAudioChannels(int channels)
{
    if (auto e = admit(QStringLiteral("setAudioChannels"), number(channels)))
        return e;
    if (channels != 1 && channels != 2)
        return unsupported(QStringLiteral("Unsupported number of channels"));
    if (isCapturing())
        return busy();
    channels_ = channels;
    return {};
}

CaptureResult CaptureComponent::setAudioBits(int bits)
{
    if (auto e = admit(QStringLiteral("setAudioBits"), number(bits)))
        return e;
    if (bits != 8 && bits != 16)
        return unsupported(QStringLiteral("Unsupported sample size"));
    if (isCapturing())
        return busy();
    bits_ = bits;
    return {};
}

CaptureResult CaptureComponent::setAudioListen(bool on)
{
    if (auto e = admit(QStringLiteral("setAudioListen"), flag(on)))
        return e;
    listen_ = on;
    return {};
}

// --- Effects ---

int CaptureComponent::findEffect(const QString& category, const QString& name) const
{
    return int(effects_.value(category).indexOf(name));
}

int CaptureComponent::currentEffect(const QString& category, int slot) const
{
    return currentEffects_.value(slotKey(category, slot), -1);
}

CaptureResult CaptureComponent::setEffect(const QString& category, int slot, int index)
{
    if (auto e = admit(QStringLiteral("setEffect"), QStringLiteral("%1,%2,%3").arg(category).arg(slot).arg(index)))
        return e;
    if (index != -1 && !inRange(index, effectCount(category)))
        return badIndex();
    currentEffects_[slotKey(category, slot)] = index;
    return {};
}

// --- Dialogs ---

CaptureResult CaptureComponent::showDialog(int id, const QString& text)
{
    if (auto e = admit(QStringLiteral("showDialog"), text.isEmpty() ? number(id) : QStringLiteral("%1,%2").arg(id).arg(text)))
        return e;
    return runDialog(id);
}

bool CaptureComponent::offersDialog(int id) const
{
    if (!dialogs_)
        return false;
    switch (id & ~int(EffectDialogFlag)) {
    case VideoSourceDialog: return isConnected();   // the frame rate at least is always a choice
    case VideoCompressionDialog: return videoCompressor_ >= 0 && device_->compressorTakesQuality(videoCompressor_);
    case AudioFormatDialog: return selectedAudio_ >= 0;
    default: return false;
    }
}

CaptureResult CaptureComponent::runDialog(int id)
{
    if (!offersDialog(id))
        return unsupported(QStringLiteral("This dialog is not available"));
    if (isCapturing())
        return busy();
    switch (id & ~int(EffectDialogFlag)) {
    case VideoSourceDialog: {
        VideoSourceChoice c;
        c.device = videoDeviceName(selectedVideo_);
        for (int i = 0; i < videoInputCount(); ++i)
            c.inputs << videoInputName(i);
        c.input = videoInput();
        for (int i = 0; i < colorFormatCount(); ++i)
            c.colorFormats << colorFormatName(i);
        c.colorFormat = colorFormat();
        // The sizes of the format chosen in the dialog are those of the format shown first;
        // a change of format is applied before the size.
        for (int i = 0; i < resolutionCount(); ++i)
            c.resolutions << resolutionName(i);
        c.resolution = resolution();
        c.framesPerSecond = fps_;
        if (!dialogs_->chooseVideoSource(c))
            return {};
        if (c.input >= 0 && c.input != videoInput())
            if (auto e = setVideoInput(c.input))
                return e;
        if (c.colorFormat >= 0 && c.colorFormat != colorFormat())
            if (auto e = setColorFormat(c.colorFormat))
                return e;
        if (c.resolution >= 0 && c.resolution < resolutionCount() && c.resolution != resolution())
            if (auto e = setResolution(c.resolution))
                return e;
        return setFrameRate(c.framesPerSecond);
    }
    case VideoCompressionDialog: {
        CompressionChoice c{videoCompressorName(videoCompressor_), quality_};
        if (dialogs_->chooseCompression(c))
            quality_ = std::clamp(c.quality, 1, 100);
        return {};
    }
    case AudioFormatDialog: {
        AudioFormatChoice c{device_->sampleRates(), sampleRate_, channels_, bits_};
        if (!dialogs_->chooseAudioFormat(c))
            return {};
        if (auto e = setAudioSampleRate(c.sampleRate))
            return e;
        if (auto e = setAudioChannels(c.channels))
            return e;
        return setAudioBits(c.bits);
    }
    }
    return {};
}

// --- Live picture ---

CaptureResult CaptureComponent::setPreview(bool on)
{
    if (auto e = admit(QStringLiteral("setPreview"), flag(on)))
        return e;
    preview_ = on;
    return device_->setPreview(on);
}

// --- Stream capture ---

CaptureResult CaptureComponent::setCaptureFileName(const QString& path)
{
    if (auto e = admit(QStringLiteral("setCaptureFileName"), path))
        return e;
    if (isCapturing())
        return busy();
    file_ = path;
    return {};
}

CaptureResult CaptureComponent::setFrameRate(int fps)
{
    if (auto e = admit(QStringLiteral("setFrameRate"), number(fps)))
        return e;
    if (isCapturing() && fps != fps_)
        return busy();
    fps_ = fps;
    device_->setFrameRate(fps);
    return {};
}

CaptureResult CaptureComponent::setTimeLimit(int seconds)
{
    if (auto e = admit(QStringLiteral("setTimeLimit"), number(seconds)))
        return e;
    if (isCapturing() && seconds != limit_)
        return busy();
    limit_ = seconds;
    return {};
}

CaptureResult CaptureComponent::startCapture()
{
    if (auto e = admit(QStringLiteral("startCapture"), {}))
        return e;
    if (isCapturing())
        return busy();
    if (!isConnected())
        return notConnected();
    if (fps_ < 1)
        return unsupported(QStringLiteral("The frame rate must be at least 1 frame per second"));
    if (limit_ < 0)
        return unsupported(QStringLiteral("The time limit cannot be negative"));
    if (file_.trimmed().isEmpty())
        return CaptureError{CaptureError::FileError, QStringLiteral("No capture file name is set")};
    RecordingSettings s = recordingSettings();
    ++take_;
    recordingFiles_ = {{1, file_}};
    QStringList warnings;
    const QList<std::pair<int, CaptureDevice*>> companions = prepareCompanions(warnings);
    // Told once the recording runs: a message box before it would hold up the start.
    for (const QString& w : std::as_const(warnings))
        QMetaObject::invokeMethod(this, [this, w] { emit warning(w); }, Qt::QueuedConnection);
    if (companions.isEmpty())
        return device_->startRecording(s);

    QList<CaptureDevice*> devices{device_.get()};
    s.timesPath = frameTimesPath(file_);
    QList<RecordingSettings> settings{s};
    for (const auto& [grid, device] : companions) {
        RecordingSettings c = s;
        c.path = cameraFilePath(file_, grid);
        c.timesPath = frameTimesPath(c.path);
        c.audioDevice = -1;   // the sound is the first camera's
        devices << device;
        settings << c;
        recordingFiles_.insert(grid, c.path);
    }
    const CaptureResult e = startTogether(devices, settings);
    if (e)
        recordingFiles_ = {{1, file_}};
    return e;
}



RecordingSettings CaptureComponent::recordingSettings() const
{
    RecordingSettings s;
    s.path = file_;
    s.framesPerSecond = fps_;
    s.timeLimit = limit_;
    s.audioDevice = selectedAudio_;
    s.sampleRate = sampleRate_;
    s.channels = channels_;
    s.bits = bits_;
    s.videoCompressor = videoCompressor_;
    s.quality = quality_;
    return s;
}

CaptureResult CaptureComponent::setPreRecording(int seconds)
{
    if (auto e = admit(QStringLiteral("setPreRecording"), QString::number(seconds)))
        return e;
    if (seconds < 0 || seconds > 10)
        return unsupported(QStringLiteral("Pre-recording holds 0 to 10 seconds"));
    if (isCapturing())
        return busy();
    if (seconds > 0 && fps_ < 1)
        return unsupported(QStringLiteral("The frame rate must be at least 1 frame per second"));
    // The companions first: opening one takes a moment, and every camera should hold its
    // pictures from the same moment on.
    const int before = preSeconds_;
    preSeconds_ = seconds;
    holdCompanions();
    if (auto e = device_->setPreRecording(seconds, recordingSettings())) {
        preSeconds_ = before;
        holdCompanions();
        return e;
    }
    return {};
}

// The other grids' cameras hold the same seconds as the first, so a late Start keeps the
// landing in every file, and run while the capture screen is shown, so Start finds them
// sending; otherwise they are opened at Start.
void CaptureComponent::holdCompanions()
{
    QStringList warnings;
    QList<std::pair<int, CaptureDevice*>> held;
    // A camera that cannot be opened now is told of at Start, where it matters.
    QStringList untilStart;
    if (preSeconds_ > 0 || companionsRunning_)
        held = prepareCompanions(untilStart);
    for (auto it = companions_.cbegin(); it != companions_.cend(); ++it) {
        const int grid = it.key();
        CaptureDevice* device = it.value().get();
        const bool holds = std::any_of(held.begin(), held.end(), [&](const auto& h) { return h.first == grid; });
        RecordingSettings s = recordingSettings();
        s.audioDevice = -1;
        if (device->isRecording())
            continue;
        device->setStandby(holds && companionsRunning_);
        if (CaptureResult e = device->setPreRecording(holds ? preSeconds_ : 0, s); e && holds)
            warnings << QStringLiteral("The camera of grid %1 holds no seconds before Start: %2").arg(grid).arg(e->description);
    }
    for (const QString& w : std::as_const(warnings))
        QMetaObject::invokeMethod(this, [this, w] { emit warning(w); }, Qt::QueuedConnection);
}

void CaptureComponent::setCompanionsRunning(bool on)
{
    if (on == companionsRunning_)
        return;
    companionsRunning_ = on;
    if (!isCapturing())
        holdCompanions();
}

void CaptureComponent::setCompanionCameras(const QStringList& names)
{
    companionNames_ = names.mid(0, kMaxCameras - 1);
    if ((preSeconds_ > 0 || companionsRunning_) && !isCapturing())
        holdCompanions();
}

CaptureDevice* CaptureComponent::companionDevice(int grid) const
{
    const auto it = companions_.find(grid);
    return it == companions_.end() ? nullptr : it->get();
}

QList<std::pair<int, CaptureDevice*>> CaptureComponent::prepareCompanions(QStringList& warnings)
{
    QList<std::pair<int, CaptureDevice*>> out;
    const QString first = videoDeviceName(selectedVideo_);
    for (int k = 0; k < companionNames_.size(); ++k) {
        const int grid = k + 2;
        const QString name = companionNames_[k];
        if (name.isEmpty())
            continue;
        if (name == first) {
            warnings << QStringLiteral("The camera of grid %1, %2, is the camera of grid 1; it was recorded once").arg(grid).arg(name);
            continue;
        }
        std::shared_ptr<CaptureDevice>& device = companions_[grid];
        // A companion does not look for cameras itself: one plugged in since is found by a new one.
        if (device && !device->isRecording() && !device->videoDevices().contains(name)) {
            device->disconnect(this);
            device.reset();
            openCompanion_.remove(grid);
        }
        if (!device) {
            device = makeCompanionDevice();
            if (!device) {
                companions_.remove(grid);
                warnings << QStringLiteral("This station records one camera; %1 was not recorded").arg(name);
                continue;
            }
            connect(device.get(), &CaptureDevice::warning, this,
                    [this, grid](const QString& w) { emit warning(QStringLiteral("Camera %1: %2").arg(grid).arg(w)); });
        }
        const int index = int(device->videoDevices().indexOf(name));
        CaptureResult e;
        if (index < 0)
            e = CaptureError{CaptureError::NoDevice, QStringLiteral("it is not connected to this station")};
        else if (!device->isOpen() || device->videoDevices().value(index) != openCompanion_.value(grid))
            e = device->open(index);
        if (e) {
            openCompanion_.remove(grid);
            warnings << QStringLiteral("The camera of grid %1, %2, was not recorded: %3").arg(grid).arg(name, e->description);
            continue;
        }
        openCompanion_.insert(grid, name);
        // The first camera's frame size where this one offers it, so the pictures compare.
        const int same = int(device->lists().resolutions.indexOf(resolutionName(resolution())));
        if (same >= 0 && same != device->format().resolution) {
            CaptureFormat f = device->format();
            f.resolution = same;
            if (CaptureResult refused = device->setFormat(f))
                warnings << QStringLiteral("The camera of grid %1, %2, keeps its own frame size: %3")
                                .arg(grid)
                                .arg(name, refused->description);
        }
        device->setFrameRate(fps_);
        out.append({grid, device.get()});
    }
    return out;
}

void CaptureComponent::stopCompanions()
{
    for (const auto& d : std::as_const(companions_))
        d->stopRecording();
}

CaptureResult CaptureComponent::stopCapture()
{
    if (auto e = admit(QStringLiteral("stopCapture"), {}))
        return e;
    device_->stopRecording();
    stopCompanions();
    return {};
}

// --- Frame capture ---

CaptureResult CaptureComponent::setFrameFileName(const QString& path)
{
    if (auto e = admit(QStringLiteral("setFrameFileName"), path))
        return e;
    frameFile_ = path;
    return {};
}

CaptureResult CaptureComponent::setFrameOptions(const FrameCaptureOptions& options)
{
    if (auto e = admit(QStringLiteral("setFrameOptions"), {}))
        return e;
    frameOptions_ = options;
    return {};
}

CaptureResult CaptureComponent::captureFrame()
{
    if (auto e = admit(QStringLiteral("captureFrame"), {}))
        return e;
    if (!isConnected())
        return notConnected();
    if (frameFile_.trimmed().isEmpty())
        return CaptureError{CaptureError::FileError, QStringLiteral("No frame file name is set")};
    const int quality = frameOptions_.luminanceFactor > 0 ? std::clamp(frameOptions_.luminanceFactor, 1, 100) : 90;
    return device_->saveFrame(frameFile_, quality);
}

} // namespace tarvex
