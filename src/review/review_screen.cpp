#include "review/review_screen.h"
#include "capture/camera_set.h"

#include "common/list_text.h"
#include "common/text_file.h"
#include "media/avi_file.h"
#include "media/bitmap.h"
#include "media/file_helpers.h"
#include "media/frame_extract.h"
#include "review/review_rules.h"
#include "review/video_clip_source.h"
#include "station/screen_names.h"
#include "widgets/controls.h"
#include "widgets/frame_view.h"

#include <QDir>
#include <QFile>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStorageInfo>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tarvex {

namespace {

const QString kTitle = QStringLiteral("Tarvex 2005 Frame Selection");
const QString kAppTitle = QStringLiteral("Tarvex");
const QString kSelectStart = QStringLiteral("Select Start Position using direction buttons and/or slider");
const QString kSelectContact = QStringLiteral("Select First Contact by using direction buttons and/or slider");
const QString kAlreadyMeasuredTitle = QStringLiteral("Start Already Measured Warning");
// A decode takes a few tens of milliseconds; one that has not arrived by then never will.
constexpr int kFrameUseDeadlineMs = 3000;

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

// A mark on the frame view's slider at the suggested frame, drawn over the slider's groove.
class SliderMark : public QWidget {
public:
    explicit SliderMark(QSlider* slider) : QWidget(slider), slider_(slider)
    {
        setObjectName(QStringLiteral("sliderSuggestionMark"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setToolTip(QStringLiteral("Suggested contact"));
        slider->installEventFilter(this);
        setGeometry(slider->rect());
        setFrame(-1);
    }
    void setFrame(int frame)
    {
        setProperty("frame", frame);
        setVisible(frame >= 0);
        update();
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Resize || e->type() == QEvent::Show)
            setGeometry(slider_->rect());
        return false;
    }
    void paintEvent(QPaintEvent*) override
    {
        QStyleOptionSlider o;
        o.initFrom(slider_);
        o.orientation = slider_->orientation();
        o.minimum = slider_->minimum();
        o.maximum = slider_->maximum();
        o.sliderPosition = o.sliderValue = property("frame").toInt();
        const QRect handle = slider_->style()->subControlRect(QStyle::CC_Slider, &o, QStyle::SC_SliderHandle, slider_);
        const double x = handle.center().x() + 0.5;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0, 150, 60), 2));
        p.drawLine(QPointF(x, 0), QPointF(x, height() * 0.3));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 150, 60));
        p.drawPolygon(QPolygonF{QPointF(x - 5, height()), QPointF(x + 5, height()), QPointF(x, height() - 7)});
    }

private:
    QSlider* slider_;
};

qint64 systemFreeSpace(const QString& place)
{
    const QStorageInfo storage(place);
    // What the station may still write (a file system's reserve for its owner is not).
    return storage.isValid() && storage.isReady() ? storage.bytesAvailable() : 0;
}

} // namespace

ReviewScreen::ReviewScreen(Station& station) : Screen(station), freeSpace_(systemFreeSpace)
{
    setWindowTitle(kTitle);

    // The frame view takes the place (and the name) of the old media player. The picture
    // fits whatever room the window leaves it, so a laptop screen still shows every control.
    frameView_ = named(new FrameView(this), "MediaPlayer1");
    frameView_->setMinimumSize(480, 360);
    connect(frameView_, &FrameView::frameShown, this, &ReviewScreen::frameSettled);
    connect(frameView_, &FrameView::frameFailed, this, &ReviewScreen::frameSettled);
    useDeadline_ = new QTimer(this);
    useDeadline_->setSingleShot(true);
    useDeadline_->setInterval(kFrameUseDeadlineMs);
    connect(useDeadline_, &QTimer::timeout, this, [this] {
        if (!useAwaited_)
            return;
        endAwaitedUse();
        say(QStringLiteral("Frame %1 is still being read. Press \"Use displayed frame to measure jump\" again once it is shown.")
                .arg(frameView_->requestedFrame()));
    });

    browseLabel_ = makeLabel(this, "Label3", QStringLiteral("Browse for File to View ->"));
    browseButton_ = makeButton(this, "Command6", QStringLiteral("..."), this, &ReviewScreen::browseForVideo);
    browseButton_->setToolTip(QStringLiteral("Open a recorded jump video"));
    videoBox_ = makeLineEdit(this, "Text6");
    // Only the station puts a video here (capture, browse, log viewer).
    videoBox_->setReadOnly(true);
    backButton_ = makeButton(this, "Command1", QStringLiteral("<"), this, &ReviewScreen::stepBack);
    forwardButton_ = makeButton(this, "Command4", QStringLiteral(">"), this, &ReviewScreen::stepForward);
    backButton_->setToolTip(QStringLiteral("One frame back (Left arrow, numeric pad 4)"));
    forwardButton_->setToolTip(QStringLiteral("One frame forward (Right arrow, numeric pad 6)"));
    backButton_->setAutoRepeat(true);
    forwardButton_->setAutoRepeat(true);
    instructionLabel_ = makeLabel(this, "Label5", kSelectStart);
    useFrameButton_ = makeButton(this, "cmdMarkStart", QStringLiteral("Use displayed frame to measure jump"), this,
                                 &ReviewScreen::useShownFrame);
    nextPassButton_ = makeButton(this, "cmdGoToCapture", QStringLiteral("Go To Record Next Jump Pass"), this,
                                 &ReviewScreen::goToNextPass);
    setupButton_ =
        makeButton(this, "cmdGoToSetup", QStringLiteral("Go Back To Main Screen"), this, &ReviewScreen::goToSetup);
    viewLogButton_ = makeButton(this, "cmdViewLog", QStringLiteral("View Log File"), this, &ReviewScreen::viewLog);
    viewLogButton_->setEnabled(false);
    diskSpaceCaption_ = makeLabel(this, "Label10", QStringLiteral("Disk Free Space Available"));
    diskSpaceLabel_ = makeLabel(this, "lblDiskSpace", QStringLiteral("Disk Space"));
    diskSpaceWarning_ = makeLabel(this, "Label11", QStringLiteral("Warning! Disk Space Low"));
    diskSpaceWarning_->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    diskSpaceWarning_->hide();
    barefootLabel_ = makeLabel(this, "Label9", QStringLiteral("Barefoot Mode"));
    barefootLabel_->setStyleSheet(QStringLiteral("font-weight: bold"));
    barefootLabel_->hide();
    suggestionLabel_ = makeLabel(this, "lblSuggestedContact", QString());
    suggestionLabel_->hide();
    suggestionButton_ = makeButton(this, "cmdSuggestedContact", QStringLiteral("Go To &Suggested Contact (S)"), this,
                                   &ReviewScreen::goToSuggestion);
    suggestionButton_->setToolTip(QStringLiteral("Back to the frame the station suggests as the first contact (S)"));
    suggestionButton_->setEnabled(false);
    if (auto* slider = frameView_->findChild<QSlider*>(QStringLiteral("frameSlider")))
        suggestionMark_ = new SliderMark(slider);
    cameraBox_ = named(new QComboBox(this), "cmbCamera");
    cameraBox_->setToolTip(QStringLiteral("The same moment seen by another camera of this pass"));
    cameraBox_->hide();
    connect(cameraBox_, &QComboBox::activated, this, [this](int index) {
        showCamera(cameraBox_->itemData(index).toInt());
    });
    fileInfoCaption_ = makeLabel(this, "lblFileInfo", QStringLiteral("File information"));
    fileInfoList_ = named(new QListWidget(this), "lstFileInfo");
    fileInfoList_->setMinimumHeight(60);
    fileInfoCaption_->setBuddy(fileInfoList_);
    for (QLabel* l :
         {browseLabel_, instructionLabel_, diskSpaceCaption_, diskSpaceLabel_, diskSpaceWarning_, barefootLabel_})
        l->setWordWrap(true);
    // Both instructions take two lines in the side column; the window's minimum size does not
    // count wrapped lines by itself.
    instructionLabel_->setMinimumHeight(2 * instructionLabel_->fontMetrics().lineSpacing());
    suggestionLabel_->setWordWrap(true);

    for (QPushButton* b : {backButton_, forwardButton_, useFrameButton_, nextPassButton_, setupButton_, viewLogButton_,
                           browseButton_, suggestionButton_})
        b->setFocusPolicy(Qt::TabFocus);

    auto* browse = new QHBoxLayout;
    browse->addWidget(browseLabel_);
    browse->addWidget(browseButton_);
    auto* steps = new QHBoxLayout;
    steps->addWidget(backButton_);
    steps->addWidget(forwardButton_);
    auto* disk = new QHBoxLayout;
    disk->addWidget(diskSpaceCaption_, 1);
    disk->addWidget(diskSpaceLabel_);

    auto* side = new QVBoxLayout;
    side->addLayout(browse);
    side->addWidget(videoBox_);
    side->addWidget(cameraBox_);
    side->addWidget(fileInfoCaption_);
    side->addWidget(fileInfoList_, 1);
    side->addLayout(steps);
    side->addWidget(instructionLabel_);
    side->addWidget(suggestionLabel_);
    side->addWidget(suggestionButton_);
    side->addWidget(useFrameButton_);
    side->addSpacing(12);
    side->addWidget(nextPassButton_);
    side->addWidget(setupButton_);
    side->addWidget(viewLogButton_);
    side->addSpacing(12);
    side->addLayout(disk);
    side->addWidget(diskSpaceWarning_);
    side->addWidget(barefootLabel_);

    auto* sideBox = new QWidget(this);
    sideBox->setLayout(side);
    sideBox->setFixedWidth(340);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(frameView_, 1);
    layout->addWidget(sideBox);

    const QScreen* s = screen();
    resize(firstReviewSize(s ? s->availableGeometry().size() : QSize(), minimumSizeHint()));
}

void ReviewScreen::load()
{
    if (videoBox_->text().isEmpty())
        useFrameButton_->setEnabled(false);
    instructionLabel_->setText(kSelectStart);
    setKeyboardEvents(true);
}

QString ReviewScreen::videoPath() const { return videoBox_->text(); }
void ReviewScreen::setVideoPath(const QString& path) { videoBox_->setText(path); }

void ReviewScreen::openRecording(const Recording& recording)
{
    videoBox_->setText(recording.path);
    noteRecording(station_.settings(), recording);
    // The recording is closed: the suggestion is on its way before the screen shows.
    startDetection(recording.path);
    queueArrivalIfShown();
}

void ReviewScreen::openLogged(const QString& path)
{
    noteLoggedVideo(station_.settings(), path);
    queueArrivalIfShown();
}

void ReviewScreen::openEmpty(Arrival from)
{
    station_.settings().setArrival(from);
    queueArrivalIfShown();
}

// A screen already on view gets no show event, yet a hand-over (the log viewer opened from
// this screen) must still arrive.
void ReviewScreen::queueArrivalIfShown()
{
    if (isVisible())
        queueArrival([this] { arrive(); });
}

void ReviewScreen::setViewLogOpener(std::function<void(QWidget*)> opener)
{
    viewLogOpener_ = std::move(opener);
    viewLogButton_->setEnabled(bool(viewLogOpener_));
}

void ReviewScreen::say(const QString& text, const QString& title) const
{
    station_.prompter().message(text, title.isEmpty() ? kAppTitle : title, Icon::Exclamation);
}

// ---------------------------------------------------------------- arrival

void ReviewScreen::showEvent(QShowEvent* e)
{
    Screen::showEvent(e);
    // Other screens may show this one before they say how it is to open; the arrival reads
    // that once the showing is done, as a paint would, and only once per showing.
    queueArrival([this] { arrive(); });
}

void ReviewScreen::hideEvent(QHideEvent* e)
{
    // A frame that arrives after the screen was left must not carry the operator off.
    if (useAwaited_)
        endAwaitedUse();
    stopDetection();
    Screen::hideEvent(e);
}

void ReviewScreen::arrive()
{
    AppSettings& s = station_.settings();
    refreshDiskSpace();
    switch (s.arrival) {
    case Arrival::FromMainScreen:
    case Arrival::CaptureSkipped:
        videoBox_->clear();
        fileInfoList_->clear();
        loadVideo(QString());
        stopDetection();
        suggestionPath_.clear();
        suggestion_.reset();
        showSuggestion();
        useFrameButton_->setEnabled(false);
        instructionLabel_->setText(kSelectStart);
        break;
    case Arrival::LoggedVideo: {
        videoBox_->setText(s.LogViewFile);
        fileInfoList_->clear();
        const auto measured = readTakeSideFile(videoBox_->text());
        if (!measured)
            startDetection(videoBox_->text());
        else
            startDetection(QString());
        const bool loaded = loadVideo(videoBox_->text(), measured.value_or(0));
        if (measured)
            station_.prompter().message(QStringLiteral("File already measured - contact frame is ") + QString::number(*measured),
                                        kAlreadyMeasuredTitle, Icon::Information);
        useFrameButton_->setEnabled(loaded);
        instructionLabel_->setText(kSelectContact);
        setSteppingEnabled(true);
        setKeyboardEvents(true);
        frameView_->setFocus();
        break;
    }
    case Arrival::Recorded: {
        nameCheckAfterCapture();
        fileInfoList_->clear();
        // A renamed recording is looked at again under its new name.
        startDetection(videoBox_->text());
        const int hint = s.ContactFrameHint > 0 ? s.ContactFrameHint : 0;
        const bool ready = suggestion_ && suggestionPath_ == videoBox_->text();
        const bool loaded = loadVideo(videoBox_->text(), ready ? suggestion_->frame : hint);
        useFrameButton_->show();
        useFrameButton_->setEnabled(loaded);
        if (s.ContactFrameHint > 0)
            instructionLabel_->setText(kSelectStart);
        setSteppingEnabled(true);
        setKeyboardEvents(true);
        frameView_->setFocus();
        break;
    }
    default:
        break;
    }
    barefootLabel_->setVisible(s.BarefootTiming);
}

void ReviewScreen::refreshDiskSpace()
{
    const QString folder = station_.settings().CapturesPath;
#ifdef Q_OS_WIN
    const QString drive = windowsDriveOf(folder);
    const QString place = drive + QLatin1Char('/');
#else
    // No drive letters here: the file system that holds the captures folder.
    const QString place = folder.isEmpty() ? QDir::rootPath() : folder;
    const QStorageInfo storage(place);
    const QString drive = storage.isValid() ? storage.rootPath() : place;
#endif
    diskSpaceCaption_->setText(QStringLiteral("Disk Space Available ") + drive);
    const qint64 bytes = freeSpace_ ? freeSpace_(place) : 0;
    diskSpaceLabel_->setText(diskSpaceText(bytes));
    diskSpaceWarning_->setVisible(diskSpaceLow(bytes));
}

void ReviewScreen::nameCheckAfterCapture()
{
    CaptureSession* capture = station_.captureSession();
    if (!capture || !capture->nameWarningShown())
        return;
    const QString current = videoBox_->text();
    const auto fixed = askFixedSkierName(station_.prompter(), station_.settings().CapturesPath, capture->skierName(), current);
    if (!fixed)
        return;
    if (QDir::cleanPath(fixed->path) != QDir::cleanPath(current) && !current.isEmpty()) {
        // Their readers hold the take's files open, which Windows would not rename.
        stopDetection();
        if (!loadedPath_.isEmpty() && firstCameraFile(loadedPath_) == firstCameraFile(current))
            loadVideo(QString());
        if (const auto failed = renameTake(current, fixed->path)) {
            // The take stays under the name it was recorded with; nothing else changes.
            say(*failed);
            return;
        }
    }
    videoBox_->setText(fixed->path);
    capture->setSkierName(fixed->name);
    capture->setPassNumber(QStringLiteral("2"));
}

bool ReviewScreen::loadVideo(const QString& path, int first)
{
    if (useAwaited_)
        endAwaitedUse();
    if (path.isEmpty()) {
        frameView_->clearSource();
        loadedPath_.clear();
        refreshCameraChoice();
        return false;
    }
    QString why;
    auto source = VideoClipSource::open(path, &why);
    if (!source) {
        frameView_->clearSource();
        loadedPath_.clear();
        refreshCameraChoice();
        say(QStringLiteral("The video %1 cannot be shown: %2").arg(native(path), why));
        return false;
    }
    frameView_->setSource(std::move(source), first);
    loadedPath_ = path;
    openedAt_ = frameView_->requestedFrame();
    stepped_ = false;
    showSuggestion();
    refreshCameraChoice();
    return true;
}

// --- Several cameras of one pass ---

int ReviewScreen::cameraInView() const { return loadedPath_.isEmpty() ? 1 : cameraOfFile(loadedPath_); }

void ReviewScreen::refreshCameraChoice()
{
    const QMap<int, QString> files = loadedPath_.isEmpty() ? QMap<int, QString>() : cameraFilesOf(loadedPath_);
    const QSignalBlocker quiet(cameraBox_);
    cameraBox_->clear();
    if (files.size() < 2) {
        cameraBox_->hide();
        return;
    }
    for (auto it = files.begin(); it != files.end(); ++it) {
        cameraBox_->addItem(QStringLiteral("Camera %1 (grid %1)").arg(it.key()), it.key());
        if (it.key() == cameraInView())
            cameraBox_->setCurrentIndex(cameraBox_->count() - 1);
    }
    cameraBox_->show();
}

void ReviewScreen::showCamera(int camera)
{
    if (loadedPath_.isEmpty() || useAwaited_ || camera == cameraInView())
        return;
    const QMap<int, QString> files = cameraFilesOf(loadedPath_);
    if (!files.contains(camera))
        return;
    const int frame = std::max(0, frameView_->requestedFrame());
    const int match = matchingFrames(files, cameraInView(), frame).value(camera, frame);
    if (!loadVideo(files.value(camera), match))
        return;
    // Every reader of the box takes the take from whichever camera's file it names.
    videoBox_->setText(files.value(camera));
    GridState& g = station_.grids();
    if (camera <= g.grids_in_use && camera != g.current_grid)
        g.switchToGrid(camera);
    frameView_->setFocus();
}

// ---------------------------------------------------------------- browse

void ReviewScreen::browseForVideo()
{
    Prompter& p = station_.prompter();
    FileRequest r;
    r.initialFolder = station_.settings().CapturesPath;
    r.filter = QStringLiteral("*.avi|*.avi");
    r.title = QStringLiteral("Open a Jump Video");
    const auto chosen = p.openFile(r);
    int first = 0;
    if (chosen && !chosen->isEmpty()) {
        if (!IsAviFile(p, *chosen)) {
            p.message(QStringLiteral("Not a valid avi file"), kAppTitle, Icon::Exclamation);
        } else {
            videoBox_->setText(*chosen);
            if (const auto frame = readTakeSideFile(*chosen)) {
                p.message(QStringLiteral("File already measured - start frame is ") + QString::number(*frame),
                          kAlreadyMeasuredTitle, Icon::Information);
                first = *frame;
                startDetection(QString());
            } else {
                startDetection(*chosen);
            }
            useFrameButton_->setEnabled(true);
            instructionLabel_->setText(kSelectStart);
            fileInfoList_->clear();
            fileInfoList_->addItems(aviInformationList(p, *chosen));
            loadedPath_.clear();   // a file chosen again starts again from its first frame
        }
    }
    // A cancelled or refused choice keeps the video in hand where it was.
    if (videoBox_->text() != loadedPath_ || !frameView_->hasSource())
        useFrameButton_->setEnabled(loadVideo(videoBox_->text(), first));
    useFrameButton_->show();
    setSteppingEnabled(true);
    setKeyboardEvents(true);
    frameView_->setFocus();
}

// ---------------------------------------------------------------- stepping

void ReviewScreen::setKeyboardEvents(bool on)
{
    keysOn_ = on;
    frameView_->setKeyStepping(on && backButton_->isEnabled());
}

void ReviewScreen::setSteppingEnabled(bool on)
{
    backButton_->setEnabled(on);
    forwardButton_->setEnabled(on);
    frameView_->setKeyStepping(keysOn_ && on);
}

void ReviewScreen::stepBy(int delta, bool autoRepeat)
{
    QPushButton* b = delta < 0 ? backButton_ : forwardButton_;
    if (b->isEnabled()) {
        stepped_ = true;
        frameView_->step(delta, autoRepeat);
    }
}

void ReviewScreen::stepBack()
{
    // A held button repeats like a held key: never more steps than pictures can follow.
    stepBy(-1, backButton_->isDown());
    frameView_->setFocus();
}

void ReviewScreen::stepForward()
{
    stepBy(1, forwardButton_->isDown());
    frameView_->setFocus();
}

void ReviewScreen::keyPressEvent(QKeyEvent* e)
{
    // Keys that reach the screen itself (focus on a button); the frame view takes its own.
    const bool keypad = e->modifiers() & Qt::KeypadModifier;
    int delta = 0;
    if (e->key() == Qt::Key_Left || (keypad && e->key() == Qt::Key_4))
        delta = -1;
    else if (e->key() == Qt::Key_Right || (keypad && e->key() == Qt::Key_6))
        delta = 1;
    if (delta && keysOn_) {
        stepBy(delta, e->isAutoRepeat());
        return;
    }
    if (e->key() == Qt::Key_S && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && keysOn_) {
        goToSuggestion();
        return;
    }
    Screen::keyPressEvent(e);
}

// ---------------------------------------------------------------- fixing the frame

void ReviewScreen::writeMeasurementLog(const QString& path, int frame)
{
    // A companion camera's file is logged as itself, under the skier and jump of its take.
    const StandardName name = parseStandardName(firstCameraFile(path));
    if (!name.standard) {
        say(QStringLiteral("Warning, this is not a  standard KMT file so it will not be saved in the Log for future reference"));
        return;
    }
    const AppSettings& s = station_.settings();
    const QString log = s.CapturesPath + QLatin1Char('/') + s.MeasurementLogName;
    const QString line = contactFrameLogLine(station_.clock().now(), name.skier, name.jump, frame, path);
    if (const auto failed = appendDurably(log, lineBytes({line})))
        say(QStringLiteral("The measurement log %1 cannot be written: %2").arg(native(log), *failed),
            QStringLiteral("Measurement Log"));
    if (const auto failed = writeVideoSideFile(path, frame))
        say(QStringLiteral("The frame cannot be noted beside the video in %1: %2").arg(native(videoSideFilePath(path)), *failed));
}

void ReviewScreen::produceFramePicture(const QString& videoPath, int frame)
{
    const QString bmp = station_.programFile(QStringLiteral("currentcapture.bmp"));
    const QImage shown = frameView_->shownFrame() == frame ? frameView_->shownImage() : QImage();
    if (shown.isNull()) {
        // Only when the first frame has not arrived yet: then it is decoded here once.
        if (extractFrame(station_.prompter(), videoPath, frame, bmp) != ExtractResult::Ok)
            QFile::remove(bmp);   // the last jump's picture must not pass for this one's
        return;
    }
    Bitmap dib;
    QString problem;
    if (!dib.CreateFromFrame(shown.width(), shown.height(), bitmapPixelsOf(shown)) || !dib.WriteToFile(bmp, &problem)) {
        station_.prompter().message(QStringLiteral("There was an error working with the file:\r\n") + bmp
                                        + QStringLiteral("\r\n") + problem,
                                    kAppTitle, Icon::Information);
        QFile::remove(bmp);
    }
}

void ReviewScreen::drawOutCameraPictures(FrameHandOver& handOver)
{
    // The Measure screen switches camera with the grid after the take's files are gone, so
    // each camera's matching frame is drawn out while they are still there.
    handOver.cameraFrames = matchingFrames(handOver.cameraFiles, handOver.camera, handOver.frame);
    const QString shown = station_.programFile(QStringLiteral("currentcapture.bmp"));
    for (auto it = handOver.cameraFiles.cbegin(); it != handOver.cameraFiles.cend(); ++it) {
        const QString bmp = station_.programFile(QStringLiteral("currentcapture-cam%1.bmp").arg(it.key()));
        QFile::remove(bmp);   // another take's picture must not pass for this one's
        const bool ok = it.key() == handOver.camera
                            ? QFile::copy(shown, bmp)
                            : extractFrame(station_.prompter(), it.value(), handOver.cameraFrames.value(it.key()), bmp)
                                  == ExtractResult::Ok;
        if (ok)
            handOver.cameraPictures.insert(it.key(), bmp);
    }
}

void ReviewScreen::useShownFrame()
{
    if (useAwaited_)
        return;
    if (frameView_->hasSource() && frameView_->frameCount() > 0
        && (frameView_->busy() || frameView_->shownFrame() != frameView_->requestedFrame())) {
        if (!frameView_->busy()) {
            // The newest frame asked for could not be read; the one still on screen is not it.
            say(QStringLiteral("Frame %1 cannot be read. Choose another frame.").arg(frameView_->requestedFrame()));
            return;
        }
        useAwaited_ = true;
        useFrameButton_->setEnabled(false);
        setSteppingEnabled(false);
        useDeadline_->start();
        return;
    }
    // A jump measured on a damaged picture would be a wrong result that looks right.
    if (frameView_->shownDamaged()) {
        say(QStringLiteral("Frame %1 is damaged and cannot be used to measure the jump. Choose another frame.")
                .arg(frameView_->shownFrame()));
        return;
    }
    fixShownFrame();
}

void ReviewScreen::endAwaitedUse()
{
    useAwaited_ = false;
    useDeadline_->stop();
    useFrameButton_->setEnabled(true);
    setSteppingEnabled(true);
}

void ReviewScreen::frameSettled()
{
    if (!useAwaited_ || frameView_->busy())
        return;
    endAwaitedUse();
    // The slider may have asked for another frame meanwhile; the newest request counts.
    useShownFrame();
}

void ReviewScreen::fixShownFrame()
{
    AppSettings& s = station_.settings();
    const int frame = std::max(0, frameView_->shownFrame());
    const QString path = loadedPath_.isEmpty() ? videoBox_->text() : loadedPath_;
    writeMeasurementLog(path, frame);

    setKeyboardEvents(false);
    FrameHandOver handOver;
    handOver.videoFile = path;
    handOver.frame = frame;
    handOver.camera = cameraOfFile(path);
    if (const QMap<int, QString> files = cameraFilesOf(path); files.size() > 1)
        handOver.cameraFiles = files;
    if (suggestion_ && suggestionPath_ == path) {
        // The water does not move with the frames: the point suits any frame of the pass.
        handOver.suggestedImpact = suggestion_->impactTwips;
        handOver.suggestedFrame = suggestion_->frame;
    }
    produceFramePicture(path, frame);
    loadVideo(QString());
    stopDetection();

    if (s.arrival == Arrival::Recorded && captureToBeDisposed(station_.prompter(), s.VideoSaveMode)) {
        if (!handOver.cameraFiles.isEmpty())
            drawOutCameraPictures(handOver);
        const VideoDisposal d = removeTake(path);
        if (!d.error.isEmpty())
            say(QStringLiteral("The video capture could not be deleted: ") + d.error);
    }

    if (!station_.grids().all_grids_set_up) {
        noteFrameHandOver(s, handOver);   // the grid setup screen shows the frame instead
        say(QStringLiteral("One or more grids are not configured.  You may not use the Measure Screen until all listed grids are configured"));
        station_.show(screen::Grid_Setup, this);
        return;
    }
    if (MeasureSession* measure = station_.measureSession(true))
        measure->openFrame(handOver);
    else
        noteFrameHandOver(s, handOver);
    station_.show(screen::Measure, this);
}

// ---------------------------------------------------------------- navigation

void ReviewScreen::leaveFor(const QString& target)
{
    setSteppingEnabled(true);
    setKeyboardEvents(true);
    // The decoded frames are not needed on the other screens (they may hold hundreds of MB).
    loadVideo(QString());
    station_.settings().setArrival(Arrival::FromReview);
    station_.show(target, this);
}

void ReviewScreen::goToNextPass()
{
    leaveFor(station_.canCreate(screen::PreviewForm) ? screen::PreviewForm : screen::MainForm);
}

void ReviewScreen::goToSetup() { leaveFor(screen::MainForm); }

void ReviewScreen::viewLog()
{
    if (viewLogOpener_)
        viewLogOpener_(this);
}

// ---------------------------------------------------------------- the suggested contact

void ReviewScreen::startDetection(const QString& path)
{
    if (!path.isEmpty() && path == suggestionPath_ && (detection_ || suggestion_))
        return;   // already looked at, or being looked at
    stopDetection();
    suggestion_.reset();
    suggestionPath_ = path;
    if (!path.isEmpty()) {
        ContactOptions options;
        const GridState& g = station_.grids();
        if (GridState::isGridNumber(g.current_grid) && g.grid_set_up[g.current_grid])
            options.grid = contactGridOf(g);
        detection_ = std::make_unique<ContactJob>(path, options, this, [this, path](std::optional<ContactSuggestion> found) {
            suggestionArrived(path, found);
        });
    }
    showSuggestion();
}

void ReviewScreen::stopDetection() { detection_.reset(); }

void ReviewScreen::suggestionArrived(const QString& path, std::optional<ContactSuggestion> found)
{
    if (path != suggestionPath_)
        return;
    suggestion_ = found;
    showSuggestion();
    // The operator who has already stepped keeps the frame they chose.
    if (found && path == loadedPath_ && frameView_->hasSource() && !stepped_ && !useAwaited_
        && frameView_->requestedFrame() == openedAt_) {
        frameView_->requestFrame(found->frame);
        openedAt_ = frameView_->requestedFrame();
    }
}

std::optional<int> ReviewScreen::suggestedFrameInView() const
{
    if (!suggestion_ || loadedPath_.isEmpty() || suggestionPath_.isEmpty())
        return std::nullopt;
    if (loadedPath_ == suggestionPath_)
        return suggestion_->frame;
    if (firstCameraFile(loadedPath_) != firstCameraFile(suggestionPath_))
        return std::nullopt;
    // Another camera of the take saw that moment in a frame of its own.
    return matchingFrames(cameraFilesOf(loadedPath_), cameraOfFile(suggestionPath_), suggestion_->frame)
        .value(cameraOfFile(loadedPath_), suggestion_->frame);
}

void ReviewScreen::showSuggestion()
{
    // The suggestion is the take's, whichever of its cameras is in view.
    const bool current = !suggestionPath_.isEmpty() && !videoBox_->text().isEmpty()
                         && firstCameraFile(suggestionPath_) == firstCameraFile(videoBox_->text());
    const bool found = current && suggestion_;
    const std::optional<int> inView = found ? suggestedFrameInView() : std::nullopt;
    if (!current) {
        suggestionLabel_->hide();
    } else if (found) {
        suggestionLabel_->setText(QStringLiteral("Suggested contact: frame %1 (confidence %2 %)")
                                      .arg(inView.value_or(suggestion_->frame))
                                      .arg(int(std::lround(100 * suggestion_->confidence))));
        suggestionLabel_->show();
    } else {
        suggestionLabel_->setText(detection_ && !detection_->finished() ? QStringLiteral("Looking for the first contact...")
                                                                        : QStringLiteral("No contact found"));
        suggestionLabel_->show();
    }
    suggestionButton_->setEnabled(inView.has_value());
    if (suggestionMark_)
        static_cast<SliderMark*>(suggestionMark_)->setFrame(inView.value_or(-1));
}

void ReviewScreen::goToSuggestion()
{
    const std::optional<int> frame = suggestedFrameInView();
    if (!frame || !frameView_->hasSource() || useAwaited_)
        return;
    frameView_->requestFrame(*frame);
    frameView_->setFocus();
}

} // namespace tarvex
