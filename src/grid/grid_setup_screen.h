#pragma once
// The grid setup screen: the operator marks the four buoys on the camera picture, types the
// survey values, completes, saves and loads grids and checks their accuracy. All grid state
// lives in the Station's GridState so the measuring screen sees every change.
#include "station/station.h"
#include "grid/grid_fit.h"
#include "grid/grid_geometry.h"
#include "grid/setup_record.h"

#include <QPoint>
#include <QPointF>
#include <array>
#include <optional>

class QBoxLayout;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTableWidget;

namespace tarvex {

class NudgePad;
class PictureCanvas;

class GridSetupScreen : public Screen {
    Q_OBJECT
public:
    explicit GridSetupScreen(Station& station);

    void load() override;

    // Public operations other screens use.
    bool distance_calculation();
    // Runs the check on the boxes and the picture width and shows its advice boxes.
    GridCheckResult grid_check();
    void Show_grid();
    void clear_accuracy_indicator();

    // Load step 4 on, as the configuration and start-up loaders need it: no questions, no
    // dialog, no clearing of the picture, no grid check. A file that cannot be read is
    // reported through the prompter and the grid is not marked set up.
    bool applyGridFileToGrid(int n, const QString& path);


    PictureCanvas* canvas() const { return canvas_; }
    void hideLockedSign();
    double markerRadius() const { return marker_radius_; }
    QString pictureWidthTwips() const { return picture_width_twips_; }
    QString pictureHeightTwips() const { return picture_height_twips_; }
    QPointF clickPoint() const { return clickPoint_; }
    // The grid the selector caption names ("Grid n").
    void showGridNumber(int n);

    // Handlers, public so tests and other screens reach them as the operator would.
    void pictureMouseDown(double x, double y);
    void pictureMouseMove(double x, double y);
    void completeGrid();
    void showNextGrid();
    void drawBuoys();
    void checkAccuracy();
    void loadGridFromFile();
    void saveGridToFile();
    void loadPictureFromFile();
    void clearPicture();
    void pastePicture();
    void openCalibration();
    void leaveGridSetup();

    // The check point the next click places (row of the table), -1 for none.
    int selectedCheckPoint() const { return selectedCheckPoint_; }
    void addCheckPoint();
    void removeCheckPoint();
    // The agreement of the grid in hand: of its last fit, or of the loaded file.
    const std::optional<GridFit>& gridFit() const { return fit_; }

    static constexpr double kNudgeTwips = 15;
    static const QString kMisplacedText;
    // Residuals below these draw a green, then an amber ring; above, red.
    static constexpr double kGoodAgreementMetres = 0.02;
    static constexpr double kFairAgreementMetres = 0.05;
    static const QString kInvalidPathText;
    static const QString kNoPictureForCheckText;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct BuoyControls {
        int index = 0;                 // buoy index 1..4
        QRadioButton* option = nullptr;
        QLineEdit* x = nullptr;        // screen boxes
        QLineEdit* y = nullptr;
        QLineEdit* surveyX = nullptr;
        QLineEdit* surveyY = nullptr;
    };
    void buildControls();
    void buildAccuracyControls(QWidget* panel);
    void buildCheckPointControls(QBoxLayout* column);
    // The table, the lens switch and the quality line from the working state and fit_.
    void showCheckPoints();
    void checkPointCellEdited(int row, int column);
    void checkPointRowChosen();
    void lensSwitched(bool on);
    void moveCheckPoint(int index, const QPointF& to);
    // Says which check point lacks a position or a survey figure, and returns true then.
    bool refuseIncompleteCheckPoints();
    // Judges the grid in hand as its file left it (load, grid switch).
    void assessWorkingGrid();
    LensCorrection lensFrame() const;
    void drawAgreementRings(double markerSize, bool cross);
    // The grid in hand was edited: not complete, its fit no longer holds.
    void markIncomplete();
    // The state icon and the accuracy controls of a grid that is no longer complete.
    void showIncomplete();
    void connectBoxes();
    void boxChanged(int buoyIndex, int field);   // field 0/1 screen, 2/3 survey; index 0 = jump
    void setStateIcon(bool complete);
    void showAsComplete();
    void moveBuoys(const QPointF& selectedTarget, bool fromClick, double dx, double dy);
    void nudge(double dx, double dy);
    // The first box, by the name the operator sees, whose text is no number.
    std::optional<QString> firstBoxWithoutNumber() const;
    // Says so and returns true when a box holds no number.
    bool refuseNonNumbers();
    int selectedBuoy() const;
    BuoyControls& controlsOf(int buoyIndex);
    const BuoyControls& controlsOf(int buoyIndex) const;
    void fillBoxesFromWorkingState();
    void showGridPaths(int n);
    SetupBoxTexts boxTexts() const;
    void appendSetupRecord(int gridNumber, const QString& labelWord);
    void gridLockToggled(bool checked);
    void unlockGrid();
    std::optional<int> askGridNumber(const QString& prompt);
    std::optional<QString> chooseGridFile(bool forSave);
    void finishGridLoad(int n, const QString& path, bool interactive);
    void setPictureFromFile(const QString& path, bool reportErrors);
    void setPictureSize(QSize pixels);
    QColor markerColour() const;
    QColor messageColour() const;

    PictureCanvas* canvas_ = nullptr;
    std::array<BuoyControls, 4> buoys_{};   // in the screen's order: UL, UR, LL, LR
    QLineEdit* jumpSurveyXBox_ = nullptr;
    QLineEdit* jumpSurveyYBox_ = nullptr;
    QPushButton* gridSelectButton_ = nullptr;
    QCheckBox* gridLockCheck_ = nullptr;
    QLabel* gridLockedSign_ = nullptr;
    int shownGrid_ = 1;
    QScrollBar* markerSizeBar_ = nullptr;
    QLabel* markerSizeHandle_ = nullptr;
    NudgePad* nudgePad_ = nullptr;
    QLabel* nudgeHandle_ = nullptr;
    QLineEdit* gridFileBox_ = nullptr;
    QLineEdit* gridDescriptionBox_ = nullptr;
    QLabel* gridStateIcon_ = nullptr;
    QPushButton* accuracyButton_ = nullptr;
    QGroupBox* accuracyModeGroup_ = nullptr;
    QGroupBox* accuracyDisplayGroup_ = nullptr;
    QRadioButton* standardAccuracyOption_ = nullptr;
    QRadioButton* advancedAccuracyOption_ = nullptr;
    QRadioButton* distanceDisplayOption_ = nullptr;
    QRadioButton* detailDisplayOption_ = nullptr;
    QRadioButton* levelDisplayOption_ = nullptr;
    std::array<QLabel*, 51> accuracyLabels_{};
    std::array<QLabel*, 11> lineNumberLabels_{};

    double marker_radius_ = 0;
    // Empty while no picture is shown: no width is assumed.
    QString picture_width_twips_;
    QString picture_height_twips_;
    bool filling_ = false;
    QPointF clickPoint_;

    QTableWidget* checkPointTable_ = nullptr;
    QPushButton* addCheckPointButton_ = nullptr;
    QPushButton* removeCheckPointButton_ = nullptr;
    QCheckBox* lensCheck_ = nullptr;
    QLabel* qualityLabel_ = nullptr;
    std::array<QLabel*, kMaxCheckPoints> checkPointNames_{};
    int selectedCheckPoint_ = -1;
    std::optional<GridFit> fit_;
    // The last mouse move came through the loupe, which places a click finer.
    bool moveFromLoupe_ = false;
};

} // namespace tarvex
