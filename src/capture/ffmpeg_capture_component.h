#pragma once
// The station's own capture component: the FFmpeg device under the panel's component, with
// the settings the station starts with.
#include "capture/capture_component.h"
#include "capture/capture_dialog_host.h"
#include "capture/ffmpeg_capture_device.h"

namespace tarvex {

class FfmpegCaptureComponent : public CaptureComponent {
public:
    // dialogs null: no dialogs (dialogAvailable answers false).
    explicit FfmpegCaptureComponent(FfmpegCaptureOptions options = {},
                                    std::shared_ptr<CaptureDialogHost> dialogs = nullptr, QObject* parent = nullptr)
        : FfmpegCaptureComponent(std::make_shared<FfmpegCaptureDevice>(std::move(options)), std::move(dialogs), parent)
    {
    }

    FfmpegCaptureDevice& ffmpegDevice() const { return *device_; }

protected:
    std::shared_ptr<CaptureDevice> makeCompanionDevice() override
    {
        return std::make_shared<FfmpegCaptureDevice>(device_->companionOptions());
    }

private:
    FfmpegCaptureComponent(std::shared_ptr<FfmpegCaptureDevice> device, std::shared_ptr<CaptureDialogHost> dialogs,
                           QObject* parent)
        : CaptureComponent(device, std::move(dialogs), parent), device_(std::move(device))
    {
        videoCompressor_ = videoCompressorCount() > 0 ? 0 : -1;
        sampleRate_ = 44100;
        channels_ = 2;
        bits_ = 16;
        file_ = QStringLiteral("testvid.avi");
    }

    std::shared_ptr<FfmpegCaptureDevice> device_;
};

} // namespace tarvex
