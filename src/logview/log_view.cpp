#include "logview/log_view.h"
#include "station/screen_names.h"
#include "station/station.h"

#include <QPushButton>

namespace tarvex {

LogView::LogView(Station& station, QWidget* owner)
    : LogListWindow(station, owner,
                    {"LogView", QStringLiteral("Log Viewer"), QStringLiteral("Log File to View"), "txtLogFile",
                     QStringLiteral("Click to Select and use View Selected File button to View or Double Click to view"),
                     "Label2", "lstLog", "txtFileToView", 3})
{
    auto* view = new QPushButton(QStringLiteral("View Selected File"), this);
    view->setObjectName(QStringLiteral("cmdView"));
    view->setDefault(true);
    auto* select = new QPushButton(QStringLiteral("Select Different Log File"), this);
    select->setObjectName(QStringLiteral("cmdSelectLogFile"));
    auto* dismiss = new QPushButton(QStringLiteral("Exit Log Viewer"), this);
    dismiss->setObjectName(QStringLiteral("cmdDismiss"));
    addButton(view, 0);
    addButton(select, 1);
    addButton(dismiss, 2);
    connect(view, &QPushButton::clicked, this, &LogView::viewSelectedFile);
    connect(select, &QPushButton::clicked, this, &LogView::chooseOtherLog);
    connect(dismiss, &QPushButton::clicked, this, &QWidget::close);

    const AppSettings& s = station_.settings();
    readLog(s.CapturesPath + QLatin1Char('/') + s.MeasurementLogName, LogFilter::VideoLines);
}

void LogView::viewSelectedFile()
{
    const QString file = selectedFile();
    if (file.isEmpty())
        return;
    if (ReviewSession* review = station_.reviewSession(true))
        review->openLogged(file);
    else
        noteLoggedVideo(station_.settings(), file);
    close();
    station_.show(screen::frmSetStart, station_.existingScreen(screen::MainForm));
}

void LogView::chooseOtherLog() { chooseLog(QStringLiteral("Select Different Log File"), LogFilter::AllButSessions); }

} // namespace tarvex
