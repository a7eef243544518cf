// The capture screen on the fake camera: arrival checks, recording, countdown, Contact, Esc,
// the stop routine and the hand-over to the review screen.
#include "app/main_screen.h"
#include "capture/capture_device_panel.h"
#include "capture/capture_screen.h"
#include "station/review_session.h"
#include "support/controls_inside.h"
#include "support/station_fixture.h"
#include "testkit/fake_capture_component.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

using namespace tarvex;
using namespace tarvex::test;

namespace {

// Stands in for the review screen: keeps the path it is given.
class ReviewStandIn : public Screen, public ReviewSession {
public:
    using Screen::Screen;
    QString videoPath() const override { return path; }
    void setVideoPath(const QString& p) override { path = p; }
    void openRecording(const Recording& r) override
    {
        path = r.path;
        recording = r;
        noteRecording(station_.settings(), r);
    }
    void openLogged(const QString&) override {}
    void openEmpty(Arrival from) override { station_.settings().setArrival(from); }
    QString path;
    Recording recording;
};

struct CaptureScreenTest : StationFixture {
    MainScreen* main = nullptr;
    CaptureScreen* cap = nullptr;

    void open(bool withReview = true)
    {
        storeSetting("logpath", videos());
        FakeVideoDevice cam;
        cam.name = "Lake camera";
        cam.resolutions = {"1280x720"};
        camera->addVideoDevice(cam);
        camera->setStatistics({150, 2, 0, 5000});
        prompter->no();   // emergency reset
        makeStation();
        if (withReview)
            station->registerScreen("frmSetStart", [](Station& s) { return new ReviewStandIn(s); });
        station->start();
        main = station->screenAs<MainScreen>("MainForm");
        cap = station->screenAs<CaptureScreen>("PreviewForm");
        ASSERT_NE(cap, nullptr);
        prompter->clear();
    }
    template <typename T = QWidget> T* c(const char* name) { return child<T>(cap, name); }
    QString text(const char* label) { return c<QLabel>(label)->text(); }
    void touch(const QString& name) { QFile f(videos() + "/" + name); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
    void setRate(const QString& fps) { child<QLineEdit>(main->devicePanel(), "EdtRate")->setText(fps); }
    void arrive(Arrival from)
    {
        station->settings().setArrival(from);
        cap->checkArrival();
    }
    ReviewStandIn* review() { return dynamic_cast<ReviewStandIn*>(station->existingScreen("frmSetStart")); }
};

} // namespace

TEST_F(CaptureScreenTest, LoadsWithItsCaptionsAndTheDefaultLength)
{
    open();
    EXPECT_EQ(cap->windowTitle(), "Tarvex 2005 Capture Screen");
    EXPECT_EQ(c<QPushButton>("cmdStartCapture")->text(), "Start Recording     (skier hits ramp)");
    EXPECT_FALSE(c<QPushButton>("cmdStartTimer")->isEnabled());
    EXPECT_EQ(c<QComboBox>("captureTimeValue")->currentText(), "5.0");
    EXPECT_EQ(SettingsStore(settingsFile()).get("captureTime"), "5");
    EXPECT_EQ(cap->skierName(), "Skier Name");   // no SkierNames.txt
    EXPECT_TRUE(c("Label4")->isHidden());
    EXPECT_TRUE(c("lblRecording")->isHidden());
}

TEST_F(CaptureScreenTest, StoredLengthAndFirstListNameAreTakenAtLoad)
{
    storeSetting("captureTime", "3");
    QFile names(path("program/SkierNames.txt"));
    ASSERT_TRUE(names.open(QIODevice::WriteOnly));
    names.write("Lee,Ann\r\nBob\r\n");
    names.close();
    open();
    EXPECT_EQ(cap->captureSeconds(), 3);
    EXPECT_EQ(c<QComboBox>("captureTimeValue")->currentText(), "3.0");
    EXPECT_EQ(cap->skierName(), "Ann Lee");

    // A new choice is stored and holds for the next recording.
    c<QComboBox>("captureTimeValue")->setCurrentIndex(3);
    EXPECT_EQ(SettingsStore(settingsFile()).get("captureTime"), "6.0");
    EXPECT_EQ(cap->captureSeconds(), 6);
    EXPECT_EQ(text("captime"), "6");

    cap->setSkierChooser([](QWidget*) { return std::optional<QString>("Bob"); });
    c<QPushButton>("cmdSelect")->click();
    EXPECT_EQ(cap->skierName(), "Bob");
}

TEST_F(CaptureScreenTest, ArrivalRaisesThePassPastExistingFilesWithOneWarning)
{
    open();
    touch("Annjump1.avi");
    touch("Annjump2.avi");
    cap->setSkierName("Ann");
    arrive(Arrival::FromMainScreen);
    EXPECT_EQ(cap->passNumber(), "3");
    EXPECT_EQ(prompter->shown().size(), 1);
    EXPECT_EQ(prompter->shown().value(0).title, "Duplicate File Warning");
    EXPECT_EQ(prompter->shown().value(0).text,
              "Warning, the pass number was changed because a file for that pass already existed.  You may need to change the skier name");
    EXPECT_EQ(station->settings().NavigationTag, "");

    // Back from the review screen with the third file made: pass 4 warns twice.
    touch("Annjump3.avi");
    prompter->clear();
    arrive(Arrival::FromReview);
    EXPECT_EQ(cap->passNumber(), "4");
    EXPECT_EQ(prompter->messages(), QStringList({
        "Warning, the pass number was changed because a file for that pass already existed.  You may need to change the skier name",
        "Warning, the jump number is greater than 3.  You may need to change the skier name"}));

    // Other arrivals check nothing.
    touch("Annjump4.avi");
    prompter->clear();
    arrive(Arrival::FromMeasure);
    EXPECT_EQ(cap->passNumber(), "4");
    EXPECT_TRUE(prompter->shown().isEmpty());
}

TEST_F(CaptureScreenTest, StartOverAnExistingFileRenamesTheSkierAndWarns)
{
    open();
    touch("Annjump3.avi");
    cap->setSkierName("Ann");
    cap->setPassNumber("3");
    camera->clearLog();
    cap->startRecording();
    EXPECT_EQ(cap->skierName(), "AnnX");
    EXPECT_EQ(cap->passNumber(), "1");
    EXPECT_EQ(cap->captureFileName(), videos() + "/AnnXjump1.avi");
    EXPECT_EQ(text("Label4"), "WARNING! Skier Name has been changed to AnnX to prevent duplicate files");
    EXPECT_TRUE(cap->nameWarningShown());
    // The panel's values go first, then the screen's own file name, then the start.
    const QStringList log = camera->log();
    const qsizetype panelFile = log.indexOf("setCaptureFileName(testvid.avi)");
    const qsizetype ownFile = log.indexOf("setCaptureFileName(" + videos() + "/AnnXjump1.avi)");
    ASSERT_GE(panelFile, 0);
    EXPECT_LT(panelFile, ownFile);
    EXPECT_LT(ownFile, log.indexOf("startCapture()"));
    cap->stopRecording();

    touch("AnnXjump1.avi");
    cap->setSkierName("Ann");
    cap->setPassNumber("3");
    cap->startRecording();
    EXPECT_EQ(cap->skierName(), "AnnXX");
    EXPECT_EQ(camera->captureFileName(), videos() + "/AnnXXjump1.avi");
}

TEST_F(CaptureScreenTest, CountdownWithoutContactHintsHalfTheRecording)
{
    const struct { const char* fps; int hint; } cases[] = {{"30", 75}, {"25", 62}};
    open();
    for (const auto& k : cases) {
        setRate(k.fps);
        cap->show();
        cap->startRecording();
        ASSERT_TRUE(cap->recording()) << prompter->texts().join("|").toStdString();
        EXPECT_FALSE(c("lblRecording")->isHidden());
        EXPECT_FALSE(c<QPushButton>("cmdGoSetup")->isEnabled());
        EXPECT_TRUE(c<QTimer>("Timer40")->isActive());
        EXPECT_EQ(c<QTimer>("Timer40")->interval(), 1000);
        const int stopsBefore = camera->calls("stopCapture");
        for (int i = 0; i < 4; ++i)
            cap->countDown();
        EXPECT_EQ(text("captime"), "1");
        EXPECT_TRUE(cap->recording());
        cap->countDown();
        EXPECT_FALSE(cap->recording()) << k.fps;
        EXPECT_EQ(station->settings().ContactFrameHint, k.hint) << k.fps;
        EXPECT_EQ(camera->calls("stopCapture") - stopsBefore, 2);   // the tick and the stop routine
        EXPECT_EQ(text("captime"), "5");
        EXPECT_TRUE(c("lblRecording")->isHidden());
    }
}

TEST_F(CaptureScreenTest, ContactNotesTheFrameAndEscStops)
{
    open();
    cap->show();
    cap->startRecording();
    camera->setStatistics({42, 0, 0, 1400});
    c<QPushButton>("cmdStartTimer")->click();
    EXPECT_EQ(text("lblStartFrame"), "42");
    EXPECT_EQ(station->settings().ContactFrameHint, 42);

    QTest::keyClick(c("cmdStartTimer"), Qt::Key_Escape);
    EXPECT_FALSE(cap->recording());
    EXPECT_EQ(station->settings().ContactFrameHint, 42);
    EXPECT_EQ(c<QLineEdit>("Text1")->text(), "27");
    EXPECT_EQ(cap->passNumber(), "2");

    // Esc while idle only shows its code; no pass is counted.
    cap->show();
    QTest::keyClick(c("cmdStartCapture"), Qt::Key_Escape);
    QTest::keyClick(c("cmdStartCapture"), Qt::Key_A);
    EXPECT_EQ(cap->passNumber(), "2");
    EXPECT_EQ(c<QLineEdit>("Text1")->text(), "65");
}

TEST_F(CaptureScreenTest, FailedStartShowsTheErrorAndStaysIdle)
{
    open();
    camera->failNext("startCapture", {CaptureError::FileError, "The capture file cannot be created"});
    cap->startRecording();
    EXPECT_EQ(prompter->messages(), QStringList({"Eror code: 80040006 The capture file cannot be created"}));
    EXPECT_EQ(prompter->shown().value(0).title, "Error");
    EXPECT_FALSE(cap->recording());
    EXPECT_TRUE(c<QPushButton>("cmdStartCapture")->isEnabled());
    EXPECT_FALSE(c<QPushButton>("cmdStartTimer")->isEnabled());
    EXPECT_FALSE(c<QTimer>("Timer40")->isActive());
}

TEST_F(CaptureScreenTest, NameEditsResetThePassAndRefuseCommas)
{
    open();
    cap->setPassNumber("3");
    c<QLineEdit>("txtSkierName")->setText("Lee,Ann");
    EXPECT_EQ(cap->skierName(), "Lee Ann");
    EXPECT_EQ(cap->passNumber(), "1");
    EXPECT_EQ(prompter->messages(), QStringList({"Sorry, you cannot use the \",\" character in this box"}));
    EXPECT_EQ(prompter->shown().value(0).title, "Input Error");

    prompter->clear();
    c<QPushButton>("cmdSelect")->click();
    EXPECT_EQ(prompter->messages(),
              QStringList({"No file of skier names called SkierNames.txt exists in the application directory"}));

    // A double-click that selects the typed name says nothing about the missing list.
    prompter->clear();
    auto* box = c<QLineEdit>("txtSkierName");
    QTest::mouseDClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    EXPECT_EQ(prompter->shown().size(), 0);
    EXPECT_EQ(box->selectedText(), "Lee");
}

TEST_F(CaptureScreenTest, RoadFromTheMainScreenToTheReviewScreen)
{
    open();
    station->settings().CapturesPath = videos() + "/";   // as typed, with a trailing separator
    main->show();
    setRate("30");
    c<QComboBox>("captureTimeValue")->setCurrentText("3.0");
    child<QPushButton>(main, "cmdGoCapture")->click();
    QCoreApplication::processEvents();   // the arrival check runs once the click is done
    EXPECT_FALSE(cap->isHidden());
    EXPECT_TRUE(main->isHidden());
    EXPECT_EQ(station->settings().NavigationTag, "");
    EXPECT_EQ(cap->captureFileName(), videos() + "/Skier Namejump1.avi");

    c<QPushButton>("cmdStartCapture")->click();
    ASSERT_TRUE(cap->recording());
    EXPECT_EQ(camera->captureFileName(), videos() + "/Skier Namejump1.avi");
    for (int i = 0; i < 3; ++i)
        cap->countDown();

    AppSettings& s = station->settings();
    EXPECT_EQ(s.NavigationTag, "Capture");
    EXPECT_EQ(s.ContactFrameHint, 45);
    EXPECT_EQ(s.CapturedFrameCount, 150);
    EXPECT_EQ(s.CaptureFrameRate, 30);
    EXPECT_EQ(child<QLabel>(main->devicePanel(), "LblFrames")->text(), "150");
    EXPECT_EQ(cap->passNumber(), "2");
    ASSERT_NE(review(), nullptr);
    EXPECT_EQ(review()->path, videos() + "/Skier Namejump1.avi");
    EXPECT_EQ(review()->recording.contactHint, 45);
    EXPECT_EQ(review()->recording.frameCount, 150);
    EXPECT_EQ(review()->recording.frameRate, 30);
    EXPECT_FALSE(review()->isHidden());
    EXPECT_TRUE(cap->isHidden());

    // A second stop reaches only the component.
    cap->stopRecording();
    EXPECT_EQ(cap->passNumber(), "2");
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(CaptureScreenTest, WithoutAReviewScreenTheStopStillHandsOver)
{
    open(false);
    cap->show();
    cap->startRecording();
    cap->stopRecording();
    EXPECT_EQ(station->settings().NavigationTag, "Capture");
    EXPECT_EQ(cap->passNumber(), "2");
}

TEST_F(CaptureScreenTest, ANameThatCannotBeAFileNameIsRefusedOnEntryKeepingTheRest)
{
    open();
    auto* box = c<QLineEdit>("txtSkierName");
    for (const char* typed : {"Ann/B", "Zo:e"}) {
        box->clear();
        QTest::keyClicks(box, typed);
    }
    EXPECT_EQ(box->text(), "Zoe");
    EXPECT_EQ(prompter->messages(),
              (QStringList{"Sorry, a skier name cannot hold \"/\": the name becomes part of the video's file name.",
                           "Sorry, a skier name cannot hold \":\": the name becomes part of the video's file name."}));
    EXPECT_EQ(prompter->shown().value(0).title, "Input Error");

    // Typing goes on where it was: "A/" typed in front of "nn" leaves the cursor after "A".
    box->setText("nn");
    box->setCursorPosition(0);
    QTest::keyClicks(box, "A/");
    EXPECT_EQ(box->text(), "Ann");
    EXPECT_EQ(box->cursorPosition(), 1);
}

TEST_F(CaptureScreenTest, StartRecordingSaysInWordsWhyTheVideoCannotBeCreated)
{
    open();
    cap->setSkierName("Ann");
    ASSERT_TRUE(QDir(videos()).removeRecursively());
    prompter->clear();
    c<QPushButton>("cmdStartCapture")->click();
    EXPECT_FALSE(cap->recording());
    EXPECT_EQ(camera->calls("startCapture"), 0);
    EXPECT_EQ(prompter->messages(), QStringList{"The video " + QDir::toNativeSeparators(videos() + "/Annjump1.avi")
                                                + " cannot be created: its folder " + QDir::toNativeSeparators(videos())
                                                + " does not exist."});
}

TEST_F(CaptureScreenTest, EveryControlIsInsideTheWindowOnA1366By728Area)
{
    open();
    cap->show();
    EXPECT_LE(cap->frameGeometry().width(), 1366);
    EXPECT_LE(cap->frameGeometry().height(), 728);
    EXPECT_EQ(controlsOutside(cap), QStringList());
}

// Two grids, each with its camera: one Start records both to the take's names, and a take
// of which only the second camera's file is left still counts as taken.
TEST_F(CaptureScreenTest, RoadOneStartRecordsTheCameraOfEachGrid)
{
    storeSetting("grids", "2");
    storeSetting("camera2", "Dock camera");
    open();
    FakeVideoDevice dock;
    dock.name = "Dock camera";
    dock.resolutions = {"1280x720"};
    camera->addVideoDevice(dock);   // after the lake camera, which is grid 1's
    cap->show();   // shown: the dock camera runs before Start, so Start does not wait for it
    auto* waiting = dynamic_cast<FakeCaptureDevice*>(camera->companionDevice(2));
    ASSERT_NE(waiting, nullptr);
    EXPECT_TRUE(waiting->standby);
    touch("Annjump3-cam2.avi");
    cap->setSkierName("Ann");
    cap->setPassNumber("3");
    cap->startRecording();
    ASSERT_TRUE(cap->recording());
    EXPECT_EQ(cap->captureFileName(), videos() + "/AnnXjump1.avi");
    auto* second = dynamic_cast<FakeCaptureDevice*>(camera->companionDevice(2));
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->isRecording());
    EXPECT_EQ(second->lastRecording().path, videos() + "/AnnXjump1-cam2.avi");
    EXPECT_EQ(second->lastRecording().start, camera->fakeDevice().lastRecording().start);
    cap->stopRecording();
    EXPECT_FALSE(second->isRecording());
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(CaptureScreenTest, PreRecordingRunsWhileShownAndTheHintCountsTheHeldFrames)
{
    open();
    setRate("30");
    auto* box = c<QCheckBox>("chkPreRecord");
    auto* seconds = c<QSpinBox>("preRecordSeconds");
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(seconds->value(), 3);
    EXPECT_EQ(seconds->minimum(), 2);
    EXPECT_EQ(seconds->maximum(), 10);
    cap->show();
    EXPECT_TRUE(camera->log("setPreRecording").isEmpty());   // off, as it always was

    box->setChecked(true);
    EXPECT_EQ(camera->log("setPreRecording").last(), "setPreRecording(3)");
    seconds->setValue(4);
    EXPECT_EQ(camera->log("setPreRecording").last(), "setPreRecording(4)");
    EXPECT_EQ(station->store().getInt("preRecord", 0), 1);
    EXPECT_EQ(station->store().getInt("preRecordSeconds", 0), 4);

    // Start finds 4 s at 30 fps held; the file then runs 5 s past the press.
    camera->setStatistics({120, 0, 0, 4000});
    cap->startRecording();
    ASSERT_TRUE(cap->recording());
    EXPECT_FALSE(box->isEnabled());
    camera->setStatistics({270, 0, 0, 9000});
    for (int i = 0; i < 5; ++i)
        cap->countDown();
    EXPECT_FALSE(cap->recording());
    // Half of the 9 s of the file, counted from its first (held) frame.
    EXPECT_EQ(station->settings().ContactFrameHint, 135);
    // Leaving the screen stops holding pictures.
    EXPECT_EQ(camera->log("setPreRecording").last(), "setPreRecording(0)");
}
