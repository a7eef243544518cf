#pragma once
// The contact picture log: the picture lines of the measurement log; View Picture shows the
// named picture on the measuring screen. Made for one opening and deleted when closed.
#include "logview/log_list_window.h"

#include <functional>

namespace tarvex {

class PictureLogView : public LogListWindow {
    Q_OBJECT
public:
    // `view` shows the picture (an empty path: none) on the measuring screen and brings that
    // screen up; the measuring screen is another room's, so its opener says how.
    using ViewPicture = std::function<void(const QString& path)>;
    PictureLogView(Station& station, QWidget* owner, ViewPicture view);

    void viewSelectedFile() override;
    void chooseOtherLog();

private:
    ViewPicture view_;
};

} // namespace tarvex
