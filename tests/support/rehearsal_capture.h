#pragma once
// The station's own capture component with only the rehearsal camera: no device of the
// machine, no sound, no device polling, so a test records the same scene everywhere.
#include "capture/capture_backend.h"
#include "capture/ffmpeg_capture_component.h"

#include <memory>

namespace tarvex::test {

class NoCameras : public VideoBackend {
public:
    QList<VideoDeviceInfo> devices() override { return {}; }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo&, const VideoOpenRequest&, QString& error) override
    {
        error = QStringLiteral("no such camera");
        return nullptr;
    }
};

class NoSound : public AudioBackend {
public:
    QList<AudioDeviceInfo> devices() override { return {}; }
};

inline FfmpegCaptureOptions rehearsalCameraOnly()
{
    FfmpegCaptureOptions o;
    o.rehearsal = true;
    o.videoBackend = std::make_shared<NoCameras>();
    o.audioBackend = std::make_shared<NoSound>();
    o.devicePollMs = 0;
    return o;
}

} // namespace tarvex::test
