#include "common/folder_check.h"
#include "testkit/scripted_prompter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

// Root writes into a chmod-ed folder all the same; nobody creates a file in /proc.
TEST(FolderCheck, SaysWhyAFolderCannotTakeAFileAndLeavesNoProbeBehind)
{
    QTemporaryDir tmp;
    QFile file(tmp.filePath("notes.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_FALSE(folderTrouble(tmp.path()).has_value());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"notes.txt"});
    EXPECT_EQ(folderTrouble(tmp.filePath("gone"))->reason, "it does not exist");
    EXPECT_EQ(folderTrouble(file.fileName())->reason, "it is a file, not a folder");
    EXPECT_EQ(newFileTrouble(tmp.filePath("gone/Annjump1.avi")),
              "its folder " + QDir::toNativeSeparators(tmp.filePath("gone")) + " does not exist");
    EXPECT_FALSE(newFileTrouble(tmp.filePath("Annjump1.avi")).has_value());
    EXPECT_FALSE(QFile::exists(tmp.filePath("Annjump1.avi")));

    ScriptedPrompter p;
    p.yes();
    EXPECT_EQ(acceptWritableFolder(p, file.fileName() + "/videos", "The video folder", "Setup"), FolderAnswer::Refused);
    EXPECT_EQ(p.messages(), QStringList{"The video folder " + QDir::toNativeSeparators(file.fileName() + "/videos")
                                        + " cannot be created."});
#ifdef Q_OS_LINUX
    EXPECT_EQ(folderTrouble("/proc")->fault, FolderFault::NotWritable);
    EXPECT_TRUE(newFileTrouble("/proc/Annjump1.avi").has_value());
#endif
}
