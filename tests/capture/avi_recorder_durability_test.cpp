// What a recording leaves on the disk before it is finished (a crash or a power cut cuts it
// there) and when the disk refuses it.
#include "capture/avi_recorder.h"
#include "capture/ffmpeg_capture_device.h"
#include "media/avi_file.h"
#include "media/video_reader.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
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

    // A kill cuts the file where it stands: no wait for the sync thread.
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
    QThread::msleep(300);   // past a sync: the counts stay those of the chunks
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

class NoCameras : public VideoBackend {
public:
    QList<VideoDeviceInfo> devices() override { return {}; }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo&, const VideoOpenRequest&, QString&) override { return nullptr; }
};

class NoSound : public AudioBackend {
public:
    QList<AudioDeviceInfo> devices() override { return {}; }
};

TEST(AviRecorderDurability, TheStationSaysSoWhenARecordingCouldNotWriteAFrame)
{
#ifndef Q_OS_UNIX
    GTEST_SKIP() << "needs a file size limit";
#else
    QTemporaryDir dir;
    // The disk takes the header of a 320x240 recording and no frame after it.
    QString error;
    qint64 header = 0;
    {
        RecorderSettings s = mjpeg(dir.filePath("probe.avi"));
        s.size = QSize(320, 240);
        auto probe = AviRecorder::create(s, error);
        ASSERT_TRUE(probe);
        header = QFile(s.path).size();
        probe->finish(error);
    }
    FfmpegCaptureOptions o;
    o.rehearsal = true;
    o.videoBackend = std::make_shared<NoCameras>();
    o.audioBackend = std::make_shared<NoSound>();
    o.devicePollMs = 0;
    FfmpegCaptureDevice device(o);
    ASSERT_FALSE(device.open(0));
    ASSERT_FALSE(device.setFormat({0, 0, 0, 0}));   // 320x240
    QSignalSpy warnings(&device, &CaptureDevice::warning);
    QSignalSpy codes(&device, &CaptureDevice::statusCode);
    RecordingSettings rs;
    rs.path = dir.filePath("jump.avi");
    rs.framesPerSecond = 25;
    rs.videoCompressor = int(device.videoCompressors().indexOf(QStringLiteral("MJPEG")));
    {
        const FileSizeLimit full(rlim_t(header) + 100);
        ASSERT_FALSE(device.startRecording(rs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return codes.size() >= 2; }, 10000));
    }
    EXPECT_EQ(codes[1][0].toInt(), CaptureStatusReady);
    EXPECT_FALSE(QFile::exists(rs.path));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0][0].toString(), "No frame could be written to " + QDir::toNativeSeparators(rs.path)
                                             + ", so no file was kept: Writing the video failed: File too large");
#endif
}

} // namespace
} // namespace tarvex
