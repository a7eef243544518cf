#pragma once
// The station's own capture device: cameras through the platform backend (V4L2,
// DirectShow), the rehearsal camera when asked for, sound through libavdevice, recording to
// AVI through FFmpeg.
//
// Threads: a capture thread takes the device's frames at the device's pace, hands the newest
// to the preview and, while recording or pre-recording, puts each frame with its time slot
// into a queue bounded in bytes; an encoder thread compresses them (a camera's own MJPEG,
// H.264 or H.265 packets are taken as they are) and writes them. A frame the queue cannot
// take is dropped and its slot written as an empty chunk, so frame n of the file is the
// picture of time n / fps and a frame count taken while recording indexes the file. A camera
// that sends packets only is decoded for the preview and stills on a thread of its own, which
// skips pictures when it falls behind.
//
// Pre-recording: while it is on, the encoder thread keeps the packets of the last seconds in
// a ring (bounded in bytes, starting at a key frame); a recording then begins with them, so
// frame 0 of the file is the oldest picture of the ring.
//
// Statistics: frames captured counts the frames of the file, the empty chunks of dropped
// frames included (so it equals the file's frame count and the capture screen's frame
// hint is a frame of the file); frames dropped counts those empty chunks.
//
// At the end of a recording (stop, time limit, full disk, lost device) the notifications
// come in this order: status code 510 with the final statistics, then 301 ready.
#include "capture/avi_recorder.h"
#include "capture/capture_backend.h"
#include "capture/capture_device.h"
#include "capture/network_camera.h"
#include "capture/rehearsal_camera.h"

#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace tarvex {

struct FfmpegCaptureOptions {
    // Lists the rehearsal camera (after the real cameras).
    bool rehearsal = false;
    RehearsalScript rehearsalScript;
    // null: the platform's cameras / libavdevice's sound devices.
    std::shared_ptr<VideoBackend> videoBackend;
    std::shared_ptr<AudioBackend> audioBackend;
    // The operator's network cameras, listed after the rehearsal camera; null = an empty list
    // of the device's own (networkCameras() reaches it).
    std::shared_ptr<NetworkCameraBackend> networkBackend;
    // How often plugged and unplugged devices are looked for; 0 = never.
    int devicePollMs = 1000;
    // Free bytes on the volume of a path; null = QStorageInfo. A recording stops, keeping a
    // playable file, when less than kDiskReserve would be left.
    std::function<qint64(const QString&)> freeBytes;
    // How long a still waits for a picture before it is given up.
    int stillTimeoutMs = 3000;
};

// True when the environment asks for the rehearsal camera (TARVEX_REHEARSAL=1).
bool rehearsalFromEnvironment();

class FfmpegCaptureDevice : public CaptureDevice {
    Q_OBJECT
public:
    static constexpr qint64 kDiskReserve = 16 * 1024 * 1024;

    explicit FfmpegCaptureDevice(FfmpegCaptureOptions options = {}, QObject* parent = nullptr);
    ~FfmpegCaptureDevice() override;

    // Looks for plugged and unplugged devices now (the poll timer calls it too).
    void pollDevices();
    // The list of network cameras; call pollDevices() after changing it.
    std::shared_ptr<NetworkCameraBackend> networkCameras() const { return network_; }

    QStringList videoDevices() const override;
    QStringList audioDevices() const override;
    CaptureResult open(int videoDevice) override;
    void close() override;
    bool isOpen() const override { return connected_; }

    CaptureSourceLists lists() const override;
    CaptureFormat format() const override;
    CaptureResult setFormat(const CaptureFormat& format) override;
    void setFrameRate(int framesPerSecond) override { fps_ = framesPerSecond; }

    QStringList videoCompressors() const override;
    bool compressorTakesQuality(int index) const override;
    QList<int> sampleRates() const override;

    CaptureResult setPreview(bool on) override;
    void setStandby(bool on) override;
    CaptureResult saveFrame(const QString& path, int quality) override;

    CaptureResult setPreRecording(int seconds, const RecordingSettings& like) override;
    CaptureResult startRecording(const RecordingSettings& settings) override;
    void stopRecording() override;
    bool isRecording() const override { return capturing_; }
    CaptureStatistics statistics() const override;
    std::optional<CaptureClock::time_point> nextFrameTime() override;

    // The options of a further camera recorded beside this one: the same backends (a
    // device list of their own would see the same cameras), no polling of its own.
    FfmpegCaptureOptions companionOptions() const;

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
    void captureLoop(long startGeneration);
    void streamReady(long generation);
    [[nodiscard]] CaptureResult awaitStream();
    int cameraRate() const;
    void encoderLoop(int worker);
    void previewDecodeLoop();
    // What a recording or the ring with these settings stores: the camera's own packets when
    // it sends some the file can hold.
    RecorderSettings recorderSettings(const RecordingSettings& settings) const;
    // The ring runs while pre-recording is on, the device streams and no recording runs.
    void startRing();
    void stopEncoder();
    std::vector<std::unique_ptr<FrameEncoder>> makeEncoders(const RecorderSettings& rs, QString& error) const;
    void startEncoderThreads();
    // Slot 0 of a recording or ring that begins now: the source's next tick where it has
    // one (the rehearsal camera plays its jump from there).
    void planStart(bool playScript, std::optional<CaptureClock::time_point> given = std::nullopt);
    void audioLoop(int blockBytes);
    // Ends the recording on the user-interface thread; warning empty = an ordinary stop.
    void finishRecording(const QString& warning);
    void deliverPreview();
    void sourceFailed(const QString& why);
    // Writes the picture for every waiting still and reports each.
    void deliverStill(const QImage& frame);
    void stillTimedOut(quint64 id);

    FfmpegCaptureOptions options_;
    std::shared_ptr<VideoBackend> platform_;
    std::shared_ptr<RehearsalBackend> rehearsal_;
    std::shared_ptr<NetworkCameraBackend> network_;
    std::shared_ptr<AudioBackend> audioBackend_;
    QList<Device> video_;
    QList<AudioDeviceInfo> audio_;
    bool connected_ = false;
    VideoDeviceInfo device_;
    VideoBackend* deviceBackend_ = nullptr;
    int resolution_ = -1, colorFormat_ = -1, input_ = 0, channel_ = 0;

    QList<VideoCodec> codecs_;
    bool preview_ = false;
    bool standby_ = false;
    int fps_ = 30;

    bool capturing_ = false;
    CaptureStatistics last_;
    std::shared_ptr<Shared> s_;   // what the threads share with us
    VideoOpenRequest streaming_;
    QElapsedTimer previewClock_;
    int preSeconds_ = 0;
    RecordingSettings preLike_;
    QTimer poll_;

    struct StillRequest {
        quint64 id;
        QString path;
        int quality;
    };
    QList<StillRequest> stills_;   // asked for, no picture yet
    quint64 nextStill_ = 0;
};

} // namespace tarvex
