#include "capture/capture_device.h"

namespace tarvex {

namespace {

CaptureError noDevice() { return {CaptureError::NoDevice, QStringLiteral("No capture device is available")}; }

} // namespace

CaptureResult NullCaptureDevice::open(int) { return noDevice(); }
CaptureResult NullCaptureDevice::setFormat(const CaptureFormat&)
{
    return CaptureError{CaptureError::NotConnected, QStringLiteral("No capture device is connected")};
}
CaptureResult NullCaptureDevice::saveFrame(const QString&, int) { return noDevice(); }
CaptureResult NullCaptureDevice::startRecording(const RecordingSettings&) { return noDevice(); }

} // namespace tarvex
