#pragma once
// Backends with nothing behind them: no local camera nodes, no sound devices. For tests whose
// cameras come from elsewhere (the rehearsal or network backends).
#include "capture/capture_backend.h"

namespace tarvex::test {

class NoNodes : public VideoBackend {
public:
    QList<VideoDeviceInfo> devices() override { return {}; }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo&, const VideoOpenRequest&, QString& error) override
    {
        error = QStringLiteral("no such node");
        return nullptr;
    }
};

class NoSound : public AudioBackend {
public:
    QList<AudioDeviceInfo> devices() override { return {}; }
};

} // namespace tarvex::test
