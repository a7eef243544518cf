#include "capture/capture_screen.h"
#include "capture/camera_set.h"
#include "capture/capture_device_panel.h"
#include "capture/capture_rules.h"
#include "common/folder_check.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "media/file_helpers.h"
#include "station/screen_names.h"
#include "station/settings_keys.h"
#include "widgets/frame_view.h"
#include "widgets/picture_canvas.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
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
#include <QSpinBox>
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
    countdownTimer_->stop();
    if (capture_.isCapturing())
        (void)capture_.stopCapture();
    (void)capture_.disconnectDevice();
}

void CaptureScreen::buildControls()
{
    menu_ = new QMenuBar(this);
    startAction_ = menu_->addAction(QStringLiteral("&Start Recording"));
    startAction_->setObjectName(QStringLiteral("mnuStart"));
    connect(startAction_, &QAction::triggered, this, &CaptureScreen::startRecording);

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
    recordingLabel_ = named(new QLabel(QStringLiteral("\u25CF RECORDING"), this), "lblRecording");
    recordingLabel_->setStyleSheet(QStringLiteral("QLabel { color: white; background: #c00000; font-weight: bold; padding: 4px; }"));
    recordingLabel_->setAlignment(Qt::AlignCenter);
    recordingLabel_->hide();
    side->addWidget(recordingLabel_);
    recordingProgress_ = named(new QProgressBar(this), "recordingProgress");
    recordingProgress_->setTextVisible(true);
    recordingProgress_->hide();
    side->addWidget(recordingProgress_);

    auto* skier = new QGridLayout;
    side->addLayout(skier);
    skier->addWidget(new QLabel(QStringLiteral("Skier Name"), this), 0, 0);
    skierNameBox_ = named(new QLineEdit(QStringLiteral("SkierName"), this), "txtSkierName");
    skier->addWidget(skierNameBox_, 0, 1);
    chooseSkierButton_ = named(new QPushButton(QStringLiteral("Select"), this), "cmdSelect");
    skier->addWidget(chooseSkierButton_, 0, 2);
    skier->addWidget(new QLabel(QStringLiteral("Pass"), this), 1, 0);
    passBox_ = named(new QLineEdit(QStringLiteral("1"), this), "txtPass");
    passBox_->setMaximumWidth(60);
    skier->addWidget(passBox_, 1, 1, Qt::AlignLeft);

    nameWarningLabel_ = named(new QLabel(this), "Label4");
    nameWarningLabel_->setWordWrap(true);
    nameWarningLabel_->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
    nameWarningLabel_->hide();
    side->addWidget(nameWarningLabel_);

    auto* length = new QHBoxLayout;
    side->addLayout(length);
    length->addWidget(named(new QLabel(QStringLiteral("Length of time to record"), this), "Label3"));
    captureTimeBox_ = named(new QComboBox(this), "captureTimeValue");
    captureTimeBox_->addItems({QStringLiteral("3.0"), QStringLiteral("4.0"), QStringLiteral("5.0"), QStringLiteral("6.0")});
    length->addWidget(captureTimeBox_);
    buildPreRecordingControls(side);

    startButton_ = named(new QPushButton(QStringLiteral("Start Recording     (skier hits ramp)"), this), "cmdStartCapture");
    startButton_->setMinimumHeight(48);
    side->addWidget(startButton_);
    contactButton_ = named(new QPushButton(QStringLiteral("Contact"), this), "cmdStartTimer");
    contactButton_->setMinimumHeight(48);
    contactButton_->setEnabled(false);
    side->addWidget(contactButton_);
    stopButton_ = named(new QPushButton(QStringLiteral("Stop Recording"), this), "cmdEndCapture");
    stopButton_->setEnabled(false);
    stopButton_->hide();
    side->addWidget(named(new QLabel(QStringLiteral("Hit ESC to stop recording"), this), "lblEscHint"));

    auto* counts = new QGridLayout;
    side->addLayout(counts);
    counts->addWidget(new QLabel(QStringLiteral("Capture Time Left"), this), 0, 0);
    countdownLabel_ = named(new QLabel(QStringLiteral("5"), this), "captime");
    counts->addWidget(countdownLabel_, 0, 1);
    counts->addWidget(new QLabel(QStringLiteral("Frames Recorded"), this), 1, 0);
    framesLabel_ = named(new QLabel(QStringLiteral("0"), this), "LblFrame");
    counts->addWidget(framesLabel_, 1, 1);
    counts->addWidget(new QLabel(QStringLiteral("Frames Dropped"), this), 2, 0);
    droppedLabel_ = named(new QLabel(QStringLiteral("0"), this), "LblFrmDrop");
    counts->addWidget(droppedLabel_, 2, 1);
    contactFrameLabel_ = named(new QLabel(QStringLiteral("0"), this), "lblStartFrame");
    contactFrameLabel_->hide();

    side->addStretch(1);
    reviewButton_ = named(new QPushButton(QStringLiteral("View Already Recorded Jumps"), this), "cmdGoToTimer");
    side->addWidget(reviewButton_);
    setupButton_ = named(new QPushButton(QStringLiteral("Go Back To Setup Screen"), this), "cmdGoSetup");
    side->addWidget(setupButton_);
    keyCodeBox_ = named(new QLineEdit(QStringLiteral("Text1"), this), "Text1");
    keyCodeBox_->setReadOnly(true);
    keyCodeBox_->setFocusPolicy(Qt::NoFocus);
    keyCodeBox_->setMaximumWidth(80);
    side->addWidget(keyCodeBox_);

    countdownTimer_ = named(new QTimer(this), "Timer40");
    countdownTimer_->setTimerType(Qt::PreciseTimer);
    countdownTimer_->setInterval(1000);
    connect(countdownTimer_, &QTimer::timeout, this, &CaptureScreen::countDown);
    displayTimer_ = new QTimer(this);
    displayTimer_->setInterval(kDisplayRefreshMs);
    connect(displayTimer_, &QTimer::timeout, this, &CaptureScreen::refreshRecordingDisplay);

    connect(skierNameBox_, &QLineEdit::textChanged, this, &CaptureScreen::skierNameChanged);
    connect(chooseSkierButton_, &QPushButton::clicked, this, &CaptureScreen::chooseSkier);
    connect(captureTimeBox_, &QComboBox::currentIndexChanged, this, &CaptureScreen::chooseCaptureTime);
    connect(startButton_, &QPushButton::clicked, this, &CaptureScreen::startRecording);
    connect(stopButton_, &QPushButton::clicked, this, &CaptureScreen::stopRecording);
    connect(contactButton_, &QPushButton::clicked, this, &CaptureScreen::noteContact);
    connect(reviewButton_, &QPushButton::clicked, this, &CaptureScreen::goToReview);
    connect(setupButton_, &QPushButton::clicked, this, &CaptureScreen::goToSetup);

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
        for (int i = 0; i < captureTimeBox_->count(); ++i)
            if (leadingNumber(captureTimeBox_->itemText(i)) == stored)
                match = i;
        captureTimeBox_->setCurrentIndex(match);
        captureSeconds_ = stored;
    } else {
        captureTimeBox_->setCurrentIndex(captureTimeBox_->findText(QStringLiteral("5.0")));
        captureSeconds_ = kDefaultCaptureSeconds;
        store.save(key::captureTime, QStringLiteral("5"));
    }
    countdownLabel_->setText(QString::number(captureSeconds_));
    {
        const QSignalBlocker a(preRecordBox_), b(preRecordSecondsBox_);
        preRecordBox_->setChecked(store.getInt(key::preRecord, 0) == 1);
        preRecordSecondsBox_->setValue(std::clamp(store.getInt(key::preRecordSeconds, 3), 2, 10));
    }
    applyPreRecording();

    const QString list = skierListFile();
    if (!FileIsPresent(list)) {
        skierNameBox_->setText(QStringLiteral("Skier Name"));
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
        skierNameBox_->setText(skierNameFromListLine(first));
}

QString CaptureScreen::skierListFile() const { return station_.programFile(QStringLiteral("SkierNames.txt")); }

// ---------------------------------------------------------------- CaptureSession

QString CaptureScreen::skierName() const { return skierNameBox_->text(); }
QString CaptureScreen::passNumber() const { return passBox_->text(); }
void CaptureScreen::setSkierName(const QString& name) { skierNameBox_->setText(name); }
void CaptureScreen::setPassNumber(const QString& pass) { passBox_->setText(pass); }
bool CaptureScreen::nameWarningShown() const { return !nameWarningLabel_->isHidden(); }

// ---------------------------------------------------------------- arrival

void CaptureScreen::showEvent(QShowEvent* e)
{
    Screen::showEvent(e);
    // The screen that shows this one sets the tag after showing it; the check runs after.
    scheduleArrivalCheck();
    applyPreRecording();
}

void CaptureScreen::hideEvent(QHideEvent* e)
{
    Screen::hideEvent(e);
    applyPreRecording();
}

void CaptureScreen::changeEvent(QEvent* e)
{
    Screen::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        scheduleArrivalCheck();
}

void CaptureScreen::scheduleArrivalCheck()
{
    queueArrival([this] { checkArrival(); });
}

void CaptureScreen::checkArrival()
{
    if (arrivalRunning_)
        return;
    const QScopedValueRollback guard(arrivalRunning_, true);
    // A repaint while recording must not wind the countdown back.
    if (!recording_)
        countdownLabel_->setText(QString::number(captureSeconds_));

    AppSettings& s = station_.settings();
    if (s.arrival != Arrival::FromMainScreen && s.arrival != Arrival::FromReview)
        return;
    nameWarningLabel_->hide();
    s.CapturesPath = withoutTrailingSeparator(s.CapturesPath);
    const FreePass free = nextFreePass(s.CapturesPath, skierNameBox_->text(), passBox_->text(), FileIsPresent);
    passBox_->setText(free.pass);
    captureFile_ = free.fileName;
    nameChanged_ = free.changed;
    Prompter& p = station_.prompter();
    if (nameChanged_)
        p.message(kDuplicateFileWarning, QStringLiteral("Duplicate File Warning"), Icon::Exclamation);
    if (leadingNumber(passBox_->text()) > 3)
        p.message(kJumpNumberWarning, QStringLiteral("Possible Name Change Warning"), Icon::Exclamation);
    s.setArrival(Arrival::None);
}

// ---------------------------------------------------------------- recording

void CaptureScreen::showStartError(const CaptureError& e)
{
    station_.prompter().message(QStringLiteral("Eror code: ") + QString::number(static_cast<quint32>(e.number), 16).toUpper()
                                    + QLatin1Char(' ') + e.description,
                                QStringLiteral("Error"), Icon::Critical);
}

void CaptureScreen::startRecording()
{
    if (recording_)
        return;
    contactFrameLabel_->setText(kNotNoted);
    {
        const WaitPointer wait;
        AppSettings& s = station_.settings();
        s.CapturesPath = withoutTrailingSeparator(s.CapturesPath);
        // A take of several cameras is as taken when any of its files is there.
        const auto taken = [](const QString& path) {
            for (int camera = 1; camera <= kMaxCameras; ++camera)
                if (FileIsPresent(cameraFilePath(path, camera)))
                    return true;
            return false;
        };
        const FreeName free = nextFreeSkierName(s.CapturesPath, skierNameBox_->text(), passBox_->text(), taken);
        nameChanged_ = free.changed;
        if (nameChanged_) {
            skierNameBox_->setText(free.skier);   // the name change puts the pass back to "1"
            nameWarningLabel_->setText(QStringLiteral("WARNING! Skier Name has been changed to ") + free.skier
                            + QStringLiteral(" to prevent duplicate files"));
            nameWarningLabel_->show();
        }
        passBox_->setText(free.pass);
        captureFile_ = free.fileName;

        // A folder gone or full since it was chosen is said in words, before the camera starts.
        if (const auto why = newFileTrouble(captureFile_)) {
            station_.prompter().message(QStringLiteral("The video %1 cannot be created: %2.")
                                            .arg(QDir::toNativeSeparators(captureFile_), *why),
                                        QStringLiteral("Error"), Icon::Critical);
            return;
        }

        CaptureResult failed;
        if (panel_)
            failed = panel_->applyCaptureValues();
        if (!failed)
            failed = capture_.setCaptureFileName(captureFile_);
        if (!failed)
            failed = capture_.startCapture();
        if (failed) {
            showStartError(*failed);
            return;
        }
        heldFrames_ = preRecordingOn() ? capture_.statistics().framesCaptured : 0;
        countdownTimer_->start();
        countdownLabel_->setText(QString::number(captureSeconds_));
        setRecordingState(true);
    }
    contactButton_->setFocus();
}

void CaptureScreen::setRecordingState(bool on)
{
    recording_ = on;
    startButton_->setEnabled(!on);
    startAction_->setEnabled(!on);
    stopButton_->setEnabled(on);
    contactButton_->setEnabled(on);
    reviewButton_->setEnabled(!on);
    setupButton_->setEnabled(!on);
    captureTimeBox_->setEnabled(!on);
    chooseSkierButton_->setEnabled(!on);
    skierNameBox_->setReadOnly(on);
    passBox_->setReadOnly(on);
    recordingLabel_->setVisible(on);
    recordingProgress_->setVisible(on);
    preRecordBox_->setEnabled(!on);
    preRecordSecondsBox_->setEnabled(!on);
    if (on) {
        recordingClock_.start();
        recordingProgress_->setRange(0, int(std::lround(captureSeconds_ * 1000)));
        recordingProgress_->setValue(0);
        refreshRecordingDisplay();
        displayTimer_->start();
    } else {
        countdownTimer_->stop();
        displayTimer_->stop();
    }
}

void CaptureScreen::refreshRecordingDisplay()
{
    const CaptureStatistics st = capture_.statistics();
    framesLabel_->setText(QString::number(st.framesCaptured));
    droppedLabel_->setText(QString::number(st.framesDropped));
    if (!recording_)
        return;
    const qint64 ms = std::min<qint64>(recordingClock_.elapsed(), recordingProgress_->maximum());
    recordingProgress_->setValue(int(ms));
    recordingProgress_->setFormat(QStringLiteral("Recording %1 s of %2 s")
                                     .arg(QString::number(ms / 1000.0, 'f', 1), QString::number(captureSeconds_)));
}

double CaptureScreen::frameRateForHint() const
{
    return panel_ ? panel_->frameRateBoxValue() : double(capture_.frameRate());
}

void CaptureScreen::noteDefaultContactHint()
{
    if (contactFrameLabel_->text() != kNotNoted)
        return;
    // Half of the stored file, the pre-recorded pictures included.
    const double fps = frameRateForHint();
    const double held = fps > 0 ? double(heldFrames_) / fps : 0.0;
    station_.settings().ContactFrameHint = halfRecordingFrameHint(fps, held + captureSeconds_);
}

void CaptureScreen::countDown()
{
    const double left = leadingNumber(countdownLabel_->text()) - 1;
    countdownLabel_->setText(QString::number(left));
    if (left <= 0) {
        countdownTimer_->stop();
        startButton_->setEnabled(true);
        stopButton_->setEnabled(false);
        countdownLabel_->setText(QString::number(captureSeconds_));
        (void)capture_.stopCapture();   // the stop routine stops again and reports a failure
        noteDefaultContactHint();
        refreshRecordingDisplay();
        stopRecording();
        return;
    }
    refreshRecordingDisplay();
}

void CaptureScreen::noteContact()
{
    if (!recording_)
        return;
    const long frames = capture_.statistics().framesCaptured;
    contactFrameLabel_->setText(QString::number(frames));
    station_.settings().ContactFrameHint = frameCount16(frames);
}

void CaptureScreen::stopRecording()
{
    const CaptureResult stopped = capture_.stopCapture();
    if (!recording_)
        return;   // a second stop only reaches the component, which takes it
    const CaptureStatistics st = capture_.statistics();
    if (panel_)
        panel_->showStatistics(st);
    setRecordingState(false);
    countdownLabel_->setText(QString::number(captureSeconds_));
    framesLabel_->setText(QString::number(st.framesCaptured));
    droppedLabel_->setText(QString::number(st.framesDropped));
    if (stopped)
        showStartError(*stopped);

    passBox_->setText(nextPassNumber(passBox_->text()));
    AppSettings& s = station_.settings();
    const Recording recording{captureFile_, s.ContactFrameHint, frameCount16(st.framesCaptured),
                              double(capture_.frameRate())};
    if (ReviewSession* review = station_.reviewSession(true))
        review->openRecording(recording);
    else
        noteRecording(s, recording);
    station_.show(screen::frmSetStart, this);
}

bool CaptureScreen::handleKey(int qtKey)
{
    const int code = keyCodeOf(qtKey);
    keyCodeBox_->setText(QString::number(code));
    // Esc ends a recording; while idle it must not run the stop routine, which would count a
    // pass and hand the last file to the review screen again.
    if (code != kEscKeyCode || !recording_)
        return false;
    countdownTimer_->stop();
    noteDefaultContactHint();
    stopRecording();
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
    // With a list of names a double-click picks from it; without one the double-click
    // selects text, as in any box: only Select says the list is missing.
    if (watched == skierNameBox_ && e->type() == QEvent::MouseButtonDblClick && FileIsPresent(skierListFile())) {
        chooseSkier();
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

void CaptureScreen::skierNameChanged(const QString& text)
{
    if (editingName_)
        return;
    passBox_->setText(QStringLiteral("1"));
    const bool comma = text.contains(QLatin1Char(','));
    const QString forbidden = forbiddenFileNameCharacters(text);
    if (!comma && forbidden.isEmpty())
        return;
    // The name becomes the video's file name; such a character is dropped and the rest kept,
    // so "Ann/B" reads "AnnB" and the operator types on where the cursor was. The box is
    // mended before the message, so the message never sits over the refused text.
    {
        const QScopedValueRollback guard(editingName_, true);
        const int cursor = skierNameBox_->cursorPosition();
        const int dropped = cursor - int(withoutForbiddenFileNameCharacters(text.left(cursor)).size());
        QString clean = withoutForbiddenFileNameCharacters(text);
        clean.replace(QLatin1Char(','), QLatin1Char(' '));
        skierNameBox_->setText(clean);
        skierNameBox_->setCursorPosition(cursor - dropped);
    }
    const QString title = QStringLiteral("Input Error");
    if (comma)
        station_.prompter().message(QStringLiteral("Sorry, you cannot use the \",\" character in this box"), title,
                                    Icon::Exclamation);
    if (!forbidden.isEmpty())
        station_.prompter().message(forbiddenCharactersMessage(forbidden), title, Icon::Exclamation);
}

void CaptureScreen::chooseCaptureTime(int index)
{
    if (index < 0)
        return;
    const QString text = captureTimeBox_->itemText(index);
    station_.store().save(key::captureTime, text);
    // The chosen length holds from the next recording on, not only after a restart.
    captureSeconds_ = leadingNumber(text);
    if (!recording_)
        countdownLabel_->setText(QString::number(captureSeconds_));
}

void CaptureScreen::chooseSkier()
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
        skierNameBox_->setText(*name);
}

void CaptureScreen::goToReview()
{
    if (recording_)
        return;
    hide();
    if (ReviewSession* review = station_.reviewSession(true))
        review->openEmpty(Arrival::CaptureSkipped);
    else
        station_.settings().setArrival(Arrival::CaptureSkipped);
    if (!station_.show(screen::frmSetStart))
        station_.show(screen::MainForm);
}

void CaptureScreen::goToSetup()
{
    if (recording_)
        return;
    station_.settings().setArrival(Arrival::Recorded);
    station_.show(screen::MainForm, this);
}

// ---------------------------------------------------------------- pre-recording

void CaptureScreen::buildPreRecordingControls(QBoxLayout* side)
{
    auto* row = new QHBoxLayout;
    side->addLayout(row);
    preRecordBox_ = named(new QCheckBox(QStringLiteral("Keep the last"), this), "chkPreRecord");
    preRecordBox_->setToolTip(QStringLiteral("While this screen is shown the camera keeps running; Start Recording "
                                             "then stores these seconds first, so a late press still holds the jump"));
    row->addWidget(preRecordBox_);
    preRecordSecondsBox_ = named(new QSpinBox(this), "preRecordSeconds");
    preRecordSecondsBox_->setRange(2, 10);
    preRecordSecondsBox_->setValue(3);
    preRecordSecondsBox_->setSuffix(QStringLiteral(" s before Start"));
    row->addWidget(preRecordSecondsBox_);
    row->addStretch(1);
    connect(preRecordBox_, &QCheckBox::toggled, this, &CaptureScreen::choosePreRecording);
    connect(preRecordSecondsBox_, &QSpinBox::valueChanged, this, &CaptureScreen::choosePreRecording);
}

bool CaptureScreen::preRecordingOn() const { return preRecordBox_->isChecked(); }
int CaptureScreen::preRecordingSeconds() const { return preRecordSecondsBox_->value(); }

void CaptureScreen::choosePreRecording()
{
    SettingsStore& store = station_.store();
    store.save(key::preRecord, preRecordBox_->isChecked() ? 1 : 0);
    store.save(key::preRecordSeconds, preRecordSecondsBox_->value());
    applyPreRecording();
}

void CaptureScreen::applyPreRecording()
{
    if (recording_)
        return;   // the device refuses it now; the next show or toggle applies it
    if (panel_ && isVisible())
        panel_->pushCompanionCameras();
    capture_.setCompanionsRunning(isVisible());
    const int seconds = isVisible() && preRecordBox_->isChecked() ? preRecordSecondsBox_->value() : 0;
    if (seconds == capture_.preRecording() && seconds == 0)
        return;
    // The pictures held must be coded at the rate and with the compressor Start will use.
    if (panel_)
        (void)capture_.setFrameRate(int(std::lround(panel_->frameRateBoxValue())));
    if (const CaptureResult failed = capture_.setPreRecording(seconds); failed && seconds > 0)
        station_.prompter().message(QStringLiteral("Pre-recording is not possible: ") + failed->description,
                                    windowTitle(), Icon::Exclamation);
}

} // namespace tarvex
