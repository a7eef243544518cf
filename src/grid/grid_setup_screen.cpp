#include "grid/grid_setup_screen.h"
#include "station/screen_names.h"
#include "common/twips.h"
#include "common/colours.h"
#include "station/settings_keys.h"

#include "common/list_text.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "grid/accuracy.h"
#include "grid/grid_file.h"
#include "media/file_helpers.h"
#include "widgets/controls.h"
#include "widgets/drag_handle.h"
#include "widgets/nudge_pad.h"
#include "widgets/picture_canvas.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QKeyEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QScopedValueRollback>
#include <algorithm>
#include <cmath>

namespace tarvex {

const QString GridSetupScreen::kInvalidPathText = QStringLiteral("Invalid path, change in configuration screen");
const QString GridSetupScreen::kNoPictureForCheckText = QStringLiteral("Load the camera's picture to check the grid");
const QString GridSetupScreen::kMisplacedText = QStringLiteral("likely misplaced or mis-surveyed");

namespace {

const QString kAuto = QStringLiteral("auto");
const QString kInput = QStringLiteral("input");
const QString kJumpX = QStringLiteral("jump x");
const QString kJumpY = QStringLiteral("jump y");
const QString kNoFile = QStringLiteral("No File");
const QString kIncompleteIcon = QStringLiteral("msgbox03.ico");
const QString kCompleteIcon = QStringLiteral("face02.ico");
const QString kGridFileFilter =
    QStringLiteral("All Files (*.*)|*.*|Text Files (*.TXT)|*.TXT|Parameter Files (*.IPT)|*.IPT|");

// Erasing reaches the scroll bar's maximum so a marker drawn at any size is wiped.
constexpr int kCrossSizeMin = 15;
constexpr int kCrossSizeMax = 105;
constexpr int kCrossSizeInitial = 90;

QString gridCaption(int n) { return QStringLiteral("Grid %1").arg(n); }

// Columns of the check-point table.
enum CheckPointColumn { ColName, ColSurveyX, ColSurveyY, ColPictureX, ColPictureY, ColResidual, ColLeaveOneOut, ColNote,
                        ColumnCount };
const QString kNoFitText = QStringLiteral("Complete the grid to see how well its points agree");
const QString kLensNeedsPointsText =
    QStringLiteral("The lens can be corrected from six points: add check points until there are two or more");

// A point added but not yet placed or surveyed holds NaN there, so it can never pass for a
// point at 0.
bool placed(const CheckPoint& c) { return std::isfinite(c.screen_x) && std::isfinite(c.screen_y); }
bool surveyed(const CheckPoint& c) { return std::isfinite(c.survey_x) && std::isfinite(c.survey_y); }

QString centimetres(double metres) { return QString::number(metres * 100, 'f', 1); }

QColor agreementColour(const PointAgreement& a)
{
    if (a.flagged || a.residual >= GridSetupScreen::kFairAgreementMetres)
        return QColor(220, 30, 30);
    if (a.residual < GridSetupScreen::kGoodAgreementMetres)
        return QColor(30, 190, 60);
    return QColor(255, 176, 0);
}

} // namespace

GridSetupScreen::GridSetupScreen(Station& station) : Screen(station)
{
    setWindowTitle(QStringLiteral("Grid Setup"));
    buildControls();
    connect(&station_, &Station::pictureLineRequested, this,
            [this](const QLineF& line, const QColor& colour, int width) { canvas_->stroke(line, colour, width); });
}

// ---------------------------------------------------------------- controls

void GridSetupScreen::buildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* menu = new QMenuBar(this);
    auto addAction = [this](QWidget* where, const char* name, const QString& caption, void (GridSetupScreen::*slot)()) {
        auto* a = new QAction(caption, where);
        a->setObjectName(QString::fromLatin1(name));
        where->addAction(a);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    addAction(menu, "gridLoad", QStringLiteral("&Load File"), &GridSetupScreen::loadGridFromFile);
    QMenu* pictureMenu = menu->addMenu(QStringLiteral("Setup &Picture"));
    pictureMenu->setObjectName(QStringLiteral("mnuSetupPicture"));
    pictureMenu->menuAction()->setObjectName(QStringLiteral("mnuSetupPicture"));
    addAction(pictureMenu, "mnuLoadPicture", QStringLiteral("Load &Picture"), &GridSetupScreen::loadPictureFromFile);
    addAction(pictureMenu, "mnuClearPicture", QStringLiteral("&Clear Picture"), &GridSetupScreen::clearPicture);
    addAction(pictureMenu, "mnuPaste", QStringLiteral("P&aste"), &GridSetupScreen::pastePicture);
    addAction(menu, "gridSave", QStringLiteral("&Save"), &GridSetupScreen::saveGridToFile);
    addAction(menu, "mnuCalibrate", QStringLiteral("&Calibrate"), &GridSetupScreen::openCalibration);
    addAction(menu, "gridExit", QStringLiteral("E&xit"), &GridSetupScreen::leaveGridSetup);
    outer->setMenuBar(menu);

    auto* body = new QHBoxLayout;
    outer->addLayout(body, 1);
    auto* pictureColumn = new QVBoxLayout;
    body->addLayout(pictureColumn, 1);
    canvas_ = new PictureCanvas(this);
    pictureColumn->addWidget(canvas_, 1);
    buildCheckPointControls(pictureColumn);
    canvas_->setOutline(true);
    connect(canvas_, &PictureCanvas::mousePressed, this,
            [this](double x, double y, Qt::MouseButton) { pictureMouseDown(x, y); });
    connect(canvas_, &PictureCanvas::mouseMoved, this,
            [this](double x, double y, Qt::MouseButtons) { pictureMouseMove(x, y); });
    // Whatever brought the picture (a file, the picked frame, the clipboard), the grid
    // check measures against its width.
    connect(canvas_, &PictureCanvas::pictureChanged, this, [this] { setPictureSize(canvas_->picture().size()); });
    canvas_->installEventFilter(this);
    canvas_->surface()->installEventFilter(this);
    if (canvas_->loupe())
        canvas_->loupe()->installEventFilter(this);

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("controlPanel"));
    panel->setFixedWidth(330);
    body->addWidget(panel);
    auto* col = new QVBoxLayout(panel);

    gridFileBox_ = makeLineEdit(panel, "ipt_file_description", kNoFile);
    gridDescriptionBox_ = makeLineEdit(panel, "ipt_file_description_2");
    col->addWidget(gridFileBox_);
    col->addWidget(gridDescriptionBox_);

    auto* gridRow = new QHBoxLayout;
    gridStateIcon_ = makeLabel(panel, "grid_state_icon", QString());
    gridStateIcon_->setFixedSize(32, 32);
    gridStateIcon_->setScaledContents(true);
    gridSelectButton_ = makeButton(panel, "grid_select", gridCaption(1), this, &GridSetupScreen::showNextGrid);
    gridRow->addWidget(gridStateIcon_);
    gridRow->addWidget(gridSelectButton_, 1);
    col->addLayout(gridRow);

    auto* selection = new QGroupBox(QStringLiteral("Grid Point Selection"), panel);
    selection->setObjectName(QStringLiteral("GridPointSelection"));
    auto* selLayout = new QGridLayout(selection);
    col->addWidget(selection);

    struct BuoyDef {
        int index;
        const char *option, *caption, *x, *y, *sx, *sy;
    };
    // The screen's order, the order every marker loop walks: UL, UR, LL, LR.
    const BuoyDef defs[4] = {
        {buoy::UpperLeft, "upper_left_button", "upper left", "upper_left_x", "upper_left_y", "ul_survey_x", "ul_survey_y"},
        {buoy::UpperRight, "upper_right_button", "upper right", "upper_right_x", "upper_right_y", "ur_survey_x", "ur_survey_y"},
        {buoy::LowerLeft, "lower_left_button", "lower left", "lower_left_x", "lower_left_y", "ll_survey_x", "ll_survey_y"},
        {buoy::LowerRight, "lower_right_button", "lower right", "lower_right_x", "lower_right_y", "lr_survey_x", "lr_survey_y"},
    };
    auto* boxes = new QGridLayout;
    col->addLayout(boxes);
    int labelNo = 1;
    for (int k = 0; k < 4; ++k) {
        const BuoyDef& d = defs[k];
        BuoyControls& b = buoys_[std::size_t(k)];
        b.index = d.index;
        b.option = new QRadioButton(QString::fromLatin1(d.caption), selection);
        b.option->setObjectName(QString::fromLatin1(d.option));
        // The arrow keys nudge the chosen buoy instead of moving the choice.
        b.option->installEventFilter(this);
        auto* pick = new QShortcut(QKeySequence(Qt::Key_1 + k), this);
        pick->setContext(Qt::WindowShortcut);
        connect(pick, &QShortcut::activated, b.option, [o = b.option] { o->setChecked(true); });
        // A buoy chosen takes the next click from any check point.
        connect(b.option, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                checkPointTable_->clearSelection();
        });
        selLayout->addWidget(b.option, k / 2, k % 2);
        b.x = makeLineEdit(panel, d.x, kAuto);
        b.y = makeLineEdit(panel, d.y, kAuto);
        b.surveyX = makeLineEdit(panel, d.sx, kInput);
        b.surveyY = makeLineEdit(panel, d.sy, kInput);
        auto* screenLabel = new QLabel(QStringLiteral("screen x,y"), panel);
        screenLabel->setObjectName(QStringLiteral("Label%1").arg(labelNo));
        auto* surveyLabel = new QLabel(QStringLiteral("survey x,y"), panel);
        surveyLabel->setObjectName(QStringLiteral("Label%1").arg(labelNo + 4));
        ++labelNo;
        auto* title = new QLabel(QString::fromLatin1(d.caption), panel);
        boxes->addWidget(title, k * 3, 0, 1, 3);
        boxes->addWidget(screenLabel, k * 3 + 1, 0);
        boxes->addWidget(b.x, k * 3 + 1, 1);
        boxes->addWidget(b.y, k * 3 + 1, 2);
        boxes->addWidget(surveyLabel, k * 3 + 2, 0);
        boxes->addWidget(b.surveyX, k * 3 + 2, 1);
        boxes->addWidget(b.surveyY, k * 3 + 2, 2);
    }
    auto* jumpLabel = new QLabel(QStringLiteral("jump x,y"), panel);
    jumpLabel->setObjectName(QStringLiteral("Label9"));
    jumpSurveyXBox_ = makeLineEdit(panel, "jump_x", kJumpX);
    jumpSurveyYBox_ = makeLineEdit(panel, "jump_y", kJumpY);
    boxes->addWidget(jumpLabel, 12, 0);
    boxes->addWidget(jumpSurveyXBox_, 12, 1);
    boxes->addWidget(jumpSurveyYBox_, 12, 2);

    gridLockCheck_ = new QCheckBox(QStringLiteral("Lock Grid Buoys"), panel);
    gridLockCheck_->setObjectName(QStringLiteral("chkboxGridLock"));
    connect(gridLockCheck_, &QCheckBox::toggled, this, &GridSetupScreen::gridLockToggled);
    col->addWidget(gridLockCheck_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(makeButton(panel, "Load", QStringLiteral("Complete"), this, &GridSetupScreen::completeGrid));
    buttons->addWidget(makeButton(panel, "show_alignment", QStringLiteral("Draw Buoys"), this, &GridSetupScreen::drawBuoys));
    col->addLayout(buttons);

    buildAccuracyControls(panel);
    col->addStretch(1);

    // The floating handles and what they carry sit over the picture so the operator can
    // drag them out of the way of the buoys.
    auto handleLabel = [this](const char* name, const QString& caption, QRect r) {
        return DragHandle::makeLabel(this, QString::fromLatin1(name), caption, r);
    };
    nudgeHandle_ = handleLabel("AdjustmentLabel", QStringLiteral("Micro-Adjust (drag-it)"), {20, 40, 150, 18});
    nudgePad_ = new NudgePad(this, {40, 60}, kNudgeTwips);
    connect(nudgePad_, &NudgePad::nudged, this, &GridSetupScreen::nudge);
    markerSizeHandle_ = handleLabel("CrossSizeLabel", QStringLiteral("Marker Icon Size (drag-it)"), {20, 160, 170, 18});
    markerSizeBar_ = new QScrollBar(Qt::Horizontal, this);
    markerSizeBar_->setObjectName(QStringLiteral("Setup_Cross_size"));
    markerSizeBar_->setRange(kCrossSizeMin, kCrossSizeMax);
    markerSizeBar_->setSingleStep(15);
    markerSizeBar_->setPageStep(15);
    markerSizeBar_->setValue(kCrossSizeInitial);
    markerSizeBar_->setGeometry(20, 180, 170, 18);
    gridLockedSign_ = handleLabel("gridLockedLabel", QStringLiteral("GRID LOCKED!"), {220, 40, 110, 20});
    gridLockedSign_->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    gridLockedSign_->hide();

    new DragHandle(nudgeHandle_, {nudgeHandle_, nudgePad_});
    new DragHandle(markerSizeHandle_, {markerSizeHandle_, markerSizeBar_});
    new DragHandle(gridLockedSign_, {gridLockedSign_});
    for (QWidget* w : std::initializer_list<QWidget*>{nudgeHandle_, nudgePad_, markerSizeHandle_, markerSizeBar_,
                                                      gridLockedSign_})
        w->raise();

    connectBoxes();
}

void GridSetupScreen::buildAccuracyControls(QWidget* panel)
{
    auto* col = static_cast<QVBoxLayout*>(panel->layout());
    accuracyButton_ = makeButton(panel, "btnAccuracyCheck", QStringLiteral("Accuracy"), this, &GridSetupScreen::checkAccuracy);
    col->addWidget(accuracyButton_);

    auto option = [](QWidget* parent, const char* name, const QString& caption) {
        QRadioButton* o = named(new QRadioButton(caption, parent), name);
        parent->layout()->addWidget(o);
        return o;
    };
    accuracyModeGroup_ = new QGroupBox(QStringLiteral("Accuracy "), panel);
    accuracyModeGroup_->setObjectName(QStringLiteral("fmAccuracyDisplay"));
    new QHBoxLayout(accuracyModeGroup_);
    standardAccuracyOption_ = option(accuracyModeGroup_, "optStandardAccuracy", QStringLiteral("Standard"));
    advancedAccuracyOption_ = option(accuracyModeGroup_, "optAdvancedAccuracy", QStringLiteral("Advanced"));
    col->addWidget(accuracyModeGroup_);

    accuracyDisplayGroup_ = new QGroupBox(QStringLiteral("Display"), panel);
    accuracyDisplayGroup_->setObjectName(QStringLiteral("fmAccuracyConfig"));
    new QHBoxLayout(accuracyDisplayGroup_);
    distanceDisplayOption_ = option(accuracyDisplayGroup_, "optDisplayDistance", QStringLiteral("Distance"));
    detailDisplayOption_ = option(accuracyDisplayGroup_, "optDetailMeasurement", QStringLiteral("Detail "));
    levelDisplayOption_ = option(accuracyDisplayGroup_, "optHomolgationLevel", QStringLiteral("Hom.Lvl"));
    col->addWidget(accuracyDisplayGroup_);
    connect(advancedAccuracyOption_, &QRadioButton::toggled, this,
            [this](bool on) { accuracyDisplayGroup_->setVisible(on); });

    for (int e = 0; e < int(accuracyLabels_.size()); ++e) {
        QLabel* l = canvas_->addLabel(QStringLiteral("AccuracyIndicator%1").arg(e));
        l->hide();
        accuracyLabels_[std::size_t(e)] = l;
    }
    for (int k = 0; k < int(lineNumberLabels_.size()); ++k) {
        QLabel* l = canvas_->addLabel(QStringLiteral("LineLabel%1").arg(k), QString::number(k + 1));
        l->hide();
        lineNumberLabels_[std::size_t(k)] = l;
    }
}

void GridSetupScreen::connectBoxes()
{
    for (BuoyControls& b : buoys_) {
        const int index = b.index;
        connect(b.x, &QLineEdit::textChanged, this, [this, index] { boxChanged(index, 0); });
        connect(b.y, &QLineEdit::textChanged, this, [this, index] { boxChanged(index, 1); });
        connect(b.surveyX, &QLineEdit::textChanged, this, [this, index] { boxChanged(index, 2); });
        connect(b.surveyY, &QLineEdit::textChanged, this, [this, index] { boxChanged(index, 3); });
    }
    connect(jumpSurveyXBox_, &QLineEdit::textChanged, this, [this] { boxChanged(0, 2); });
    connect(jumpSurveyYBox_, &QLineEdit::textChanged, this, [this] { boxChanged(0, 3); });
}

// ---------------------------------------------------------------- load and activation

void GridSetupScreen::load()
{
    GridState& g = station_.grids();
    standardAccuracyOption_->setChecked(true);
    levelDisplayOption_->setChecked(true);
    showGridNumber(GridState::isGridNumber(g.current_grid) ? g.current_grid : 1);
    setWindowState(windowState() | Qt::WindowMaximized);
    marker_radius_ = 2.0 * markerSizeBar_->value();
    for (int b = 1; b <= kBuoyCount; ++b) {
        g.buoy_screen_x[b] = 0;
        g.buoy_screen_y[b] = 0;
    }
    g.all_grids_set_up = false;
    setStateIcon(false);
    accuracyButton_->hide();
    accuracyDisplayGroup_->hide();
    accuracyModeGroup_->hide();
    clear_accuracy_indicator();
    fit_.reset();
    showCheckPoints();
    for (QLabel* l : {nudgeHandle_, markerSizeHandle_})
        l->setStyleSheet(QStringLiteral("background-color: black; color: white;"));
    // No assumed width: the grid check asks for the camera's picture instead.
    setPictureSize(canvas_->picture().size());
}

void GridSetupScreen::showEvent(QShowEvent* e)
{
    Screen::showEvent(e);
    AppSettings& s = station_.settings();
    if (s.arrival == Arrival::FrameChosen) {
        s.setArrival(Arrival::None);
        setPictureFromFile(station_.programFile(QStringLiteral("currentcapture.bmp")), true);
    }
}

// ---------------------------------------------------------------- public operations

bool GridSetupScreen::distance_calculation()
{
    const AppSettings& s = station_.settings();
    return tarvex::distance_calculation(station_.grids(), tournamentType(s));
}

GridCheckResult GridSetupScreen::grid_check()
{
    if (!canvas_->hasPicture()) {
        GridState& g = station_.grids();
        g.front_ratio = 0;
        g.back_ratio = 0;
        station_.prompter().message(kNoPictureForCheckText);
        return {};
    }
    GridCheckResult r = tarvex::grid_check(station_.grids(), controlsOf(buoy::LowerLeft).x->text(),
                                           controlsOf(buoy::LowerRight).x->text(),
                                           controlsOf(buoy::UpperLeft).x->text(),
                                           controlsOf(buoy::UpperRight).x->text(), picture_width_twips_);
    for (const QString& m : r.messages)
        station_.prompter().message(m);
    return r;
}

QColor GridSetupScreen::messageColour() const { return colourFromBgr(station_.settings().MessageColor); }

QColor GridSetupScreen::markerColour() const
{
    const AppSettings& s = station_.settings();
    return overlayColour(s.MessageColorName, s.MessageColor);
}

void GridSetupScreen::Show_grid()
{
    const GridState& g = station_.grids();
    canvas_->clear();
    const QColor colour = markerColour();
    canvas_->setDrawWidth(2);
    const double s = markerSizeBar_->value();
    const bool cross = station_.settings().MarkerStyle == QLatin1String("cross");
    for (const BuoyControls& b : buoys_)
        canvas_->buoyMarker({g.buoy_screen_x[b.index], g.buoy_screen_y[b.index]}, s, cross, colour, true);
    if (!cross)
        marker_radius_ = 2 * s;
    drawAgreementRings(s, cross);
}

void GridSetupScreen::hideLockedSign() { gridLockedSign_->hide(); }

void GridSetupScreen::clear_accuracy_indicator()
{
    for (QLabel* l : accuracyLabels_)
        l->hide();
}

void GridSetupScreen::showGridNumber(int n)
{
    shownGrid_ = GridState::isGridNumber(n) ? n : 1;
    gridSelectButton_->setText(gridCaption(shownGrid_));
}

// ---------------------------------------------------------------- boxes and state

GridSetupScreen::BuoyControls& GridSetupScreen::controlsOf(int buoyIndex)
{
    for (BuoyControls& b : buoys_)
        if (b.index == buoyIndex)
            return b;
    return buoys_[0];
}

const GridSetupScreen::BuoyControls& GridSetupScreen::controlsOf(int buoyIndex) const
{
    return const_cast<GridSetupScreen*>(this)->controlsOf(buoyIndex);
}

void GridSetupScreen::boxChanged(int buoyIndex, int field)
{
    GridState& g = station_.grids();
    // An edit by the operator (or a moved buoy) leaves the grid in hand no longer complete;
    // refilling the boxes from a stored grid does not.
    if (!filling_ && g.grid_set_up[shownGrid_]) {
        g.grid_set_up[shownGrid_] = false;
        emit station_.gridStateChanged(shownGrid_);
    }
    if (!filling_ && fit_) {
        fit_.reset();
        showCheckPoints();
    }
    if (buoyIndex == 0) {
        if (field == 2)
            g.jump_survey_x = leadingNumber(jumpSurveyXBox_->text());
        else
            g.jump_survey_y = leadingNumber(jumpSurveyYBox_->text());
    } else if (field == 2) {
        g.buoy_survey_x[buoyIndex] = leadingNumber(controlsOf(buoyIndex).surveyX->text());
    } else if (field == 3) {
        g.buoy_survey_y[buoyIndex] = leadingNumber(controlsOf(buoyIndex).surveyY->text());
    }
    showIncomplete();
}

void GridSetupScreen::setStateIcon(bool complete)
{
    const QString file = complete ? kCompleteIcon : kIncompleteIcon;
    // A picture of that name in the program folder wins over the built-in one.
    QPixmap pm(station_.programFile(file));
    if (pm.isNull())
        pm.load(QStringLiteral(":/icons/") + file);
    gridStateIcon_->setPixmap(pm);
    gridStateIcon_->setProperty("pictureName", file);
}

void GridSetupScreen::showAsComplete()
{
    setStateIcon(true);
    accuracyButton_->show();
    accuracyModeGroup_->show();
    accuracyDisplayGroup_->setVisible(advancedAccuracyOption_->isChecked());
}

SetupBoxTexts GridSetupScreen::boxTexts() const
{
    SetupBoxTexts t;
    auto take = [this](int index, QString& x, QString& y, QString& sx, QString& sy) {
        const BuoyControls& b = controlsOf(index);
        x = b.x->text();
        y = b.y->text();
        sx = b.surveyX->text();
        sy = b.surveyY->text();
    };
    take(buoy::UpperLeft, t.upper_left_x, t.upper_left_y, t.ul_survey_x, t.ul_survey_y);
    take(buoy::LowerLeft, t.lower_left_x, t.lower_left_y, t.ll_survey_x, t.ll_survey_y);
    take(buoy::UpperRight, t.upper_right_x, t.upper_right_y, t.ur_survey_x, t.ur_survey_y);
    take(buoy::LowerRight, t.lower_right_x, t.lower_right_y, t.lr_survey_x, t.lr_survey_y);
    t.jump_x = jumpSurveyXBox_->text();
    t.jump_y = jumpSurveyYBox_->text();
    return t;
}

void GridSetupScreen::fillBoxesFromWorkingState()
{
    const QScopedValueRollback<bool> filling(filling_, true);
    const SetupBoxTexts t = SetupBoxTexts::fromWorkingState(station_.grids());
    auto put = [this](int index, const QString& x, const QString& y, const QString& sx, const QString& sy) {
        BuoyControls& b = controlsOf(index);
        b.x->setText(x);
        b.y->setText(y);
        b.surveyX->setText(sx);
        b.surveyY->setText(sy);
    };
    put(buoy::UpperRight, t.upper_right_x, t.upper_right_y, t.ur_survey_x, t.ur_survey_y);
    put(buoy::LowerRight, t.lower_right_x, t.lower_right_y, t.lr_survey_x, t.lr_survey_y);
    put(buoy::UpperLeft, t.upper_left_x, t.upper_left_y, t.ul_survey_x, t.ul_survey_y);
    put(buoy::LowerLeft, t.lower_left_x, t.lower_left_y, t.ll_survey_x, t.ll_survey_y);
    jumpSurveyXBox_->setText(t.jump_x);
    jumpSurveyYBox_->setText(t.jump_y);
}

void GridSetupScreen::showGridPaths(int n)
{
    const GridState& g = station_.grids();
    gridFileBox_->setText(g.grid_file_path[n].isEmpty() ? kNoFile : g.grid_file_path[n]);
    gridDescriptionBox_->setText(g.grid_description[n]);
}

void GridSetupScreen::appendSetupRecord(int gridNumber, const QString& labelWord)
{
    Prompter& p = station_.prompter();
    const QString path = station_.settings().ResultsFilePath;
    if (path.isEmpty()) {
        p.message(QStringLiteral("The set-up record was not written: no results file is chosen yet. "
                                 "Choose one on the configuration screen."),
                  QStringLiteral("Results File"), Icon::Exclamation);
        return;
    }
    const QByteArray bytes = lineBytes(setupRecordLines(station_.clock().now(), gridFileBox_->text(),
                                                        gridDescriptionBox_->text(), gridNumber, boxTexts(),
                                                        labelWord));
    if (const auto failed = appendDurably(path, bytes))
        p.message(QStringLiteral("The set-up record could not be written to %1: %2").arg(path, *failed),
                  QStringLiteral("Results File"), Icon::Exclamation);
}

// ---------------------------------------------------------------- placing and nudging buoys

int GridSetupScreen::selectedBuoy() const
{
    for (const BuoyControls& b : buoys_)
        if (b.option->isChecked())
            return b.index;
    return 0;
}

void GridSetupScreen::moveBuoys(const QPointF& selectedTarget, bool fromClick, double dx, double dy)
{
    GridState& g = station_.grids();
    const int selected = selectedBuoy();
    const bool locked = gridLockCheck_->isChecked();
    canvas_->setDrawWidth(2);
    const double size = markerSizeBar_->value();
    const double eraseReach = markerSizeBar_->maximum();
    const QColor erase = PictureCanvas::magenta();
    for (BuoyControls& b : buoys_) {
        if (b.index != selected && !locked)
            continue;
        const double ox = g.buoy_screen_x[b.index], oy = g.buoy_screen_y[b.index];
        canvas_->circle(ox, oy, marker_radius_, erase);
        canvas_->line(ox - eraseReach, oy, ox + eraseReach, oy, erase);
        canvas_->line(ox, oy - eraseReach, ox, oy + eraseReach, erase);

        const QPointF to = (fromClick && b.index == selected) ? selectedTarget : QPointF(ox + dx, oy + dy);
        b.x->setText(paddedNumber(to.x()));
        b.y->setText(paddedNumber(to.y()));
        canvas_->line(to.x() - size, to.y(), to.x() + size, to.y(), Qt::white);
        canvas_->line(to.x(), to.y() - size, to.x(), to.y() + size, Qt::white);
        g.buoy_screen_x[b.index] = to.x();
        g.buoy_screen_y[b.index] = to.y();
    }
    if (!locked)
        return;
    for (int k = 0; k < g.check_points.size(); ++k) {
        CheckPoint& c = g.check_points[k];
        if (!placed(c))
            continue;
        c.screen_x += dx;
        c.screen_y += dy;
        canvas_->placeItem(checkPointNames_[std::size_t(k)], c.screen_x + 60, c.screen_y + 60);
    }
    if (!g.check_points.isEmpty()) {
        markIncomplete();
        showCheckPoints();
    }
}

void GridSetupScreen::pictureMouseDown(double x, double y)
{
    const int selected = selectedBuoy();
    if (selected == 0) {
        if (selectedCheckPoint_ >= 0) {
            clickPoint_ = QPointF(std::round(x * 100) / 100, std::round(y * 100) / 100);
            moveCheckPoint(selectedCheckPoint_, clickPoint_);
        }
        return;
    }
    const GridState& g = station_.grids();
    // Marks finer than a pixel come from the zoom or the loupe; a hundredth of a twip is
    // far below what either resolves and keeps the boxes and files readable.
    clickPoint_ = QPointF(std::round(x * 100) / 100, std::round(y * 100) / 100);
    x = clickPoint_.x();
    y = clickPoint_.y();
    moveBuoys(clickPoint_, true, x - g.buoy_screen_x[selected], y - g.buoy_screen_y[selected]);
}

void GridSetupScreen::nudge(double dx, double dy)
{
    if (selectedBuoy() == 0) {
        const GridState& g = station_.grids();
        if (selectedCheckPoint_ >= 0 && selectedCheckPoint_ < g.check_points.size()) {
            const CheckPoint& c = g.check_points[selectedCheckPoint_];
            if (placed(c))
                moveCheckPoint(selectedCheckPoint_, {c.screen_x + dx, c.screen_y + dy});
        }
        return;
    }
    moveBuoys({}, false, dx, dy);
}

bool GridSetupScreen::eventFilter(QObject* watched, QEvent* e)
{
    // Seen before the canvas reports the move, so the figure under the cursor knows which
    // click it stands for.
    if (e->type() == QEvent::MouseMove && (watched == canvas_->surface() || watched == canvas_->loupe()))
        moveFromLoupe_ = watched == canvas_->loupe();
    if (e->type() == QEvent::KeyPress) {
        const bool ours = watched == canvas_ || watched == canvas_->surface()
                          || std::any_of(buoys_.begin(), buoys_.end(), [watched](const BuoyControls& b) { return b.option == watched; });
        if (ours && nudgePad_->nudgeForKey(*static_cast<QKeyEvent*>(e)))
            return true;
    }
    return Screen::eventFilter(watched, e);
}

std::optional<QString> GridSetupScreen::firstBoxWithoutNumber() const
{
    struct Named {
        const QLineEdit* box;
        const char* name;
    };
    const BuoyControls& ul = controlsOf(buoy::UpperLeft);
    const BuoyControls& ur = controlsOf(buoy::UpperRight);
    const BuoyControls& ll = controlsOf(buoy::LowerLeft);
    const BuoyControls& lr = controlsOf(buoy::LowerRight);
    // The order Complete checks its boxes in.
    const Named boxes[] = {
        {ul.x, "upper left screen x"}, {ul.y, "upper left screen y"}, {ur.x, "upper right screen x"},
        {ur.y, "upper right screen y"}, {ll.x, "lower left screen x"}, {ll.y, "lower left screen y"},
        {lr.x, "lower right screen x"}, {lr.y, "lower right screen y"}, {ul.surveyX, "upper left survey x"},
        {ul.surveyY, "upper left survey y"}, {ur.surveyX, "upper right survey x"}, {ur.surveyY, "upper right survey y"},
        {ll.surveyX, "lower left survey x"}, {ll.surveyY, "lower left survey y"}, {lr.surveyX, "lower right survey x"},
        {lr.surveyY, "lower right survey y"}, {jumpSurveyXBox_, "jump x"}, {jumpSurveyYBox_, "jump y"},
    };
    for (const Named& n : boxes)
        if (!holdsNumber(n.box->text()))
            return QString::fromLatin1(n.name);
    return std::nullopt;
}

bool GridSetupScreen::refuseNonNumbers()
{
    const auto bad = firstBoxWithoutNumber();
    if (!bad)
        return false;
    station_.prompter().message(QStringLiteral("The ") + *bad + QStringLiteral(" box must hold a number"),
                                QStringLiteral("Error Message"), Icon::Exclamation);
    return true;
}

void GridSetupScreen::pictureMouseMove(double x, double y)
{
    const GridState& g = station_.grids();
    if (!g.grid_set_up[shownGrid_]) {
        canvas_->setInfoText(QString());
        return;
    }
    const auto perPixel = distancePerPixel(g, x, y);
    QString info = perPixel ? pixelSizeText(*perPixel) : QString();
    if (perPixel && fit_) {
        const double click = moveFromLoupe_ ? kLoupeClickPixels : UncertaintySettings{}.clickPixels;
        if (const auto sigma = distanceSigma(*fit_, {g.jump_survey_x, g.jump_survey_y}, {x, y}, click))
            info += QStringLiteral("  ") + sigmaText(*sigma);
    }
    canvas_->setInfoText(info);
}

void GridSetupScreen::gridLockToggled(bool checked)
{
    if (checked) {
        for (const BuoyControls& b : buoys_) {
            if (b.x->text() == kAuto) {
                station_.prompter().message(
                    QStringLiteral("Cannot Lock Grid Until buoy positions have been entered for all four buoys"));
                gridLockCheck_->setChecked(false);
                return;
            }
        }
    }
    gridLockedSign_->setVisible(checked);
}

void GridSetupScreen::unlockGrid()
{
    gridLockCheck_->setChecked(false);
    gridLockedSign_->hide();
}

// ---------------------------------------------------------------- Complete, selector, Draw Buoys

void GridSetupScreen::completeGrid()
{
    GridState& g = station_.grids();
    Prompter& p = station_.prompter();
    const int n = shownGrid_;

    bool missing = false;
    for (const BuoyControls& b : buoys_)
        missing = missing || b.x->text() == kAuto || b.y->text() == kAuto;
    for (const BuoyControls& b : buoys_)
        missing = missing || b.surveyX->text() == kInput || b.surveyY->text() == kInput;
    missing = missing || jumpSurveyXBox_->text() == kJumpX || jumpSurveyYBox_->text() == kJumpY;

    if (missing) {
        p.message(QStringLiteral("Warning - Not all parameters have been set up on grid"),
                  QStringLiteral("Error Message"), Icon::Exclamation);
    } else if (refuseNonNumbers() || refuseIncompleteCheckPoints()) {
        // Text that is no number must not become a buoy at 0; nothing is recorded.
        return;
    } else {
        showAsComplete();
        canvas_->clear();
        GridFit fit = fitWorkingGrid(g, lensFrame());
        if (!fit.ok) {
            // Four points fail only where the elimination has no unique solution.
            const bool fourPoints = g.check_points.isEmpty() && !g.lens_wanted;
            p.message(fourPoints ? QString::fromLatin1(kNoUniqueSolutionText) : fit.error,
                      QString::fromLatin1(kNoUniqueSolutionTitle), Icon::Exclamation);
            fit_.reset();
        } else {
            const QString path = gridFileBox_->text() == kNoFile ? QString() : gridFileBox_->text();
            g.storeCompletedGrid(n, path, gridDescriptionBox_->text());
            fit_ = std::move(fit);
            if (!g.check_points.isEmpty())
                Show_grid();
        }
        showCheckPoints();
        emit station_.gridStateChanged(n);
    }
    // The record goes to the results file whatever happened, so the day's file shows every
    // attempt at setting up a grid.
    appendSetupRecord(n, QStringLiteral("Pixels"));
}

void GridSetupScreen::showNextGrid()
{
    GridState& g = station_.grids();
    canvas_->clear();
    const int now = shownGrid_;
    int next = now;
    if (now == 1)
        next = g.grids_in_use >= 2 ? 2 : 1;
    else if (now == 2)
        next = g.grids_in_use == 3 ? 3 : 1;
    else
        next = 1;
    showGridNumber(next);
    g.switchToGrid(next);
    fillBoxesFromWorkingState();
    showGridPaths(next);
    if (g.grid_set_up[next]) {
        setStateIcon(true);
        accuracyButton_->show();
        accuracyModeGroup_->show();
    }
    selectedCheckPoint_ = -1;
    assessWorkingGrid();
    g.recompute_all_grids_set_up();
}

void GridSetupScreen::drawBuoys()
{
    canvas_->setDrawWidth(2);
    canvas_->clear();
    Show_grid();
}

// ---------------------------------------------------------------- grid files

std::optional<int> GridSetupScreen::askGridNumber(const QString& prompt)
{
    return askWholeNumber(station_.prompter(), prompt, QStringLiteral("Grid Number"), 1, station_.grids().grids_in_use);
}

std::optional<QString> GridSetupScreen::chooseGridFile(bool forSave)
{
    Prompter& p = station_.prompter();
    const QString folder = station_.settings().SetupFilesPath;
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        p.message(kInvalidPathText, QString(), Icon::Exclamation);
        return std::nullopt;
    }
    FileRequest r;
    r.initialFolder = folder;
    r.filter = kGridFileFilter;
    r.filterIndex = 3;
    r.mustExist = !forSave;
    r.title = forSave ? QStringLiteral("Save Grid File") : QStringLiteral("Load Grid File");
    const auto chosen = forSave ? p.saveFile(r) : p.openFile(r);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    // A bare name typed into the dialog means a file in the grid file folder.
    QString path = QDir::cleanPath(QDir(folder).absoluteFilePath(*chosen));
    // Load lists parameter files by their extension, so a grid saved as "hand" would be
    // invisible to it.
    if (forSave && QFileInfo(path).suffix().isEmpty()) {
        if (path.endsWith(QLatin1Char('.')))
            path.chop(1);
        path += QStringLiteral(".ipt");
    }
    return path;
}

void GridSetupScreen::saveGridToFile()
{
    GridState& g = station_.grids();
    Prompter& p = station_.prompter();
    unlockGrid();
    if (refuseNonNumbers() || refuseIncompleteCheckPoints())
        return;
    const auto path = chooseGridFile(true);
    if (!path)
        return;
    const QString description =
        p.input(QStringLiteral("Enter descriptive line about grid"), QStringLiteral("Grid Description")).value_or(QString());
    if (!p.askYesNo(QStringLiteral("Save ") + gridSelectButton_->text(), QStringLiteral("Current Grid"))) {
        const auto n = askGridNumber(QStringLiteral("What grid are you saving?"));
        if (!n)
            return;
        g.current_grid = *n;
    }
    const int n = GridState::isGridNumber(g.current_grid) ? g.current_grid : 1;
    gridFileBox_->setText(*path);
    gridDescriptionBox_->setText(description);
    emit station_.gridDescriptionChanged(description);
    const GridFileWriteResult r = saveGridFile(g, n, *path, description);
    if (!r.ok) {
        p.message(r.error, QStringLiteral("Grid File"), Icon::Exclamation);
        return;
    }
    // The saved file is the grid's file from now on: the next start loads it, so a grid
    // built once survives a restart without a Load of its own.
    station_.store().save(key::gridFile(n), r.fullPath);
    emit station_.gridStateChanged(n);
}

void GridSetupScreen::loadGridFromFile()
{
    GridState& g = station_.grids();
    Prompter& p = station_.prompter();
    unlockGrid();
    int n = 1;
    if (g.grids_in_use > 1) {
        if (p.askYesNo(QStringLiteral("Load ") + gridSelectButton_->text(), QStringLiteral("Current Grid"))) {
            n = shownGrid_;
        } else {
            const auto asked = askGridNumber(QStringLiteral("What grid are you loading?"));
            if (!asked)
                return;
            n = *asked;
        }
    }
    g.current_grid = n;
    const auto path = chooseGridFile(false);
    if (!path)
        return;
    const GridFileContents c = readGridFile(*path);
    if (!applyGridFile(g, n, *path, c)) {
        p.message(c.error, QStringLiteral("Grid File"), Icon::Exclamation);
        return;
    }
    finishGridLoad(n, *path, true);
}

bool GridSetupScreen::applyGridFileToGrid(int n, const QString& path)
{
    if (!GridState::isGridNumber(n))
        return false;
    const GridFileContents c = readGridFile(path);
    if (!applyGridFile(station_.grids(), n, path, c)) {
        station_.prompter().message(c.error, QStringLiteral("Grid File"), Icon::Exclamation);
        return false;
    }
    finishGridLoad(n, path, false);
    return true;
}

void GridSetupScreen::finishGridLoad(int n, const QString& path, bool interactive)
{
    GridState& g = station_.grids();
    const QString description = g.grid_description[n];
    gridFileBox_->setText(path);
    gridDescriptionBox_->setText(description);
    emit station_.gridDescriptionChanged(description);
    fillBoxesFromWorkingState();
    g.recompute_survey_x_direction();
    appendSetupRecord(n, QStringLiteral("Twips"));
    if (interactive) {
        canvas_->clear();
        grid_check();
    }
    showAsComplete();
    g.grid_set_up[n] = true;
    showGridNumber(n);
    selectedCheckPoint_ = -1;
    assessWorkingGrid();
    if (interactive && !g.check_points.isEmpty())
        Show_grid();
    station_.store().save(key::gridFile(n), path);
    g.recompute_all_grids_set_up();
    emit station_.gridLoaded(n);
    emit station_.gridStateChanged(n);
}

// ---------------------------------------------------------------- picture menu

void GridSetupScreen::setPictureSize(QSize pixels)
{
    if (!canvas_->hasPicture()) {
        picture_width_twips_.clear();
        picture_height_twips_.clear();
        return;
    }
    picture_width_twips_ = pictureTwipsText(pixels.width());
    picture_height_twips_ = pictureTwipsText(pixels.height());
}

void GridSetupScreen::setPictureFromFile(const QString& path, bool reportErrors)
{
    QString error;
    if (!canvas_->loadPicture(path, &error)) {
        if (reportErrors)
            station_.prompter().message(error, QStringLiteral("Picture"), Icon::Exclamation);
        return;
    }
}

void GridSetupScreen::loadPictureFromFile()
{
    Prompter& p = station_.prompter();
    const QString folder = station_.settings().PicturesPath;
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        p.message(kInvalidPathText, QString(), Icon::Exclamation);
        return;
    }
    FileRequest r;
    r.initialFolder = folder;
    r.filter = jumpPictureFilter();
    r.filterIndex = 4;
    r.title = QStringLiteral("Load Picture");
    const auto chosen = p.openFile(r);
    if (!chosen || chosen->isEmpty())
        return;
    setPictureFromFile(QDir(folder).absoluteFilePath(*chosen), true);
}

void GridSetupScreen::clearPicture() { canvas_->clearPicture(); }

void GridSetupScreen::pastePicture()
{
    const QImage img = QApplication::clipboard()->image();
    if (img.isNull()) {
        station_.prompter().message(QStringLiteral("The clipboard holds no picture to paste"),
                                    QStringLiteral("Picture"), Icon::Exclamation);
        return;
    }
    canvas_->setPicture(img);
}

void GridSetupScreen::openCalibration()
{
    const QString name = screen::Calibrate;
    if (!station_.canCreate(name)) {
        station_.prompter().message(QStringLiteral("The calibration line screen is not available"),
                                    screen::Calibrate, Icon::Exclamation);
        return;
    }
    if (QWidget* w = station_.screen(name)) {
        w->show();
        w->raise();
    }
}

// ---------------------------------------------------------------- leaving

void GridSetupScreen::leaveGridSetup()
{
    GridState& g = station_.grids();
    if (!g.all_grids_set_up
        && !station_.prompter().askYesNo(
            QStringLiteral("Do you want to leave the grid setup with the grid setup not complete?"),
            QStringLiteral("Grid Setup Error"), Icon::Question, true))
        return;
    station_.show(screen::MainForm, this);
    g.switchToGrid(1);

    canvas_->setDrawWidth(2);
    const auto at = [&g](int b) { return QPointF(g.buoy_screen_x[b], g.buoy_screen_y[b]); };
    for (const BuoyControls& b : buoys_) {
        const QPointF p = at(b.index);
        canvas_->line(p.x() - 100, p.y(), p.x() + 100, p.y(), Qt::white);
        canvas_->line(p.x(), p.y() - 100, p.x(), p.y() + 100, Qt::white);
    }
    const QPointF lr = at(buoy::LowerRight), ur = at(buoy::UpperRight);
    const QPointF ll = at(buoy::LowerLeft), ul = at(buoy::UpperLeft);
    canvas_->line(lr.x(), lr.y(), ur.x(), ur.y(), Qt::white);
    canvas_->line(ll.x(), ll.y(), ul.x(), ul.y(), Qt::white);
    // Touching the measuring screen creates it, so it always takes the labels.
    if (station_.canCreate(screen::Measure))
        station_.screen(screen::Measure);
    emit station_.gridSetupLeft();
}

// ---------------------------------------------------------------- accuracy check

void GridSetupScreen::checkAccuracy()
{
    GridState& g = station_.grids();
    const AppSettings& s = station_.settings();
    Prompter& p = station_.prompter();
    const QString title = QStringLiteral("Accuracy Check");

    if (standardAccuracyOption_->isChecked())
        levelDisplayOption_->setChecked(true);

    auto corner = [this](int b) {
        const BuoyControls& c = controlsOf(b);
        return ScreenPoint{leadingNumber(c.x->text()), leadingNumber(c.y->text())};
    };
    const AccuracyLattice lattice =
        computeAccuracyLattice(g, corner(buoy::UpperLeft), corner(buoy::UpperRight), corner(buoy::LowerLeft),
                               corner(buoy::LowerRight), tournamentType(s));
    if (!lattice.ok) {
        p.message(lattice.error, title, Icon::Exclamation);
        return;
    }

    AccuracyReportHeader header;
    header.when = station_.clock().now();
    header.ipt_file_description = gridFileBox_->text();
    header.ipt_file_description_2 = gridDescriptionBox_->text();
    header.gridNumber = shownGrid_;
    // The ratios of this grid on the picture in hand, as the grid check computes them.
    if (canvas_->hasPicture()) {
        const GridCheckResult ratios =
            tarvex::grid_check(g, controlsOf(buoy::LowerLeft).x->text(), controlsOf(buoy::LowerRight).x->text(),
                               controlsOf(buoy::UpperLeft).x->text(), controlsOf(buoy::UpperRight).x->text(),
                               picture_width_twips_);
        header.ratiosKnown = ratios.valid;
    } else {
        header.ratiosKnown = false;
    }
    header.front_ratio = g.front_ratio;
    header.back_ratio = g.back_ratio;
    header.boxes = boxTexts();
    QStringList report = accuracyReportLines(header, lattice);
    if (!fit_)
        assessWorkingGrid();
    if (fit_)
        report += agreementReportLines(*fit_);
    const AccuracyWriteResult written =
        appendAccuracyReport(station_.programFile(accuracyFileName(header.when)), report);
    if (!written.ok)
        p.message(written.error, title, Icon::Exclamation);

    const AccuracyDisplay display = levelDisplayOption_->isChecked() ? AccuracyDisplay::Level
                                    : distanceDisplayOption_->isChecked() ? AccuracyDisplay::Distance
                                                                      : AccuracyDisplay::Detail;
    const bool standard = standardAccuracyOption_->isChecked();
    const QColor colour = messageColour();
    auto paint = [&colour](QLabel* l) {
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, colour);
        l->setPalette(pal);
    };
    for (int i = 0; i < kLatticeSize; ++i)
        for (int j = 0; j < kLatticeSize; ++j) {
            QLabel* l = accuracyLabels_[std::size_t(kLatticeSize * i + j)];
            l->hide();
            const LatticePoint& pt = lattice.at(i, j);
            l->setText(accuracyLabelText(pt, display));
            l->adjustSize();
            canvas_->placeItem(l, pt.x, pt.y + 15 + 60);
            paint(l);
            if (!standard)
                l->show();
        }

    if (standard) {
        canvas_->clear();
        for (int k = 0; k < kLatticeSize; ++k) {
            const LatticePoint& from = lattice.at(0, k);
            const LatticePoint& to = lattice.at(kLatticeSize - 1, k);
            canvas_->line(from.x, from.y, to.x, to.y, colour);
            QLabel* l = lineNumberLabels_[std::size_t(k)];
            l->adjustSize();
            canvas_->placeItem(l, to.x + 30, to.y - 90);
            paint(l);
            l->show();
        }
        // Cancel leaves the check without a row.
        const std::optional<int> line =
            askWholeNumber(p, QStringLiteral("Pick the line number that best represents where the skier will land"),
                           QStringLiteral("Input the skier path line"), 1, kLatticeSize);
        canvas_->clear();
        for (int k = 0; k < kLatticeSize; ++k)
            lineNumberLabels_[std::size_t(k)]->hide();
        if (line)
            for (int i = 0; i < kLatticeSize; ++i)
                accuracyLabels_[std::size_t(*line - 1 + kLatticeSize * i)]->show();
    }
    Show_grid();
}

// ---------------------------------------------------------------- check points

void GridSetupScreen::buildCheckPointControls(QBoxLayout* column)
{
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("checkPointPanel"));
    auto* rows = new QVBoxLayout(strip);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->setSpacing(2);

    auto* top = new QHBoxLayout;
    qualityLabel_ = makeLabel(strip, "lblGridQuality", kNoFitText);
    qualityLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lensCheck_ = new QCheckBox(QStringLiteral("Correct the lens"), strip);
    lensCheck_->setObjectName(QStringLiteral("chkLensCorrection"));
    connect(lensCheck_, &QCheckBox::toggled, this, &GridSetupScreen::lensSwitched);
    top->addWidget(qualityLabel_, 1);
    top->addWidget(lensCheck_);
    rows->addLayout(top);

    auto* bottom = new QHBoxLayout;
    checkPointTable_ = new QTableWidget(0, ColumnCount, strip);
    checkPointTable_->setObjectName(QStringLiteral("checkPointTable"));
    checkPointTable_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Survey X (m)"),
                                                 QStringLiteral("Survey Y (m)"), QStringLiteral("Picture x"),
                                                 QStringLiteral("Picture y"), QStringLiteral("Residual (cm)"),
                                                 QStringLiteral("Leave-one-out (cm)"), QStringLiteral("Note")});
    checkPointTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
    checkPointTable_->setSelectionMode(QAbstractItemView::SingleSelection);
    checkPointTable_->verticalHeader()->setDefaultSectionSize(20);
    checkPointTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    checkPointTable_->horizontalHeader()->setStretchLastSection(true);
    checkPointTable_->setFixedHeight(110);
    connect(checkPointTable_, &QTableWidget::cellChanged, this, &GridSetupScreen::checkPointCellEdited);
    connect(checkPointTable_, &QTableWidget::itemSelectionChanged, this, &GridSetupScreen::checkPointRowChosen);
    bottom->addWidget(checkPointTable_, 1);

    auto* buttons = new QVBoxLayout;
    addCheckPointButton_ =
        makeButton(strip, "btnAddCheckPoint", QStringLiteral("Add Point"), this, &GridSetupScreen::addCheckPoint);
    removeCheckPointButton_ =
        makeButton(strip, "btnRemoveCheckPoint", QStringLiteral("Remove Point"), this, &GridSetupScreen::removeCheckPoint);
    buttons->addWidget(addCheckPointButton_);
    buttons->addWidget(removeCheckPointButton_);
    buttons->addStretch(1);
    bottom->addLayout(buttons);
    rows->addLayout(bottom);
    column->addWidget(strip);

    for (int k = 0; k < kMaxCheckPoints; ++k) {
        QLabel* l = canvas_->addLabel(QStringLiteral("CheckPointName%1").arg(k + 1));
        // Light on dark reads on water, sky and shore alike.
        l->setStyleSheet(QStringLiteral("color: white; background-color: rgba(0, 0, 0, 150); padding: 0 2px;"));
        l->hide();
        checkPointNames_[std::size_t(k)] = l;
    }
}

void GridSetupScreen::showCheckPoints()
{
    const GridState& g = station_.grids();
    const QScopedValueRollback<bool> filling(filling_, true);
    const QSignalBlocker quiet(checkPointTable_);
    const int count = int(g.check_points.size());
    checkPointTable_->setRowCount(count);
    // Items are kept and rewritten, never replaced: this runs inside the table's own
    // change signal, where the edited item must outlive the call.
    auto cell = [this](int row, int column, const QString& text, bool editable) {
        QTableWidgetItem* item = checkPointTable_->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            checkPointTable_->setItem(row, column, item);
        }
        Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        if (editable)
            f |= Qt::ItemIsEditable;
        item->setFlags(f);
        item->setText(text);
        item->setToolTip(QString());
        item->setData(Qt::ForegroundRole, QVariant());
        return item;
    };
    auto number = [](double v) { return std::isfinite(v) ? QString::number(v, 'g', 12) : QString(); };
    for (int r = 0; r < count; ++r) {
        const CheckPoint& c = g.check_points[r];
        cell(r, ColName, c.name, true);
        cell(r, ColSurveyX, number(c.survey_x), true);
        cell(r, ColSurveyY, number(c.survey_y), true);
        cell(r, ColPictureX, placed(c) ? paddedNumber(c.screen_x).trimmed() : QString(), false);
        cell(r, ColPictureY, placed(c) ? paddedNumber(c.screen_y).trimmed() : QString(), false);
        const int at = kBuoyCount + r;
        const PointAgreement* a = fit_ && at < fit_->count() ? &fit_->points[at] : nullptr;
        cell(r, ColResidual, a ? centimetres(a->residual) : QString(), false);
        cell(r, ColLeaveOneOut, a && a->leaveOneOut ? centimetres(*a->leaveOneOut) : QString(), false);
        cell(r, ColNote, a && a->flagged ? kMisplacedText : QString(), false);
        if (a) {
            const QColor colour = agreementColour(*a);
            for (int col : {ColResidual, ColLeaveOneOut, ColNote})
                checkPointTable_->item(r, col)->setForeground(colour);
            if (a->flagged)
                for (int col = 0; col < ColumnCount; ++col)
                    checkPointTable_->item(r, col)->setToolTip(kMisplacedText);
        }
    }
    if (selectedCheckPoint_ >= count)
        selectedCheckPoint_ = -1;
    if (selectedCheckPoint_ >= 0)
        checkPointTable_->selectRow(selectedCheckPoint_);
    addCheckPointButton_->setEnabled(count < kMaxCheckPoints);
    removeCheckPointButton_->setEnabled(selectedCheckPoint_ >= 0);

    const bool lensPossible = kBuoyCount + count >= 6;
    {
        const QSignalBlocker quietLens(lensCheck_);
        lensCheck_->setChecked(g.lens_wanted && lensPossible);
    }
    lensCheck_->setEnabled(lensPossible);
    lensCheck_->setToolTip(lensPossible ? QStringLiteral("Estimate the lens's radial distortion with the grid; "
                                                         "kept only where it lowers the leave-one-out errors")
                                        : kLensNeedsPointsText);

    QString quality = fit_ ? qualityLine(*fit_) : kNoFitText;
    if (fit_)
        for (int b = buoy::UpperRight; b <= buoy::LowerLeft && b - 1 < fit_->count(); ++b)
            if (fit_->points[b - 1].flagged)
                quality += QStringLiteral("\n%1: %2").arg(fit_->points[b - 1].name, kMisplacedText);
    qualityLabel_->setText(quality);
}

void GridSetupScreen::addCheckPoint()
{
    GridState& g = station_.grids();
    if (g.check_points.size() >= kMaxCheckPoints)
        return;
    CheckPoint c;
    for (int k = 1; c.name.isEmpty(); ++k) {
        const QString name = QStringLiteral("C%1").arg(k);
        if (std::none_of(g.check_points.begin(), g.check_points.end(),
                         [&name](const CheckPoint& p) { return p.name.compare(name, Qt::CaseInsensitive) == 0; }))
            c.name = name;
    }
    const double none = std::numeric_limits<double>::quiet_NaN();
    c.screen_x = c.screen_y = c.survey_x = c.survey_y = none;
    g.check_points.append(c);
    markIncomplete();
    selectedCheckPoint_ = int(g.check_points.size()) - 1;
    showCheckPoints();
    checkPointRowChosen();
}

void GridSetupScreen::removeCheckPoint()
{
    GridState& g = station_.grids();
    const int index = selectedCheckPoint_;
    if (index < 0 || index >= g.check_points.size())
        return;
    g.check_points.removeAt(index);
    selectedCheckPoint_ = -1;
    markIncomplete();
    showCheckPoints();
    checkPointTable_->clearSelection();
    drawBuoys();
}

void GridSetupScreen::checkPointRowChosen()
{
    const QModelIndexList rows = checkPointTable_->selectionModel()->selectedRows();
    selectedCheckPoint_ = rows.isEmpty() ? -1 : rows.first().row();
    removeCheckPointButton_->setEnabled(selectedCheckPoint_ >= 0);
    if (selectedCheckPoint_ < 0)
        return;
    // The next click places this point, not a buoy.
    for (BuoyControls& b : buoys_) {
        b.option->setAutoExclusive(false);
        b.option->setChecked(false);
        b.option->setAutoExclusive(true);
    }
}

void GridSetupScreen::checkPointCellEdited(int row, int column)
{
    GridState& g = station_.grids();
    if (filling_ || row < 0 || row >= g.check_points.size())
        return;
    CheckPoint& c = g.check_points[row];
    const QString text = checkPointTable_->item(row, column)->text().trimmed();
    Prompter& p = station_.prompter();
    const QString title = QStringLiteral("Check Point");
    QString refusal;
    if (column == ColName) {
        const bool taken = std::any_of(g.check_points.begin(), g.check_points.end(), [&](const CheckPoint& o) {
            return &o != &c && o.name.compare(text, Qt::CaseInsensitive) == 0;
        });
        if (!isCheckPointName(text))
            refusal = QStringLiteral("A check point's name is 1 to 12 letters, digits, '-' or '_', and not UR, LR, UL "
                                     "or LL: \"%1\" is not one").arg(text);
        else if (taken)
            refusal = QStringLiteral("Another check point is already named %1").arg(text);
        else
            c.name = text;
    } else if (column == ColSurveyX || column == ColSurveyY) {
        if (!holdsNumber(text)) {
            refusal = QStringLiteral("The survey %1 of %2 must be a number of metres, not \"%3\"")
                          .arg(column == ColSurveyX ? QStringLiteral("X") : QStringLiteral("Y"), c.name, text);
        } else {
            (column == ColSurveyX ? c.survey_x : c.survey_y) = leadingNumber(text);
        }
    } else {
        return;
    }
    if (!refusal.isEmpty())
        p.message(refusal, title, Icon::Exclamation);
    else
        markIncomplete();
    // A refused edit shows the figure the point keeps.
    showCheckPoints();
}

void GridSetupScreen::lensSwitched(bool on)
{
    station_.grids().lens_wanted = on;
    markIncomplete();
    showCheckPoints();
}

void GridSetupScreen::moveCheckPoint(int index, const QPointF& to)
{
    GridState& g = station_.grids();
    if (index < 0 || index >= g.check_points.size())
        return;
    CheckPoint& c = g.check_points[index];
    if (gridLockCheck_->isChecked() && placed(c)) {
        // Locked, the whole grid moves with the point: buoys and check points alike.
        moveBuoys({}, false, to.x() - c.screen_x, to.y() - c.screen_y);
    } else {
        canvas_->setDrawWidth(2);
        const double eraseReach = markerSizeBar_->maximum();
        const QColor erase = PictureCanvas::magenta();
        if (placed(c)) {
            canvas_->circle(c.screen_x, c.screen_y, marker_radius_, erase);
            canvas_->line(c.screen_x - eraseReach, c.screen_y, c.screen_x + eraseReach, c.screen_y, erase);
            canvas_->line(c.screen_x, c.screen_y - eraseReach, c.screen_x, c.screen_y + eraseReach, erase);
        }
        c.screen_x = to.x();
        c.screen_y = to.y();
        const double size = markerSizeBar_->value();
        canvas_->line(to.x() - size, to.y(), to.x() + size, to.y(), Qt::white);
        canvas_->line(to.x(), to.y() - size, to.x(), to.y() + size, Qt::white);
    }
    QLabel* name = checkPointNames_[std::size_t(index)];
    name->setText(c.name);
    name->adjustSize();
    canvas_->placeItem(name, c.screen_x + 60, c.screen_y + 60);
    name->show();
    markIncomplete();
    showCheckPoints();
}

bool GridSetupScreen::refuseIncompleteCheckPoints()
{
    for (const CheckPoint& c : station_.grids().check_points) {
        QString lack;
        if (!surveyed(c))
            lack = QStringLiteral("Type the survey X and Y of check point %1, or remove it").arg(c.name);
        else if (!placed(c))
            lack = QStringLiteral("Place check point %1 on the picture, or remove it").arg(c.name);
        if (!lack.isEmpty()) {
            station_.prompter().message(lack, QStringLiteral("Error Message"), Icon::Exclamation);
            return true;
        }
    }
    return false;
}

void GridSetupScreen::assessWorkingGrid()
{
    GridState& g = station_.grids();
    fit_.reset();
    if (g.grid_set_up[shownGrid_]) {
        GridFit fit = assessGrid(surveyedPoints(g), PlaneMapping::fromGrid(g), g.lens_wanted);
        if (fit.ok)
            fit_ = std::move(fit);
    }
    showCheckPoints();
}

LensCorrection GridSetupScreen::lensFrame() const
{
    if (canvas_->hasPicture())
        return LensCorrection::forPicture(canvas_->picture().width(), canvas_->picture().height());
    // Without the picture, the frame the grid was fitted in last.
    LensCorrection frame = station_.grids().lens;
    frame.k1 = 0;
    return frame;
}

void GridSetupScreen::drawAgreementRings(double markerSize, bool cross)
{
    const GridState& g = station_.grids();
    const QColor colour = markerColour();
    for (int k = 0; k < kMaxCheckPoints; ++k) {
        QLabel* name = checkPointNames_[std::size_t(k)];
        name->hide();
        if (k >= g.check_points.size() || !placed(g.check_points[k]))
            continue;
        const CheckPoint& c = g.check_points[k];
        canvas_->buoyMarker({c.screen_x, c.screen_y}, markerSize, cross, colour, true);
        name->setText(c.name);
        name->adjustSize();
        canvas_->placeItem(name, c.screen_x + 60, c.screen_y + 60);
        name->show();
    }
    if (!fit_)
        return;
    const QList<SurveyedPoint> points = surveyedPoints(g);
    const double ring = (cross ? markerSize : 2 * markerSize) + 45;
    canvas_->setDrawWidth(3);
    for (int i = 0; i < fit_->count() && i < points.size(); ++i) {
        const QPointF at = points[i].screen;
        if (std::isfinite(at.x()) && std::isfinite(at.y()))
            canvas_->circle(at.x(), at.y(), ring, agreementColour(fit_->points[i]));
    }
    canvas_->setDrawWidth(2);
}

void GridSetupScreen::showIncomplete()
{
    setStateIcon(false);
    accuracyButton_->hide();
    accuracyDisplayGroup_->hide();
    accuracyModeGroup_->hide();
    clear_accuracy_indicator();
    station_.grids().all_grids_set_up = false;
}

void GridSetupScreen::markIncomplete()
{
    GridState& g = station_.grids();
    if (filling_)
        return;
    fit_.reset();
    if (g.grid_set_up[shownGrid_]) {
        g.grid_set_up[shownGrid_] = false;
        emit station_.gridStateChanged(shownGrid_);
    }
    showIncomplete();
}

} // namespace tarvex
