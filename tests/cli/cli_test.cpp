#include "cli/cli.h"
#include "grid/grid_file.h"
#include "grid/grid_geometry.h"
#include "support/grid_test_support.h"
#include "support/cli_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>

using namespace tarvex;
using tarvex::test::CliRun;

namespace {

CliRun run(const QStringList& args) { return test::runCliCaptured(args); }

// The trapezoid grid of the grid tests as tarvex-cli grid arguments.
QStringList trapezoidArgs(const QString& file, int grid)
{
    return {"grid", "--out", file, "--grid", QString::number(grid), "--description", "North, shore",
            "--ur", "9000,2000,60,20", "--lr", "10500,7000,30,20", "--ul", "3000,2000,60,-20",
            "--ll", "1500,7000,30,-20", "--jump", "0,0"};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes a grid file with the given coefficients, the buoy screen positions of the trapezoid
// and the survey points the coefficients map them to, as the reader checks they agree.
QString gridWithCoefficients(const QTemporaryDir& dir, const std::array<double, 8>& c, double jx, double jy)
{
    JumpGrid r;
    for (int m = 1; m <= 8; ++m)
        r.c[m] = c[std::size_t(m - 1)];
    for (const auto& b : test::kTrapezoid) {
        const QPointF s = PlaneMapping::fromGrid(r).surveyFromScreen(QPointF(b.u, b.v)).value_or(QPointF());
        r.buoys[b.index] = {b.u, b.v, s.x(), s.y()};
    }
    r.jump_x = jx;
    r.jump_y = jy;
    const QString path = dir.filePath("custom.ipt");
    EXPECT_TRUE(writeGridFile(path, "", r, 1).ok);
    return path;
}

} // namespace

TEST(CliGrid, WritesTheGridFileForTheGivenGrid)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("north.ipt");
    const CliRun r = run(trapezoidArgs(file, 2));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    const QList<QByteArray> lines = readAll(file).split('\n');
    ASSERT_EQ(lines.size(), 20);   // 19 lines and the empty rest after the last CR LF
    EXPECT_EQ(lines[0], "Initialization Points for file: " + QDir(dir.path()).absoluteFilePath("north.ipt").toUtf8() + "\r");
    EXPECT_EQ(lines[1], "\"North, shore\"\r");
    EXPECT_EQ(lines[2], " 9000 , 2000 , 60 , 20 \r");
    EXPECT_EQ(lines[5], " 1500 , 7000 , 30 ,-20 \r");
    EXPECT_EQ(lines[16], " 10 \r");
    EXPECT_EQ(lines[17], " 2 \r");
    EXPECT_EQ(lines[18], " 2 \r");

    // The trapezoid maps by round coefficients; the solver leaves rounding dust in the zeros.
    const double mapping[9] = {0, 82.5, 0, -0.00375, 0, 0.000125, -50, 1.0 / 120, 0};
    const GridFileContents c = readGridFile(file);
    ASSERT_TRUE(c.ok());
    for (int m = 1; m <= 8; ++m)
        EXPECT_NEAR(c.grid().c[m], mapping[m], 1e-12) << "c" << m;
    EXPECT_EQ(c.description, "North, shore");
}

TEST(CliGrid, NoUniqueSolutionWritesNothing)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("bad.ipt");
    const CliRun r = run({"grid", "--out", file, "--grid", "1", "--ur", "0,0,60,20", "--lr", "0,0,30,20",
                          "--ul", "0,0,60,-20", "--ll", "0,0,30,-20", "--jump", "0,0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No Unique Solution - Re-enter data\n");
    EXPECT_FALSE(QFile::exists(file));
}

TEST(CliGrid, BadArgumentsAreUsageErrors)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("g.ipt");
    QStringList args = trapezoidArgs(file, 4);
    EXPECT_EQ(run(args).status, 2);
    args = trapezoidArgs(file, 1);
    args[args.indexOf("--ur") + 1] = "9000,2000,60";
    EXPECT_EQ(run(args).status, 2);
    args = trapezoidArgs(file, 1);
    args.removeAt(args.indexOf("--jump") + 1);
    args.removeAt(args.indexOf("--jump"));
    const CliRun r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_FALSE(QFile::exists(file));
}

TEST(CliGrid, UnwritableOutputIsReported)
{
    QTemporaryDir dir;
    const CliRun r = run(trapezoidArgs(dir.filePath("missing/g.ipt"), 1));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.count('\n'), 1);
}

TEST(CliDistance, PrintsMappedPointAndDistancePerPoint)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("g.ipt");
    ASSERT_EQ(run(trapezoidArgs(file, 1)).status, 0);

    // 36.0555127546399 m from (30, 20) to the jump point, plus each type's allowance.
    const struct { const char* type; double distance; } types[] = {
        {"normal", 38.1555127546399}, {"sitski", 37.9555127546399}, {"barefoot", 36.0555127546399}};
    for (const auto& t : types) {
        const CliRun r = run({"distance", file, "10500,7000", "1500,7000", "--type", t.type});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QStringList lines = r.outLines();
        ASSERT_EQ(lines.size(), 2);
        const QStringList f = lines[0].split(' ');
        ASSERT_EQ(f.size(), 6);   // today's five, then the uncertainty
        EXPECT_EQ(f[0], "10500");
        EXPECT_EQ(f[1], "7000");
        EXPECT_NEAR(f[2].toDouble(), 30, 1e-9);
        EXPECT_NEAR(f[3].toDouble(), 20, 1e-9);
        EXPECT_NEAR(f[4].toDouble(), t.distance, 1e-9);
        EXPECT_NEAR(lines[1].split(' ')[3].toDouble(), -20, 1e-9);
    }
}

TEST(CliDistance, NumbersCarrySeventeenSignificantDigits)
{
    QTemporaryDir dir;
    // X = u / 3, Y = 0.1 * v: values that need all 17 digits to read back.
    const QString file = gridWithCoefficients(dir, {0, 1.0 / 3, 0, 0, 0, 0, 0, 0.1}, 0, 0);
    const CliRun r = run({"distance", file, "1,1", "--type=barefoot"});
    ASSERT_EQ(r.status, 0);
    const double x = QString::number(1.0 / 3, 'g', 15).toDouble();
    const double y = 0.1;
    EXPECT_TRUE(r.out.startsWith("1 1 " + QString::number(x, 'g', 17) + " " + QString::number(y, 'g', 17) + " "
                                 + QString::number(std::sqrt(x * x + y * y), 'g', 17) + " "))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("0.10000000000000001"));
}

TEST(CliDistance, PointOnTheVanishingLineIsAnErrorForThatPointOnly)
{
    QTemporaryDir dir;
    const QString file = gridWithCoefficients(dir, {0, 0.01, 0, 0, 1.0 / 1024, 0, 0, 0.01}, 0, 0);
    const CliRun r = run({"distance", file, "0,0", "10,-1024", "100,0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.outLines().size(), 2);
    EXPECT_TRUE(r.outLines()[0].startsWith("0 0 "));
    EXPECT_TRUE(r.outLines()[1].startsWith("100 0 "));
    EXPECT_TRUE(r.err.startsWith("10 -1024"));
    EXPECT_EQ(r.err.count('\n'), 1);
}

TEST(CliDistance, UnreadableFileOrBadPointIsAUsageError)
{
    QTemporaryDir dir;
    CliRun r = run({"distance", dir.filePath("none.ipt"), "1,2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_TRUE(r.out.isEmpty());

    QFile f(dir.filePath("short.ipt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Initialization Points for file: x\r\ndesc\r\n 1 , 2 \r\n");
    f.close();
    EXPECT_EQ(run({"distance", f.fileName(), "1,2"}).status, 2);

    const QString file = dir.filePath("g.ipt");
    ASSERT_EQ(run(trapezoidArgs(file, 1)).status, 0);
    EXPECT_EQ(run({"distance", file, "1;2"}).status, 2);
    EXPECT_EQ(run({"distance", file}).status, 2);
    EXPECT_EQ(run({"distance", file, "1,2", "--type", "slalom"}).status, 2);
}

TEST(CliCheck, PrintsTheGridCheckMessages)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("g.ipt");
    // Lower buoys 8400 twips apart, upper 3600: front 70 %, back 30 % of 12000.
    ASSERT_EQ(run({"grid", "--out", file, "--grid", "1", "--ur", "5600,2000,60,20", "--lr", "9400,7000,30,20",
                   "--ul", "2000,2000,60,-20", "--ll", "1000,7000,30,-20", "--jump", "0,0"}).status, 0);
    const CliRun r = run({"check", file});
    EXPECT_EQ(r.status, 0);
    const QString base = "Front ratio is  70%  Back Ratio is  30%";
    EXPECT_EQ(r.out, base + "  Elevate camera until back is > 45%\n" + base + "  Zoom camera in until back is > 45%\n"
                         + base + "  Zoom camera in until front is > 85%\n");

    const CliRun wide = run({"check", file, "--width", "7200"});   // front 116 %, back 50 %
    EXPECT_EQ(wide.out, "Front ratio is  116%  Back Ratio is  50%\n");
}

TEST(CliCheck, ZeroWidthCannotBeChecked)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("g.ipt");
    ASSERT_EQ(run(trapezoidArgs(file, 1)).status, 0);
    const CliRun r = run({"check", file, "--width", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "The picture width is 0 - load a picture before checking the grid\n");
    EXPECT_EQ(run({"check", file, "--width", "wide"}).status, 2);
}

TEST(CliAccuracy, PrintsFortyNinePointLinesThenSevenLevelRows)
{
    QTemporaryDir dir;
    // 0.12 m per pixel along X (a trace along Y, as a grid that maps the picture onto a line
    // is refused): every point reads "L".
    const QString file = gridWithCoefficients(dir, {0, 0.12 / 15, 0, 0, 0, 0, 0, 1e-9}, -1000, 0);
    const CliRun r = run({"accuracy", file});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.outLines();
    ASSERT_EQ(lines.size(), 49 + 7);
    EXPECT_TRUE(lines[0].startsWith("xpix:  3000  ypix:  2000  x:  24  y:  0  distance:  1026.1  "))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("  delta:  .12"));
    EXPECT_TRUE(lines[1].startsWith("xpix:  2750  ypix:  2833  "));   // down the left side first
    EXPECT_TRUE(lines[48].startsWith("xpix:  10500  ypix:  7000  "));
    for (int k = 49; k < 56; ++k)
        EXPECT_EQ(lines[k], "L L L L L L L");
}

TEST(CliAccuracy, LevelRowsRunAcrossThePicture)
{
    QTemporaryDir dir;
    // X = 0, Y = c8*v / (1 + c5*v) with c5 < 0: the picture's scale grows towards its
    // bottom, and with the jump point far up the survey Y axis each lattice row (one j, all
    // i) has one level, worse from row to row. A trace of X keeps the mapping off a line.
    const QString file = gridWithCoefficients(dir, {0, 1e-9, 0, 0, -1e-4, 0, 0, 0.0384 / 15}, 0, -1000);
    const CliRun r = run({"accuracy", file});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.outLines().mid(49), (QStringList{"R R R R R R R", "R R R R R R R", "R R R R R R R",
                                                 "L L L L L L L", "C C C C C C C", "NH NH NH NH NH NH NH",
                                                 "NH NH NH NH NH NH NH"}));
}

TEST(Cli, UsageAndUnknownCommands)
{
    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({"measure"}).status, 2);
    EXPECT_EQ(run({"check"}).status, 2);
    EXPECT_EQ(run({"accuracy", "a", "b"}).status, 2);
}

// Every command and every option on exactly one line of its own, so a grep of the help
// finds each; a command added without its help line fails here.
TEST(Cli, HelpGivesEachCommandAndOptionOneLine)
{
    for (const char* form : {"--help", "-h", "help"}) {
        const CliRun help = run({form});
        EXPECT_EQ(help.status, 0) << form;
        EXPECT_TRUE(help.err.isEmpty()) << form;
        EXPECT_TRUE(help.out.startsWith("Usage: tarvex-cli COMMAND")) << form;
    }
    const QStringList lines = run({"--help"}).outLines();
    const auto linesStartingWith = [&](const QString& head) {
        return std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(head); });
    };
    for (const char* command : {"grid ", "distance ", "check ", "accuracy ", "avi-info ", "frame ", "record ",
                                "contact ", "rehearsal-grid ", "help, --help, -h ", "--version, -v "})
        EXPECT_EQ(linesStartingWith(QStringLiteral("  ") + command), 1) << command;
    for (const char* option : {"out", "grid", "description", "ur", "lr", "ul", "ll", "jump", "type", "width",
                               "device", "size", "fps", "seconds", "codec"})
        EXPECT_EQ(linesStartingWith(QStringLiteral("  --%1 ").arg(option)), 1) << option;
}

TEST(Cli, VersionNamesTheProjectVersionAndMaybeTheCommit)
{
    for (const char* form : {"--version", "-v"}) {
        const CliRun v = run({form});
        EXPECT_EQ(v.status, 0);
        // "tarvex-cli 0.1" from a tarball, "tarvex-cli 0.1 (dbf7938-dirty)" from a checkout.
        EXPECT_TRUE(QRegularExpression("^tarvex-cli 0\\.1( \\([0-9a-z.-]+\\))?\n$").match(v.out).hasMatch())
            << v.out.toStdString();
    }
}

// FFmpeg once took ":x.avi" for an address ("Protocol not found").
TEST(CliRecord, ANameHoldingAColonIsAFile)
{
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const CliRun r = run({"record", ":x.avi", "--device", "Tarvex Rehearsal Camera", "--size", "320x240", "--fps", "10",
                          "--seconds", "1"});
    QDir::setCurrent(before);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_GT(QFileInfo(dir.path() + "/:x.avi").size(), 0);
}
