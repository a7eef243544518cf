#pragma once
// The configuration screen: tournament-wide options of the station. Its load applies the
// stored configuration (AppSettings, grid status trios, stored grid files); leaving it writes
// the configuration line to the results file and loads the skier name list.
#include "station/station.h"

#include <QColor>
#include <QStringList>
#include <optional>

class QAction;
class QDateTime;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
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
    static constexpr long kRed = 255;

    // Handlers, public so tests and other screens reach them as the operator would.
    void mnuExit_Click();
    void btnFindResults_Click();
    void btnFindNames_Click();
    void cmdLoupe_Click();

signals:
    // The skier name list was replaced (leaving the screen with a readable name file).
    void skierNamesLoaded(const QStringList& names);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void buildControls();

    // Control actions; each runs on the operator's click and when the load invokes it.
    void Barefoot_box_Click();
    void SitSki_box_Click();
    void gridOption(int count);
    void jumpDirection(bool rightToLeft);
    void line_control_check_Click();
    void markerOption();
    void colorOption(long color, const QString& name);
    void default_color_Click();
    void pictureOption(const QString& mode);
    void videoOption(const QString& mode);
    void WSTIMS_Click();
    void chkLoupe_Click();
    void ResultsPathName_Change(const QString& text);
    void TxioPathName_Change(const QString& text);

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

    QMenuBar* menu_ = nullptr;
    QAction* mnuExit = nullptr;
    QLineEdit* TournamentName = nullptr;
    QLineEdit* ResultsPathName = nullptr;
    QLineEdit* CapturesPathName = nullptr;
    QLineEdit* SetupFilesPathName = nullptr;
    QLineEdit* SkierNameFile = nullptr;
    QCheckBox* Barefoot_box = nullptr;
    QCheckBox* SitSki_box = nullptr;
    QCheckBox* WSTIMS = nullptr;
    QLabel* TXIOLabel = nullptr;
    QLineEdit* TxioPathName = nullptr;
    QCheckBox* line_control_check = nullptr;
    QRadioButton* Opt1Grid = nullptr;
    QRadioButton* Opt2grid = nullptr;
    QRadioButton* Opt3grid = nullptr;
    QRadioButton* left_to_right_button = nullptr;
    QRadioButton* right_to_left_button = nullptr;
    QRadioButton* OptCross = nullptr;
    QRadioButton* OptCircle = nullptr;
    QRadioButton* white_color = nullptr;
    QRadioButton* black_color = nullptr;
    QRadioButton* yellow_color = nullptr;
    QRadioButton* default_color = nullptr;
    QRadioButton* OptPictureAsk = nullptr;
    QRadioButton* OptPictureNoSave = nullptr;
    QRadioButton* OptPictureSave = nullptr;
    QRadioButton* OptVideoAsk = nullptr;
    QRadioButton* OptVideoNoSave = nullptr;
    QRadioButton* OptVideoSave = nullptr;
    QCheckBox* chkLoupe = nullptr;

    QString tournamentName_;
    QStringList skierNames_;
};

} // namespace tarvex
