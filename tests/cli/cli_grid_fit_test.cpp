// The check points, lens and uncertainty of tarvex-cli grid, residuals and distance.
#include "cli/cli.h"
#include "common/text_file.h"
#include "grid/grid_file.h"
#include "grid/plane_mapping.h"
#include "support/cli_run.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

test::CliRun run(const QStringList& args) { return test::runCliCaptured(args); }

QStringList trapezoid(const QString& file)
{
    return {"grid", "--out", file, "--grid", "1", "--ur", "9000,2000,60,20", "--lr", "10500,7000,30,20",
            "--ul", "3000,2000,60,-20", "--ll", "1500,7000,30,-20", "--jump", "0,0"};
}

// Check points where the trapezoid grid's mapping puts them, so they agree to rounding.
QStringList checkPoints(const QString& fourPointFile, double c3SurveyError = 0)
{
    const JumpGrid grid = readGridFile(fourPointFile).grid();
    const QPointF survey[] = {{40, 0}, {50, 10}, {35, -12}, {55, -5}};
    QStringList args;
    for (int i = 0; i < 4; ++i) {
        const QPointF t = *PlaneMapping::fromGrid(grid).screenFromSurvey(survey[i]);
        args << "--point"
             << QString("C%1,%2,%3,%4,%5").arg(i + 1).arg(t.x(), 0, 'g', 17).arg(t.y(), 0, 'g', 17)
                    .arg(survey[i].x() + (i == 2 ? c3SurveyError : 0)).arg(survey[i].y());
    }
    return args;
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(CliGridFit, FourPointsWriteNoSideFileAndPrintTheirTable)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("four.ipt");
    const test::CliRun r = run(trapezoid(file));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.outLines().mid(1), QStringList({"UR 0.00 -", "LR 0.00 -", "UL 0.00 -", "LL 0.00 -",
                                                "rms 0.00 cm over 4 points, lens k1 0"}));
    EXPECT_FALSE(QFile::exists(file + ".pts"));
}

TEST(CliGridFit, CheckPointsGoToTheSideFileAndEveryCommandReadsThem)
{
    QTemporaryDir dir;
    const QString four = dir.filePath("four.ipt"), eight = dir.filePath("eight.ipt");
    ASSERT_EQ(run(trapezoid(four)).status, 0);
    const test::CliRun r = run(trapezoid(eight) + checkPoints(four));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList table = {"UR 0.00 0.00", "LR 0.00 0.00", "UL 0.00 0.00", "LL 0.00 0.00", "C1 0.00 0.00",
                               "C2 0.00 0.00", "C3 0.00 0.00", "C4 0.00 0.00", "rms 0.00 cm over 8 points, lens k1 0"};
    EXPECT_EQ(r.outLines().mid(1), table);
    const QByteArray side = bytesOf(eight + ".pts");
    EXPECT_TRUE(side.startsWith("Tarvex grid points 1\n")) << side.toStdString();
    EXPECT_TRUE(side.contains("\npoint: C3 ")) << side.toStdString();
    EXPECT_TRUE(side.contains("\n# RMS 0.0 cm over 8 points - worst ")) << side.toStdString();

    EXPECT_EQ(run({"residuals", eight}).outLines(), table);
    // The start-up cleanup of half-written grid files leaves the side file alone.
    removeStaleTemporaries(dir.path(), {}, {".ipt"}, QDateTime::currentDateTime().addSecs(60));
    EXPECT_EQ(run({"residuals", eight}).outLines(), table);
    // 36.0555 m from the jump point plus the allowance, and an uncertainty of a few cm.
    const QStringList f = run({"distance", eight, "10500,7000"}).out.trimmed().split(' ');
    ASSERT_EQ(f.size(), 6);
    EXPECT_NEAR(f[4].toDouble(), 38.1555127546399, 1e-6);
    EXPECT_GT(f[5].toDouble(), 0.001);
    EXPECT_LT(f[5].toDouble(), 0.2);
    const double clicked = run({"distance", eight, "10500,7000", "--click-px", "5"}).out.split(' ')[5].toDouble();
    EXPECT_GT(clicked, f[5].toDouble());

    // Writing the four-point grid over it takes its side file away too.
    ASSERT_EQ(run(trapezoid(eight)).status, 0);
    EXPECT_FALSE(QFile::exists(eight + ".pts"));
}

TEST(CliGridFit, AMisSurveyedPointIsFlaggedAndADamagedSideFileRefused)
{
    QTemporaryDir dir;
    const QString four = dir.filePath("four.ipt"), bad = dir.filePath("bad.ipt");
    ASSERT_EQ(run(trapezoid(four)).status, 0);
    const test::CliRun r = run(trapezoid(bad) + checkPoints(four, 0.5));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    for (const QString& line : r.outLines().mid(1, 8))
        EXPECT_EQ(line.endsWith(" flagged"), line.startsWith("C3 ")) << line.toStdString();

    QByteArray side = bytesOf(bad + ".pts");
    QFile f(bad + ".pts");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(side).replace("point: C3 ", "point: C3 1 "));
    f.close();
    test::CliRun refused = run({"residuals", bad});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains("bad.ipt.pts cannot be read: line ")) << refused.err.toStdString();

    // Another grid's points: read whole, but the mapping does not come of them.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(side.replace(" 40 0\n", " 41 0\n"));
    f.close();
    refused = run({"distance", bad, "6000,4500"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains("does not agree with the fit of its 8 points")) << refused.err.toStdString();
}

TEST(CliGridFit, BadPointAndLensOptionsAreUsageErrors)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("g.ipt");
    for (const QStringList& extra : {QStringList{"--point", "UR,1,2,3,4"}, QStringList{"--point", "C1,1,2,3"},
                                     QStringList{"--point", "C 1,1,2,3,4"}, QStringList{"--lens", "fisheye"},
                                     QStringList{"--picture", "1920"}}) {
        const test::CliRun r = run(trapezoid(file) + extra);
        EXPECT_EQ(r.status, 2) << extra.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(file));
    }
}
