// A grid file the station would misread is refused by every command that measures with it,
// and so are points and widths no picture can have.
#include "cli/cli.h"
#include "grid/grid_file.h"
#include "support/grid_test_support.h"
#include "support/cli_run.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;
using tarvex::test::CliRun;

namespace {

CliRun run(const QStringList& args) { return test::runCliCaptured(args); }

// The trapezoid of the grid tests, solved and written by the station.
QString trapezoidFile(const QTemporaryDir& dir)
{
    const QString file = dir.filePath("g.ipt");
    EXPECT_EQ(run({"grid", "--out", file, "--grid", "1", "--ur", "9000,2000,60,20", "--lr", "10500,7000,30,20",
                   "--ul", "3000,2000,60,-20", "--ll", "1500,7000,30,-20", "--jump", "0,0"})
                  .status,
              0);
    return file;
}

QString rewriteLine(const QString& file, int line, const QByteArray& text)
{
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    lines[line - 1] = text + '\r';
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(lines.join('\n'));
    return file;
}

} // namespace

TEST(CliGridRefusal, ADecimalCommaOrAFieldTooFewIsRefusedByDistanceAndCheck)
{
    QTemporaryDir dir;
    const QString file = trapezoidFile(dir);
    ASSERT_EQ(run({"distance", file, "6000,4500"}).status, 0);

    rewriteLine(file, 7, " 82,5 ");   // c1 with a decimal comma
    const QString comma = "tarvex-cli: The grid file " + file
                          + " could not be read: line 7 (c1) holds 2 fields where 1 is expected\n";
    CliRun r = run({"distance", file, "6000,4500"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, comma);
    EXPECT_TRUE(r.out.isEmpty());
    r = run({"check", file});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, comma);

    rewriteLine(file, 7, " 82.5 ");
    rewriteLine(file, 4, " 10500 , 7000 , 30 ");
    r = run({"check", file});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarvex-cli: The grid file " + file
                         + " could not be read: line 4 (buoy 2) holds 3 fields where 4 are expected\n");
}

TEST(CliGridRefusal, AllZeroCoefficientsAreRefused)
{
    QTemporaryDir dir;
    const QString file = trapezoidFile(dir);
    for (int line = 7; line <= 14; ++line)
        rewriteLine(file, line, " 0 ");
    const QString why = "tarvex-cli: The grid file " + file + " cannot be used: its mapping coefficients are all zero\n";
    CliRun r = run({"distance", file, "6000,4500"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, why);
    r = run({"check", file});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, why);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST(CliGridRefusal, DistanceRefusesPointsThatAreNotNumbersOrFarOutside)
{
    QTemporaryDir dir;
    const QString file = trapezoidFile(dir);
    const struct {
        const char* point;
        const char* why;
    } bad[] = {
        {"nan,4500", "'nan,4500' is not a point u,v: nan is not a number"},
        {"6000, NaN", "'6000, NaN' is not a point u,v: NaN is not a number"},
        {"-inf,4500", "'-inf,4500' is not a point u,v: -inf lies beyond 10000000 twips, outside any picture"},
        {"6000,1.5e7", "'6000,1.5e7' is not a point u,v: 1.5e7 lies beyond 10000000 twips, outside any picture"},
    };
    for (const auto& b : bad) {
        const CliRun r = run({"distance", file, "6000,4500", b.point});
        EXPECT_EQ(r.status, 2) << b.point;
        EXPECT_EQ(r.err, QString("tarvex-cli: ") + b.why + " (tarvex-cli --help shows the usage)\n");
        EXPECT_TRUE(r.out.isEmpty());   // nothing measured before the refusal
    }
    const CliRun edge = run({"distance", file, "-10000000,0", "--type", "barefoot"});
    EXPECT_EQ(edge.status, 0) << edge.err.toStdString();
    const QStringList f = edge.out.split(' ');
    ASSERT_EQ(f.size(), 6);
    EXPECT_EQ(f[0], "-1e+07");
    EXPECT_NEAR(f[2].toDouble(), 82.5, 1e-6);
    EXPECT_NEAR(f[3].toDouble(), -83383.3333, 1e-3);
}

TEST(CliGridRefusal, CheckRefusesAWidthThatIsNotPositive)
{
    QTemporaryDir dir;
    const QString file = trapezoidFile(dir);
    for (const char* width : {"-7200", "nan", "inf"}) {
        const CliRun r = run({"check", file, "--width", width});
        EXPECT_EQ(r.status, 2) << width;
        EXPECT_EQ(r.err, QString("tarvex-cli: --width must be a positive number of twips, not '") + width
                             + "' (tarvex-cli --help shows the usage)\n");
    }
    EXPECT_EQ(run({"check", file, "--width", "0"}).err,
              "The picture width is 0 - load a picture before checking the grid\n");
}
