// tarvex-cli as started: --version, avi-info and frame run here, linked without the capture
// devices, the grid's OpenCV and the libraries they pull in (loading those cost every command
// more CPU than most commands take); any other command runs in tarvex-cli-full, which this
// process becomes, so its output and exit status are that program's own.
#include "cli/cli.h"
#include "cli/cli_video.h"
#include "tarvex_version.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

QString fullProgram(const QString& dir)
{
    for (const QString& candidate : {dir + QStringLiteral("/tarvex-cli-full"),
                                     dir + QStringLiteral("/../libexec/tarvex/tarvex-cli-full")})
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString command = args.value(0);
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        out << "tarvex-cli " << TARVEX_VERSION_TEXT << "\n";
        return tarvex::kCliOk;
    }
    if (!command.isEmpty()) {
        if (const auto status = tarvex::runVideoCli(command, args.mid(1), out, err)) {
            out.flush();
            err.flush();
            return *status;
        }
    }
    const QByteArray program = QFile::encodeName(fullProgram(QCoreApplication::applicationDirPath()));
    if (!program.isEmpty()) {
        argv[0] = const_cast<char*>(program.constData());
        execv(program.constData(), argv);
    }
    err << "tarvex-cli: cannot start tarvex-cli-full: " << (program.isEmpty() ? "not found" : std::strerror(errno))
        << "\n";
    return tarvex::kCliUsage;
}
