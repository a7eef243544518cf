#include "logview/log_lines.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

const char* kLog =
    "12-06-2026    14:03:22      Tarvex Measurement Session started  \r\n"
    "12-06-2026,14:05:10,Skier: Ann,Jump: 1,Frame: 75,File: /v/Annjump1.avi\r\n"
    "12-06-2026,14:09:41,Skier: Ann,Jump: 2,Frame: 80,File: /v/Annjump2.avi\r\n"
    "12-06-2026,14:11:02,Skier: Ann,Jump: 1,Distance:  45.2m,File: /p/12614110.bmp\r\n";

} // namespace

TEST(LogLines, EachFilterListsItsLines)
{
    const QStringList videos = filterLogLines(kLog, LogFilter::VideoLines);
    ASSERT_EQ(videos.size(), 2);
    EXPECT_EQ(videos[0], "12-06-2026,14:05:10,Skier: Ann,Jump: 1,Frame: 75,File: /v/Annjump1.avi");
    EXPECT_EQ(filterLogLines(kLog, LogFilter::PictureLines),
              QStringList({"12-06-2026,14:11:02,Skier: Ann,Jump: 1,Distance:  45.2m,File: /p/12614110.bmp"}));
    const QStringList others = filterLogLines(kLog, LogFilter::AllButSessions);
    ASSERT_EQ(others.size(), 3);
    EXPECT_TRUE(others[2].endsWith("bmp"));
    // LF-only and unterminated last lines count the same.
    EXPECT_EQ(filterLogLines("a File: x.avi\nb File: y.avi", LogFilter::VideoLines).size(), 2);
}

TEST(LogLines, FileNameIsTheRestAfterTheMarker)
{
    EXPECT_EQ(fileNameOfLogLine("x File: C:\\p\\12914035.bmp"), "C:\\p\\12914035.bmp");
    EXPECT_EQ(fileNameOfLogLine("12-06-2026,Skier: Ann,File: /v/Ann jump1.avi"), "/v/Ann jump1.avi");
    EXPECT_EQ(fileNameOfLogLine("12-06-2026 Tarvex Measurement Session started"), "");
}

TEST(LogLines, ListingTellsAMissingLogFromAnEmptyOne)
{
    QTemporaryDir dir;
    EXPECT_FALSE(readLogListing(dir.filePath("none.txt"), LogFilter::VideoLines).exists);
    EXPECT_FALSE(readLogListing(dir.path(), LogFilter::VideoLines).exists);   // a folder
    EXPECT_FALSE(readLogListing("", LogFilter::VideoLines).exists);

    QFile f(dir.filePath("log.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kLog);
    f.close();
    const LogListing l = readLogListing(dir.filePath("log.txt"), LogFilter::PictureLines);
    EXPECT_TRUE(l.exists);
    EXPECT_EQ(l.lines.size(), 1);
    EXPECT_TRUE(l.error.isEmpty());
}
