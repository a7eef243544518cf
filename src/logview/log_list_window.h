#pragma once
// What both log viewers share: a log file box, the list of its chosen lines, the file named
// by the line in hand, and a button row. A click puts the line's file in the box; a double
// click views it. Made for one opening and deleted when closed.
#include "logview/log_lines.h"

#include <QWidget>

class QGridLayout;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace tarvex {

class Station;

class LogListWindow : public QWidget {
    Q_OBJECT
public:
    QListWidget* list() const { return list_; }

    // The line's file into the file box.
    void selectLine(QListWidgetItem* item);
    void viewLine(QListWidgetItem* item);
    // What the viewer's View button does with the file in the box.
    virtual void viewSelectedFile() = 0;

protected:
    // The objectNames and captions of one viewer's controls.
    struct Look {
        const char* windowName;
        QString title;
        QString logCaption;
        const char* logBoxName;
        QString hint;
        const char* hintName;   // null: the hint has no name of its own
        const char* listName;
        const char* fileBoxName;
        int columns;            // the button row's width
    };
    // A window of its own, owned by `owner` (the screen it was opened from), not modal.
    LogListWindow(Station& station, QWidget* owner, const Look& look);

    // The button row, under the file box.
    void addButton(QWidget* button, int column);
    void readLog(const QString& path, LogFilter filter);
    // Another log chosen by the operator (Cancel: none, an empty list) read with `filter`.
    void chooseLog(const QString& dialogTitle, LogFilter filter);
    QString selectedFile() const;

    Station& station_;

private:
    QGridLayout* grid_ = nullptr;
    QLineEdit* logBox_ = nullptr;
    QListWidget* list_ = nullptr;
    QLineEdit* fileBox_ = nullptr;
};

// The filter of the dialog that chooses another log.
QString logFileDialogFilter();

} // namespace tarvex
