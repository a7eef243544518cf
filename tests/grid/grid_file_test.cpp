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

// The trapezoid of the grid tests with the coefficients that map it exactly, as a file holds them.
JumpGrid trapezoidGrid()
{
    JumpGrid r;
    for (const auto& b : test::kTrapezoid)
        r.buoys[b.index] = {b.u, b.v, b.x, b.y};
    const double c[] = {82.5, 0, -0.00375, 0, 0.000125, -50, 0.00833333333333333, 0};
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

TEST(GridFileReader, AcceptsAnyBlanksAroundTheFieldsAndAnyLineEnd)
{
    // LF-only line ends, tabs, no blanks at all, and blank lines after line 19.
    const QByteArray spaced = "Initialization Points for file: x\n"
                              "desc\n"
                              "3525,6420 ,   12.5,   -3.75\n"
                              "   10500   ,7000,30,20\r"
                              "\t3000\t,\t2000,60,-20\n"
                              "1500 , 7000,.5,-.25\n"
                              "82.5\n0\n-.00375\n1.5E-07\n"
                              ".000125\n-50\n.0083333333333333\n0\n-2.5\n0\n10\n2\n3\n\n  \r\n";
    const GridFileContents c = parseGridFile(spaced);
    ASSERT_TRUE(c.ok()) << c.error.toStdString();
    const GridFileContents w = parseGridFile(gridFileBytes("x", "desc", sampleGrid(), 3));
    EXPECT_EQ(c.numbers, w.numbers);
    EXPECT_EQ(c.description, "desc");
}

TEST(GridFileReader, ALineWithAFieldTooManyOrTooFewIsRefusedByName)
{
    const QList<QByteArray> good = gridFileBytes("/g.ipt", "d", sampleGrid(), 1).split('\n');
    const struct {
        int line;
        QByteArray text;
        const char* error;
    } cases[] = {
        {8, " 0,5 ", "line 8 (c2) holds 2 fields where 1 is expected"},   // a decimal comma
        {5, " 3000 , 2000 , 60,5 ,-20 ", "line 5 (buoy 3) holds 5 fields where 4 are expected"},
        {4, " 10500 , 7000 , 30 ", "line 4 (buoy 2) holds 3 fields where 4 are expected"},
        {19, " 3 , ", "line 19 (t3) holds 2 fields where 1 is expected"},
        {12, "", "field 24 (c6) on line 12 is not a number"},
        {1, "\"a\",\"b\"", "line 1 (the file's path) holds 2 fields where 1 is expected"},
    };
    for (const auto& t : cases) {
        QList<QByteArray> lines = good;
        lines[t.line - 1] = t.text + '\r';
        const GridFileContents c = parseGridFile(lines.join('\n'));
        EXPECT_FALSE(c.ok()) << t.line;
        EXPECT_EQ(c.error, t.error);
    }
    // Numbers spread over lines of their own no longer make up a buoy line.
    QList<QByteArray> spread = good;
    spread.replace(2, " 3525 \r\n 6420 \r\n 12.5 \r\n-3.75 \r");
    const GridFileContents c = parseGridFile(spread.join('\n'));
    EXPECT_EQ(c.status, GridFileContents::Status::WrongFieldCount);
    EXPECT_EQ(c.error, "line 3 (buoy 1) holds 1 field where 4 are expected");
    EXPECT_TRUE(c.numbers.isEmpty());
}

TEST(GridFileReader, TextAfterTheLastLineIsRefused)
{
    const GridFileContents c = parseGridFile(gridFileBytes("/g.ipt", "d", sampleGrid(), 1) + "\r\n 7 \r\n");
    EXPECT_EQ(c.status, GridFileContents::Status::TooManyLines);
    EXPECT_EQ(c.error, "line 21 follows the last of the 19 lines of a grid file");
}

TEST(GridFileReader, UnquotedCommasInTheTextLinesStayInThem)
{
    // As a writer that never quotes lays out a path and a description holding commas.
    const GridFileContents c = parseGridFile(crlf("Initialization Points for file: C:\\a,b.ipt\n"
                                                  "North, shore , east\n")
                                             + crlf(kSampleBody));
    ASSERT_TRUE(c.ok()) << c.error.toStdString();
    EXPECT_EQ(c.firstLine, "Initialization Points for file: C:\\a,b.ipt");
    EXPECT_EQ(c.description, "North, shore , east");
    EXPECT_EQ(c.numbers.first(), 3525);
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
    EXPECT_EQ(c.error, "the file ends before line 11 (c5)");
}

TEST(GridFileReader, FieldThatIsNotANumberStopsTheRead)
{
    const GridFileContents c = parseGridFile(crlf("first\ndesc\n 1 , 2 , three , 4 \n"));
    EXPECT_EQ(c.status, GridFileContents::Status::NotANumber);
    EXPECT_EQ(c.fieldsRead, 4);
    EXPECT_EQ(c.numbers, (QList<double>{1, 2}));
    EXPECT_EQ(c.error, "field 5 (buoy 1 survey X) on line 3 is not a number");
}

TEST(GridFileReader, NanInfAndHugeNumbersAreNotNumbers)
{
    for (const char* bad : {"nan", "inf", "-inf", "1e16", "-2e15"}) {
        const GridFileContents c = parseGridFile(crlf("first\ndesc\n 1 , ") + bad + crlf(" , 3 , 4 \n"));
        EXPECT_EQ(c.status, GridFileContents::Status::NotANumber) << bad;
        EXPECT_EQ(c.numbers, (QList<double>{1})) << bad;
    }
    EXPECT_EQ(parseGridFile(crlf("first\ndesc\n 1e15 , 0 , 0 , 0 \n")).numbers, (QList<double>{1e15, 0, 0, 0}));
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
    const QString path = writeBytes(dir, "south.ipt", gridFileBytes("/old/place.ipt", "South", trapezoidGrid(), 2));
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
    EXPECT_EQ(g.buoy_screen_x[buoy::UpperRight], 9000);
    EXPECT_EQ(g.buoy_survey_y[buoy::LowerLeft], -20);
    EXPECT_EQ(g.mapping_coefficients[3], -0.00375);
    EXPECT_EQ(g.jump_survey_x, -2.5);
    const JumpGrid& r = g.grid_table[2];
    EXPECT_EQ(r.buoys[buoy::LowerRight].survey_x, 30);
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

TEST(GridFileLoad, TruncatedFileLeavesTheGridAsItWas)
{
    const QList<QByteArray> lines = gridFileBytes("/g.ipt", "Part", sampleGrid(), 1).split('\n');
    GridState g;
    g.current_grid = 2;
    g.grid_description[1] = "Before";
    g.mapping_coefficients[4] = 99;
    g.grid_table[1].c[4] = 99;
    EXPECT_FALSE(applyGridFile(g, 1, "/g.ipt", parseGridFile(lines.mid(0, 10).join('\n'))));

    EXPECT_EQ(g.current_grid, 2);
    EXPECT_EQ(g.grid_description[1], "Before");
    EXPECT_TRUE(g.grid_file_path[1].isEmpty());
    EXPECT_EQ(g.buoy_screen_x[buoy::UpperRight], 0);
    EXPECT_EQ(g.mapping_coefficients[4], 99);
    EXPECT_EQ(g.grid_table[1].c[4], 99);
    EXPECT_FALSE(g.grid_set_up[1]);
    EXPECT_FALSE(g.all_grids_set_up);
}

TEST(GridFileLoad, ADecimalCommaOrAnUnsoundMappingIsRefusedAndChangesNothing)
{
    QTemporaryDir dir;
    QList<QByteArray> lines = gridFileBytes("/g.ipt", "d", trapezoidGrid(), 1).split('\n');
    lines[14] = "-2,5 \r";   // the jump point X written with a decimal comma
    const QString comma = writeBytes(dir, "comma.ipt", lines.join('\n'));

    JumpGrid zero = trapezoidGrid();
    zero.c = {};
    JumpGrid line = trapezoidGrid();   // every point onto X = 82.5 / D, Y = 0
    line.c[3] = line.c[6] = line.c[7] = 0;
    JumpGrid off = trapezoidGrid();
    off.buoys[buoy::LowerLeft].survey_y = -20.0015;
    JumpGrid vanishing = trapezoidGrid();
    vanishing.c[5] = -0.0005;   // D = 0 at buoy 1's v of 2000
    const struct {
        const char* name;
        JumpGrid grid;
        const char* why;
    } unsound[] = {
        {"zero.ipt", zero, "its mapping coefficients are all zero"},
        {"line.ipt", line, "its mapping takes the buoys to a point or a line"},
        {"off.ipt", off, "its mapping puts buoy 4 0.0015 m from where it was surveyed (more than 1 mm)"},
        {"vanishing.ipt", vanishing, "its mapping cannot place buoy 1 on the water"},
    };

    GridState g;
    test::setBuoys(g, test::kTrapezoid);
    ASSERT_TRUE(solve_coefficients(g));
    g.storeCompletedGrid(1, "/good.ipt", "Good");
    const GridState before = g;

    GridFileContents c = loadGridFile(g, 1, comma);
    EXPECT_EQ(c.error, "The grid file " + comma + " could not be read: line 15 (jump X) holds 2 fields where 1 is expected");
    for (const auto& u : unsound) {
        const QString path = writeBytes(dir, u.name, gridFileBytes("/g.ipt", "d", u.grid, 1));
        c = loadGridFile(g, 1, path);
        EXPECT_EQ(c.status, GridFileContents::Status::BadMapping) << u.name;
        EXPECT_EQ(c.error, "The grid file " + path + " cannot be used: " + u.why);
    }
    EXPECT_EQ(g.grid_file_path[1], "/good.ipt");
    EXPECT_EQ(g.grid_description[1], "Good");
    EXPECT_EQ(g.mapping_coefficients, before.mapping_coefficients);
    EXPECT_EQ(g.grid_table[1], before.grid_table[1]);
    EXPECT_TRUE(g.grid_set_up[1]);

    // Within 1 mm is the solver's rounding, not damage.
    off.buoys[buoy::LowerLeft].survey_y = -20.0009;
    EXPECT_TRUE(loadGridFile(g, 1, writeBytes(dir, "near.ipt", gridFileBytes("/g.ipt", "d", off, 1))).ok());
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
    ASSERT_TRUE(solve_coefficients(g));
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
