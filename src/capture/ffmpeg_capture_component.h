#pragma once
// The station's own capture component: cameras through the platform backend (V4L2,
// DirectShow), the rehearsal camera when asked for, sound through libavdevice, recording to
// AVI through FFmpeg.
//
// Threads: a capture thread takes the device's frames at the device's pace, hands the newest
// to the preview and, while recording, puts each frame with its time slot into a bounded
// queue; an encoder thread compresses and writes them. A frame the queue cannot take is
// dropped and its slot written as an empty chunk, so frame n of the file is the picture of
// time n / fps and a frame count taken while recording indexes the file.
//
// Statistics: frames captured counts the frames of the file, the empty chunks of dropped
// frames included (so it equals the file's frame count and the capture screen's frame
// hint is a frame of the file); frames dropped counts those empty chunks.
//
// At the end of a recording (stop, time limit, full disk, lost device) the notifications
// come in this order: status code 510 with the final statistics, then 301 ready.
#include "capture/avi_recorder.h"
#include "capture/capture_backend.h"
#include "capture/capture_component.h"
#include "capture/capture_dialog_host.h"
#include "capture/rehearsal_camera.h"

#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>

namespace tarvex {

struct FfmpegCaptureOptions {
    // Lists the rehearsal camera (after the real cameras).
    bool rehearsal = false;
    RehearsalScript rehearsalScript;
    // null: the platform's cameras / libavdevice's sound devices.
    std::shared_ptr<VideoBackend> videoBackend;
    std::shared_ptr<AudioBackend> audioBackend;
    // null: no dialogs (dialogAvailable answers false).
    std::shared_ptr<CaptureDialogHost> dialogs;
    // How often plugged and unplugged devices are looked for; 0 = never.
    int devicePollMs = 1000;
    // Free bytes on the volume of a path; null = QStorageInfo. A recording stops, keeping a
    // playable file, when less than kDiskReserve would be left.
    std::function<qint64(const QString&)> freeBytes;
};

// True when the environment asks for the rehearsal camera (TARVEX_REHEARSAL=1).
bool rehearsalFromEnvironment();

class FfmpegCaptureComponent : public CaptureComponent {
    Q_OBJECT
public:
    static constexpr qint64 kDiskReserve = 16 * 1024 * 1024;

    explicit FfmpegCaptureComponent(FfmpegCaptureOptions options = {}, QObject* parent = nullptr);
    ~FfmpegCaptureComponent() override;

    // Looks for plugged and unplugged devices now (the poll timer calls it too).
    void pollDevices();
    // The compression quality, 1..100 (dialog 256).
    int quality() const { return quality_; }
    void setQuality(int q);

    int videoDeviceCount() const override { return int(video_.size()); }
    QString videoDeviceName(int index) const override;
    int videoDevice() const override { return selectedVideo_; }
    CaptureResult setVideoDevice(int index) override;
    int audioDeviceCount() const override { return int(audio_.size()); }
    QString audioDeviceName(int index) const override;
    int audioDevice() const override { return selectedAudio_; }
    CaptureResult setAudioDevice(int index) override;
    CaptureResult connectDevice(int videoDeviceIndex) override;
    CaptureResult disconnectDevice() override;
    bool isConnected() const override { return connected_; }

    int resolutionCount() const override;
    QString resolutionName(int index) const override;
    int resolution() const override { return connected_ ? resolution_ : -1; }
    CaptureResult setResolution(int index) override;
    int colorFormatCount() const override;
    QString colorFormatName(int index) const override;
    int colorFormat() const override { return connected_ ? colorFormat_ : -1; }
    CaptureResult setColorFormat(int index) override;
    int videoInputCount() const override;
    QString videoInputName(int index) const override;
    int videoInput() const override { return connected_ && videoInputCount() > 0 ? input_ : -1; }
    CaptureResult setVideoInput(int index) override;
    bool hasTuner() const override { return connected_ && device_.tuner; }
    int lowestChannel() const override { return hasTuner() ? device_.lowestChannel : 0; }
    int highestChannel() const override { return hasTuner() ? device_.highestChannel : 0; }
    int channel() const override { return hasTuner() ? channel_ : 0; }
    CaptureResult setChannel(int channel) override;

    int videoCompressorCount() const override { return int(codecs_.size()); }
    QString videoCompressorName(int index) const override;
    int videoCompressor() const override { return compressor_; }
    CaptureResult setVideoCompressor(int index) override;
    int audioCompressorCount() const override { return 0; }
    QString audioCompressorName(int) const override { return {}; }
    int audioCompressor() const override { return -1; }
    CaptureResult setAudioCompressor(int index) override;

    int audioSampleRate() const override { return sampleRate_; }
    CaptureResult setAudioSampleRate(int hz) override;
    int audioChannels() const override { return channels_; }
    CaptureResult setAudioChannels(int channels) override;
    int audioBits() const override { return bits_; }
    CaptureResult setAudioBits(int bits) override;
    bool audioListen() const override { return listen_; }
    CaptureResult setAudioListen(bool on) override;

    int effectCount(const QString&) const override { return 0; }
    QString effectName(const QString&, int) const override { return {}; }
    int findEffect(const QString&, const QString&) const override { return -1; }
    int currentEffect(const QString&, int) const override { return -1; }
    CaptureResult setEffect(const QString& category, int slot, int index) override;

    bool dialogAvailable(int id) const override;
    CaptureResult showDialog(int id, const QString& text) override;

    bool preview() const override { return preview_; }
    CaptureResult setPreview(bool on) override;

    QString captureFileName() const override { return file_; }
    CaptureResult setCaptureFileName(const QString& path) override;
    int frameRate() const override { return fps_; }
    CaptureResult setFrameRate(int fps) override;
    int timeLimit() const override { return limit_; }
    CaptureResult setTimeLimit(int seconds) override;
    CaptureResult startCapture() override;
    CaptureResult stopCapture() override;
    bool isCapturing() const override { return capturing_; }
    CaptureStatistics statistics() const override;

    QString frameFileName() const override { return frameFile_; }
    CaptureResult setFrameFileName(const QString& path) override;
    FrameCaptureOptions frameOptions() const override { return frameOptions_; }
    CaptureResult setFrameOptions(const FrameCaptureOptions& options) override;
    CaptureResult captureFrame() override;

    static const QList<int>& supportedSampleRates();

private:
    struct Shared;
    struct Device {
        VideoBackend* backend = nullptr;
        VideoDeviceInfo info;
    };

    QList<Device> listVideoDevices() const;
    QSize currentSize() const;
    // Streams from the connected device when preview or a recording wants it; restarts it
    // when the settings it runs with changed.
    CaptureResult ensureStreaming();
    void stopStreaming();
    void updateStreaming();
    void captureLoop();
    void encoderLoop();
    void audioLoop(int blockBytes);
    // Ends the recording on the user-interface thread; warning empty = an ordinary stop.
    void finishRecording(const QString& warning);
    void deliverPreview();
    void sourceFailed(const QString& why);
    CaptureError busy() const;

    FfmpegCaptureOptions options_;
    std::shared_ptr<VideoBackend> platform_;
    std::shared_ptr<RehearsalBackend> rehearsal_;
    std::shared_ptr<AudioBackend> audioBackend_;
    QList<Device> video_;
    QList<AudioDeviceInfo> audio_;
    int selectedVideo_ = -1;
    int selectedAudio_ = -1;
    bool connected_ = false;
    VideoDeviceInfo device_;
    VideoBackend* deviceBackend_ = nullptr;
    int resolution_ = -1, colorFormat_ = -1, input_ = 0, channel_ = 0;

    QList<VideoCodec> codecs_;
    int compressor_ = 0;
    int quality_ = 85;
    int sampleRate_ = 44100, channels_ = 2, bits_ = 16;
    bool listen_ = false;
    bool preview_ = false;
    QString file_ = QStringLiteral("testvid.avi"), frameFile_;
    int fps_ = 30, limit_ = 0;
    FrameCaptureOptions frameOptions_;

    bool capturing_ = false;
    CaptureStatistics last_;
    std::shared_ptr<Shared> s_;   // what the threads share with us
    VideoOpenRequest streaming_;
    QElapsedTimer previewClock_;
    QTimer poll_;
};

} // namespace tarvex
