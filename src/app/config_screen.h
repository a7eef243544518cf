#pragma once
// The configuration screen: tournament-wide options of the station. Its load applies the
// stored configuration (AppSettings, grid status trios, stored grid files); leaving it writes
// the configuration line to the results file and loads the skier name list.
#include "station/station.h"

#include <QColor>
#include <QStringList>
#include <optional>

class QDateTime;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tarvex {

class MeasureScreen;

class ConfigScreen : public Screen {
    Q_OBJECT
public:
    explicit ConfigScreen(Station& station);

    void load() override;

    // Applies MessageColor to the measuring screen's labels and options.
    void set_colors();

    // The names loaded from the skier name file when the screen was last left.
    QStringList skierNames() const { return skierNames_; }
    // Where the magnifier program is looked for.
    QString loupeProgram() const;

    // The configuration line of the results file, CR LF included.
    static QString configurationLine(const QDateTime& t, const QString& tournamentName);
    // 0x00BBGGRR, as MessageColor holds colours.
    static constexpr long kWhite = 16777215;
    static constexpr long kBlack = 0;
    static constexpr long kYellow = 65535;

    // Handlers, public so tests and other screens reach them as the operator would.
    void saveAndExit();
    void findResultsFile();
    void findSkierNameFile();
    void restartLoupe();
    // The folder chooser beside the TXIO directory box.
    void findTxioFolder();

signals:
    // The skier name list was replaced (leaving the screen with a readable name file).
    void skierNamesLoaded(const QStringList& names);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void buildControls();

    // Control actions; each runs on the operator's click and when the load invokes it.
    void applyBarefoot();
    void applySitSki();
    void setGridCount(int count);
    void setJumpDirection(bool rightToLeft);
    void applyLineControl();
    void applyMarkerStyle();
    void chooseMessageColour(long color, const QString& name);
    void chooseDefaultColours();
    void setPictureSaveMode(const QString& mode);
    void setVideoSaveMode(const QString& mode);
    void applyWstims();
    void wstimsClicked();
    // The shared folder check, with a word when the operator declined to create the folder.
    bool folderUsable(const QString& folder, const QString& what);
    void applyLoupe();
    void resultsFileChanged(const QString& text);
    void txioFolderChanged(const QString& text);

    void applyStoredGrids();
    void startLoupe();
    void appendConfigurationLine();
    void loadSkierNames();
    std::optional<QString> findTextFile(const QString& title);
    // A relative path is taken from the program folder, as the station's files are.
    QString fromProgramFolder(const QString& path) const;

    // The measuring screen (created on first touch, as touching any screen does) and the
    // controls of other screens this one drives.
    MeasureScreen* measureScreen();
    void setBarefootIndicator(bool visible, const QString& text = {});

    QLineEdit* tournamentNameBox_ = nullptr;
    QLineEdit* resultsFileBox_ = nullptr;
    QLineEdit* capturesFolderBox_ = nullptr;
    QLineEdit* gridFilesFolderBox_ = nullptr;
    QLineEdit* skierNameFileBox_ = nullptr;
    QCheckBox* barefootCheck_ = nullptr;
    QCheckBox* sitSkiCheck_ = nullptr;
    QCheckBox* wstimsCheck_ = nullptr;
    QLabel* txioCautionLabel_ = nullptr;
    QLineEdit* txioFolderBox_ = nullptr;
    QPushButton* txioFindButton_ = nullptr;
    QCheckBox* lineControlCheck_ = nullptr;
    QRadioButton* oneGridOption_ = nullptr;
    QRadioButton* twoGridsOption_ = nullptr;
    QRadioButton* threeGridsOption_ = nullptr;
    QRadioButton* leftToRightOption_ = nullptr;
    QRadioButton* rightToLeftOption_ = nullptr;
    QRadioButton* crossMarkerOption_ = nullptr;
    QRadioButton* circleMarkerOption_ = nullptr;
    QRadioButton* whiteColourOption_ = nullptr;
    QRadioButton* blackColourOption_ = nullptr;
    QRadioButton* yellowColourOption_ = nullptr;
    QRadioButton* defaultColourOption_ = nullptr;
    QRadioButton* askPictureOption_ = nullptr;
    QRadioButton* neverSavePictureOption_ = nullptr;
    QRadioButton* alwaysSavePictureOption_ = nullptr;
    QRadioButton* askVideoOption_ = nullptr;
    QRadioButton* neverSaveVideoOption_ = nullptr;
    QRadioButton* alwaysSaveVideoOption_ = nullptr;
    QCheckBox* loupeCheck_ = nullptr;

    QString tournamentName_;
    QStringList skierNames_;
};

} // namespace tarvex
