#pragma once
// The station's own capture component with only the rehearsal camera: no device of the
// machine, no sound, no device polling, so a test records the same scene everywhere.
#include "capture/capture_backend.h"
#include "capture/ffmpeg_capture_component.h"
#include "station/station.h"
#include "testkit/fixed_clock.h"

#include <QDateTime>
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

// A whole station (every screen) that records from the rehearsal camera, files under
// `folder`, on a fixed day. Screen catalogues come from the roof, so the caller passes them.
inline StationOptions rehearsalStation(const QString& folder, const QString& settingsFile,
                                       std::shared_ptr<Prompter> prompter, ScreenCatalogue screens)
{
    StationOptions o;
    o.settingsFile = settingsFile;
    o.programFolder = folder + QStringLiteral("/program");
    o.txioFolder = folder + QStringLiteral("/txio");
    o.prompter = std::move(prompter);
    o.clock = std::make_shared<FixedClock>(QDateTime(QDate(2026, 12, 6), QTime(14, 3, 22)));
    o.capture = std::make_shared<FfmpegCaptureComponent>(rehearsalCameraOnly());
    o.screens = std::move(screens);
    return o;
}

} // namespace tarvex::test
