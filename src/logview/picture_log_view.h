#pragma once
// The contact picture log: the picture lines of the measurement log; View Picture shows the
// named picture on the measuring screen. Made for one opening and deleted when closed.
#include "logview/log_lines.h"
#include <QWidget>
#include <functional>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace tarvex {

class Station;

class PictureLogView : public QWidget {
    Q_OBJECT
public:
    // `view` shows the picture (an empty path: none) on the measuring screen and brings that
    // screen up; the measuring screen is another room's, so its opener says how.
    using ViewPicture = std::function<void(const QString& path)>;
    PictureLogView(Station& station, QWidget* owner, ViewPicture view);

    QListWidget* list() const { return lstPicLog; }

    void lstPicLog_Click(QListWidgetItem* item);
    void lstPicLog_DblClick(QListWidgetItem* item);
    void cmdViewPicLog_Click();
    void cmdSelPicLog_Click();

private:
    void readLog(const QString& path);

    Station& station_;
    ViewPicture view_;
    QLineEdit* txtPicLogToView = nullptr;
    QListWidget* lstPicLog = nullptr;
    QLineEdit* txtPictureToView = nullptr;
};

} // namespace tarvex
