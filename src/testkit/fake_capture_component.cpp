#include "testkit/fake_capture_component.h"
#include <stdexcept>

namespace tarvex {

namespace {

const QStringList& operationNames()
{
    static const QStringList names = {
        "setVideoDevice", "setAudioDevice", "connectDevice", "disconnectDevice",
        "setResolution", "setColorFormat", "setVideoInput", "setChannel",
        "setVideoCompressor", "setAudioCompressor",
        "setAudioSampleRate", "setAudioChannels", "setAudioBits", "setAudioListen",
        "setEffect", "showDialog", "setPreview",
        "setCaptureFileName", "setFrameRate", "setTimeLimit", "startCapture", "stopCapture",
        "setFrameFileName", "setFrameOptions", "captureFrame",
    };
    return names;
}

void checkName(const QString& op)
{
    // A misspelt name would script a failure that never comes; say so at once.
    if (!operationNames().contains(op))
        throw std::invalid_argument("FakeCaptureComponent: no operation named " + op.toStdString());
}

CaptureError badIndex() { return {CaptureError::BadIndex, QStringLiteral("Invalid index")}; }
CaptureError notConnected() { return {CaptureError::NotConnected, QStringLiteral("Not connected")}; }

bool inRange(int index, qsizetype size) { return index >= 0 && index < size; }

QString flag(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

} // namespace

FakeCaptureComponent::FakeCaptureComponent(QObject* parent) : CaptureComponent(parent) {}

// --- Scripting ---

FakeCaptureComponent& FakeCaptureComponent::addVideoDevice(const FakeVideoDevice& device)
{
    video_.append(device);
    if (videoDevice_ < 0) videoDevice_ = 0;
    return *this;
}

FakeCaptureComponent& FakeCaptureComponent::addAudioDevice(const QString& name, bool select)
{
    audio_.append(name);
    if (select) audioDevice_ = int(audio_.size()) - 1;
    return *this;
}

void FakeCaptureComponent::setVideoCompressors(const QStringList& names, int selected)
{
    videoCompressors_ = names;
    videoCompressor_ = selected;
}

void FakeCaptureComponent::setAudioCompressors(const QStringList& names, int selected)
{
    audioCompressors_ = names;
    audioCompressor_ = selected;
}

void FakeCaptureComponent::setEffects(const QString& category, const QStringList& names, int currentInSlot0)
{
    effects_[category] = names;
    currentEffects_[category + "/0"] = currentInSlot0;
}

void FakeCaptureComponent::setDialogAvailable(int id, bool available)
{
    dialogs_.removeAll(id);
    if (available) dialogs_.append(id);
}

void FakeCaptureComponent::setAudioFormat(int hz, int channels, int bits)
{
    rate_ = hz;
    channels_ = channels;
    bits_ = bits;
}

void FakeCaptureComponent::failNext(const QString& op, const CaptureError& e)
{
    checkName(op);
    once_[op].push_back(e);
}

void FakeCaptureComponent::failAlways(const QString& op, const CaptureError& e)
{
    checkName(op);
    always_[op] = e;
}

void FakeCaptureComponent::clearFailures()
{
    once_.clear();
    always_.clear();
}

QStringList FakeCaptureComponent::log(const QString& op) const
{
    QStringList out;
    for (const QString& entry : log_)
        if (entry.startsWith(op + '(')) out << entry;
    return out;
}

CaptureResult FakeCaptureComponent::act(const QString& op, const QString& args)
{
    ++counts_[op];
    log_ << op + '(' + args + ')';
    auto queued = once_.find(op);
    if (queued != once_.end() && !queued->empty()) {
        CaptureError e = queued->front();
        queued->pop_front();
        return e;
    }
    if (always_.contains(op)) return always_.value(op);
    return {};
}

// --- Notifications ---

void FakeCaptureComponent::plugVideoDevice(const FakeVideoDevice& device)
{
    video_.append(device);
    if (videoDevice_ < 0) videoDevice_ = 0;
    emit deviceChange(VideoCaptureSources, DeviceAdded, int(video_.size()) - 1, device.name);
}

void FakeCaptureComponent::unplugVideoDevice(int index)
{
    const QString name = video_.value(index).name;
    video_.removeAt(index);
    if (index == videoDevice_) {
        connected_ = false;
        capturing_ = false;
        videoDevice_ = video_.isEmpty() ? -1 : 0;
    } else if (index < videoDevice_) {
        --videoDevice_;
    }
    emit deviceChange(VideoCaptureSources, DeviceRemoved, index, name);
}

void FakeCaptureComponent::plugAudioDevice(const QString& name)
{
    audio_.append(name);
    emit deviceChange(AudioCaptureSources, DeviceAdded, int(audio_.size()) - 1, name);
}

void FakeCaptureComponent::unplugAudioDevice(int index)
{
    const QString name = audio_.value(index);
    audio_.removeAt(index);
    if (index == audioDevice_) audioDevice_ = -1;
    else if (index < audioDevice_) --audioDevice_;
    emit deviceChange(AudioCaptureSources, DeviceRemoved, index, name);
}

// --- Devices ---

QString FakeCaptureComponent::videoDeviceName(int index) const
{
    return inRange(index, video_.size()) ? video_[index].name : QString();
}

CaptureResult FakeCaptureComponent::setVideoDevice(int index)
{
    if (auto e = act("setVideoDevice", QString::number(index))) return e;
    if (index != -1 && !inRange(index, video_.size())) return badIndex();
    videoDevice_ = index;
    if (index == -1) connected_ = false;
    return {};
}

CaptureResult FakeCaptureComponent::setAudioDevice(int index)
{
    if (auto e = act("setAudioDevice", QString::number(index))) return e;
    if (index != -1 && !inRange(index, audio_.size())) return badIndex();
    audioDevice_ = index;
    return {};
}

CaptureResult FakeCaptureComponent::connectDevice(int index)
{
    if (auto e = act("connectDevice", QString::number(index))) return e;
    if (video_.isEmpty()) return CaptureError{CaptureError::NoDevice, QStringLiteral("No video device")};
    if (!inRange(index, video_.size())) return badIndex();
    videoDevice_ = index;
    connected_ = true;
    return {};
}

CaptureResult FakeCaptureComponent::disconnectDevice()
{
    if (auto e = act("disconnectDevice")) return e;
    connected_ = false;
    capturing_ = false;
    return {};
}

const FakeVideoDevice* FakeCaptureComponent::current() const
{
    return connected_ && inRange(videoDevice_, video_.size()) ? &video_[videoDevice_] : nullptr;
}

FakeVideoDevice* FakeCaptureComponent::current()
{
    return connected_ && inRange(videoDevice_, video_.size()) ? &video_[videoDevice_] : nullptr;
}

// --- Lists of the connected device ---

int FakeCaptureComponent::resolutionCount() const { return current() ? int(current()->resolutions.size()) : 0; }
QString FakeCaptureComponent::resolutionName(int i) const { return current() ? current()->resolutions.value(i) : QString(); }
int FakeCaptureComponent::resolution() const { return current() ? current()->resolution : -1; }

CaptureResult FakeCaptureComponent::setResolution(int index)
{
    if (auto e = act("setResolution", QString::number(index))) return e;
    FakeVideoDevice* d = current();
    if (!d) return notConnected();
    if (!inRange(index, d->resolutions.size())) return badIndex();
    d->resolution = index;
    return {};
}

int FakeCaptureComponent::colorFormatCount() const { return current() ? int(current()->colorFormats.size()) : 0; }
QString FakeCaptureComponent::colorFormatName(int i) const { return current() ? current()->colorFormats.value(i) : QString(); }
int FakeCaptureComponent::colorFormat() const { return current() ? current()->colorFormat : -1; }

CaptureResult FakeCaptureComponent::setColorFormat(int index)
{
    if (auto e = act("setColorFormat", QString::number(index))) return e;
    FakeVideoDevice* d = current();
    if (!d) return notConnected();
    if (!inRange(index, d->colorFormats.size())) return badIndex();
    d->colorFormat = index;
    return {};
}

int FakeCaptureComponent::videoInputCount() const { return current() ? int(current()->inputs.size()) : 0; }
QString FakeCaptureComponent::videoInputName(int i) const { return current() ? current()->inputs.value(i) : QString(); }
int FakeCaptureComponent::videoInput() const { return current() ? current()->input : -1; }

CaptureResult FakeCaptureComponent::setVideoInput(int index)
{
    if (auto e = act("setVideoInput", QString::number(index))) return e;
    FakeVideoDevice* d = current();
    if (!d) return notConnected();
    if (!inRange(index, d->inputs.size())) return badIndex();
    d->input = index;
    return {};
}

bool FakeCaptureComponent::hasTuner() const { return current() && current()->tuner; }
int FakeCaptureComponent::lowestChannel() const { return hasTuner() ? current()->lowestChannel : 0; }
int FakeCaptureComponent::highestChannel() const { return hasTuner() ? current()->highestChannel : 0; }
int FakeCaptureComponent::channel() const { return hasTuner() ? current()->channel : 0; }

CaptureResult FakeCaptureComponent::setChannel(int channel)
{
    if (auto e = act("setChannel", QString::number(channel))) return e;
    FakeVideoDevice* d = current();
    if (!d) return notConnected();
    if (!d->tuner || channel < d->lowestChannel || channel > d->highestChannel) return badIndex();
    d->channel = channel;
    return {};
}

// --- Compressors ---

CaptureResult FakeCaptureComponent::setVideoCompressor(int index)
{
    if (auto e = act("setVideoCompressor", QString::number(index))) return e;
    if (index != -1 && !inRange(index, videoCompressors_.size())) return badIndex();
    videoCompressor_ = index;
    return {};
}

CaptureResult FakeCaptureComponent::setAudioCompressor(int index)
{
    if (auto e = act("setAudioCompressor", QString::number(index))) return e;
    if (index != -1 && !inRange(index, audioCompressors_.size())) return badIndex();
    audioCompressor_ = index;
    return {};
}

// --- Audio format ---

CaptureResult FakeCaptureComponent::setAudioSampleRate(int hz)
{
    if (auto e = act("setAudioSampleRate", QString::number(hz))) return e;
    if (!supportedRates_.isEmpty() && !supportedRates_.contains(hz))
        return CaptureError{CaptureError::Unsupported, QStringLiteral("Unsupported sample rate")};
    rate_ = hz;
    return {};
}

CaptureResult FakeCaptureComponent::setAudioChannels(int channels)
{
    if (auto e = act("setAudioChannels", QString::number(channels))) return e;
    channels_ = channels;
    return {};
}

CaptureResult FakeCaptureComponent::setAudioBits(int bits)
{
    if (auto e = act("setAudioBits", QString::number(bits))) return e;
    bits_ = bits;
    return {};
}

CaptureResult FakeCaptureComponent::setAudioListen(bool on)
{
    if (auto e = act("setAudioListen", flag(on))) return e;
    listen_ = on;
    return {};
}

// --- Effects ---

QString FakeCaptureComponent::effectName(const QString& category, int index) const
{
    return effects_.value(category).value(index);
}

int FakeCaptureComponent::findEffect(const QString& category, const QString& name) const
{
    return int(effects_.value(category).indexOf(name));
}

int FakeCaptureComponent::currentEffect(const QString& category, int slot) const
{
    return currentEffects_.value(category + '/' + QString::number(slot), -1);
}

CaptureResult FakeCaptureComponent::setEffect(const QString& category, int slot, int index)
{
    if (auto e = act("setEffect", QStringLiteral("%1,%2,%3").arg(category).arg(slot).arg(index))) return e;
    if (index != -1 && !inRange(index, effects_.value(category).size())) return badIndex();
    currentEffects_[category + '/' + QString::number(slot)] = index;
    return {};
}

// --- Dialogs, preview ---

CaptureResult FakeCaptureComponent::showDialog(int id, const QString& text)
{
    if (auto e = act("showDialog", text.isEmpty() ? QString::number(id) : QStringLiteral("%1,%2").arg(id).arg(text)))
        return e;
    if (onDialog_) onDialog_(id);
    return {};
}

CaptureResult FakeCaptureComponent::setPreview(bool on)
{
    if (auto e = act("setPreview", flag(on))) return e;
    preview_ = on;
    return {};
}

// --- Stream and frame capture ---

CaptureResult FakeCaptureComponent::setCaptureFileName(const QString& path)
{
    if (auto e = act("setCaptureFileName", path)) return e;
    file_ = path;
    return {};
}

CaptureResult FakeCaptureComponent::setFrameRate(int fps)
{
    if (auto e = act("setFrameRate", QString::number(fps))) return e;
    fps_ = fps;
    return {};
}

CaptureResult FakeCaptureComponent::setTimeLimit(int seconds)
{
    if (auto e = act("setTimeLimit", QString::number(seconds))) return e;
    limit_ = seconds;
    return {};
}

CaptureResult FakeCaptureComponent::startCapture()
{
    if (auto e = act("startCapture")) return e;
    if (!connected_) return notConnected();
    if (fps_ < 1) return CaptureError{CaptureError::Unsupported, QStringLiteral("The frame rate must be at least 1")};
    capturing_ = true;
    return {};
}

CaptureResult FakeCaptureComponent::stopCapture()
{
    if (auto e = act("stopCapture")) return e;
    capturing_ = false;
    return {};
}

CaptureResult FakeCaptureComponent::setFrameFileName(const QString& path)
{
    if (auto e = act("setFrameFileName", path)) return e;
    frameFile_ = path;
    return {};
}

CaptureResult FakeCaptureComponent::setFrameOptions(const FrameCaptureOptions& options)
{
    if (auto e = act("setFrameOptions")) return e;
    frameOptions_ = options;
    return {};
}

CaptureResult FakeCaptureComponent::captureFrame()
{
    if (auto e = act("captureFrame")) return e;
    if (!connected_) return notConnected();
    return {};
}

} // namespace tarvex
