// The two log viewers on a real station: what they list, the name taken from a line, and
// where View leads.
#include "app/main_screen.h"
#include "logview/log_view.h"
#include "logview/picture_log_view.h"
#include "measure/measure_screen.h"
#include "station/review_session.h"
#include "support/station_fixture.h"
#include "widgets/picture_canvas.h"
#include "common/text_forms.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

using namespace tarvex;
using namespace tarvex::test;

namespace {

class ReviewStandIn : public Screen, public ReviewSession {
public:
    using Screen::Screen;
    QString videoPath() const override { return {}; }
    void setVideoPath(const QString&) override {}
    void openRecording(const Recording&) override {}
    void openLogged(const QString& path) override
    {
        logged << path;
        noteLoggedVideo(station_.settings(), path);
    }
    void openEmpty(Arrival) override {}
    QStringList logged;
};

struct LogViewTest : StationFixture {
    QString log;
    QString picture;

    void SetUp() override
    {
        StationFixture::SetUp();
        storeSetting("logpath", videos());
        prompter->no();
        makeStation();
        station->registerScreen("frmSetStart", [](Station& s) { return new ReviewStandIn(s); });
        station->start();   // writes the session line of the day's log
        picture = path("12614110.bmp");
        QImage img(64, 48, QImage::Format_RGB32);
        img.fill(Qt::darkBlue);
        ASSERT_TRUE(img.save(picture, "BMP"));
        log = videos() + "/" + station->settings().MeasurementLogName;
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("12-06-2026,14:05:10,Skier: Ann,Jump: 1,Frame: 75,File: " + videos().toUtf8() + "/Annjump1.avi\r\n");
        f.write("12-06-2026,14:09:41,Skier: Ann,Jump: 2,Frame: 80,File: " + videos().toUtf8() + "/Annjump2.avi\r\n");
        f.write("12-06-2026,14:11:02,Skier: Ann,Jump: 1,Distance:  45.2m,File: " + picture.toUtf8() + "\r\n");
        f.write("12-06-2026,14:12:00,Skier: Bob,a note that ends in bmp\r\n");
        prompter->clear();
    }
    static QStringList entries(QListWidget* l)
    {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
        return out;
    }
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

} // namespace

TEST_F(LogViewTest, ListsFrameLinesAndViewOpensTheVideoOnTheReviewScreen)
{
    auto* main = station->screenAs<MainScreen>("MainForm");
    main->show();
    main->findChild<QAction*>("mnuViewLog")->trigger();
    QPointer<LogView> v = main->findChild<LogView*>("LogView");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->windowTitle(), "Log Viewer");
    EXPECT_EQ(child<QLineEdit>(v, "txtLogFile")->text(), log);
    ASSERT_EQ(v->list()->count(), 2);
    EXPECT_TRUE(v->list()->item(1)->text().endsWith("Annjump2.avi"));

    // Another log: every line but the session line.
    prompter->file(log);
    child<QPushButton>(v, "cmdSelectLogFile")->click();
    EXPECT_EQ(prompter->shown().value(0).request.filter, "*.txt|JumpMeasurementLog*.txt");
    EXPECT_EQ(prompter->shown().value(0).request.initialFolder, videos());
    EXPECT_EQ(v->list()->count(), 4);
    EXPECT_FALSE(entries(v->list()).join("\n").contains("Tarvex Measurement"));

    // A line without "File:" empties the name; View then does nothing.
    v->selectLine(v->list()->item(3));
    EXPECT_EQ(child<QLineEdit>(v, "txtFileToView")->text(), "");
    v->viewSelectedFile();
    EXPECT_TRUE(v->isVisible());

    v->viewLine(v->list()->item(1));
    flushDeletes();
    EXPECT_FALSE(v);
    EXPECT_EQ(station->settings().NavigationTag, "View");
    EXPECT_EQ(station->settings().LogViewFile, videos() + "/Annjump2.avi");
    EXPECT_EQ(dynamic_cast<ReviewStandIn*>(station->existingScreen("frmSetStart"))->logged,
              QStringList{videos() + "/Annjump2.avi"});
    EXPECT_TRUE(main->isHidden());
    EXPECT_FALSE(station->existingScreen("frmSetStart")->isHidden());
}

TEST_F(LogViewTest, MissingLogGivesAnEmptyListAndCancelAnEmptyOne)
{
    station->settings().MeasurementLogName = "JumpMeasurementLog010199.txt";
    auto* v = qobject_cast<LogView*>(station->openLogView(nullptr));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->list()->count(), 0);
    EXPECT_EQ(child<QLineEdit>(v, "txtLogFile")->text(), "");
    prompter->cancel();
    child<QPushButton>(v, "cmdSelectLogFile")->click();
    EXPECT_EQ(v->list()->count(), 0);
    child<QPushButton>(v, "cmdDismiss")->click();
    EXPECT_FALSE(v->isVisible());
    flushDeletes();
}

TEST_F(LogViewTest, PictureLogShowsThePictureOnTheMeasureScreen)
{
    auto* m = station->screenAs<MeasureScreen>("Measure");
    m->show();
    m->viewPictureLog();
    QPointer<PictureLogView> v = m->findChild<PictureLogView*>("PictureLogView");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->windowTitle(), "Contact Picture Log");
    ASSERT_EQ(v->list()->count(), 2);   // the picture line and the note that ends in "bmp"
    v->selectLine(v->list()->item(0));
    EXPECT_EQ(child<QLineEdit>(v, "txtPictureToView")->text(), picture);

    v->viewLine(v->list()->item(0));
    flushDeletes();
    EXPECT_FALSE(v);
    EXPECT_EQ(m->canvas()->picture().size(), QSize(64, 48));
    EXPECT_NEAR(leadingNumber(m->pictureWidthTwips()), 958.30, 0.01);   // 1693 HiMetric
    auto* name = child<QLineEdit>(m, "gif_file_name");
    auto* description = child<QLineEdit>(m, "grid_description");
    EXPECT_EQ(name->text(), picture);
    EXPECT_EQ(name->y(), description->y() + description->height());
    EXPECT_EQ(station->settings().NavigationTag, "PictureLog");
}

TEST_F(LogViewTest, UnreadablePictureGivesAMessageAndKeepsThePicture)
{
    auto* m = station->screenAs<MeasureScreen>("Measure");
    m->show();
    QImage before(32, 32, QImage::Format_RGB32);
    before.fill(Qt::red);
    m->canvas()->setPicture(before);
    QFile::remove(picture);
    m->viewPictureLog();
    auto* v = m->findChild<PictureLogView*>("PictureLogView");
    ASSERT_NE(v, nullptr);
    v->viewLine(v->list()->item(0));
    EXPECT_EQ(prompter->messages().size(), 1);
    EXPECT_EQ(m->canvas()->picture().size(), QSize(32, 32));
    EXPECT_NE(station->settings().NavigationTag, "PictureLog");
    flushDeletes();

    // No picture chosen: the viewer only closes.
    m->viewPictureLog();
    v = m->findChild<PictureLogView*>("PictureLogView");
    ASSERT_NE(v, nullptr);
    prompter->clear();
    v->viewSelectedFile();
    EXPECT_TRUE(prompter->shown().isEmpty());
    EXPECT_FALSE(v->isVisible());
    flushDeletes();
}
