#include "app/config_screen.h"
#include "measure/measure_screen.h"
#include "station/screen_names.h"
#include "common/colours.h"
#include "station/settings_keys.h"
#include "app/main_screen.h"
#include "measure/skier_name_list.h"
#include "common/list_text.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "grid/grid_setup_screen.h"
#include "media/file_helpers.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tarvex {

namespace {

const QString kFindFilter = QStringLiteral("All Files (*.*)|*.*|Text Files (*.TXT)|*.TXT|Parameter Files (*.ipt)|*.ipt|");

template <typename T>
T* named(T* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

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
    menu_ = new QMenuBar(this);
    mnuExit = menu_->addAction(QStringLiteral("E&xit and Save Parameters"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &ConfigScreen::mnuExit_Click);
    outer->setMenuBar(menu_);

    auto* boxes = new QGridLayout;
    outer->addLayout(boxes);
    auto addBox = [&](int row, const char* name, const char* labelName, const QString& caption) {
        auto* l = named(new QLabel(caption, this), labelName);
        auto* e = named(new QLineEdit(this), name);
        boxes->addWidget(l, row, 0);
        boxes->addWidget(e, row, 1);
        return e;
    };
    auto addFind = [&](int row, const char* name) {
        auto* b = named(new QPushButton(QStringLiteral("find"), this), name);
        boxes->addWidget(b, row, 2);
        return b;
    };
    TournamentName = addBox(0, "TournamentName", "lblTournament", QStringLiteral("Tournament"));
    TournamentName->setText(QStringLiteral("Default"));
    ResultsPathName = addBox(1, "ResultsPathName", "lblResults", QStringLiteral("Results file"));
    ResultsPathName->setText(QStringLiteral("Default.txt"));
    auto* btnFindResults = addFind(1, "btnFindResults");
    CapturesPathName = addBox(2, "CapturesPathName", "lblCaptures", QStringLiteral("Captures path"));
    SetupFilesPathName = addBox(3, "SetupFilesPathName", "lblSetupFiles", QStringLiteral("Setup files path"));
    SkierNameFile = addBox(4, "SkierNameFile", "lblSkierNameFile", QStringLiteral("Skier name file"));
    auto* btnFindNames = addFind(4, "btnFindNames");
    connect(btnFindResults, &QPushButton::clicked, this, &ConfigScreen::btnFindResults_Click);
    connect(btnFindNames, &QPushButton::clicked, this, &ConfigScreen::btnFindNames_Click);
    connect(TournamentName, &QLineEdit::textChanged, this, [this](const QString& t) { tournamentName_ = t; });
    connect(ResultsPathName, &QLineEdit::textChanged, this, &ConfigScreen::ResultsPathName_Change);
    connect(CapturesPathName, &QLineEdit::textChanged, this,
            [this](const QString& t) { station_.settings().PicturesPath = t; });
    connect(SetupFilesPathName, &QLineEdit::textChanged, this, [this](const QString& t) {
        station_.settings().SetupFilesPath = t;
        station_.store().save(key::SetupFiles, t);
    });
    tournamentName_ = TournamentName->text();

    auto* checks = new QGridLayout;
    outer->addLayout(checks);
    Barefoot_box = named(new QCheckBox(QStringLiteral("Check if barefoot jumping"), this), "Barefoot_box");
    SitSki_box = named(new QCheckBox(QStringLiteral("Check if Sit Ski"), this), "SitSki_box");
    line_control_check = named(new QCheckBox(QStringLiteral("Check for line control on"), this), "line_control_check");
    WSTIMS = named(new QCheckBox(QStringLiteral("WSTIMS Interface"), this), "WSTIMS");
    TXIOLabel = named(new QLabel(QStringLiteral("Caution, WSTIMS requires TXIO directory to exist"), this), "TXIOLabel");
    auto* txioLabel = named(new QLabel(QStringLiteral("TXIO directory"), this), "lblTxioPath");
    TxioPathName = named(new QLineEdit(this), "TxioPathName");
    checks->addWidget(Barefoot_box, 0, 0);
    checks->addWidget(SitSki_box, 0, 1);
    checks->addWidget(line_control_check, 0, 2);
    checks->addWidget(WSTIMS, 1, 0);
    checks->addWidget(txioLabel, 1, 1);
    checks->addWidget(TxioPathName, 1, 2);
    checks->addWidget(TXIOLabel, 2, 0, 1, 3);
    connect(Barefoot_box, &QCheckBox::clicked, this, &ConfigScreen::Barefoot_box_Click);
    connect(SitSki_box, &QCheckBox::clicked, this, &ConfigScreen::SitSki_box_Click);
    connect(line_control_check, &QCheckBox::clicked, this, &ConfigScreen::line_control_check_Click);
    connect(WSTIMS, &QCheckBox::clicked, this, &ConfigScreen::WSTIMS_Click);
    connect(TxioPathName, &QLineEdit::textChanged, this, &ConfigScreen::TxioPathName_Change);

    auto* groups = new QGridLayout;
    outer->addLayout(groups);
    auto* gridframe = frame("gridframe", QStringLiteral("Number of Grids"), this);
    Opt1Grid = option(gridframe, "Opt1Grid", QStringLiteral("1"));
    Opt2grid = option(gridframe, "Opt2grid", QStringLiteral("2"));
    Opt3grid = option(gridframe, "Opt3grid", QStringLiteral("3"));
    connect(Opt1Grid, &QRadioButton::clicked, this, [this] { gridOption(1); });
    connect(Opt2grid, &QRadioButton::clicked, this, [this] { gridOption(2); });
    connect(Opt3grid, &QRadioButton::clicked, this, [this] { gridOption(3); });

    auto* direction = frame("Jump_direction", QStringLiteral("Jump Direction"), this);
    left_to_right_button = option(direction, "left_to_right_button", QStringLiteral("Jump Left to Right"));
    right_to_left_button = option(direction, "right_to_left_button", QStringLiteral("Jump Right to Left"));
    connect(left_to_right_button, &QRadioButton::clicked, this, [this] { jumpDirection(false); });
    connect(right_to_left_button, &QRadioButton::clicked, this, [this] { jumpDirection(true); });

    auto* marker = frame("Frame1", QStringLiteral("Marker Style"), this);
    OptCross = option(marker, "OptCross", QStringLiteral("Cross"));
    OptCircle = option(marker, "OptCircle", QStringLiteral("Circle"));
    connect(OptCross, &QRadioButton::clicked, this, &ConfigScreen::markerOption);
    connect(OptCircle, &QRadioButton::clicked, this, &ConfigScreen::markerOption);

    auto* colors = frame("message_colors", QStringLiteral("Select Message Color"), this);
    white_color = option(colors, "white_color", QStringLiteral("White"));
    black_color = option(colors, "black_color", QStringLiteral("Black"));
    yellow_color = option(colors, "yellow_color", QStringLiteral("Yellow"));
    default_color = option(colors, "default_color", QStringLiteral("Default"));
    connect(white_color, &QRadioButton::clicked, this, [this] { colorOption(kWhite, QStringLiteral("white")); });
    connect(black_color, &QRadioButton::clicked, this, [this] { colorOption(kBlack, QStringLiteral("black")); });
    connect(yellow_color, &QRadioButton::clicked, this, [this] { colorOption(kYellow, QStringLiteral("yellow")); });
    connect(default_color, &QRadioButton::clicked, this, &ConfigScreen::default_color_Click);

    auto* pictures = frame("Frame3", QStringLiteral("How to deal with individual contact point pictures"), this);
    OptPictureAsk = option(pictures, "OptPictureAsk", QStringLiteral("Ask if you want to save each time"));
    OptPictureNoSave = option(pictures, "OptPictureNoSave", QStringLiteral("Never Save"));
    OptPictureSave = option(pictures, "OptPictureSave", QStringLiteral("Always Save without asking"));
    connect(OptPictureAsk, &QRadioButton::clicked, this, [this] { pictureOption(QStringLiteral("Ask")); });
    connect(OptPictureNoSave, &QRadioButton::clicked, this, [this] { pictureOption(QStringLiteral("NoSave")); });
    connect(OptPictureSave, &QRadioButton::clicked, this, [this] { pictureOption(QStringLiteral("Save")); });

    auto* videos = frame("Frame2", QStringLiteral("How  to deal  with captured video files"), this);
    OptVideoAsk = option(videos, "OptVideoAsk", QStringLiteral("Ask if you want to save each time"));
    OptVideoNoSave = option(videos, "OptVideoNoSave", QStringLiteral("Never Save "));
    OptVideoSave = option(videos, "OptVideoSave", QStringLiteral("Always Save without asking"));
    connect(OptVideoAsk, &QRadioButton::clicked, this, [this] { videoOption(QStringLiteral("Ask")); });
    connect(OptVideoNoSave, &QRadioButton::clicked, this, [this] { videoOption(QStringLiteral("NoSave")); });
    connect(OptVideoSave, &QRadioButton::clicked, this, [this] { videoOption(QStringLiteral("Save")); });

    groups->addWidget(gridframe, 0, 0);
    groups->addWidget(direction, 0, 1);
    groups->addWidget(marker, 0, 2);
    groups->addWidget(colors, 1, 0);
    groups->addWidget(pictures, 1, 1);
    groups->addWidget(videos, 1, 2);

    auto* loupeRow = new QHBoxLayout;
    outer->addLayout(loupeRow);
    chkLoupe = named(new QCheckBox(QStringLiteral("Use Screen Loupe"), this), "chkLoupe");
    auto* cmdLoupe = named(new QPushButton(QStringLiteral("Restart Screen Loupe if you exited it"), this), "cmdLoupe");
    loupeRow->addWidget(chkLoupe);
    loupeRow->addWidget(cmdLoupe);
    loupeRow->addStretch();
    connect(chkLoupe, &QCheckBox::clicked, this, &ConfigScreen::chkLoupe_Click);
    connect(cmdLoupe, &QPushButton::clicked, this, &ConfigScreen::cmdLoupe_Click);

    TXIOLabel->hide();
}

// ---------------------------------------------------------------- load

void ConfigScreen::load()
{
    AppSettings& s = station_.settings();
    SettingsStore& store = station_.store();
    const SettingsStore::Batch batch(store);
    auto* main = qobject_cast<MainScreen*>(station_.existingScreen(screen::MainForm));

    setQuietly(TournamentName, store.get(key::TournamentName));          // 1
    tournamentName_ = TournamentName->text();

    QString folder = s.CapturesPath;                                                   // 2
    if (main)
        folder = main->videoFolderText();
    folder = withoutTrailingSeparator(folder.trimmed());
    // Without any folder the name alone is used (the program folder), never the root.
    const QString resultsName = QStringLiteral("JumpMeasurementResults") + dailyNamePart(station_.clock().now())
        + QStringLiteral(".txt");
    setQuietly(ResultsPathName, folder.isEmpty() ? resultsName : folder + QLatin1Char('/') + resultsName);
    ResultsPathName_Change(ResultsPathName->text());

    setQuietly(CapturesPathName, s.CapturesPath);                                      // 3
    s.PicturesPath = CapturesPathName->text();

    setQuietly(SetupFilesPathName, store.get(key::SetupFiles));          // 4
    s.SetupFilesPath = SetupFilesPathName->text();
    store.save(key::SetupFiles, s.SetupFilesPath);

    s.PictureExtension = QStringLiteral(".bmp");                                      // 5

    // 6. A label colour of a foreign form counts as none stored.
    const QString color = store.get(key::labelcolor);
    if (color == QLatin1String("white"))
        colorOption(kWhite, color);
    else if (color == QLatin1String("black"))
        colorOption(kBlack, color);
    else if (color == QLatin1String("yellow"))
        colorOption(kYellow, color);
    else {
        default_color_Click();
        if (color != QLatin1String("default"))
            store.save(key::labelcolor, QStringLiteral("default"));
    }

    // 7. Only a stored 2 or 3 means more than one grid; anything else (absent, out of
    // range, not a whole number, not a number) is one grid.
    const double grids = store.getDouble(key::grids, 0);
    gridOption(grids == 2 ? 2 : grids == 3 ? 3 : 1);

    // 8. Relative paths are resolved against the program folder where they are used, so
    // the process's current folder is left alone.

    applyStoredGrids();                                                                // 9, 10

    jumpDirection(store.getBool(key::right2left, false));               // 11

    line_control_check->setChecked(!store.getBool(key::boxlineoff, false));   // 12
    line_control_check_Click();

    const QString type = store.get(key::tournamentType);                // 13
    Barefoot_box->setChecked(type == QLatin1String("barefoot"));
    Barefoot_box_Click();
    SitSki_box->setChecked(type == QLatin1String("sitski"));
    SitSki_box_Click();

    // The exchange folder, beside the WSTIMS box: the operator's stored choice unless the
    // station was started with a folder of its own.
    const QString txio = store.get(key::TxioPath);
    const bool txioChangeable = station_.setTxioFolder(txio);
    setQuietly(TxioPathName, txioChangeable && !txio.isEmpty() ? txio : station_.txioFolder());
    TxioPathName->setReadOnly(!txioChangeable);
    TxioPathName->setToolTip(txioChangeable
        ? QStringLiteral("Folder of the files exchanged with WSTIMS")
        : QStringLiteral("Set when the station was started (TARVEX_TXIO); it cannot be changed here"));

    WSTIMS->setChecked(store.getInt(key::WSTIMS, 0) != 0);              // 14
    WSTIMS_Click();

    if (store.getInt(key::Loupe, 0) == 1) {                              // 15
        chkLoupe->setChecked(true);
        chkLoupe_Click();
    }

    if (MeasureScreen* m = measureScreen())                                                  // 16
        m->hideUnofficialJump();

    // 17. Anything but "cross" is a circle.
    const bool cross = store.get(key::buoymarker) == QLatin1String("cross");
    (cross ? OptCross : OptCircle)->setChecked(true);
    markerOption();

    if (auto* grid = station_.screenAs<GridSetupScreen>(screen::Grid_Setup))                // 18
        grid->hideLockedSign();

    // 19, 20. A stored mode of a foreign form counts as none stored: Ask.
    auto saveMode = [&store](const QString& name) {
        const QString m = store.get(name);
        const bool known = m == QLatin1String("Save") || m == QLatin1String("NoSave") || m == QLatin1String("Ask");
        return known ? m : QString();
    };
    s.PictureSaveMode = saveMode(key::PictureSave);
    pictureOption(s.PictureSaveMode.isEmpty() ? QStringLiteral("Ask") : s.PictureSaveMode);
    s.VideoSaveMode = saveMode(key::VideoSave);
    videoOption(s.VideoSaveMode.isEmpty() ? QStringLiteral("Ask") : s.VideoSaveMode);
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

void ConfigScreen::Barefoot_box_Click()
{
    AppSettings& s = station_.settings();
    if (Barefoot_box->isChecked()) {
        s.BarefootMode = true;
        setBarefootIndicator(true, QStringLiteral("Barefoot Jump"));
        station_.store().save(key::tournamentType, QStringLiteral("barefoot"));
        if (SitSki_box->isChecked()) {
            SitSki_box->setChecked(false);
            SitSki_box_Click();
        }
    } else {
        s.BarefootMode = false;
        if (!s.SitSkiMode) {
            setBarefootIndicator(false);
            station_.store().save(key::tournamentType, QStringLiteral("normal"));
        }
    }
}

void ConfigScreen::SitSki_box_Click()
{
    AppSettings& s = station_.settings();
    if (SitSki_box->isChecked()) {
        s.SitSkiMode = true;
        setBarefootIndicator(true, QStringLiteral("Sit Ski Jump"));
        station_.store().save(key::tournamentType, QStringLiteral("sitski"));
        if (Barefoot_box->isChecked()) {
            Barefoot_box->setChecked(false);
            Barefoot_box_Click();
        }
    } else {
        s.SitSkiMode = false;
        if (!s.BarefootMode) {
            setBarefootIndicator(false);
            station_.store().save(key::tournamentType, QStringLiteral("normal"));
        }
    }
}

void ConfigScreen::gridOption(int count)
{
    QRadioButton* options[] = {Opt1Grid, Opt2grid, Opt3grid};
    options[count - 1]->setChecked(true);
    station_.grids().grids_in_use = count;
    station_.store().save(key::grids, count);
    if (auto* main = qobject_cast<MainScreen*>(station_.existingScreen(screen::MainForm)))
        for (int n = 2; n <= 3; ++n)
            main->setGridStatus(n, n <= count, main->gridStatusLoaded(n));
}

void ConfigScreen::jumpDirection(bool rightToLeft)
{
    (rightToLeft ? right_to_left_button : left_to_right_button)->setChecked(true);
    station_.settings().RightToLeft = rightToLeft;
    station_.store().saveBool(key::right2left, rightToLeft);
}

void ConfigScreen::line_control_check_Click()
{
    AppSettings& s = station_.settings();
    s.LineControlOff = !line_control_check->isChecked();
    station_.store().saveBool(key::boxlineoff, s.LineControlOff);
}

void ConfigScreen::markerOption()
{
    const QString style = OptCircle->isChecked() ? QStringLiteral("circle") : QStringLiteral("cross");
    station_.store().save(key::buoymarker, style);
    station_.settings().MarkerStyle = style;
}

void ConfigScreen::colorOption(long color, const QString& name)
{
    (color == kWhite ? white_color : color == kBlack ? black_color : yellow_color)->setChecked(true);
    station_.settings().MessageColor = color;
    set_colors();
    station_.settings().MessageColorName = name;
}

void ConfigScreen::default_color_Click()
{
    default_color->setChecked(true);
    if (MeasureScreen* m = measureScreen())
        m->setDefaultColours();
    station_.settings().MessageColorName = QStringLiteral("default");
}

void ConfigScreen::pictureOption(const QString& mode)
{
    (mode == QLatin1String("Save") ? OptPictureSave : mode == QLatin1String("NoSave") ? OptPictureNoSave : OptPictureAsk)
        ->setChecked(true);
    // Takes effect at the next start: the running station keeps the mode read at load.
    station_.store().save(key::PictureSave, mode);
}

void ConfigScreen::videoOption(const QString& mode)
{
    (mode == QLatin1String("Save") ? OptVideoSave : mode == QLatin1String("NoSave") ? OptVideoNoSave : OptVideoAsk)
        ->setChecked(true);
    station_.store().save(key::VideoSave, mode);
}

void ConfigScreen::WSTIMS_Click()
{
    const bool on = WSTIMS->isChecked();
    TXIOLabel->setVisible(on);
    station_.settings().WstimsEnabled = on;
    station_.store().save(key::WSTIMS, on ? 1 : 0);
}

void ConfigScreen::TxioPathName_Change(const QString& text)
{
    if (TxioPathName->isReadOnly())
        return;
    const QString folder = withoutTrailingSeparator(text.trimmed());
    station_.store().save(key::TxioPath, folder);
    station_.setTxioFolder(folder);
}

void ConfigScreen::chkLoupe_Click()
{
    if (chkLoupe->isChecked())
        startLoupe();
    station_.store().save(key::Loupe, chkLoupe->isChecked() ? 1 : 0);
}

void ConfigScreen::cmdLoupe_Click() { startLoupe(); }

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

void ConfigScreen::ResultsPathName_Change(const QString& text)
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

void ConfigScreen::btnFindResults_Click()
{
    if (const auto chosen = findTextFile(QStringLiteral("Results file")))
        ResultsPathName->setText(*chosen);
}

void ConfigScreen::btnFindNames_Click()
{
    if (const auto chosen = findTextFile(QStringLiteral("Skier name file")))
        SkierNameFile->setText(*chosen);
}

// ---------------------------------------------------------------- leaving

void ConfigScreen::mnuExit_Click()
{
    AppSettings& s = station_.settings();
    SettingsStore& store = station_.store();
    {
        const SettingsStore::Batch batch(store);
        store.save(key::TournamentName, TournamentName->text());        // 1
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
        CapturesPathName->setText(t + QLatin1Char('/'));
    }

    hide();                                                                            // 3
    appendConfigurationLine();                                                         // 4
    loadSkierNames();                                                                  // 5
    if (MeasureScreen* m = measureScreen())                                                  // 6
        m->setNameButtonVisible(WSTIMS->isChecked());
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
    const QString box = SkierNameFile->text();
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
    mnuExit_Click();
}

} // namespace tarvex
