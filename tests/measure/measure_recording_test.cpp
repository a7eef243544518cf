// Record and the outcome options driven through the real Measure screen, checking the bytes
// that reach the results file and the WSTIMS exchange files.
#include "measure/measure_screen.h"

#include "review/review_screen.h"
#include "support/station_fixture.h"
#include "support/grid_test_support.h"
#include "grid/grid_geometry.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <functional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct RecordingTest : StationFixture {
    MeasureScreen* m = nullptr;

    void SetUp() override
    {
        StationFixture::SetUp();
        storeSetting("logpath", videos());
        prompter->no();   // emergency reset
        makeStation().start();
        GridState& g = station->grids();
        test::setBuoys(g, test::kTrapezoid);
        ASSERT_TRUE(solve_coefficients(g));
        g.jump_survey_x = 0;
        g.jump_survey_y = 0;
        g.storeCompletedGrid(1, QString(), QStringLiteral("north"));
        g.recompute_all_grids_set_up();
        m = station->screenAs<MeasureScreen>("Measure");
        m->show();
        station->settings().WstimsEnabled = true;
        c<QComboBox>("Skier_name")->setEditText("Ann Lee");
        prompter->clear();
    }
    template <typename T = QWidget> T* c(const char* name) { return child<T>(m, name); }
    QString results() const { return QString::fromLatin1(readAll(station->settings().ResultsFilePath)); }
    QStringList resultLines() const { return results().split("\r\n", Qt::SkipEmptyParts); }
    QByteArray txresult() const { return readAll(station->txioFile("txresult.dst")); }
    QByteArray txraw() const { return readAll(station->txioFile("txraw.dst")); }
    void record() { c<QPushButton>("Record")->click(); }
    void mark() { m->pictureMouseDown(6000, 4500); }
};

} // namespace

TEST_F(RecordingTest, AMeasuredJumpGoesToTheResultsFileAndBothExchangeFiles)
{
    mark();
    record();
    EXPECT_EQ(prompter->unexpected(), 0);
    const QStringList lines = resultLines();
    ASSERT_FALSE(lines.isEmpty());
    static const QRegularExpression form(
        R"(^12-06-2026 14:03:22 Ann Lee  jump 1 - ( [0-9.]+)m  \(IWSF\) ([0-9]+)ft  \(AWSA\) \([ -][0-9.]+/[ -][0-9.]+\) \( 6000/ 4500\) \( [0-9.]+\)$)");
    const auto match = form.match(lines.last());
    ASSERT_TRUE(match.hasMatch()) << lines.last().toStdString();
    EXPECT_EQ(c<QLineEdit>("distance")->text(), match.captured(1) + "m");
    EXPECT_EQ(txresult(), ("OK, " + match.captured(1) + ",  " + match.captured(2) + ", 1\r\n").toLatin1());
    EXPECT_EQ(txraw(), ("14:03:22 ,Ann Lee,OK, " + match.captured(1) + ",  " + match.captured(2) + ", 1\r\n").toLatin1());
    // Without a frozen picture the measured jump advances at the following Clear.
    EXPECT_EQ(c<QLineEdit>("Jump_no")->text(), "1");
}

TEST_F(RecordingTest, NothingIsRecordedBeforeAPointIsMarked)
{
    record();
    EXPECT_EQ(prompter->messages(), QStringList{"Mark the point of impact on this picture first"});
    EXPECT_TRUE(results().isEmpty());
    EXPECT_TRUE(txresult().isEmpty());
}

TEST_F(RecordingTest, AFallIsSentAsAFallAndAdvancesTheJumpNumber)
{
    c<QRadioButton>("Fall")->click();
    record();
    EXPECT_TRUE(resultLines().last().startsWith("12-06-2026 14:03:22 Ann Lee  jump 1 -   (IWSF)  (AWSA)Fall ("))
        << resultLines().last().toStdString();
    EXPECT_EQ(txresult(), "Fall, 0, 0,1\r\n");
    EXPECT_EQ(c<QLineEdit>("Jump_no")->text(), " 2");
    EXPECT_TRUE(c<QRadioButton>("optJumpOK")->isChecked());
    EXPECT_TRUE(c<QLineEdit>("Comment")->text().isEmpty());
}

TEST_F(RecordingTest, OtherGridWithoutADistanceEndsTheLineAfterTheComment)
{
    c<QRadioButton>("Other_Grid")->click();
    prompter->no();
    record();
    EXPECT_TRUE(resultLines().last().endsWith("Other Grid - no distance recorded")) << resultLines().last().toStdString();
    EXPECT_EQ(txresult(), "OK, , , 1\r\n");
    EXPECT_FALSE(c<QRadioButton>("Other_Grid")->isChecked());
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(RecordingTest, RerideAndCommentLinesAreWrittenAtOnce)
{
    c<QRadioButton>("M_Reride")->click();
    c<QRadioButton>("M_Reride")->click();
    prompter->answer("Wind gust");
    c<QRadioButton>("Make_comment")->click();
    EXPECT_EQ(resultLines(), (QStringList{"12-06-2026 14:03:22 Mandatory Reride - disregard last jump",
                                          "12-06-2026 14:03:22 Mandatory Reride - disregard last jump",
                                          "12-06-2026 14:03:22 Wind gust"}));
    EXPECT_FALSE(c<QRadioButton>("M_Reride")->isChecked());
    EXPECT_FALSE(c<QRadioButton>("Make_comment")->isChecked());
    EXPECT_TRUE(txresult().isEmpty());
}

TEST_F(RecordingTest, AnUnwritableResultsFileKeepsTheDistanceAndSendsNothing)
{
    station->settings().ResultsFilePath = path("no/such/folder/results.txt");
    mark();
    record();
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains("results.txt"));
    EXPECT_TRUE(txresult().isEmpty());
    EXPECT_TRUE(txraw().isEmpty());
    EXPECT_TRUE(c<QLineEdit>("distance")->text().endsWith("m"));
    EXPECT_NE(c<QLineEdit>("distance")->text(), "m");
}

TEST_F(RecordingTest, TheNameButtonTakesTheFirstFieldOfTheWstimsNameFile)
{
    {
        QFile f(station->txioFile("txskier.nam"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Bob Ray,12345\r\n");
    }
    c<QLineEdit>("Jump_no")->setText(" 3");
    c<QPushButton>("btnGetName")->click();
    EXPECT_EQ(c<QComboBox>("Skier_name")->currentText(), "Bob Ray");
    EXPECT_EQ(c<QLineEdit>("Jump_no")->text(), "1");

    QFile::remove(station->txioFile("txskier.nam"));
    c<QPushButton>("btnGetName")->click();
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].startsWith("Error while reading WSTIMS name file: "));
    EXPECT_EQ(c<QComboBox>("Skier_name")->currentText(), "Bob Ray");
}

TEST_F(RecordingTest, APictureIsNeverSavedWithoutAFolder)
{
    station->settings().PicturesPath.clear();
    m->savePicture();
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].startsWith("No folder for jump pictures is chosen yet."));
    EXPECT_FALSE(results().contains("Saved picture"));
}

TEST_F(RecordingTest, ReadingTheSameWstimsNameStillStartsAtJumpOne)
{
    {
        QFile f(station->txioFile("txskier.nam"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Ann Lee\r\n");
    }
    c<QLineEdit>("Jump_no")->setText(" 4");
    c<QPushButton>("btnGetName")->click();
    EXPECT_EQ(c<QLineEdit>("Jump_no")->text(), "1");
}

TEST_F(RecordingTest, ChoosingTheShownNameFromTheListStillStartsAtJumpOne)
{
    m->setSkierNames({"Ann Lee", "Bob Ray"});
    auto* names = c<QComboBox>("Skier_name");
    names->setEditText("Ann Lee");
    c<QLineEdit>("Jump_no")->setText(" 4");
    c<QLineEdit>("distance")->setText("41.5");
    emit names->activated(0);   // the edit text does not change, only the list was used
    EXPECT_EQ(c<QLineEdit>("Jump_no")->text(), "1");
    EXPECT_EQ(c<QLineEdit>("distance")->text(), "");
}

TEST_F(RecordingTest, TheResultsWindowShowsAJumpRecordedWhileItWasOpen)
{
    m->openResults();   // no results yet: a message and an empty window
    QWidget* window = station->existingScreen("Results");
    ASSERT_NE(window, nullptr);
    mark();
    record();
    m->openResults();
    EXPECT_TRUE(child<QTextEdit>(window, "output_box")->toPlainText().contains("Ann Lee  jump 1 - "));
}

TEST_F(RecordingTest, ALoadedPictureIsNamedOnScreenAndInTheResultsFile)
{
    QDir(tmp.path()).mkpath("pictures");
    station->settings().PicturesPath = path("pictures");
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(Qt::darkBlue);
    ASSERT_TRUE(img.save(path("pictures/ann1.bmp")));
    prompter->file(path("pictures/ann1.bmp"));
    m->loadPicture();
    EXPECT_EQ(c<QLineEdit>("gif_file_name")->text(), "ann1.bmp");
    EXPECT_FALSE(c<QLineEdit>("gif_file_name")->isHidden());
    EXPECT_EQ(resultLines().last(), "12-06-2026 14:03:22 Loaded picture: " + path("pictures/ann1.bmp"));
    EXPECT_EQ(station->settings().NavigationTag, "PictureLoadMenu");
}

TEST_F(RecordingTest, AMissingPickedFrameIsReportedOnceNotOnEveryActivation)
{
    station->settings().setArrival(Arrival::FrameChosen);
    m->hide();
    m->show();
    m->refreshOnActivation();
    m->refreshOnActivation();
    EXPECT_EQ(prompter->messages().size(), 1);
}

TEST_F(RecordingTest, EveryNewPictureStartsUnmarkedAndRecordAsksForAMark)
{
    QDir(tmp.path()).mkpath("pictures");
    station->settings().PicturesPath = path("pictures");
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(Qt::darkBlue);
    ASSERT_TRUE(img.save(path("pictures/ann1.bmp")));

    const std::pair<const char*, std::function<void()>> sources[] = {
        {"review hand-over",
         [&] {
             ASSERT_TRUE(img.save(station->programFile("currentcapture.bmp")));
             m->hide();
             m->openFrame({path("videos/Bobjump1.avi"), 30});
             m->show();
         }},
        {"Load Picture",
         [&] {
             prompter->file(path("pictures/ann1.bmp"));
             m->loadPicture();
         }},
        {"picture log", [&] { ASSERT_TRUE(m->showLoggedPicture(path("pictures/ann1.bmp"))); }},
        {"Paste",
         [&] {
             QApplication::clipboard()->setImage(img);
             c<QPushButton>("ClipSnapShot")->click();
         }},
        {"snapshot",
         [&] {
             ASSERT_TRUE(img.save(station->txioFile("snapshot.bmp")));
             c<QPushButton>("ImgSnapShot")->click();
         }},
        {"clipboard auto-load",
         [&] {
             QApplication::clipboard()->setImage(img);
             QFile flag(station->txioFile("clipflag.txt"));
             ASSERT_TRUE(flag.open(QIODevice::WriteOnly));
             flag.write("Ready\r\n");
             flag.close();
             m->pollClipboardFlag();
         }},
    };
    for (const auto& [source, showPicture] : sources) {
        SCOPED_TRACE(source);
        mark();
        record();
        ASSERT_FALSE(c<QLineEdit>("distance")->text().isEmpty());
        showPicture();
        EXPECT_EQ(c<QLineEdit>("distance")->text(), "");
        EXPECT_EQ(c<QLineEdit>("distance_ft")->text(), "");
        for (const char* mark : {"lineHorizontalImpact", "lineVerticalImpact", "lineSplashIndicator",
                                 "provisionalDistance"})
            EXPECT_TRUE(c(mark)->isHidden()) << mark;

        const QByteArray resultsBefore = readAll(station->settings().ResultsFilePath);
        const QByteArray txresultBefore = txresult(), txrawBefore = txraw();
        prompter->clear();
        record();
        EXPECT_EQ(prompter->messages(), QStringList{"Mark the point of impact on this picture first"});
        EXPECT_EQ(readAll(station->settings().ResultsFilePath), resultsBefore);
        EXPECT_EQ(txresult(), txresultBefore);
        EXPECT_EQ(txraw(), txrawBefore);
        EXPECT_EQ(c<QLineEdit>("distance")->text(), "");
        c<QPushButton>("Unfreeze")->click();
    }

    // A pass records no distance, so it needs no mark.
    prompter->clear();
    c<QRadioButton>("Pass")->click();
    record();
    EXPECT_TRUE(prompter->messages().isEmpty()) << prompter->messages().join("|").toStdString();
    EXPECT_TRUE(resultLines().last().contains("(AWSA)Pass")) << resultLines().last().toStdString();
    EXPECT_TRUE(txresult().endsWith("Pass, 0, 0, 7\r\n")) << txresult().toStdString();
}

TEST_F(RecordingTest, ComingBackToTheSameHandedOverFrameKeepsItsMark)
{
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    ASSERT_TRUE(img.save(station->programFile("currentcapture.bmp")));
    m->hide();
    m->openFrame({path("videos/Annjump1.avi"), 12});
    m->show();
    mark();
    // Closing a message box activates the screen again and reloads the same frame.
    m->refreshOnActivation();
    EXPECT_FALSE(c("lineHorizontalImpact")->isHidden());
    EXPECT_EQ(c<QLineEdit>("distance")->text(), "m");
    record();
    EXPECT_EQ(prompter->unexpected(), 0);
    EXPECT_TRUE(resultLines().last().contains("( 6000/ 4500)")) << resultLines().last().toStdString();
}

TEST_F(RecordingTest, ClearAsksForANewMarkBeforeTheNextMeasuredJump)
{
    mark();
    record();
    c<QPushButton>("Unfreeze")->click();
    const QByteArray before = readAll(station->settings().ResultsFilePath);
    prompter->clear();
    record();
    EXPECT_EQ(prompter->messages(), QStringList{"Mark the point of impact on this picture first"});
    EXPECT_EQ(readAll(station->settings().ResultsFilePath), before);
}

TEST_F(RecordingTest, TheHandedOverVideoNamesTheSkierAndJumpAtOnce)
{
    auto* review = station->screenAs<ReviewScreen>("frmSetStart");
    ASSERT_NE(review, nullptr);
    auto handOver = [&](const QString& video) {
        m->hide();
        review->show();
        review->setVideoPath(video);
        review->useShownFrame();
        ASSERT_TRUE(m->isVisible()) << prompter->texts().join("|").toStdString();
    };
    auto* names = c<QComboBox>("Skier_name");
    auto* jump = c<QLineEdit>("Jump_no");

    handOver(path("videos/Bob Rayjump3.avi"));
    EXPECT_EQ(names->currentText(), "Bob Ray");
    EXPECT_EQ(jump->text(), " 3");
    // The operator may still correct both.
    names->setEditText("Bob Roy");
    jump->setText(" 2");
    EXPECT_EQ(jump->text(), " 2");

    handOver(path("videos/Annjump1.avi"));
    EXPECT_EQ(names->currentText(), "Ann");
    EXPECT_EQ(jump->text(), "1");

    // A video outside the naming rule leaves the name and jump as they were.
    jump->setText(" 5");
    handOver(path("videos/lake clip.avi"));
    EXPECT_EQ(names->currentText(), "Ann");
    EXPECT_EQ(jump->text(), " 5");
}

TEST_F(RecordingTest, SavePictureShowsThePathInTheStatusLineWithoutABox)
{
    QDir(tmp.path()).mkpath("pictures");
    station->settings().PicturesPath = path("pictures");
    prompter->clear();
    c<QAction>("SavePict")->trigger();
    EXPECT_TRUE(prompter->shown().isEmpty()) << prompter->texts().join("|").toStdString();
    const QString saved = path("pictures") + "/20614032.bmp";
    EXPECT_TRUE(QFile::exists(saved));
    EXPECT_EQ(c<QLabel>("statusLine")->text(), "Picture saved as " + QDir::toNativeSeparators(saved));
    // A failure is still a message, and the line no longer claims a picture.
    station->settings().PicturesPath.clear();
    c<QAction>("SavePict")->trigger();
    EXPECT_EQ(prompter->messages().size(), 1);
    EXPECT_EQ(c<QLabel>("statusLine")->text(), "");
}

TEST_F(RecordingTest, ClicksThatSelectTheSkierNameOpenNoPrompt)
{
    QFile::remove(station->programFile("SkierNames.txt"));
    auto* names = c<QComboBox>("Skier_name");
    QLineEdit* edit = names->lineEdit();
    ASSERT_NE(edit, nullptr);
    prompter->clear();
    QTest::mouseDClick(edit, Qt::LeftButton, {}, QPoint(8, edit->height() / 2));
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(8, edit->height() / 2));
    EXPECT_TRUE(prompter->shown().isEmpty()) << prompter->texts().join("|").toStdString();
    EXPECT_EQ(names->currentText(), "Ann Lee");
}
