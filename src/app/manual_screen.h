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
    void cmdDone_Click();

private:
    QTextBrowser* RichTextBox1 = nullptr;
};

} // namespace tarvex
