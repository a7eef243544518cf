// tarvex-cli-video: avi-info and frame, as tarvex-cli starts them, linked with the media
// library and FFmpeg only: not the capture devices, the grid's OpenCV, Qt's pictures or the
// libraries they pull in. Another command (only when started by hand) goes on to
// tarvex-cli-full.
#include "cli/cli.h"
#include "cli/cli_video.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!args.isEmpty()) {
        if (const auto status = tarvex::runVideoCli(args[0], args.mid(1), out, err)) {
            out.flush();
            err.flush();
            return *status;
        }
    }
    const QString full = QCoreApplication::applicationDirPath() + QStringLiteral("/tarvex-cli-full");
    if (QFileInfo(full).isExecutable()) {
        const QByteArray program = QFile::encodeName(full);
        argv[0] = const_cast<char*>(program.constData());
        execv(program.constData(), argv);
    }
    err << "tarvex-cli: cannot start tarvex-cli-full: " << std::strerror(errno) << "\n";
    return tarvex::kCliUsage;
}
