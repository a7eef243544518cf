#include "common/text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tarvex {
namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

TEST(DecodeText, LatinOneLetterAtTheVeryEndIsKept)
{
    // "José" written by an 8-bit program, without a line end.
    EXPECT_EQ(decodeText(QByteArray("Jos\xE9")), QString::fromUtf8("Jos\xC3\xA9"));
    EXPECT_EQ(decodeText(QByteArray("Jos\xE9\r\n")), QString::fromUtf8("Jos\xC3\xA9\r\n"));
}

TEST(DecodeText, ValidUtf8IsReadAsUtf8AndItsByteOrderMarkDropped)
{
    EXPECT_EQ(decodeText(QByteArray("Jos\xC3\xA9")), QString::fromUtf8("Jos\xC3\xA9"));
    EXPECT_EQ(decodeText(QByteArray("\xEF\xBB\xBFJos\xC3\xA9")), QString::fromUtf8("Jos\xC3\xA9"));
    // One invalid sequence anywhere makes the whole file Latin-1.
    EXPECT_EQ(decodeText(QByteArray("\xC3\xA9 and \xE9")), QString::fromUtf8("\xC3\x83\xC2\xA9 and \xC3\xA9"));
    EXPECT_EQ(decodeText(QByteArray()), QString());
}

TEST(AppendDurably, CreatesTheFileAndAppendsAfterWhatIsThere)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("log.txt");
    EXPECT_FALSE(appendDurably(path, "one\r\n"));
    EXPECT_FALSE(appendDurably(path, "two\r\n"));
    EXPECT_EQ(contents(path), QByteArray("one\r\ntwo\r\n"));
}

TEST(AppendDurably, ALineTornByAnEarlierCrashDoesNotSwallowTheNextRecord)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("results.txt");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("whole\r\ntorn li");
    }
    EXPECT_FALSE(appendDurably(path, "next\r\n"));
    EXPECT_EQ(contents(path), QByteArray("whole\r\ntorn li\r\nnext\r\n"));
}

TEST(AppendDurably, AFolderThatDoesNotExistOrAPipeGivesTheReason)
{
    QTemporaryDir tmp;
    const auto failed = appendDurably(tmp.filePath("missing/log.txt"), "x\r\n");
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->isEmpty());
    // Opening a pipe for writing would wait for a reader for ever.
    const QString pipe = tmp.filePath("log.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(appendDurably(pipe, "x\r\n"), QString("it is not a regular file"));
}

} // namespace
} // namespace tarvex

namespace tarvex {
namespace {

TEST(StaleTemporaries, OnlyOldLeftoversOfOurReplacesAreRemoved)
{
    QTemporaryDir tmp;
    const QDateTime start = QDateTime::currentDateTime().addSecs(60);   // all files below are "older"
    for (const char* name : {"txresult.dst.Ab12Cd", "north.ipt.x9Y8z7", "txresult.dst", "notes.txt.Ab12Cd",
                             "txresult.dst.toolong1", "north.ipt"}) {
        QFile f(tmp.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(removeStaleTemporaries(tmp.path(), {"txresult.dst"}, {".ipt"}, start), 2);
    QStringList left = QDir(tmp.path()).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, (QStringList{"north.ipt", "notes.txt.Ab12Cd", "txresult.dst", "txresult.dst.toolong1"}));
    // A replace of this run (newer than its start) is left alone.
    QFile f(tmp.filePath("txresult.dst.Zz9Zz9"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(removeStaleTemporaries(tmp.path(), {"txresult.dst"}, {}, QDateTime::currentDateTime().addSecs(-60)), 0);
}

} // namespace
} // namespace tarvex

namespace tarvex {
namespace {

TEST(ReplaceDurably, ReplacesTheWholeFileAndLeavesNoTemporaryBehind)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("txresult.dst");
    EXPECT_FALSE(replaceDurably(path, "first jump\r\n"));
    EXPECT_FALSE(replaceDurably(path, "2\r\n"));
    EXPECT_EQ(contents(path), QByteArray("2\r\n"));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"txresult.dst"});
    EXPECT_TRUE(syncFolder(tmp.path()));
}

TEST(ReplaceDurably, AFailedReplaceKeepsTheOldFileAndSaysWhy)
{
    QTemporaryDir tmp;
    const auto missing = replaceDurably(tmp.filePath("gone/north.ipt"), "x");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->isEmpty());
    // A folder where the file should be: nothing can be renamed over it.
    ASSERT_TRUE(QDir(tmp.path()).mkdir("north.ipt"));
    EXPECT_TRUE(replaceDurably(tmp.filePath("north.ipt"), "x"));
    EXPECT_TRUE(QFileInfo(tmp.filePath("north.ipt")).isDir());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    EXPECT_FALSE(syncFolder(tmp.filePath("gone")));
}

} // namespace
} // namespace tarvex
