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

} // namespace

FakeCaptureComponent::FakeCaptureComponent(QObject* parent)
    : FakeCaptureComponent(std::make_shared<FakeCaptureDevice>(), parent)
{
}

FakeCaptureComponent::FakeCaptureComponent(std::shared_ptr<FakeCaptureDevice> device, QObject* parent)
    : CaptureComponent(device, nullptr, parent), device_(std::move(device))
{
    fps_ = 15;
}

// --- Scripting ---

FakeCaptureComponent& FakeCaptureComponent::addVideoDevice(const FakeVideoDevice& device)
{
    device_->video.append(device);
    if (selectedVideo_ < 0) selectedVideo_ = 0;
    return *this;
}

FakeCaptureComponent& FakeCaptureComponent::addAudioDevice(const QString& name, bool select)
{
    device_->audio.append(name);
    if (select) selectedAudio_ = int(device_->audio.size()) - 1;
    return *this;
}

void FakeCaptureComponent::setVideoCompressors(const QStringList& names, int selected)
{
    device_->compressors = names;
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
    sampleRate_ = hz;
    channels_ = channels;
    bits_ = bits;
}

void FakeCaptureComponent::plugVideoDevice(const FakeVideoDevice& device)
{
    if (selectedVideo_ < 0) selectedVideo_ = 0;
    device_->plugVideo(device);
}

// --- Failures and the log ---

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

std::shared_ptr<CaptureDevice> FakeCaptureComponent::makeCompanionDevice()
{
    auto d = std::make_shared<FakeCaptureDevice>();
    d->video = device_->video;
    d->compressors = device_->compressors;
    return d;
}

CaptureResult FakeCaptureComponent::admit(const QString& op, const QString& args)
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

CaptureResult FakeCaptureComponent::runDialog(int id)
{
    if (onDialog_) onDialog_(id);
    return {};
}

} // namespace tarvex
