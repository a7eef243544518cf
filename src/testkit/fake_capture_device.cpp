#include "testkit/fake_capture_device.h"

namespace tarvex {

namespace {

CaptureError notConnected() { return {CaptureError::NotConnected, QStringLiteral("Not connected")}; }
CaptureError badIndex() { return {CaptureError::BadIndex, QStringLiteral("Invalid index")}; }

bool inRange(int index, qsizetype size) { return index >= 0 && index < size; }

} // namespace

void FakeCaptureDevice::plugVideo(const FakeVideoDevice& device)
{
    video.append(device);
    emit deviceChange(VideoCaptureSources, DeviceAdded, int(video.size()) - 1, device.name);
}

void FakeCaptureDevice::unplugVideo(int index)
{
    if (!inRange(index, video.size()))
        return;
    const QString name = video[index].name;
    video.removeAt(index);
    if (index == open_)
        close();
    else if (index < open_)
        --open_;
    emit deviceChange(VideoCaptureSources, DeviceRemoved, index, name);
}

void FakeCaptureDevice::plugAudio(const QString& name)
{
    audio.append(name);
    emit deviceChange(AudioCaptureSources, DeviceAdded, int(audio.size()) - 1, name);
}

void FakeCaptureDevice::unplugAudio(int index)
{
    if (!inRange(index, audio.size()))
        return;
    const QString name = audio.takeAt(index);
    emit deviceChange(AudioCaptureSources, DeviceRemoved, index, name);
}

QStringList FakeCaptureDevice::videoDevices() const
{
    QStringList names;
    for (const FakeVideoDevice& d : video)
        names << d.name;
    return names;
}

CaptureResult FakeCaptureDevice::open(int index)
{
    if (!inRange(index, video.size()))
        return badIndex();
    close();
    open_ = index;
    return {};
}

void FakeCaptureDevice::close()
{
    open_ = -1;
    recording_ = false;
}

CaptureSourceLists FakeCaptureDevice::lists() const
{
    if (!isOpen())
        return {};
    const FakeVideoDevice& d = video[open_];
    CaptureSourceLists l{d.colorFormats, d.resolutions, d.inputs};
    if (d.tuner) {
        l.tuner = true;
        l.lowestChannel = d.lowestChannel;
        l.highestChannel = d.highestChannel;
    }
    return l;
}

CaptureFormat FakeCaptureDevice::format() const
{
    if (!isOpen())
        return {};
    const FakeVideoDevice& d = video[open_];
    return {d.colorFormat, d.resolution, d.input, d.channel};
}

CaptureResult FakeCaptureDevice::setFormat(const CaptureFormat& f)
{
    if (!isOpen())
        return notConnected();
    FakeVideoDevice& d = video[open_];
    d.colorFormat = f.colorFormat;
    d.resolution = f.resolution;
    d.input = f.input;
    d.channel = f.channel;
    return {};
}

CaptureResult FakeCaptureDevice::saveFrame(const QString& path, int quality)
{
    if (!isOpen())
        return notConnected();
    framePath_ = path;
    frameQuality_ = quality;
    QMetaObject::invokeMethod(
        this, [this, path, outcome = stillOutcome] { emit stillSaved(path, outcome); }, Qt::QueuedConnection);
    return {};
}

CaptureResult FakeCaptureDevice::startRecording(const RecordingSettings& settings)
{
    if (!isOpen())
        return notConnected();
    if (settings.framesPerSecond < 1)
        return CaptureError{CaptureError::Unsupported, QStringLiteral("The frame rate must be at least 1")};
    lastRecording_ = settings;
    recording_ = true;
    return {};
}

} // namespace tarvex
