#include "capture/capture_rules.h"

#include <QSet>
#include <Qt>
#include <gtest/gtest.h>

using namespace tarvex;

TEST(CaptureRules, FileNameKeepsTheNameAsTypedAndTrimsThePass)
{
    EXPECT_EQ(captureFileName("/caps", "Ann Lee", " 2 "), "/caps/Ann Leejump2.avi");
    EXPECT_EQ(captureFileName("/caps/", "Ann", "1"), "/caps/Annjump1.avi");
    EXPECT_EQ(captureFileName("/caps", " Ann ", "1"), "/caps/ Ann jump1.avi");
}

TEST(CaptureRules, PassAndNameMovePastExistingFiles)
{
    const QSet<QString> files{"/c/Annjump1.avi", "/c/Annjump2.avi", "/c/Annjump3.avi", "/c/AnnXjump1.avi"};
    const FileExists exists = [&](const QString& p) { return files.contains(p); };

    const FreePass fromOne = nextFreePass("/c", "Ann", "1", exists);
    EXPECT_EQ(fromOne.pass, "4");
    EXPECT_EQ(fromOne.fileName, "/c/Annjump4.avi");
    EXPECT_TRUE(fromOne.changed);
    EXPECT_FALSE(nextFreePass("/c", "Bob", "1", exists).changed);

    const FreeName twice = nextFreeSkierName("/c", "Ann", "3", exists);
    EXPECT_EQ(twice.skier, "AnnXX");
    EXPECT_EQ(twice.pass, "1");
    EXPECT_EQ(twice.fileName, "/c/AnnXXjump1.avi");
    const FreeName free = nextFreeSkierName("/c", "Ann", "5", exists);
    EXPECT_EQ(free.skier, "Ann");
    EXPECT_EQ(free.pass, "5");
    EXPECT_FALSE(free.changed);

    EXPECT_EQ(nextPassNumber("3"), "4");
    EXPECT_EQ(nextPassNumber(" 9"), "10");
    EXPECT_EQ(nextPassNumber("x"), "1");
}

TEST(CaptureRules, HalfRecordingHintRoundsHalvesToEven)
{
    EXPECT_EQ(halfRecordingFrameHint(30, 5), 75);
    EXPECT_EQ(halfRecordingFrameHint(25, 5), 62);
    EXPECT_EQ(halfRecordingFrameHint(27, 5), 68);
    EXPECT_EQ(halfRecordingFrameHint(0, 5), 0);
    EXPECT_EQ(halfRecordingFrameHint(1e9, 6), 32767);
    EXPECT_EQ(frameCount16(40000), 32767);
    EXPECT_EQ(frameCount16(-3), 0);
}

TEST(CaptureRules, ListLineTurnsEveryCommaAround)
{
    EXPECT_EQ(skierNameFromListLine("Lee,Ann"), "Ann Lee");
    EXPECT_EQ(skierNameFromListLine("Lee,Ann,USA"), "USA Lee Ann");
    EXPECT_EQ(skierNameFromListLine("Ann Lee"), "Ann Lee");
}

TEST(CaptureRules, KeyCodesAreTheStationKeyboardCodes)
{
    EXPECT_EQ(keyCodeOf(Qt::Key_Escape), 27);
    EXPECT_EQ(keyCodeOf(Qt::Key_A), 65);
    EXPECT_EQ(keyCodeOf(Qt::Key_5), 53);
    EXPECT_EQ(keyCodeOf(Qt::Key_Return), 13);
    EXPECT_EQ(keyCodeOf(Qt::Key_Left), 37);
    EXPECT_EQ(keyCodeOf(Qt::Key_F1), 112);
    EXPECT_EQ(keyCodeOf(Qt::Key_VolumeUp), 0);
}

TEST(CaptureRules, CharactersNoFileNameMayHoldAreFoundOnceAndDropped)
{
    EXPECT_EQ(forbiddenFileNameCharacters("Ann/B"), "/");
    EXPECT_EQ(forbiddenFileNameCharacters("Zo:e"), ":");
    EXPECT_EQ(forbiddenFileNameCharacters("a\\b*c?d\"e<f>g|h/i:j"), "\\*?\"<>|/:");
    EXPECT_EQ(forbiddenFileNameCharacters("A/n/n\t"), "/\t");
    EXPECT_EQ(forbiddenFileNameCharacters("Ann-Marie O'Neil, Jr."), "");
    EXPECT_EQ(withoutForbiddenFileNameCharacters("Ann/B"), "AnnB");
    EXPECT_EQ(withoutForbiddenFileNameCharacters("Z\x01o:e\x7f"), "Zoe");

    EXPECT_EQ(forbiddenCharactersMessage("/"),
              "Sorry, a skier name cannot hold \"/\": the name becomes part of the video's file name.");
    EXPECT_EQ(forbiddenCharactersMessage(":*\t"),
              "Sorry, a skier name cannot hold \":\", \"*\" and the control character 0x09: the name becomes part of the video's file name.");
}
