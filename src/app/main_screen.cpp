#include "app/main_screen.h"
#include "station/screen_names.h"
#include "common/twips.h"
#include "station/settings_keys.h"
#include "station/emergency_reset.h"
#include "common/rtf_reader.h"
#include "capture/capture_component.h"
#include "capture/capture_device_panel.h"
#include "capture/ffmpeg_capture_component.h"
#include "common/folder_check.h"
#include "common/list_text.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "media/file_helpers.h"
#include "widgets/controls.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

namespace tarvex {

const QString MainScreen::kInvalidPathMessage = QStringLiteral("You entered an invalid path - try  again");

namespace {

// Start-up cannot go on without a video folder; an operator who keeps cancelling is offered
// nothing else, but a scripted or broken prompt must not keep the station in the loop forever.
constexpr int kMaxFolderPrompts = 25;

// The hub is laid out in twips, as its layout rules speak of it; every control has a fixed place.
QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect r)
{
    QPushButton* b = makeButton(parent, name, caption);
    b->setGeometry(r);
    return b;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, QRect r)
{
    QLabel* l = named(new QLabel(caption, parent), name);
    l->setGeometry(r);
    return l;
}

} // namespace

MainScreen::MainScreen(Station& station) : Screen(station)
{
    setWindowTitle(QStringLiteral("Tarvex 2005"));
    buildControls();
    connect(&station_, &Station::gridLoaded, this, [this](int n) {
        setGridStatus(n, true, true);
        setGridDescription(n, station_.grids().grid_description[n]);
    });
    // The trio shows the grid's true state; whether it is seen stays the grid count's affair.
    connect(&station_, &Station::gridStateChanged, this, [this](int n) {
        if (n < 1 || n > 3)
            return;
        const GridState& g = station_.grids();
        setGridStatus(n, !gridLabels_[n - 1]->isHidden(), g.grid_set_up[n]);
        setGridDescription(n, g.grid_description[n]);
    });
}

void MainScreen::buildControls()
{
    auto* menu = new QMenuBar(this);
    auto addMenu = [this, menu](const char* name, const QString& caption, void (MainScreen::*slot)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
    };
    addMenu("mnuViewLog", QStringLiteral("&View Log"), &MainScreen::viewLog);
    addMenu("munManual", QStringLiteral("View &Manual"), &MainScreen::viewManual);
    addMenu("mnulicense", QStringLiteral("&License"), &MainScreen::showLicense);
    addMenu("mnuExit", QStringLiteral("E&xit"), &MainScreen::exitStation);
    menu->setGeometry(0, 0, pixelsFromTwips(12600), menu->sizeHint().height());

    content_ = new QWidget(this);
    content_->setObjectName(QStringLiteral("content"));
    const int top = menu->sizeHint().height();
    content_->setGeometry(0, top, pixelsFromTwips(12600), pixelsFromTwips(9100));

    // The capture device panel occupies the left part while it is shown.
    panel_ = new CaptureDevicePanel(station_.store(), station_.prompter(), station_.capture(), content_);
    panel_->setObjectName(QStringLiteral("devicePanel"));
    // The station's own capture device lists the operator's network cameras.
    if (auto* ffmpeg = dynamic_cast<FfmpegCaptureComponent*>(&station_.capture())) {
        FfmpegCaptureDevice* device = &ffmpeg->ffmpegDevice();
        panel_->setNetworkCameras(device->networkCameras(), [device] { device->pollDevices(); });
    }
    // Tall enough for the network-camera row and the other grids' cameras above the status line.
    panel_->setGeometry(0, 0, pixelsFromTwips(6000), pixelsFromTwips(8700));

    controlsFrame_ = new QGroupBox(QStringLiteral("Tarvex Controls and Configuration"), content_);
    controlsFrame_->setObjectName(QStringLiteral("Frame1"));
    controlsFrame_->setGeometry(pixelsFromTwips(kFrame1LeftHidden), pixelsFromTwips(120), pixelsFromTwips(6240), pixelsFromTwips(8100));

    const int w = pixelsFromTwips(5900), h = pixelsFromTwips(450), x = pixelsFromTwips(170);
    auto* go = button(controlsFrame_, "cmdGoCapture", QStringLiteral("Proceed to Record Jumps"), {x, pixelsFromTwips(360), w, h});
    auto* videos = button(controlsFrame_, "cmdGoTimer", QStringLiteral("View Already Recorded Jump Videos"), {x, pixelsFromTwips(900), w, h});
    auto* pics = button(controlsFrame_, "ccmdGoToMeasure", QStringLiteral("View Already Recorded Jump Pics"), {x, pixelsFromTwips(1440), w, h});
    auto* setup = button(controlsFrame_, "cmdSetup", QStringLiteral("Go to Setup"), {x, pixelsFromTwips(1980), w, h});
    auto* conf = button(controlsFrame_, "cmdConfigure", QStringLiteral("Configure"), {x, pixelsFromTwips(2520), w, h});
    showConfigButton_ = button(controlsFrame_, "cmdShowConfig", QStringLiteral("Show Configuration"), {x, pixelsFromTwips(3060), pixelsFromTwips(2900), h});
    auto* imp = button(controlsFrame_, "cmdImport", QStringLiteral("Import Skier Names File"), {x + pixelsFromTwips(3000), pixelsFromTwips(3060), pixelsFromTwips(2900), h});
    connect(go, &QPushButton::clicked, this, &MainScreen::goToCapture);
    connect(videos, &QPushButton::clicked, this, &MainScreen::goToVideoReview);
    connect(pics, &QPushButton::clicked, this, &MainScreen::goToMeasure);
    connect(setup, &QPushButton::clicked, this, &MainScreen::goToGridSetup);
    connect(conf, &QPushButton::clicked, this, &MainScreen::goToConfiguration);
    connect(showConfigButton_, &QPushButton::clicked, this, &MainScreen::toggleCaptureConfiguration);
    connect(imp, &QPushButton::clicked, this, &MainScreen::importSkierNames);

    label(controlsFrame_, QStringLiteral("Label2"), QStringLiteral("Save Video Files in this Directory"), {x, pixelsFromTwips(3660), w, pixelsFromTwips(300)});
    videoFolderBox_ = makeLineEdit(controlsFrame_, "txtVideoDir");
    videoFolderBox_->setGeometry(x, pixelsFromTwips(3960), w, pixelsFromTwips(360));
    connect(videoFolderBox_, &QLineEdit::textChanged, this, &MainScreen::videoFolderChanged);
    videoFolderLabel_ = label(controlsFrame_, QStringLiteral("lblVideodir"), QString(), {x, pixelsFromTwips(4380), w, pixelsFromTwips(300)});
    auto* chg = button(controlsFrame_, "btnChangeDirectory", QStringLiteral("Change Video File Directory"), {x, pixelsFromTwips(4740), w, h});
    connect(chg, &QPushButton::clicked, this, &MainScreen::changeVideoFolder);

    barefootTimingCheck_ = named(new QCheckBox(QStringLiteral("Enable Barefoot Timing (15 sec)"), controlsFrame_), "cb15");
    barefootTimingCheck_->setGeometry(x, pixelsFromTwips(5340), w, pixelsFromTwips(360));
    connect(barefootTimingCheck_, &QCheckBox::clicked, this, [this](bool on) {
        station_.settings().BarefootTiming = on;
        station_.store().save(key::barefoot, on ? 1 : 0);
    });
    // A state set by the program (start-up) keeps the mirror in step as well.
    connect(barefootTimingCheck_, &QCheckBox::toggled, this, [this](bool on) { station_.settings().BarefootTiming = on; });

    captureConfigLabel_ = label(controlsFrame_, QStringLiteral("lblConfig"), QStringLiteral("Currently Configured for R"), {x, pixelsFromTwips(5800), w, pixelsFromTwips(300)});
    connect(panel_, &CaptureDevicePanel::configCaptionChanged, captureConfigLabel_, &QLabel::setText);

    const QString gridCaptions[3] = {QStringLiteral("Grid 1"), QStringLiteral("Grid 2"), QStringLiteral("Grid3")};
    for (int i = 0; i < 3; ++i) {
        const int y = pixelsFromTwips(6240 + i * 540);
        gridLabels_[i] = label(controlsFrame_, QStringLiteral("lblGrid%1").arg(i + 1), gridCaptions[i], {x, y, pixelsFromTwips(900), pixelsFromTwips(480)});
        gridStatusIcons_[i] = label(controlsFrame_, QStringLiteral("ImageGrid%1").arg(i + 1), QString(), {x + pixelsFromTwips(960), y, pixelsFromTwips(480), pixelsFromTwips(480)});
        gridStatusIcons_[i]->setScaledContents(true);
        gridDescriptionBoxes_[i] = named(new QLineEdit(controlsFrame_), QStringLiteral("txtGridDescription%1").arg(i));
        gridDescriptionBoxes_[i]->setGeometry(x + pixelsFromTwips(1500), y, w - pixelsFromTwips(1500), pixelsFromTwips(400));
        setGridStatus(i + 1, i == 0, false);
    }

    // Placed at the foot of the window, beside the navigation frame.
    if (QLabel* status = panel_->statusLabel()) {
        status->setParent(content_);
        status->setGeometry(pixelsFromTwips(120), pixelsFromTwips(8750), pixelsFromTwips(12300), pixelsFromTwips(300));
    }
    setFixedSize(pixelsFromTwips(12600), top + pixelsFromTwips(9100));
    setCapturePanelsVisible(false);
}

QPoint MainScreen::capturePlace(const QRect& mainFrame, const QSize& captureFrame, const QRect& available)
{
    const QRect beside(QPoint(mainFrame.right() + 1, mainFrame.top()), captureFrame);
    if (available.contains(beside))
        return beside.topLeft();
    // On a laptop screen the two do not fit side by side; half a capture screen off the
    // edge hides Select and Start, so it opens in the middle instead.
    const QSize room = captureFrame.boundedTo(available.size());
    return {available.x() + (available.width() - room.width()) / 2, available.y() + (available.height() - room.height()) / 2};
}

QString MainScreen::videoFolderText() const { return videoFolderBox_->text(); }

int MainScreen::frame1LeftTwips() const { return controlsFrame_->x() * kTwipsPerPixel; }

void MainScreen::setCapturePanelsVisible(bool visible)
{
    controlsFrame_->move(pixelsFromTwips(visible ? kFrame1LeftShown : kFrame1LeftHidden), controlsFrame_->y());
    for (QWidget* w : {static_cast<QWidget*>(panel_->commandsFrame()), static_cast<QWidget*>(panel_->optionsFrame()),
                       static_cast<QWidget*>(panel_->statusLabel())})
        if (w)
            w->setVisible(visible);
    panel_->setVisible(visible);
    // The narrow window shows only the navigation frame.
    const int width = visible ? pixelsFromTwips(12600) : pixelsFromTwips(6600);
    setFixedWidth(width);
}

void MainScreen::setGridStatus(int n, bool visible, bool loaded)
{
    if (n < 1 || n > 3)
        return;
    const int i = n - 1;
    gridLoaded_[i] = loaded;
    gridLabels_[i]->setVisible(visible);
    gridStatusIcons_[i]->setVisible(visible);
    gridDescriptionBoxes_[i]->setVisible(visible);
    const QString file = loaded ? QStringLiteral("SmallSmiley.jpg") : QStringLiteral("SmallCaution.jpg");
    // A picture of that name in the program folder wins over the built-in one.
    QPixmap pm(station_.programFile(file));
    if (pm.isNull())
        pm.load(QStringLiteral(":/icons/") + file);
    gridStatusIcons_[i]->setPixmap(pm);
    gridStatusIcons_[i]->setProperty("pictureName", file);
}

bool MainScreen::gridStatusLoaded(int n) const { return n >= 1 && n <= 3 && gridLoaded_[n - 1]; }

void MainScreen::setGridDescription(int n, const QString& text)
{
    if (n >= 1 && n <= 3)
        gridDescriptionBoxes_[n - 1]->setText(text);
}

QString MainScreen::gridDescription(int n) const
{
    return n >= 1 && n <= 3 ? gridDescriptionBoxes_[n - 1]->text() : QString();
}

QString MainScreen::sessionLine(const QDateTime& t)
{
    ListWriter w;
    w.text(dateText(t)).zone().text(timeText(t)).zone()
        .text(QStringLiteral("Tarvex Measurement Session started  ")).endLine();
    return w.str();
}

void MainScreen::load()
{
    loading_ = true;
    Prompter& p = station_.prompter();
    SettingsStore& store = station_.store();
    // Start-up stores many keys; they reach the file together when it is done.
    const SettingsStore::Batch batch(store);

    EmergencyReset(p, store);                                     // 1
    // What a replace killed half-way left behind; the real files are whole.
    removeStaleTemporaries(station_.txioFolder(), {QStringLiteral("txresult.dst")}, {}, station_.startedAt());
    removeStaleTemporaries(station_.programFolder(), {QStringLiteral("currentcapture.bmp"), QStringLiteral("SkierNames.txt")},
                           {}, station_.startedAt());

    setCapturePanelsVisible(false);                               // 2
    panel_->selectStreamMode();

    if (station_.canCreate(screen::PreviewForm))        // 3
        station_.screen(screen::PreviewForm);
    panel_->prepareAtStartup();                                   // 4, 5 and the lists

    if (QWidget* cap = station_.existingScreen(screen::PreviewForm)) {   // 6
        const QRect avail = screen() ? screen()->availableGeometry() : QRect(0, 0, 1920, 1080);
        if (x() + width() + cap->width() > avail.width())
            move(0, y());
        cap->move(capturePlace(frameGeometry(), cap->frameGeometry().size(), avail));
    }

    panel_->toggleConnection();                                   // 7
    panel_->applyStoredCompression();

    askForVideoFolder();                                          // 8
    if (station_.hasQuit()) {
        loading_ = false;
        return;
    }

    AppSettings& s = station_.settings();                         // 9
    s.MeasurementLogName = QStringLiteral("JumpMeasurementLog") + dailyNamePart(station_.clock().now()) + QStringLiteral(".txt");
    s.CapturesPath = withoutTrailingSeparator(videoFolderBox_->text().trimmed());
    if (!s.CapturesPath.isEmpty())
        writeSessionLine();

    videoFolderLabel_->setText(videoFolderBox_->text());                    // 10
    panel_->switchPreviewOn();

    barefootTimingCheck_->setChecked(store.getInt(key::barefoot, 0) != 0);   // 11
    s.BarefootTiming = barefootTimingCheck_->isChecked();

    panel_->setStreamFile(QStringLiteral("testvid.avi"));         // 12
    configShown_ = false;
    setCapturePanelsVisible(false);                               // 13
    showConfigButton_->setText(QStringLiteral("Show Configuration"));
    applyFrameRateCaption();                                      // 14

    p.message(QStringLiteral("Please Verify all Setup Parameters"));   // 15

    loading_ = false;
    if (station_.canCreate(screen::Config))             // 16
        station_.show(screen::Config, this);
    else
        show();
}

void MainScreen::askForVideoFolder()
{
    const QString title = QStringLiteral("Input Save Video Files Path");
    const QString stored = station_.store().get(key::logpath);
    const auto storedTrouble = stored.isEmpty() ? std::nullopt : folderTrouble(withoutTrailingSeparator(stored));
    if (!stored.isEmpty() && !storedTrouble) {
        videoFolderBox_->setText(stored);
    } else {
        // A stored folder that exists but takes no file is not a "missing" one: say why first.
        if (storedTrouble && storedTrouble->fault != FolderFault::Missing)
            station_.prompter().message(QStringLiteral("The video folder %1 cannot be used: %2.")
                                            .arg(QDir::toNativeSeparators(stored), storedTrouble->reason),
                                        title, Icon::Exclamation);
        for (int tries = 0;; ++tries) {
            if (tries == kMaxFolderPrompts) {
                station_.prompter().message(
                    QStringLiteral("Tarvex cannot work without a folder for the jump videos and the measurement log. Tarvex ends now."),
                    title, Icon::Critical);
                station_.quit();
                return;
            }
            const auto answer = station_.prompter().input(
                QStringLiteral("No Correct Save Video Directory has been set.  Please put in the path of the Save Video Directory here."),
                title);
            const QString text = answer.value_or(QString());
            videoFolderBox_->setText(text);
            const QString folder = withoutTrailingSeparator(text);
            if (answer && !folder.isEmpty()) {
                const FolderAnswer a = acceptWritableFolder(station_.prompter(), folder, QStringLiteral("The video folder"), title);
                if (a == FolderAnswer::Usable)
                    break;
                if (a == FolderAnswer::Refused)
                    continue;
            }
            station_.prompter().message(kInvalidPathMessage);
        }
    }
    station_.store().save(key::logpath, videoFolderBox_->text());
}

void MainScreen::writeSessionLine()
{
    AppSettings& s = station_.settings();
    const QString path = s.CapturesPath + QLatin1Char('/') + s.MeasurementLogName;
    if (const auto failed = appendDurably(path, MainScreen::sessionLine(station_.clock().now()).toLatin1())) {
        station_.prompter().message(
            QStringLiteral("The measurement log %1 cannot be written: %2").arg(QDir::toNativeSeparators(path), *failed),
            QStringLiteral("Measurement Log"), Icon::Exclamation);
        return;
    }
    station_.store().save(key::logfile, s.MeasurementLogName);
}

void MainScreen::applyFrameRateCaption()
{
    const QString caption = CaptureDevicePanel::frameRateCaption(panel_->frameRateText());
    if (!caption.isEmpty())
        captureConfigLabel_->setText(caption);
}

void MainScreen::videoFolderChanged(const QString& text)
{
    const QString folder = withoutTrailingSeparator(text);
    station_.settings().CapturesPath = folder;
    station_.store().save(key::logpath, folder);
}

bool MainScreen::videoFolderExists()
{
    if (PathExists(withoutTrailingSeparator(videoFolderBox_->text().trimmed()), PathKind::Folder))
        return true;
    station_.prompter().message(
        QStringLiteral("The Log File Folder you specified does not exist. Please change it to a Folder that does exist."),
        QStringLiteral("Path Error"), Icon::Exclamation);
    return false;
}

bool MainScreen::goToScreen(const QString& name)
{
    return station_.show(name, this) != nullptr;
}

void MainScreen::goToCapture()
{
    if (!videoFolderExists())
        return;
    if (!goToScreen(screen::PreviewForm))
        return;
    panel_->switchPreviewOn();
    station_.settings().setArrival(Arrival::FromMainScreen);
}

void MainScreen::goToVideoReview()
{
    if (!videoFolderExists())
        return;
    if (!goToScreen(screen::frmSetStart))
        return;
    station_.settings().setArrival(Arrival::FromMainScreen);
    panel_->switchPreviewOn();
}

void MainScreen::goToMeasure()
{
    if (!station_.grids().all_grids_set_up) {
        station_.prompter().message(
            QStringLiteral("At least one measurement grid that you have specified has not been set up.  All grids specified must be set up correctly before you can use the measurement screen"),
            QStringLiteral("Tarvex"), Icon::Critical);
        goToScreen(screen::Grid_Setup);
        return;
    }
    goToScreen(screen::Measure);
}

void MainScreen::goToGridSetup() { goToScreen(screen::Grid_Setup); }
void MainScreen::goToConfiguration() { goToScreen(screen::Config); }

void MainScreen::toggleCaptureConfiguration()
{
    configShown_ = !configShown_;
    setCapturePanelsVisible(configShown_);
    showConfigButton_->setText(configShown_ ? QStringLiteral("Hide Configuration") : QStringLiteral("Show Configuration"));
}

void MainScreen::changeVideoFolder()
{
    const QString title = QStringLiteral("Jump Measurement Alert");
    for (;;) {
        const auto answer = station_.prompter().input(
            QStringLiteral("Please put in the path of the Save Video Directory here."),
            QStringLiteral("Input Save Video Files Path"));
        if (!answer || answer->isEmpty())
            return;
        const FolderAnswer a = acceptWritableFolder(station_.prompter(), withoutTrailingSeparator(*answer),
                                                    QStringLiteral("The video folder"), title);
        if (a == FolderAnswer::Usable) {
            videoFolderBox_->setText(*answer);
            videoFolderLabel_->setText(*answer);
            return;
        }
        if (a == FolderAnswer::NotCreated)
            station_.prompter().message(QStringLiteral("The folder you entered does not exist"), title, Icon::Exclamation);
    }
}

void MainScreen::importSkierNames()
{
    Prompter& p = station_.prompter();
    FileRequest r;
    r.initialFolder = station_.programFolder();
    r.title = QStringLiteral("Import Skier Names File");
    r.filter = QStringLiteral("All Files (*.*)|*.*|Text Files (*.TXT)|*.TXT|Rich Text Files (*.RTF)|*.RTF|");
    const auto chosen = p.openFile(r);
    if (!chosen || chosen->isEmpty())
        return;

    QString why;
    const std::optional<QByteArray> read = readFileBytes(*chosen, readLimit::nameFile, &why);
    if (!read) {
        p.message(QStringLiteral("The skier names file %1 cannot be read: %2").arg(QDir::toNativeSeparators(*chosen), why),
                  QStringLiteral("Import Skier Names File"), Icon::Exclamation);
        return;
    }
    const QByteArray& bytes = *read;

    QString text;
    if (isRtfDocument(bytes)) {
        QString error;
        text = rtfToPlainText(bytes, &error);
        if (!error.isEmpty() && text.trimmed().isEmpty()) {
            p.message(QStringLiteral("The skier names file %1 is not a readable rich-text document: %2").arg(QDir::toNativeSeparators(*chosen), error),
                      QStringLiteral("Import Skier Names File"), Icon::Exclamation);
            return;
        }
        if (!error.isEmpty()) {
            // Damage part-way: keeping a partial list is the operator's choice, never silent.
            const int lines = int(text.trimmed().split(QLatin1Char('\n')).size());
            const QString question =
                QStringLiteral("The skier names file %1 is damaged (%2). Only its first %3 line(s) could be read. "
                               "Import just those and replace the present skier names?")
                    .arg(QDir::toNativeSeparators(*chosen), error)
                    .arg(lines);
            if (!p.askYesNo(question, QStringLiteral("Import Skier Names File"), Icon::Question, true))
                return;
        }
    } else {
        text = decodeText(bytes);
    }
    // Saved as plain text with CR LF line ends, as the rest of the station's text files.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString out = text;
    out.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));

    const QString target = station_.programFile(QStringLiteral("SkierNames.txt"));
    if (const auto why = replaceDurably(target, out.toUtf8())) {
        p.message(QStringLiteral("The skier names cannot be saved to %1: %2").arg(QDir::toNativeSeparators(target), *why),
                  QStringLiteral("Import Skier Names File"), Icon::Exclamation);
        return;
    }

    QString first = text.section(QLatin1Char('\n'), 0, 0);
    first.replace(QLatin1Char(','), QLatin1Char(' '));
    if (CaptureSession* capture = station_.captureSession(true))
        capture->setSkierName(first);
    setProperty("importedSkierName", first);
}

void MainScreen::viewLog() { station_.openLogView(this); }

void MainScreen::viewManual() { goToScreen(screen::frmManual); }

void MainScreen::showLicense()
{
    station_.prompter().message(
        QStringLiteral("Tarvex may be used to measure jumps at water-ski tournaments and in training.\r\n"
                       "It comes without warranty: officials verify every result before it counts."));
}

void MainScreen::exitStation() { station_.quit(); }

void MainScreen::closeEvent(QCloseEvent* e)
{
    e->accept();
    station_.quit();
}

void MainScreen::showEvent(QShowEvent* e)
{
    // Coming back to the hub ends whatever transition was in progress.
    if (!loading_)
        station_.settings().setArrival(Arrival::None);
    Screen::showEvent(e);
}

} // namespace tarvex
