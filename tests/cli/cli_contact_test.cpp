#include "capture/avi_recorder.h"
#include "capture/rehearsal_camera.h"
#include "support/cli_run.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;
using tarvex::test::runCliCaptured;

namespace {

// A 2 s rehearsal pass at 640x480, 30 fps; with contactSeconds beyond it, a pass without a landing.
QString recordPass(const QTemporaryDir& dir, const QString& name, double contactSeconds)
{
    RehearsalScript s;
    s.contactSurvey = QPointF(55.0, 3.0);
    s.contactSeconds = contactSeconds;
    const RehearsalRenderer r(QSize(640, 480), s);
    RecorderSettings rs;
    rs.path = dir.filePath(name + QStringLiteral(".avi"));
    rs.size = QSize(640, 480);
    QString error;
    auto rec = AviRecorder::create(rs, error);
    EXPECT_TRUE(rec) << qPrintable(error);
    for (int f = 0; f < 60 && rec; ++f)
        EXPECT_TRUE(rec->writeVideo(r.render(f, 30), f, error));
    EXPECT_TRUE(rec && rec->finish(error));
    QString problem;
    EXPECT_TRUE(writeGroundTruth(groundTruthPathFor(rs.path), groundTruth(r.layout(), s, 30), problem));
    return rs.path;
}

} // namespace

TEST(CliContact, PrintsTheSuggestedFrameAndPointOrSaysNoneWasFound)
{
    QTemporaryDir dir;
    const QString pass = recordPass(dir, QStringLiteral("pass"), 1.0);
    const QString grid = dir.filePath(QStringLiteral("rehearsal.ipt"));
    ASSERT_EQ(runCliCaptured({"rehearsal-grid", groundTruthPathFor(pass), "--out", grid}).status, 0);

    for (const QStringList& gridArgs : {QStringList{}, QStringList{"--grid", grid}}) {
        const auto run = runCliCaptured(QStringList{"contact", pass} + gridArgs);
        EXPECT_EQ(run.status, 0) << qPrintable(run.err);
        const auto m = QRegularExpression("^contact frame (\\d+) at (-?[0-9.]+),(-?[0-9.]+) confidence ([01]\\.\\d\\d)\n$")
                           .match(run.out);
        ASSERT_TRUE(m.hasMatch()) << qPrintable(run.out);
        EXPECT_EQ(m.captured(1), "30");
        // The truth file's contactTwips for (55, 3) m at 640x480 are 5681.4, 3725.0; 3 px.
        EXPECT_NEAR(m.captured(2).toDouble(), 5681.4, 45);
        EXPECT_NEAR(m.captured(3).toDouble(), 3725.0, 45);
    }

    const auto none = runCliCaptured({"contact", recordPass(dir, QStringLiteral("fall"), 30.0)});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "no contact found\n");

    const auto missing = runCliCaptured({"contact", dir.filePath(QStringLiteral("missing.avi"))});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_EQ(runCliCaptured({"contact"}).status, 2);
    EXPECT_EQ(runCliCaptured({"contact", pass, "--grid", dir.filePath(QStringLiteral("none.ipt"))}).status, 2);
}
