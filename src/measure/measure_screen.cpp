#include "measure/measure_screen.h"

#include "grid/grid_fit.h"
#include "common/text_file.h"
#include "station/screen_names.h"
#include "common/twips.h"
#include "common/colours.h"
#include "widgets/text_colour.h"

#include "common/text_forms.h"
#include "grid/grid_geometry.h"
#include "widgets/controls.h"
#include "widgets/drag_handle.h"
#include "widgets/nudge_pad.h"
#include "widgets/picture_canvas.h"
#include "measure/jump_record.h"
#include "measure/results_window.h"
#include "capture/camera_set.h"
#include "media/frame_extract.h"

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
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
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

// The recorded distance's letters: "54.5 m   178.8 ft" fills the panel at the larger size.
constexpr int kReadoutPixels = 30;
constexpr int kReadoutLeastPixels = 20;


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

    auto* menu = new QMenuBar(this);
    auto addAction = [this, menu](const char* name, const QString& caption, void (MeasureScreen::*slot)()) {
        auto* a = named(new QAction(caption, menu), name);
        menu->addAction(a);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    addAction("SavePict", QStringLiteral("&Save Picture"), &MeasureScreen::savePicture);
    addAction("LoadPict", QStringLiteral("&Load Picture"), &MeasureScreen::loadPicture);
    addAction("mnuPaste", QStringLiteral("&Paste"), &MeasureScreen::pasteClipboardPicture);
    addAction("mnuResults", QStringLiteral("&Results"), &MeasureScreen::openResults);
    addAction("mnuCalibrate", QStringLiteral("&Calibrate"), &MeasureScreen::openCalibration);
    addAction("mnuCapture", QStringLiteral("C&apture Next Jump"), &MeasureScreen::captureNextJump);
    addAction("mnuViewLog", QStringLiteral("&View Log"), &MeasureScreen::viewPictureLog);
    addAction("Exit", QStringLiteral("E&xit"), &MeasureScreen::exitToMain);
    outer->setMenuBar(menu);

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

    impactArm_ = new LineShape(QStringLiteral("lineHorizontalImpact"), canvas_);
    impactBar_ = new LineShape(QStringLiteral("lineVerticalImpact"), canvas_);
    splashIndicator_ = new LineShape(QStringLiteral("lineSplashIndicator"), canvas_);

    suggestionFigures_ = canvas_->addLabel(QStringLiteral("suggestedImpactFigures"));
    suggestionFigures_->setStyleSheet(QStringLiteral("color: #00e070; font-weight: bold"));
    suggestionFigures_->hide();
    leftBuoyFeet_ = canvas_->addLabel(QStringLiteral("maxbuoy"));
    leftBuoyMetres_ = canvas_->addLabel(QStringLiteral("maxbuoym"));
    rightBuoyFeet_ = canvas_->addLabel(QStringLiteral("minbuoy"));
    rightBuoyMetres_ = canvas_->addLabel(QStringLiteral("minbuoym"));
    for (QLabel* l : {leftBuoyFeet_, leftBuoyMetres_, rightBuoyFeet_, rightBuoyMetres_}) {
        l->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
        l->setMinimumWidth(110);
    }

    auto* panel = named(new QWidget(this), "controlPanel");
    panel->setFixedWidth(300);
    body->addWidget(panel);
    buildPanel(panel);
    buildFloating();

    statusLine_ = makeLabel(this, "statusLine", QString());
    statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLine_->setContentsMargins(6, 2, 6, 2);
    outer->addWidget(statusLine_);

    clipboardPoll_ = named(new QTimer(this), "loadTimer");
    clipboardPoll_->setInterval(1000);
    connect(clipboardPoll_, &QTimer::timeout, this, &MeasureScreen::pollClipboardFlag);
}

void MeasureScreen::buildPanel(QWidget* panel)
{
    auto* col = new QVBoxLayout(panel);
    gridChoiceButton_ = makeButton(panel, "Set_grid", gridChoiceCaption(1), this, &MeasureScreen::switchToNextGrid);
    showGridButton_ = makeButton(panel, "Show_grid", QStringLiteral("Show Grid"), this, &MeasureScreen::show_the_grid);
    QPushButton* clearButton = makeButton(panel, "Unfreeze", QStringLiteral("Clear"), this, &MeasureScreen::clearJump);
    QPushButton* recordButton =
        makeButton(panel, "Record", QStringLiteral("Record &Jump"), this, &MeasureScreen::recordJump);
    verifyButton_ = makeButton(panel, "verify", kVerify, this, &MeasureScreen::toggleVerify);
    auto* gridRow = new QHBoxLayout;
    gridRow->addWidget(gridChoiceButton_);
    gridRow->addWidget(showGridButton_);
    col->addLayout(gridRow);
    auto* actionRow = new QHBoxLayout;
    actionRow->addWidget(recordButton);
    actionRow->addWidget(clearButton);
    actionRow->addWidget(verifyButton_);
    col->addLayout(actionRow);

    // First outcome group: exactly one of the three, Qt's own exclusivity inside the frame.
    auto* outcomeFrame = named(new QGroupBox(panel), "Frame1");
    auto* frameLayout = new QHBoxLayout(outcomeFrame);
    auto option = [this](QWidget* parent, const char* name, const QString& caption, void (MeasureScreen::*slot)()) {
        auto* r = named(new QRadioButton(caption, parent), name);
        connect(r, &QRadioButton::clicked, this, slot);
        return r;
    };
    jumpOkOption_ = named(new QRadioButton(QStringLiteral("Jump OK"), outcomeFrame), "optJumpOK");
    passOption_ = option(outcomeFrame, "Pass", QStringLiteral("Pass"), &MeasureScreen::choosePass);
    fallOption_ = option(outcomeFrame, "Fall", QStringLiteral("Fall"), &MeasureScreen::chooseFall);
    for (QRadioButton* r : {jumpOkOption_, passOption_, fallOption_})
        frameLayout->addWidget(r);
    col->addWidget(outcomeFrame);

    // Second group: at most one, and the program may switch the chosen one off again, which
    // Qt's exclusive radio buttons refuse; exclusivity is kept by hand.
    auto* second = named(new QWidget(panel), "outcomeOptions");
    auto* secondLayout = new QGridLayout(second);
    secondLayout->setContentsMargins(0, 0, 0, 0);
    optionalRerideOption_ =
        option(second, "O_reride", QStringLiteral("Opt. reride"), &MeasureScreen::chooseOptionalReride);
    mandatoryRerideOption_ =
        option(second, "M_Reride", QStringLiteral("Man. Reride"), &MeasureScreen::chooseMandatoryReride);
    otherGridOption_ = option(second, "Other_Grid", QStringLiteral("Other Grid"), &MeasureScreen::chooseOtherGrid);
    commentOption_ = option(second, "Make_comment", QStringLiteral("Comment"), &MeasureScreen::makeComment);
    const std::array<QRadioButton*, 4> group2{optionalRerideOption_, mandatoryRerideOption_, otherGridOption_,
                                              commentOption_};
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

    commentBox_ = makeLineEdit(panel, "Comment");
    commentBox_->hide();

    metresCaption_ = makeLabel(panel, "IWSFlabel", QStringLiteral("IWSF Official Distance"));
    metresBox_ = makeLineEdit(panel, "distance", QStringLiteral("m"));
    feetCaption_ = makeLabel(panel, "AWSAlabel", QStringLiteral("AWSA Official Distance"));
    feetBox_ = makeLineEdit(panel, "distance_ft", QStringLiteral("ft"));
    col->addWidget(metresCaption_);
    col->addWidget(metresBox_);
    col->addWidget(feetCaption_);
    col->addWidget(feetBox_);
    // Read from the judges' seats, two metres from the screen, so it must be large.
    recordedReadout_ = makeLabel(panel, "recordedDistance", QString());
    QFont big = recordedReadout_->font();
    big.setPixelSize(kReadoutPixels);
    big.setBold(true);
    recordedReadout_->setFont(big);
    recordedReadout_->setMinimumHeight(48);
    recordedReadout_->setAlignment(Qt::AlignCenter);
    recordedReadout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    col->addWidget(recordedReadout_);
    provisionalFigures_ = makeLabel(panel, "provisionalDistance", QString());
    provisionalFigures_->setWordWrap(true);
    provisionalFigures_->setStyleSheet(QStringLiteral("color: #8a4b00;"));
    provisionalFigures_->hide();
    col->addWidget(provisionalFigures_);
    takeSuggestionButton_ = makeButton(panel, "cmdTakeSuggestion", QStringLiteral("Take Suggested Point (A)"), this,
                                       &MeasureScreen::takeSuggestion);
    takeSuggestionButton_->setToolTip(QStringLiteral("Mark the impact where the station suggests it (A); then nudge it as any mark"));
    takeSuggestionButton_->setEnabled(false);
    col->addWidget(takeSuggestionButton_);
    // A text box keeps its letters: a line edit takes the key before a shortcut does.
    connect(new QShortcut(QKeySequence(Qt::Key_A), this), &QShortcut::activated, this, &MeasureScreen::takeSuggestion);

    skierNameBox_ = named(new QComboBox(panel), "Skier_name");
    skierNameBox_->setEditable(true);
    skierNameBox_->setInsertPolicy(QComboBox::NoInsert);
    skierNameBox_->installEventFilter(this);
    connect(skierNameBox_, &QComboBox::editTextChanged, this, &MeasureScreen::skierNameChanged);
    connect(skierNameBox_, &QComboBox::activated, this, &MeasureScreen::skierNameChanged);
    nameButton_ = makeButton(panel, "btnGetName", QStringLiteral("Name"), this, &MeasureScreen::readWstimsSkierName);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(skierNameBox_, 1);
    nameRow->addWidget(nameButton_);
    col->addLayout(nameRow);
    jumpNumberBox_ = makeLineEdit(panel, "Jump_no", QStringLiteral("Jump"));
    col->addWidget(jumpNumberBox_);

    tournamentIndicator_ = makeLineEdit(panel, "barefoot_indicator", QStringLiteral("Barefoot Jump"));
    tournamentIndicator_->setReadOnly(true);
    tournamentIndicator_->hide();
    col->addWidget(tournamentIndicator_);

    xTwipsBox_ = makeLineEdit(panel, "xtwips");
    yTwipsBox_ = makeLineEdit(panel, "ytwips");
    xPositionBox_ = makeLineEdit(panel, "xposition");
    yPositionBox_ = makeLineEdit(panel, "yposition");
    verifyDistanceBox_ = makeLineEdit(panel, "VerifyDistance");
    auto* readout = new QGridLayout;
    readout->addWidget(xTwipsBox_, 0, 0);
    readout->addWidget(yTwipsBox_, 0, 1);
    readout->addWidget(xPositionBox_, 1, 0);
    readout->addWidget(yPositionBox_, 1, 1);
    readout->addWidget(verifyDistanceBox_, 2, 0, 1, 2);
    col->addLayout(readout);
    for (QLineEdit* e : {xTwipsBox_, yTwipsBox_, xPositionBox_, yPositionBox_, verifyDistanceBox_})
        e->setReadOnly(true);

    auto icon = [this, panel](const char* name, const char* file, const QString& tip, void (MeasureScreen::*slot)()) {
        QPushButton* b = makeButton(panel, name, QString(), this, slot);
        b->setIcon(QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(file)));
        b->setIconSize(QSize(32, 32));
        b->setFlat(true);
        b->setToolTip(tip);
        return b;
    };
    QPushButton* clipboardButton = icon("ClipSnapShot", "clipboard.png", QStringLiteral("Freeze the clipboard picture"),
                                        &MeasureScreen::pasteClipboardPicture);
    QPushButton* snapshotButton = icon("ImgSnapShot", "snapshot.png", QStringLiteral("Freeze the snapshot picture"),
                                       &MeasureScreen::freezeSnapshot);
    autoLoadBox_ = named(new QCheckBox(QStringLiteral("Auto Load"), panel), "cbAutoLoadClipboard");
    connect(autoLoadBox_, &QCheckBox::toggled, this, &MeasureScreen::followAutoLoad);
    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(clipboardButton);
    sourceRow->addWidget(snapshotButton);
    sourceRow->addWidget(autoLoadBox_, 1);
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
    nudgeHandle_ = handleLabel("AdjustmentLabel", QStringLiteral("Micro-Adjust (drag-it)"), {20, 40, 150, 18});
    nudgePad_ = new NudgePad(this, {40, 60}, kMicroAdjustTwips);
    connect(nudgePad_, &NudgePad::nudged, this, &MeasureScreen::microAdjust);

    crossSizeHandle_ = handleLabel("CrossLabel", QStringLiteral("Adjust Cross Size (drag-it)"), {20, 160, 170, 18});
    crossSizeBar_ = named(new QScrollBar(Qt::Horizontal, this), "CrossSize");
    crossSizeBar_->setRange(kCrossSizeMin, kCrossSizeMax);
    crossSizeBar_->setSingleStep(kCrossSizeStep);
    crossSizeBar_->setPageStep(kCrossSizeStep);
    crossSizeBar_->setValue(kCrossSizeInitial);
    crossSizeBar_->setGeometry(20, 180, 170, 18);

    frozenSign_ = handleLabel("FrozenSign", QStringLiteral("FROZEN"), {320, 40, 120, 28});
    frozenSign_->setStyleSheet(QStringLiteral("color: red; font-weight: bold; font-size: 18px;"));
    unofficialSign_ = makeLabel(this, "UnofficialJump", QStringLiteral("UNOFFICIAL JUMP"));
    unofficialSign_->setGeometry(460, 40, 220, 28);
    unofficialSign_->setStyleSheet(QStringLiteral("color: red; font-weight: bold; font-size: 18px;"));

    QLabel* gridDescriptionHandle =
        handleLabel("gridlabel", QStringLiteral("Grid Description (drag-it)"), {20, 220, 300, 18});
    gridDescriptionBox_ = makeLineEdit(this, "grid_description");
    gridDescriptionBox_->setGeometry(20, 240, 300, 22);
    gridDescriptionBox_->setReadOnly(true);
    pictureNameBox_ = makeLineEdit(this, "gif_file_name", QStringLiteral(".gif file name"));
    pictureNameBox_->setGeometry(20, 262, 300, 22);
    pictureNameBox_->setReadOnly(true);
    pictureNameBox_->hide();

    new DragHandle(nudgeHandle_, {nudgeHandle_, nudgePad_});
    new DragHandle(crossSizeHandle_, {crossSizeHandle_, crossSizeBar_});
    new DragHandle(frozenSign_, {frozenSign_});
    new DragHandle(gridDescriptionHandle, {gridDescriptionHandle, gridDescriptionBox_, pictureNameBox_});
    for (QWidget* w : std::initializer_list<QWidget*>{nudgeHandle_, nudgePad_, crossSizeHandle_, crossSizeBar_,
                                                      frozenSign_, unofficialSign_, gridDescriptionHandle,
                                                      gridDescriptionBox_, pictureNameBox_})
        w->raise();
}

// ---------------------------------------------------------------- load and activation

void MeasureScreen::load()
{
    const GridState& g = station_.grids();
    gridChoiceButton_->setVisible(g.grids_in_use > 1);
    gridChoiceButton_->setText(gridChoiceCaption(g.current_grid));
    jumpOkOption_->setChecked(true);
    commentBox_->clear();
    state_.LastMarkX = state_.LastMarkY = 0;
    state_.SplashX = state_.SplashY = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{gridDescriptionBox_, xTwipsBox_, yTwipsBox_, xPositionBox_,
                                                      yPositionBox_, verifyDistanceBox_, frozenSign_, unofficialSign_})
        w->hide();
    for (LineShape* l : {impactArm_, impactBar_, splashIndicator_})
        l->setColour(Qt::white);
    setNudgeVisible(false);
    // Like the grid setup screen: the picture and its right-hand buoys need the room.
    setWindowState(windowState() | Qt::WindowMaximized);
}

void MeasureScreen::openFrame(const FrameHandOver& handOver)
{
    noteFrameHandOver(station_.settings(), handOver);
    // A hand-over is the next jump even when the review screen rewrote the same file within
    // the clock's resolution, and even when that frame then cannot be read.
    shownFrame_.clear();
    forgetMark();
    suggestedImpact_ = handOver.suggestedImpact;
    cameraMarks_.clear();
    cameraFiles_ = handOver.cameraFiles.size() > 1 ? handOver.cameraFiles : QMap<int, QString>();
    cameraFrames_ = handOver.cameraFrames.isEmpty() ? matchingFrames(cameraFiles_, handOver.camera, handOver.frame)
                                                    : handOver.cameraFrames;
    cameraPictures_ = handOver.cameraPictures;
    shownCamera_ = handOver.camera;
    // The skier and jump are in the first camera's name; the others only add their number.
    takeSkierOfVideo(firstCameraFile(handOver.videoFile));
    // The picture is the current grid's camera's, whichever camera the review showed last.
    showCameraOfGrid(station_.grids().current_grid);
}

bool MeasureScreen::showCameraOfGrid(int grid)
{
    AppSettings& s = station_.settings();
    if (s.arrival != Arrival::FrameChosen || grid == shownCamera_ || !cameraFiles_.contains(grid))
        return false;
    const QString bmp = station_.programFile(QStringLiteral("currentcapture.bmp"));
    const int frame = cameraFrames_.value(grid);
    if (cameraPictures_.contains(grid)) {
        QFile::remove(bmp);
        if (!QFile::copy(cameraPictures_.value(grid), bmp)) {
            station_.prompter().message(QStringLiteral("The picture of camera %1 cannot be shown: %2 cannot be copied")
                                            .arg(grid)
                                            .arg(QDir::toNativeSeparators(cameraPictures_.value(grid))),
                                        kTitle, Icon::Exclamation);
            return false;
        }
    } else if (extractFrame(station_.prompter(), cameraFiles_.value(grid), frame, bmp) != ExtractResult::Ok) {
        return false;
    }
    shownCamera_ = grid;
    s.MeasureVideoFile = cameraFiles_.value(grid);
    s.MeasureFrameNumber = frame;
    // The suggestion was found in another camera's picture.
    forgetSuggestion();
    if (canvas_->loadPicture(bmp, nullptr)) {
        takePictureSize();
        shownFrame_ = bmp + QLatin1Char('|') + QFileInfo(bmp).lastModified().toString(Qt::ISODateWithMs);
    }
    forgetMark();
    show_the_grid();
    // A camera marked before shows its mark again.
    for (const CameraMark& m : cameraMarks_.marks()) {
        if (m.grid != grid)
            continue;
        state_.ImpactX = m.mark.x();
        state_.ImpactY = m.mark.y();
        state_.Marked = true;
        canvas_->setDrawWidth(2);
        DrawImpactMark();
    }
    return true;
}

void MeasureScreen::noteCameraMark()
{
    const GridState& g = station_.grids();
    if (cameraFiles_.isEmpty() || station_.settings().arrival != Arrival::FrameChosen || shownCamera_ != g.current_grid)
        return;
    const QPointF impact = state_.impact();
    if (const auto m = measureJump(g, impact, tournamentType(station_.settings())))
        cameraMarks_.set({g.current_grid, cameraFiles_.value(g.current_grid), cameraFrames_.value(g.current_grid), impact,
                          m->distance});
}

void MeasureScreen::takeSkierOfVideo(const QString& videoPath)
{
    const std::optional<VideoJump> video = jumpOfVideo(videoPath);
    if (!video)
        return;
    // Setting the name is a name change (jump "1"); the video's own jump number then wins.
    if (skierNameBox_->currentText() != video->skier)
        skierNameBox_->setEditText(video->skier);
    jumpNumberBox_->setText(video->jumpNumber);
}

void MeasureScreen::showEvent(QShowEvent* e)
{
    Screen::showEvent(e);
    skipNextActivation_ = true;
    refreshOnActivation();
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
        refreshOnActivation();
}

void MeasureScreen::refreshOnActivation()
{
    // The grid count and the current grid may have changed on other screens since load;
    // the selector must never name a grid other than the one measured with.
    const GridState& g = station_.grids();
    gridChoiceButton_->setVisible(g.grids_in_use > 1);
    gridChoiceButton_->setText(gridChoiceCaption(g.current_grid));

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
                // Every activation reloads the frame; only a different one loses the mark.
                if (seen != shownFrame_)
                    forgetMark();
                shownFrame_ = seen;
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
    forgetMark();
    forgetSuggestion();
    takePictureSize();
    show_the_grid();
    return true;
}

void MeasureScreen::takePictureSize()
{
    pictureWidthTwips_ = pictureTwipsText(canvas_->picture().width());
    pictureHeightTwips_ = pictureTwipsText(canvas_->picture().height());
}

// ---------------------------------------------------------------- overlay

QColor MeasureScreen::overlayColour() const
{
    const AppSettings& s = station_.settings();
    return tarvex::overlayColour(s.MessageColorName, s.MessageColor);
}

int MeasureScreen::crossSize() const { return crossSizeBar_->value(); }

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
    // The check buoys, smaller and in their own colour: where the grid was proved.
    for (const CheckPoint& p : g.check_points)
        canvas_->buoyMarker({p.screen_x, p.screen_y}, size * 0.6, cross, QColor(0, 200, 255), true);
    if (!s.LineControlOff) {
        canvas_->line(g.buoy_screen_x[buoy::UpperRight], g.buoy_screen_y[buoy::UpperRight],
                      g.buoy_screen_x[buoy::LowerRight], g.buoy_screen_y[buoy::LowerRight], Qt::white);
        canvas_->line(g.buoy_screen_x[buoy::UpperLeft], g.buoy_screen_y[buoy::UpperLeft],
                      g.buoy_screen_x[buoy::LowerLeft], g.buoy_screen_y[buoy::LowerLeft], Qt::white);
    }
    placeBuoyLabels();
    gridDescriptionBox_->setText(g.grid_description[g.current_grid]);
    gridDescriptionBox_->show();
    drawSuggestion();
}

// ---------------------------------------------------------------- the suggested impact

void MeasureScreen::drawSuggestion()
{
    const bool frame = station_.settings().arrival == Arrival::FrameChosen && !canvas_->picture().isNull();
    const auto m = suggestedImpact_ && frame ? measureJump(station_.grids(), *suggestedImpact_, tournamentType(station_.settings()))
                                             : std::nullopt;
    takeSuggestionButton_->setEnabled(m.has_value());
    if (!m) {
        suggestionFigures_->hide();
        return;
    }
    // Hollow and green, so it is never taken for the operator's white cross.
    const QPointF at = *suggestedImpact_;
    const double radius = std::max(3.0, double(crossSize())) * 1.5;
    const int width = canvas_->drawWidth();
    canvas_->setDrawWidth(2);
    canvas_->circle(at.x(), at.y(), radius, QColor(0, 224, 112));
    canvas_->setDrawWidth(width);
    const DistanceTexts t = distanceTexts(m->distance, !tournamentIndicator_->isHidden());
    suggestionFigures_->setText(QStringLiteral("Suggested %1  %2 (A)").arg(t.metresText.trimmed(), t.feetText.trimmed()));
    suggestionFigures_->adjustSize();
    canvas_->placeItem(suggestionFigures_, at.x() + radius + 60, at.y() + radius);
    suggestionFigures_->show();
}

void MeasureScreen::forgetSuggestion()
{
    suggestedImpact_.reset();
    suggestionFigures_->hide();
    takeSuggestionButton_->setEnabled(false);
}

void MeasureScreen::takeSuggestion()
{
    if (!takeSuggestionButton_->isEnabled() || !suggestedImpact_)
        return;
    pictureMouseDown(suggestedImpact_->x(), suggestedImpact_->y());
}

void MeasureScreen::clearBuoyLabels()
{
    for (QLabel* l : {leftBuoyFeet_, leftBuoyMetres_, rightBuoyFeet_, rightBuoyMetres_})
        l->clear();
}

void MeasureScreen::switchToNextGrid()
{
    GridState& g = station_.grids();
    const GridChoice next = nextGridChoice(gridChoiceButton_->text(), g.grids_in_use);
    gridChoiceButton_->setText(next.caption);
    canvas_->clear();
    clearBuoyLabels();
    g.switchToGrid(next.grid);
    if (!showCameraOfGrid(next.grid))
        show_the_grid();
}

// ---------------------------------------------------------------- marking

void MeasureScreen::hideMarker()
{
    for (LineShape* l : {impactArm_, impactBar_, splashIndicator_})
        l->hide();
    provisionalFigures_->hide();
}

void MeasureScreen::forgetMark()
{
    // A mark belongs to the picture it was made on; kept over a new picture, Record would
    // write the last skier's point and distance for this one.
    state_.Marked = false;
    hideMarker();
    setNudgeVisible(false);
    metresBox_->clear();
    feetBox_->clear();
    recordedReadout_->clear();
}

void MeasureScreen::showRecordedDistance(const QString& metresText, const QString& feetText)
{
    const QString text = recordedDistanceReadout(metresText, feetText);
    // As large as the panel allows: a long other-grid entry steps the size down, never clips.
    QFont f = recordedReadout_->font();
    const int room = recordedReadout_->contentsRect().width();
    for (int px = kReadoutPixels; px >= kReadoutLeastPixels; px -= 2) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(text) <= room)
            break;
    }
    recordedReadout_->setFont(f);
    recordedReadout_->setText(text);
}

void MeasureScreen::showStatus(const QString& text) { statusLine_->setText(text); }

void MeasureScreen::showProvisional()
{
    const AppSettings& s = station_.settings();
    const GridState& g = station_.grids();
    const GridFit& fit = workingGridFit(g, {s.ClickUncertaintyPixels, s.SurveyUncertaintyMetres});
    const auto sigma = distanceSigma(fit, QPointF(g.jump_survey_x, g.jump_survey_y), state_.impact(),
                                     markFromLoupe_ ? kLoupeClickPixels : s.ClickUncertaintyPixels);
    const auto text = provisionalFigures(g, state_.impact(), tournamentType(s), !tournamentIndicator_->isHidden(),
                                         sigma);
    provisionalFigures_->setText(text.value_or(QString()));
    provisionalFigures_->setVisible(text.has_value());
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
    impactArm_->setLine(horizontalArm(impact, size, s.RightToLeft));
    impactBar_->setLine(verticalBar(impact, size));
    splashIndicator_->setLine(splashIndicatorLine(*foot));
    for (LineShape* l : {impactArm_, impactBar_, splashIndicator_}) {
        l->show();
        l->raise();
    }
    state_.LastMarkX = impact.x();
    state_.LastMarkY = impact.y();
    state_.SplashX = foot->x();
    state_.SplashY = foot->y();
    showProvisional();
    noteCameraMark();
    return true;
}

void MeasureScreen::pictureMouseDown(double x, double y)
{
    metresBox_->setText(QStringLiteral("m"));
    feetBox_->setText(QStringLiteral("ft"));
    recordedReadout_->clear();
    state_.ImpactX = x;
    state_.ImpactY = y;
    state_.Marked = true;
    markFromLoupe_ = canvas_->lastPressInLoupe();
    markZoom_ = markFromLoupe_ ? canvas_->loupeMagnification() : canvas_->zoom();
    canvas_->setDrawWidth(2);
    DrawImpactMark();
    setNudgeVisible(true);
}

void MeasureScreen::setNudgeVisible(bool on)
{
    nudgeHandle_->setVisible(on);
    nudgePad_->setVisible(on);
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
    xTwipsBox_->setText(r.xtwips);
    yTwipsBox_->setText(r.ytwips);
    xPositionBox_->setText(r.xposition);
    yPositionBox_->setText(r.yposition);
    verifyDistanceBox_->setText(r.VerifyDistance);
}

void MeasureScreen::toggleVerify()
{
    const bool on = !verifyMode_;
    verifyMode_ = on;
    for (QWidget* w : std::initializer_list<QWidget*>{xTwipsBox_, yTwipsBox_, xPositionBox_, yPositionBox_,
                                                      verifyDistanceBox_, unofficialSign_})
        w->setVisible(on);
    verifyButton_->setText(on ? kVerifyOff : kVerify);
}

// ---------------------------------------------------------------- picture sources

void MeasureScreen::freezeStart()
{
    state_.Frozen = true;
    frozenSign_->show();
    frozenSign_->raise();
    metresBox_->clear();
    feetBox_->clear();
    showGridButton_->setFocus();
}

void MeasureScreen::showPictureName(const QString& name)
{
    // Directly below the grid description, wherever that has been dragged.
    pictureNameBox_->move(gridDescriptionBox_->x(), gridDescriptionBox_->y() + gridDescriptionBox_->height());
    pictureNameBox_->setText(name);
    pictureNameBox_->show();
    pictureNameBox_->raise();
}

void MeasureScreen::pasteClipboardPicture()
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
    forgetMark();
    forgetSuggestion();
    show_the_grid();
    showPictureName(QStringLiteral("Picture from Clipboard"));
}

void MeasureScreen::freezeSnapshot()
{
    freezeStart();
    const QString name = QStringLiteral("snapshot.bmp");
    QString error;
    if (!canvas_->loadPicture(station_.txioFile(name), &error)) {
        station_.prompter().message(kSnapshotWarning, QString(), Icon::Exclamation);
        return;
    }
    forgetMark();
    forgetSuggestion();
    takePictureSize();
    show_the_grid();
    showPictureName(name);
}

void MeasureScreen::followAutoLoad()
{
    if (autoLoadBox_->isChecked())
        clipboardPoll_->start();
    else
        clipboardPoll_->stop();
}

void MeasureScreen::pollClipboardFlag()
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
    forgetMark();
    forgetSuggestion();
    QFile cleared(flagPath);
    if (cleared.open(QIODevice::WriteOnly | QIODevice::Truncate))
        cleared.write(kClipFlagCleared);
}

// ---------------------------------------------------------------- clear and leaving

void MeasureScreen::clearJump()
{
    metresBox_->setText(QStringLiteral("m"));
    feetBox_->setText(QStringLiteral("ft"));
    recordedReadout_->clear();
    jumpNumberBox_->setText(nextJumpNumber(jumpNumberBox_->text()));
    for (QRadioButton* r : {fallOption_, passOption_, optionalRerideOption_, mandatoryRerideOption_, otherGridOption_,
                            commentOption_})
        r->setChecked(false);
    jumpOkOption_->setChecked(true);
    commentBox_->clear();
    state_.Frozen = false;
    for (QWidget* w : std::initializer_list<QWidget*>{frozenSign_, pictureNameBox_})
        w->hide();
    setNudgeVisible(false);
    // The next jump starts without the last jump's marker on the empty picture, and Record
    // asks for a new one. The point itself stays where it was.
    state_.Marked = false;
    hideMarker();
    forgetSuggestion();
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
        savePicture();
    else if (mode == QLatin1String("Ask")
             && station_.prompter().askYesNo(kSavePictureQuestion, QString(), Icon::Question))
        savePicture();
}

void MeasureScreen::exitToMain()
{
    AppSettings& s = station_.settings();
    if (s.arrival == Arrival::FrameChosen)
        applyPictureSavePolicy();
    s.setArrival(Arrival::None);
    clearJump();
    clearBuoyLabels();
    gridDescriptionBox_->hide();
    station_.show(screen::MainForm, this);
}

void MeasureScreen::captureNextJump()
{
    AppSettings& s = station_.settings();
    if (s.arrival == Arrival::FrameChosen)
        applyPictureSavePolicy();
    s.setArrival(Arrival::FromMeasure);
    clearJump();
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

void MeasureScreen::openCalibration()
{
    showScreenOrSay(screen::Calibrate, QStringLiteral("The calibration line screen is not available"));
}

void MeasureScreen::openResults()
{
    // Every opening reads the file again, also while the window is still open.
    if (auto* results = qobject_cast<ResultsWindow*>(station_.screen(screen::Results)))
        results->open();
    else
        showScreenOrSay(screen::Results, QStringLiteral("The results window is not available"));
}

void MeasureScreen::viewPictureLog() { station_.openWindow(window::PictureLogView, this); }

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
            for (LineShape* l : {impactArm_, impactBar_, splashIndicator_})
                l->relayout();
        return false;
    }
    if (watched == skierNameBox_) {
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
        tournamentIndicator_->setText(text);
    tournamentIndicator_->setVisible(visible);
}

QList<QWidget*> MeasureScreen::messageColoured() const
{
    // In the order the colours are applied.
    return {commentOption_,  otherGridOption_,      fallOption_,    passOption_,
            jumpOkOption_,   mandatoryRerideOption_, optionalRerideOption_, frozenSign_,
            metresCaption_,  feetCaption_,          nudgeHandle_,   crossSizeHandle_,
            leftBuoyFeet_,   leftBuoyMetres_,       rightBuoyFeet_, rightBuoyMetres_};
}

namespace {

// The option's own yellow is kept as a ground under black text: yellow letters on the
// panel's grey could not be read at the lake side.
void setOwnBackground(QWidget* w, const std::optional<QColor>& c)
{
    // Without a ground of its own the control shows the panel's.
    w->setAutoFillBackground(c.has_value());
    if (!c)
        return;
    QPalette p = w->palette();
    p.setColor(w->backgroundRole(), *c);
    w->setPalette(p);
}

} // namespace

void MeasureScreen::setMessageColour(const QColor& c)
{
    for (QWidget* w : messageColoured())
        setTextColour(w, c);
    setOwnBackground(optionalRerideOption_, std::nullopt);
}

void MeasureScreen::setDefaultColours()
{
    const QColor black(Qt::black), white(Qt::white), red(255, 0, 0), yellow(255, 255, 0);
    const QColor own[] = {black, black, black, black, black, red,   black, white,
                          black, black, white, white, white, white, white, white};
    const QList<QWidget*> controls = messageColoured();
    for (int i = 0; i < controls.size(); ++i)
        setTextColour(controls[i], own[i]);
    setOwnBackground(optionalRerideOption_, yellow);
}

void MeasureScreen::hideUnofficialJump() { unofficialSign_->hide(); }

void MeasureScreen::setNameButtonVisible(bool visible) { nameButton_->setVisible(visible); }

void MeasureScreen::setSkierNames(const QStringList& names)
{
    const QSignalBlocker block(skierNameBox_);
    const QString current = skierNameBox_->currentText();
    skierNameBox_->clear();
    skierNameBox_->addItems(names);
    if (skierNameBox_->isEditable())
        skierNameBox_->setEditText(current);
}

void MeasureScreen::setGridDescription(const QString& text) { gridDescriptionBox_->setText(text); }

void MeasureScreen::showBuoyLabels()
{
    placeBuoyLabels();
    setGridDescription(station_.grids().grid_description[1]);
}

void MeasureScreen::placeBuoyLabels()
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
    place(buoy::UpperLeft, leftBuoyFeet_, leftBuoyMetres_);
    place(buoy::UpperRight, rightBuoyFeet_, rightBuoyMetres_);
}

} // namespace tarvex
