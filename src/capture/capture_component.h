#pragma once
// The capture component as the main screen's device panel and the capture screen know it:
// selections and settings kept across connect and disconnect, compressors, the audio format,
// effects, the component's dialogs and single-frame capture, over one CaptureDevice that does
// the recording. What the station only stores lives here once, whichever device is under it.
//
// Conventions:
// - Indices are 0-based; "none" in a selection is -1.
// - Queries never fail: with nothing to report they answer 0, an empty text or -1.
// - Every operation that acts returns a CaptureResult, empty when it succeeded and otherwise
//   holding the error number and description that the station shows to the operator.
// - Settings that are not per device (frame rate, time limit, file names, audio format,
//   compressors, preview flag) may be set while nothing is connected: the panel sets them
//   before it connects.
#include "capture/capture_device.h"

#include <QHash>
#include <QMap>
#include <memory>

namespace tarvex {

class CaptureDialogHost;

// Options of single-frame capture; of them only the luminance factor (the JPEG quality) is
// used, the rest is kept for the panel to read back.
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
    static inline const QString& VideoCaptureSources = CaptureDevice::VideoCaptureSources;
    static inline const QString& AudioCaptureSources = CaptureDevice::AudioCaptureSources;
    enum DeviceAction { DeviceAdded = CaptureDevice::DeviceAdded, DeviceRemoved = CaptureDevice::DeviceRemoved };

    // The effect category the station uses.
    static inline const QString VideoEffect1 = QStringLiteral("Video Effect 1");

    // Dialog ids of dialogAvailable()/showDialog().
    enum Dialog {
        VideoSourceDialog = 35,       // video source and format
        EffectDialogFlag = 4096,      // added to 35 while an effect is active
        VideoCompressionDialog = 256,
        AudioFormatDialog = 1032,
    };

    // device null: NullCaptureDevice. dialogs null: no dialogs (dialogAvailable answers false).
    explicit CaptureComponent(std::shared_ptr<CaptureDevice> device = nullptr,
                              std::shared_ptr<CaptureDialogHost> dialogs = nullptr, QObject* parent = nullptr);
    ~CaptureComponent() override;

    // --- Devices ---
    int videoDeviceCount() const { return int(device_->videoDevices().size()); }
    QString videoDeviceName(int index) const { return device_->videoDevices().value(index); }
    int videoDevice() const { return selectedVideo_; }
    [[nodiscard]] CaptureResult setVideoDevice(int index);

    int audioDeviceCount() const { return int(device_->audioDevices().size()); }
    QString audioDeviceName(int index) const { return device_->audioDevices().value(index); }
    int audioDevice() const { return selectedAudio_; }
    [[nodiscard]] CaptureResult setAudioDevice(int index);

    // Named so they do not hide QObject::connect/disconnect.
    [[nodiscard]] CaptureResult connectDevice(int videoDeviceIndex);
    [[nodiscard]] CaptureResult disconnectDevice();
    bool isConnected() const { return device_->isOpen(); }

    // --- Lists of the connected device (empty while not connected) ---
    int resolutionCount() const { return int(device_->lists().resolutions.size()); }
    QString resolutionName(int index) const { return device_->lists().resolutions.value(index); }
    int resolution() const { return device_->format().resolution; }
    [[nodiscard]] CaptureResult setResolution(int index);

    int colorFormatCount() const { return int(device_->lists().colorFormats.size()); }
    QString colorFormatName(int index) const { return device_->lists().colorFormats.value(index); }
    int colorFormat() const { return device_->format().colorFormat; }
    [[nodiscard]] CaptureResult setColorFormat(int index);

    int videoInputCount() const { return int(device_->lists().inputs.size()); }
    QString videoInputName(int index) const { return device_->lists().inputs.value(index); }
    int videoInput() const { return videoInputCount() > 0 ? device_->format().input : -1; }
    [[nodiscard]] CaptureResult setVideoInput(int index);

    bool hasTuner() const { return device_->lists().tuner; }
    int lowestChannel() const { return device_->lists().lowestChannel; }
    int highestChannel() const { return device_->lists().highestChannel; }
    int channel() const { return hasTuner() ? device_->format().channel : 0; }
    [[nodiscard]] CaptureResult setChannel(int channel);

    // --- Compressors (-1 none) ---
    int videoCompressorCount() const { return int(device_->videoCompressors().size()); }
    QString videoCompressorName(int index) const { return device_->videoCompressors().value(index); }
    int videoCompressor() const { return videoCompressor_; }
    [[nodiscard]] CaptureResult setVideoCompressor(int index);
    // 1..100, chosen in the compression dialog.
    int quality() const { return quality_; }

    int audioCompressorCount() const { return int(audioCompressors_.size()); }
    QString audioCompressorName(int index) const { return audioCompressors_.value(index); }
    int audioCompressor() const { return audioCompressor_; }
    [[nodiscard]] CaptureResult setAudioCompressor(int index);

    // --- Audio format ---
    int audioSampleRate() const { return sampleRate_; }   // Hz
    [[nodiscard]] CaptureResult setAudioSampleRate(int hz);
    int audioChannels() const { return channels_; }       // 1 or 2
    [[nodiscard]] CaptureResult setAudioChannels(int channels);
    int audioBits() const { return bits_; }               // 8 or 16
    [[nodiscard]] CaptureResult setAudioBits(int bits);
    bool audioListen() const { return listen_; }
    [[nodiscard]] CaptureResult setAudioListen(bool on);

    // --- Effects ---
    int effectCount(const QString& category) const { return int(effects_.value(category).size()); }
    QString effectName(const QString& category, int index) const { return effects_.value(category).value(index); }
    int findEffect(const QString& category, const QString& name) const;   // < 0: not found
    int currentEffect(const QString& category, int slot) const;          // -1 none
    [[nodiscard]] CaptureResult setEffect(const QString& category, int slot, int index);

    // --- Dialogs ---
    bool dialogAvailable(int id) const { return offersDialog(id); }
    [[nodiscard]] CaptureResult showDialog(int id, const QString& text);

    // --- Live picture ---
    bool preview() const { return preview_; }
    [[nodiscard]] CaptureResult setPreview(bool on);

    // --- Stream capture ---
    QString captureFileName() const { return file_; }
    [[nodiscard]] CaptureResult setCaptureFileName(const QString& path);
    // Whole frames per second. The device panel forwards the operator's text as it is typed,
    // so a value below 1 is taken here; startCapture refuses it.
    int frameRate() const { return fps_; }
    [[nodiscard]] CaptureResult setFrameRate(int fps);
    int timeLimit() const { return limit_; }              // seconds, 0 = no limit
    [[nodiscard]] CaptureResult setTimeLimit(int seconds);
    [[nodiscard]] CaptureResult startCapture();
    // Seconds of pictures the device keeps before Start (0 = off); the recording begins with
    // them, compressed with the compressor chosen now.
    int preRecording() const { return preSeconds_; }
    [[nodiscard]] CaptureResult setPreRecording(int seconds);
    // A stop while idle succeeds and does nothing: the capture screen stops twice.
    [[nodiscard]] CaptureResult stopCapture();
    bool isCapturing() const { return device_->isRecording(); }
    // Of the running or the last recording.
    CaptureStatistics statistics() const { return device_->statistics(); }

    // --- Further cameras, recorded with the connected one ---
    // The cameras of grids 2 and 3 by device name (index 0: grid 2; empty: none), kept by name
    // because indices shift as devices come and go. startCapture records each of them to the
    // capture file's name plus its grid number, all on one common start, and writes a frame
    // times file beside every file of the take.
    QStringList companionCameras() const { return companionNames_; }
    void setCompanionCameras(const QStringList& names);
    // While on (the capture screen is shown), the other grids' cameras are opened and kept
    // running, so Start does not wait for them to connect.
    void setCompanionsRunning(bool on);
    // The device recording for `grid` (2 or 3) since the last startCapture; null when none.
    CaptureDevice* companionDevice(int grid) const;
    // The files of the running or the last recording, by grid.
    QMap<int, QString> recordingFiles() const { return recordingFiles_; }

    // --- Frame capture ---
    QString frameFileName() const { return frameFile_; }
    [[nodiscard]] CaptureResult setFrameFileName(const QString& path);
    FrameCaptureOptions frameOptions() const { return frameOptions_; }
    [[nodiscard]] CaptureResult setFrameOptions(const FrameCaptureOptions& options);
    // Asks the device for a still in frameFileName() and returns at once; an answer here is
    // a refusal, otherwise stillSaved follows with the outcome.
    [[nodiscard]] CaptureResult captureFrame();

signals:
    void statusText(const QString& text);
    // 301: stream capture has ended and the component is ready again; 510: the statistics of
    // the finished recording are final. Other codes carry only their text.
    void statusCode(int code, const QString& text);
    void warning(const QString& text);
    // category: VideoCaptureSources or AudioCaptureSources; action: DeviceAction. The lists
    // and the selections already show the change when this arrives.
    void deviceChange(const QString& category, int action, int index, const QString& name);
    void previewFrame(const QImage& frame);
    // The outcome of a still that captureFrame accepted: empty when the picture is in path.
    void stillSaved(const QString& path, const tarvex::CaptureResult& outcome);

protected:
    // Every operation that acts passes here first, by its name and arguments as text
    // ("connectDevice", "0"); an answer stops it. The test double counts, logs and fails here.
    virtual CaptureResult admit(const QString& op, const QString& args);
    virtual bool offersDialog(int id) const;
    virtual CaptureResult runDialog(int id);
    // A further device of the same kind for a companion camera; null: this component records
    // its one camera only.
    virtual std::shared_ptr<CaptureDevice> makeCompanionDevice() { return nullptr; }

    int selectedVideo_ = -1;
    int selectedAudio_ = -1;
    int videoCompressor_ = -1;
    QStringList audioCompressors_;
    int audioCompressor_ = -1;
    int sampleRate_ = 11025, channels_ = 1, bits_ = 8;
    bool listen_ = false;
    QHash<QString, QStringList> effects_;
    QHash<QString, int> currentEffects_;   // "category/slot" -> index
    bool preview_ = false;
    QString file_, frameFile_;
    int fps_ = 30, limit_ = 0;
    FrameCaptureOptions frameOptions_;

private:
    void followDeviceChange(const QString& category, int action, int index, const QString& name);
    // The checks every format change shares: a connected device, an index in its list, idle.
    CaptureResult formatChange(int index, qsizetype listSize) const;
    // The companions of the next recording, opened on their cameras; a camera that cannot be
    // had is named in warnings and left out, so the pass is still recorded by the others.
    QList<std::pair<int, CaptureDevice*>> prepareCompanions(QStringList& warnings);
    void holdCompanions();
    void stopCompanions();

    QStringList companionNames_;
    QMap<int, std::shared_ptr<CaptureDevice>> companions_;   // by grid
    QMap<int, QString> recordingFiles_;
    QMap<int, QString> openCompanion_;   // the camera each companion device has open

    RecordingSettings recordingSettings() const;

    std::shared_ptr<CaptureDevice> device_;
    std::shared_ptr<CaptureDialogHost> dialogs_;
    int quality_ = 85;
    int take_ = 0;   // counts starts, so a late stop cannot reach a newer take
    int preSeconds_ = 0;
    bool companionsRunning_ = false;
};

// No devices; every setting is kept and read back, every operation that needs a device fails,
// and stops, previews and dialogs are harmless.
class NullCaptureComponent : public CaptureComponent {
public:
    explicit NullCaptureComponent(QObject* parent = nullptr) : CaptureComponent(nullptr, nullptr, parent) {}

protected:
    CaptureResult runDialog(int) override { return {}; }
};

} // namespace tarvex
