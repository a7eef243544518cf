#include "review/review_screen.h"
#include "review/review_rules.h"

#include "capture/avi_recorder.h"
#include "capture/camera_set.h"
#include "capture/rehearsal_camera.h"
#include "media/clip_writer.h"
#include "media/frame_extract.h"
#include "measure/measure_screen.h"
#include "station/screen_names.h"
#include "support/controls_inside.h"
#include "support/station_fixture.h"
#include "widgets/frame_view.h"
#include "widgets/picture_canvas.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>
#include <QThread>

#include <atomic>
#include <tuple>

using namespace tarvex;
using tarvex::test::child;
using tarvex::test::controlsOutside;
using tarvex::test::inScrollArea;
using tarvex::test::isControl;

namespace {

// The capture screen as the review screen sees it after a recording.
class FakeCaptureScreen : public Screen, public CaptureSession {
public:
    using Screen::Screen;
    QString skierName() const override { return name; }
    QString passNumber() const override { return pass; }
    void setSkierName(const QString& n) override { name = n; pass = QStringLiteral("1"); }
    void setPassNumber(const QString& p) override { pass = p; }
    bool nameWarningShown() const override { return warning; }
    QString name = QStringLiteral("AnnX");
    QString pass = QStringLiteral("2");
    bool warning = false;
};

struct ReviewScreenTest : test::StationFixture {
    ReviewScreen* review = nullptr;

    void SetUp() override
    {
        StationFixture::SetUp();
        makeStation();
        AppSettings& s = station->settings();
        s.CapturesPath = videos();
        s.MeasurementLogName = QStringLiteral("JumpMeasurementLog120626.txt");
        review = station->screenAs<ReviewScreen>(screen::frmSetStart);
        ASSERT_TRUE(review);
        review->setFreeSpaceQuery([](const QString&) { return qint64(900000000); });
    }

    QString clip(const QString& name, int frames = 20)
    {
        const QString p = videos() + QLatin1Char('/') + name;
        EXPECT_TRUE(testclips::writeClip(p, testclips::Codec::Mjpeg, frames));
        return p;
    }

    void arrive()
    {
        review->hide();
        station->show(screen::frmSetStart);
        QCoreApplication::processEvents();
    }
    void arriveWithRecording(const QString& video, int hint)
    {
        review->openRecording({video, hint, 20, 25});
        arrive();
    }
    void arriveLogged(const QString& video)
    {
        review->openLogged(video);
        arrive();
    }
    void arriveEmpty(Arrival from)
    {
        review->openEmpty(from);
        arrive();
    }

    // Beside `video`, frame n taken at n * interval + offset microseconds from the common start.
    void writeTimes(const QString& video, int frames, qint64 interval, qint64 offset)
    {
        FrameTimes t;
        for (int n = 0; n < frames; ++n)
            t.micros << n * interval + offset;
        QString error;
        ASSERT_TRUE(t.write(video + ".times", error)) << qPrintable(error);
    }

    FrameView* view() const { return review->frameView(); }
    bool shows(int n) const
    {
        return QTest::qWaitFor([&] { return view()->shownFrame() == n && !view()->busy(); }, 5000);
    }
    int pictureNumber() const { return testclips::frameNumberOf(view()->canvas()->picture(), testclips::Codec::Mjpeg); }
    QString logFile() const { return videos() + QStringLiteral("/JumpMeasurementLog120626.txt"); }
    QStringList kinds(const char* kind) const
    {
        QStringList out;
        for (const auto& s : prompter->shown())
            if (s.kind == QLatin1String(kind))
                out << s.text;
        return out;
    }
};

} // namespace

TEST_F(ReviewScreenTest, BrowseListsTheFileAndARefusedFileKeepsTheVideoInHand)
{
    const QString video = clip("Annjump1.avi");
    EXPECT_FALSE(child<QPushButton>(review, "cmdMarkStart")->isEnabled());
    prompter->file(video);
    review->browseForVideo();
    EXPECT_EQ(child<QLineEdit>(review, "Text6")->text(), video);
    EXPECT_TRUE(child<QPushButton>(review, "cmdMarkStart")->isEnabled());
    auto* info = child<QListWidget>(review, "lstFileInfo");
    ASSERT_EQ(info->count(), 17);
    EXPECT_EQ(info->item(0)->text(), "Filename: " + video);
    EXPECT_EQ(info->item(2)->text(), "Height: 48");
    EXPECT_EQ(info->item(3)->text(), "Width: 64");
    EXPECT_EQ(info->item(4)->text(), "Length: 20 frames");
    EXPECT_EQ(info->item(5)->text(), "Rate: 25fps");
    EXPECT_EQ(info->item(6)->text(), "=== dwCaps ===");
    EXPECT_EQ(info->item(11)->text(), "=== dwFlags ===");
    EXPECT_EQ(info->item(13)->text().left(14), "Capture File: ");
    EXPECT_EQ(info->item(16)->text().left(13), "Interleaved: ");
    ASSERT_TRUE(shows(0));
    for (int i = 0; i < 3; ++i) {
        review->stepForward();
        ASSERT_TRUE(shows(i + 1));
    }

    QFile text(videos() + "/notes.avi");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("RIFF\x10\0\0\0WAVEfmt ", 16);
    text.close();
    prompter->clear();
    prompter->file(text.fileName());
    review->browseForVideo();
    ASSERT_EQ(prompter->shown().size(), 2);
    EXPECT_EQ(prompter->shown()[1].text, "Not a valid avi file");
    EXPECT_EQ(prompter->shown()[1].icon, Icon::Exclamation);
    EXPECT_EQ(child<QLineEdit>(review, "Text6")->text(), video);
    EXPECT_EQ(info->item(0)->text(), "Filename: " + video);

    prompter->cancel();
    review->browseForVideo();
    EXPECT_EQ(child<QLineEdit>(review, "Text6")->text(), video);
    // Still at the frame the operator stepped to.
    EXPECT_TRUE(shows(3));
    EXPECT_EQ(pictureNumber(), 3);
}

TEST_F(ReviewScreenTest, AMeasuredVideoSaysSoAndOpensAtItsFrameWhenBrowsedAndFromTheLog)
{
    const QString video = clip("Annjump2.avi");
    QFile side(video + ".info");
    ASSERT_TRUE(side.open(QIODevice::WriteOnly));
    side.write((video + ",7\r\n").toUtf8());
    side.close();

    prompter->file(video);
    review->browseForVideo();
    ASSERT_TRUE(shows(7));
    EXPECT_EQ(pictureNumber(), 7);
    EXPECT_EQ(child<QSlider>(view(), "frameSlider")->value(), 7);
    EXPECT_EQ(child<QLabel>(view(), "frameNumber")->text(), "Frame 7");
    review->stepBack();
    ASSERT_TRUE(shows(6));
    arriveLogged(video);
    ASSERT_TRUE(shows(7));
    EXPECT_EQ(pictureNumber(), 7);
    EXPECT_EQ(child<QSlider>(view(), "frameSlider")->value(), 7);
    ASSERT_EQ(kinds("message").size(), 2);
    EXPECT_EQ(prompter->shown()[1].text, "File already measured - start frame is 7");
    EXPECT_EQ(prompter->shown()[1].title, "Start Already Measured Warning");
    EXPECT_EQ(prompter->shown()[2].text, "File already measured - contact frame is 7");
    EXPECT_EQ(prompter->shown()[2].title, "Start Already Measured Warning");
    EXPECT_EQ(child<QLabel>(review, "Label5")->text(), "Select First Contact by using direction buttons and/or slider");
    EXPECT_TRUE(child<QPushButton>(review, "cmdMarkStart")->isEnabled());

    // Arriving from the main screen starts empty.
    arriveEmpty(Arrival::FromMainScreen);
    EXPECT_TRUE(child<QLineEdit>(review, "Text6")->text().isEmpty());
    EXPECT_FALSE(view()->hasSource());
    EXPECT_FALSE(child<QPushButton>(review, "cmdMarkStart")->isEnabled());
}

TEST_F(ReviewScreenTest, ACaptureOpensAtTheContactHintAndStepsStopAtFrameZero)
{
    const QString video = clip("Annjump1.avi");
    arriveWithRecording(video, 5);
    ASSERT_TRUE(shows(5));
    EXPECT_EQ(pictureNumber(), 5);
    EXPECT_EQ(child<QLabel>(view(), "frameNumber")->text(), "Frame 5");
    EXPECT_EQ(child<QLabel>(view(), "frameTime")->text(), "0.200 s");

    arriveWithRecording(video, 0);
    ASSERT_TRUE(shows(0));
    review->stepBack();
    QTest::keyClick(view()->canvas(), Qt::Key_Left);
    EXPECT_EQ(view()->requestedFrame(), 0);
    QTest::keyClick(view()->canvas(), Qt::Key_6, Qt::KeypadModifier);
    EXPECT_TRUE(shows(1));
}

TEST_F(ReviewScreenTest, AskAndNoDeleteAFreshCaptureAfterItsFrameIsLogged)
{
    const QString video = clip("Annjump12.avi");
    station->settings().VideoSaveMode = "Ask";
    arriveWithRecording(video, 4);
    ASSERT_TRUE(shows(4));
    review->stepForward();
    review->stepForward();
    ASSERT_TRUE(shows(6));

    prompter->no();
    review->useShownFrame();
    EXPECT_EQ(readAll(logFile()),
              "12-06-2026    14:03:22      Skier: Ann    Jump: 12      Contact Frame: 6            File: "
                  + video.toUtf8() + "\r\n");
    EXPECT_FALSE(QFile::exists(video));
    EXPECT_FALSE(QFile::exists(video + ".info"));
    EXPECT_EQ(kinds("yesno"), QStringList{"Do you want to save this video capture?"});
    EXPECT_EQ(QFileInfo(station->programFile("currentcapture.bmp")).size(), 54 + 64 * 3 * 48);
    const AppSettings& s = station->settings();
    EXPECT_EQ(s.MeasureVideoFile, video);
    EXPECT_EQ(s.MeasureFrameNumber, 6);
    EXPECT_EQ(s.NavigationTag, "");   // the grid setup screen took the frame on its arrival
    // No grid is set up: the grid setup screen instead of measuring.
    EXPECT_EQ(kinds("message"),
              QStringList{"One or more grids are not configured.  You may not use the Measure Screen until all listed grids are configured"});
    EXPECT_TRUE(station->screen(screen::Grid_Setup)->isVisible());
    EXPECT_FALSE(review->isVisible());
    EXPECT_FALSE(view()->hasSource());
}

TEST_F(ReviewScreenTest, OnlyAFreshCaptureIsAskedAboutAndSaveAsksNothing)
{
    station->grids().all_grids_set_up = true;
    const QString logged = clip("Annjump3.avi");
    station->settings().VideoSaveMode = "Ask";
    arriveLogged(logged);
    ASSERT_TRUE(shows(0));
    review->useShownFrame();
    EXPECT_TRUE(kinds("yesno").isEmpty());
    EXPECT_TRUE(QFile::exists(logged));
    EXPECT_EQ(readAll(logged + ".info"), (logged + ",0\r\n").toUtf8());

    const QString fresh = clip("Annjump4.avi");
    station->settings().VideoSaveMode = "Save";
    arriveWithRecording(fresh, 2);
    ASSERT_TRUE(shows(2));
    review->useShownFrame();
    EXPECT_TRUE(kinds("yesno").isEmpty());
    EXPECT_TRUE(QFile::exists(fresh));
    EXPECT_EQ(readAll(fresh + ".info"), (fresh + ",2\r\n").toUtf8());
    EXPECT_TRUE(station->screen(screen::Measure)->isVisible());
    EXPECT_EQ(station->settings().NavigationTag, "SelectFrame");
}

TEST_F(ReviewScreenTest, ANameOutsideThePatternIsMeasuredButNotLogged)
{
    station->grids().all_grids_set_up = true;
    const QString video = clip("Annjump1234.avi");
    prompter->file(video);
    review->browseForVideo();
    ASSERT_TRUE(shows(0));
    prompter->clear();
    review->useShownFrame();
    ASSERT_FALSE(prompter->shown().isEmpty());
    EXPECT_EQ(prompter->shown()[0].text,
              "Warning, this is not a  standard KMT file so it will not be saved in the Log for future reference");
    EXPECT_EQ(prompter->shown()[0].icon, Icon::Exclamation);
    EXPECT_FALSE(QFile::exists(logFile()));
    EXPECT_FALSE(QFile::exists(video + ".info"));
    EXPECT_TRUE(QFile::exists(station->programFile("currentcapture.bmp")));
    EXPECT_EQ(station->settings().NavigationTag, "SelectFrame");
}

TEST_F(ReviewScreenTest, FreeSpaceBelow200MbWarnsAndBarefootTimingShows)
{
    review->setFreeSpaceQuery([](const QString&) { return qint64(150000000); });
    station->settings().BarefootTiming = true;
    arriveEmpty(Arrival::FromMainScreen);
    EXPECT_EQ(child<QLabel>(review, "lblDiskSpace")->text(), "150 MB");
    EXPECT_FALSE(child<QLabel>(review, "Label11")->isHidden());
    EXPECT_FALSE(child<QLabel>(review, "Label9")->isHidden());
    EXPECT_TRUE(child<QLabel>(review, "Label10")->text().startsWith("Disk Space Available "));

    review->setFreeSpaceQuery([](const QString&) { return qint64(250000000); });
    station->settings().BarefootTiming = false;
    arriveEmpty(Arrival::CaptureSkipped);
    EXPECT_EQ(child<QLabel>(review, "lblDiskSpace")->text(), "250 MB");
    EXPECT_TRUE(child<QLabel>(review, "Label11")->isHidden());
    EXPECT_TRUE(child<QLabel>(review, "Label9")->isHidden());
}

TEST_F(ReviewScreenTest, AChangedSkierNameCanBeFixedAndTheCaptureIsMoved)
{
    station->registerScreen(screen::PreviewForm, [](Station& s) { return new FakeCaptureScreen(s); });
    auto* capture = static_cast<FakeCaptureScreen*>(station->screen(screen::PreviewForm));
    const QString recorded = clip("AnnXjump1.avi");
    const QString companion = clip("AnnXjump1-cam2.avi");
    writeTimes(companion, 2, 40000, 0);
    arriveWithRecording(recorded, 3);   // no warning on the capture screen: nothing is asked
    EXPECT_TRUE(prompter->shown().isEmpty());
    ASSERT_TRUE(shows(3));

    capture->warning = true;
    prompter->answer("Bob");
    arriveWithRecording(recorded, 3);
    const QString moved = videos() + "/Bobjump1.avi";
    EXPECT_EQ(child<QLineEdit>(review, "Text6")->text(), moved);
    EXPECT_TRUE(QFile::exists(moved));
    EXPECT_FALSE(QFile::exists(recorded));
    EXPECT_TRUE(QFile::exists(videos() + "/Bobjump1-cam2.avi"));
    EXPECT_TRUE(QFile::exists(videos() + "/Bobjump1-cam2.avi.times"));
    EXPECT_FALSE(QFile::exists(companion));
    EXPECT_EQ(capture->name, "Bob");
    EXPECT_EQ(capture->pass, "2");
    ASSERT_TRUE(shows(3));
    EXPECT_EQ(pictureNumber(), 3);

    // The arrival ran once for this showing: a repaint asks nothing again.
    review->repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter->shown().size(), 1);

    review->goToNextPass();
    EXPECT_EQ(station->settings().NavigationTag, "Timer");
    EXPECT_TRUE(capture->isVisible());
    EXPECT_FALSE(review->isVisible());
}

// The road of one jump through this screen: a capture arrives, the operator steps with the
// keys to the contact frame, fixes it, and the measuring screen shows exactly that frame.
TEST_F(ReviewScreenTest, RoadFromACaptureToTheMeasuringScreenOnTheChosenFrame)
{
    station->grids().all_grids_set_up = true;
    station->settings().VideoSaveMode = "Save";
    const QString video = clip("Annjump1.avi", 30);
    arriveWithRecording(video, 7);
    ASSERT_TRUE(shows(7));
    QWidget* keys = view()->canvas();
    QTest::keyClick(keys, Qt::Key_Right);
    ASSERT_TRUE(shows(8));
    QTest::keyClick(keys, Qt::Key_Right);
    QTest::keyClick(keys, Qt::Key_Right);
    QTest::keyClick(keys, Qt::Key_Left);
    ASSERT_TRUE(shows(9));
    EXPECT_EQ(pictureNumber(), 9);

    child<QPushButton>(review, "cmdMarkStart")->click();
    auto* measure = station->screenAs<MeasureScreen>(screen::Measure);
    ASSERT_TRUE(measure);
    EXPECT_TRUE(measure->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(measure->canvas()->picture().size(), QSize(64, 48));
    EXPECT_EQ(testclips::frameNumberOf(measure->canvas()->picture(), testclips::Codec::Mjpeg), 9);
    EXPECT_TRUE(QFile::exists(video));
    EXPECT_TRUE(readAll(logFile()).contains("Contact Frame: 9"));
    EXPECT_EQ(prompter->unexpected(), 0);

    // The picture was written from the frame on screen, byte for byte what decoding frame 9
    // again gives.
    const QByteArray written = readAll(station->programFile("currentcapture.bmp"));
    const QString again = videos() + "/again.bmp";
    ASSERT_EQ(extractFrame(*prompter, video, 9, again), ExtractResult::Ok);
    ASSERT_EQ(written.size(), 54 + 192 * 48);
    EXPECT_EQ(written.left(2), "BM");
    EXPECT_TRUE(written == readAll(again));
}

// The log viewer's hand-over: the video named in the log, the contact frame it was measured
// at said once, and no capture disposal however the station arrived before.
TEST_F(ReviewScreenTest, OpenLoggedAfterARecordingNeverDisposesTheLoggedVideo)
{
    station->grids().all_grids_set_up = true;
    station->settings().VideoSaveMode = "NoSave";
    const QString fresh = clip("Annjump5.avi");
    arriveWithRecording(fresh, 2);
    ASSERT_TRUE(shows(2));

    const QString logged = clip("Annjump6.avi");
    QFile side(logged + ".info");
    ASSERT_TRUE(side.open(QIODevice::WriteOnly));
    side.write((logged + ",11\r\n").toUtf8());
    side.close();
    prompter->clear();
    arriveLogged(logged);
    EXPECT_EQ(station->settings().NavigationTag, "View");
    EXPECT_EQ(station->settings().LogViewFile, logged);
    EXPECT_EQ(child<QLineEdit>(review, "Text6")->text(), logged);
    EXPECT_EQ(prompter->messages(), QStringList{"File already measured - contact frame is 11"});
    ASSERT_TRUE(shows(11));

    review->useShownFrame();
    EXPECT_TRUE(QFile::exists(logged));
    EXPECT_TRUE(QFile::exists(fresh));
    EXPECT_EQ(station->settings().NavigationTag, "SelectFrame");
    EXPECT_EQ(station->settings().MeasureVideoFile, logged);
    EXPECT_EQ(station->settings().MeasureFrameNumber, 11);
}

// "View Log File" from the review screen itself: the viewer hands over the chosen video and
// the screen, already on view, opens it at the frame it was measured at, by a double-click and
// by "View Selected File".
TEST_F(ReviewScreenTest, RoadViewLogFileReopensTheChosenVideoAtItsStoredFrame)
{
    QByteArray log;
    for (const auto& [video, skier, jump, frame] :
         {std::tuple{clip("Bobjump2.avi"), "Bob", "2", 12}, {clip("Cyjump1.avi"), "Cy", "1", 4}}) {
        ASSERT_FALSE(writeVideoSideFile(video, frame));
        log += contactFrameLogLine(clock->now(), skier, jump, frame, video).toUtf8() + "\r\n";
    }
    QFile file(logFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(log);
    file.close();
    arriveWithRecording(clip("Annjump1.avi"), 3);
    ASSERT_TRUE(shows(3));

    prompter->clear();
    child<QPushButton>(review, "cmdViewLog")->click();
    auto* list = child<QListWidget>(child<QWidget>(review, "LogView"), "lstLog");
    ASSERT_EQ(list->count(), 2);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    const QPoint line = list->visualItemRect(list->item(0)).center();
    // A double-click is a click followed by the double-click event, as the mouse sends it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, line);
    ASSERT_TRUE(shows(12));
    EXPECT_TRUE(review->isVisible());
    EXPECT_EQ(review->videoPath(), videos() + "/Bobjump2.avi");
    EXPECT_EQ(pictureNumber(), 12);
    EXPECT_EQ(prompter->messages(), QStringList{"File already measured - contact frame is 12"});
    EXPECT_EQ(child<QLabel>(review, "Label5")->text(), "Select First Contact by using direction buttons and/or slider");

    child<QPushButton>(review, "cmdViewLog")->click();
    // The first viewer closed itself; the new one is the only one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return review->findChildren<QWidget*>("LogView").size() == 1; }, 2000));
    QWidget* viewer = child<QWidget>(review, "LogView");
    child<QListWidget>(viewer, "lstLog")->setCurrentRow(1);
    child<QPushButton>(viewer, "cmdView")->click();
    ASSERT_TRUE(shows(4));
    EXPECT_EQ(review->videoPath(), videos() + "/Cyjump1.avi");
    EXPECT_EQ(pictureNumber(), 4);
}

// ">" seven times and "Use displayed frame" at once, before any step reached the screen:
// frame 7 is shown, then used in the log, beside the video and as the measuring picture.
TEST_F(ReviewScreenTest, UseDisplayedFrameRightAfterSevenStepsUsesFrameSeven)
{
    station->grids().all_grids_set_up = true;
    station->settings().VideoSaveMode = "Save";
    const QString video = videos() + "/Annjump1.avi";
    testclips::ClipOptions large;
    large.width = 640;
    large.height = 480;
    ASSERT_TRUE(testclips::writeClip(video, testclips::Codec::Mjpeg, 30, large));
    arriveWithRecording(video, 0);
    ASSERT_TRUE(shows(0));

    auto* forward = child<QPushButton>(review, "Command4");
    for (int i = 0; i < 7; ++i)
        forward->click();
    child<QPushButton>(review, "cmdMarkStart")->click();
    EXPECT_FALSE(forward->isEnabled());   // no step while the chosen one settles
    auto* measure = station->screenAs<MeasureScreen>(screen::Measure);
    ASSERT_TRUE(QTest::qWaitFor([&] { return measure->isVisible(); }, 5000));
    EXPECT_EQ(readAll(video + ".info"), (video + ",7\r\n").toUtf8());
    EXPECT_TRUE(readAll(logFile()).contains("Contact Frame: 7 "));
    EXPECT_EQ(station->settings().MeasureFrameNumber, 7);
    EXPECT_EQ(testclips::frameNumberOf(measure->canvas()->picture(), testclips::Codec::Mjpeg), 7);
    const QString again = videos() + "/seven.bmp";
    ASSERT_EQ(extractFrame(*prompter, video, 7, again), ExtractResult::Ok);
    const QByteArray written = readAll(station->programFile("currentcapture.bmp"));
    ASSERT_EQ(written.size(), 54 + 640 * 3 * 480);
    EXPECT_TRUE(written == readAll(again));
}

namespace {

// Frame n is grey level 10 n; one frame cannot be made, another waits until released.
class SlowAndBrokenFrames : public ClipSource {
public:
    int frameCount() const override { return 10; }
    double frameRate() const override { return 25; }
    QImage frame(int n) override
    {
        for (int i = 0; n == slow && !released && i < 500; ++i)
            QThread::msleep(10);
        if (n == broken)
            return {};
        QImage img(4, 3, QImage::Format_RGB32);
        img.fill(qRgb(10 * n, 10 * n, 10 * n));
        return img;
    }
    int broken = 3;
    int slow = 5;
    std::atomic<bool> released = false;
};

} // namespace

TEST_F(ReviewScreenTest, AFrameNotShownIsNeverUsedInItsPlace)
{
    station->grids().all_grids_set_up = true;
    const QString video = clip("Annjump1.avi");
    arriveWithRecording(video, 2);
    auto source = std::make_shared<SlowAndBrokenFrames>();
    view()->setSource(source, 2);
    ASSERT_TRUE(shows(2));

    // The newest frame could not be read: nothing is used, the operator chooses again.
    prompter->clear();
    review->stepForward();
    review->useShownFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter->shown().isEmpty(); }, 5000));
    EXPECT_EQ(prompter->messages(), QStringList{"Frame 3 cannot be read. Choose another frame."});
    EXPECT_FALSE(QFile::exists(logFile()));
    EXPECT_TRUE(child<QPushButton>(review, "Command4")->isEnabled());

    // Leaving while a frame settles: its late arrival uses nothing.
    review->stepForward();
    review->stepForward();
    review->useShownFrame();
    EXPECT_TRUE(review->frameUseAwaited());
    review->hide();
    source->released = true;
    QTest::qWait(100);
    EXPECT_FALSE(review->frameUseAwaited());
    EXPECT_FALSE(QFile::exists(video + ".info"));
    EXPECT_FALSE(station->hasScreen(screen::Measure) && station->screen(screen::Measure)->isVisible());
}

// A damaged frame is shown as what the reader has (the picture before) and said to be
// damaged; it cannot be used to measure, the next good one can.
TEST_F(ReviewScreenTest, ADamagedFrameIsSaidOnScreenAndRefusedForMeasuring)
{
    station->grids().all_grids_set_up = true;
    station->settings().VideoSaveMode = "Save";
    const QString video = videos() + "/Annjump1.avi";
    testclips::ClipOptions o;
    o.damagedSlot = 4;
    ASSERT_TRUE(testclips::writeClip(video, testclips::Codec::Mjpeg, 20, o));
    arriveWithRecording(video, 4);
    ASSERT_TRUE(shows(4));
    EXPECT_EQ(pictureNumber(), 3);
    EXPECT_EQ(child<QLabel>(review, "frameNumber")->text(), "Frame 4");
    auto* problem = child<QLabel>(review, "frameProblem");
    EXPECT_FALSE(problem->isHidden());
    EXPECT_EQ(problem->text(), "Frame 4 is damaged");

    prompter->clear();
    child<QPushButton>(review, "cmdMarkStart")->click();
    EXPECT_EQ(prompter->messages(),
              QStringList{"Frame 4 is damaged and cannot be used to measure the jump. Choose another frame."});
    EXPECT_FALSE(QFile::exists(logFile()));
    EXPECT_FALSE(QFile::exists(video + ".info"));
    EXPECT_TRUE(review->isVisible());

    child<QPushButton>(review, "Command4")->click();
    ASSERT_TRUE(shows(5));
    EXPECT_TRUE(problem->isHidden());
    child<QPushButton>(review, "cmdMarkStart")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(video + ".info"); }, 5000));
    EXPECT_EQ(readAll(video + ".info"), (video + ",5\r\n").toUtf8());
}

// A 1366 x 768 laptop (728 lines left by a panel) and a full-HD screen: every control inside
// the window, the picture taking the room there is.
TEST_F(ReviewScreenTest, EveryControlFitsAt1366x728AndThePictureGrowsAt1920x1080)
{
    EXPECT_LE(review->minimumSizeHint().width(), 1280);
    EXPECT_LE(review->minimumSizeHint().height(), 700);
    EXPECT_EQ(child<QPushButton>(review, "cmdGoToSetup")->text(), "Go Back To Main Screen");
    EXPECT_EQ(child<QLabel>(review, "lblFileInfo")->text(), "File information");
    EXPECT_EQ(child<QLabel>(review, "lblFileInfo")->buddy(), child<QListWidget>(review, "lstFileInfo"));

    review->setFreeSpaceQuery([](const QString&) { return qint64(150000000); });
    station->settings().BarefootTiming = true;
    arriveWithRecording(clip("Annjump1.avi"), 3);
    ASSERT_TRUE(shows(3));
    // The smallest size the window allows, the laptop, the full-HD screen (the last stays).
    for (const QSize size : {review->minimumSizeHint(), QSize(1366, 728), QSize(1920, 1080)}) {
        review->resize(size);
        QCoreApplication::processEvents();
        ASSERT_EQ(review->size(), size);
        EXPECT_EQ(test::controlsOutside(review), QStringList()) << size.width() << "x" << size.height();
        QList<QPair<QWidget*, QRect>> controls;
        for (QWidget* w : review->findChildren<QWidget*>())
            if (test::isControl(w) && !qobject_cast<QGroupBox*>(w) && !w->isWindow() && w->isVisibleTo(review)
                && !test::inScrollArea(w, review))
                controls.append({w, QRect(w->mapTo(review, QPoint()), w->size())});
        EXPECT_GE(controls.size(), 18);
        for (int i = 0; i < controls.size(); ++i)
            for (int j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(controls[i].second.intersects(controls[j].second))
                    << controls[i].first->objectName().toStdString() << " overlaps "
                    << controls[j].first->objectName().toStdString() << " at " << size.width() << "x" << size.height();
    }
    EXPECT_GE(view()->width(), 1500);
    EXPECT_GE(view()->height(), 1000);
}

namespace {

// A 5 s rehearsal pass at 640x480, 30 fps, whose skier first touches the water at 2.97 s,
// which frame 90 (3.0 s) is the first to show.
QString rehearsalPass(const QString& path)
{
    RehearsalScript s;
    s.contactSurvey = QPointF(50.0, 1.0);
    s.contactSeconds = 2.97;
    const RehearsalRenderer r(QSize(640, 480), s);
    RecorderSettings rs;
    rs.path = path;
    rs.size = QSize(640, 480);
    QString error;
    auto rec = AviRecorder::create(rs, error);
    EXPECT_TRUE(rec);
    for (int f = 0; rec && f < 150; ++f)
        rec->writeVideo(r.render(f, 30), f, error);
    EXPECT_TRUE(rec && rec->finish(error));
    return path;
}

} // namespace

TEST_F(ReviewScreenTest, RoadTheSuggestedContactIsMarkedShownAndReachedWithSOrItsButton)
{
    const QString video = rehearsalPass(videos() + "/Annjump3.avi");
    auto* label = child<QLabel>(review, "lblSuggestedContact");
    auto* button = child<QPushButton>(review, "cmdSuggestedContact");
    QWidget* mark = view()->findChild<QWidget*>("sliderSuggestionMark");
    ASSERT_TRUE(mark);

    // Not ready when the screen opens: it opens at the hint and moves when the suggestion comes.
    arriveWithRecording(video, 10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->text().startsWith("Suggested contact: frame 90 ("); }, 10000))
        << qPrintable(label->text());
    EXPECT_TRUE(QRegularExpression("^Suggested contact: frame 90 \\(confidence \\d+ %\\)$").match(label->text()).hasMatch());
    ASSERT_TRUE(shows(90));
    EXPECT_TRUE(mark->isVisibleTo(review));
    EXPECT_EQ(mark->property("frame").toInt(), 90);
    EXPECT_TRUE(button->isEnabled());

    QTest::keyClick(view()->canvas(), Qt::Key_Left);
    QTest::keyClick(view()->canvas(), Qt::Key_Left);
    ASSERT_TRUE(shows(88));
    QTest::keyClick(view()->canvas(), Qt::Key_S);
    ASSERT_TRUE(shows(90));
    review->stepForward();
    ASSERT_TRUE(shows(91));
    button->click();
    ASSERT_TRUE(shows(90));

    // Ready before the screen opens: the first picture is the suggested frame.
    arriveEmpty(Arrival::FromMainScreen);
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(mark->isVisibleTo(review));
    review->openRecording({video, 10, 150, 30});
    ASSERT_TRUE(QTest::qWaitFor([&] { return review->suggestionSettled(); }, 10000));
    arrive();
    EXPECT_EQ(view()->requestedFrame(), 90);
    ASSERT_TRUE(shows(90));

    // The operator who stepped before it came keeps the frame they chose.
    arriveEmpty(Arrival::FromMainScreen);
    review->openRecording({video, 10, 150, 30});
    arrive();
    review->stepForward();
    ASSERT_TRUE(QTest::qWaitFor([&] { return review->suggestionSettled() && review->suggestion(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(view()->requestedFrame(), 11);
    EXPECT_EQ(mark->property("frame").toInt(), 90);

    // A video from the log that was never measured is looked at too.
    arriveLogged(video);
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->text().startsWith("Suggested contact: frame 90 ("); }, 10000));
    review->goToSuggestion();
    ASSERT_TRUE(shows(90));

    // A second camera 40 ms behind saw that moment in its frame 89, where S then leads.
    const QString second = videos() + "/Annjump3-cam2.avi";
    ASSERT_TRUE(QFile::copy(video, second));
    writeTimes(video, 150, 33333, 0);
    writeTimes(second, 150, 33333, 40000);
    review->showCamera(2);
    ASSERT_TRUE(shows(89));
    EXPECT_TRUE(label->text().startsWith("Suggested contact: frame 89 (")) << qPrintable(label->text());
    EXPECT_EQ(mark->property("frame").toInt(), 89);
    review->stepForward();
    ASSERT_TRUE(shows(90));
    button->click();
    EXPECT_TRUE(shows(89));
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(ReviewScreenTest, AVideoWithoutALandingSaysSoAndSIsHarmless)
{
    const QString video = clip("Annjump1.avi", 30);
    arriveWithRecording(video, 4);
    auto* label = child<QLabel>(review, "lblSuggestedContact");
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->text() == "No contact found"; }, 10000)) << qPrintable(label->text());
    EXPECT_FALSE(child<QPushButton>(review, "cmdSuggestedContact")->isEnabled());
    QTest::keyClick(view()->canvas(), Qt::Key_S);
    EXPECT_TRUE(shows(4));
}

// A pass recorded by two cameras: the camera choice appears, shows the other camera's frame
// taken nearest in time and makes its grid current, and "Use displayed frame" hands the
// Measure screen that camera's frame.
TEST_F(ReviewScreenTest, RoadTheCameraSwitchShowsTheOtherCamerasMatchingFrame)
{
    GridState& g = station->grids();
    g.grids_in_use = 2;
    g.all_grids_set_up = true;
    station->settings().VideoSaveMode = "Save";
    const QString first = clip("Annjump1.avi", 30), second = clip("Annjump1-cam2.avi", 30);
    writeTimes(first, 30, 40000, 0);
    writeTimes(second, 30, 40000, -30000);   // the second camera 30 ms ahead: frame 9 matches its 10
    arriveWithRecording(first, 9);
    ASSERT_TRUE(shows(9));
    auto* cameras = child<QComboBox>(review, "cmbCamera");
    ASSERT_TRUE(cameras->isVisibleTo(review));
    EXPECT_EQ(cameras->count(), 2);
    EXPECT_EQ(cameras->currentText(), "Camera 1 (grid 1)");

    emit cameras->activated(1);
    ASSERT_TRUE(shows(10));
    EXPECT_EQ(pictureNumber(), 10);
    EXPECT_EQ(review->cameraInView(), 2);
    EXPECT_EQ(g.current_grid, 2);
    EXPECT_EQ(review->videoPath(), second);
    // A cancelled browse keeps the camera in view where it was.
    prompter->cancel();
    review->browseForVideo();
    ASSERT_TRUE(shows(10));
    EXPECT_EQ(review->cameraInView(), 2);

    child<QPushButton>(review, "cmdMarkStart")->click();
    auto* measure = station->screenAs<MeasureScreen>(screen::Measure);
    ASSERT_TRUE(measure && measure->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(measure->shownCamera(), 2);
    EXPECT_EQ(station->settings().MeasureVideoFile, second);
    EXPECT_EQ(station->settings().MeasureFrameNumber, 10);
    EXPECT_EQ(testclips::frameNumberOf(measure->canvas()->picture(), testclips::Codec::Mjpeg), 10);
    EXPECT_EQ(prompter->unexpected(), 0);
    // The second camera's frame is logged as the take's (skier and jump of the first file).
    EXPECT_EQ(readAll(logFile()), "12-06-2026    14:03:22      Skier: Ann    Jump: 1       Contact Frame: 10           File: "
                                      + second.toUtf8() + "\r\n");
    EXPECT_EQ(readAll(second + ".info"), (second + ",10\r\n").toUtf8());
    EXPECT_TRUE(prompter->messages().isEmpty());

    // A clip of one camera has no choice to offer, nor has an empty screen.
    arriveWithRecording(first, 9);
    ASSERT_TRUE(cameras->isVisibleTo(review));
    arriveWithRecording(clip("Bojump1.avi", 20), 3);
    ASSERT_TRUE(shows(3));
    EXPECT_FALSE(cameras->isVisibleTo(review));
    arriveWithRecording(first, 9);
    arriveEmpty(Arrival::FromMainScreen);
    EXPECT_FALSE(cameras->isVisibleTo(review));
}

// A take the video-save setting deletes goes whole on "Use displayed frame", yet the Measure
// screen still shows each camera's matching frame when the grid is switched.
TEST_F(ReviewScreenTest, ADeletedTakeGoesWholeAndTheMeasureScreenStillSwitchesCamera)
{
    GridState& g = station->grids();
    g.grids_in_use = 2;
    g.all_grids_set_up = true;
    station->settings().VideoSaveMode = "NoSave";
    const QString first = clip("Annjump1.avi", 30), second = clip("Annjump1-cam2.avi", 30);
    const QString other = clip("Annjump10-cam2.avi", 5);
    writeTimes(first, 30, 40000, 0);
    writeTimes(second, 30, 40000, 50000);   // the second camera 50 ms behind: frame 9 matches its 8
    arriveWithRecording(first, 9);
    ASSERT_TRUE(shows(9));
    child<QPushButton>(review, "cmdMarkStart")->click();
    EXPECT_EQ(QDir(videos()).entryList({"*.avi*"}, QDir::Files), QStringList{"Annjump10-cam2.avi"});

    auto* measure = station->screenAs<MeasureScreen>(screen::Measure);
    ASSERT_TRUE(measure && measure->isVisible());
    QCoreApplication::processEvents();
    ASSERT_EQ(measure->shownCamera(), 1);
    EXPECT_EQ(testclips::frameNumberOf(measure->canvas()->picture(), testclips::Codec::Mjpeg), 9);
    child<QPushButton>(measure, "Set_grid")->click();
    EXPECT_EQ(measure->shownCamera(), 2);
    EXPECT_EQ(station->settings().MeasureFrameNumber, 8);
    EXPECT_EQ(testclips::frameNumberOf(measure->canvas()->picture(), testclips::Codec::Mjpeg), 8);
    child<QPushButton>(measure, "Set_grid")->click();
    EXPECT_EQ(measure->shownCamera(), 1);
    EXPECT_EQ(testclips::frameNumberOf(measure->canvas()->picture(), testclips::Codec::Mjpeg), 9);
    EXPECT_EQ(prompter->messages(), QStringList());
    EXPECT_TRUE(QFile::exists(other));
}
