#include "review/review_rules.h"
#include "capture/camera_set.h"
#include "testkit/scripted_prompter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

void touch(const QString& path, const QByteArray& bytes = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(StandardName, SkierAndPassComeFromTheStationsOwnNames)
{
    struct Case {
        const char* path;
        bool standard;
        const char* skier;
        const char* jump;
    };
    const Case cases[] = {
        {"C:\\caps\\Annjump12.avi", true, "Ann", "12"},
        {"C:\\caps\\Annjump1234.avi", false, "", ""},
        {"/srv/caps/Ann Leejump2.avi", true, "Ann Lee", "2"},
        {"C:\\caps\\Bobjump123.avi", true, "Bob", "123"},
        {"C:\\jumps\\Annjump3.avi", true, "Ann", "3"},   // "jump" of the folder is too far back
        {"Annjump1.avi", true, "Ann", "1"},              // no folder at all
        {"C:\\caps\\Annjump12.AVI", false, "", ""},      // the test is case-sensitive
        {"C:\\caps\\AnnJump12.avi", false, "", ""},
        {"jump1.avi", false, "", ""},                    // ".avi" before position 8
        {"C:\\caps\\jump\\x.avi", false, "", ""},        // "jump" only in the folder
        {"C:\\caps\\run12.avi", false, "", ""},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        const StandardName n = parseStandardName(QString::fromLatin1(c.path));
        EXPECT_EQ(n.standard, c.standard) << c.path;
        EXPECT_EQ(n.skier, QString::fromLatin1(c.skier)) << c.path;
        EXPECT_EQ(n.jump, QString::fromLatin1(c.jump)) << c.path;
    }
}

TEST(VideoSideFile, HoldsThePathAndTheFrameOnOneLine)
{
    QTemporaryDir tmp;
    const QString video = tmp.filePath("Annjump1.avi");
    EXPECT_EQ(videoSideFilePath("C:\\caps\\Annjump1.avi"), "C:\\caps\\Annjump1.avi.info");
    EXPECT_FALSE(readVideoSideFile(video));

    EXPECT_FALSE(writeVideoSideFile(video, 57));
    EXPECT_EQ(readAll(video + ".info"), (video + ",57\r\n").toUtf8());
    EXPECT_EQ(readVideoSideFile(video), 57);
    EXPECT_FALSE(writeVideoSideFile(video, 8));   // rewritten, not appended
    EXPECT_EQ(readAll(video + ".info"), (video + ",8\r\n").toUtf8());

    // A comma in the folder name does not move the frame.
    touch(tmp.filePath("a,b.avi.info"), "C:\\x,y\\a,b.avi,42\r\n");
    EXPECT_EQ(readVideoSideFile(tmp.filePath("a,b.avi")), 42);
    touch(tmp.filePath("bad.avi.info"), "C:\\caps\\bad.avi\r\n");
    EXPECT_FALSE(readVideoSideFile(tmp.filePath("bad.avi")));
    // A folder where the side file should be cannot be written and says so.
    QDir(tmp.path()).mkdir("dir.avi.info");
    EXPECT_TRUE(writeVideoSideFile(tmp.filePath("dir.avi"), 3));
}

TEST(VideoSideFile, AnotherCamerasMeasuredFrameCountsForTheTakeInItsOwnFrames)
{
    QTemporaryDir tmp;
    const QString first = tmp.filePath("Annjump1.avi"), second = tmp.filePath("Annjump1-cam2.avi");
    touch(first);
    touch(second);
    touch(tmp.filePath("Annjump10.avi"));
    FrameTimes a, b;
    for (int n = 0; n < 60; ++n) {
        a.micros << n * 40000;
        b.micros << n * 40000 + 50000;   // the second camera's frame 30 is the first's 31
    }
    QString error;
    ASSERT_TRUE(a.write(first + ".times", error));
    ASSERT_TRUE(b.write(second + ".times", error));
    EXPECT_FALSE(writeVideoSideFile(second, 30));

    EXPECT_EQ(readTakeSideFile(first), 31);
    EXPECT_EQ(readTakeSideFile(second), 30);
    EXPECT_FALSE(readTakeSideFile(tmp.filePath("Annjump10.avi")));
    EXPECT_FALSE(writeVideoSideFile(first, 7));   // its own side file comes first
    EXPECT_EQ(readTakeSideFile(first), 7);
}

TEST(ContactFrameLogLine, SixFieldsInPrintZonesEndingWithThePath)
{
    const QDateTime now(QDate(2026, 12, 6), QTime(14, 3, 22));
    EXPECT_EQ(contactFrameLogLine(now, "Ann", "12", 57, "C:\\caps\\Annjump12.avi"),
              "12-06-2026    14:03:22      Skier: Ann    Jump: 12      Contact Frame: 57           "
              "File: C:\\caps\\Annjump12.avi");
    // A long skier name pushes the next field to the zone after it.
    EXPECT_EQ(contactFrameLogLine(now, "Annabelle Lee", "3", 0, "/c/Annabelle Leejump3.avi"),
              "12-06-2026    14:03:22      Skier: Annabelle Lee        Jump: 3       Contact Frame: 0            "
              "File: /c/Annabelle Leejump3.avi");
}

TEST(DiskSpace, WholeMillionsOfBytesAndTheWarningBelow200)
{
    EXPECT_EQ(diskSpaceText(150000000), "150 MB");
    EXPECT_TRUE(diskSpaceLow(150000000));
    EXPECT_EQ(diskSpaceText(250000000), "250 MB");
    EXPECT_FALSE(diskSpaceLow(250000000));
    EXPECT_EQ(diskSpaceText(199999999), "199 MB");
    EXPECT_TRUE(diskSpaceLow(199999999));
    EXPECT_FALSE(diskSpaceLow(200000000));
    EXPECT_EQ(diskSpaceText(0), "0 MB");
    EXPECT_TRUE(diskSpaceLow(0));
    EXPECT_EQ(diskSpaceText(5000000000000), "5000000 MB");

    EXPECT_EQ(windowsDriveOf("D:\\caps"), "D:");
    EXPECT_EQ(windowsDriveOf("e:"), "e:");
    EXPECT_EQ(windowsDriveOf("\\\\server\\caps"), "C:");
    EXPECT_EQ(windowsDriveOf("/srv/caps"), "C:");
    EXPECT_EQ(windowsDriveOf(""), "C:");
}

struct FixedNameTest : ::testing::Test {
    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    QString caps() const { return tmp.path(); }
    QString file(const char* name) const { return tmp.filePath(QString::fromLatin1(name)); }
};

TEST_F(FixedNameTest, TheOperatorsNameMakesTheFirstJumpOfThatSkier)
{
    touch(file("AnnXjump1.avi"));
    prompter.answer("Bob");
    const auto fixed = askFixedSkierName(prompter, caps() + "/", "AnnX", file("AnnXjump1.avi"));
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->name, "Bob");
    EXPECT_EQ(fixed->path, file("Bobjump1.avi"));   // the trailing separator is not doubled
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].kind, "input");
    EXPECT_EQ(prompter.shown()[0].title, "Fix the skier's name");
    EXPECT_EQ(prompter.shown()[0].text,
              "The skier's name was changed to prevent overwriting an existing file. You can change the skier's "
              "name here if you want. Just modify it in the input box to what it should be. ");
}

TEST_F(FixedNameTest, AnEmptyAnswerAndATakenNameAreAskedAgain)
{
    touch(file("AnnXjump1.avi"));
    touch(file("Bobjump1.avi"));
    prompter.answer("").answer("Bob").answer("").answer("Bobby");
    const auto fixed = askFixedSkierName(prompter, caps(), "AnnX", file("AnnXjump1.avi"));
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->name, "Bobby");
    EXPECT_EQ(fixed->path, file("Bobbyjump1.avi"));
    EXPECT_EQ(prompter.texts(),
              (QStringList{prompter.shown()[0].text, "You must input a name. Please try again ",
                           "I am sorry, there is an existing file using that name and jump.  Please try again ",
                           "You must input a name. Please try again "}));
    EXPECT_EQ(prompter.unexpected(), 0);
}

TEST_F(FixedNameTest, KeepingTheChangedNameAsksNothingMore)
{
    touch(file("AnnXjump1.avi"));
    prompter.answer("AnnX");
    const auto fixed = askFixedSkierName(prompter, caps(), "AnnX", file("AnnXjump1.avi"));
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->path, file("AnnXjump1.avi"));
    EXPECT_EQ(prompter.shown().size(), 1);
}

TEST_F(FixedNameTest, CancelOrTwoEmptyAnswersKeepTheCapture)
{
    prompter.cancel();
    EXPECT_FALSE(askFixedSkierName(prompter, caps(), "AnnX", file("AnnXjump1.avi")));
    prompter.answer("").answer("");
    EXPECT_FALSE(askFixedSkierName(prompter, caps(), "AnnX", file("AnnXjump1.avi")));
    touch(file("Bobjump1.avi"));
    prompter.answer("Bob").cancel();
    EXPECT_FALSE(askFixedSkierName(prompter, caps(), "AnnX", file("AnnXjump1.avi")));
    EXPECT_EQ(prompter.unexpected(), 0);
}

struct DisposalTest : FixedNameTest {
    QString video;
    void SetUp() override
    {
        video = file("Annjump1.avi");
        touch(video);
        touch(video + ".info", "v,3\r\n");
    }
    bool videoThere() const { return QFile::exists(video); }
    bool sideThere() const { return QFile::exists(video + ".info"); }
};

TEST_F(DisposalTest, AskAndNoDeleteTheVideoAndItsSideFileEvenWhenReadOnly)
{
    QFile::setPermissions(video, QFileDevice::ReadOwner);
    prompter.no();
    const VideoDisposal d = disposeCapturedVideo(prompter, "Ask", video);
    EXPECT_TRUE(d.deleted);
    EXPECT_TRUE(d.error.isEmpty());
    EXPECT_FALSE(videoThere());
    EXPECT_FALSE(sideThere());
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].kind, "yesno");
    EXPECT_EQ(prompter.shown()[0].text, "Do you want to save this video capture?");
}

TEST_F(DisposalTest, AskAndYesOrSaveOrNoSettingKeepIt)
{
    prompter.yes();
    EXPECT_FALSE(disposeCapturedVideo(prompter, "Ask", video).deleted);
    EXPECT_FALSE(disposeCapturedVideo(prompter, "Save", video).deleted);
    EXPECT_FALSE(disposeCapturedVideo(prompter, "", video).deleted);
    EXPECT_TRUE(videoThere());
    EXPECT_TRUE(sideThere());
    EXPECT_EQ(prompter.shown().size(), 1);   // only "Ask" asks
}

TEST_F(DisposalTest, NoSaveDeletesWithoutAsking)
{
    EXPECT_TRUE(disposeCapturedVideo(prompter, "NoSave", video).deleted);
    EXPECT_FALSE(videoThere());
    EXPECT_FALSE(sideThere());
    EXPECT_TRUE(prompter.shown().isEmpty());
}

// A take of two cameras beside takes whose names share its beginning.
struct TakeFilesTest : FixedNameTest {
    const QStringList take{"Annjump1.avi", "Annjump1.avi.times", "Annjump1.avi.info", "Annjump1-cam2.avi",
                           "Annjump1-cam2.avi.times", "Annjump1-cam3.avi.times"};
    const QStringList others{"Annjump10.avi", "Annjump10-cam2.avi.times", "Bobjump1-cam2.avi", "Annjump1-cam2.bak"};
    void SetUp() override
    {
        for (const QString& f : take + others)
            touch(tmp.filePath(f));
    }
    QStringList there() const { return QDir(tmp.path()).entryList(QDir::Files, QDir::Name); }
};

TEST_F(TakeFilesTest, DisposalTakesEveryCameraAndTimesFileOfTheTakeAndNothingElse)
{
    const VideoDisposal d = disposeCapturedVideo(prompter, "NoSave", file("Annjump1.avi"));
    EXPECT_TRUE(d.deleted);
    EXPECT_EQ(there(), (QStringList{"Annjump1-cam2.bak", "Annjump10-cam2.avi.times", "Annjump10.avi", "Bobjump1-cam2.avi"}));

    // Named by a companion's file, the take still goes whole.
    for (const QString& f : take)
        touch(tmp.filePath(f));
    EXPECT_TRUE(removeTake(file("Annjump1-cam2.avi")).deleted);
    EXPECT_EQ(there().size(), 4);
}

TEST_F(TakeFilesTest, ARenameMovesTheWholeTakeOrNothing)
{
    EXPECT_EQ(renameTake(file("Annjump1.avi"), file("Cyjump1.avi")), std::nullopt);
    EXPECT_EQ(there(), (QStringList{"Annjump1-cam2.bak", "Annjump10-cam2.avi.times", "Annjump10.avi", "Bobjump1-cam2.avi",
                                    "Cyjump1-cam2.avi", "Cyjump1-cam2.avi.times", "Cyjump1-cam3.avi.times", "Cyjump1.avi",
                                    "Cyjump1.avi.info", "Cyjump1.avi.times"}));

    // Bob already has a second camera's file from an older take: it is never overwritten.
    const QStringList before = there();
    const auto failed = renameTake(file("Cyjump1.avi"), file("Bobjump1.avi"));
    ASSERT_TRUE(failed);
    EXPECT_TRUE(failed->startsWith("The video " + QDir::toNativeSeparators(file("Cyjump1-cam2.avi"))
                                   + " cannot be renamed to " + QDir::toNativeSeparators(file("Bobjump1-cam2.avi")) + ": "))
        << failed->toStdString();
    EXPECT_EQ(there(), before);
}

TEST(FirstReviewSize, FitsTheScreenAboveTheMinimum)
{
    EXPECT_EQ(firstReviewSize({1920, 1040}, {850, 560}), QSize(1280, 800));
    // A 1366 x 768 laptop with a 40-line panel, and one with the panel at the side.
    EXPECT_EQ(firstReviewSize({1366, 728}, {850, 560}), QSize(1280, 688));
    EXPECT_EQ(firstReviewSize({1300, 768}, {850, 560}), QSize(1280, 728));
    EXPECT_EQ(firstReviewSize({800, 600}, {850, 560}), QSize(850, 560));
    EXPECT_EQ(firstReviewSize({}, {850, 560}), QSize(1280, 800));
}
