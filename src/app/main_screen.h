#pragma once
// The hub of the station: start-up, navigation to every other screen, the video folder, the
// grid status trios and the capture device panel.
#include "station/station.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvex {

class CaptureDevicePanel;

class MainScreen : public Screen {
    Q_OBJECT
public:
    explicit MainScreen(Station& station);

    void load() override;   // the whole start-up

    // Left edges in twips, as the layout rules speak of them.
    static constexpr int kFrame1LeftHidden = 120;
    static constexpr int kFrame1LeftShown = 6120;
    int frame1LeftTwips() const;

    // Grid status trio n (1..3): shown while n <= grids_in_use; smiley when the grid's file
    // exists or was loaded, caution otherwise.
    void setGridStatus(int n, bool visible, bool loaded);
    void setGridDescription(int n, const QString& text);
    QString gridDescription(int n) const;
    bool gridStatusLoaded(int n) const;

    CaptureDevicePanel* devicePanel() const { return panel_; }
    // The video folder as it stands in its box (perhaps not yet applied).
    QString videoFolderText() const;

    // Where the capture screen first opens: beside the hub when both fit on the screen's
    // available area, otherwise centred on it. Frames are window-frame rectangles.
    static QPoint capturePlace(const QRect& mainFrame, const QSize& captureFrame, const QRect& available);

    static QString sessionLine(const QDateTime& t);
    static const QString kInvalidPathMessage;

    // Handlers, public so other screens and tests reach them as the operator would.
    void goToCapture();
    void goToVideoReview();
    void goToMeasure();
    void goToGridSetup();
    void goToConfiguration();
    void toggleCaptureConfiguration();
    void importSkierNames();
    void changeVideoFolder();
    void viewLog();
    void viewManual();
    void showLicense();
    void exitStation();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void buildControls();
    void askForVideoFolder();
    void writeSessionLine();
    void applyFrameRateCaption();
    void setCapturePanelsVisible(bool visible);
    bool goToScreen(const QString& name);
    // True when the folder in the video folder box exists; otherwise the "Path Error" box.
    bool videoFolderExists();
    void videoFolderChanged(const QString& text);

    CaptureDevicePanel* panel_ = nullptr;
    QWidget* content_ = nullptr;
    QGroupBox* controlsFrame_ = nullptr;
    QPushButton* showConfigButton_ = nullptr;
    QLineEdit* videoFolderBox_ = nullptr;
    QLabel* videoFolderLabel_ = nullptr;
    QCheckBox* barefootTimingCheck_ = nullptr;
    QLabel* captureConfigLabel_ = nullptr;
    QLabel* gridLabels_[3] = {};
    QLabel* gridStatusIcons_[3] = {};
    QLineEdit* gridDescriptionBoxes_[3] = {};
    bool gridLoaded_[3] = {};
    bool loading_ = false;
    bool configShown_ = false;
};

} // namespace tarvex
