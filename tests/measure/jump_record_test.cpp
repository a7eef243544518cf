#include "measure/jump_record.h"

#include "testkit/scripted_prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

const QDateTime kWhen(QDate(2005, 1, 29), QTime(14, 3, 22));

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// An affine grid: X = 7.845 + u/1000, Y = 3.589 + v/1000, jump point on the line Y = 6.789,
// so the mark (4500, 3200) lands on (12.345, 6.789), 43.1346 m from the jump point, which
// with the 2.1 m ramp allowance is 45.2346 m.
GridState sampleGrid()
{
    GridState g;
    g.mapping_coefficients[1] = 7.845;
    g.mapping_coefficients[2] = 0.001;
    g.mapping_coefficients[6] = 3.589;
    g.mapping_coefficients[8] = 0.001;
    g.jump_survey_x = 12.345 - 43.1346;
    g.jump_survey_y = 6.789;
    return g;
}

const char kSampleLine[] = "01-29-2005 14:03:22 Ann Lee  jump  2 -  45.2m  (IWSF) 148ft  (AWSA) "
                           "( 12.345/ 6.789) ( 4500/ 3200) ( 45.2346)";

struct RecordTest : ::testing::Test {
    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    GridState grid = sampleGrid();

    QString results() const { return tmp.filePath("results.txt"); }
    QString txio() const { return tmp.filePath("txio"); }
    QString txresult() const { return txio() + "/txresult.dst"; }
    QString txraw() const { return txio() + "/txraw.dst"; }
    QString pictures() const { return tmp.filePath("pictures"); }

    void SetUp() override
    {
        QDir(tmp.path()).mkpath("txio");
        QDir(tmp.path()).mkpath("pictures");
    }

    RecordInputs inputs() const
    {
        RecordInputs in;
        in.skier = "Ann Lee";
        in.jumpNumber = " 2";
        in.metresText = "m";
        in.feetText = "ft";
        in.wstims = true;
        in.impactX = 4500;
        in.impactY = 3200;
        in.resultsFilePath = results();
        in.txioFolder = txio();
        in.picturesPath = pictures();
        in.pictureExtension = ".bmp";
        return in;
    }

    RecordOutcome record(const RecordInputs& in) { return recordJump(in, grid, prompter, kWhen); }
};

} // namespace

// ---------------------------------------------------------------- distance texts and lines

TEST(DistanceTexts, WholeFeetForANormalJumpAndTenthsWhenBarefoot)
{
    const DistanceTexts t = distanceTexts(45.2346, false);
    EXPECT_EQ(t.metresText, " 45.2m");
    EXPECT_EQ(t.feetText, " 148ft");
    EXPECT_EQ(t.wstimsMetres, " 45.2");
    EXPECT_EQ(t.wstimsFeet, " 148");
    EXPECT_EQ(t.exactDistance, " 45.2346");

    const DistanceTexts b = distanceTexts(45.23, true);
    EXPECT_EQ(b.feetText, " 148.4ft");
    EXPECT_EQ(b.wstimsFeet, " 148.4");
    EXPECT_EQ(b.metresText, " 45.2m");
}

TEST(DistanceTexts, HalvesRoundUpAndWholeValuesLoseTheirPoint)
{
    EXPECT_EQ(distanceTexts(45.25, false).metresText, " 45.3m");
    EXPECT_EQ(distanceTexts(30.48 * 5, false).feetText, " 500ft");   // exactly 500 ft
    EXPECT_EQ(distanceTexts(40.0, false).metresText, " 40m");
    EXPECT_EQ(distanceTexts(40.0, false).exactDistance, " 40");
}

TEST(OtherGridCrossCheck, TwoFeetEitherSideOfTheConversionBoundsIncluded)
{
    EXPECT_FALSE(otherGridEntriesAgree(10, 35));
    EXPECT_TRUE(otherGridEntriesAgree(10, 34.8));
    EXPECT_TRUE(otherGridEntriesAgree(10, 30.808));
    EXPECT_FALSE(otherGridEntriesAgree(10, 30.8));
    EXPECT_TRUE(otherGridEntriesAgree(10, 34.808));
    // Bounds whose binary arithmetic falls just outside are still inside.
    EXPECT_TRUE(otherGridEntriesAgree(1, 1.2808));
    EXPECT_TRUE(otherGridEntriesAgree(33.3, 111.25064));
}

TEST(ResultsLine, MeasuredJumpInTheFixedForm)
{
    JumpRecord r;
    r.date = "01-29-2005";
    r.time = "14:03:22";
    r.skier = "Ann Lee";
    r.jumpNumber = " 2";
    r.metresText = " 45.2m";
    r.feetText = " 148ft";
    r.surveyX = 12.3449;
    r.surveyY = 6.78851;
    r.screenU = 4500.9;
    r.screenV = 3200.2;
    r.exactDistance = " 45.2346";
    EXPECT_EQ(resultsLine(r), kSampleLine);

    r.barefoot = true;
    r.unofficial = true;
    r.comment = "Fall";
    EXPECT_EQ(resultsLine(r), "01-29-2005 14:03:22 Ann Lee  jump  2 -  45.2m  (IWSF) 148ft  (AWSA) BAREFOOT  "
                              "UNOFFICIAL JUMP - verify mode Fall ( 12.345/ 6.789) ( 4500/ 3200) ( 45.2346)");

    r.barefoot = r.unofficial = false;
    r.otherGrid = true;
    r.metresText = r.feetText = "";
    r.comment = kCommentOtherGridNoDistance;
    EXPECT_EQ(resultsLine(r), "01-29-2005 14:03:22 Ann Lee  jump  2 -   (IWSF)  (AWSA)Other Grid - no distance recorded");
}

TEST(WstimsLines, OutcomeFollowsTheCommentText)
{
    JumpRecord r;
    r.time = "14:03:22";
    r.skier = "Ann Lee";
    r.jumpNumber = " 2";
    r.wstimsMetres = " 45.2";
    r.wstimsFeet = " 148";
    EXPECT_EQ(wstimsResultLine(r), "OK,  45.2,  148,  2");
    EXPECT_EQ(wstimsRawLine(r), "14:03:22 ,Ann Lee,OK,  45.2,  148,  2");

    r.comment = "Fall";
    EXPECT_EQ(wstimsResultLine(r), "Fall, 0, 0, 2");
    r.comment = "Pass";
    r.jumpNumber = "1";
    EXPECT_EQ(wstimsResultLine(r), "Pass, 0, 0,1");
    // A typed comment replaces the fall: sent as OK with whatever values there are.
    r.comment = "fell at the buoy";
    r.wstimsMetres = r.wstimsFeet = "";
    EXPECT_EQ(wstimsResultLine(r), "OK, , , 1");
}

TEST(WstimsLines, RawLineCarriesTheSkierUpToTheFirstComma)
{
    JumpRecord r;
    r.time = "14:03:22";
    r.skier = "Lee, Ann";
    r.jumpNumber = "1";
    r.comment = "Fall";
    EXPECT_EQ(wstimsRawLine(r), "14:03:22 ,Lee,Fall, 0, 0,1");
}

// ---------------------------------------------------------------- Record

TEST_F(RecordTest, MeasuredJumpWritesResultsLineThenBothExchangeFiles)
{
    const RecordOutcome out = record(inputs());
    EXPECT_TRUE(out.recorded);
    EXPECT_TRUE(out.wstimsWritten);
    EXPECT_EQ(readAll(results()), QByteArray(kSampleLine) + "\r\n");
    EXPECT_EQ(readAll(txresult()), "OK,  45.2,  148,  2\r\n");
    EXPECT_EQ(readAll(txraw()), "14:03:22 ,Ann Lee,OK,  45.2,  148,  2\r\n");
    EXPECT_EQ(out.distance, " 45.2m");
    EXPECT_EQ(out.distance_ft, " 148ft");
    EXPECT_EQ(out.Jump_no, " 2");   // a measured jump advances at Clear
    EXPECT_TRUE(out.Comment.isEmpty());
    EXPECT_FALSE(out.switchOffPassFall);
    EXPECT_TRUE(prompter.shown().isEmpty());
    EXPECT_EQ(grid.query_screen_x, 4500);
    EXPECT_EQ(grid.query_screen_y, 3200);
}

TEST_F(RecordTest, SecondRecordAppendsButReplacesTheResultFile)
{
    record(inputs());
    RecordInputs in = inputs();
    in.jumpNumber = " 3";
    in.skier = "Lee, Ann";
    record(in);
    const QList<QByteArray> lines = readAll(results()).split('\n');
    ASSERT_EQ(lines.size(), 3);   // two lines and the empty rest after the last line end
    EXPECT_TRUE(lines[1].startsWith("01-29-2005 14:03:22 Lee, Ann  jump  3 - "));
    EXPECT_EQ(readAll(txresult()), "OK,  45.2,  148,  3\r\n");
    EXPECT_EQ(readAll(txraw()), "14:03:22 ,Ann Lee,OK,  45.2,  148,  2\r\n"
                                "14:03:22 ,Lee,OK,  45.2,  148,  3\r\n");
    // No temporary file is left beside the result file.
    EXPECT_EQ(QDir(txio()).entryList(QDir::Files), QStringList({"txraw.dst", "txresult.dst"}));
}

TEST_F(RecordTest, WstimsOffTouchesNeitherExchangeFile)
{
    RecordInputs in = inputs();
    in.wstims = false;
    const RecordOutcome out = record(in);
    EXPECT_TRUE(out.recorded);
    EXPECT_FALSE(out.wstimsWritten);
    EXPECT_FALSE(QFile::exists(txresult()));
    EXPECT_FALSE(QFile::exists(txraw()));
}

TEST_F(RecordTest, VerifyModeMarksTheLineAndStillWritesWstims)
{
    RecordInputs in = inputs();
    in.verifyMode = true;
    record(in);
    EXPECT_TRUE(readAll(results()).contains("(AWSA) UNOFFICIAL JUMP - verify mode  ( 12.345/"));
    EXPECT_EQ(readAll(txresult()), "OK,  45.2,  148,  2\r\n");
}

TEST_F(RecordTest, BarefootSendsTenthsAndTagsTheLineWithoutRampAllowance)
{
    RecordInputs in = inputs();
    in.tournament = TournamentType::Barefoot;
    in.feetInTenths = true;
    const RecordOutcome out = record(in);
    // 43.1346 m without the allowance: 1415.2 tenths of a foot.
    EXPECT_EQ(out.distance, " 43.1m");
    EXPECT_EQ(out.distance_ft, " 141.5ft");
    EXPECT_TRUE(readAll(results()).contains(" 43.1m  (IWSF) 141.5ft  (AWSA) BAREFOOT  ( 12.345/"));
    EXPECT_EQ(readAll(txresult()), "OK,  43.1,  141.5,  2\r\n");
}

TEST_F(RecordTest, FallWithoutFrozenPictureAdvancesAndRepeatsTheLastPoint)
{
    record(inputs());   // the last computation: (12.345, 6.789), (4500, 3200), 45.2346
    RecordInputs in = inputs();
    in.jumpNumber = "1";
    in.fall = true;
    in.comment = "Fall";
    in.metresText = " 45.2m";
    in.impactX = 100;   // not used: a fall computes nothing
    const RecordOutcome out = record(in);
    EXPECT_EQ(out.distance, "");
    EXPECT_EQ(out.distance_ft, "");
    EXPECT_EQ(out.Jump_no, " 2");
    EXPECT_TRUE(out.switchOffPassFall);
    EXPECT_TRUE(readAll(results()).endsWith(
        "01-29-2005 14:03:22 Ann Lee  jump 1 -   (IWSF)  (AWSA)Fall ( 12.345/ 6.789) ( 4500/ 3200) ( 45.2346)\r\n"));
    EXPECT_EQ(readAll(txresult()), "Fall, 0, 0,1\r\n");
}

TEST_F(RecordTest, PassWithFrozenPictureKeepsJumpNumberAndOptions)
{
    RecordInputs in = inputs();
    in.pass = true;
    in.comment = "Pass";
    in.frozen = true;
    in.screenImage = [] { return QImage(4, 4, QImage::Format_RGB32); };
    const RecordOutcome out = record(in);
    EXPECT_EQ(out.Jump_no, " 2");
    EXPECT_FALSE(out.switchOffPassFall);
    EXPECT_EQ(readAll(txresult()), "Pass, 0, 0, 2\r\n");
    EXPECT_TRUE(prompter.shown().isEmpty()) << "no picture is offered for a pass";
}

TEST_F(RecordTest, FallThenJumpOkComputesTheDistanceButSendsTheFall)
{
    RecordInputs in = inputs();
    in.comment = "Fall";   // Fall clicked, then Jump OK: the comment stays
    const RecordOutcome out = record(in);
    EXPECT_EQ(out.distance, " 45.2m");
    EXPECT_TRUE(readAll(results()).contains("(AWSA)Fall ( 12.345/ 6.789)"));
    EXPECT_EQ(readAll(txresult()), "Fall, 0, 0, 2\r\n");
    EXPECT_EQ(out.Jump_no, " 2");
}

TEST_F(RecordTest, OtherGridMismatchIsAskedAgainUntilTheEntriesAgree)
{
    prompter.yes().answer("10").answer("35").yes().answer("10").answer("34.8");
    RecordInputs in = inputs();
    in.otherGrid = true;
    in.comment = kCommentOtherGrid;
    in.jumpNumber = "1";
    const RecordOutcome out = record(in);
    EXPECT_EQ(prompter.texts(), QStringList({kOtherGridQuestion, kOtherGridMetresPrompt, kOtherGridFeetPrompt,
                                             kOtherGridMismatch, kOtherGridQuestion, kOtherGridMetresPrompt,
                                             kOtherGridFeetPrompt}));
    EXPECT_EQ(prompter.shown()[0].title, "Message");
    EXPECT_EQ(prompter.shown()[1].title, "Other Grid Measurement");
    EXPECT_EQ(prompter.pending(), 0);
    EXPECT_EQ(out.distance, "10m");
    EXPECT_EQ(out.distance_ft, " 34.8ft");
    EXPECT_EQ(out.Jump_no, " 2");
    EXPECT_TRUE(out.switchOffOtherGrid);
    EXPECT_TRUE(out.switchOffPassFall);
    EXPECT_EQ(readAll(results()), "01-29-2005 14:03:22 Ann Lee  jump 1 - 10m  (IWSF) 34.8ft  (AWSA)"
                                  "Distance from other grid\r\n");
    EXPECT_EQ(readAll(txresult()), "OK, 10,  34.8, 1\r\n");
}

TEST_F(RecordTest, OtherGridAnsweredNoEndsTheLineAfterTheComment)
{
    prompter.no();
    RecordInputs in = inputs();
    in.otherGrid = true;
    in.comment = kCommentOtherGrid;
    in.frozen = true;
    in.screenImage = [] { return QImage(4, 4, QImage::Format_RGB32); };
    const RecordOutcome out = record(in);
    EXPECT_TRUE(readAll(results()).endsWith("(AWSA)Other Grid - no distance recorded\r\n"));
    EXPECT_EQ(readAll(txresult()), "OK, , ,  2\r\n");
    EXPECT_EQ(out.distance, "");
    EXPECT_EQ(out.Jump_no, " 2") << "with a frozen picture the number advances at Clear";
    EXPECT_FALSE(out.switchOffPassFall);
    EXPECT_TRUE(out.switchOffOtherGrid);
    EXPECT_EQ(prompter.unexpected(), 0) << "no picture is offered for another grid's jump";
}

TEST_F(RecordTest, OtherGridCancelOrTextWithoutNumberIsNeverRecordedAsADistance)
{
    prompter.yes().cancel().yes().answer("ten").answer("thirty").yes().answer("10").answer("33");
    RecordInputs in = inputs();
    in.otherGrid = true;
    const RecordOutcome out = record(in);
    EXPECT_EQ(prompter.messages(), QStringList({kOtherGridNotANumber}));
    EXPECT_EQ(out.distance, "10m");
    EXPECT_EQ(prompter.pending(), 0);

    // Cancelling and then answering No records the jump without a distance.
    prompter.clear();
    prompter.yes().answer("10").cancel().no();
    const RecordOutcome none = record(in);
    EXPECT_EQ(none.distance, "");
    EXPECT_TRUE(readAll(results()).endsWith("Other Grid - no distance recorded\r\n"));
}

TEST_F(RecordTest, UnwritableResultsFileSendsNothingToWstimsAndKeepsTheJumpOpen)
{
    RecordInputs in = inputs();
    in.resultsFilePath = tmp.filePath("no such folder/results.txt");
    in.fall = true;
    in.comment = "Fall";
    writeFile(txio() + "/snapshot.bmp", "BM");
    const RecordOutcome out = record(in);
    EXPECT_FALSE(out.recorded);
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.messages()[0].contains(QDir::toNativeSeparators(in.resultsFilePath)));
    EXPECT_TRUE(prompter.messages()[0].contains("nothing was sent to WSTIMS"));
    EXPECT_FALSE(QFile::exists(txresult()));
    EXPECT_FALSE(QFile::exists(txraw()));
    EXPECT_EQ(out.Jump_no, " 2");
    EXPECT_EQ(out.Comment, "Fall");
    EXPECT_FALSE(out.switchOffPassFall);
    EXPECT_TRUE(QFile::exists(txio() + "/snapshot.bmp"));

    in.resultsFilePath.clear();
    prompter.clear();
    EXPECT_FALSE(record(in).recorded);
    EXPECT_TRUE(prompter.messages().value(0).contains("No results file is chosen"));
}

TEST_F(RecordTest, MissingExchangeFolderIsReportedAfterTheResultsLine)
{
    RecordInputs in = inputs();
    in.txioFolder = tmp.filePath("missing-txio");
    in.pass = true;
    in.comment = "Pass";
    const RecordOutcome out = record(in);
    EXPECT_TRUE(out.recorded);
    EXPECT_FALSE(out.wstimsWritten);
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.messages()[0].startsWith("Error while writing WSTIMS result: "));
    EXPECT_TRUE(prompter.messages()[0].contains("txresult.dst"));
    EXPECT_FALSE(readAll(results()).isEmpty());
    EXPECT_EQ(out.Jump_no, " 3");   // the rest of Record goes on
}

TEST_F(RecordTest, MarkOnTheVanishingLineRecordsNothing)
{
    grid.mapping_coefficients[4] = -1.0 / 4500;   // D = 0 at u = 4500
    const RecordOutcome out = record(inputs());
    EXPECT_FALSE(out.recorded);
    EXPECT_FALSE(QFile::exists(results()));
    EXPECT_FALSE(QFile::exists(txresult()));
    EXPECT_EQ(prompter.messages().size(), 1);
}

TEST_F(RecordTest, ExchangeFolderPicturesAreRemovedOtherFilesKept)
{
    writeFile(txio() + "/snapshot.bmp", "BM");
    writeFile(txio() + "/other.BMPX", "x");
    writeFile(txio() + "/txskier.nam", "Ann Lee\r\n");
    record(inputs());
    EXPECT_FALSE(QFile::exists(txio() + "/snapshot.bmp"));
    EXPECT_TRUE(QFile::exists(txio() + "/other.BMPX"));
    EXPECT_TRUE(QFile::exists(txio() + "/txskier.nam"));
}

TEST_F(RecordTest, FrozenPictureIsSavedOnlyWhenConfirmed)
{
    RecordInputs in = inputs();
    in.frozen = true;
    int asked = 0;
    in.screenImage = [&asked] {
        ++asked;
        QImage img(8, 6, QImage::Format_RGB32);
        img.fill(Qt::red);
        return img;
    };
    prompter.cancel();
    RecordOutcome out = record(in);
    EXPECT_TRUE(out.savedPicture.isEmpty());
    EXPECT_EQ(asked, 0);
    const QString proposed = pictures() + "/12914032.bmp";
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].defaultText, proposed);

    prompter.clear();
    prompter.answer(proposed);
    out = record(in);
    EXPECT_EQ(out.savedPicture, proposed);
    EXPECT_EQ(QImage(proposed).size(), QSize(8, 6));

    // A third Record in the same ten seconds proposes a new name instead of replacing.
    prompter.clear();
    prompter.answer(QString());
    out = record(in);
    EXPECT_EQ(out.savedPicture, pictures() + "/12914032-2.bmp");
    EXPECT_EQ(prompter.shown()[0].defaultText, pictures() + "/12914032-2.bmp");
    // The confirmed picture makes no results entry: three jump lines only.
    EXPECT_EQ(readAll(results()).count('\n'), 3);
}

// ---------------------------------------------------------------- rerides and comment

TEST_F(RecordTest, RerideLinesAreWrittenAtOnceEachClick)
{
    OutcomeClick c = recordReride(true, false, results(), prompter, kWhen);
    EXPECT_TRUE(c.written);
    EXPECT_TRUE(c.switchOff);
    EXPECT_TRUE(c.emptyDistances);
    recordReride(true, false, results(), prompter, kWhen);
    EXPECT_EQ(readAll(results()), "01-29-2005 14:03:22 Mandatory Reride - disregard last jump\r\n"
                                  "01-29-2005 14:03:22 Mandatory Reride - disregard last jump\r\n");

    c = recordReride(false, true, results(), prompter, kWhen);
    EXPECT_FALSE(c.switchOff) << "with a frozen picture the option stays until Clear";
    EXPECT_FALSE(c.emptyDistances) << "the optional reride keeps the distance shown";
    EXPECT_TRUE(readAll(results()).endsWith("01-29-2005 14:03:22 Optional Reride on previous jump\r\n"));

    c = recordReride(true, false, tmp.filePath("nope/r.txt"), prompter, kWhen);
    EXPECT_FALSE(c.written);
    EXPECT_EQ(prompter.messages().size(), 1);
}

TEST_F(RecordTest, CommentIsWrittenAtOnceEvenWhenCancelled)
{
    prompter.answer("Fall").cancel();
    OutcomeClick c = recordComment(results(), prompter, kWhen);
    EXPECT_TRUE(c.switchOff);
    recordComment(results(), prompter, kWhen);
    EXPECT_EQ(prompter.shown()[0].text, kCommentPrompt);
    EXPECT_EQ(prompter.shown()[0].title, kCommentTitle);
    EXPECT_EQ(readAll(results()), "01-29-2005 14:03:22 Fall\r\n01-29-2005 14:03:22 \r\n");
}

// ---------------------------------------------------------------- pictures

TEST(PictureNames, StampTakesDigitsOfDateAndTime)
{
    EXPECT_EQ(pictureStamp(QDateTime(QDate(2005, 1, 29), QTime(14, 3, 59))), "12914035");
    EXPECT_EQ(pictureStamp(QDateTime(QDate(2026, 12, 6), QTime(9, 7, 0))), "20609070");
    EXPECT_EQ(stampedPicturePath("/p/", kWhen, ".jpg"), "/p/12914032.jpg");
    EXPECT_EQ(stampedPicturePath("/p", kWhen, ""), "/p/12914032.bmp");
}

TEST(PictureNames, TakenNamesGetANumberBeforeTheExtension)
{
    QTemporaryDir tmp;
    const QString wanted = tmp.filePath("12914032.bmp");
    EXPECT_EQ(freePicturePath(wanted), wanted);
    writeFile(wanted, "a");
    EXPECT_EQ(freePicturePath(wanted), tmp.filePath("12914032-2.bmp"));
    writeFile(tmp.filePath("12914032-2.bmp"), "b");
    EXPECT_EQ(freePicturePath(wanted), tmp.filePath("12914032-3.bmp"));

    QImage img(2, 2, QImage::Format_RGB32);
    img.fill(Qt::blue);
    const PictureWrite w = writePicture(img, wanted);
    EXPECT_TRUE(w.error.isEmpty()) << w.error.toStdString();
    EXPECT_EQ(w.path, tmp.filePath("12914032-3.bmp"));
    EXPECT_EQ(readAll(wanted), "a") << "an earlier picture is never replaced";
    EXPECT_TRUE(readAll(w.path).startsWith("BM"));
}

TEST(PictureNames, UnwritableFolderOrNoPictureIsAnErrorNotAFile)
{
    QTemporaryDir tmp;
    QImage img(2, 2, QImage::Format_RGB32);
    PictureWrite w = writePicture(img, tmp.filePath("missing/1.bmp"));
    EXPECT_TRUE(w.error.contains(QDir::toNativeSeparators(tmp.filePath("missing/1.bmp"))));
    w = writePicture(QImage(), tmp.filePath("1.bmp"));
    EXPECT_FALSE(w.error.isEmpty());
    EXPECT_FALSE(QFile::exists(tmp.filePath("1.bmp")));
}

TEST(SavePicture, WritesPictureResultsLineSideFileAndLogLine)
{
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("pics");
    ScriptedPrompter prompter;
    SavePictureInputs in;
    in.picturesPath = tmp.filePath("pics") + "/";
    in.pictureExtension = ".bmp";
    in.resultsFilePath = "  " + tmp.filePath("results.txt");   // leading blanks of a typed path
    in.measurementLog = tmp.filePath("log.txt");
    in.captureSkier = "Ann Lee";
    in.capturePass = "3";
    in.distanceText = " 45.2m";
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::green);

    const QString path = tmp.filePath("pics") + "/12914032.bmp";
    SavePictureOutcome out = savePicture(img, in, prompter, kWhen);
    EXPECT_TRUE(out.saved);
    EXPECT_EQ(out.path, path);
    // Where the picture went only informs; the screen shows it without a box.
    EXPECT_TRUE(prompter.shown().isEmpty());
    EXPECT_EQ(readAll(tmp.filePath("results.txt")), ("01-29-2005 14:03:22 Saved picture: " + path + "\r\n").toUtf8());
    EXPECT_EQ(readAll(path + ".info"), (path + ", Ann Lee, 3\r\n").toUtf8());
    const QByteArray log = readAll(tmp.filePath("log.txt"));
    EXPECT_TRUE(log.startsWith("01-29-2005    14:03:22      Skier: Ann Lee"));
    EXPECT_TRUE(log.contains("Jump:  2"));
    EXPECT_TRUE(log.contains("Distance:  45.2m"));
    EXPECT_TRUE(log.endsWith(("File: " + path + "\r\n").toUtf8()));

    // The same ten seconds again: a second picture beside the first, with its own side file.
    out = savePicture(img, in, prompter, kWhen);
    EXPECT_EQ(out.path, tmp.filePath("pics") + "/12914032-2.bmp");
    EXPECT_TRUE(QFile::exists(out.path + ".info"));
    EXPECT_EQ(readAll(tmp.filePath("log.txt")).count('\n'), 2);
}

TEST(SavePicture, FailedPictureWritesNoLines)
{
    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    SavePictureInputs in;
    in.picturesPath = tmp.filePath("missing");
    in.resultsFilePath = tmp.filePath("results.txt");
    in.measurementLog = tmp.filePath("log.txt");
    const SavePictureOutcome out = savePicture(QImage(2, 2, QImage::Format_RGB32), in, prompter, kWhen);
    EXPECT_FALSE(out.saved);
    EXPECT_EQ(out.errors.size(), 1);
    EXPECT_EQ(prompter.messages().size(), 1);   // the failure only
    EXPECT_FALSE(QFile::exists(tmp.filePath("results.txt")));
    EXPECT_FALSE(QFile::exists(tmp.filePath("log.txt")));
}

TEST(SavePicture, LogAndResultsFailuresAreEachReported)
{
    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    SavePictureInputs in;
    in.picturesPath = tmp.path();
    in.resultsFilePath = tmp.filePath("nope/results.txt");
    in.measurementLog = tmp.filePath("nope/log.txt");
    const SavePictureOutcome out = savePicture(QImage(2, 2, QImage::Format_RGB32), in, prompter, kWhen);
    EXPECT_TRUE(out.saved);
    ASSERT_EQ(out.errors.size(), 2);
    EXPECT_TRUE(out.errors[0].contains("results file"));
    EXPECT_TRUE(out.errors[1].contains("measurement log"));
}

// ---------------------------------------------------------------- files shared with WSTIMS

JumpRecord okJump()
{
    JumpRecord r;
    r.time = "14:03:22";
    r.skier = "Ann Lee";
    r.jumpNumber = " 2";
    r.wstimsMetres = " 45.2";
    r.wstimsFeet = " 148";
    return r;
}

TEST(WstimsFiles, AResultFileThatCannotBeWrittenStillLetsTheRawLineThrough)
{
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("txresult.dst/held");   // a folder where the file should be
    const WstimsWrite w = writeWstimsFiles(tmp.path(), okJump());
    EXPECT_FALSE(w.ok);
    EXPECT_TRUE(w.error.startsWith(QDir::toNativeSeparators(tmp.filePath("txresult.dst")) + ": ")) << w.error.toStdString();
    EXPECT_FALSE(w.error.contains("txraw.dst"));
    EXPECT_EQ(readAll(tmp.filePath("txraw.dst")), QByteArray("14:03:22 ,Ann Lee,OK,  45.2,  148,  2\r\n"));
}

TEST(WstimsFiles, ARawFileThatCannotBeWrittenStillLetsTheResultThrough)
{
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("txraw.dst");
    const WstimsWrite w = writeWstimsFiles(tmp.path(), okJump());
    EXPECT_FALSE(w.ok);
    EXPECT_TRUE(w.error.startsWith(QDir::toNativeSeparators(tmp.filePath("txraw.dst")) + ": ")) << w.error.toStdString();
    EXPECT_EQ(readAll(tmp.filePath("txresult.dst")), QByteArray("OK,  45.2,  148,  2\r\n"));
}

TEST(WstimsFiles, AReadOnlyExchangeFolderNamesBothFilesAndThePreviousResult)
{
    QTemporaryDir tmp;
    {
        QFile f(tmp.filePath("txresult.dst"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("OK,  40.0,  131,  1\r\n");
    }
    ASSERT_TRUE(QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const bool stillWritable = QFile(tmp.filePath("probe")).open(QIODevice::WriteOnly);
    if (stillWritable) {
        QFile::remove(tmp.filePath("probe"));
        QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "permissions do not bind this user (root)";
    }
    const WstimsWrite w = writeWstimsFiles(tmp.path(), okJump());
    QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(w.ok);
    const QString result = QDir::toNativeSeparators(tmp.filePath("txresult.dst"));
    const QString raw = QDir::toNativeSeparators(tmp.filePath("txraw.dst"));
    EXPECT_TRUE(w.error.startsWith(result + ": ")) << w.error.toStdString();
    EXPECT_TRUE(w.error.contains(" (it still holds the previous result); " + raw + ": ")) << w.error.toStdString();
}

TEST(WstimsNameFile, FirstFieldIsTheName)
{
    QTemporaryDir tmp;
    writeFile(tmp.filePath("txskier.nam"), "Ann Lee,12345\r\n");
    EXPECT_EQ(readWstimsName(tmp.path()).name, "Ann Lee");
    writeFile(tmp.filePath("txskier.nam"), "  \"Lee, Ann\",12345\r\n");
    EXPECT_EQ(readWstimsName(tmp.path()).name, "Lee, Ann");
}

TEST(WstimsNameFile, ALatinOneNameWithoutALineEndKeepsItsLastLetter)
{
    QTemporaryDir tmp;
    writeFile(tmp.filePath("txskier.nam"), QByteArray("Jos\xE9"));
    EXPECT_EQ(readWstimsName(tmp.path()).name, QString::fromUtf8("Jos\xC3\xA9"));
}

TEST(WstimsNameFile, MissingOrEmptyFileIsAnError)
{
    QTemporaryDir tmp;
    WstimsName n = readWstimsName(tmp.path());
    EXPECT_FALSE(n.name);
    EXPECT_TRUE(n.error.contains("txskier.nam"));
    writeFile(tmp.filePath("txskier.nam"), "");
    n = readWstimsName(tmp.path());
    EXPECT_FALSE(n.name);
    EXPECT_FALSE(n.error.isEmpty());
    writeFile(tmp.filePath("txskier.nam"), "\r\nAnn Lee\r\n");
    EXPECT_FALSE(readWstimsName(tmp.path()).name);
}

TEST(ResultsFile, AppendsWholeLinesAndNamesTheFileOnFailure)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("r.txt");
    EXPECT_EQ(appendToResultsFile(" " + path, {"one", "two"}), QString());
    EXPECT_EQ(appendToResultsFile(path, {resultsEntry(kWhen, "Optional Reride on previous jump")}), QString());
    EXPECT_EQ(readAll(path), "one\r\ntwo\r\n01-29-2005 14:03:22 Optional Reride on previous jump\r\n");
    const QString error = appendToResultsFile(tmp.path(), {"x"});   // a folder
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(tmp.path())));
    EXPECT_TRUE(error.contains("results file"));
    EXPECT_EQ(loadedPictureEntry(kWhen, "a.gif"), "01-29-2005 14:03:22 Loaded picture: a.gif");
}
