#pragma once
// The log viewer: the contact-frame lines of the measurement log (or every line but the
// session lines of a log chosen by the operator); View reopens the named video on the review
// screen. Made for one opening and deleted when closed.
#include "logview/log_list_window.h"

namespace tarvex {

class LogView : public LogListWindow {
    Q_OBJECT
public:
    // A window of its own, owned by `owner` (the screen it was opened from), not modal.
    LogView(Station& station, QWidget* owner);

    void viewSelectedFile() override;
    void chooseOtherLog();
};

} // namespace tarvex
