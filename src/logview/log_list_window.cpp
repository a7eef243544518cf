#include "logview/log_list_window.h"
#include "station/station.h"
#include "widgets/list_box_width.h"

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace tarvex {

QString logFileDialogFilter() { return QStringLiteral("*.txt|JumpMeasurementLog*.txt"); }

LogListWindow::LogListWindow(Station& station, QWidget* owner, const Look& look)
    : QWidget(owner, Qt::Window), station_(station)
{
    setObjectName(QString::fromLatin1(look.windowName));
    setWindowTitle(look.title);
    setAttribute(Qt::WA_DeleteOnClose);

    grid_ = new QGridLayout(this);
    grid_->addWidget(new QLabel(look.logCaption, this), 0, 0, 1, look.columns);
    logBox_ = new QLineEdit(this);
    logBox_->setObjectName(QString::fromLatin1(look.logBoxName));
    logBox_->setReadOnly(true);
    grid_->addWidget(logBox_, 1, 0, 1, look.columns);
    auto* hint = new QLabel(look.hint, this);
    if (look.hintName)
        hint->setObjectName(QString::fromLatin1(look.hintName));
    grid_->addWidget(hint, 2, 0, 1, look.columns);
    list_ = new QListWidget(this);
    list_->setObjectName(QString::fromLatin1(look.listName));
    grid_->addWidget(list_, 3, 0, 1, look.columns);
    fileBox_ = new QLineEdit(this);
    fileBox_->setObjectName(QString::fromLatin1(look.fileBoxName));
    grid_->addWidget(fileBox_, 4, 0, 1, look.columns);

    connect(list_, &QListWidget::itemClicked, this, &LogListWindow::selectLine);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) { selectLine(item); });
    connect(list_, &QListWidget::itemDoubleClicked, this, &LogListWindow::viewLine);
    resize(760, 420);
}

void LogListWindow::addButton(QWidget* button, int column) { grid_->addWidget(button, 5, column); }

QString LogListWindow::selectedFile() const { return fileBox_->text(); }

void LogListWindow::readLog(const QString& path, LogFilter filter)
{
    const LogListing listing = readLogListing(path, filter);
    list_->clear();
    fileBox_->clear();
    if (listing.exists) {
        logBox_->setText(path);
        if (!listing.error.isEmpty())
            station_.prompter().message(QStringLiteral("The log %1 cannot be read: %2")
                                            .arg(QDir::toNativeSeparators(path), listing.error),
                                        windowTitle(), Icon::Exclamation);
        list_->addItems(listing.lines);
    }
    FitListBoxWidth(list_);
}

void LogListWindow::chooseLog(const QString& dialogTitle, LogFilter filter)
{
    FileRequest r;
    r.initialFolder = station_.settings().CapturesPath;
    r.filter = logFileDialogFilter();
    r.title = dialogTitle;
    const QString chosen = station_.prompter().openFile(r).value_or(QString());
    logBox_->setText(chosen);
    readLog(chosen, filter);
}

void LogListWindow::selectLine(QListWidgetItem* item)
{
    if (item)
        fileBox_->setText(fileNameOfLogLine(item->text()));
}

void LogListWindow::viewLine(QListWidgetItem* item)
{
    selectLine(item);
    viewSelectedFile();
}

} // namespace tarvex
