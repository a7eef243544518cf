#include "capture/capture_screen.h"
#include "capture/capture_device_panel.h"
#include "capture/capture_rules.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "media/file_helpers.h"
#include "station/screen_names.h"
#include "station/settings_keys.h"
#include "widgets/frame_view.h"
#include "widgets/picture_canvas.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace tarvex {

const QString CaptureScreen::kDuplicateFileWarning = QStringLiteral(
    "Warning, the pass number was changed because a file for that pass already existed.  You may need to change the skier name");
const QString CaptureScreen::kJumpNumberWarning =
    QStringLiteral("Warning, the jump number is greater than 3.  You may need to change the skier name");

namespace {

const QString kSetup = QStringLiteral("Setup");
const QString kTimer = QStringLiteral("Timer");
const QString kCapture = QStringLiteral("Capture");
// `lblStartFrame` holds one blank while no Contact was noted.
const QString kNotNoted = QStringLiteral(" ");
constexpr int kDisplayRefreshMs = 100;

template <typename T>
T* named(T* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// The wait pointer for the length of a handler, whichever way it ends.
struct WaitPointer {
    WaitPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitPointer() { QApplication::restoreOverrideCursor(); }
    WaitPointer(const WaitPointer&) = delete;
    WaitPointer& operator=(const WaitPointer&) = delete;
};

} // namespace

CaptureScreen::CaptureScreen(Station& station) : Screen(station), capture_(station.capture())
{
    setWindowTitle(QStringLiteral("Tarvex 2005 Capture Screen"));
    buildControls();
    connect(&capture_, &CaptureComponent::previewFrame, this, &CaptureScreen::showLivePicture);
    connect(&capture_, &CaptureComponent::warning, this, [this](const QString& text) {
        station_.prompter().message(QStringLiteral("Warning: ") + text, windowTitle(), Icon::Exclamation);
    });
}

CaptureScreen::~CaptureScreen()
{
    // The screen goes with the program; the camera is let go with it.
    Timer40->stop();
    if (capture_.isCapturing())
        (void)capture_.stopCapture();
    (void)capture_.disconnectDevice();
}

void CaptureScreen::buildControls()
{
    menu_ = new QMenuBar(this);
    mnuStart = menu_->addAction(QStringLiteral("&Start Recording"));
    mnuStart->setObjectName(QStringLiteral("mnuStart"));
    connect(mnuStart, &QAction::triggered, this, &CaptureScreen::cmdStartCapture_Click);

    auto* outer = new QVBoxLayout(this);
    outer->setMenuBar(menu_);
    auto* row = new QHBoxLayout;
    outer->addLayout(row, 1);

    // The live picture of the camera, fitted to the space it has.
    livePicture_ = named(new FrameView(this), "Framix1");
    livePicture_->setMinimumSize(480, 360);
    livePicture_->setFocusPolicy(Qt::NoFocus);
    row->addWidget(livePicture_, 1);

    auto* side = new QVBoxLayout;
    row->addLayout(side);

    // The red sign and the bar leave nobody wondering whether the camera records.
    lblRecording = named(new QLabel(QStringLiteral("\u25CF RECORDING"), this), "lblRecording");
    lblRecording->setStyleSheet(QStringLiteral("QLabel { color: white; background: #c00000; font-weight: bold; padding: 4px; }"));
    lblRecording->setAlignment(Qt::AlignCenter);
    lblRecording->hide();
    side->addWidget(lblRecording);
    recordingProgress = named(new QProgressBar(this), "recordingProgress");
    recordingProgress->setTextVisible(true);
    recordingProgress->hide();
    side->addWidget(recordingProgress);

    auto* skier = new QGridLayout;
    side->addLayout(skier);
    skier->addWidget(new QLabel(QStringLiteral("Skier Name"), this), 0, 0);
    txtSkierName = named(new QLineEdit(QStringLiteral("SkierName"), this), "txtSkierName");
    skier->addWidget(txtSkierName, 0, 1);
    cmdSelect = named(new QPushButton(QStringLiteral("Select"), this), "cmdSelect");
    skier->addWidget(cmdSelect, 0, 2);
    skier->addWidget(new QLabel(QStringLiteral("Pass"), this), 1, 0);
    txtPass = named(new QLineEdit(QStringLiteral("1"), this), "txtPass");
    txtPass->setMaximumWidth(60);
    skier->addWidget(txtPass, 1, 1, Qt::AlignLeft);

    Label4 = named(new QLabel(this), "Label4");
    Label4->setWordWrap(true);
    Label4->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
    Label4->hide();
    side->addWidget(Label4);

    auto* length = new QHBoxLayout;
    side->addLayout(length);
    length->addWidget(named(new QLabel(QStringLiteral("Length of time to record"), this), "Label3"));
    captureTimeValue = named(new QComboBox(this), "captureTimeValue");
    captureTimeValue->addItems({QStringLiteral("3.0"), QStringLiteral("4.0"), QStringLiteral("5.0"), QStringLiteral("6.0")});
    length->addWidget(captureTimeValue);

    cmdStartCapture = named(new QPushButton(QStringLiteral("Start Recording     (skier hits ramp)"), this), "cmdStartCapture");
    cmdStartCapture->setMinimumHeight(48);
    side->addWidget(cmdStartCapture);
    cmdStartTimer = named(new QPushButton(QStringLiteral("Contact"), this), "cmdStartTimer");
    cmdStartTimer->setMinimumHeight(48);
    cmdStartTimer->setEnabled(false);
    side->addWidget(cmdStartTimer);
    cmdEndCapture = named(new QPushButton(QStringLiteral("Stop Recording"), this), "cmdEndCapture");
    cmdEndCapture->setEnabled(false);
    cmdEndCapture->hide();
    side->addWidget(named(new QLabel(QStringLiteral("Hit ESC to stop recording"), this), "lblEscHint"));

    auto* counts = new QGridLayout;
    side->addLayout(counts);
    counts->addWidget(new QLabel(QStringLiteral("Capture Time Left"), this), 0, 0);
    captime = named(new QLabel(QStringLiteral("5"), this), "captime");
    counts->addWidget(captime, 0, 1);
    counts->addWidget(new QLabel(QStringLiteral("Frames Recorded"), this), 1, 0);
    LblFrame = named(new QLabel(QStringLiteral("0"), this), "LblFrame");
    counts->addWidget(LblFrame, 1, 1);
    counts->addWidget(new QLabel(QStringLiteral("Frames Dropped"), this), 2, 0);
    LblFrmDrop = named(new QLabel(QStringLiteral("0"), this), "LblFrmDrop");
    counts->addWidget(LblFrmDrop, 2, 1);
    lblStartFrame = named(new QLabel(QStringLiteral("0"), this), "lblStartFrame");
    lblStartFrame->hide();

    side->addStretch(1);
    cmdGoToTimer = named(new QPushButton(QStringLiteral("View Already Recorded Jumps"), this), "cmdGoToTimer");
    side->addWidget(cmdGoToTimer);
    cmdGoSetup = named(new QPushButton(QStringLiteral("Go Back To Setup Screen"), this), "cmdGoSetup");
    side->addWidget(cmdGoSetup);
    Text1 = named(new QLineEdit(QStringLiteral("Text1"), this), "Text1");
    Text1->setReadOnly(true);
    Text1->setFocusPolicy(Qt::NoFocus);
    Text1->setMaximumWidth(80);
    side->addWidget(Text1);

    Timer40 = named(new QTimer(this), "Timer40");
    Timer40->setTimerType(Qt::PreciseTimer);
    Timer40->setInterval(1000);
    connect(Timer40, &QTimer::timeout, this, &CaptureScreen::Timer40_Timer);
    displayTimer_ = new QTimer(this);
    displayTimer_->setInterval(kDisplayRefreshMs);
    connect(displayTimer_, &QTimer::timeout, this, &CaptureScreen::refreshRecordingDisplay);

    connect(txtSkierName, &QLineEdit::textChanged, this, &CaptureScreen::txtSkierName_Change);
    connect(cmdSelect, &QPushButton::clicked, this, &CaptureScreen::cmdSelect_Click);
    connect(captureTimeValue, &QComboBox::currentIndexChanged, this, &CaptureScreen::captureTimeValue_Click);
    connect(cmdStartCapture, &QPushButton::clicked, this, &CaptureScreen::cmdStartCapture_Click);
    connect(cmdEndCapture, &QPushButton::clicked, this, &CaptureScreen::cmdEndCapture_Click);
    connect(cmdStartTimer, &QPushButton::clicked, this, &CaptureScreen::cmdStartTimer_Click);
    connect(cmdGoToTimer, &QPushButton::clicked, this, &CaptureScreen::cmdGoToTimer_Click);
    connect(cmdGoSetup, &QPushButton::clicked, this, &CaptureScreen::cmdGoSetup_Click);

    // Every key pressed anywhere on the screen is seen, whichever control has the focus.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    resize(1000, 600);
}

void CaptureScreen::load()
{
    SettingsStore& store = station_.store();
    const double stored = store.getDouble(key::captureTime, 0);
    if (stored > 0) {
        int match = -1;
        for (int i = 0; i < captureTimeValue->count(); ++i)
            if (leadingNumber(captureTimeValue->itemText(i)) == stored)
                match = i;
        captureTimeValue->setCurrentIndex(match);
        CaptureSeconds_ = stored;
    } else {
        captureTimeValue->setCurrentIndex(captureTimeValue->findText(QStringLiteral("5.0")));
        CaptureSeconds_ = kDefaultCaptureSeconds;
        store.save(key::captureTime, QStringLiteral("5"));
    }
    captime->setText(QString::number(CaptureSeconds_));

    const QString list = skierListFile();
    if (!FileIsPresent(list)) {
        txtSkierName->setText(QStringLiteral("Skier Name"));
        return;
    }
    QString why;
    const std::optional<QByteArray> bytes = readFileBytes(list, readLimit::nameFile, &why);
    if (!bytes) {
        station_.prompter().message(
            QStringLiteral("The skier list %1 cannot be read: %2").arg(QDir::toNativeSeparators(list), why),
            windowTitle(), Icon::Exclamation);
        return;
    }
    QString first = decodeText(*bytes).section(QLatin1Char('\n'), 0, 0);
    if (first.endsWith(QLatin1Char('\r')))
        first.chop(1);
    if (!first.isEmpty())
        txtSkierName->setText(skierNameFromListLine(first));
}

QString CaptureScreen::skierListFile() const { return station_.programFile(QStringLiteral("SkierNames.txt")); }

// ---------------------------------------------------------------- CaptureSession

QString CaptureScreen::skierName() const { return txtSkierName->text(); }
QString CaptureScreen::passNumber() const { return txtPass->text(); }
void CaptureScreen::setSkierName(const QString& name) { txtSkierName->setText(name); }
void CaptureScreen::setPassNumber(const QString& pass) { txtPass->setText(pass); }
bool CaptureScreen::nameWarningShown() const { return !Label4->isHidden(); }

// ---------------------------------------------------------------- arrival

void CaptureScreen::showEvent(QShowEvent* e)
{
    Screen::showEvent(e);
    // The screen that shows this one sets the tag after showing it; the check runs after.
    scheduleArrivalCheck();
}

void CaptureScreen::changeEvent(QEvent* e)
{
    Screen::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        scheduleArrivalCheck();
}

void CaptureScreen::scheduleArrivalCheck()
{
    queueArrival([this] { Form_Paint(); });
}

void CaptureScreen::Form_Paint()
{
    if (arrivalRunning_)
        return;
    const QScopedValueRollback guard(arrivalRunning_, true);
    // A repaint while recording must not wind the countdown back.
    if (!recording_)
        captime->setText(QString::number(CaptureSeconds_));

    AppSettings& s = station_.settings();
    if (s.NavigationTag != kSetup && s.NavigationTag != kTimer)
        return;
    Label4->hide();
    s.CapturesPath = withoutTrailingSeparator(s.CapturesPath);
    const FreePass free = nextFreePass(s.CapturesPath, txtSkierName->text(), txtPass->text(), FileIsPresent);
    txtPass->setText(free.pass);
    CaptureFileName_ = free.fileName;
    nameChanged_ = free.changed;
    Prompter& p = station_.prompter();
    if (nameChanged_)
        p.message(kDuplicateFileWarning, QStringLiteral("Duplicate File Warning"), Icon::Exclamation);
    if (leadingNumber(txtPass->text()) > 3)
        p.message(kJumpNumberWarning, QStringLiteral("Possible Name Change Warning"), Icon::Exclamation);
    s.NavigationTag.clear();
}

// ---------------------------------------------------------------- recording

void CaptureScreen::showStartError(const CaptureError& e)
{
    station_.prompter().message(QStringLiteral("Eror code: ") + QString::number(static_cast<quint32>(e.number), 16).toUpper()
                                    + QLatin1Char(' ') + e.description,
                                QStringLiteral("Error"), Icon::Critical);
}

void CaptureScreen::cmdStartCapture_Click()
{
    if (recording_)
        return;
    lblStartFrame->setText(kNotNoted);
    {
        const WaitPointer wait;
        AppSettings& s = station_.settings();
        s.CapturesPath = withoutTrailingSeparator(s.CapturesPath);
        const FreeName free = nextFreeSkierName(s.CapturesPath, txtSkierName->text(), txtPass->text(), FileIsPresent);
        nameChanged_ = free.changed;
        if (nameChanged_) {
            txtSkierName->setText(free.skier);   // the name change puts the pass back to "1"
            Label4->setText(QStringLiteral("WARNING! Skier Name has been changed to ") + free.skier
                            + QStringLiteral(" to prevent duplicate files"));
            Label4->show();
        }
        txtPass->setText(free.pass);
        CaptureFileName_ = free.fileName;

        CaptureResult failed;
        if (panel_)
            failed = panel_->applyCaptureValues();
        if (!failed)
            failed = capture_.setCaptureFileName(CaptureFileName_);
        if (!failed)
            failed = capture_.startCapture();
        if (failed) {
            showStartError(*failed);
            return;
        }
        Timer40->start();
        captime->setText(QString::number(CaptureSeconds_));
        setRecordingState(true);
    }
    cmdStartTimer->setFocus();
}

void CaptureScreen::setRecordingState(bool on)
{
    recording_ = on;
    cmdStartCapture->setEnabled(!on);
    mnuStart->setEnabled(!on);
    cmdEndCapture->setEnabled(on);
    cmdStartTimer->setEnabled(on);
    cmdGoToTimer->setEnabled(!on);
    cmdGoSetup->setEnabled(!on);
    captureTimeValue->setEnabled(!on);
    cmdSelect->setEnabled(!on);
    txtSkierName->setReadOnly(on);
    txtPass->setReadOnly(on);
    lblRecording->setVisible(on);
    recordingProgress->setVisible(on);
    if (on) {
        recordingClock_.start();
        recordingProgress->setRange(0, int(std::lround(CaptureSeconds_ * 1000)));
        recordingProgress->setValue(0);
        refreshRecordingDisplay();
        displayTimer_->start();
    } else {
        Timer40->stop();
        displayTimer_->stop();
    }
}

void CaptureScreen::refreshRecordingDisplay()
{
    const CaptureStatistics st = capture_.statistics();
    LblFrame->setText(QString::number(st.framesCaptured));
    LblFrmDrop->setText(QString::number(st.framesDropped));
    if (!recording_)
        return;
    const qint64 ms = std::min<qint64>(recordingClock_.elapsed(), recordingProgress->maximum());
    recordingProgress->setValue(int(ms));
    recordingProgress->setFormat(QStringLiteral("Recording %1 s of %2 s")
                                     .arg(QString::number(ms / 1000.0, 'f', 1), QString::number(CaptureSeconds_)));
}

double CaptureScreen::frameRateForHint() const
{
    return panel_ ? panel_->frameRateBoxValue() : double(capture_.frameRate());
}

void CaptureScreen::noteDefaultContactHint()
{
    if (lblStartFrame->text() == kNotNoted)
        station_.settings().ContactFrameHint = halfRecordingFrameHint(frameRateForHint(), CaptureSeconds_);
}

void CaptureScreen::Timer40_Timer()
{
    const double left = leadingNumber(captime->text()) - 1;
    captime->setText(QString::number(left));
    if (left <= 0) {
        Timer40->stop();
        cmdStartCapture->setEnabled(true);
        cmdEndCapture->setEnabled(false);
        captime->setText(QString::number(CaptureSeconds_));
        (void)capture_.stopCapture();   // the stop routine stops again and reports a failure
        noteDefaultContactHint();
        refreshRecordingDisplay();
        cmdEndCapture_Click();
        return;
    }
    refreshRecordingDisplay();
}

void CaptureScreen::cmdStartTimer_Click()
{
    if (!recording_)
        return;
    const long frames = capture_.statistics().framesCaptured;
    lblStartFrame->setText(QString::number(frames));
    station_.settings().ContactFrameHint = frameCount16(frames);
}

void CaptureScreen::cmdEndCapture_Click()
{
    const CaptureResult stopped = capture_.stopCapture();
    if (!recording_)
        return;   // a second stop only reaches the component, which takes it
    const CaptureStatistics st = capture_.statistics();
    if (panel_)
        panel_->showStatistics(st);
    setRecordingState(false);
    captime->setText(QString::number(CaptureSeconds_));
    LblFrame->setText(QString::number(st.framesCaptured));
    LblFrmDrop->setText(QString::number(st.framesDropped));
    if (stopped)
        showStartError(*stopped);

    txtPass->setText(nextPassNumber(txtPass->text()));
    if (ReviewSession* review = station_.reviewSession(true))
        review->setVideoPath(CaptureFileName_);
    AppSettings& s = station_.settings();
    s.CaptureFrameRate = capture_.frameRate();
    s.CapturedFrameCount = frameCount16(st.framesCaptured);
    s.NavigationTag = kCapture;
    station_.show(screen::frmSetStart, this);
}

bool CaptureScreen::handleKey(int qtKey)
{
    const int code = keyCodeOf(qtKey);
    Text1->setText(QString::number(code));
    // Esc ends a recording; while idle it must not run the stop routine, which would count a
    // pass and hand the last file to the review screen again.
    if (code != kEscKeyCode || !recording_)
        return false;
    Timer40->stop();
    noteDefaultContactHint();
    cmdEndCapture_Click();
    return true;
}

void CaptureScreen::keyPressEvent(QKeyEvent* e)
{
    if (handleKey(e->key()))
        return;
    Screen::keyPressEvent(e);
}

void CaptureScreen::closeEvent(QCloseEvent* e)
{
    // Closing the frame mid-recording would leave the countdown running out of sight.
    if (recording_) {
        e->ignore();
        return;
    }
    Screen::closeEvent(e);
}

bool CaptureScreen::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(e)->key()))
        return true;
    if (watched == txtSkierName && e->type() == QEvent::MouseButtonDblClick) {
        cmdSelect_Click();
        return true;
    }
    return Screen::eventFilter(watched, e);
}

void CaptureScreen::resizeEvent(QResizeEvent* e)
{
    Screen::resizeEvent(e);
    fitLivePicture();
}

// ---------------------------------------------------------------- live picture

void CaptureScreen::showLivePicture(const QImage& frame)
{
    if (!isVisible() || frame.isNull())
        return;
    const QSize before = livePicture_->canvas()->picture().size();
    livePicture_->showImage(frame);
    if (frame.size() != before)
        fitLivePicture();
}

QImage CaptureScreen::livePicture() const { return livePicture_->canvas()->picture(); }

void CaptureScreen::fitLivePicture()
{
    PictureCanvas* canvas = livePicture_->canvas();
    const QImage& pic = canvas->picture();
    if (pic.isNull())
        return;
    const QSize room = canvas->viewport()->size();
    canvas->setZoom(std::min(double(room.width()) / pic.width(), double(room.height()) / pic.height()));
}

// ---------------------------------------------------------------- names and navigation

void CaptureScreen::txtSkierName_Change(const QString& text)
{
    if (editingName_)
        return;
    txtPass->setText(QStringLiteral("1"));
    if (!text.contains(QLatin1Char(',')))
        return;
    station_.prompter().message(QStringLiteral("Sorry, you cannot use the \",\" character in this box"),
                                QStringLiteral("Input Error"), Icon::Exclamation);
    const QScopedValueRollback guard(editingName_, true);
    const int cursor = txtSkierName->cursorPosition();
    QString clean = text;
    clean.replace(QLatin1Char(','), QLatin1Char(' '));
    txtSkierName->setText(clean);
    txtSkierName->setCursorPosition(cursor);
}

void CaptureScreen::captureTimeValue_Click(int index)
{
    if (index < 0)
        return;
    const QString text = captureTimeValue->itemText(index);
    station_.store().save(key::captureTime, text);
    // The chosen length holds from the next recording on, not only after a restart.
    CaptureSeconds_ = leadingNumber(text);
    if (!recording_)
        captime->setText(QString::number(CaptureSeconds_));
}

void CaptureScreen::cmdSelect_Click()
{
    if (!FileIsPresent(skierListFile())) {
        station_.prompter().message(
            QStringLiteral("No file of skier names called SkierNames.txt exists in the application directory"),
            windowTitle(), Icon::Exclamation);
        return;
    }
    if (!chooseSkier_)
        return;
    if (const std::optional<QString> name = chooseSkier_(this))
        txtSkierName->setText(*name);
}

void CaptureScreen::cmdGoToTimer_Click()
{
    if (recording_)
        return;
    hide();
    station_.settings().NavigationTag = QStringLiteral("CaptureGoToTimer");
    if (!station_.show(screen::frmSetStart))
        station_.show(screen::MainForm);
}

void CaptureScreen::cmdGoSetup_Click()
{
    if (recording_)
        return;
    station_.settings().NavigationTag = kCapture;
    station_.show(screen::MainForm, this);
}

} // namespace tarvex
