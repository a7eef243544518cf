#include "grid/grid_file.h"
#include "grid/grid_geometry.h"
#include "support/grid_test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cmath>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace tarvex;

namespace {

JumpGrid sampleGrid()
{
    JumpGrid r;
    r.buoys[1] = {3525, 6420, 12.5, -3.75};
    r.buoys[2] = {10500, 7000, 30, 20};
    r.buoys[3] = {3000, 2000, 60, -20};
    r.buoys[4] = {1500, 7000, 0.5, -0.25};
    const double c[] = {82.5, 0, -0.00375, 1.5e-7, 0.000125, -50, 0.0083333333333333, 0};
    for (int m = 1; m <= 8; ++m)
        r.c[m] = c[m - 1];
    r.jump_x = -2.5;
    r.jump_y = 0;
    return r;
}

QByteArray crlf(const char* lines)
{
    QByteArray b(lines);
    b.replace("\n", "\r\n");
    return b;
}

QString writeBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

// The 19 lines of sampleGrid as the writer lays them out.
const char kSampleBody[] =
    " 3525 , 6420 , 12.5 ,-3.75 \n"
    " 10500 , 7000 , 30 , 20 \n"
    " 3000 , 2000 , 60 ,-20 \n"
    " 1500 , 7000 , .5 ,-.25 \n"
    " 82.5 \n"
    " 0 \n"
    "-.00375 \n"
    " 1.5E-07 \n"
    " .000125 \n"
    "-50 \n"
    " .0083333333333333 \n"
    " 0 \n"
    "-2.5 \n"
    " 0 \n"
    " 10 \n"
    " 2 \n"
    " 3 \n";

} // namespace

TEST(GridFileWriter, WritesTheNineteenLinesByteForByte)
{
    const QByteArray bytes = gridFileBytes(QStringLiteral("/grids/north.ipt"), QStringLiteral("North camera"),
                                           sampleGrid(), 3);
    const QByteArray expected = crlf("Initialization Points for file: /grids/north.ipt\n"
                                     "North camera\n")
                                + crlf(kSampleBody);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(bytes.count("\r\n"), 19);
}

TEST(GridFileWriter, TrailersAreTenTwoAndTheGridNumberWhateverTheRecordHolds)
{
    JumpGrid r = sampleGrid();
    r.t1 = 10;
    r.t2 = 2;
    r.t3 = 5;
    const QList<QByteArray> lines = gridFileBytes("/a.ipt", "", r, 2).split('\n');
    EXPECT_EQ(lines[16], " 10 \r");
    EXPECT_EQ(lines[17], " 2 \r");
    EXPECT_EQ(lines[18], " 2 \r");
}

TEST(GridFileWriter, QuotesAPathOrDescriptionHoldingACommaOrQuote)
{
    const QList<QByteArray> lines =
        gridFileBytes("/grids/a,b.ipt", "North, \"new\" camera", sampleGrid(), 1).split('\n');
    EXPECT_EQ(lines[0], "\"Initialization Points for file: /grids/a,b.ipt\"\r");
    EXPECT_EQ(lines[1], "\"North, \"\"new\"\" camera\"\r");
}

TEST(GridFileReader, ReadsTheWritersOutput)
{
    const GridFileContents c = parseGridFile(gridFileBytes("/grids/north.ipt", "North camera", sampleGrid(), 3));
    ASSERT_TRUE(c.ok()) << c.error.toStdString();
    EXPECT_EQ(c.fieldsRead, 31);
    EXPECT_EQ(c.firstLine, "Initialization Points for file: /grids/north.ipt");
    EXPECT_EQ(c.description, "North camera");
    JumpGrid expected = sampleGrid();
    expected.t1 = 10;
    expected.t2 = 2;
    expected.t3 = 3;
    EXPECT_EQ(c.grid(), expected);
    EXPECT_EQ(c.grid().buoys[4].survey_x, 0.5);
    EXPECT_EQ(c.grid().buoys[4].survey_y, -0.25);
}

TEST(GridFileReader, AcceptsBuoyNumbersSpacedOrOnTheirOwnLines)
{
    const QByteArray spaced = crlf("Initialization Points for file: x\n"
                                   "desc\n"
                                   "3525,6420 ,   12.5,   -3.75\n"
                                   "   10500   ,7000,30,20\n"
                                   "3000\n2000\n60\n-20\n"
                                   "1500 , 7000\n"
                                   ".5\n\n-.25\n"
                                   "82.5,0,-.00375,1.5E-07\n"
                                   ".000125\n-50\n.0083333333333333\n0\n-2.5\n0\n10\n2\n3\n");
    const GridFileContents c = parseGridFile(spaced);
    ASSERT_TRUE(c.ok()) << c.error.toStdString();
    const GridFileContents w = parseGridFile(gridFileBytes("x", "desc", sampleGrid(), 3));
    EXPECT_EQ(c.numbers, w.numbers);
    EXPECT_EQ(c.description, "desc");
}

TEST(GridFileReader, EmptyDescriptionLineReadsAsEmptyText)
{
    const GridFileContents c = parseGridFile(gridFileBytes("/g.ipt", "", sampleGrid(), 1));
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.description, "");
    EXPECT_EQ(c.numbers.first(), 3525);
}

TEST(GridFileReader, TruncatedFileReportsHowFarItGot)
{
    QByteArray bytes = gridFileBytes("/g.ipt", "d", sampleGrid(), 1);
    const QList<QByteArray> lines = bytes.split('\n');
    const QByteArray firstTen = lines.mid(0, 10).join('\n') + '\n';   // up to c4
    const GridFileContents c = parseGridFile(firstTen);
    EXPECT_EQ(c.status, GridFileContents::Status::TooFewFields);
    EXPECT_EQ(c.fieldsRead, 2 + 16 + 4);
    EXPECT_EQ(c.numbers.size(), 20);
    EXPECT_TRUE(c.error.contains("c5")) << c.error.toStdString();
}

TEST(GridFileReader, FieldThatIsNotANumberStopsTheRead)
{
    const GridFileContents c = parseGridFile(crlf("first\ndesc\n 1 , 2 , three , 4 \n"));
    EXPECT_EQ(c.status, GridFileContents::Status::NotANumber);
    EXPECT_EQ(c.fieldsRead, 4);
    EXPECT_EQ(c.numbers, (QList<double>{1, 2}));
    EXPECT_TRUE(c.error.contains("buoy 1 survey X")) << c.error.toStdString();
}

TEST(GridFileReader, NanInfAndHugeNumbersAreNotNumbers)
{
    for (const char* bad : {"nan", "inf", "-inf", "1e16", "-2e15"}) {
        const GridFileContents c = parseGridFile(crlf("first\ndesc\n 1 , ") + bad + crlf(" , 3 , 4 \n"));
        EXPECT_EQ(c.status, GridFileContents::Status::NotANumber) << bad;
        EXPECT_EQ(c.numbers, (QList<double>{1})) << bad;
    }
    EXPECT_EQ(parseGridFile(crlf("first\ndesc\n 1e15 \n")).numbers, (QList<double>{1e15}));
}

TEST(GridFileReader, AnOverlongDescriptionIsRefused)
{
    const GridFileContents c = parseGridFile("first\r\n" + QByteArray(5000, 'x') + "\r\n 1 \r\n");
    EXPECT_EQ(c.status, GridFileContents::Status::FieldTooLong);
    EXPECT_TRUE(c.description.isEmpty());
    EXPECT_EQ(c.error, "the description line is longer than 4096 characters");
}

TEST(GridFileReader, APipeADeviceOrAHugeFileIsNeverRead)
{
    QTemporaryDir dir;
#ifdef Q_OS_UNIX
    const QString fifo = dir.filePath("pipe.ipt");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    GridFileContents c = readGridFile(fifo);   // would block for ever if opened
    EXPECT_EQ(c.status, GridFileContents::Status::OpenFailed);
    EXPECT_EQ(c.error, "The grid file " + fifo + " could not be opened: it is not a regular file");
    c = readGridFile("/dev/zero");
    EXPECT_EQ(c.error, "The grid file /dev/zero could not be opened: it is not a regular file");
#endif
    const QString big = writeBytes(dir, "big.ipt", QByteArray(64 * 1024 + 1, ' '));
    EXPECT_EQ(readGridFile(big).error, "The grid file " + big + " could not be opened: it is larger than 64 KiB");
}

TEST(GridFileReader, MissingFileCannotBeOpened)
{
    QTemporaryDir dir;
    const GridFileContents c = readGridFile(dir.filePath("none.ipt"));
    EXPECT_EQ(c.status, GridFileContents::Status::OpenFailed);
    EXPECT_FALSE(c.error.isEmpty());
}

TEST(GridFileLoad, FullReadSetsWorkingStateRecordAndFlags)
{
    QTemporaryDir dir;
    const QString path = writeBytes(dir, "south.ipt", gridFileBytes("/old/place.ipt", "South", sampleGrid(), 2));
    GridState g;
    g.grids_in_use = 2;
    g.grid_set_up[1] = true;
    const GridFileContents c = loadGridFile(g, 2, path);
    ASSERT_TRUE(c.ok());

    EXPECT_EQ(g.current_grid, 2);
    EXPECT_EQ(g.grid_file_path[2], path);
    EXPECT_EQ(g.grid_description[2], "South");
    EXPECT_TRUE(g.grid_set_up[2]);
    EXPECT_TRUE(g.all_grids_set_up);
    EXPECT_EQ(g.survey_x_direction, 1);   // upper right X 12.5 below upper left X 60
    EXPECT_EQ(g.buoy_screen_x[buoy::UpperRight], 3525);
    EXPECT_EQ(g.buoy_survey_y[buoy::LowerLeft], -0.25);
    EXPECT_EQ(g.mapping_coefficients[3], -0.00375);
    EXPECT_EQ(g.jump_survey_x, -2.5);
    const JumpGrid& r = g.grid_table[2];
    EXPECT_EQ(r.buoys[buoy::UpperRight].survey_x, 12.5);
    EXPECT_EQ(r.c[5], 0.000125);
    EXPECT_EQ(r.t1, 10);
    EXPECT_EQ(r.t2, 2);
    EXPECT_EQ(r.t3, 2);
    EXPECT_EQ(g.grid_table[1], JumpGrid{});
}

TEST(GridFileLoad, SurveyDirectionFollowsTheUpperBuoys)
{
    JumpGrid r = sampleGrid();   // upper right X 12.5, upper left X 60
    GridState g;
    applyGridFile(g, 1, "/g.ipt", parseGridFile(gridFileBytes("/g.ipt", "", r, 1)));
    EXPECT_EQ(g.survey_x_direction, 1);
    r.buoys[buoy::UpperRight].survey_x = 70;
    applyGridFile(g, 1, "/g.ipt", parseGridFile(gridFileBytes("/g.ipt", "", r, 1)));
    EXPECT_EQ(g.survey_x_direction, -1);
}

TEST(GridFileLoad, TruncatedFileLeavesWhatWasReadAndIsNotSetUp)
{
    const QList<QByteArray> lines = gridFileBytes("/g.ipt", "Part", sampleGrid(), 1).split('\n');
    GridState g;
    g.mapping_coefficients[5] = 99;
    g.grid_table[1].c[5] = 99;
    EXPECT_FALSE(applyGridFile(g, 1, "/g.ipt", parseGridFile(lines.mid(0, 10).join('\n'))));

    EXPECT_EQ(g.grid_description[1], "Part");
    EXPECT_EQ(g.buoy_screen_x[buoy::UpperRight], 3525);
    EXPECT_EQ(g.grid_table[1].buoys[buoy::LowerLeft].survey_y, -0.25);
    EXPECT_EQ(g.mapping_coefficients[4], 1.5e-7);
    EXPECT_EQ(g.grid_table[1].c[4], 1.5e-7);
    EXPECT_EQ(g.mapping_coefficients[5], 99);
    EXPECT_EQ(g.grid_table[1].c[5], 99);
    EXPECT_FALSE(g.grid_set_up[1]);
    EXPECT_FALSE(g.all_grids_set_up);
}

TEST(GridFileLoad, FileThatNeverOpenedChangesNothing)
{
    QTemporaryDir dir;
    GridState g;
    g.grid_file_path[1] = "/before.ipt";
    g.buoy_screen_x[1] = 7;
    const GridFileContents c = loadGridFile(g, 1, dir.filePath("missing.ipt"));
    EXPECT_FALSE(c.ok());
    EXPECT_EQ(g.grid_file_path[1], "/before.ipt");
    EXPECT_EQ(g.buoy_screen_x[1], 7);
}

TEST(GridFileSave, SaveThenLoadRestoresFifteenSignificantDigits)
{
    QTemporaryDir dir;
    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    g.buoy_screen_x[1] = 9000.123456789012345;
    g.buoy_survey_y[3] = -19.98765432109876543;
    g.jump_survey_x = 1.0 / 3;
    g.jump_survey_y = -2.0 / 3;
    ASSERT_TRUE(solve_coefficients(g));
    const GridState saved = g;

    const GridFileWriteResult w = saveGridFile(g, 2, dir.filePath("g2.ipt"), "Grid two");
    ASSERT_TRUE(w.ok) << w.error.toStdString();
    EXPECT_EQ(g.grid_file_path[2], w.fullPath);
    EXPECT_EQ(g.grid_table[2].t3, 2);
    EXPECT_FALSE(g.grid_set_up[2]);   // saving neither solves nor marks set up

    GridState loaded;
    loaded.grids_in_use = 3;
    ASSERT_TRUE(loadGridFile(loaded, 2, w.fullPath).ok());
    auto fifteen = [](double v) { return QString::number(v, 'g', 15).toDouble(); };
    for (int b = 1; b <= 4; ++b) {
        EXPECT_EQ(loaded.buoy_screen_x[b], fifteen(saved.buoy_screen_x[b]));
        EXPECT_EQ(loaded.buoy_screen_y[b], fifteen(saved.buoy_screen_y[b]));
        EXPECT_EQ(loaded.buoy_survey_x[b], fifteen(saved.buoy_survey_x[b]));
        EXPECT_EQ(loaded.buoy_survey_y[b], fifteen(saved.buoy_survey_y[b]));
    }
    for (int m = 1; m <= 8; ++m)
        EXPECT_EQ(loaded.mapping_coefficients[m], fifteen(saved.mapping_coefficients[m])) << "c" << m;
    EXPECT_EQ(loaded.jump_survey_x, 0.333333333333333);
    EXPECT_EQ(loaded.jump_survey_y, -0.666666666666667);
    EXPECT_EQ(loaded.grid_table[2].t1, 10);
    EXPECT_EQ(loaded.grid_table[2].t2, 2);
    EXPECT_EQ(loaded.grid_table[2].t3, 2);
    EXPECT_EQ(loaded.grid_description[2], "Grid two");
}

TEST(GridFileSave, LineOneNamesTheAbsolutePath)
{
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    GridState g;
    const GridFileWriteResult w = saveGridFile(g, 1, "rel.ipt", "");
    QDir::setCurrent(old);
    ASSERT_TRUE(w.ok);
    QFile f(dir.filePath("rel.ipt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readLine(), ("Initialization Points for file: " + QDir(dir.path()).absoluteFilePath("rel.ipt")).toUtf8() + "\r\n");
}

TEST(GridFileSave, CommasInPathAndDescriptionReadBackWhole)
{
    QTemporaryDir dir;
    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    const QString path = dir.filePath("north, shore.ipt");
    ASSERT_TRUE(saveGridFile(g, 1, path, "North, shore \"A\"").ok);
    GridState loaded;
    const GridFileContents c = loadGridFile(loaded, 1, path);
    ASSERT_TRUE(c.ok()) << c.error.toStdString();
    EXPECT_EQ(loaded.grid_description[1], "North, shore \"A\"");
    EXPECT_EQ(c.firstLine, "Initialization Points for file: " + path);
    EXPECT_EQ(loaded.buoy_screen_x, g.buoy_screen_x);
}

TEST(GridFileSave, FailedWriteReportsAndLeavesTheRecord)
{
    QTemporaryDir dir;
    GridState g;
    g.buoy_screen_x[1] = 123;
    const GridFileWriteResult w = saveGridFile(g, 1, dir.filePath("no/such/folder/g.ipt"), "d");
    EXPECT_FALSE(w.ok);
    EXPECT_FALSE(w.error.isEmpty());
    EXPECT_EQ(g.grid_table[1], JumpGrid{});
    EXPECT_FALSE(QFile::exists(dir.filePath("no/such/folder/g.ipt")));
}

TEST(GridFileSave, ANumberTheReaderWouldRefuseIsNeverWritten)
{
    QTemporaryDir dir;
    JumpGrid g = sampleGrid();
    g.c[3] = std::nan("");
    const QString path = dir.filePath("g.ipt");
    const GridFileWriteResult r = writeGridFile(path, "d", g, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "The grid file " + path + " was not written: its c3 is not a number that can be stored");
    EXPECT_FALSE(QFile::exists(path));
}

TEST(GridFileSave, OverwritesAnEarlierFileCompletely)
{
    QTemporaryDir dir;
    const QString path = writeBytes(dir, "g.ipt", QByteArray(5000, 'x'));
    GridState g;
    ASSERT_TRUE(saveGridFile(g, 1, path, "").ok);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), gridFileBytes(path, "", g.grid_table[1], 1));
}
