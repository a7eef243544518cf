#pragma once
// A capture component whose devices, answers and failures a test scripts, and which counts
// and logs every operation so a test can assert what the station asked of it.
#include "capture/capture_component.h"
#include <QHash>
#include <QList>
#include <QStringList>
#include <deque>
#include <functional>

namespace tarvex {

struct FakeVideoDevice {
    QString name;
    QStringList resolutions;
    int resolution = 0;
    QStringList colorFormats;
    int colorFormat = 0;
    QStringList inputs;
    int input = 0;
    bool tuner = false;
    int lowestChannel = 0;
    int highestChannel = 0;
    int channel = 0;
};

class FakeCaptureComponent : public CaptureComponent {
    Q_OBJECT
public:
    explicit FakeCaptureComponent(QObject* parent = nullptr);

    // --- Scripting (silent: no notification, not counted) ---
    // The first video device added becomes the selected one.
    FakeCaptureComponent& addVideoDevice(const FakeVideoDevice& device);
    FakeCaptureComponent& addAudioDevice(const QString& name, bool select = false);
    FakeVideoDevice& videoDeviceData(int index) { return video_[index]; }
    void setVideoCompressors(const QStringList& names, int selected = -1);
    void setAudioCompressors(const QStringList& names, int selected = -1);
    void setEffects(const QString& category, const QStringList& names, int currentInSlot0 = -1);
    void setDialogAvailable(int id, bool available = true);
    void setAudioFormat(int hz, int channels, int bits);
    // Sample rates the device takes; others are refused with Unsupported. Empty: any.
    void setSupportedSampleRates(const QList<int>& rates) { supportedRates_ = rates; }
    void setStatistics(const CaptureStatistics& s) { stats_ = s; }
    void setPreviewState(bool on) { preview_ = on; }
    void setFrameRateState(int fps) { fps_ = fps; }
    void setTimeLimitState(int seconds) { limit_ = seconds; }
    void setListenState(bool on) { listen_ = on; }
    void setFrameOptionsState(const FrameCaptureOptions& o) { frameOptions_ = o; }
    // Runs when a dialog is shown, after it is counted: lets a test play the operator's
    // choices in the device's own dialog.
    void onDialog(std::function<void(int id)> f) { onDialog_ = std::move(f); }

    // --- Failures, by operation name (the method name, e.g. "connectDevice") ---
    void failNext(const QString& op, const CaptureError& e);    // once, queued
    void failAlways(const QString& op, const CaptureError& e);  // until clearFailures()
    void clearFailures();

    // --- What was asked ---
    int calls(const QString& op) const { return counts_.value(op); }
    // Every operation with its arguments, in order: "connectDevice(0)", "setPreview(true)".
    const QStringList& log() const { return log_; }
    QStringList log(const QString& op) const;   // the entries of one operation
    void clearLog() { log_.clear(); counts_.clear(); }

    // --- Notifications ---
    void plugVideoDevice(const FakeVideoDevice& device);
    void unplugVideoDevice(int index);
    void plugAudioDevice(const QString& name);
    void unplugAudioDevice(int index);
    void emitStatusText(const QString& text) { emit statusText(text); }
    void emitStatusCode(int code, const QString& text) { emit statusCode(code, text); }
    void emitWarning(const QString& text) { emit warning(text); }

    // --- CaptureComponent ---
    int videoDeviceCount() const override { return int(video_.size()); }
    QString videoDeviceName(int index) const override;
    int videoDevice() const override { return videoDevice_; }
    CaptureResult setVideoDevice(int index) override;
    int audioDeviceCount() const override { return int(audio_.size()); }
    QString audioDeviceName(int index) const override { return audio_.value(index); }
    int audioDevice() const override { return audioDevice_; }
    CaptureResult setAudioDevice(int index) override;
    CaptureResult connectDevice(int index) override;
    CaptureResult disconnectDevice() override;
    bool isConnected() const override { return connected_; }

    int resolutionCount() const override;
    QString resolutionName(int index) const override;
    int resolution() const override;
    CaptureResult setResolution(int index) override;
    int colorFormatCount() const override;
    QString colorFormatName(int index) const override;
    int colorFormat() const override;
    CaptureResult setColorFormat(int index) override;
    int videoInputCount() const override;
    QString videoInputName(int index) const override;
    int videoInput() const override;
    CaptureResult setVideoInput(int index) override;
    bool hasTuner() const override;
    int lowestChannel() const override;
    int highestChannel() const override;
    int channel() const override;
    CaptureResult setChannel(int channel) override;

    int videoCompressorCount() const override { return int(videoCompressors_.size()); }
    QString videoCompressorName(int index) const override { return videoCompressors_.value(index); }
    int videoCompressor() const override { return videoCompressor_; }
    CaptureResult setVideoCompressor(int index) override;
    int audioCompressorCount() const override { return int(audioCompressors_.size()); }
    QString audioCompressorName(int index) const override { return audioCompressors_.value(index); }
    int audioCompressor() const override { return audioCompressor_; }
    CaptureResult setAudioCompressor(int index) override;

    int audioSampleRate() const override { return rate_; }
    CaptureResult setAudioSampleRate(int hz) override;
    int audioChannels() const override { return channels_; }
    CaptureResult setAudioChannels(int channels) override;
    int audioBits() const override { return bits_; }
    CaptureResult setAudioBits(int bits) override;
    bool audioListen() const override { return listen_; }
    CaptureResult setAudioListen(bool on) override;

    int effectCount(const QString& category) const override { return int(effects_.value(category).size()); }
    QString effectName(const QString& category, int index) const override;
    int findEffect(const QString& category, const QString& name) const override;
    int currentEffect(const QString& category, int slot) const override;
    CaptureResult setEffect(const QString& category, int slot, int index) override;

    bool dialogAvailable(int id) const override { return dialogs_.contains(id); }
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
    CaptureStatistics statistics() const override { return stats_; }

    QString frameFileName() const override { return frameFile_; }
    CaptureResult setFrameFileName(const QString& path) override;
    FrameCaptureOptions frameOptions() const override { return frameOptions_; }
    CaptureResult setFrameOptions(const FrameCaptureOptions& options) override;
    CaptureResult captureFrame() override;

private:
    // Counts and logs the call, then answers a scripted failure if one is due.
    CaptureResult act(const QString& op, const QString& args = {});
    const FakeVideoDevice* current() const;
    FakeVideoDevice* current();

    QList<FakeVideoDevice> video_;
    int videoDevice_ = -1;
    bool connected_ = false;
    QStringList audio_;
    int audioDevice_ = -1;
    QStringList videoCompressors_, audioCompressors_;
    int videoCompressor_ = -1, audioCompressor_ = -1;
    int rate_ = 11025, channels_ = 1, bits_ = 8;
    QList<int> supportedRates_;
    bool listen_ = false;
    QHash<QString, QStringList> effects_;
    QHash<QString, int> currentEffects_;   // "category/slot" -> index
    QList<int> dialogs_;
    std::function<void(int)> onDialog_;
    bool preview_ = false;
    QString file_, frameFile_;
    int fps_ = 15, limit_ = 0;
    bool capturing_ = false;
    CaptureStatistics stats_;
    FrameCaptureOptions frameOptions_;

    QHash<QString, std::deque<CaptureError>> once_;
    QHash<QString, CaptureError> always_;
    QHash<QString, int> counts_;
    QStringList log_;
};

} // namespace tarvex
