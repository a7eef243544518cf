#include "media/file_helpers.h"
#include "testkit/scripted_prompter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

TEST(FileDialogs, OpenInTheFolderOfThePathAndCancelGivesThePathBack)
{
    ScriptedPrompter p;
    p.cancel();
    EXPECT_EQ(SaveFileDialog(p, "C:\\caps\\run.jpg", FileDialogType::Picture), "C:\\caps\\run.jpg");
    ASSERT_EQ(p.shown().size(), 1);
    const FileRequest& r = p.shown()[0].request;
    EXPECT_EQ(p.shown()[0].kind, "save");
    EXPECT_EQ(r.initialFolder, "C:\\caps");
    EXPECT_EQ(r.initialName, "run.jpg");
    EXPECT_EQ(r.filter, "All Supported Types|*.bmp;*.jpg;*.pic|BMP Files|*.bmp|JPEG Files|*.jpg|ePIC Files|*.pic|");
    EXPECT_EQ(r.filterIndex, 1);

    p.cancel();
    EXPECT_EQ(OpenFileDialog(p, "", FileDialogType::AviVideo), "");
    EXPECT_EQ(p.shown()[1].request.initialFolder, "");
    EXPECT_EQ(p.shown()[1].request.initialName, "");
    EXPECT_EQ(p.shown()[1].request.filter, "AVI File|*.avi|");

    p.file("/videos/ann");
    EXPECT_EQ(SaveFileDialog(p, "/videos/x.avi", FileDialogType::AviVideo), "/videos/ann.avi");   // default extension
    p.file("/videos/ann.avi");
    EXPECT_EQ(OpenFileDialog(p, "/videos/x.avi", FileDialogType::AviVideo), "/videos/ann.avi");
    EXPECT_EQ(p.unexpected(), 0);
}

TEST(FileTests, FilesFoldersAndDrives)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("grid.ipt");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    EXPECT_TRUE(FileIsPresent(file));
    EXPECT_FALSE(FileIsPresent(dir.path()));
    EXPECT_FALSE(FileIsPresent(dir.filePath("missing.ipt")));
    EXPECT_FALSE(FileIsPresent(""));

    EXPECT_TRUE(PathExists(dir.path(), PathKind::Folder));
    EXPECT_FALSE(PathExists(file, PathKind::Folder));
    EXPECT_TRUE(PathExists(file, PathKind::File));
    EXPECT_FALSE(PathExists(dir.path(), PathKind::File));
    EXPECT_FALSE(PathExists(dir.path(), PathKind::Drive));
    EXPECT_TRUE(PathExists(QDir::rootPath(), PathKind::Drive));
}

TEST(FileTests, OneTrailingSeparatorIsRemoved)
{
    EXPECT_EQ(withoutTrailingSeparator("/jumps/"), "/jumps");
    EXPECT_EQ(withoutTrailingSeparator("C:\\jumps\\\\"), "C:\\jumps\\");
    EXPECT_EQ(withoutTrailingSeparator("/jumps"), "/jumps");
    EXPECT_EQ(withoutTrailingSeparator(""), "");
}
