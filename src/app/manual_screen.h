#pragma once
#include "station/station.h"

class QTextBrowser;

namespace tarvex {

// The operator's manual, loaded once from "TX05Manual.rtf" (the program folder's copy wins
// over the one built into the station).
class ManualScreen : public Screen {
    Q_OBJECT
public:
    explicit ManualScreen(Station& station);
    void load() override;
    void returnToMain();
    QTextBrowser* viewer() const { return viewer_; }
    // Where the manual was read from (":/TX05Manual.rtf" for the built-in copy), or empty.
    QString loadedFrom() const { return loadedFrom_; }

private:
    QTextBrowser* viewer_ = nullptr;
    QString loadedFrom_;
};

} // namespace tarvex
