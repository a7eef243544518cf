#include "measure/measure_screen.h"
#include "common/text_file.h"
#include "station/screen_names.h"
#include "common/twips.h"
#include "common/colours.h"
#include "widgets/text_colour.h"

#include "common/text_forms.h"
#include "grid/grid_geometry.h"
#include "widgets/drag_handle.h"
#include "widgets/picture_canvas.h"
#include "measure/results_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace tarvex {

const QString MeasureScreen::kSnapshotWarning =
    QStringLiteral("Warning, snapshot file has not been saved in the \\txio directory");
const QString MeasureScreen::kSavePictureQuestion = QStringLiteral("Do you want to save this picture?");
const QString MeasureScreen::kUnmappableText = QStringLiteral(
    "This point cannot be measured with the current grid (it lies on or beyond the grid's horizon). "
    "Mark the impact again, or set up the grid again.");

namespace {

const QString kVerify = QStringLiteral("Verify");
const QString kVerifyOff = QStringLiteral("Verify off");
const QString kTitle = screen::Measure;

constexpr int kCrossSizeMin = 15;
constexpr int kCrossSizeMax = 120;
constexpr int kCrossSizeStep = 15;
constexpr int kCrossSizeInitial = 100;


} // namespace

// ---------------------------------------------------------------- controls

MeasureScreen::MeasureScreen(Station& station) : Screen(station)
{
    setWindowTitle(kTitle);
    buildControls();
    connect(&station_, &Station::pictureLineRequested, this,
            [this](const QLineF& line, const QColor& colour, int width) { canvas_->stroke(line, colour, width); });
    connect(&station_, &Station::gridDescriptionChanged, this, &MeasureScreen::setGridDescription);
    connect(&station_, &Station::gridLoaded, this,
            [this](int n) { setGridDescription(station_.grids().grid_description[n]); });
    connect(&station_, &Station::gridSetupLeft, this, &MeasureScreen::showBuoyLabels);
}

void MeasureScreen::buildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    menu_ = new QMenuBar(this);
    auto addAction = [this](const char* name, const QString& caption, void (MeasureScreen::*slot)()) {
        auto* a = new QAction(caption, menu_);
        a->setObjectName(QString::fromLatin1(name));
        menu_->addAction(a);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    addAction("SavePict", QStringLiteral("&Save Picture"), &MeasureScreen::SavePict_Click);
    addAction("LoadPict", QStringLiteral("&Load Picture"), &MeasureScreen::LoadPict_Click);
    addAction("mnuPaste", QStringLiteral("&Paste"), &MeasureScreen::mnuPaste_Click);
    addAction("mnuResults", QStringLiteral("&Results"), &MeasureScreen::mnuResults_Click);
    addAction("mnuCalibrate", QStringLiteral("&Calibrate"), &MeasureScreen::mnuCalibrate_Click);
    addAction("mnuCapture", QStringLiteral("C&apture Next Jump"), &MeasureScreen::mnuCapture_Click);
    addAction("mnuViewLog", QStringLiteral("&View Log"), &MeasureScreen::mnuViewLog_Click);
    addAction("Exit", QStringLiteral("E&xit"), &MeasureScreen::Exit_Click);
    outer->setMenuBar(menu_);

    auto* body = new QHBoxLayout;
    outer->addLayout(body, 1);
    canvas_ = new PictureCanvas(this);
    body->addWidget(canvas_, 1);
    // The read-out follows the mouse without a button held.
    canvas_->surface()->setMouseTracking(true);
    canvas_->surface()->installEventFilter(this);
    canvas_->setOutline(true);
    connect(canvas_, &PictureCanvas::mousePressed, this,
            [this](double x, double y, Qt::MouseButton) { pictureMouseDown(x, y); });
    connect(canvas_, &PictureCanvas::mouseMoved, this,
            [this](double x, double y, Qt::MouseButtons) { pictureMouseMove(x, y); });

    lineHorizontalImpact = new LineShape(QStringLiteral("lineHorizontalImpact"), canvas_);
    lineVerticalImpact = new LineShape(QStringLiteral("lineVerticalImpact"), canvas_);
    lineSplashIndicator = new LineShape(QStringLiteral("lineSplashIndicator"), canvas_);

    maxbuoy = canvas_->addLabel(QStringLiteral("maxbuoy"));
    maxbuoym = canvas_->addLabel(QStringLiteral("maxbuoym"));
    minbuoy = canvas_->addLabel(QStringLiteral("minbuoy"));
    minbuoym = canvas_->addLabel(QStringLiteral("minbuoym"));
    for (QLabel* l : {maxbuoy, maxbuoym, minbuoy, minbuoym}) {
        l->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
        l->setMinimumWidth(110);
    }

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("controlPanel"));
    panel->setFixedWidth(300);
    body->addWidget(panel);
    buildPanel(panel);
    buildFloating();

    loadTimer = new QTimer(this);
    loadTimer->setObjectName(QStringLiteral("loadTimer"));
    loadTimer->setInterval(1000);
    connect(loadTimer, &QTimer::timeout, this, &MeasureScreen::loadTimer_Timer);
}

void MeasureScreen::buildPanel(QWidget* panel)
{
    auto* col = new QVBoxLayout(panel);
    auto button = [this, panel](const char* name, const QString& caption, void (MeasureScreen::*slot)()) {
        auto* b = new QPushButton(caption, panel);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto box = [panel](const char* name, const QString& text) {
        auto* e = new QLineEdit(text, panel);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    auto label = [panel](const char* name, const QString& text) {
        auto* l = new QLabel(text, panel);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };

    Set_grid = button("Set_grid", gridChoiceCaption(1), &MeasureScreen::Set_grid_Click);
    Show_grid = button("Show_grid", QStringLiteral("Show Grid"), &MeasureScreen::Show_grid_Click);
    Unfreeze = button("Unfreeze", QStringLiteral("Clear"), &MeasureScreen::Unfreeze_Click);
    Record = button("Record", QStringLiteral("Record &Jump"), &MeasureScreen::Record_Click);
    verify = button("verify", kVerify, &MeasureScreen::verify_Click);
    auto* gridRow = new QHBoxLayout;
    gridRow->addWidget(Set_grid);
    gridRow->addWidget(Show_grid);
    col->addLayout(gridRow);
    auto* actionRow = new QHBoxLayout;
    actionRow->addWidget(Record);
    actionRow->addWidget(Unfreeze);
    actionRow->addWidget(verify);
    col->addLayout(actionRow);

    // First outcome group: exactly one of the three, Qt's own exclusivity inside the frame.
    Frame1 = new QGroupBox(panel);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* frameLayout = new QHBoxLayout(Frame1);
    auto option = [this](QWidget* parent, const char* name, const QString& caption, void (MeasureScreen::*slot)()) {
        auto* r = new QRadioButton(caption, parent);
        r->setObjectName(QString::fromLatin1(name));
        connect(r, &QRadioButton::clicked, this, slot);
        return r;
    };
    optJumpOK = option(Frame1, "optJumpOK", QStringLiteral("Jump OK"), &MeasureScreen::optJumpOK_Click);
    Pass = option(Frame1, "Pass", QStringLiteral("Pass"), &MeasureScreen::Pass_Click);
    Fall = option(Frame1, "Fall", QStringLiteral("Fall"), &MeasureScreen::Fall_Click);
    for (QRadioButton* r : {optJumpOK, Pass, Fall})
        frameLayout->addWidget(r);
    col->addWidget(Frame1);

    // Second group: at most one, and the program may switch the chosen one off again, which
    // Qt's exclusive radio buttons refuse; exclusivity is kept by hand.
    auto* second = new QWidget(panel);
    second->setObjectName(QStringLiteral("outcomeOptions"));
    auto* secondLayout = new QGridLayout(second);
    secondLayout->setContentsMargins(0, 0, 0, 0);
    O_reride = option(second, "O_reride", QStringLiteral("Opt. reride"), &MeasureScreen::O_reride_Click);
    M_Reride = option(second, "M_Reride", QStringLiteral("Man. Reride"), &MeasureScreen::M_Reride_Click);
    Other_Grid = option(second, "Other_Grid", QStringLiteral("Other Grid"), &MeasureScreen::Other_Grid_Click);
    Make_comment = option(second, "Make_comment", QStringLiteral("Comment"), &MeasureScreen::Make_comment_Click);
    const std::array<QRadioButton*, 4> group2{O_reride, M_Reride, Other_Grid, Make_comment};
    for (std::size_t i = 0; i < group2.size(); ++i) {
        QRadioButton* r = group2[i];
        r->setAutoExclusive(false);
        secondLayout->addWidget(r, int(i / 2), int(i % 2));
        // An option button stays chosen when clicked again; choosing one drops the others.
        connect(r, &QRadioButton::clicked, this, [r](bool checked) {
            if (!checked)
                r->setChecked(true);
        });
        connect(r, &QRadioButton::toggled, this, [group2, r](bool on) {
            if (!on)
                return;
            for (QRadioButton* other : group2)
                if (other != r)
                    other->setChecked(false);
        });
    }
    col->addWidget(second);

    Comment = box("Comment", QString());
    Comment->hide();

    IWSFlabel = label("IWSFlabel", QStringLiteral("IWSF Official Distance"));
    distance = box("distance", QStringLiteral("m"));
    AWSAlabel = label("AWSAlabel", QStringLiteral("AWSA Official Distance"));
    distance_ft = box("distance_ft", QStringLiteral("ft"));
    col->addWidget(IWSFlabel);
    col->addWidget(distance);
    col->addWidget(AWSAlabel);
    col->addWidget(distance_ft);
    provisionalDistance = new QLabel(panel);
    provisionalDistance->setObjectName(QStringLiteral("provisionalDistance"));
    provisionalDistance->setWordWrap(true);
    provisionalDistance->setStyleSheet(QStringLiteral("color: #8a4b00;"));
    provisionalDistance->hide();
    col->addWidget(provisionalDistance);

    Skier_name = new QComboBox(panel);
    Skier_name->setObjectName(QStringLiteral("Skier_name"));
    Skier_name->setEditable(true);
    Skier_name->setInsertPolicy(QComboBox::NoInsert);
    Skier_name->installEventFilter(this);
    connect(Skier_name, &QComboBox::editTextChanged, this, [this] { Skier_name_Change(); });
    connect(Skier_name, &QComboBox::activated, this, [this] { Skier_name_Click(); });
    btnGetName = button("btnGetName", QStringLiteral("Name"), &MeasureScreen::btnGetName_Click);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(Skier_name, 1);
    nameRow->addWidget(btnGetName);
    col->addLayout(nameRow);
    Jump_no = box("Jump_no", QStringLiteral("Jump"));
    col->addWidget(Jump_no);

    barefoot_indicator = box("barefoot_indicator", QStringLiteral("Barefoot Jump"));
    barefoot_indicator->setReadOnly(true);
    barefoot_indicator->hide();
    col->addWidget(barefoot_indicator);

    xtwips = box("xtwips", QString());
    ytwips = box("ytwips", QString());
    xposition = box("xposition", QString());
    yposition = box("yposition", QString());
    VerifyDistance = box("VerifyDistance", QString());
    auto* readout = new QGridLayout;
    readout->addWidget(xtwips, 0, 0);
    readout->addWidget(ytwips, 0, 1);
    readout->addWidget(xposition, 1, 0);
    readout->addWidget(yposition, 1, 1);
    readout->addWidget(VerifyDistance, 2, 0, 1, 2);
    col->addLayout(readout);
    for (QLineEdit* e : {xtwips, ytwips, xposition, yposition, VerifyDistance})
        e->setReadOnly(true);

    auto icon = [this, panel](const char* name, const char* file, const QString& tip, void (MeasureScreen::*slot)()) {
        auto* b = new QPushButton(panel);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(file)));
        b->setIconSize(QSize(32, 32));
        b->setFlat(true);
        b->setToolTip(tip);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    ClipSnapShot = icon("ClipSnapShot", "clipboard.png", QStringLiteral("Freeze the clipboard picture"),
                        &MeasureScreen::ClipSnapShot_Click);
    ImgSnapShot = icon("ImgSnapShot", "snapshot.png", QStringLiteral("Freeze the snapshot picture"),
                       &MeasureScreen::ImgSnapShot_Click);
    cbAutoLoadClipboard = new QCheckBox(QStringLiteral("Auto Load"), panel);
    cbAutoLoadClipboard->setObjectName(QStringLiteral("cbAutoLoadClipboard"));
    connect(cbAutoLoadClipboard, &QCheckBox::toggled, this, [this] { cbAutoLoadClipboard_Click(); });
    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(ClipSnapShot);
    sourceRow->addWidget(ImgSnapShot);
    sourceRow->addWidget(cbAutoLoadClipboard, 1);
    col->addLayout(sourceRow);
    col->addStretch(1);
}

void MeasureScreen::buildFloating()
{
    // The floating handles and what they carry sit over the picture so the operator can drag
    // them out of the way of the landing area.
    auto handleLabel = [this](const char* name, const QString& caption, QRect r) {
        return DragHandle::makeLabel(this, QString::fromLatin1(name), caption, r);
    };
    auto arrow = [this](const char* name, const char* icon, QRect r, void (MeasureScreen::*slot)()) {
        QPushButton* b = makeIconButton(this, QString::fromLatin1(name), QString::fromLatin1(icon), r);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    AdjustmentLabel = handleLabel("AdjustmentLabel", QStringLiteral("Micro-Adjust (drag-it)"), {20, 40, 150, 18});
    AdjustUp = arrow("AdjustUp", "arrow_up.png", {70, 60, 28, 28}, &MeasureScreen::AdjustUp_Click);
    AdjustLeft = arrow("AdjustLeft", "arrow_left.png", {40, 90, 28, 28}, &MeasureScreen::AdjustLeft_Click);
    AdjustRight = arrow("AdjustRight", "arrow_right.png", {100, 90, 28, 28}, &MeasureScreen::AdjustRight_Click);
    AdjustDown = arrow("AdjustDown", "arrow_down.png", {70, 120, 28, 28}, &MeasureScreen::AdjustDown_Click);

    CrossLabel = handleLabel("CrossLabel", QStringLiteral("Adjust Cross Size (drag-it)"), {20, 160, 170, 18});
    CrossSize = new QScrollBar(Qt::Horizontal, this);
    CrossSize->setObjectName(QStringLiteral("CrossSize"));
    CrossSize->setRange(kCrossSizeMin, kCrossSizeMax);
    CrossSize->setSingleStep(kCrossSizeStep);
    CrossSize->setPageStep(kCrossSizeStep);
    CrossSize->setValue(kCrossSizeInitial);
    CrossSize->setGeometry(20, 180, 170, 18);

    FrozenSign = handleLabel("FrozenSign", QStringLiteral("FROZEN"), {320, 40, 120, 28});
    FrozenSign->setStyleSheet(QStringLiteral("color: red; font-weight: bold; font-size: 18px;"));
    UnofficialJump = new QLabel(QStringLiteral("UNOFFICIAL JUMP"), this);
    UnofficialJump->setObjectName(QStringLiteral("UnofficialJump"));
    UnofficialJump->setGeometry(460, 40, 220, 28);
    UnofficialJump->setStyleSheet(QStringLiteral("color: red; font-weight: bold; font-size: 18px;"));

    gridlabel = handleLabel("gridlabel", QStringLiteral("Grid Description (drag-it)"), {20, 220, 300, 18});
    grid_description = new QLineEdit(this);
    grid_description->setObjectName(QStringLiteral("grid_description"));
    grid_description->setGeometry(20, 240, 300, 22);
    grid_description->setReadOnly(true);
    gif_file_name = new QLineEdit(QStringLiteral(".gif file name"), this);
    gif_file_name->setObjectName(QStringLiteral("gif_file_name"));
    gif_file_name->setGeometry(20, 262, 300, 22);
    gif_file_name->setReadOnly(true);
    gif_file_name->hide();

    new DragHandle(AdjustmentLabel, {AdjustmentLabel, AdjustUp, AdjustDown, AdjustLeft, AdjustRight});
    new DragHandle(CrossLabel, {CrossLabel, CrossSize});
    new DragHandle(FrozenSign, {FrozenSign});
    new DragHandle(gridlabel, {gridlabel, grid_description, gif_file_name});
    for (QWidget* w : std::initializer_list<QWidget*>{AdjustmentLabel, AdjustUp, AdjustDown, AdjustLeft, AdjustRight,
                                                      CrossLabel, CrossSize, FrozenSign, UnofficialJump, gridlabel,
                                                      grid_description, gif_file_name})
        w->raise();
}

// ---------------------------------------------------------------- load and activation

void MeasureScreen::load()
{
    const GridState& g = station_.grids();
    Set_grid->setVisible(g.grids_in_use > 1);
    Set_grid->setText(gridChoiceCaption(g.current_grid));
    optJumpOK->setChecked(true);
    Comment->clear();
    state_.LastMarkX = state_.LastMarkY = 0;
    state_.SplashX = state_.SplashY = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{grid_description, xtwips, ytwips, xposition, yposition,
                                                      VerifyDistance, FrozenSign, UnofficialJump})
        w->hide();
    for (LineShape* l : {lineHorizontalImpact, lineVerticalImpact, lineSplashIndicator})
        l->setColour(Qt::white);
    for (QWidget* w : std::initializer_list<QWidget*>{AdjustUp, AdjustDown, AdjustLeft, AdjustRight, AdjustmentLabel})
        w->hide();
    // Like the grid setup screen: the picture and its right-hand buoys need the room.
    setWindowState(windowState() | Qt::WindowMaximized);
}

void MeasureScreen::openFrame(const FrameHandOver& handOver) { noteFrameHandOver(station_.settings(), handOver); }

void MeasureScreen::showEvent(QShowEvent* e)
{
    Screen::showEvent(e);
    skipNextActivation_ = true;
    Form_Activate();
}

void MeasureScreen::changeEvent(QEvent* e)
{
    Screen::changeEvent(e);
    if (e->type() != QEvent::ActivationChange)
        return;
    if (!isActiveWindow()) {
        skipNextActivation_ = false;
        return;
    }
    if (skipNextActivation_) {
        skipNextActivation_ = false;
        return;
    }
    if (isVisible())
        Form_Activate();
}

void MeasureScreen::Form_Activate()
{
    // The grid count and the current grid may have changed on other screens since load;
    // the selector must never name a grid other than the one measured with.
    const GridState& g = station_.grids();
    Set_grid->setVisible(g.grids_in_use > 1);
    Set_grid->setText(gridChoiceCaption(g.current_grid));

    if (station_.settings().arrival == Arrival::FrameChosen) {
        const QString frame = station_.programFile(QStringLiteral("currentcapture.bmp"));
        const QFileInfo info(frame);
        const QString seen = frame + QLatin1Char('|') + info.lastModified().toString(Qt::ISODateWithMs);
        // Closing the message re-activates the screen; the same missing or broken frame is
        // reported once, not again on every activation.
        if (seen != unreadableFrame_) {
            if (canvas_->loadPicture(frame, nullptr)) {
                unreadableFrame_.clear();
                takePictureSize();
            } else {
                unreadableFrame_ = seen;
                loadPictureFile(frame);
            }
        }
    } else {
        unreadableFrame_.clear();
    }
    show_the_grid();
}

bool MeasureScreen::loadPictureFile(const QString& path)
{
    QString error;
    if (!canvas_->loadPicture(path, &error)) {
        station_.prompter().message(error, kTitle, Icon::Exclamation);
        return false;
    }
    takePictureSize();
    show_the_grid();
    return true;
}

void MeasureScreen::takePictureSize()
{
    picture_width_twips_ = pictureTwipsText(canvas_->picture().width());
    picture_height_twips_ = pictureTwipsText(canvas_->picture().height());
}

// ---------------------------------------------------------------- overlay

QColor MeasureScreen::overlayColour() const
{
    const AppSettings& s = station_.settings();
    return tarvex::overlayColour(s.MessageColorName, s.MessageColor);
}

int MeasureScreen::crossSize() const { return CrossSize->value(); }

void MeasureScreen::show_the_grid()
{
    const AppSettings& s = station_.settings();
    const GridState& g = station_.grids();
    canvas_->clear();
    canvas_->setDrawWidth(2);
    const QColor c = overlayColour();
    const double size = crossSize();
    const bool cross = s.MarkerStyle == QLatin1String("cross");
    for (int b : {buoy::UpperLeft, buoy::UpperRight, buoy::LowerLeft, buoy::LowerRight})
        canvas_->buoyMarker({g.buoy_screen_x[b], g.buoy_screen_y[b]}, size, cross, c, true);
    if (!s.LineControlOff) {
        canvas_->line(g.buoy_screen_x[buoy::UpperRight], g.buoy_screen_y[buoy::UpperRight],
                      g.buoy_screen_x[buoy::LowerRight], g.buoy_screen_y[buoy::LowerRight], Qt::white);
        canvas_->line(g.buoy_screen_x[buoy::UpperLeft], g.buoy_screen_y[buoy::UpperLeft],
                      g.buoy_screen_x[buoy::LowerLeft], g.buoy_screen_y[buoy::LowerLeft], Qt::white);
    }
    auto labels = [&](int b, QLabel* feet, QLabel* metres) {
        const double d = jumpToBuoyDistance(g, b);
        const double x = g.buoy_screen_x[b] - 100, y = g.buoy_screen_y[b];
        feet->setText(buoyFeetText(d));
        canvas_->placeItem(feet, x, y - 400);
        metres->setText(buoyMetresText(d));
        canvas_->placeItem(metres, x, y - 600);
    };
    labels(buoy::UpperLeft, maxbuoy, maxbuoym);
    labels(buoy::UpperRight, minbuoy, minbuoym);
    grid_description->setText(g.grid_description[g.current_grid]);
    grid_description->show();
}

void MeasureScreen::Show_grid_Click() { show_the_grid(); }

void MeasureScreen::clearBuoyLabels()
{
    for (QLabel* l : {maxbuoy, maxbuoym, minbuoy, minbuoym})
        l->clear();
}

void MeasureScreen::Set_grid_Click()
{
    GridState& g = station_.grids();
    const GridChoice next = nextGridChoice(Set_grid->text(), g.grids_in_use);
    Set_grid->setText(next.caption);
    canvas_->clear();
    clearBuoyLabels();
    g.switchToGrid(next.grid);
    show_the_grid();
}

// ---------------------------------------------------------------- marking

void MeasureScreen::hideMarker()
{
    for (LineShape* l : {lineHorizontalImpact, lineVerticalImpact, lineSplashIndicator})
        l->hide();
    provisionalDistance->hide();
}

void MeasureScreen::showProvisional()
{
    const AppSettings& s = station_.settings();
    const auto text = provisionalFigures(station_.grids(), state_.impact(), tournamentType(s),
                                         !barefoot_indicator->isHidden());
    provisionalDistance->setText(text.value_or(QString()));
    provisionalDistance->setVisible(text.has_value());
}

bool MeasureScreen::DrawImpactMark()
{
    const AppSettings& s = station_.settings();
    const QPointF impact = state_.impact();
    const auto foot = splashFoot(station_.grids(), impact, tournamentType(s), s.RightToLeft);
    if (!foot) {
        // A marker whose distance cannot be computed would only mislead the operator.
        hideMarker();
        station_.prompter().message(kUnmappableText, kTitle, Icon::Exclamation);
        return false;
    }
    const double size = crossSize();
    lineHorizontalImpact->setLine(horizontalArm(impact, size, s.RightToLeft));
    lineVerticalImpact->setLine(verticalBar(impact, size));
    lineSplashIndicator->setLine(splashIndicatorLine(*foot));
    for (LineShape* l : {lineHorizontalImpact, lineVerticalImpact, lineSplashIndicator}) {
        l->show();
        l->raise();
    }
    state_.LastMarkX = impact.x();
    state_.LastMarkY = impact.y();
    state_.SplashX = foot->x();
    state_.SplashY = foot->y();
    showProvisional();
    return true;
}

void MeasureScreen::pictureMouseDown(double x, double y)
{
    distance->setText(QStringLiteral("m"));
    distance_ft->setText(QStringLiteral("ft"));
    state_.ImpactX = x;
    state_.ImpactY = y;
    state_.Marked = true;
    canvas_->setDrawWidth(2);
    DrawImpactMark();
    for (QWidget* w : std::initializer_list<QWidget*>{AdjustUp, AdjustDown, AdjustLeft, AdjustRight, AdjustmentLabel})
        w->show();
}

void MeasureScreen::microAdjust(double dx, double dy)
{
    // Steps from where the marker was last drawn; the other coordinate keeps the impact's.
    if (dx != 0)
        state_.ImpactX = state_.LastMarkX + dx;
    if (dy != 0)
        state_.ImpactY = state_.LastMarkY + dy;
    canvas_->setDrawWidth(2);
    DrawImpactMark();
}

void MeasureScreen::pictureMouseMove(double x, double y)
{
    const AppSettings& s = station_.settings();
    const Readout r = liveReadout(station_.grids(), x, y, tournamentType(s));
    xtwips->setText(r.xtwips);
    ytwips->setText(r.ytwips);
    xposition->setText(r.xposition);
    yposition->setText(r.yposition);
    VerifyDistance->setText(r.VerifyDistance);
}

void MeasureScreen::verify_Click()
{
    const bool on = !verifyMode_;
    verifyMode_ = on;
    for (QWidget* w : std::initializer_list<QWidget*>{xtwips, ytwips, xposition, yposition, VerifyDistance,
                                                      UnofficialJump})
        w->setVisible(on);
    verify->setText(on ? kVerifyOff : kVerify);
}

// ---------------------------------------------------------------- picture sources

void MeasureScreen::freezeStart()
{
    state_.Frozen = true;
    FrozenSign->show();
    FrozenSign->raise();
    distance->clear();
    distance_ft->clear();
    Show_grid->setFocus();
}

void MeasureScreen::showPictureName(const QString& name)
{
    // Directly below the grid description, wherever that has been dragged.
    gif_file_name->move(grid_description->x(), grid_description->y() + grid_description->height());
    gif_file_name->setText(name);
    gif_file_name->show();
    gif_file_name->raise();
}

void MeasureScreen::mnuPaste_Click()
{
    const QImage img = QApplication::clipboard()->image();
    if (img.isNull()) {
        // Freezing nothing would leave a frozen empty screen that Record treats as a picture.
        station_.prompter().message(QStringLiteral("The clipboard holds no picture to paste"), kTitle,
                                    Icon::Exclamation);
        return;
    }
    freezeStart();
    canvas_->setPicture(img);
    show_the_grid();
    showPictureName(QStringLiteral("Picture from Clipboard"));
}

void MeasureScreen::ImgSnapShot_Click()
{
    freezeStart();
    const QString name = QStringLiteral("snapshot.bmp");
    QString error;
    if (!canvas_->loadPicture(station_.txioFile(name), &error)) {
        station_.prompter().message(kSnapshotWarning, QString(), Icon::Exclamation);
        return;
    }
    takePictureSize();
    show_the_grid();
    showPictureName(name);
}

void MeasureScreen::cbAutoLoadClipboard_Click()
{
    if (cbAutoLoadClipboard->isChecked())
        loadTimer->start();
    else
        loadTimer->stop();
}

void MeasureScreen::loadTimer_Timer()
{
    // Every failure here is silent: the next tick tries again.
    const QString flagPath = station_.txioFile(QStringLiteral("clipflag.txt"));
    const std::optional<QByteArray> flag = readFileBytes(flagPath, readLimit::flagFile);
    if (!flag)
        return;
    const QString content = QString::fromLatin1(*flag);
    if (!clipFlagReady(content))
        return;
    const QImage img = QApplication::clipboard()->image();
    if (img.isNull())
        return;
    canvas_->setPicture(img);
    QFile cleared(flagPath);
    if (cleared.open(QIODevice::WriteOnly | QIODevice::Truncate))
        cleared.write(kClipFlagCleared);
}

// ---------------------------------------------------------------- clear and leaving

void MeasureScreen::Unfreeze_Click()
{
    distance->setText(QStringLiteral("m"));
    distance_ft->setText(QStringLiteral("ft"));
    Jump_no->setText(nextJumpNumber(Jump_no->text()));
    for (QRadioButton* r : {Fall, Pass, O_reride, M_Reride, Other_Grid, Make_comment})
        r->setChecked(false);
    optJumpOK->setChecked(true);
    Comment->clear();
    state_.Frozen = false;
    for (QWidget* w : std::initializer_list<QWidget*>{FrozenSign, gif_file_name, AdjustUp, AdjustDown, AdjustLeft,
                                                      AdjustRight, AdjustmentLabel})
        w->hide();
    // The next jump starts without the last jump's marker on the empty picture.
    hideMarker();
    canvas_->setDrawWidth(2);
    canvas_->clearPicture();
    show_the_grid();

    QDir txio(station_.txioFolder());
    for (const QString& f : txio.entryList({QStringLiteral("*.bmp")}, QDir::Files))
        txio.remove(f);
}

void MeasureScreen::applyPictureSavePolicy()
{
    const QString mode = station_.settings().PictureSaveMode;
    if (mode == QLatin1String("Save"))
        SavePict_Click();
    else if (mode == QLatin1String("Ask")
             && station_.prompter().askYesNo(kSavePictureQuestion, QString(), Icon::Question))
        SavePict_Click();
}

void MeasureScreen::Exit_Click()
{
    AppSettings& s = station_.settings();
    if (s.arrival == Arrival::FrameChosen)
        applyPictureSavePolicy();
    s.setArrival(Arrival::None);
    Unfreeze_Click();
    clearBuoyLabels();
    grid_description->hide();
    station_.show(screen::MainForm, this);
}

void MeasureScreen::mnuCapture_Click()
{
    AppSettings& s = station_.settings();
    if (s.arrival == Arrival::FrameChosen)
        applyPictureSavePolicy();
    s.setArrival(Arrival::FromMeasure);
    Unfreeze_Click();
    const QString capture = screen::PreviewForm;
    station_.show(station_.canCreate(capture) ? capture : screen::MainForm, this);
}

void MeasureScreen::showScreenOrSay(const QString& name, const QString& missingText)
{
    if (!station_.canCreate(name)) {
        station_.prompter().message(missingText, kTitle, Icon::Exclamation);
        return;
    }
    if (QWidget* w = station_.screen(name)) {
        w->show();
        w->raise();
        w->activateWindow();
    }
}

void MeasureScreen::mnuCalibrate_Click()
{
    showScreenOrSay(screen::Calibrate, QStringLiteral("The calibration line screen is not available"));
}

void MeasureScreen::mnuResults_Click()
{
    // Every opening reads the file again, also while the window is still open.
    if (auto* results = qobject_cast<ResultsWindow*>(station_.screen(screen::Results)))
        results->open();
    else
        showScreenOrSay(screen::Results, QStringLiteral("The results window is not available"));
}

void MeasureScreen::SavePict_Click() { savePicture(); }

void MeasureScreen::mnuViewLog_Click() { station_.openWindow(window::PictureLogView, this); }

bool MeasureScreen::showLoggedPicture(const QString& path)
{
    if (!loadPictureFile(path))
        return false;
    showPictureName(path);
    station_.settings().setArrival(Arrival::PictureLog);
    return true;
}

// ---------------------------------------------------------------- drag handles and events

bool MeasureScreen::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == canvas_->surface()) {
        // The surface resizes when the zoom changes; the marker lines follow.
        if (e->type() == QEvent::Resize)
            for (LineShape* l : {lineHorizontalImpact, lineVerticalImpact, lineSplashIndicator})
                l->relayout();
        return false;
    }
    if (watched == Skier_name) {
        if (e->type() == QEvent::FocusIn)
            show_the_grid();
        return false;
    }
    return Screen::eventFilter(watched, e);
}

// ---------------------------------------------------------------- what other screens set

void MeasureScreen::setTournamentIndicator(bool visible, const QString& text)
{
    if (visible)
        barefoot_indicator->setText(text);
    barefoot_indicator->setVisible(visible);
}

QList<QWidget*> MeasureScreen::messageColoured() const
{
    // In the order the colours are applied.
    return {Make_comment, Other_Grid, Fall,    Pass,     optJumpOK, M_Reride,
            O_reride,     FrozenSign, IWSFlabel, AWSAlabel, AdjustmentLabel, CrossLabel,
            maxbuoy,      maxbuoym,   minbuoy, minbuoym};
}

void MeasureScreen::setMessageColour(const QColor& c)
{
    for (QWidget* w : messageColoured())
        setTextColour(w, c);
}

void MeasureScreen::setDefaultColours()
{
    const QColor black(Qt::black), white(Qt::white), red(255, 0, 0), yellow(255, 255, 0);
    const QColor own[] = {black, black, black, black, black, red,   yellow, white,
                          black, black, white, white, white, white, white, white};
    const QList<QWidget*> controls = messageColoured();
    for (int i = 0; i < controls.size(); ++i)
        setTextColour(controls[i], own[i]);
}

void MeasureScreen::hideUnofficialJump() { UnofficialJump->hide(); }

void MeasureScreen::setNameButtonVisible(bool visible) { btnGetName->setVisible(visible); }

void MeasureScreen::setSkierNames(const QStringList& names)
{
    const QSignalBlocker block(Skier_name);
    const QString current = Skier_name->currentText();
    Skier_name->clear();
    Skier_name->addItems(names);
    if (Skier_name->isEditable())
        Skier_name->setEditText(current);
}

void MeasureScreen::setGridDescription(const QString& text) { grid_description->setText(text); }

void MeasureScreen::showBuoyLabels()
{
    const GridState& g = station_.grids();
    auto place = [&](int b, QLabel* feet, QLabel* metres) {
        const double d = jumpToBuoyDistance(g, b);
        const double x = g.buoy_screen_x[b] - 100;
        const double y = g.buoy_screen_y[b];
        feet->setText(buoyFeetText(d));
        canvas_->placeItem(feet, x, y - 400);
        metres->setText(buoyMetresText(d));
        canvas_->placeItem(metres, x, y - 600);
    };
    place(buoy::UpperLeft, maxbuoy, maxbuoym);
    place(buoy::UpperRight, minbuoy, minbuoym);
    setGridDescription(g.grid_description[1]);
}

} // namespace tarvex
