// tarvex-cli as a program: the video commands start without the capture devices' and the
// grid's libraries, and every other command still answers as before through the full one.
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int status = -1;
    QString out, err;
};

ProgramRun run(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARVEX_CLI_EXE), args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

TEST(CliProgram, LoadsNoCaptureOrGridLibrariesAndHandsOtherCommandsOn)
{
    // The dynamic loader lists what the program would load, without running it.
    QProcessEnvironment trace = QProcessEnvironment::systemEnvironment();
    trace.insert(QStringLiteral("LD_TRACE_LOADED_OBJECTS"), QStringLiteral("1"));
    const ProgramRun libs = run({QStringLiteral("--version")}, trace);
    EXPECT_TRUE(libs.out.contains(QStringLiteral("libavformat"))) << libs.out.toStdString();
    for (const char* absent : {"libavdevice", "libopencv", "libavfilter", "libpulse", "libv4l2"})
        EXPECT_FALSE(libs.out.contains(QLatin1String(absent))) << absent;

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

} // namespace
