#pragma once
// What the station records through: a camera (and a sound device) opened in a format, a live
// picture, and a recording to a file. Three of them exist: the FFmpeg one, the test double of
// testkit and NullCaptureDevice. Everything the main screen's panel keeps beyond this
// (selections kept across connect, effects, dialogs, single-frame options) is CaptureComponent's,
// once, over whichever device it is given.
//
// Indices are 0-based and -1 is "none"; queries never fail. An operation that acts returns a
// CaptureResult, empty on success. Notifications are Qt signals on the user-interface thread.
// No operation waits for a picture: a still is asked for and arrives as stillSaved.
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace tarvex {

// An HRESULT-like error number as the 32-bit (negative) number components report.
constexpr long captureErrorNumber(unsigned int n) { return static_cast<long>(static_cast<int>(n)); }

struct CaptureError {
    long number = 0;
    QString description;

    // Numbers the station's own devices share; a device may report others.
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

// Status codes with a meaning to the station.
inline constexpr int CaptureStatusReady = 301;
inline constexpr int CaptureStatusStatistics = 510;

// The lists of the open device; all empty while none is open.
struct CaptureSourceLists {
    QStringList colorFormats;
    QStringList resolutions;   // of the current colour format
    QStringList inputs;
    bool tuner = false;
    int lowestChannel = 0;
    int highestChannel = 0;
};

// Where the open device stands in its lists; -1 (channel 0) while none is open.
struct CaptureFormat {
    int colorFormat = -1;
    int resolution = -1;
    int input = -1;
    int channel = 0;

    friend bool operator==(const CaptureFormat&, const CaptureFormat&) = default;
};

struct RecordingSettings {
    QString path;
    int framesPerSecond = 30;   // at least 1
    int timeLimit = 0;          // seconds, 0 = no limit
    int audioDevice = -1;       // -1: pictures only
    int sampleRate = 44100;
    int channels = 2;
    int bits = 16;
    int videoCompressor = -1;   // -1: uncompressed
    int quality = 85;           // 1..100, for a compressor that takes one
    // Cameras recorded together share one start: slot n of every file is the picture taken
    // nearest start + n / fps. Unset: the device's own next frame.
    std::optional<std::chrono::steady_clock::time_point> start;
    // Where the time of each stored frame is written (see frame_times.h); empty: nowhere.
    QString timesPath;
};

class CaptureDevice : public QObject {
    Q_OBJECT
public:
    // Category names and actions of deviceChange.
    static inline const QString VideoCaptureSources = QStringLiteral("Video Capture Sources");
    static inline const QString AudioCaptureSources = QStringLiteral("Audio Capture Sources");
    enum DeviceAction { DeviceAdded = 0, DeviceRemoved = 1 };

    explicit CaptureDevice(QObject* parent = nullptr) : QObject(parent) {}
    ~CaptureDevice() override = default;

    virtual QStringList videoDevices() const = 0;
    virtual QStringList audioDevices() const = 0;
    // Closes the open device first. The index is one of videoDevices().
    [[nodiscard]] virtual CaptureResult open(int videoDevice) = 0;
    // Ends a running recording first.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual CaptureSourceLists lists() const = 0;
    virtual CaptureFormat format() const = 0;
    // The indices are within lists(); a new colour format keeps the frame size where it can.
    [[nodiscard]] virtual CaptureResult setFormat(const CaptureFormat& format) = 0;
    // Below 1 is taken as 1 for the live picture.
    virtual void setFrameRate(int framesPerSecond) = 0;

    virtual QStringList videoCompressors() const = 0;
    // Whether a compressor has a quality to choose in the compression dialog.
    virtual bool compressorTakesQuality(int) const { return false; }
    // Sample rates the sound devices take; empty: any.
    virtual QList<int> sampleRates() const = 0;

    [[nodiscard]] virtual CaptureResult setPreview(bool on) = 0;
    // Keeps the open camera running without a live picture, so a recording starts on a camera
    // that is already sending; a device without it opens the camera at the start.
    virtual void setStandby(bool on) { (void)on; }
    // Asks for the device's next picture in path (JPEG quality 1..100 where the type has one)
    // and returns at once. What can be told now (no open device, ...) is refused here, and
    // then no stillSaved follows; otherwise exactly one stillSaved, never within this call,
    // says how the still went.
    [[nodiscard]] virtual CaptureResult saveFrame(const QString& path, int quality) = 0;

    // Pre-recording: while seconds > 0 the open device keeps the last `seconds` of pictures,
    // compressed as `like` says, and the next recording with those settings begins with
    // them: its frame 0 is the oldest held picture, and its time limit runs from the
    // start, after the held pictures.
    // 0 ends it. A device without it records as before.
    [[nodiscard]] virtual CaptureResult setPreRecording(int seconds, const RecordingSettings& like)
    {
        (void)seconds;
        (void)like;
        return {};
    }
    // The device is open, no recording runs, the settings are valid.
    [[nodiscard]] virtual CaptureResult startRecording(const RecordingSettings& settings) = 0;
    // A stop while idle does nothing.
    virtual void stopRecording() = 0;
    virtual bool isRecording() const = 0;
    // Of the running or the last recording.
    virtual CaptureStatistics statistics() const = 0;
    // Gets the open device's pictures flowing and names the moment of its next one where the
    // device keeps a clock of its own, so cameras recorded together can start on it.
    virtual std::optional<std::chrono::steady_clock::time_point> nextFrameTime() { return std::nullopt; }

signals:
    void statusText(const QString& text);
    // 301: stream capture has ended and the device is ready again; 510: the statistics of the
    // finished recording are final. Other codes carry only their text.
    void statusCode(int code, const QString& text);
    void warning(const QString& text);
    // category: VideoCaptureSources or AudioCaptureSources; action: DeviceAction. The lists
    // already show the change when this arrives; a vanished open device is closed.
    void deviceChange(const QString& category, int action, int index, const QString& name);
    // While preview is on (also while recording): the newest picture, at most at display
    // rate; a picture not yet shown is replaced by a newer one, never queued.
    void previewFrame(const QImage& frame);
    // The outcome of an accepted saveFrame: empty when the picture is in path.
    void stillSaved(const QString& path, const tarvex::CaptureResult& outcome);
};

// No devices: nothing opens, nothing records, stops and previews are harmless. The station's
// device until a real one is given.
class NullCaptureDevice : public CaptureDevice {
    Q_OBJECT
public:
    using CaptureDevice::CaptureDevice;

    QStringList videoDevices() const override { return {}; }
    QStringList audioDevices() const override { return {}; }
    CaptureResult open(int) override;
    void close() override {}
    bool isOpen() const override { return false; }
    CaptureSourceLists lists() const override { return {}; }
    CaptureFormat format() const override { return {}; }
    CaptureResult setFormat(const CaptureFormat&) override;
    void setFrameRate(int) override {}
    QStringList videoCompressors() const override { return {}; }
    QList<int> sampleRates() const override { return {}; }
    CaptureResult setPreview(bool) override { return {}; }
    CaptureResult saveFrame(const QString&, int) override;
    CaptureResult startRecording(const RecordingSettings&) override;
    void stopRecording() override {}
    bool isRecording() const override { return false; }
    CaptureStatistics statistics() const override { return {}; }
};

} // namespace tarvex
