// What the package and the desktop rely on: both programs answer --help and --version
// without a display, the version header tells a checkout from a tarball, and the menu
// entry names a program and icons that exist.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Ran {
    int status = -1;
    QString out;
    QString err;
};

Ran runProgram(const QString& program, const QStringList& args, const QString& dir = {},
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// No display and no platform named: what a terminal on a server or a package check has.
QProcessEnvironment headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

QString readText(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST(StationProgram, HelpAndVersionNeedNoDisplay)
{
    const Ran help = runProgram(QStringLiteral(TARVEX_STATION_EXE), {"--help"}, {}, headless());
    ASSERT_EQ(help.status, 0) << help.err.toStdString();
    const QStringList lines = help.out.split('\n');
    EXPECT_EQ(lines.first(), "Usage: tarvex [--rehearsal] [Qt options]");
    for (const char* option : {"  --rehearsal ", "  -h, --help ", "  -v, --version ", "  -platform NAME ",
                               "  TARVEX_HOME ", "  TARVEX_TXIO ", "  TARVEX_REHEARSAL=1 "})
        EXPECT_EQ(lines.filter(QRegularExpression("^" + QRegularExpression::escape(option))).size(), 1) << option;
    EXPECT_EQ(runProgram(QStringLiteral(TARVEX_STATION_EXE), {"-h"}, {}, headless()).out, help.out);

    // Both programs come from one build and say the same version.
    const Ran station = runProgram(QStringLiteral(TARVEX_STATION_EXE), {"--version"}, {}, headless());
    const Ran cli = runProgram(QStringLiteral(TARVEX_CLI_EXE), {"--version"}, {}, headless());
    EXPECT_EQ(station.status, 0);
    EXPECT_EQ(cli.status, 0);
    EXPECT_TRUE(station.out.startsWith("tarvex 0.1")) << station.out.toStdString();
    EXPECT_EQ(station.out.mid(QStringLiteral("tarvex").size()), cli.out.mid(QStringLiteral("tarvex-cli").size()));
}

TEST(StationProgram, RefusesAnUnknownOptionInsteadOfIgnoringIt)
{
    QProcessEnvironment env = headless();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const Ran r = runProgram(QStringLiteral(TARVEX_STATION_EXE), {"--rehersal"}, {}, env);
    EXPECT_EQ(r.status, 2);
    // (Qt may add its own warnings on the lines before.)
    EXPECT_TRUE(r.err.endsWith("tarvex: unknown option '--rehersal' (tarvex --help lists the options)\n"))
        << r.err.toStdString();
    // Qt's own options are Qt's: only what is left after them counts.
    const Ran qt = runProgram(QStringLiteral(TARVEX_STATION_EXE), {"-platform", "offscreen", "--bogus"}, {}, headless());
    EXPECT_EQ(qt.status, 2);
    EXPECT_TRUE(qt.err.endsWith("tarvex: unknown option '--bogus' (tarvex --help lists the options)\n"))
        << qt.err.toStdString();
}

// The version script as a build runs it: a checkout gives its commit, a tarball nothing,
// and a tarball unpacked inside somebody else's checkout must not take that one's commit.
TEST(VersionHeader, CommitOnlyFromTheProjectsOwnCheckout)
{
    QTemporaryDir tmp;
    const QString git = QStringLiteral(TARVEX_GIT_EXECUTABLE);
    if (git.isEmpty())
        GTEST_SKIP() << "no git on this machine";
    const auto generate = [&](const QString& source) {
        const QString out = tmp.filePath("tarvex_version.h");
        QFile::remove(out);
        const Ran r = runProgram(QStringLiteral(TARVEX_CMAKE_COMMAND),
                                 {"-DSOURCE_DIR=" + source, "-DOUT=" + out, "-DTARVEX_VERSION=2.5",
                                  "-DGIT_EXECUTABLE=" + git, "-P", QStringLiteral(TARVEX_SOURCE_DIR "/cmake/version.cmake")});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return readText(out);
    };
    QDir(tmp.path()).mkpath("outer/tarvex-2.5");
    const QString outer = tmp.filePath("outer");
    EXPECT_TRUE(generate(outer + "/tarvex-2.5").contains("#define TARVEX_VERSION_TEXT \"2.5\"\n"));

    const QStringList id{"-c", "user.name=Station", "-c", "user.email=station@localhost"};
    ASSERT_EQ(runProgram(git, {"init", "-q"}, outer).status, 0);
    QFile f(outer + "/grid.ipt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1\n");
    f.close();
    ASSERT_EQ(runProgram(git, id + QStringList{"add", "grid.ipt"}, outer).status, 0);
    ASSERT_EQ(runProgram(git, id + QStringList{"commit", "-q", "-m", "one"}, outer).status, 0);
    EXPECT_TRUE(generate(outer + "/tarvex-2.5").contains("#define TARVEX_COMMIT \"\"\n"));

    const QString commit = runProgram(git, {"rev-parse", "--short", "HEAD"}, outer).out.trimmed();
    ASSERT_FALSE(commit.isEmpty());
    const QString own = generate(outer);
    EXPECT_TRUE(own.contains("#define TARVEX_COMMIT \"" + commit + "\"\n")) << own.toStdString();
    EXPECT_TRUE(own.contains("#define TARVEX_VERSION_TEXT \"2.5 (" + commit + ")\"\n"));
    f.open(QIODevice::Append);
    f.write("2\n");
    f.close();
    EXPECT_TRUE(generate(outer).contains("#define TARVEX_COMMIT \"" + commit + "-dirty\"\n"));
}

// The menu entry starts the installed program and every icon it names is there in the size
// its folder promises (a wrong size makes the desktop scale a blurred one).
TEST(DesktopEntry, NamesTheProgramAndIconsOfEverySize)
{
    QSettings entry(QStringLiteral(TARVEX_SOURCE_DIR "/packaging/tarvex.desktop"), QSettings::IniFormat);
    entry.beginGroup("Desktop Entry");
    EXPECT_EQ(entry.value("Exec").toString(), "tarvex");
    EXPECT_EQ(entry.value("Icon").toString(), "tarvex");
    EXPECT_EQ(entry.value("Type").toString(), "Application");
    entry.endGroup();
    EXPECT_EQ(entry.value("Desktop Action Rehearsal/Exec").toString(), "tarvex --rehearsal");
    for (const int size : {48, 64, 128, 256}) {
        const QImage icon(QStringLiteral(TARVEX_SOURCE_DIR "/packaging/icons/tarvex-%1.png").arg(size));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        EXPECT_TRUE(icon.hasAlphaChannel()) << size;
    }
    EXPECT_TRUE(readText(QStringLiteral(TARVEX_SOURCE_DIR "/packaging/icons/tarvex.svg")).contains("<svg"));
}

} // namespace
