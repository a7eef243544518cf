#pragma once
// The capture screen: the live picture of the camera, the name of the next capture file, a
// recording of fixed length with its one-second countdown, the Contact hint, and the hand-over
// of the new file to the review screen.
#include "station/station.h"
#include "station/capture_session.h"
#include "capture/capture_component.h"

#include <QElapsedTimer>
#include <functional>
#include <optional>

class QAction;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QSpinBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tarvex {

class CaptureDevicePanel;
class FrameView;

class CaptureScreen : public Screen, public CaptureSession {
    Q_OBJECT
public:
    explicit CaptureScreen(Station& station);
    ~CaptureScreen() override;

    void load() override;

    // The main screen's device panel (applyCaptureValues, the frame-rate box, the statistics
    // labels). The roof hands it over; without one the component's own values are used.
    void setDevicePanel(CaptureDevicePanel* panel) { panel_ = panel; }
    // The skier selection window lives with the measuring screens; the roof says how to open
    // it. It answers the chosen name, nullopt for none.
    using SkierChooser = std::function<std::optional<QString>(QWidget* owner)>;
    void setSkierChooser(SkierChooser chooser) { chooseSkier_ = std::move(chooser); }

    // CaptureSession
    QString skierName() const override;
    QString passNumber() const override;
    void setSkierName(const QString& name) override;
    void setPassNumber(const QString& pass) override;
    bool nameWarningShown() const override;

    QString captureFileName() const { return captureFile_; }
    double captureSeconds() const { return captureSeconds_; }
    bool recording() const { return recording_; }
    // The newest live picture on the screen (null before the first).
    QImage livePicture() const;

    // Handlers, public so tests and the menu reach them as the operator would.
    // The arrival check; runs (queued) whenever the screen is shown or activated.
    void checkArrival();                 // the form's paint
    void startRecording();               // `cmdStartCapture`
    void stopRecording();                // `cmdEndCapture`, Esc
    void noteContact();                  // `cmdStartTimer`
    void countDown();                    // `Timer40`, each second
    void chooseSkier();                  // `cmdSelect`
    void goToReview();                   // `cmdGoToTimer`
    void goToSetup();                    // `cmdGoSetup`
    void chooseCaptureTime(int index);   // `captureTimeValue`
    // Pre-recording (`chkPreRecord`, `preRecordSeconds`): on while the screen is shown and
    // the option is ticked.
    bool preRecordingOn() const;
    int preRecordingSeconds() const;

    static const QString kDuplicateFileWarning;
    static const QString kJumpNumberWarning;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildControls();
    void scheduleArrivalCheck();
    // The key-code box (`Text1`) and Esc; true when the key ended a recording.
    bool handleKey(int qtKey);
    void skierNameChanged(const QString& text);
    // Esc and the end of the countdown: the contact hint when Contact was not pressed.
    void noteDefaultContactHint();
    // The one place the live picture reaches the screen.
    void showLivePicture(const QImage& frame);
    void fitLivePicture();
    void refreshRecordingDisplay();
    void setRecordingState(bool on);
    void showStartError(const CaptureError& e);
    double frameRateForHint() const;
    QString skierListFile() const;
    void buildPreRecordingControls(QBoxLayout* side);
    void choosePreRecording();
    // Tells the camera to hold pictures or to stop holding them, as the screen stands.
    void applyPreRecording();

    CaptureComponent& capture_;
    CaptureDevicePanel* panel_ = nullptr;
    SkierChooser chooseSkier_;

    QString captureFile_;
    bool nameChanged_ = false;
    double captureSeconds_ = 5;
    bool recording_ = false;
    bool arrivalRunning_ = false;
    bool nameWarning_ = false;
    bool editingName_ = false;
    QElapsedTimer recordingClock_;

    QMenuBar* menu_ = nullptr;
    QAction* startAction_ = nullptr;
    FrameView* livePicture_ = nullptr;
    QLineEdit* skierNameBox_ = nullptr;
    QLineEdit* passBox_ = nullptr;
    QPushButton* chooseSkierButton_ = nullptr;
    QComboBox* captureTimeBox_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* contactButton_ = nullptr;
    QPushButton* reviewButton_ = nullptr;
    QPushButton* setupButton_ = nullptr;
    QLabel* countdownLabel_ = nullptr;
    QLabel* framesLabel_ = nullptr;
    QLabel* droppedLabel_ = nullptr;
    QLabel* contactFrameLabel_ = nullptr;
    QLabel* nameWarningLabel_ = nullptr;
    QLineEdit* keyCodeBox_ = nullptr;
    QLabel* recordingLabel_ = nullptr;
    QProgressBar* recordingProgress_ = nullptr;
    QTimer* countdownTimer_ = nullptr;
    QTimer* displayTimer_ = nullptr;
    QCheckBox* preRecordBox_ = nullptr;
    QSpinBox* preRecordSecondsBox_ = nullptr;
    // Frames the file held when Start was pressed (pre-recorded); part of the default hint.
    long heldFrames_ = 0;
};

} // namespace tarvex
