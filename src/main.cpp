#include "station/station.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvex"));
    QApplication::setOrganizationName(QStringLiteral("Tarvex"));
    // Screens are hidden, not closed, when left; the program ends only through the main screen.
    QApplication::setQuitOnLastWindowClosed(false);

    tarvex::StationOptions options;
    // A training or test station: the rehearsal camera is listed beside the real ones.
    options.rehearsal = QApplication::arguments().contains(QStringLiteral("--rehearsal"));
    tarvex::Station station{options};
    QObject::connect(&station, &tarvex::Station::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
    station.start();
    if (station.hasQuit())
        return 0;
    return app.exec();
}
