// What a recording leaves on the disk before it is finished (a crash or a power cut cuts it
// there) and when the disk refuses it.
#include "capture/avi_recorder.h"
#include "media/avi_file.h"
#include "media/video_reader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace tarvex {
namespace {

RecorderSettings mjpeg(const QString& path)
{
    RecorderSettings s;
    s.path = path;
    s.size = QSize(160, 120);
    s.framesPerSecond = 25;
    s.codec = VideoCodec::Mjpeg;
    return s;
}

QImage picture(int shade)
{
    QImage img(160, 120, QImage::Format_RGB32);
    img.fill(QColor(shade, 255 - shade, 80));
    return img;
}

AviHeaders headersOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return readAviHeaders(f);
}

// The file as a kill would leave it now: a copy, taken while the recorder still writes.
QString cutNow(const QString& path, const QString& copy)
{
    QFile::remove(copy);
    EXPECT_TRUE(QFile::copy(path, copy));
    return copy;
}

TEST(AviRecorderDurability, AFileCutWhileRecordingHoldsItsFramesAndSaysItsLength)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("jump.avi");
    QString error;
    auto rec = AviRecorder::create(mjpeg(path), error);
    ASSERT_TRUE(rec) << error.toStdString();
    for (int slot = 0; slot < 10; ++slot)
        ASSERT_TRUE(rec->writeVideo(picture(slot * 20), slot, error));
    QThread::msleep(600);   // longer than the sync interval with room to spare

    const QString cut = cutNow(path, dir.filePath("cut1.avi"));
    AviHeaders h = headersOf(cut);
    ASSERT_EQ(h.status, AviParse::Ok);
    EXPECT_EQ(h.info.dwLength, 10u);
    {
        VideoReader r;
        ASSERT_TRUE(r.open(cut)) << r.error().toStdString();
        EXPECT_EQ(r.frameCount(), 10);
        const QImage last = r.frame(9);
        ASSERT_FALSE(last.isNull());
        EXPECT_NEAR(qRed(last.pixel(80, 60)), 180, 8);
    }

    // Slots 10 and 11 never came: their empty chunks count as frames of the file too.
    ASSERT_TRUE(rec->writeVideo(picture(0), 12, error));
    ASSERT_TRUE(rec->writeVideo(picture(0), 13, error));
    QThread::msleep(600);
    h = headersOf(cutNow(path, dir.filePath("cut2.avi")));
    EXPECT_EQ(h.info.dwLength, 14u);

    ASSERT_TRUE(rec->finish(error)) << error.toStdString();
    EXPECT_TRUE(rec->fileKept());
    h = headersOf(path);
    EXPECT_EQ(h.info.dwLength, 14u);
    EXPECT_TRUE(h.info.dwFlags & kAviFileWasCaptureFile);
    EXPECT_TRUE(h.info.dwFlags & kAviFileHasIndex);
}

TEST(AviRecorderDurability, AFileCutRightAfterTheStartIsAnAviOfNoFrames)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("start.avi");
    QString error;
    auto rec = AviRecorder::create(mjpeg(path), error);
    ASSERT_TRUE(rec);
    // Before any sync: the header has reached the file at once, never a file of 0 bytes.
    const AviHeaders h = headersOf(cutNow(path, dir.filePath("cut.avi")));
    ASSERT_EQ(h.status, AviParse::Ok);
    EXPECT_EQ(h.info.dwLength, 0u);
    EXPECT_EQ(h.info.dwWidth, 160u);
    ASSERT_TRUE(rec->finish(error));
}

TEST(AviRecorderDurability, APathWithAColonIsAFileNotAProtocol)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/:x.avi");
    QString error;
    auto rec = AviRecorder::create(mjpeg(path), error);
    ASSERT_TRUE(rec) << error.toStdString();
    ASSERT_TRUE(rec->writeVideo(picture(10), 0, error));
    ASSERT_TRUE(rec->finish(error));
    EXPECT_EQ(headersOf(path).info.dwLength, 1u);
}

#ifdef Q_OS_UNIX
// Lets this process write files up to `bytes` only, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit l = old_;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};
#endif

TEST(AviRecorderDurability, ARecordingThatCouldNotWriteAFrameLeavesNoFileAndSaysSo)
{
#ifndef Q_OS_UNIX
    GTEST_SKIP() << "needs a file size limit";
#else
    QTemporaryDir dir;
    const QString path = dir.filePath("full.avi");
    QString error;
    auto rec = AviRecorder::create(mjpeg(path), error);
    ASSERT_TRUE(rec);
    {
        const FileSizeLimit full(rlim_t(QFile(path).size()) + 100);
        EXPECT_FALSE(rec->writeVideo(picture(10), 0, error));
        EXPECT_EQ(error, "Writing the video failed: File too large");
        EXPECT_FALSE(rec->finish(error));
    }
    EXPECT_FALSE(rec->fileKept());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(error, "No frame could be written to " + QDir::toNativeSeparators(path)
                         + ", so no file was kept: Writing the video failed: File too large");
#endif
}

TEST(AviRecorderDurability, ADiskThatFillsKeepsTheFramesWrittenBeforeIt)
{
#ifndef Q_OS_UNIX
    GTEST_SKIP() << "needs a file size limit";
#else
    QTemporaryDir dir;
    const QString path = dir.filePath("filled.avi");
    QString error;
    auto rec = AviRecorder::create(mjpeg(path), error);
    ASSERT_TRUE(rec);
    for (int slot = 0; slot < 5; ++slot)
        ASSERT_TRUE(rec->writeVideo(picture(slot * 40), slot, error));
    {
        const FileSizeLimit full(rlim_t(QFile(path).size()) + 100);
        EXPECT_FALSE(rec->writeVideo(picture(10), 5, error));
        EXPECT_FALSE(rec->writeVideo(picture(10), 6, error));
        EXPECT_EQ(error, "Writing the video failed: File too large");
        EXPECT_FALSE(rec->finish(error));
    }
    EXPECT_TRUE(rec->fileKept());
    EXPECT_EQ(headersOf(path).info.dwLength, 5u);
    VideoReader r;
    ASSERT_TRUE(r.open(path)) << r.error().toStdString();
    EXPECT_GE(r.frameCount(), 5);
    EXPECT_FALSE(r.frame(4).isNull());
#endif
}

} // namespace
} // namespace tarvex
