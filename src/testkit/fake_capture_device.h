#pragma once
// A capture device whose cameras, sound devices, compressors and statistics a test scripts.
// A recording is a flag and the settings it was started with; no file is written. A still
// writes no file either: it is answered on the next turn of the event loop with stillOutcome.
#include "capture/capture_device.h"

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

class FakeCaptureDevice : public CaptureDevice {
    Q_OBJECT
public:
    using CaptureDevice::CaptureDevice;

    // --- Scripting (silent) ---
    QList<FakeVideoDevice> video;
    QStringList audio;
    QStringList compressors;
    QList<int> rates;                 // empty: any
    CaptureStatistics stats;
    int preSeconds = 0;   // what setPreRecording was last told
    bool standby = false;
    CaptureResult stillOutcome;       // what every accepted still reports; empty: saved

    // --- What was asked ---
    const RecordingSettings& lastRecording() const { return lastRecording_; }
    const QString& lastFramePath() const { return framePath_; }
    int lastFrameQuality() const { return frameQuality_; }

    // --- Notifications ---
    void plugVideo(const FakeVideoDevice& device);
    void unplugVideo(int index);
    void plugAudio(const QString& name);
    void unplugAudio(int index);

    // --- CaptureDevice ---
    QStringList videoDevices() const override;
    QStringList audioDevices() const override { return audio; }
    CaptureResult open(int videoDevice) override;
    void close() override;
    bool isOpen() const override { return open_ >= 0; }
    CaptureSourceLists lists() const override;
    CaptureFormat format() const override;
    CaptureResult setFormat(const CaptureFormat& format) override;
    void setFrameRate(int) override {}
    QStringList videoCompressors() const override { return compressors; }
    QList<int> sampleRates() const override { return rates; }
    CaptureResult setPreview(bool) override { return {}; }
    void setStandby(bool on) override { standby = on; }
    CaptureResult setPreRecording(int seconds, const RecordingSettings&) override
    {
        preSeconds = seconds;
        return {};
    }
    CaptureResult saveFrame(const QString& path, int quality) override;
    CaptureResult startRecording(const RecordingSettings& settings) override;
    void stopRecording() override { recording_ = false; }
    bool isRecording() const override { return recording_; }
    CaptureStatistics statistics() const override { return stats; }

private:
    int open_ = -1;
    bool recording_ = false;
    RecordingSettings lastRecording_;
    QString framePath_;
    int frameQuality_ = 0;
};

} // namespace tarvex
