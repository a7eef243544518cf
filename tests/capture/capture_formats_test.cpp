#include "capture/capture_formats.h"
#include <gtest/gtest.h>

using namespace tarvex;

TEST(AudioFormatList, HasTheSixteenFixedEntriesInOrder)
{
    const QStringList& names = standardAudioFormatNames();
    ASSERT_EQ(names.size(), 16);
    EXPECT_EQ(names[0], "11.025 Khz, 8 Bit, Mono");
    EXPECT_EQ(names[3], "11.025 Khz, 16 Bit, Stereo");
    EXPECT_EQ(names[5], "22.050 Khz, 8 Bit, Stereo");
    EXPECT_EQ(names[10], "32.000 Khz, 16 Bit, Mono");
    EXPECT_EQ(names[15], "44.100 Khz, 16 Bit, Stereo");
}

TEST(AudioFormatList, EveryFixedEntryStandsForTheFormatOfItsIndexBits)
{
    const int rates[] = {11025, 22050, 32000, 44100};
    for (int i = 0; i < 16; ++i) {
        const AudioFormat f = audioFormatOfEntry(standardAudioFormatNames()[i]);
        EXPECT_EQ(f, (AudioFormat{rates[i / 4], (i & 1) ? 2 : 1, (i & 2) ? 16 : 8})) << i;
    }
}

TEST(AudioFormatList, AnEntryAppendedForADeviceKeepsItsFormat)
{
    EXPECT_EQ(audioFormatOfEntry("48.000 Khz, 16 bit, Stereo"), (AudioFormat{48000, 2, 16}));
    EXPECT_EQ(audioFormatOfEntry("8.000 Khz, 8 bit, Mono"), (AudioFormat{8000, 1, 8}));
}

TEST(AudioFormatText, NamesTheDeviceFormatWithThreeDecimals)
{
    EXPECT_EQ(audioFormatText({48000, 2, 16}), "48.000 Khz, 16 bit, Stereo");
    EXPECT_EQ(audioFormatText({11025, 1, 8}), "11.025 Khz, 8 bit, Mono");
    EXPECT_EQ(audioFormatText({22050, 2, 8}), "22.050 Khz, 8 bit, Stereo");
}

TEST(FrameRateCaption, HighestClassReachedWins)
{
    EXPECT_EQ(frameRateClassCaption(30), "Currently Configured for R");
    EXPECT_EQ(frameRateClassCaption(25), "Currently Configured for R");
    EXPECT_EQ(frameRateClassCaption(24.9), "Currently Configured for L");
    EXPECT_EQ(frameRateClassCaption(15), "Currently Configured for L");
    EXPECT_EQ(frameRateClassCaption(12), "Currently Configured for Normal/C");
    EXPECT_EQ(frameRateClassCaption(5), "Currently Configured for Normal/C");
    EXPECT_FALSE(frameRateClassCaption(4.99).has_value());
    EXPECT_FALSE(frameRateClassCaption(0).has_value());
}

TEST(WholeNumberOfText, TakesTheLeadingNumberWithHalvesToEven)
{
    EXPECT_EQ(wholeNumberOf("30"), 30);
    EXPECT_EQ(wholeNumberOf(" 29.5 fps"), 30);
    EXPECT_EQ(wholeNumberOf("28.5"), 28);
    EXPECT_EQ(wholeNumberOf("abc"), 0);
    EXPECT_EQ(wholeNumberOf(""), 0);
    EXPECT_EQ(wholeNumberOf("1e20"), INT_MAX);
}
