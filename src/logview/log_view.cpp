#include "logview/log_view.h"
#include "station/screen_names.h"
#include "station/station.h"
#include "widgets/list_box_width.h"

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace tarvex {

QString logFileDialogFilter() { return QStringLiteral("*.txt|JumpMeasurementLog*.txt"); }

LogView::LogView(Station& station, QWidget* owner) : QWidget(owner, Qt::Window), station_(station)
{
    setObjectName(QStringLiteral("LogView"));
    setWindowTitle(QStringLiteral("Log Viewer"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Log File to View"), this), 0, 0, 1, 3);
    txtLogFile = new QLineEdit(this);
    txtLogFile->setObjectName(QStringLiteral("txtLogFile"));
    txtLogFile->setReadOnly(true);
    grid->addWidget(txtLogFile, 1, 0, 1, 3);
    auto* hint = new QLabel(
        QStringLiteral("Click to Select and use View Selected File button to View or Double Click to view"), this);
    hint->setObjectName(QStringLiteral("Label2"));
    grid->addWidget(hint, 2, 0, 1, 3);
    lstLog = new QListWidget(this);
    lstLog->setObjectName(QStringLiteral("lstLog"));
    grid->addWidget(lstLog, 3, 0, 1, 3);
    txtFileToView = new QLineEdit(this);
    txtFileToView->setObjectName(QStringLiteral("txtFileToView"));
    grid->addWidget(txtFileToView, 4, 0, 1, 3);
    auto* view = new QPushButton(QStringLiteral("View Selected File"), this);
    view->setObjectName(QStringLiteral("cmdView"));
    view->setDefault(true);
    auto* select = new QPushButton(QStringLiteral("Select Different Log File"), this);
    select->setObjectName(QStringLiteral("cmdSelectLogFile"));
    auto* dismiss = new QPushButton(QStringLiteral("Exit Log Viewer"), this);
    dismiss->setObjectName(QStringLiteral("cmdDismiss"));
    grid->addWidget(view, 5, 0);
    grid->addWidget(select, 5, 1);
    grid->addWidget(dismiss, 5, 2);

    connect(lstLog, &QListWidget::itemClicked, this, &LogView::lstLog_Click);
    connect(lstLog, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) { lstLog_Click(item); });
    connect(lstLog, &QListWidget::itemDoubleClicked, this, &LogView::lstLog_DblClick);
    connect(view, &QPushButton::clicked, this, &LogView::cmdView_Click);
    connect(select, &QPushButton::clicked, this, &LogView::cmdSelectLogFile_Click);
    connect(dismiss, &QPushButton::clicked, this, &LogView::cmdDismiss_Click);
    resize(760, 420);

    const AppSettings& s = station_.settings();
    readLog(s.CapturesPath + QLatin1Char('/') + s.MeasurementLogName, LogFilter::VideoLines);
}

void LogView::readLog(const QString& path, LogFilter filter)
{
    const LogListing listing = readLogListing(path, filter);
    lstLog->clear();
    txtFileToView->clear();
    if (listing.exists) {
        txtLogFile->setText(path);
        if (!listing.error.isEmpty())
            station_.prompter().message(QStringLiteral("The log %1 cannot be read: %2")
                                            .arg(QDir::toNativeSeparators(path), listing.error),
                                        windowTitle(), Icon::Exclamation);
        lstLog->addItems(listing.lines);
    }
    FitListBoxWidth(lstLog);
}

void LogView::lstLog_Click(QListWidgetItem* item)
{
    if (item)
        txtFileToView->setText(fileNameOfLogLine(item->text()));
}

void LogView::lstLog_DblClick(QListWidgetItem* item)
{
    lstLog_Click(item);
    cmdView_Click();
}

void LogView::cmdView_Click()
{
    const QString file = txtFileToView->text();
    if (file.isEmpty())
        return;
    if (ReviewSession* review = station_.reviewSession(true))
        review->openLogged(file);
    else
        noteLoggedVideo(station_.settings(), file);
    close();
    station_.show(screen::frmSetStart, station_.existingScreen(screen::MainForm));
}

void LogView::cmdSelectLogFile_Click()
{
    FileRequest r;
    r.initialFolder = station_.settings().CapturesPath;
    r.filter = logFileDialogFilter();
    r.title = QStringLiteral("Select Different Log File");
    const QString chosen = station_.prompter().openFile(r).value_or(QString());
    txtLogFile->setText(chosen);
    readLog(chosen, LogFilter::AllButSessions);
}

void LogView::cmdDismiss_Click() { close(); }

} // namespace tarvex
