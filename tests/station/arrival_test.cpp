#include "station/app_settings.h"

#include <gtest/gtest.h>

using namespace tarvex;

// Other code and the files of the tests read the tag texts: each arrival keeps its own.
TEST(Arrival, EachArrivalWritesItsOwnTagText)
{
    AppSettings s;
    const std::pair<Arrival, const char*> tags[] = {
        {Arrival::FromMainScreen, "Setup"},      {Arrival::FromReview, "Timer"},
        {Arrival::Recorded, "Capture"},          {Arrival::CaptureSkipped, "CaptureGoToTimer"},
        {Arrival::LoggedVideo, "View"},          {Arrival::FrameChosen, "SelectFrame"},
        {Arrival::PictureMenu, "PictureLoadMenu"}, {Arrival::PictureLog, "PictureLog"},
        {Arrival::FromMeasure, "Measure"},
    };
    for (const auto& [arrival, tag] : tags) {
        s.setArrival(arrival);
        EXPECT_EQ(s.arrival, arrival);
        EXPECT_EQ(s.NavigationTag, QString::fromLatin1(tag));
    }
    s.setArrival(Arrival::None);
    EXPECT_TRUE(s.NavigationTag.isEmpty());
}
