#include "common/colours.h"
#include "common/twips.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(Colours, SettingsHoldBlueGreenRed)
{
    EXPECT_EQ(colourFromBgr(255), QColor(255, 0, 0));
    EXPECT_EQ(colourFromBgr(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(colourFromBgr(65535), QColor(255, 255, 0));
}

TEST(Colours, OverlayIsWhiteUntilAColourIsChosen)
{
    EXPECT_EQ(overlayColour(QString(), 0), QColor(Qt::white));
    EXPECT_EQ(overlayColour("default", 0), QColor(Qt::white));
    EXPECT_EQ(overlayColour("black", 0), QColor(Qt::black));
    EXPECT_EQ(overlayColour("yellow", 65535), QColor(255, 255, 0));
}

struct TwipsCase {
    int pixels;
    const char* text;
};

class PictureTwips : public ::testing::TestWithParam<TwipsCase> {};

TEST_P(PictureTwips, FollowsTheHiMetricRule)
{
    EXPECT_EQ(pictureTwipsText(GetParam().pixels), GetParam().text) << GetParam().pixels << " pixels";
}

INSTANTIATE_TEST_SUITE_P(Widths, PictureTwips,
                         ::testing::Values(TwipsCase{1280, "19170"}, TwipsCase{64, "958.301886792453"},
                                           TwipsCase{0, "0"}));

TEST(Twips, FifteenToAPixel)
{
    EXPECT_EQ(pixelsFromTwips(6120), 408);
}

} // namespace
} // namespace tarvex
