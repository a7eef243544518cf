#include "review/review_screen.h"

#include "common/list_text.h"
#include "common/text_file.h"
#include "media/avi_file.h"
#include "media/bitmap.h"
#include "media/file_helpers.h"
#include "media/frame_extract.h"
#include "review/review_rules.h"
#include "review/video_clip_source.h"
#include "station/screen_names.h"
#include "widgets/frame_view.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvex {

namespace {

const QString kTitle = QStringLiteral("Tarvex 2005 Frame Selection");
const QString kAppTitle = QStringLiteral("Tarvex");
const QString kSelectStart = QStringLiteral("Select Start Position using direction buttons and/or slider");
const QString kSelectContact = QStringLiteral("Select First Contact by using direction buttons and/or slider");
const QString kAlreadyMeasuredTitle = QStringLiteral("Start Already Measured Warning");

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

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
    resize(1280, 800);

    // The frame view takes the place (and the name) of the old media player.
    MediaPlayer1 = new FrameView(this);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    MediaPlayer1->setMinimumSize(640, 400);

    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setWordWrap(true);
        return l;
    };
    auto button = [this](const char* name, const QString& text, void (ReviewScreen::*handler)()) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };

    Label3 = label("Label3", QStringLiteral("Browse for File to View ->"));
    Command6 = button("Command6", QStringLiteral("..."), &ReviewScreen::Command6_Click);
    Command6->setToolTip(QStringLiteral("Open a recorded jump video"));
    Text6 = new QLineEdit(this);
    Text6->setObjectName(QStringLiteral("Text6"));
    // Only the station puts a video here (capture, browse, log viewer).
    Text6->setReadOnly(true);
    Command1 = button("Command1", QStringLiteral("<"), &ReviewScreen::Command1_Click);
    Command4 = button("Command4", QStringLiteral(">"), &ReviewScreen::Command4_Click);
    Command1->setToolTip(QStringLiteral("One frame back (Left arrow, numeric pad 4)"));
    Command4->setToolTip(QStringLiteral("One frame forward (Right arrow, numeric pad 6)"));
    Command1->setAutoRepeat(true);
    Command4->setAutoRepeat(true);
    Label5 = label("Label5", kSelectStart);
    cmdMarkStart = button("cmdMarkStart", QStringLiteral("Use displayed frame to measure jump"),
                          &ReviewScreen::cmdMarkStart_Click);
    cmdGoToCapture = button("cmdGoToCapture", QStringLiteral("Go To Record Next Jump Pass"),
                            &ReviewScreen::cmdGoToCapture_Click);
    cmdGoToSetup = button("cmdGoToSetup", QStringLiteral("Go Back To Setup Screen"), &ReviewScreen::cmdGoToSetup_Click);
    cmdViewLog = button("cmdViewLog", QStringLiteral("View Log File"), &ReviewScreen::cmdViewLog_Click);
    cmdViewLog->setEnabled(false);
    Label10 = label("Label10", QStringLiteral("Disk Free Space Available"));
    lblDiskSpace = label("lblDiskSpace", QStringLiteral("Disk Space"));
    Label11 = label("Label11", QStringLiteral("Warning! Disk Space Low"));
    Label11->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    Label11->hide();
    Label9 = label("Label9", QStringLiteral("Barefoot Mode"));
    Label9->setStyleSheet(QStringLiteral("font-weight: bold"));
    Label9->hide();
    lstFileInfo = new QListWidget(this);
    lstFileInfo->setObjectName(QStringLiteral("lstFileInfo"));

    for (QPushButton* b : {Command1, Command4, cmdMarkStart, cmdGoToCapture, cmdGoToSetup, cmdViewLog, Command6})
        b->setFocusPolicy(Qt::TabFocus);

    auto* browse = new QHBoxLayout;
    browse->addWidget(Label3);
    browse->addWidget(Command6);
    auto* steps = new QHBoxLayout;
    steps->addWidget(Command1);
    steps->addWidget(Command4);
    auto* disk = new QHBoxLayout;
    disk->addWidget(Label10, 1);
    disk->addWidget(lblDiskSpace);

    auto* side = new QVBoxLayout;
    side->addLayout(browse);
    side->addWidget(Text6);
    side->addWidget(lstFileInfo, 1);
    side->addLayout(steps);
    side->addWidget(Label5);
    side->addWidget(cmdMarkStart);
    side->addSpacing(12);
    side->addWidget(cmdGoToCapture);
    side->addWidget(cmdGoToSetup);
    side->addWidget(cmdViewLog);
    side->addSpacing(12);
    side->addLayout(disk);
    side->addWidget(Label11);
    side->addWidget(Label9);

    auto* sideBox = new QWidget(this);
    sideBox->setLayout(side);
    sideBox->setFixedWidth(340);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(MediaPlayer1, 1);
    layout->addWidget(sideBox);
}

void ReviewScreen::load()
{
    if (Text6->text().isEmpty())
        cmdMarkStart->setEnabled(false);
    Label5->setText(kSelectStart);
    setKeyboardEvents(true);
}

QString ReviewScreen::videoPath() const { return Text6->text(); }
void ReviewScreen::setVideoPath(const QString& path) { Text6->setText(path); }

void ReviewScreen::openRecording(const Recording& recording)
{
    Text6->setText(recording.path);
    noteRecording(station_.settings(), recording);
}

void ReviewScreen::openLogged(const QString& path) { noteLoggedVideo(station_.settings(), path); }

void ReviewScreen::openEmpty(Arrival from) { station_.settings().setArrival(from); }

void ReviewScreen::setViewLogOpener(std::function<void(QWidget*)> opener)
{
    viewLogOpener_ = std::move(opener);
    cmdViewLog->setEnabled(bool(viewLogOpener_));
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

void ReviewScreen::arrive()
{
    AppSettings& s = station_.settings();
    refreshDiskSpace();
    switch (s.arrival) {
    case Arrival::FromMainScreen:
    case Arrival::CaptureSkipped:
        Text6->clear();
        lstFileInfo->clear();
        loadVideo(QString());
        cmdMarkStart->setEnabled(false);
        Label5->setText(kSelectStart);
        break;
    case Arrival::LoggedVideo: {
        Text6->setText(s.LogViewFile);
        lstFileInfo->clear();
        const bool loaded = loadVideo(Text6->text());
        if (const auto frame = readVideoSideFile(Text6->text()))
            station_.prompter().message(QStringLiteral("File already measured - contact frame is ") + QString::number(*frame),
                                        kAlreadyMeasuredTitle, Icon::Information);
        cmdMarkStart->setEnabled(loaded);
        Label5->setText(kSelectContact);
        setSteppingEnabled(true);
        setKeyboardEvents(true);
        MediaPlayer1->setFocus();
        break;
    }
    case Arrival::Recorded: {
        nameCheckAfterCapture();
        lstFileInfo->clear();
        const int hint = s.ContactFrameHint > 0 ? s.ContactFrameHint : 0;
        const bool loaded = loadVideo(Text6->text(), hint);
        cmdMarkStart->show();
        cmdMarkStart->setEnabled(loaded);
        if (s.ContactFrameHint > 0)
            Label5->setText(kSelectStart);
        setSteppingEnabled(true);
        setKeyboardEvents(true);
        MediaPlayer1->setFocus();
        break;
    }
    default:
        break;
    }
    Label9->setVisible(s.BarefootTiming);
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
    Label10->setText(QStringLiteral("Disk Space Available ") + drive);
    const qint64 bytes = freeSpace_ ? freeSpace_(place) : 0;
    lblDiskSpace->setText(diskSpaceText(bytes));
    Label11->setVisible(diskSpaceLow(bytes));
}

void ReviewScreen::nameCheckAfterCapture()
{
    CaptureSession* capture = station_.captureSession();
    if (!capture || !capture->nameWarningShown())
        return;
    const QString current = Text6->text();
    const auto fixed = askFixedSkierName(station_.prompter(), station_.settings().CapturesPath, capture->skierName(), current);
    if (!fixed)
        return;
    if (QDir::cleanPath(fixed->path) != QDir::cleanPath(current) && !current.isEmpty()) {
        QFile file(current);
        if (!file.rename(fixed->path)) {
            // The video stays under the name it was recorded with; nothing else changes.
            say(QStringLiteral("The video %1 cannot be renamed to %2: %3")
                    .arg(native(current), native(fixed->path), file.errorString()));
            return;
        }
    }
    Text6->setText(fixed->path);
    capture->setSkierName(fixed->name);
    capture->setPassNumber(QStringLiteral("2"));
}

bool ReviewScreen::loadVideo(const QString& path, int first)
{
    if (path.isEmpty()) {
        MediaPlayer1->clearSource();
        loadedPath_.clear();
        return false;
    }
    QString why;
    auto source = VideoClipSource::open(path, &why);
    if (!source) {
        MediaPlayer1->clearSource();
        loadedPath_.clear();
        say(QStringLiteral("The video %1 cannot be shown: %2").arg(native(path), why));
        return false;
    }
    MediaPlayer1->setSource(std::move(source), first);
    loadedPath_ = path;
    return true;
}

// ---------------------------------------------------------------- browse

void ReviewScreen::Command6_Click()
{
    Prompter& p = station_.prompter();
    FileRequest r;
    r.initialFolder = station_.settings().CapturesPath;
    r.filter = QStringLiteral("*.avi|*.avi");
    r.title = QStringLiteral("Open a Jump Video");
    const auto chosen = p.openFile(r);
    if (chosen && !chosen->isEmpty()) {
        if (!IsAviFile(p, *chosen)) {
            p.message(QStringLiteral("Not a valid avi file"), kAppTitle, Icon::Exclamation);
        } else {
            Text6->setText(*chosen);
            if (const auto frame = readVideoSideFile(*chosen))
                p.message(QStringLiteral("File already measured - start frame is ") + QString::number(*frame),
                          kAlreadyMeasuredTitle, Icon::Information);
            cmdMarkStart->setEnabled(true);
            Label5->setText(kSelectStart);
            lstFileInfo->clear();
            lstFileInfo->addItems(aviInformationList(p, *chosen));
            loadedPath_.clear();   // a file chosen again starts again from its first frame
        }
    }
    // A cancelled or refused choice keeps the video in hand where it was.
    if (Text6->text() != loadedPath_ || !MediaPlayer1->hasSource())
        cmdMarkStart->setEnabled(loadVideo(Text6->text()));
    cmdMarkStart->show();
    setSteppingEnabled(true);
    setKeyboardEvents(true);
    MediaPlayer1->setFocus();
}

// ---------------------------------------------------------------- stepping

void ReviewScreen::setKeyboardEvents(bool on)
{
    keysOn_ = on;
    MediaPlayer1->setKeyStepping(on && Command1->isEnabled());
}

void ReviewScreen::setSteppingEnabled(bool on)
{
    Command1->setEnabled(on);
    Command4->setEnabled(on);
    MediaPlayer1->setKeyStepping(keysOn_ && on);
}

void ReviewScreen::stepBy(int delta, bool autoRepeat)
{
    QPushButton* b = delta < 0 ? Command1 : Command4;
    if (b->isEnabled())
        MediaPlayer1->step(delta, autoRepeat);
}

void ReviewScreen::Command1_Click()
{
    // A held button repeats like a held key: never more steps than pictures can follow.
    stepBy(-1, Command1->isDown());
    MediaPlayer1->setFocus();
}

void ReviewScreen::Command4_Click()
{
    stepBy(1, Command4->isDown());
    MediaPlayer1->setFocus();
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
    Screen::keyPressEvent(e);
}

// ---------------------------------------------------------------- fixing the frame

void ReviewScreen::writeMeasurementLog(const QString& path, int frame)
{
    const StandardName name = parseStandardName(path);
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
    const QImage shown = MediaPlayer1->shownFrame() == frame ? MediaPlayer1->shownImage() : QImage();
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

void ReviewScreen::cmdMarkStart_Click()
{
    AppSettings& s = station_.settings();
    const int frame = std::max(0, MediaPlayer1->shownFrame());
    const QString path = Text6->text();
    writeMeasurementLog(path, frame);

    setKeyboardEvents(false);
    const FrameHandOver handOver{loadedPath_.isEmpty() ? path : loadedPath_, frame};
    produceFramePicture(handOver.videoFile, frame);
    loadVideo(QString());

    if (s.arrival == Arrival::Recorded) {
        const VideoDisposal d = disposeCapturedVideo(station_.prompter(), s.VideoSaveMode, path);
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

void ReviewScreen::cmdGoToCapture_Click()
{
    leaveFor(station_.canCreate(screen::PreviewForm) ? screen::PreviewForm : screen::MainForm);
}

void ReviewScreen::cmdGoToSetup_Click() { leaveFor(screen::MainForm); }

void ReviewScreen::cmdViewLog_Click()
{
    if (viewLogOpener_)
        viewLogOpener_(this);
}

} // namespace tarvex
