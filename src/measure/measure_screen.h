#pragma once
// The measuring screen: one still picture of the landing area with the current grid drawn
// over it; the operator marks the impact, fine-tunes it and reads the distance. Recording,
// outcomes and skier names hang off the same controls; their handlers are in
// measure_recording.cpp.
#include "station/station.h"
#include "measure/jump_evidence.h"
#include "measure/measure_state.h"
#include "widgets/line_shape.h"

#include <QLineF>
#include <QPoint>
#include <QPointF>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;

namespace tarvex {

class NudgePad;
class PictureCanvas;

class MeasureScreen : public Screen, public MeasureSession {
    Q_OBJECT
public:
    explicit MeasureScreen(Station& station);

    void load() override;
    void openFrame(const FrameHandOver& handOver) override;

    // Public operations other screens and the recording code use.
    // Draws the marker at the impact point. false (and a message, no marker) where the
    // current grid cannot map the point.
    bool DrawImpactMark();
    void show_the_grid();
    // Clear: the next jump number, no outcome, no picture, no marker (the next Record needs
    // a new mark).
    void clearJump();
    // Save Picture; Exit and Capture Next Jump call it under the picture-save policy.
    void savePicture();

    // What the configuration and grid setup screens do to this screen.
    // The tournament type box under the distance ("Barefoot Jump", "Sit Ski Jump").
    void setTournamentIndicator(bool visible, const QString& text = {});
    // Every option and label that shows the message colour takes `c`, or its own colour.
    void setMessageColour(const QColor& c);
    void setDefaultColours();
    void hideUnofficialJump();
    void setNameButtonVisible(bool visible);
    // One informative line at the foot of the screen; it needs no click.
    void showStatus(const QString& text);
    // Replaces the drop-down list only; the name being typed is not a name change.
    void setSkierNames(const QStringList& names);
    void setGridDescription(const QString& text);
    // Grid 1's distances from the jump to the upper buoys, beside them, and its description.
    void showBuoyLabels();

    // Runs on every activation: the frame the review screen handed over while that arrival
    // lasts, then the overlay.
    void refreshOnActivation();

    // A picture file as the screen's picture (Load Picture's step 2): sizes, overlay and
    // the name below the grid description. false, with a message, when it cannot be read.
    bool loadPictureFile(const QString& path);
    // The picture log viewer's View Picture: the picture with sizes and overlay, its path
    // below the grid description, arrival PictureLog. A picture that cannot be read gives a
    // message and the screen keeps its picture; false then.
    bool showLoggedPicture(const QString& path);

    MeasureState& state() { return state_; }
    const MeasureState& state() const { return state_; }
    PictureCanvas* canvas() const { return canvas_; }
    QString pictureWidthTwips() const { return pictureWidthTwips_; }
    QString pictureHeightTwips() const { return pictureHeightTwips_; }
    bool verifyMode() const { return verifyMode_; }   // the caption reads "Verify off"
    int crossSize() const;

    // Handlers, public so tests and the other screens reach them as the operator would.
    void pictureMouseDown(double x, double y);
    void pictureMouseMove(double x, double y);
    void switchToNextGrid();         // Set_grid
    void toggleVerify();             // verify
    void pasteClipboardPicture();    // Paste, and the clipboard icon
    void freezeSnapshot();           // the snapshot icon: txio's snapshot.bmp
    void followAutoLoad();           // cbAutoLoadClipboard starts or stops the poll
    void pollClipboardFlag();        // loadTimer's tick
    void exitToMain();
    void captureNextJump();
    void openCalibration();
    void openResults();

    // Recording, outcomes and skier names.
    void recordJump();
    void loadPicture();
    void viewPictureLog();
    void chooseFall();
    void choosePass();
    void chooseOtherGrid();
    void chooseMandatoryReride();
    void chooseOptionalReride();
    void makeComment();
    void readWstimsSkierName();      // btnGetName
    void skierNameChanged();
    // `cmdTakeSuggestion`, key A: the suggested impact point becomes the mark, as if clicked.
    void takeSuggestion();
    // The contact detector's impact point on the picture in hand, if it found one.
    std::optional<QPointF> suggestedImpact() const { return suggestedImpact_; }

    // A frame of a take recorded by several cameras: the camera whose picture is on screen
    // (the current grid's once the grid is switched), and the landing's marks in each.
    int shownCamera() const { return shownCamera_; }
    const CameraMarks& cameraMarks() const { return cameraMarks_; }

    static const QString kMarkFirstText;
    static const QString kSnapshotWarning;
    static const QString kSavePictureQuestion;
    static const QString kUnmappableText;

protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void buildPanel(QWidget* panel);
    void buildFloating();
    void microAdjust(double dx, double dy);
    void setNudgeVisible(bool on);
    void hideMarker();
    // What every new picture resets: the mark, its read-outs and the distance boxes.
    void forgetMark();
    void showProvisional();
    void showRecordedDistance(const QString& metresText, const QString& feetText);
    // The video's skier and jump, when its name says them.
    void takeSkierOfVideo(const QString& videoPath);
    void freezeStart();
    void showPictureName(const QString& name);
    void takePictureSize();
    void applyPictureSavePolicy();
    void placeBuoyLabels();
    void clearBuoyLabels();
    void showScreenOrSay(const QString& name, const QString& missingText);
    void drawSuggestion();
    void forgetSuggestion();
    QColor overlayColour() const;
    QList<QWidget*> messageColoured() const;
    // Shows the matching frame of the camera of `grid` when the picture came from a take of
    // several cameras that has one; false when nothing changed.
    bool showCameraOfGrid(int grid);
    void noteCameraMark();

    QMap<int, QString> cameraFiles_;   // the take's files by grid; empty for one camera
    QMap<int, int> cameraFrames_;      // the matching frame of each
    QMap<int, QString> cameraPictures_;   // each one's frame drawn out, when the files are gone
    int shownCamera_ = 1;
    CameraMarks cameraMarks_;

    MeasureState state_;
    QString unreadableFrame_;   // the picked frame last reported as unreadable
    QString shownFrame_;        // the picked frame on screen (path and time written)
    PictureCanvas* canvas_ = nullptr;

    QPushButton* gridChoiceButton_ = nullptr;
    QPushButton* showGridButton_ = nullptr;
    QPushButton* verifyButton_ = nullptr;
    QRadioButton* jumpOkOption_ = nullptr;
    QRadioButton* passOption_ = nullptr;
    QRadioButton* fallOption_ = nullptr;
    QRadioButton* optionalRerideOption_ = nullptr;
    QRadioButton* mandatoryRerideOption_ = nullptr;
    QRadioButton* otherGridOption_ = nullptr;
    QRadioButton* commentOption_ = nullptr;
    QLineEdit* commentBox_ = nullptr;
    QLineEdit* metresBox_ = nullptr;
    QLineEdit* feetBox_ = nullptr;
    QLabel* provisionalFigures_ = nullptr;   // the figures at the mark before Record
    QLabel* recordedReadout_ = nullptr;      // the recorded distance, legible from afar
    QLabel* statusLine_ = nullptr;           // what only informs, such as a saved picture's path
    QLabel* metresCaption_ = nullptr;
    QLabel* feetCaption_ = nullptr;
    QLineEdit* jumpNumberBox_ = nullptr;
    QComboBox* skierNameBox_ = nullptr;
    QPushButton* nameButton_ = nullptr;
    QLineEdit* tournamentIndicator_ = nullptr;
    QLabel* frozenSign_ = nullptr;
    QLabel* unofficialSign_ = nullptr;
    QLineEdit* gridDescriptionBox_ = nullptr;
    QLineEdit* pictureNameBox_ = nullptr;
    LineShape* impactArm_ = nullptr;
    LineShape* impactBar_ = nullptr;
    LineShape* splashIndicator_ = nullptr;
    QScrollBar* crossSizeBar_ = nullptr;
    QLabel* crossSizeHandle_ = nullptr;
    NudgePad* nudgePad_ = nullptr;
    QLabel* nudgeHandle_ = nullptr;
    QLineEdit* xTwipsBox_ = nullptr;
    QLineEdit* yTwipsBox_ = nullptr;
    QLineEdit* xPositionBox_ = nullptr;
    QLineEdit* yPositionBox_ = nullptr;
    QLineEdit* verifyDistanceBox_ = nullptr;
    QLabel* leftBuoyFeet_ = nullptr;
    QLabel* leftBuoyMetres_ = nullptr;
    QLabel* rightBuoyFeet_ = nullptr;
    QLabel* rightBuoyMetres_ = nullptr;
    QCheckBox* autoLoadBox_ = nullptr;
    QPushButton* takeSuggestionButton_ = nullptr;
    QLabel* suggestionFigures_ = nullptr;    // beside the suggested point on the picture
    std::optional<QPointF> suggestedImpact_;
    QTimer* clipboardPoll_ = nullptr;

    QString pictureWidthTwips_ = QStringLiteral("12000");
    QString pictureHeightTwips_ = QStringLiteral("9000");
    // The activation that follows a show is the same arrival; run it once.
    bool skipNextActivation_ = false;
    bool verifyMode_ = false;
    // How the mark was placed, for its uncertainty and the evidence record.
    bool markFromLoupe_ = false;
    double markZoom_ = 1;
};

} // namespace tarvex
