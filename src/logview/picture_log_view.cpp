#include "logview/picture_log_view.h"
#include "station/station.h"

#include <QPushButton>

namespace tarvex {

PictureLogView::PictureLogView(Station& station, QWidget* owner, ViewPicture view)
    : LogListWindow(station, owner,
                    {"PictureLogView", QStringLiteral("Contact Picture Log"), QStringLiteral("Log File"),
                     "txtPicLogToView", QStringLiteral("Click to select a picture, double click to view it"), nullptr,
                     "lstPicLog", "txtPictureToView", 2}),
      view_(std::move(view))
{
    auto* viewButton = new QPushButton(QStringLiteral("View Picture"), this);
    viewButton->setObjectName(QStringLiteral("cmdViewPicLog"));
    viewButton->setDefault(true);
    auto* select = new QPushButton(QStringLiteral("Select a Log File"), this);
    select->setObjectName(QStringLiteral("cmdSelPicLog"));
    addButton(viewButton, 0);
    addButton(select, 1);
    connect(viewButton, &QPushButton::clicked, this, &PictureLogView::viewSelectedFile);
    connect(select, &QPushButton::clicked, this, &PictureLogView::chooseOtherLog);

    const AppSettings& s = station_.settings();
    readLog(s.CapturesPath + QLatin1Char('/') + s.MeasurementLogName, LogFilter::PictureLines);
}

void PictureLogView::viewSelectedFile()
{
    const QString picture = selectedFile();
    close();
    if (view_)
        view_(picture);
}

void PictureLogView::chooseOtherLog() { chooseLog(QStringLiteral("Select a Log File"), LogFilter::PictureLines); }

} // namespace tarvex
