#pragma once
// The capture component's dialogs as Qt dialogs: video source and format, compression
// quality, audio format. The component asks for them through CaptureDialogHost.
#include "capture/capture_dialog_host.h"

class QWidget;

namespace tarvex {

class QtCaptureDialogs : public CaptureDialogHost {
public:
    // parent: the window the dialogs are centred on; may be null.
    explicit QtCaptureDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    bool chooseVideoSource(VideoSourceChoice& choice) override;
    bool chooseCompression(CompressionChoice& choice) override;
    bool chooseAudioFormat(AudioFormatChoice& choice) override;

private:
    QWidget* parent_;
};

} // namespace tarvex
