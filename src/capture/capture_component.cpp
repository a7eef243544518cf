#include "capture/capture_component.h"

namespace tarvex {

namespace {

CaptureError noDevice()
{
    return {CaptureError::NoDevice, QStringLiteral("No capture device is available")};
}

CaptureError notConnected()
{
    return {CaptureError::NotConnected, QStringLiteral("No capture device is connected")};
}

CaptureError badIndex()
{
    return {CaptureError::BadIndex, QStringLiteral("Invalid index")};
}

} // namespace

// Choosing "none" is always possible; anything else needs a device that is not there.
CaptureResult NullCaptureComponent::setVideoDevice(int index)
{
    return index == -1 ? CaptureResult{} : noDevice();
}

CaptureResult NullCaptureComponent::setAudioDevice(int index)
{
    return index == -1 ? CaptureResult{} : noDevice();
}

CaptureResult NullCaptureComponent::connectDevice(int) { return noDevice(); }
CaptureResult NullCaptureComponent::setResolution(int) { return notConnected(); }
CaptureResult NullCaptureComponent::setColorFormat(int) { return notConnected(); }
CaptureResult NullCaptureComponent::setVideoInput(int) { return notConnected(); }
CaptureResult NullCaptureComponent::setChannel(int) { return notConnected(); }

CaptureResult NullCaptureComponent::setVideoCompressor(int index)
{
    return index == -1 ? CaptureResult{} : badIndex();
}

CaptureResult NullCaptureComponent::setAudioCompressor(int index)
{
    return index == -1 ? CaptureResult{} : badIndex();
}

CaptureResult NullCaptureComponent::setEffect(const QString&, int, int index)
{
    return index == -1 ? CaptureResult{} : badIndex();
}

CaptureResult NullCaptureComponent::startCapture() { return noDevice(); }
CaptureResult NullCaptureComponent::captureFrame() { return noDevice(); }

} // namespace tarvex
