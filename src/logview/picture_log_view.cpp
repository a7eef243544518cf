#include "logview/picture_log_view.h"
#include "logview/log_view.h"
#include "station/station.h"
#include "widgets/list_box_width.h"

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace tarvex {

PictureLogView::PictureLogView(Station& station, QWidget* owner, ViewPicture view)
    : QWidget(owner, Qt::Window), station_(station), view_(std::move(view))
{
    setObjectName(QStringLiteral("PictureLogView"));
    setWindowTitle(QStringLiteral("Contact Picture Log"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Log File"), this), 0, 0, 1, 2);
    txtPicLogToView = new QLineEdit(this);
    txtPicLogToView->setObjectName(QStringLiteral("txtPicLogToView"));
    txtPicLogToView->setReadOnly(true);
    grid->addWidget(txtPicLogToView, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Click to select a picture, double click to view it"), this), 2, 0, 1, 2);
    lstPicLog = new QListWidget(this);
    lstPicLog->setObjectName(QStringLiteral("lstPicLog"));
    grid->addWidget(lstPicLog, 3, 0, 1, 2);
    txtPictureToView = new QLineEdit(this);
    txtPictureToView->setObjectName(QStringLiteral("txtPictureToView"));
    grid->addWidget(txtPictureToView, 4, 0, 1, 2);
    auto* view_button = new QPushButton(QStringLiteral("View Picture"), this);
    view_button->setObjectName(QStringLiteral("cmdViewPicLog"));
    view_button->setDefault(true);
    auto* select = new QPushButton(QStringLiteral("Select a Log File"), this);
    select->setObjectName(QStringLiteral("cmdSelPicLog"));
    grid->addWidget(view_button, 5, 0);
    grid->addWidget(select, 5, 1);

    connect(lstPicLog, &QListWidget::itemClicked, this, &PictureLogView::lstPicLog_Click);
    connect(lstPicLog, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem* item) { lstPicLog_Click(item); });
    connect(lstPicLog, &QListWidget::itemDoubleClicked, this, &PictureLogView::lstPicLog_DblClick);
    connect(view_button, &QPushButton::clicked, this, &PictureLogView::cmdViewPicLog_Click);
    connect(select, &QPushButton::clicked, this, &PictureLogView::cmdSelPicLog_Click);
    resize(760, 420);

    const AppSettings& s = station_.settings();
    readLog(s.CapturesPath + QLatin1Char('/') + s.MeasurementLogName);
}

void PictureLogView::readLog(const QString& path)
{
    const LogListing listing = readLogListing(path, LogFilter::PictureLines);
    lstPicLog->clear();
    txtPictureToView->clear();
    if (listing.exists) {
        txtPicLogToView->setText(path);
        if (!listing.error.isEmpty())
            station_.prompter().message(QStringLiteral("The log %1 cannot be read: %2")
                                            .arg(QDir::toNativeSeparators(path), listing.error),
                                        windowTitle(), Icon::Exclamation);
        lstPicLog->addItems(listing.lines);
    }
    FitListBoxWidth(lstPicLog);
}

void PictureLogView::lstPicLog_Click(QListWidgetItem* item)
{
    if (item)
        txtPictureToView->setText(fileNameOfLogLine(item->text()));
}

void PictureLogView::lstPicLog_DblClick(QListWidgetItem* item)
{
    lstPicLog_Click(item);
    cmdViewPicLog_Click();
}

void PictureLogView::cmdViewPicLog_Click()
{
    const QString picture = txtPictureToView->text();
    close();
    if (view_)
        view_(picture);
}

void PictureLogView::cmdSelPicLog_Click()
{
    FileRequest r;
    r.initialFolder = station_.settings().CapturesPath;
    r.filter = logFileDialogFilter();
    r.title = QStringLiteral("Select a Log File");
    const QString chosen = station_.prompter().openFile(r).value_or(QString());
    txtPicLogToView->setText(chosen);
    readLog(chosen);
}

} // namespace tarvex
