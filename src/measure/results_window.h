#pragma once
#include "station/station.h"

class QTextEdit;

namespace tarvex {

// The results window: the whole results file as plain text, re-read on every opening.
// Nothing typed into it is ever saved back.
class ResultsWindow : public Screen {
    Q_OBJECT
public:
    explicit ResultsWindow(Station& station);

    // The Measure screen's "&Results" menu: fills the window from the results file and shows
    // it (not modal). A missing or unreadable file gives a message and an empty window.
    // A plain show() of the hidden window fills it the same way.
    void open();
    void closeWindow();

    QTextEdit* outputBox() const { return outputBox_; }

protected:
    // The window frame's close does what "E&xit" does; it does not lead back to the hub.
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void fill();

    QTextEdit* outputBox_ = nullptr;
};

} // namespace tarvex
