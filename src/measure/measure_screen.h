#pragma once
// The measuring screen: one still picture of the landing area with the current grid drawn
// over it; the operator marks the impact, fine-tunes it and reads the distance. Recording,
// outcomes and skier names hang off the same controls (their handlers below are hooks).
#include "station/station.h"
#include "measure/measure_state.h"
#include "widgets/line_shape.h"

#include <QLineF>
#include <QPoint>
#include <QPointF>
#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;

namespace tarvex {

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
    void Unfreeze_Click();
    void SavePict_Click();
    // Where picture saving goes (the recording work); Exit and Capture Next Jump call it
    // under the picture-save policy.
    void savePicture();

    // What the configuration and grid setup screens do to this screen.
    // The tournament type box under the distance ("Barefoot Jump", "Sit Ski Jump").
    void setTournamentIndicator(bool visible, const QString& text = {});
    // Every option and label that shows the message colour takes `c`, or its own colour.
    void setMessageColour(const QColor& c);
    void setDefaultColours();
    void hideUnofficialJump();
    void setNameButtonVisible(bool visible);
    // Replaces the drop-down list only; the name being typed is not a name change.
    void setSkierNames(const QStringList& names);
    void setGridDescription(const QString& text);
    // Grid 1's distances from the jump to the upper buoys, beside them, and its description.
    void showBuoyLabels();

    // Runs on every activation: the frame the review screen handed over while that arrival
    // lasts, then the overlay.
    void Form_Activate();

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
    QString pictureWidthTwips() const { return picture_width_twips_; }
    QString pictureHeightTwips() const { return picture_height_twips_; }
    bool verifyMode() const { return verifyMode_; }   // the caption reads "Verify off"
    int crossSize() const;

    // Handlers, public so tests and the other screens reach them as the operator would.
    void pictureMouseDown(double x, double y);
    void pictureMouseMove(double x, double y);
    void AdjustUp_Click() { microAdjust(0, -kMicroAdjustTwips); }
    void AdjustDown_Click() { microAdjust(0, kMicroAdjustTwips); }
    void AdjustLeft_Click() { microAdjust(-kMicroAdjustTwips, 0); }
    void AdjustRight_Click() { microAdjust(kMicroAdjustTwips, 0); }
    void Set_grid_Click();
    void Show_grid_Click();
    void verify_Click();
    void mnuPaste_Click();
    void ClipSnapShot_Click() { mnuPaste_Click(); }
    void ImgSnapShot_Click();
    void cbAutoLoadClipboard_Click();
    void loadTimer_Timer();
    void Exit_Click();
    void mnuCapture_Click();
    void mnuCalibrate_Click();
    void mnuResults_Click();

    // Recording, outcomes and skier names.
    void Record_Click();
    void LoadPict_Click();
    void mnuViewLog_Click();
    void optJumpOK_Click();
    void Fall_Click();
    void Pass_Click();
    void Other_Grid_Click();
    void M_Reride_Click();
    void O_reride_Click();
    void Make_comment_Click();
    void btnGetName_Click();
    void Skier_name_Change();
    void Skier_name_Click();

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
    void hideMarker();
    void showProvisional();
    void freezeStart();
    void showPictureName(const QString& name);
    void takePictureSize();
    void applyPictureSavePolicy();
    void clearBuoyLabels();
    void showScreenOrSay(const QString& name, const QString& missingText);
    QColor overlayColour() const;
    QList<QWidget*> messageColoured() const;

    MeasureState state_;
    QString unreadableFrame_;   // the picked frame last reported as unreadable
    PictureCanvas* canvas_ = nullptr;
    QMenuBar* menu_ = nullptr;

    QPushButton* Set_grid = nullptr;
    QPushButton* Show_grid = nullptr;
    QPushButton* Unfreeze = nullptr;
    QPushButton* Record = nullptr;
    QPushButton* verify = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* optJumpOK = nullptr;
    QRadioButton* Pass = nullptr;
    QRadioButton* Fall = nullptr;
    QRadioButton* O_reride = nullptr;
    QRadioButton* M_Reride = nullptr;
    QRadioButton* Other_Grid = nullptr;
    QRadioButton* Make_comment = nullptr;
    QLineEdit* Comment = nullptr;
    QLineEdit* distance = nullptr;
    QLineEdit* distance_ft = nullptr;
    QLabel* provisionalDistance = nullptr;   // the figures at the mark before Record
    QLabel* IWSFlabel = nullptr;
    QLabel* AWSAlabel = nullptr;
    QLineEdit* Jump_no = nullptr;
    QComboBox* Skier_name = nullptr;
    QPushButton* btnGetName = nullptr;
    QLineEdit* barefoot_indicator = nullptr;
    QLabel* FrozenSign = nullptr;
    QLabel* UnofficialJump = nullptr;
    QLineEdit* grid_description = nullptr;
    QLabel* gridlabel = nullptr;
    QLineEdit* gif_file_name = nullptr;
    LineShape* lineHorizontalImpact = nullptr;
    LineShape* lineVerticalImpact = nullptr;
    LineShape* lineSplashIndicator = nullptr;
    QScrollBar* CrossSize = nullptr;
    QLabel* CrossLabel = nullptr;
    QPushButton* AdjustUp = nullptr;
    QPushButton* AdjustDown = nullptr;
    QPushButton* AdjustLeft = nullptr;
    QPushButton* AdjustRight = nullptr;
    QLabel* AdjustmentLabel = nullptr;
    QLineEdit* xtwips = nullptr;
    QLineEdit* ytwips = nullptr;
    QLineEdit* xposition = nullptr;
    QLineEdit* yposition = nullptr;
    QLineEdit* VerifyDistance = nullptr;
    QLabel* maxbuoy = nullptr;
    QLabel* maxbuoym = nullptr;
    QLabel* minbuoy = nullptr;
    QLabel* minbuoym = nullptr;
    QPushButton* ClipSnapShot = nullptr;
    QPushButton* ImgSnapShot = nullptr;
    QCheckBox* cbAutoLoadClipboard = nullptr;
    QTimer* loadTimer = nullptr;

    QString picture_width_twips_ = QStringLiteral("12000");
    QString picture_height_twips_ = QStringLiteral("9000");
    // The activation that follows a show is the same arrival; run it once.
    bool skipNextActivation_ = false;
    bool verifyMode_ = false;
};

} // namespace tarvex
