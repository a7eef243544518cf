#pragma once
// The capture device panel of the main screen: video device, format, compression, frame
// rate, audio device and format, and the statistics of the last recording. It configures the
// capture component, remembers the operator's choices in the settings store, connects at
// start-up, pushes its values into the component before every recording and follows devices
// being plugged in or removed.
//
// The main screen embeds the panel and places its three parts: the "Commands" frame
// (`Frame3`), the "Options" frame (`StrmOptions`) and the status line (`LblStatus`).
// Every control's objectName is its name in the station's screen description.
//
// The panel listens to the component's device-change, status-text and status-code
// notifications itself (they only touch its own controls); the warning notification is left
// to the capture screen.
#include "capture/capture_component.h"
#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvex {

class Prompter;
class SettingsStore;

class CaptureDevicePanel : public QWidget {
    Q_OBJECT
public:
    CaptureDevicePanel(SettingsStore& store, Prompter& prompter, CaptureComponent& capture,
                       QWidget* parent = nullptr);
    ~CaptureDevicePanel() override;

    QGroupBox* commandsFrame() const { return Frame3; }
    QGroupBox* optionsFrame() const { return StrmOptions; }
    QLabel* statusLabel() const { return LblStatus; }

    // --- Start-up, in the order the main screen's load calls them ---
    // Stream mode: `CmdCap` reads "Capture Stream", the stream options replace the frame ones.
    void selectStreamMode();
    // Stream mode (again, harmless), preview caption, the device, compressor and effect lists, the frame
    // options and listen flag, the audio format, the frame rate and time limit.
    void prepareAtStartup();
    // (then CmdConnect_Click)
    // The stored "compression" index (first entry when absent or out of range).
    void applyStoredCompression();
    void switchPreviewOn();
    void setStreamFile(const QString& name);
    // Applies the frame-rate class of `EdtRate` to the main screen's caption (`lblConfig`)
    // through configCaptionChanged; below 5 fps nothing is emitted.
    void updateConfigCaption();
    // The caption for a frame-rate text; empty below 5 fps, where the caption stays.
    static QString frameRateCaption(const QString& rateText);

    // --- Public operations of the main screen ---
    // Pushes the panel's values into the component before a recording. Stops at the first
    // refusal and returns it, for the caller's error box.
    CaptureResult SetCaptureValues();
    void InitAudioSettings();
    void EnableVideoCompressionConfig();
    void EnableAudioConfig();
    static bool ItoB(int value) { return value != 0; }
    static int BtoI(bool flag) { return flag ? 1 : 0; }
    void OnDisconnect();
    void CmdConnect_Click();

    // For the capture screen: the number in `EdtRate`, and the statistics labels.
    QString frameRateText() const;
    double frameRateBoxValue() const;
    void showStatistics(const CaptureStatistics& s);

signals:
    void configCaptionChanged(const QString& caption);
    // The capture screen (the component's live picture) should be shown or hidden.
    void captureScreenRequested(bool visible);

private:
    enum class ErrorForm { Hex, Decimal, Channel };

    void buildControls();
    void wireHandlers();
    void showError(const CaptureError& e, ErrorForm form);
    bool streamMode() const;
    CaptureResult connectSelectedDevice();
    CaptureResult pushAudioFormat();
    void selectDeviceAudioFormat();
    void readBackVideoSelections();
    void fillFrameOptions(const FrameCaptureOptions& o);
    FrameCaptureOptions frameOptionsOfBoxes() const;

    // Change handling of the controls; a selection made by the program runs it too.
    void captureTypeChanged(int index);
    void effectChanged(int index);
    void resolutionChanged(int index);
    void colorFormatChanged(int index);
    void videoInputChanged(int index);
    void channelChanged(int index);
    void compressionChanged(int index);
    void audioDeviceChanged(int index);
    void audioCompressorChanged(int index);
    void audioFormatChanged(int index);
    void frameRateTextChanged(const QString& text);
    void listenToggled(bool on);
    void videoConfigClicked();
    void compressionConfigClicked();
    void audioConfigClicked();
    void previewClicked();
    void captureClicked();
    void chooseStreamFile();

    // Component notifications.
    void deviceChanged(const QString& category, int action, int index, const QString& name);
    void statusTextArrived(const QString& text);
    void statusCodeArrived(int code, const QString& text);

    SettingsStore& store_;
    Prompter& prompter_;
    CaptureComponent& capture_;
    bool recoveringAudioFormat_ = false;

    // "Commands"
    QGroupBox* Frame3 = nullptr;
    QLabel* DeviceLabel = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* InputLabel = nullptr;
    QComboBox* VideoInput = nullptr;
    QLabel* ChannelLabel = nullptr;
    QComboBox* Channel = nullptr;
    QLabel* ResolutionLabel = nullptr;
    QComboBox* ResolutionCombo = nullptr;
    QLabel* ColorFormatLabel = nullptr;
    QComboBox* ColorFormatCombo = nullptr;
    QPushButton* VideoConfig = nullptr;
    QLabel* EffectLabel = nullptr;
    QComboBox* Effect = nullptr;
    QComboBox* CaptureType = nullptr;
    QPushButton* CmdConnect = nullptr;
    QPushButton* CmdPreview = nullptr;
    QPushButton* CmdCap = nullptr;

    // "Options"
    QGroupBox* StrmOptions = nullptr;
    QComboBox* CompressionCombo = nullptr;
    QPushButton* ComprConfig = nullptr;
    QLineEdit* EdtRate = nullptr;
    QLineEdit* EdtLimit = nullptr;
    QComboBox* AudioDevice = nullptr;
    QLabel* AttribLabel = nullptr;
    QComboBox* ComboAttrib = nullptr;
    QPushButton* AudioConfig = nullptr;
    QLabel* AudioCompLabel = nullptr;
    QComboBox* AudioCompr = nullptr;
    QCheckBox* Check1 = nullptr;
    QLabel* LblFrames = nullptr;
    QLabel* LblFrmDrop = nullptr;
    QLabel* LblSamples = nullptr;
    QLabel* LblTime = nullptr;
    QLineEdit* EdtFile = nullptr;
    QPushButton* CmdCapFN = nullptr;

    // Single-frame capture options, never shown in stream mode.
    QGroupBox* FrameOptions = nullptr;
    QCheckBox* ChkProg = nullptr;
    QCheckBox* ChkAutoSave = nullptr;
    QCheckBox* ChkAutoInc = nullptr;
    QLineEdit* EdtChrom = nullptr;
    QLineEdit* EdtLum = nullptr;
    QLineEdit* EdtInterval = nullptr;
    QLineEdit* EdtPass = nullptr;
    QLineEdit* EdtCaption = nullptr;
    QLineEdit* EdtCapLeft = nullptr;
    QLineEdit* EdtCapTop = nullptr;

    QLabel* LblStatus = nullptr;
};

} // namespace tarvex
