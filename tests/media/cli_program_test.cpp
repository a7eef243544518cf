// tarvex-cli as a program: --version loads neither Qt nor FFmpeg, the video commands start
// without the capture devices', the grid's and Qt's picture libraries, and every other command
// still answers as before through the full one.
#include "media/clip_writer.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int status = -1;
    QString out, err;
};

ProgramRun run(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
               const QString& program = QStringLiteral(TARVEX_CLI_EXE))
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

TEST(CliProgram, LoadsNoCaptureOrGridLibrariesAndHandsOtherCommandsOn)
{
    // The dynamic loader lists what a program would load, without running it.
    QProcessEnvironment trace = QProcessEnvironment::systemEnvironment();
    trace.insert(QStringLiteral("LD_TRACE_LOADED_OBJECTS"), QStringLiteral("1"));
    const ProgramRun libs = run({QStringLiteral("--version")}, trace);
    EXPECT_TRUE(libs.out.contains(QStringLiteral("libc.so"))) << libs.out.toStdString();
    for (const char* absent : {"libavformat", "libavcodec", "libQt6Core", "libQt6Gui", "libopencv"})
        EXPECT_FALSE(libs.out.contains(QLatin1String(absent))) << absent;
    const QString video = QFileInfo(QStringLiteral(TARVEX_CLI_EXE)).path() + QStringLiteral("/tarvex-cli-video");
    const ProgramRun videoLibs = run({QStringLiteral("frame")}, trace, video);
    EXPECT_TRUE(videoLibs.out.contains(QStringLiteral("libavformat"))) << videoLibs.out.toStdString();
    for (const char* absent : {"libavdevice", "libopencv", "libavfilter", "libpulse", "libv4l2", "libQt6Gui"})
        EXPECT_FALSE(videoLibs.out.contains(QLatin1String(absent))) << absent;

    const ProgramRun version = run({QStringLiteral("-v")});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("tarvex-cli 0.1"))) << version.out.toStdString();

    const ProgramRun unknown = run({QStringLiteral("bogus")});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "tarvex-cli: unknown command 'bogus' (tarvex-cli --help shows the usage)\n");
    const ProgramRun none = run({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "tarvex-cli: no command given (tarvex-cli --help shows the usage)\n");
    const ProgramRun help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: tarvex-cli COMMAND"))) << help.out.toStdString();
}

TEST(CliProgram, VideoCommandsAnswerThroughTheLauncher)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("c.avi"));
    ASSERT_TRUE(tarvex::testclips::writeClip(clip, tarvex::testclips::Codec::Mjpeg, 6));
    const QString bmp = dir.filePath(QStringLiteral("f.bmp"));
    const ProgramRun frame = run({QStringLiteral("frame"), clip, QStringLiteral("4"), QStringLiteral("--out"), bmp});
    EXPECT_EQ(frame.status, 0) << frame.err.toStdString();
    EXPECT_EQ(QFileInfo(bmp).size(), 54 + 64 * 3 * 48);
    const ProgramRun outside = run({QStringLiteral("frame"), clip, QStringLiteral("6"), QStringLiteral("--out"), bmp});
    EXPECT_EQ(outside.status, 1);
    EXPECT_EQ(outside.err, "frame 6 is outside the clip of 6 frames\n");
    const ProgramRun info = run({QStringLiteral("avi-info"), clip});
    EXPECT_EQ(info.status, 0) << info.err.toStdString();
    EXPECT_FALSE(info.out.isEmpty());
    const ProgramRun missing = run({QStringLiteral("avi-info")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("tarvex-cli: avi-info takes one file"))) << missing.err.toStdString();
}

} // namespace
