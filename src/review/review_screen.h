#pragma once
// The review screen: one captured jump video stepped frame by frame to the first contact;
// "Use displayed frame to measure jump" logs that frame, writes it beside the video, makes it
// the measuring screen's picture and applies the video-save setting.
#include "review/contact_detector.h"
#include "station/review_session.h"
#include "station/station.h"

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace tarvex {

class FrameView;
struct FrameHandOver;

class ReviewScreen : public Screen, public ReviewSession {
    Q_OBJECT
public:
    explicit ReviewScreen(Station& station);
    void load() override;

    // ReviewSession: the path in `Text6`.
    QString videoPath() const override;
    void setVideoPath(const QString& path) override;
    void openRecording(const Recording& recording) override;
    void openLogged(const QString& path) override;
    void openEmpty(Arrival from) override;

    // Handlers, public so tests and other screens reach them as the operator would.
    void browseForVideo();   // `Command6`
    void stepBack();         // `Command1`, "<"
    void stepForward();      // `Command4`, ">"
    // `cmdMarkStart`. A step still being decoded is shown first and then used, so the frame
    // fixed is the one on screen and the last one asked for; until then stepping is held.
    void useShownFrame();
    bool frameUseAwaited() const { return useAwaited_; }
    void goToNextPass();     // `cmdGoToCapture`
    void goToSetup();        // `cmdGoToSetup`
    void viewLog();          // `cmdViewLog`
    // `cmdSuggestedContact`, key S: back to the suggested contact frame.
    void goToSuggestion();
    // The detector's suggestion for the video in hand, once it has arrived.
    std::optional<ContactSuggestion> suggestion() const { return suggestion_; }
    // The detection for the video in hand has ended (with or without a suggestion).
    bool suggestionSettled() const { return !detection_ || detection_->finished(); }
    // What the arrival in hand does; the show event runs it once per arrival.
    void arrive();
    // `cmbCamera`, shown when the video in hand is one of a take of several cameras: shows
    // camera `camera`'s file at the frame taken nearest in time to the one in view, and
    // makes that camera's grid the current one where it is in use.
    void showCamera(int camera);
    // The camera whose file is in view (1 for a clip of one camera).
    int cameraInView() const;

    // Free bytes of the disk holding `place` (a folder, or a drive on Windows); tests set it.
    using FreeSpaceQuery = std::function<qint64(const QString& place)>;
    void setFreeSpaceQuery(FreeSpaceQuery query) { freeSpace_ = std::move(query); }
    // The log viewer is opened through this; without it "View Log File" is disabled.
    void setViewLogOpener(std::function<void(QWidget* owner)> opener);

    FrameView* frameView() const { return frameView_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    bool loadVideo(const QString& path, int first = 0);
    void setKeyboardEvents(bool on);
    void setSteppingEnabled(bool on);
    void stepBy(int delta, bool autoRepeat);
    void fixShownFrame();
    void frameSettled();
    void endAwaitedUse();
    void queueArrivalIfShown();
    void refreshDiskSpace();
    void nameCheckAfterCapture();
    void writeMeasurementLog(const QString& path, int frame);
    void produceFramePicture(const QString& videoPath, int frame);
    void drawOutCameraPictures(FrameHandOver& handOver);
    void leaveFor(const QString& target);
    void say(const QString& text, const QString& title = {}) const;
    void startDetection(const QString& path);
    void stopDetection();
    void suggestionArrived(const QString& path, std::optional<ContactSuggestion> found);
    void showSuggestion();
    // The suggested frame in the file in view: the suggestion's own, or the matching frame
    // of another camera of its take; nullopt when the file in view is not of that take.
    std::optional<int> suggestedFrameInView() const;
    void refreshCameraChoice();

    // objectNames: MediaPlayer1, Label3, Command6, Text6, Command1, Command4, Label5,
    // cmdMarkStart, cmdGoToCapture, cmdGoToSetup, cmdViewLog, Label10, lblDiskSpace, Label11,
    // Label9, lblFileInfo, lstFileInfo.
    FrameView* frameView_ = nullptr;
    QLabel* browseLabel_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QLineEdit* videoBox_ = nullptr;
    QPushButton* backButton_ = nullptr;
    QPushButton* forwardButton_ = nullptr;
    QLabel* instructionLabel_ = nullptr;
    QPushButton* useFrameButton_ = nullptr;
    QPushButton* nextPassButton_ = nullptr;
    QPushButton* setupButton_ = nullptr;
    QPushButton* viewLogButton_ = nullptr;
    QLabel* diskSpaceCaption_ = nullptr;
    QLabel* diskSpaceLabel_ = nullptr;
    QLabel* diskSpaceWarning_ = nullptr;
    QLabel* barefootLabel_ = nullptr;
    QLabel* fileInfoCaption_ = nullptr;
    QListWidget* fileInfoList_ = nullptr;
    QTimer* useDeadline_ = nullptr;
    QLabel* suggestionLabel_ = nullptr;
    QPushButton* suggestionButton_ = nullptr;
    QWidget* suggestionMark_ = nullptr;   // on the frame view's slider
    QComboBox* cameraBox_ = nullptr;

    QString loadedPath_;   // the file the frame view holds, empty when none
    bool keysOn_ = false;
    bool useAwaited_ = false;   // "Use displayed frame" pressed while the newest step decodes
    std::unique_ptr<ContactJob> detection_;
    QString suggestionPath_;               // the video the suggestion is for
    std::optional<ContactSuggestion> suggestion_;
    int openedAt_ = -1;                    // the frame the video in hand was opened at
    bool stepped_ = false;                 // the operator has stepped since
    FreeSpaceQuery freeSpace_;
    std::function<void(QWidget*)> viewLogOpener_;
};

} // namespace tarvex
