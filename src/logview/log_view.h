#pragma once
// The log viewer: the contact-frame lines of the measurement log (or every line but the
// session lines of a log chosen by the operator); View reopens the named video on the review
// screen. Made for one opening and deleted when closed.
#include "logview/log_lines.h"
#include <QWidget>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tarvex {

class Station;

class LogView : public QWidget {
    Q_OBJECT
public:
    // A window of its own, owned by `owner` (the screen it was opened from), not modal.
    LogView(Station& station, QWidget* owner);

    QListWidget* list() const { return lstLog; }

    void lstLog_Click(QListWidgetItem* item);
    void lstLog_DblClick(QListWidgetItem* item);
    void cmdView_Click();
    void cmdSelectLogFile_Click();
    void cmdDismiss_Click();

private:
    void readLog(const QString& path, LogFilter filter);

    Station& station_;
    QLineEdit* txtLogFile = nullptr;
    QListWidget* lstLog = nullptr;
    QLineEdit* txtFileToView = nullptr;
};

// The filter of the dialog that chooses another log.
QString logFileDialogFilter();

} // namespace tarvex
