#include "app/config_screen.h"
#include "measure/measure_screen.h"
#include "station/screen_names.h"
#include "common/colours.h"
#include "common/folder_check.h"
#include "station/settings_keys.h"
#include "app/main_screen.h"
#include "measure/skier_name_list.h"
#include "common/list_text.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "grid/grid_setup_screen.h"
#include "media/file_helpers.h"
#include "widgets/controls.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tarvex {

namespace {

const QString kFindFilter = QStringLiteral("All Files (*.*)|*.*|Text Files (*.TXT)|*.TXT|Parameter Files (*.ipt)|*.ipt|");

QRadioButton* option(QGroupBox* group, const char* name, const QString& caption)
{
    auto* o = named(new QRadioButton(caption, group), name);
    group->layout()->addWidget(o);
    return o;
}

QGroupBox* frame(const char* name, const QString& caption, QWidget* parent)
{
    auto* g = named(new QGroupBox(caption, parent), name);
    new QVBoxLayout(g);
    return g;
}

// Sets a text without running the box's change handling; the load runs it itself, once.
void setQuietly(QLineEdit* box, const QString& text)
{
    const QSignalBlocker block(box);
    box->setText(text);
}

} // namespace

ConfigScreen::ConfigScreen(Station& station) : Screen(station)
{
    setWindowTitle(QStringLiteral("Configuration Parameters"));
    buildControls();
}

QString ConfigScreen::configurationLine(const QDateTime& t, const QString& tournamentName)
{
    ListWriter w;
    w.text(QStringLiteral("New Configuration: ") + dateText(t) + QStringLiteral("  ") + timeText(t)
           + QLatin1Char(' ') + tournamentName)
        .endLine();
    return w.str();
}

QString ConfigScreen::loupeProgram() const
{
#ifdef Q_OS_WIN
    return station_.programFile(QStringLiteral("Loupe/Loupe.exe"));
#else
    return station_.programFile(QStringLiteral("Loupe/Loupe"));
#endif
}

QString ConfigScreen::fromProgramFolder(const QString& path) const
{
    if (path.isEmpty() || !QDir::isRelativePath(path))
        return path;
    return QDir(station_.programFolder()).filePath(path);
}

// ---------------------------------------------------------------- controls

void ConfigScreen::buildControls()
{
    auto* outer = new QVBoxLayout(this);
    auto* menu = new QMenuBar(this);
    QAction* exitAction = menu->addAction(QStringLiteral("E&xit and Save Parameters"));
    exitAction->setObjectName(QStringLiteral("mnuExit"));
    connect(exitAction, &QAction::triggered, this, &ConfigScreen::saveAndExit);
    outer->setMenuBar(menu);

    auto* boxes = new QGridLayout;
    outer->addLayout(boxes);
    auto addBox = [&](int row, const char* name, const char* labelName, const QString& caption) {
        QLabel* l = makeLabel(this, labelName, caption);
        QLineEdit* e = makeLineEdit(this, name);
        boxes->addWidget(l, row, 0);
        boxes->addWidget(e, row, 1);
        return e;
    };
    auto addFind = [&](int row, const char* name) {
        QPushButton* b = makeButton(this, name, QStringLiteral("find"));
        boxes->addWidget(b, row, 2);
        return b;
    };
    tournamentNameBox_ = addBox(0, "TournamentName", "lblTournament", QStringLiteral("Tournament"));
    tournamentNameBox_->setText(QStringLiteral("Default"));
    resultsFileBox_ = addBox(1, "ResultsPathName", "lblResults", QStringLiteral("Results file"));
    resultsFileBox_->setText(QStringLiteral("Default.txt"));
    QPushButton* findResultsButton = addFind(1, "btnFindResults");
    capturesFolderBox_ = addBox(2, "CapturesPathName", "lblCaptures", QStringLiteral("Captures path"));
    gridFilesFolderBox_ = addBox(3, "SetupFilesPathName", "lblSetupFiles", QStringLiteral("Setup files path"));
    skierNameFileBox_ = addBox(4, "SkierNameFile", "lblSkierNameFile", QStringLiteral("Skier name file"));
    QPushButton* findNamesButton = addFind(4, "btnFindNames");
    connect(findResultsButton, &QPushButton::clicked, this, &ConfigScreen::findResultsFile);
    connect(findNamesButton, &QPushButton::clicked, this, &ConfigScreen::findSkierNameFile);
    connect(tournamentNameBox_, &QLineEdit::textChanged, this, [this](const QString& t) { tournamentName_ = t; });
    connect(resultsFileBox_, &QLineEdit::textChanged, this, &ConfigScreen::resultsFileChanged);
    connect(capturesFolderBox_, &QLineEdit::textChanged, this,
            [this](const QString& t) { station_.settings().PicturesPath = t; });
    connect(gridFilesFolderBox_, &QLineEdit::textChanged, this, [this](const QString& t) {
        station_.settings().SetupFilesPath = t;
        station_.store().save(key::SetupFiles, t);
    });
    tournamentName_ = tournamentNameBox_->text();

    auto* checks = new QGridLayout;
    outer->addLayout(checks);
    barefootCheck_ = named(new QCheckBox(QStringLiteral("Check if barefoot jumping"), this), "Barefoot_box");
    sitSkiCheck_ = named(new QCheckBox(QStringLiteral("Check if Sit Ski"), this), "SitSki_box");
    lineControlCheck_ = named(new QCheckBox(QStringLiteral("Check for line control on"), this), "line_control_check");
    wstimsCheck_ = named(new QCheckBox(QStringLiteral("WSTIMS Interface"), this), "WSTIMS");
    txioCautionLabel_ = makeLabel(this, "TXIOLabel", QStringLiteral("Caution, WSTIMS requires TXIO directory to exist"));
    QLabel* txioLabel = makeLabel(this, "lblTxioPath", QStringLiteral("TXIO directory"));
    txioFolderBox_ = makeLineEdit(this, "TxioPathName");
    txioFindButton_ = makeButton(this, "btnFindTxio", QStringLiteral("find"));
    txioFindButton_->setToolTip(QStringLiteral("Choose the folder of the files exchanged with WSTIMS"));
    checks->addWidget(barefootCheck_, 0, 0);
    checks->addWidget(sitSkiCheck_, 0, 1);
    checks->addWidget(lineControlCheck_, 0, 2);
    checks->addWidget(wstimsCheck_, 1, 0);
    checks->addWidget(txioLabel, 1, 1);
    checks->addWidget(txioFolderBox_, 1, 2);
    checks->addWidget(txioFindButton_, 1, 3);
    checks->addWidget(txioCautionLabel_, 2, 0, 1, 3);
    connect(barefootCheck_, &QCheckBox::clicked, this, &ConfigScreen::applyBarefoot);
    connect(sitSkiCheck_, &QCheckBox::clicked, this, &ConfigScreen::applySitSki);
    connect(lineControlCheck_, &QCheckBox::clicked, this, &ConfigScreen::applyLineControl);
    connect(wstimsCheck_, &QCheckBox::clicked, this, &ConfigScreen::wstimsClicked);
    connect(txioFindButton_, &QPushButton::clicked, this, &ConfigScreen::findTxioFolder);
    connect(txioFolderBox_, &QLineEdit::textChanged, this, &ConfigScreen::txioFolderChanged);

    auto* groups = new QGridLayout;
    outer->addLayout(groups);
    auto* gridframe = frame("gridframe", QStringLiteral("Number of Grids"), this);
    oneGridOption_ = option(gridframe, "Opt1Grid", QStringLiteral("1"));
    twoGridsOption_ = option(gridframe, "Opt2grid", QStringLiteral("2"));
    threeGridsOption_ = option(gridframe, "Opt3grid", QStringLiteral("3"));
    connect(oneGridOption_, &QRadioButton::clicked, this, [this] { setGridCount(1); });
    connect(twoGridsOption_, &QRadioButton::clicked, this, [this] { setGridCount(2); });
    connect(threeGridsOption_, &QRadioButton::clicked, this, [this] { setGridCount(3); });

    auto* direction = frame("Jump_direction", QStringLiteral("Jump Direction"), this);
    leftToRightOption_ = option(direction, "left_to_right_button", QStringLiteral("Jump Left to Right"));
    rightToLeftOption_ = option(direction, "right_to_left_button", QStringLiteral("Jump Right to Left"));
    connect(leftToRightOption_, &QRadioButton::clicked, this, [this] { setJumpDirection(false); });
    connect(rightToLeftOption_, &QRadioButton::clicked, this, [this] { setJumpDirection(true); });

    auto* marker = frame("Frame1", QStringLiteral("Marker Style"), this);
    crossMarkerOption_ = option(marker, "OptCross", QStringLiteral("Cross"));
    circleMarkerOption_ = option(marker, "OptCircle", QStringLiteral("Circle"));
    connect(crossMarkerOption_, &QRadioButton::clicked, this, &ConfigScreen::applyMarkerStyle);
    connect(circleMarkerOption_, &QRadioButton::clicked, this, &ConfigScreen::applyMarkerStyle);

    auto* colors = frame("message_colors", QStringLiteral("Select Message Color"), this);
    whiteColourOption_ = option(colors, "white_color", QStringLiteral("White"));
    blackColourOption_ = option(colors, "black_color", QStringLiteral("Black"));
    yellowColourOption_ = option(colors, "yellow_color", QStringLiteral("Yellow"));
    defaultColourOption_ = option(colors, "default_color", QStringLiteral("Default"));
    connect(whiteColourOption_, &QRadioButton::clicked, this, [this] { chooseMessageColour(kWhite, QStringLiteral("white")); });
    connect(blackColourOption_, &QRadioButton::clicked, this, [this] { chooseMessageColour(kBlack, QStringLiteral("black")); });
    connect(yellowColourOption_, &QRadioButton::clicked, this, [this] { chooseMessageColour(kYellow, QStringLiteral("yellow")); });
    connect(defaultColourOption_, &QRadioButton::clicked, this, &ConfigScreen::chooseDefaultColours);

    auto* pictures = frame("Frame3", QStringLiteral("How to deal with individual contact point pictures"), this);
    askPictureOption_ = option(pictures, "OptPictureAsk", QStringLiteral("Ask if you want to save each time"));
    neverSavePictureOption_ = option(pictures, "OptPictureNoSave", QStringLiteral("Never Save"));
    alwaysSavePictureOption_ = option(pictures, "OptPictureSave", QStringLiteral("Always Save without asking"));
    connect(askPictureOption_, &QRadioButton::clicked, this, [this] { setPictureSaveMode(QStringLiteral("Ask")); });
    connect(neverSavePictureOption_, &QRadioButton::clicked, this, [this] { setPictureSaveMode(QStringLiteral("NoSave")); });
    connect(alwaysSavePictureOption_, &QRadioButton::clicked, this, [this] { setPictureSaveMode(QStringLiteral("Save")); });

    auto* videos = frame("Frame2", QStringLiteral("How  to deal  with captured video files"), this);
    askVideoOption_ = option(videos, "OptVideoAsk", QStringLiteral("Ask if you want to save each time"));
    neverSaveVideoOption_ = option(videos, "OptVideoNoSave", QStringLiteral("Never Save "));
    alwaysSaveVideoOption_ = option(videos, "OptVideoSave", QStringLiteral("Always Save without asking"));
    connect(askVideoOption_, &QRadioButton::clicked, this, [this] { setVideoSaveMode(QStringLiteral("Ask")); });
    connect(neverSaveVideoOption_, &QRadioButton::clicked, this, [this] { setVideoSaveMode(QStringLiteral("NoSave")); });
    connect(alwaysSaveVideoOption_, &QRadioButton::clicked, this, [this] { setVideoSaveMode(QStringLiteral("Save")); });

    groups->addWidget(gridframe, 0, 0);
    groups->addWidget(direction, 0, 1);
    groups->addWidget(marker, 0, 2);
    groups->addWidget(colors, 1, 0);
    groups->addWidget(pictures, 1, 1);
    groups->addWidget(videos, 1, 2);

    auto* loupeRow = new QHBoxLayout;
    outer->addLayout(loupeRow);
    loupeCheck_ = named(new QCheckBox(QStringLiteral("Use Screen Loupe"), this), "chkLoupe");
    QPushButton* restartLoupeButton =
        makeButton(this, "cmdLoupe", QStringLiteral("Restart Screen Loupe if you exited it"), this, &ConfigScreen::restartLoupe);
    loupeRow->addWidget(loupeCheck_);
    loupeRow->addWidget(restartLoupeButton);
    loupeRow->addStretch();
    connect(loupeCheck_, &QCheckBox::clicked, this, &ConfigScreen::applyLoupe);

    txioCautionLabel_->hide();
}

// ---------------------------------------------------------------- load

void ConfigScreen::load()
{
    AppSettings& s = station_.settings();
    SettingsStore& store = station_.store();
    const SettingsStore::Batch batch(store);
    auto* main = qobject_cast<MainScreen*>(station_.existingScreen(screen::MainForm));

    setQuietly(tournamentNameBox_, store.get(key::TournamentName));          // 1
    tournamentName_ = tournamentNameBox_->text();

    QString folder = s.CapturesPath;                                                   // 2
    if (main)
        folder = main->videoFolderText();
    folder = withoutTrailingSeparator(folder.trimmed());
    // Without any folder the name alone is used (the program folder), never the root.
    const QString resultsName = QStringLiteral("JumpMeasurementResults") + dailyNamePart(station_.clock().now())
        + QStringLiteral(".txt");
    setQuietly(resultsFileBox_, folder.isEmpty() ? resultsName : folder + QLatin1Char('/') + resultsName);
    resultsFileChanged(resultsFileBox_->text());

    setQuietly(capturesFolderBox_, s.CapturesPath);                                      // 3
    s.PicturesPath = capturesFolderBox_->text();

    setQuietly(gridFilesFolderBox_, store.get(key::SetupFiles));          // 4
    s.SetupFilesPath = gridFilesFolderBox_->text();
    store.save(key::SetupFiles, s.SetupFilesPath);

    s.PictureExtension = QStringLiteral(".bmp");                                      // 5

    // 6. A label colour of a foreign form counts as none stored.
    const QString color = store.get(key::labelcolor);
    if (color == QLatin1String("white"))
        chooseMessageColour(kWhite, color);
    else if (color == QLatin1String("black"))
        chooseMessageColour(kBlack, color);
    else if (color == QLatin1String("yellow"))
        chooseMessageColour(kYellow, color);
    else {
        chooseDefaultColours();
        if (color != QLatin1String("default"))
            store.save(key::labelcolor, QStringLiteral("default"));
    }

    // 7. Only a stored 2 or 3 means more than one grid; anything else (absent, out of
    // range, not a whole number, not a number) is one grid.
    const double grids = store.getDouble(key::grids, 0);
    setGridCount(grids == 2 ? 2 : grids == 3 ? 3 : 1);

    // 8. Relative paths are resolved against the program folder where they are used, so
    // the process's current folder is left alone.

    applyStoredGrids();                                                                // 9, 10

    setJumpDirection(store.getBool(key::right2left, false));               // 11

    lineControlCheck_->setChecked(!store.getBool(key::boxlineoff, false));   // 12
    applyLineControl();

    const QString type = store.get(key::tournamentType);                // 13
    barefootCheck_->setChecked(type == QLatin1String("barefoot"));
    applyBarefoot();
    sitSkiCheck_->setChecked(type == QLatin1String("sitski"));
    applySitSki();

    // The exchange folder, beside the WSTIMS box: the operator's stored choice unless the
    // station was started with a folder of its own.
    const QString txio = store.get(key::TxioPath);
    const bool txioChangeable = station_.setTxioFolder(txio);
    setQuietly(txioFolderBox_, txioChangeable && !txio.isEmpty() ? txio : station_.txioFolder());
    txioFolderBox_->setReadOnly(!txioChangeable);
    txioFindButton_->setEnabled(txioChangeable);
    txioFolderBox_->setToolTip(txioChangeable
        ? QStringLiteral("Folder of the files exchanged with WSTIMS")
        : QStringLiteral("Set when the station was started (TARVEX_TXIO); it cannot be changed here"));

    wstimsCheck_->setChecked(store.getInt(key::WSTIMS, 0) != 0);              // 14
    applyWstims();

    if (store.getInt(key::Loupe, 0) == 1) {                              // 15
        loupeCheck_->setChecked(true);
        applyLoupe();
    }

    if (MeasureScreen* m = measureScreen())                                                  // 16
        m->hideUnofficialJump();

    // 17. Anything but "cross" is a circle.
    const bool cross = store.get(key::buoymarker) == QLatin1String("cross");
    (cross ? crossMarkerOption_ : circleMarkerOption_)->setChecked(true);
    applyMarkerStyle();

    if (auto* grid = station_.screenAs<GridSetupScreen>(screen::Grid_Setup))                // 18
        grid->hideLockedSign();

    // 19, 20. A stored mode of a foreign form counts as none stored: Ask.
    auto saveMode = [&store](const QString& name) {
        const QString m = store.get(name);
        const bool known = m == QLatin1String("Save") || m == QLatin1String("NoSave") || m == QLatin1String("Ask");
        return known ? m : QString();
    };
    s.PictureSaveMode = saveMode(key::PictureSave);
    setPictureSaveMode(s.PictureSaveMode.isEmpty() ? QStringLiteral("Ask") : s.PictureSaveMode);
    s.VideoSaveMode = saveMode(key::VideoSave);
    setVideoSaveMode(s.VideoSaveMode.isEmpty() ? QStringLiteral("Ask") : s.VideoSaveMode);

    // A figure of a foreign form, not above zero or beyond reason reads as the default.
    const double click = store.getDouble(key::clickUncertaintyPixels, 0.5);
    s.ClickUncertaintyPixels = click > 0 && click <= 20 ? click : 0.5;
    const double survey = store.getDouble(key::surveyUncertaintyMetres, 0.01);
    s.SurveyUncertaintyMetres = survey > 0 && survey <= 1 ? survey : 0.01;
}

void ConfigScreen::applyStoredGrids()
{
    GridState& g = station_.grids();
    SettingsStore& store = station_.store();
    auto* main = qobject_cast<MainScreen*>(station_.existingScreen(screen::MainForm));

    QString file[4];
    for (int n = 1; n <= 3; ++n) {
        file[n] = fromProgramFolder(store.get(key::gridFile(n)));
        if (main)
            main->setGridStatus(n, n <= g.grids_in_use, FileIsPresent(file[n]));
    }

    removeStaleTemporaries(station_.settings().SetupFilesPath, {}, {QStringLiteral(".ipt")}, station_.startedAt());
    // Side files are replaced beside the videos and the saved pictures.
    removeStaleTemporaries(station_.settings().CapturesPath, {}, {QStringLiteral(".info")}, station_.startedAt());
    removeStaleTemporaries(station_.settings().PicturesPath, {}, {QStringLiteral(".info")}, station_.startedAt());

    // The grid setup screen's load resets the working state, so it must exist before the
    // first grid is applied.
    auto* setup = station_.screenAs<GridSetupScreen>(screen::Grid_Setup);
    if (!setup)
        return;
    for (int n = 3; n >= 1; --n) {
        if (!FileIsPresent(file[n]))
            continue;
        g.current_grid = n;
        setup->applyGridFileToGrid(n, file[n]);
    }
    // Loading shows a grid's trio whatever the grid count; the count decides what is seen.
    // A file that exists but could not be read leaves its grid not set up, and says so.
    if (main)
        for (int n = 1; n <= 3; ++n)
            main->setGridStatus(n, n <= g.grids_in_use, g.grid_set_up[n]);
}

// ---------------------------------------------------------------- other screens

MeasureScreen* ConfigScreen::measureScreen()
{
    return station_.canCreate(screen::Measure) ? station_.screenAs<MeasureScreen>(screen::Measure) : nullptr;
}

void ConfigScreen::setBarefootIndicator(bool visible, const QString& text)
{
    if (MeasureScreen* m = measureScreen())
        m->setTournamentIndicator(visible, text);
}

void ConfigScreen::set_colors()
{
    if (MeasureScreen* m = measureScreen())
        m->setMessageColour(colourFromBgr(station_.settings().MessageColor));
}

// ---------------------------------------------------------------- actions

void ConfigScreen::applyBarefoot()
{
    AppSettings& s = station_.settings();
    if (barefootCheck_->isChecked()) {
        s.BarefootMode = true;
        setBarefootIndicator(true, QStringLiteral("Barefoot Jump"));
        station_.store().save(key::tournamentType, QStringLiteral("barefoot"));
        if (sitSkiCheck_->isChecked()) {
            sitSkiCheck_->setChecked(false);
            applySitSki();
        }
    } else {
        s.BarefootMode = false;
        if (!s.SitSkiMode) {
            setBarefootIndicator(false);
            station_.store().save(key::tournamentType, QStringLiteral("normal"));
        }
    }
}

void ConfigScreen::applySitSki()
{
    AppSettings& s = station_.settings();
    if (sitSkiCheck_->isChecked()) {
        s.SitSkiMode = true;
        setBarefootIndicator(true, QStringLiteral("Sit Ski Jump"));
        station_.store().save(key::tournamentType, QStringLiteral("sitski"));
        if (barefootCheck_->isChecked()) {
            barefootCheck_->setChecked(false);
            applyBarefoot();
        }
    } else {
        s.SitSkiMode = false;
        if (!s.BarefootMode) {
            setBarefootIndicator(false);
            station_.store().save(key::tournamentType, QStringLiteral("normal"));
        }
    }
}

void ConfigScreen::setGridCount(int count)
{
    QRadioButton* options[] = {oneGridOption_, twoGridsOption_, threeGridsOption_};
    options[count - 1]->setChecked(true);
    station_.grids().grids_in_use = count;
    station_.store().save(key::grids, count);
    if (auto* main = qobject_cast<MainScreen*>(station_.existingScreen(screen::MainForm)))
        for (int n = 2; n <= 3; ++n)
            main->setGridStatus(n, n <= count, main->gridStatusLoaded(n));
}

void ConfigScreen::setJumpDirection(bool rightToLeft)
{
    (rightToLeft ? rightToLeftOption_ : leftToRightOption_)->setChecked(true);
    station_.settings().RightToLeft = rightToLeft;
    station_.store().saveBool(key::right2left, rightToLeft);
}

void ConfigScreen::applyLineControl()
{
    AppSettings& s = station_.settings();
    s.LineControlOff = !lineControlCheck_->isChecked();
    station_.store().saveBool(key::boxlineoff, s.LineControlOff);
}

void ConfigScreen::applyMarkerStyle()
{
    const QString style = circleMarkerOption_->isChecked() ? QStringLiteral("circle") : QStringLiteral("cross");
    station_.store().save(key::buoymarker, style);
    station_.settings().MarkerStyle = style;
}

void ConfigScreen::chooseMessageColour(long color, const QString& name)
{
    (color == kWhite ? whiteColourOption_ : color == kBlack ? blackColourOption_ : yellowColourOption_)->setChecked(true);
    station_.settings().MessageColor = color;
    set_colors();
    station_.settings().MessageColorName = name;
}

void ConfigScreen::chooseDefaultColours()
{
    defaultColourOption_->setChecked(true);
    if (MeasureScreen* m = measureScreen())
        m->setDefaultColours();
    station_.settings().MessageColorName = QStringLiteral("default");
}

void ConfigScreen::setPictureSaveMode(const QString& mode)
{
    (mode == QLatin1String("Save") ? alwaysSavePictureOption_ : mode == QLatin1String("NoSave") ? neverSavePictureOption_ : askPictureOption_)
        ->setChecked(true);
    // Takes effect at the next start: the running station keeps the mode read at load.
    station_.store().save(key::PictureSave, mode);
}

void ConfigScreen::setVideoSaveMode(const QString& mode)
{
    (mode == QLatin1String("Save") ? alwaysSaveVideoOption_ : mode == QLatin1String("NoSave") ? neverSaveVideoOption_ : askVideoOption_)
        ->setChecked(true);
    station_.store().save(key::VideoSave, mode);
}

void ConfigScreen::applyWstims()
{
    const bool on = wstimsCheck_->isChecked();
    txioCautionLabel_->setVisible(on);
    station_.settings().WstimsEnabled = on;
    station_.store().save(key::WSTIMS, on ? 1 : 0);
}

void ConfigScreen::wstimsClicked()
{
    // A WSTIMS station whose exchange folder takes no file would lose every result it sends.
    if (wstimsCheck_->isChecked() && !folderUsable(station_.txioFolder(), QStringLiteral("The TXIO directory")))
        wstimsCheck_->setChecked(false);
    applyWstims();
}

bool ConfigScreen::folderUsable(const QString& folder, const QString& what)
{
    const QString title = windowTitle();
    switch (acceptWritableFolder(station_.prompter(), folder, what, title)) {
    case FolderAnswer::Usable: return true;
    case FolderAnswer::Refused: return false;
    case FolderAnswer::NotCreated: break;
    }
    station_.prompter().message(QStringLiteral("%1 %2 does not exist.").arg(what, QDir::toNativeSeparators(folder)),
                                title, Icon::Exclamation);
    return false;
}

void ConfigScreen::findTxioFolder()
{
    FileRequest r;
    r.initialFolder = station_.txioFolder();
    r.title = QStringLiteral("TXIO directory");
    const auto chosen = station_.prompter().chooseFolder(r);
    if (!chosen || chosen->isEmpty())
        return;
    txioFolderBox_->setText(QDir::fromNativeSeparators(*chosen));
    if (wstimsCheck_->isChecked())
        (void)folderUsable(station_.txioFolder(), QStringLiteral("The TXIO directory"));
}

void ConfigScreen::txioFolderChanged(const QString& text)
{
    if (txioFolderBox_->isReadOnly())
        return;
    const QString folder = withoutTrailingSeparator(text.trimmed());
    station_.store().save(key::TxioPath, folder);
    station_.setTxioFolder(folder);
}

void ConfigScreen::applyLoupe()
{
    if (loupeCheck_->isChecked())
        startLoupe();
    station_.store().save(key::Loupe, loupeCheck_->isChecked() ? 1 : 0);
}

void ConfigScreen::restartLoupe() { startLoupe(); }

void ConfigScreen::startLoupe()
{
    const QString program = loupeProgram();
    const QString title = QStringLiteral("Screen Loupe");
    if (!FileIsPresent(program)) {
        station_.prompter().message(
            QStringLiteral("The screen magnifier %1 was not found. Install it there or untick \"Use Screen Loupe\".")
                .arg(QDir::toNativeSeparators(program)),
            title, Icon::Exclamation);
        return;
    }
    if (!QProcess::startDetached(program, {}, station_.programFolder()))
        station_.prompter().message(
            QStringLiteral("The screen magnifier %1 could not be started.").arg(QDir::toNativeSeparators(program)),
            title, Icon::Exclamation);
}

void ConfigScreen::resultsFileChanged(const QString& text)
{
    // Leading blanks are not part of a file name; the results display drops them as well.
    station_.settings().ResultsFilePath = fromProgramFolder(text.trimmed());
    if (text.isEmpty())
        station_.prompter().message(QStringLiteral("Enter valid path and filename for results file"));
}

std::optional<QString> ConfigScreen::findTextFile(const QString& title)
{
    FileRequest r;
    r.initialFolder = station_.programFolder();
    r.filter = kFindFilter;
    r.filterIndex = 2;
    r.title = title;
    const auto chosen = station_.prompter().openFile(r);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    return chosen;
}

void ConfigScreen::findResultsFile()
{
    if (const auto chosen = findTextFile(QStringLiteral("Results file")))
        resultsFileBox_->setText(*chosen);
}

void ConfigScreen::findSkierNameFile()
{
    if (const auto chosen = findTextFile(QStringLiteral("Skier name file")))
        skierNameFileBox_->setText(*chosen);
}

// ---------------------------------------------------------------- leaving

void ConfigScreen::saveAndExit()
{
    AppSettings& s = station_.settings();
    SettingsStore& store = station_.store();
    // The screen stays up until the folders written during the tournament can take a file.
    const QString pictureFolder = withoutTrailingSeparator(s.PicturesPath.trimmed());
    if (!pictureFolder.isEmpty() && !folderUsable(pictureFolder, QStringLiteral("The captures path")))
        return;
    if (wstimsCheck_->isChecked() && !folderUsable(station_.txioFolder(), QStringLiteral("The TXIO directory")))
        return;
    {
        const SettingsStore::Batch batch(store);
        store.save(key::TournamentName, tournamentNameBox_->text());        // 1
        store.save(key::labelcolor, s.MessageColorName);
    }
    if (!store.lastWriteOk())
        station_.prompter().message(
            QStringLiteral("The settings could not be saved in %1; this configuration will be lost when Tarvex ends.")
                .arg(QDir::toNativeSeparators(store.fileName())),
            QStringLiteral("Settings"), Icon::Exclamation);

    // 2. An empty folder stays empty: a lone separator would send pictures to the root.
    const QString pictures = s.PicturesPath;
    const QString kept = pictures.trimmed();
    if (!kept.isEmpty() && !kept.endsWith(QLatin1Char('/')) && !kept.endsWith(QLatin1Char('\\'))) {
        QString t = pictures;
        while (!t.isEmpty() && t.back().isSpace())
            t.chop(1);
        capturesFolderBox_->setText(t + QLatin1Char('/'));
    }

    hide();                                                                            // 3
    appendConfigurationLine();                                                         // 4
    loadSkierNames();                                                                  // 5
    if (MeasureScreen* m = measureScreen())                                                  // 6
        m->setNameButtonVisible(wstimsCheck_->isChecked());
    if (!station_.hasQuit())                                                           // 7
        station_.show(screen::MainForm, this);
}

void ConfigScreen::appendConfigurationLine()
{
    const QString path = station_.settings().ResultsFilePath;
    const QString title = QStringLiteral("Results File");
    if (path.isEmpty()) {
        station_.prompter().message(
            QStringLiteral("The configuration was not recorded: no results file is chosen. "
                           "Enter one in the Results file box of the configuration screen."),
            title, Icon::Exclamation);
        return;
    }
    ListWriter line;
    line.text(configurationLine(station_.clock().now(), tournamentName_));
    if (const auto failed = appendDurably(path, line.bytes()))
        station_.prompter().message(QStringLiteral("The configuration could not be recorded in the results file %1: %2")
                                        .arg(QDir::toNativeSeparators(path), *failed),
                                    title, Icon::Exclamation);
}

void ConfigScreen::loadSkierNames()
{
    const QString box = skierNameFileBox_->text();
    if (box.isEmpty())
        return;
    const SkierNameFileRead read = readSkierNameFile(fromProgramFolder(box.trimmed()));
    if (read.opened) {
        skierNames_ = read.names;
        if (MeasureScreen* m = measureScreen())
            m->setSkierNames(skierNames_);
        emit skierNamesLoaded(skierNames_);
    }
    if (!read.opened || read.names.isEmpty())
        station_.prompter().message(QStringLiteral("Names not loaded, check file name and path"));
}

void ConfigScreen::closeEvent(QCloseEvent* e)
{
    // Closing the window frame leaves the screen as "E&xit and Save Parameters" does, so
    // the main screen always comes back.
    if (station_.hasQuit()) {
        e->accept();
        return;
    }
    e->ignore();
    saveAndExit();
}

} // namespace tarvex
