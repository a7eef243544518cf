#include "app/screen_registry.h"
#include "station/station.h"
#include "tarvex_version.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

namespace {

// One line for every option; the environment and the files follow, as an installed
// station's operator needs them to find where things went.
const char kHelp[] =
    "Usage: tarvex [--rehearsal] [Qt options]\n"
    "The measurement station for water-ski jump tournaments.\n"
    "\n"
    "Options:\n"
    "  --rehearsal         list \"Tarvex Rehearsal Camera\" beside the real cameras (training, trying out)\n"
    "  -h, --help          print this help and exit\n"
    "  -v, --version       print the version and exit\n"
    "  -platform NAME      Qt's window platform, e.g. offscreen or xcb (Qt's other options work too)\n"
    "\n"
    "Environment:\n"
    "  TARVEX_HOME         the program folder (default ~/.local/share/Tarvex)\n"
    "  TARVEX_TXIO         the WSTIMS exchange folder, fixed for the run (default /txio)\n"
    "  TARVEX_REHEARSAL=1  the same as --rehearsal\n"
    "\n"
    "Files:\n"
    "  ~/.config/Tarvex/TX05.ini   the settings\n"
    "  TX05Manual.rtf in the program folder replaces the built-in manual\n"
    "  the video folder chosen at start-up holds the videos, the measurement log and the results\n";

bool is(const char* arg, const char* a, const char* b) { return std::strcmp(arg, a) == 0 || std::strcmp(arg, b) == 0; }

} // namespace

int main(int argc, char** argv)
{
    // Answered before Qt starts, so that they work without a display (a terminal, a package check).
    for (int i = 1; i < argc; ++i) {
        if (is(argv[i], "--help", "-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (is(argv[i], "--version", "-v")) {
            std::printf("tarvex %s\n", TARVEX_VERSION_TEXT);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvex"));
    QApplication::setApplicationVersion(QStringLiteral(TARVEX_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Tarvex"));
    // Ties the windows to tarvex.desktop (its icon and name in the task bar on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("tarvex"));
    // Screens are hidden, not closed, when left; the program ends only through the main screen.
    QApplication::setQuitOnLastWindowClosed(false);

    // Qt has taken its own options out; anything left but --rehearsal is a mistake, and a
    // station that silently ignored it would leave the operator guessing.
    const QStringList args = QApplication::arguments().mid(1);
    for (const QString& arg : args) {
        if (arg != QLatin1String("--rehearsal")) {
            std::fprintf(stderr, "tarvex: unknown option '%s' (tarvex --help lists the options)\n",
                         qPrintable(arg));
            return 2;
        }
    }

    tarvex::StationOptions options;
    // A training or test station: the rehearsal camera is listed beside the real ones.
    options.rehearsal = args.contains(QStringLiteral("--rehearsal"));
    options.screens = tarvex::builtInScreens();
    tarvex::Station station{tarvex::withRealSeams(options)};
    QIcon icon;
    for (const int size : {48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tarvex-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    QObject::connect(&station, &tarvex::Station::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
    station.start();
    if (station.hasQuit())
        return 0;
    return app.exec();
}
