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
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvex {

class NetworkCameraBackend;
struct NetworkCamera;
class Prompter;
class SettingsStore;

class CaptureDevicePanel : public QWidget {
    Q_OBJECT
public:
    CaptureDevicePanel(SettingsStore& store, Prompter& prompter, CaptureComponent& capture,
                       QWidget* parent = nullptr);
    ~CaptureDevicePanel() override;

    QGroupBox* commandsFrame() const { return commandsFrame_; }
    QGroupBox* optionsFrame() const { return optionsFrame_; }
    QLabel* statusLabel() const { return statusLabel_; }

    // --- Start-up, in the order the main screen's load calls them ---
    // Stream mode: `CmdCap` reads "Capture Stream", the stream options replace the frame ones.
    void selectStreamMode();
    // Stream mode (again, harmless), preview caption, the device, compressor and effect lists, the frame
    // options and listen flag, the audio format, the frame rate and time limit.
    void prepareAtStartup();
    // (then toggleConnection)
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
    CaptureResult applyCaptureValues();
    // Tells the component the cameras chosen for grids 2 and 3 (as many as grids are in use).
    void pushCompanionCameras();
    // Shows the component's audio format in `ComboAttrib`, appended when it is not a listed one.
    void loadAudioFormat();
    void enableCompressionConfig();
    void enableAudioConfig();
    // `CmdConnect`: connects the selected device, or disconnects the connected one.
    void toggleConnection();

    // For the capture screen: the number in `EdtRate`, and the statistics labels.
    QString frameRateText() const;
    double frameRateBoxValue() const;
    void showStatistics(const CaptureStatistics& s);

    // The operator's network cameras: loaded from the settings store into backend, which
    // lists them after the local devices; listChanged makes the device read its list again
    // after every change made here. Until it is called the network-camera buttons are hidden.
    void setNetworkCameras(std::shared_ptr<NetworkCameraBackend> backend, std::function<void()> listChanged);

    // --- Cameras of grids 2 and 3 ---
    // Shown when the configuration has more than one grid: the camera each further grid is
    // seen by, "None" or a device name, stored by name. Refilled from the component's list
    // and the stored choices; a stored camera that is not plugged in stays chosen.
    void refreshGridCameras();
    QGroupBox* gridCamerasFrame() const { return gridCamerasFrame_; }

signals:
    void configCaptionChanged(const QString& caption);
    // The capture screen (the component's live picture) should be shown or hidden.
    void captureScreenRequested(bool visible);

private:
    enum class ErrorForm { Hex, Decimal, Channel };

    void buildControls();
    void wireHandlers();
    void showDisconnected();
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
    void configureVideo();
    void configureCompression();
    void configureAudio();
    void togglePreview();
    void toggleCapture();
    void chooseStreamFile();

    // Component notifications.
    void deviceChanged(const QString& category, int action, int index, const QString& name);
    void statusTextArrived(const QString& text);
    void statusCodeArrived(int code, const QString& text);
    void stillSaved(const QString& path, const CaptureResult& outcome);

    // Network cameras: add, rename, remove, test (off the user-interface thread).
    void buildNetworkControls(QGridLayout* commands, int row);
    void addNetworkCamera();
    void renameNetworkCamera();
    void removeNetworkCamera();
    void testNetworkCamera();
    void networkTestDone(const QString& text);
    int selectedNetworkCamera() const;   // in the backend's list; -1 for a local device
    void updateNetworkButtons();
    void changeNetworkCameras(const QList<NetworkCamera>& cameras);
    std::optional<QString> askCameraName(const QString& prompt, const QString& title, const QString& current);

    SettingsStore& store_;
    Prompter& prompter_;
    CaptureComponent& capture_;
    bool recoveringAudioFormat_ = false;

    // "Commands"
    QGroupBox* commandsFrame_ = nullptr;
    QLabel* deviceLabel_ = nullptr;
    QComboBox* deviceBox_ = nullptr;
    QLabel* inputLabel_ = nullptr;
    QComboBox* inputBox_ = nullptr;
    QLabel* channelLabel_ = nullptr;
    QComboBox* channelBox_ = nullptr;
    QLabel* resolutionLabel_ = nullptr;
    QComboBox* resolutionBox_ = nullptr;
    QLabel* colorFormatLabel_ = nullptr;
    QComboBox* colorFormatBox_ = nullptr;
    QPushButton* videoConfigButton_ = nullptr;
    QLabel* effectLabel_ = nullptr;
    QComboBox* effectBox_ = nullptr;
    QComboBox* captureTypeBox_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QPushButton* captureButton_ = nullptr;

    // "Options"
    QGroupBox* optionsFrame_ = nullptr;
    QComboBox* compressionBox_ = nullptr;
    QPushButton* compressionConfigButton_ = nullptr;
    QLineEdit* rateEdit_ = nullptr;
    QLineEdit* limitEdit_ = nullptr;
    QComboBox* audioDeviceBox_ = nullptr;
    QLabel* audioFormatLabel_ = nullptr;
    QComboBox* audioFormatBox_ = nullptr;
    QPushButton* audioConfigButton_ = nullptr;
    QLabel* audioCompressorLabel_ = nullptr;
    QComboBox* audioCompressorBox_ = nullptr;
    QCheckBox* listenCheck_ = nullptr;
    QLabel* framesLabel_ = nullptr;
    QLabel* droppedLabel_ = nullptr;
    QLabel* samplesLabel_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLineEdit* fileEdit_ = nullptr;
    QPushButton* fileButton_ = nullptr;

    // Single-frame capture options, never shown in stream mode.
    QGroupBox* frameOptionsBox_ = nullptr;
    QCheckBox* progressiveCheck_ = nullptr;
    QCheckBox* autoSaveCheck_ = nullptr;
    QCheckBox* autoIncrementCheck_ = nullptr;
    QLineEdit* chromaEdit_ = nullptr;
    QLineEdit* luminanceEdit_ = nullptr;
    QLineEdit* intervalEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLineEdit* captionEdit_ = nullptr;
    QLineEdit* captionLeftEdit_ = nullptr;
    QLineEdit* captionTopEdit_ = nullptr;

    QLabel* statusLabel_ = nullptr;

    // Network cameras
    std::shared_ptr<NetworkCameraBackend> network_;
    std::function<void()> networkListChanged_;
    bool ownDeviceChange_ = false;   // the list changes because of a button here: no question
    std::thread networkTest_;
    bool networkTesting_ = false;
    QLabel* networkLabel_ = nullptr;
    QWidget* networkRow_ = nullptr;
    QPushButton* addNetworkButton_ = nullptr;
    QPushButton* renameNetworkButton_ = nullptr;
    QPushButton* removeNetworkButton_ = nullptr;
    QPushButton* testNetworkButton_ = nullptr;

    // Cameras of grids 2 and 3.
    void buildGridCameras();
    void gridCameraChosen(int grid);
    int gridsInUse() const;
    QGroupBox* gridCamerasFrame_ = nullptr;
    QComboBox* gridCameraBoxes_[2] = {nullptr, nullptr};

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace tarvex
