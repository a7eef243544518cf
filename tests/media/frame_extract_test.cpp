#include "cli/cli.h"
#include "clip_writer.h"
#include "media/frame_extract.h"
#include "media/video_reader.h"
#include "testkit/scripted_prompter.h"
#include "support/cli_run.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace tarvex {
namespace {

using testclips::Codec;
using test::CliRun;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

uint32_t le32At(const QByteArray& a, int at)
{
    return uint8_t(a[at]) | uint8_t(a[at + 1]) << 8 | uint8_t(a[at + 2]) << 16 | uint32_t(uint8_t(a[at + 3])) << 24;
}

class Extract : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testclips::writeClip(mjpeg, Codec::Mjpeg, 20));
        ASSERT_TRUE(testclips::writeClip(h264, Codec::H264, 24));
    }
    QTemporaryDir dir;
    QString mjpeg = dir.filePath("Annjump1.avi");
    QString h264 = dir.filePath("Bobjump2.avi");
    QString bmp = dir.filePath("currentcapture.bmp");
    ScriptedPrompter p;
};

TEST_F(Extract, TheFrameBecomesA24BitBottomUpBitmap)
{
    for (const QString& video : {mjpeg, h264}) {
        ASSERT_EQ(extractFrame(p, video, 7, bmp), ExtractResult::Ok);
        const QByteArray file = readAll(bmp);
        ASSERT_EQ(file.size(), 54 + 192 * 48);
        EXPECT_EQ(file.left(2), "BM");
        EXPECT_EQ(le32At(file, 10), 54u);
        EXPECT_EQ(le32At(file, 14), 40u);
        EXPECT_EQ(le32At(file, 18), 64u);
        EXPECT_EQ(le32At(file, 22), 48u);
        EXPECT_EQ(le32At(file, 28), 24u);   // one plane, 24 bits
        EXPECT_EQ(le32At(file, 34), 192u * 48);
        // Bottom up: the file's first row is the picture's bottom (235 - 5n in luma), its
        // last row the top (16 + 5n).
        const int bottom = uint8_t(file[54 + 10]);
        const int top = uint8_t(file[54 + 192 * 47 + 10]);
        if (video == mjpeg) {
            EXPECT_NEAR(bottom, 200, 2);
            EXPECT_NEAR(top, 51, 2);
        } else {
            EXPECT_NEAR(bottom, 214, 2);   // limited range stretched: (200 - 16) * 255 / 219
            EXPECT_NEAR(top, 41, 2);       // (51 - 16) * 255 / 219
        }
    }
    EXPECT_TRUE(p.shown().isEmpty());
}

TEST_F(Extract, RowsThatAreNoMultipleOfFourBytesArePaddedWithZeros)
{
    const QString narrow = dir.filePath("narrow.avi");
    testclips::ClipOptions o;
    o.width = 62;   // 186 bytes a row, 188 in the file
    o.height = 46;
    ASSERT_TRUE(testclips::writeClip(narrow, Codec::Mjpeg, 12, o));
    ASSERT_EQ(extractFrame(p, narrow, 3, bmp), ExtractResult::Ok);
    const QByteArray file = readAll(bmp);
    ASSERT_EQ(file.size(), 54 + 188 * 46);
    for (int y = 0; y < 46; ++y) {
        const int end = 54 + 188 * y + 186;
        EXPECT_EQ(file[end], '\0') << y;
        EXPECT_EQ(file[end + 1], '\0') << y;
        EXPECT_NEAR(uint8_t(file[end - 1]), y < 23 ? 220 : 31, 3) << y;   // last pixel of the row
    }
}

TEST_F(Extract, TheFrameOnScreenComesFromTheOpenReader)
{
    VideoReader r;
    ASSERT_TRUE(r.open(h264));
    ASSERT_EQ(testclips::frameNumberOf(r.frame(13), Codec::H264), 13);
    ASSERT_EQ(extractFrame(p, r, 13, bmp), ExtractResult::Ok);
    const QByteArray viaReader = readAll(bmp);
    ASSERT_EQ(extractFrame(p, h264, 13, bmp), ExtractResult::Ok);
    EXPECT_EQ(readAll(bmp), viaReader);
}

TEST_F(Extract, FailuresGiveTheReviewScreensMessages)
{
    EXPECT_EQ(extractFrame(p, mjpeg, 20, bmp), ExtractResult::OutsideClip);
    const QString missing = dir.filePath("gone.avi");
    EXPECT_EQ(extractFrame(p, missing, 0, bmp), ExtractResult::FileError);
    EXPECT_EQ(p.messages(),
              (QStringList{"There was an error working with the file:\r\n" + mjpeg
                               + "\r\nFrame 20 is outside the clip (0 to 19).",
                           "There was an error working with the file:\r\n" + missing + "\r\n" + missing
                               + " does not exist"}));
    EXPECT_EQ(p.shown()[0].title, "Tarvex");
    EXPECT_EQ(p.shown()[0].icon, Icon::Information);
    EXPECT_FALSE(QFile::exists(bmp));

    // A stream in a compression nobody decodes.
    QByteArray bytes = readAll(mjpeg);
    const int strf = bytes.indexOf("strf");
    ASSERT_GT(strf, 0);
    bytes.replace(strf + 8 + 16, 4, "ZZZZ");
    bytes.replace(bytes.indexOf("MJPG"), 4, "ZZZZ");
    const QString odd = dir.filePath("odd.avi");
    QFile f(odd);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    p.clear();
    EXPECT_EQ(extractFrame(p, odd, 0, bmp), ExtractResult::NoDecoder);
    EXPECT_EQ(p.messages(), QStringList{"No suitable decompressor found for this video stream!\r\n"
                                        "No decoder for the video stream of " + odd + ": its codec ZZZZ is unknown"});
}

// The FFmpeg command line is how anyone would check a frame by hand; the bitmap must be the
// very same bytes.
TEST_F(Extract, TheBitmapIsByteForByteWhatTheFfmpegCommandLineWrites)
{
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    if (ffmpeg.isEmpty())
        GTEST_SKIP() << "no ffmpeg command line on this machine";
    const QString narrow = dir.filePath("narrow.avi");
    testclips::ClipOptions o;
    o.width = 62;
    o.height = 46;
    ASSERT_TRUE(testclips::writeClip(narrow, Codec::H264, 16, o));
    for (const QString& video : {mjpeg, h264, narrow}) {
        for (int n : {0, 6, 13}) {
            const QString theirs = dir.filePath("ffmpeg.bmp");
            QProcess run;
            run.start(ffmpeg, {"-v", "error", "-y", "-i", video, "-vf", QString("select=eq(n\\,%1)").arg(n),
                               "-frames:v", "1", "-pix_fmt", "bgr24", theirs});
            ASSERT_TRUE(run.waitForFinished(30000));
            ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
            ASSERT_EQ(extractFrame(p, video, n, bmp), ExtractResult::Ok);
            EXPECT_EQ(readAll(bmp), readAll(theirs)) << video.toStdString() << " frame " << n;
        }
    }
}

CliRun cli(const QStringList& args) { return test::runCliCaptured(args); }

TEST_F(Extract, TheCommandLineReportsAndWritesFrames)
{
    const CliRun info = cli({"avi-info", mjpeg});
    EXPECT_EQ(info.status, 0);
    const QStringList lines = info.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 17);
    EXPECT_EQ(lines[0], "Filename: " + mjpeg);
    EXPECT_EQ(lines[1], "File Type: Audio/Visual");
    EXPECT_EQ(lines[4], "Length: 20 frames");
    EXPECT_EQ(lines[5], "Rate: 25fps");
    EXPECT_EQ(lines[7], "Compressed: True");
    EXPECT_EQ(lines[8], "All Key Frames: True");

    const CliRun wrote = cli({"frame", h264, "5", "--out", bmp});
    EXPECT_EQ(wrote.status, 0) << wrote.err.toStdString();
    EXPECT_EQ(readAll(bmp).size(), 54 + 192 * 48);

    const CliRun outside = cli({"frame", h264, "24", "--out", bmp});
    EXPECT_EQ(outside.status, 1);
    EXPECT_EQ(outside.err, "frame 24 is outside the clip of 24 frames\n");
    EXPECT_EQ(cli({"frame", h264, "x", "--out", bmp}).status, 2);
}

// Each failure names its cause after the line the station always gave.
TEST_F(Extract, EveryCommandLineErrorSaysWhy)
{
    const QString gone = dir.filePath("gone.avi");
    const CliRun missing = cli({"frame", gone, "0", "--out", bmp});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "There was an error working with the file:\n" + gone + "\n" + gone + " does not exist\n");
    const CliRun folder = cli({"frame", dir.path(), "0", "--out", bmp});
    EXPECT_EQ(folder.err, "There was an error working with the file:\n" + dir.path() + "\n" + dir.path()
                              + " is not a regular file\n");
    const QString text = dir.filePath("notes.avi");
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("hello, this is no video at all");
    t.close();
    EXPECT_EQ(cli({"frame", text, "0", "--out", bmp}).err,
              "There was an error working with the file:\n" + text + "\n" + text
                  + " is not an AVI file nor any other video file\n");

    const CliRun info = cli({"avi-info", gone});
    EXPECT_EQ(info.status, 2);
    EXPECT_EQ(info.err, "Unable to open file:\n" + gone + "\nIt does not exist.\n");
    EXPECT_EQ(cli({"avi-info", text}).err, "Unable to open file:\n" + text + "\nIt is not an AVI file.\n");
    QFile h(h264);
    ASSERT_TRUE(h.open(QIODevice::ReadOnly));
    const QString cut = dir.filePath("header.avi");
    QFile c(cut);
    ASSERT_TRUE(c.open(QIODevice::WriteOnly));
    c.write(h.read(100));
    c.close();
    EXPECT_EQ(cli({"avi-info", cut}).err,
              "Unable to read AVI file info from:\n" + cut + "\nIts AVI header list is missing or damaged.\n");
}

// A recording cut short ends in a chunk cut in two; its index is lost with it.
TEST_F(Extract, ATruncatedFileGivesDamagedNeverAPicture)
{
    QFile f(mjpeg);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 movi = f.readAll().indexOf("movi");
    ASSERT_TRUE(f.resize(movi + (f.size() - movi) / 2));
    f.close();
    VideoReader r;
    ASSERT_TRUE(r.open(mjpeg));
    const int last = r.frameCount() - 1;
    ASSERT_EQ(last, 10);
    r.close();
    const CliRun cut = cli({"frame", mjpeg, "10", "--out", bmp});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err, "There was an error working with the file:\n" + mjpeg + "\nframe 10 is damaged\n");
    EXPECT_FALSE(QFile::exists(bmp));
    EXPECT_EQ(cli({"frame", mjpeg, "9", "--out", bmp}).status, 0);
}

// An index entry promising more bytes than the file holds.
TEST_F(Extract, ADamagedIndexGivesDamagedNeverAPicture)
{
    QFile f(mjpeg);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const qsizetype idx1 = bytes.lastIndexOf("idx1");
    ASSERT_GT(idx1, 0);
    qToLittleEndian(quint32(0x00ffffff), bytes.data() + idx1 + 8 + 16 * 4 + 12);
    ASSERT_TRUE(f.seek(0));
    f.write(bytes);
    f.close();
    const CliRun damaged = cli({"frame", mjpeg, "4", "--out", bmp});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.err, "There was an error working with the file:\n" + mjpeg + "\nframe 4 is damaged\n");
    EXPECT_FALSE(QFile::exists(bmp));
    EXPECT_EQ(extractFrame(p, mjpeg, 4, bmp), ExtractResult::Damaged);
    EXPECT_EQ(p.messages(), QStringList{"There was an error working with the file:\r\n" + mjpeg + "\r\nframe 4 is damaged"});
}

// "ann:1.avi" is a file, not an address of a protocol named "ann".
TEST_F(Extract, ANameHoldingAColonIsAFile)
{
    const QString colon = dir.filePath("ann:1.avi");
    ASSERT_TRUE(QFile::copy(mjpeg, colon));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const int frame = cli({"frame", "ann:1.avi", "3", "--out", bmp}).status;
    const int info = cli({"avi-info", "ann:1.avi"}).status;
    QDir::setCurrent(before);
    EXPECT_EQ(frame, 0);
    EXPECT_EQ(info, 0);
}

} // namespace
} // namespace tarvex
