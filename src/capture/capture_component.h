#pragma once
// The boundary to the video/audio capture component. The station configures it from the main
// screen's device panel and records with it on the capture screen; nothing else of the
// component is relied upon. The real one is built on FFmpeg, tests use FakeCaptureComponent
// (testkit), and NullCaptureComponent stands in where no capture is wanted.
//
// Conventions:
// - Indices are 0-based; "none" in a selection is -1.
// - Queries never fail: with nothing to report they answer 0, an empty text or -1.
// - Every operation that acts (connect, set, start, show ...) returns a CaptureResult, which
//   is empty when the operation succeeded and otherwise holds the error number and
//   description that the station shows to the operator. Nothing is thrown.
// - Notifications are Qt signals, delivered on the user-interface thread.
// - Settings that are not per device (frame rate, time limit, file names, audio format,
//   compressors, preview flag) are kept across connect and disconnect, and may be set while
//   nothing is connected: the panel sets them before it connects.
#include <QImage>
#include <QObject>
#include <QString>
#include <optional>

namespace tarvex {

// An HRESULT-like error number as the 32-bit (negative) number components report.
constexpr long captureErrorNumber(unsigned int n) { return static_cast<long>(static_cast<int>(n)); }

struct CaptureError {
    long number = 0;
    QString description;

    // Numbers the station's own implementations share; a component may report others.
    static constexpr long NoDevice = captureErrorNumber(0x80040001u);      // no capture device of that kind
    static constexpr long NotConnected = captureErrorNumber(0x80040002u);  // operation needs a connected device
    static constexpr long BadIndex = captureErrorNumber(0x80040003u);      // index outside its list
    static constexpr long Unsupported = captureErrorNumber(0x80040004u);   // value or dialog the device cannot take
    static constexpr long Busy = captureErrorNumber(0x80040005u);          // not allowed while capturing
    static constexpr long FileError = captureErrorNumber(0x80040006u);     // capture file cannot be created

    friend bool operator==(const CaptureError&, const CaptureError&) = default;
};

// Empty = success.
using CaptureResult = std::optional<CaptureError>;

struct CaptureStatistics {
    long framesCaptured = 0;
    long framesDropped = 0;
    long audioSamples = 0;
    long elapsedMs = 0;

    friend bool operator==(const CaptureStatistics&, const CaptureStatistics&) = default;
};

// Options of single-frame capture (kept for completeness; the station records streams).
struct FrameCaptureOptions {
    bool progressiveJpeg = false;
    bool autoSave = false;
    bool autoIncrement = false;
    int chromaFactor = 0;
    int luminanceFactor = 0;
    int interval = 0;
    QString password;
    QString caption;
    int captionLeft = 0;
    int captionTop = 0;

    friend bool operator==(const FrameCaptureOptions&, const FrameCaptureOptions&) = default;
};

class CaptureComponent : public QObject {
    Q_OBJECT
public:
    // Category names of the deviceChange notification.
    static inline const QString VideoCaptureSources = QStringLiteral("Video Capture Sources");
    static inline const QString AudioCaptureSources = QStringLiteral("Audio Capture Sources");
    enum DeviceAction { DeviceAdded = 0, DeviceRemoved = 1 };

    // The effect category the station uses.
    static inline const QString VideoEffect1 = QStringLiteral("Video Effect 1");

    // Dialog ids of dialogAvailable()/showDialog().
    enum Dialog {
        VideoSourceDialog = 35,       // video source and format
        EffectDialogFlag = 4096,      // added to 35 while an effect is active
        VideoCompressionDialog = 256,
        AudioFormatDialog = 1032,
    };

    explicit CaptureComponent(QObject* parent = nullptr) : QObject(parent) {}
    ~CaptureComponent() override = default;

    // --- Devices ---
    virtual int videoDeviceCount() const = 0;
    virtual QString videoDeviceName(int index) const = 0;
    virtual int videoDevice() const = 0;                 // selected video device, -1 none
    [[nodiscard]] virtual CaptureResult setVideoDevice(int index) = 0;

    virtual int audioDeviceCount() const = 0;
    virtual QString audioDeviceName(int index) const = 0;
    virtual int audioDevice() const = 0;                 // -1 none
    [[nodiscard]] virtual CaptureResult setAudioDevice(int index) = 0;

    // Named so they do not hide QObject::connect/disconnect.
    [[nodiscard]] virtual CaptureResult connectDevice(int videoDeviceIndex) = 0;
    [[nodiscard]] virtual CaptureResult disconnectDevice() = 0;
    virtual bool isConnected() const = 0;

    // --- Lists of the connected device (empty while not connected) ---
    virtual int resolutionCount() const = 0;
    virtual QString resolutionName(int index) const = 0;
    virtual int resolution() const = 0;
    [[nodiscard]] virtual CaptureResult setResolution(int index) = 0;

    virtual int colorFormatCount() const = 0;
    virtual QString colorFormatName(int index) const = 0;
    virtual int colorFormat() const = 0;
    [[nodiscard]] virtual CaptureResult setColorFormat(int index) = 0;

    virtual int videoInputCount() const = 0;
    virtual QString videoInputName(int index) const = 0;
    virtual int videoInput() const = 0;
    [[nodiscard]] virtual CaptureResult setVideoInput(int index) = 0;

    virtual bool hasTuner() const = 0;
    virtual int lowestChannel() const = 0;
    virtual int highestChannel() const = 0;
    virtual int channel() const = 0;
    [[nodiscard]] virtual CaptureResult setChannel(int channel) = 0;

    // --- Compressors (-1 none) ---
    virtual int videoCompressorCount() const = 0;
    virtual QString videoCompressorName(int index) const = 0;
    virtual int videoCompressor() const = 0;
    [[nodiscard]] virtual CaptureResult setVideoCompressor(int index) = 0;

    virtual int audioCompressorCount() const = 0;
    virtual QString audioCompressorName(int index) const = 0;
    virtual int audioCompressor() const = 0;
    [[nodiscard]] virtual CaptureResult setAudioCompressor(int index) = 0;

    // --- Audio format ---
    virtual int audioSampleRate() const = 0;             // Hz
    [[nodiscard]] virtual CaptureResult setAudioSampleRate(int hz) = 0;
    virtual int audioChannels() const = 0;               // 1 or 2
    [[nodiscard]] virtual CaptureResult setAudioChannels(int channels) = 0;
    virtual int audioBits() const = 0;                   // 8 or 16
    [[nodiscard]] virtual CaptureResult setAudioBits(int bits) = 0;
    virtual bool audioListen() const = 0;
    [[nodiscard]] virtual CaptureResult setAudioListen(bool on) = 0;

    // --- Effects ---
    virtual int effectCount(const QString& category) const = 0;
    virtual QString effectName(const QString& category, int index) const = 0;
    virtual int findEffect(const QString& category, const QString& name) const = 0;  // < 0: not found
    virtual int currentEffect(const QString& category, int slot) const = 0;         // -1 none
    [[nodiscard]] virtual CaptureResult setEffect(const QString& category, int slot, int index) = 0;

    // --- Dialogs ---
    virtual bool dialogAvailable(int id) const = 0;
    [[nodiscard]] virtual CaptureResult showDialog(int id, const QString& text) = 0;

    // --- Live picture ---
    virtual bool preview() const = 0;
    [[nodiscard]] virtual CaptureResult setPreview(bool on) = 0;

    // --- Stream capture ---
    virtual QString captureFileName() const = 0;
    [[nodiscard]] virtual CaptureResult setCaptureFileName(const QString& path) = 0;
    // Whole frames per second. The device panel forwards the operator's text as it is typed,
    // so a value below 1 must be accepted here; startCapture refuses it.
    virtual int frameRate() const = 0;
    [[nodiscard]] virtual CaptureResult setFrameRate(int fps) = 0;
    virtual int timeLimit() const = 0;                   // seconds, 0 = no limit
    [[nodiscard]] virtual CaptureResult setTimeLimit(int seconds) = 0;
    [[nodiscard]] virtual CaptureResult startCapture() = 0;
    // A stop while idle succeeds and does nothing: the capture screen stops twice.
    [[nodiscard]] virtual CaptureResult stopCapture() = 0;
    virtual bool isCapturing() const = 0;
    // Of the running or the last recording.
    virtual CaptureStatistics statistics() const = 0;

    // --- Frame capture ---
    virtual QString frameFileName() const = 0;
    [[nodiscard]] virtual CaptureResult setFrameFileName(const QString& path) = 0;
    virtual FrameCaptureOptions frameOptions() const = 0;
    [[nodiscard]] virtual CaptureResult setFrameOptions(const FrameCaptureOptions& options) = 0;
    [[nodiscard]] virtual CaptureResult captureFrame() = 0;

signals:
    void statusText(const QString& text);
    // 301: stream capture has ended and the component is ready again; 510: the statistics of
    // the finished recording are final. Other codes carry only their text.
    void statusCode(int code, const QString& text);
    void warning(const QString& text);
    // category: VideoCaptureSources or AudioCaptureSources; action: DeviceAction. The lists
    // of the component already show the change when this arrives.
    void deviceChange(const QString& category, int action, int index, const QString& name);
    // While preview is on (also while recording): the newest picture of the device, at most
    // at display rate; a picture not yet shown is replaced by a newer one, never queued.
    void previewFrame(const QImage& frame);
};

// Status codes with a meaning to the station.
inline constexpr int CaptureStatusReady = 301;
inline constexpr int CaptureStatusStatistics = 510;

// No devices; every setting is kept and read back, every operation that needs a device fails
// with NoDevice, and stops, previews and dialogs are harmless. The station's component until a
// real one is given.
class NullCaptureComponent : public CaptureComponent {
    Q_OBJECT
public:
    explicit NullCaptureComponent(QObject* parent = nullptr) : CaptureComponent(parent) {}

    int videoDeviceCount() const override { return 0; }
    QString videoDeviceName(int) const override { return {}; }
    int videoDevice() const override { return -1; }
    CaptureResult setVideoDevice(int index) override;
    int audioDeviceCount() const override { return 0; }
    QString audioDeviceName(int) const override { return {}; }
    int audioDevice() const override { return -1; }
    CaptureResult setAudioDevice(int index) override;
    CaptureResult connectDevice(int) override;
    CaptureResult disconnectDevice() override { return {}; }
    bool isConnected() const override { return false; }

    int resolutionCount() const override { return 0; }
    QString resolutionName(int) const override { return {}; }
    int resolution() const override { return -1; }
    CaptureResult setResolution(int) override;
    int colorFormatCount() const override { return 0; }
    QString colorFormatName(int) const override { return {}; }
    int colorFormat() const override { return -1; }
    CaptureResult setColorFormat(int) override;
    int videoInputCount() const override { return 0; }
    QString videoInputName(int) const override { return {}; }
    int videoInput() const override { return -1; }
    CaptureResult setVideoInput(int) override;
    bool hasTuner() const override { return false; }
    int lowestChannel() const override { return 0; }
    int highestChannel() const override { return 0; }
    int channel() const override { return 0; }
    CaptureResult setChannel(int) override;

    int videoCompressorCount() const override { return 0; }
    QString videoCompressorName(int) const override { return {}; }
    int videoCompressor() const override { return -1; }
    CaptureResult setVideoCompressor(int index) override;
    int audioCompressorCount() const override { return 0; }
    QString audioCompressorName(int) const override { return {}; }
    int audioCompressor() const override { return -1; }
    CaptureResult setAudioCompressor(int index) override;

    int audioSampleRate() const override { return rate_; }
    CaptureResult setAudioSampleRate(int hz) override { rate_ = hz; return {}; }
    int audioChannels() const override { return channels_; }
    CaptureResult setAudioChannels(int c) override { channels_ = c; return {}; }
    int audioBits() const override { return bits_; }
    CaptureResult setAudioBits(int b) override { bits_ = b; return {}; }
    bool audioListen() const override { return listen_; }
    CaptureResult setAudioListen(bool on) override { listen_ = on; return {}; }

    int effectCount(const QString&) const override { return 0; }
    QString effectName(const QString&, int) const override { return {}; }
    int findEffect(const QString&, const QString&) const override { return -1; }
    int currentEffect(const QString&, int) const override { return -1; }
    CaptureResult setEffect(const QString&, int, int index) override;

    bool dialogAvailable(int) const override { return false; }
    CaptureResult showDialog(int, const QString&) override { return {}; }

    bool preview() const override { return preview_; }
    CaptureResult setPreview(bool on) override { preview_ = on; return {}; }

    QString captureFileName() const override { return file_; }
    CaptureResult setCaptureFileName(const QString& p) override { file_ = p; return {}; }
    int frameRate() const override { return fps_; }
    CaptureResult setFrameRate(int fps) override { fps_ = fps; return {}; }
    int timeLimit() const override { return limit_; }
    CaptureResult setTimeLimit(int s) override { limit_ = s; return {}; }
    CaptureResult startCapture() override;
    CaptureResult stopCapture() override { return {}; }
    bool isCapturing() const override { return false; }
    CaptureStatistics statistics() const override { return {}; }

    QString frameFileName() const override { return frameFile_; }
    CaptureResult setFrameFileName(const QString& p) override { frameFile_ = p; return {}; }
    FrameCaptureOptions frameOptions() const override { return frameOptions_; }
    CaptureResult setFrameOptions(const FrameCaptureOptions& o) override { frameOptions_ = o; return {}; }
    CaptureResult captureFrame() override;

private:
    int rate_ = 11025, channels_ = 1, bits_ = 8;
    bool listen_ = false, preview_ = false;
    QString file_, frameFile_;
    int fps_ = 30, limit_ = 0;
    FrameCaptureOptions frameOptions_;
};

} // namespace tarvex
