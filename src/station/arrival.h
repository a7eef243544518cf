#pragma once
// Where a screen was reached from. Screens decide by this value; the text of each arrival
// (AppSettings::NavigationTag) is shared state that older code and the tests still read, so
// it is written beside it, here and nowhere else.
#include <QString>

namespace tarvex {

enum class Arrival {
    None,             // the hub was shown, or an arrival was used up
    FromMainScreen,   // capture or review opened from the main screen
    FromReview,       // the review screen was left for the next pass
    Recorded,         // the capture screen hands a new recording to the review screen
    CaptureSkipped,   // the capture screen went to the review screen without recording
    LoggedVideo,      // a video of the measurement log is reopened for review
    FrameChosen,      // the review screen fixed a contact frame for measuring
    PictureMenu,      // the measuring screen loaded a picture by its menu
    PictureLog,       // the measuring screen shows a picture of the picture log
    FromMeasure,      // the measuring screen was left for the capture screen
};

// The NavigationTag text of an arrival; empty for None.
QString navigationTagOf(Arrival arrival);

} // namespace tarvex
