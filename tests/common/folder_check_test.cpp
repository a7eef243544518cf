#include "common/folder_check.h"
#include "testkit/scripted_prompter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

// Root writes into a chmod-ed folder all the same; /proc takes no new file from anybody.
const QString kNoNewFiles = QStringLiteral("/proc");

struct FolderCheck : ::testing::Test {
    QTemporaryDir tmp;
    QString path(const QString& name) const { return tmp.filePath(name); }
    QString regularFile()
    {
        QFile f(path("notes.txt"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return f.fileName();
    }
};

} // namespace

TEST_F(FolderCheck, SaysWhyAFolderCannotTakeAFileAndLeavesNoProbeBehind)
{
    EXPECT_FALSE(folderTrouble(tmp.path()).has_value());
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    const auto missing = folderTrouble(path("gone"));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->fault, FolderFault::Missing);
    EXPECT_EQ(missing->reason, "it does not exist");
    EXPECT_EQ(folderTrouble("  ")->reason, "no folder is named");

    const auto file = folderTrouble(regularFile());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->fault, FolderFault::NotAFolder);
    EXPECT_EQ(file->reason, "it is a file, not a folder");

#ifdef Q_OS_LINUX
    const auto locked = folderTrouble(kNoNewFiles);
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->fault, FolderFault::NotWritable);
    EXPECT_TRUE(locked->reason.startsWith("no file can be created in it (")) << locked->reason.toStdString();
#endif
}

TEST_F(FolderCheck, ANewFileIsTriedAndRemoved)
{
    EXPECT_FALSE(newFileTrouble(path("Annjump1.avi")).has_value());
    EXPECT_FALSE(QFile::exists(path("Annjump1.avi")));
    EXPECT_EQ(newFileTrouble(path("gone/Annjump1.avi")),
              "its folder " + QDir::toNativeSeparators(path("gone")) + " does not exist");
#ifdef Q_OS_LINUX
    EXPECT_TRUE(newFileTrouble(kNoNewFiles + "/Annjump1.avi").has_value());
#endif
}

TEST_F(FolderCheck, AMissingFolderIsOfferedAndCreatedOnYes)
{
    ScriptedPrompter p;
    p.no().yes();
    const QString folder = path("lake/videos");
    EXPECT_EQ(acceptWritableFolder(p, folder, "The video folder", "Setup"), FolderAnswer::NotCreated);
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(acceptWritableFolder(p, folder, "The video folder", "Setup"), FolderAnswer::Usable);
    EXPECT_TRUE(QFileInfo(folder).isDir());

    const QString question = "The video folder " + QDir::toNativeSeparators(folder) + " does not exist. Create it?";
    ASSERT_EQ(p.shown().size(), 2);
    for (const auto& s : p.shown()) {
        EXPECT_EQ(s.kind, "yesno");
        EXPECT_EQ(s.text, question);
        EXPECT_EQ(s.title, "Setup");
    }
    EXPECT_EQ(p.unexpected(), 0);
}

TEST_F(FolderCheck, AFolderThatCannotBeMadeOrWrittenIsRefusedInOneMessage)
{
    ScriptedPrompter p;
    p.yes();
    const QString underFile = regularFile() + "/videos";
    EXPECT_EQ(acceptWritableFolder(p, underFile, "The video folder", "Setup"), FolderAnswer::Refused);
    EXPECT_EQ(p.messages(),
              QStringList{"The video folder " + QDir::toNativeSeparators(underFile) + " cannot be created."});

    p.clear();
    EXPECT_EQ(acceptWritableFolder(p, path("notes.txt"), "The TXIO directory", "Setup"), FolderAnswer::Refused);
    EXPECT_EQ(p.messages(), QStringList{"The TXIO directory " + QDir::toNativeSeparators(path("notes.txt"))
                                        + " cannot be used: it is a file, not a folder."});
#ifdef Q_OS_LINUX
    p.clear();
    EXPECT_EQ(acceptWritableFolder(p, kNoNewFiles, "The video folder", "Setup"), FolderAnswer::Refused);
    ASSERT_EQ(p.messages().size(), 1);
    EXPECT_TRUE(p.messages()[0].startsWith("The video folder /proc cannot be used: no file can be created in it ("));
#endif
    EXPECT_EQ(p.unexpected(), 0);
}
