// The recording path at high rates: packets a camera compresses itself are stored as they
// are (and read back frame-exactly by the station's own reader), and pre-recording puts the
// seconds before Start at the head of the file.
#include "capture/avi_recorder.h"
#include "capture/ffmpeg_capture_component.h"
#include "capture/rehearsal_camera.h"
#include "cli/cli.h"
#include "media/av_handles.h"
#include "media/video_reader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <atomic>
#include <mutex>
#include <set>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/opt.h>
}

namespace tarvex {
namespace {

template <class Pred>
bool waitFor(Pred pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

QImage grey(QSize size, int level)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(qRgb(level, level, level));
    return img;
}

QByteArray jpeg(const QImage& img)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPG", 90);
    return bytes;
}

// The mean of the green channel over the picture.
double meanLevel(const QImage& img)
{
    double sum = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            sum += qGreen(img.pixel(x, y));
    return sum / (img.width() * img.height());
}

QByteArray firstVideoPacket(const QString& path, bool* key)
{
    av::FormatInput in;
    if (av::openInput(in, path.toUtf8().constData()) < 0)
        return {};
    av::Packet p = av::makePacket();
    while (av_read_frame(in.get(), p.get()) >= 0) {
        if (p->size > 0) {
            *key = p->flags & AV_PKT_FLAG_KEY;
            return QByteArray(reinterpret_cast<const char*>(p->data), p->size);
        }
        av_packet_unref(p.get());
    }
    return {};
}

TEST(StreamCopy, MjpegPacketsAreStoredAsTheyCameAndGapsStayEmptyChunks)
{
    QTemporaryDir dir;
    RecorderSettings s;
    s.path = dir.filePath("copy.avi");
    s.size = QSize(64, 48);
    s.framesPerSecond = 60;
    s.stream = CompressedStream{AV_CODEC_ID_MJPEG, QStringLiteral("MJPEG"), QSize(64, 48), {}, 60};
    QString error;
    auto r = AviRecorder::create(s, error);
    ASSERT_TRUE(r) << error.toStdString();
    const QByteArray first = jpeg(grey(s.size, 40));
    ASSERT_TRUE(r->writePacket({first, 0, true}, error));
    ASSERT_TRUE(r->writePacket({jpeg(grey(s.size, 120)), 1, true}, error));
    ASSERT_TRUE(r->writePacket({jpeg(grey(s.size, 200)), 3, true}, error));
    ASSERT_TRUE(r->padVideoTo(4, error));
    // A compressor's picture has no place in a file of the camera's packets.
    EXPECT_FALSE(r->writeVideo(grey(s.size, 10), 5, error));
    ASSERT_TRUE(r->finish(error)) << error.toStdString();

    bool key = false;
    EXPECT_EQ(firstVideoPacket(s.path, &key), first);
    EXPECT_TRUE(key);
    VideoReader reader;
    ASSERT_TRUE(reader.open(s.path)) << reader.error().toStdString();
    // The clip ends with its last picture; the dropped slot 2 shows the picture before it.
    EXPECT_EQ(reader.frameCount(), 4);
    EXPECT_EQ(reader.frameRateValue(), 60.0);
    EXPECT_EQ(reader.width(), 64);
    EXPECT_NEAR(meanLevel(reader.frame(3)), 200, 4);
    EXPECT_NEAR(meanLevel(reader.frame(2)), 120, 4);
    EXPECT_NEAR(meanLevel(reader.frame(0)), 40, 4);
    EXPECT_NEAR(meanLevel(reader.frame(1)), 120, 4);
}

// H.264 as a network camera sends it: groups of pictures, only the first of each a key
// frame, the parameter sets in the stream.
std::vector<VideoPacket> longGopH264(QSize size, int frames, int gop)
{
    std::vector<VideoPacket> out;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        return out;
    av::CodecContext c = av::makeCodecContext(codec);
    c->width = size.width();
    c->height = size.height();
    c->time_base = AVRational{1, 25};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->gop_size = gop;
    c->max_b_frames = 0;
    av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    av_opt_set(c->priv_data, "x264-params", "keyint_min=1:scenecut=0", 0);
    if (avcodec_open2(c.get(), codec, nullptr) < 0)
        return out;
    av::Frame f = av::makeFrame();
    f->format = c->pix_fmt;
    f->width = c->width;
    f->height = c->height;
    av_frame_get_buffer(f.get(), 0);
    av::Packet p = av::makePacket();
    const auto drain = [&] {
        while (avcodec_receive_packet(c.get(), p.get()) >= 0) {
            out.push_back({QByteArray(reinterpret_cast<const char*>(p->data), p->size), long(p->pts),
                           bool(p->flags & AV_PKT_FLAG_KEY)});
            av_packet_unref(p.get());
        }
    };
    for (int k = 0; k < frames; ++k) {
        av_frame_make_writable(f.get());
        const int y = 30 + 15 * k;
        for (int row = 0; row < c->height; ++row)
            memset(f->data[0] + row * f->linesize[0], y, size_t(c->width));
        for (int plane : {1, 2})
            for (int row = 0; row < c->height / 2; ++row)
                memset(f->data[plane] + row * f->linesize[plane], 128, size_t(c->width / 2));
        f->pts = k;
        avcodec_send_frame(c.get(), f.get());
        drain();
    }
    avcodec_send_frame(c.get(), nullptr);
    drain();
    return out;
}

TEST(StreamCopy, LongGroupH264IsStoredAsItCameAndReadBackFrameExactlyInAnyOrder)
{
    const QSize size(64, 48);
    const std::vector<VideoPacket> packets = longGopH264(size, 12, 5);
    if (packets.empty())
        GTEST_SKIP() << "libx264 is not in this build";
    ASSERT_EQ(packets.size(), 12u);
    EXPECT_TRUE(packets[0].keyFrame);
    EXPECT_FALSE(packets[1].keyFrame);
    QTemporaryDir dir;
    RecorderSettings s;
    s.path = dir.filePath("h264.avi");
    s.size = size;
    s.framesPerSecond = 25;
    s.stream = CompressedStream{AV_CODEC_ID_H264, QStringLiteral("H.264"), size, {}, 25};
    QString error;
    auto r = AviRecorder::create(s, error);
    ASSERT_TRUE(r) << error.toStdString();
    for (const VideoPacket& p : packets)
        ASSERT_TRUE(r->writePacket(p, error)) << error.toStdString();
    ASSERT_TRUE(r->finish(error)) << error.toStdString();

    VideoReader reader;
    ASSERT_TRUE(reader.open(s.path)) << reader.error().toStdString();
    EXPECT_EQ(reader.frameCount(), 12);
    EXPECT_FALSE(reader.intraOnly());
    // Limited-range luma 30 + 15 k, as RGB: (Y - 16) * 255 / 219.
    for (int k : {9, 2, 11, 5, 0, 6}) {
        QString why;
        const QImage img = reader.frame(k, &why);
        ASSERT_FALSE(img.isNull()) << k << " " << why.toStdString();
        EXPECT_NEAR(meanLevel(img), (30 + 15 * k - 16) * 255.0 / 219.0, 4) << "frame " << k;
    }
}

TEST(FrameEncoder, PacketsOfTwoEncodersWithTheSameSettingsShareOneFile)
{
    QTemporaryDir dir;
    RecorderSettings s;
    s.path = dir.filePath("mixed.avi");
    s.size = QSize(64, 48);
    s.framesPerSecond = 50;
    s.codec = VideoCodec::Mjpeg;
    QString error;
    auto early = FrameEncoder::create(s, error);
    ASSERT_TRUE(early) << error.toStdString();
    RecorderSettings other = s;
    other.quality = 40;
    EXPECT_FALSE(early->sameOutput(other));
    other = s;
    other.path = dir.filePath("elsewhere.avi");
    EXPECT_TRUE(early->sameOutput(other));
    // A picture of another size is scaled to the recording's.
    const std::optional<VideoPacket> held = early->encode(grey(QSize(32, 24), 60), 0, error);
    ASSERT_TRUE(held) << error.toStdString();
    EXPECT_EQ(held->slot, 0);

    auto r = AviRecorder::create(s, error);
    ASSERT_TRUE(r) << error.toStdString();
    ASSERT_TRUE(r->writePacket(*held, error));
    QImage orange(s.size, QImage::Format_RGB32);
    orange.fill(qRgb(200, 120, 40));
    ASSERT_TRUE(r->writeVideo(orange, 1, error));
    ASSERT_TRUE(r->finish(error));
    VideoReader reader;
    ASSERT_TRUE(reader.open(s.path));
    EXPECT_EQ(reader.width(), 64);
    EXPECT_NEAR(meanLevel(reader.frame(0)), 60, 4);
    // The colour survives the compressor's own conversion.
    const QRgb back = reader.frame(1).pixel(32, 24);
    EXPECT_NEAR(qRed(back), 200, 6);
    EXPECT_NEAR(qGreen(back), 120, 6);
    EXPECT_NEAR(qBlue(back), 40, 6);
}

// A USB camera opened in MJPEG: every picture is a JPEG packet, no picture is decoded.
class JpegCamera : public FrameSource {
public:
    explicit JpegCamera(std::shared_ptr<std::set<QByteArray>> sent) : sent_(std::move(sent)) {}
    std::optional<CompressedStream> compressedStream() const override
    {
        return CompressedStream{AV_CODEC_ID_MJPEG, QStringLiteral("MJPEG"), QSize(160, 120), {}, 25};
    }
    std::optional<Frame> next() override
    {
        for (int waited = 0; waited < 40 && !stop_; waited += 10)
            QThread::msleep(10);
        if (stop_)
            return std::nullopt;
        Frame f;
        f.time = CaptureClock::now();
        f.packet = jpeg(grey(QSize(160, 120), 20 + (n_++ * 7) % 200));
        f.keyFrame = true;
        std::lock_guard lock(m_);
        sent_->insert(f.packet);
        return f;
    }
    void interrupt() override { stop_ = true; }
    QString error() const override { return {}; }
    static std::mutex m_;

private:
    std::shared_ptr<std::set<QByteArray>> sent_;
    std::atomic<bool> stop_{false};
    int n_ = 0;
};
std::mutex JpegCamera::m_;

class JpegBackend : public VideoBackend {
public:
    std::shared_ptr<std::set<QByteArray>> sent = std::make_shared<std::set<QByteArray>>();
    QList<VideoDeviceInfo> devices() override
    {
        VideoDeviceInfo d;
        d.name = QStringLiteral("USB camera");
        d.id = QStringLiteral("/dev/video7");
        d.formats = {VideoFormatInfo{QStringLiteral("MJPG"), QStringLiteral("mjpeg"), {QSize(160, 120)}, {25}}};
        return {d};
    }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo&, const VideoOpenRequest&, QString&) override
    {
        return std::make_unique<JpegCamera>(sent);
    }
};

class NoSound : public AudioBackend {
public:
    QList<AudioDeviceInfo> devices() override { return {}; }
};

TEST(FfmpegCaptureDevice, ACameraThatSendsJpegIsStoredPacketForPacketAndOnlyThePreviewDecodes)
{
    QTemporaryDir dir;
    auto backend = std::make_shared<JpegBackend>();
    FfmpegCaptureOptions o;
    o.videoBackend = backend;
    o.audioBackend = std::make_shared<NoSound>();
    o.devicePollMs = 0;
    FfmpegCaptureComponent c(o);
    ASSERT_FALSE(c.connectDevice(0));
    QList<QImage> previews;
    QObject::connect(&c, &CaptureComponent::previewFrame, [&](const QImage& img) { previews << img; });
    ASSERT_FALSE(c.setPreview(true));
    ASSERT_TRUE(waitFor([&] { return !previews.isEmpty(); }, 10000));
    EXPECT_EQ(previews.first().size(), QSize(160, 120));

    const QString file = dir.filePath("usb.avi");
    ASSERT_FALSE(c.setCaptureFileName(file));
    ASSERT_FALSE(c.setFrameRate(25));
    ASSERT_FALSE(c.setTimeLimit(1));
    ASSERT_FALSE(c.setVideoCompressor(-1));   // chosen, yet the camera's own packets are stored
    QSignalSpy codes(&c, &CaptureComponent::statusCode);
    ASSERT_FALSE(c.startCapture());
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 20000));
    EXPECT_EQ(c.statistics().framesCaptured, 25);

    bool key = false;
    const QByteArray stored = firstVideoPacket(file, &key);
    std::lock_guard lock(JpegCamera::m_);
    EXPECT_EQ(backend->sent->count(stored), 1u);
    VideoReader reader;
    ASSERT_TRUE(reader.open(file));
    EXPECT_EQ(reader.frameCount(), 25);
}

// A network camera's H.264: a key frame every 10 pictures at 25 fps, sent for ever.
class GopCamera : public FrameSource {
public:
    explicit GopCamera(std::vector<VideoPacket> packets) : packets_(std::move(packets)) {}
    std::optional<CompressedStream> compressedStream() const override
    {
        return CompressedStream{AV_CODEC_ID_H264, QStringLiteral("H.264"), QSize(64, 48), {}, 25};
    }
    std::optional<Frame> next() override
    {
        // A camera's own clock: a picture every 40 ms, however late the caller wakes.
        due_ = n_ == 0 ? CaptureClock::now() : due_ + std::chrono::milliseconds(40);
        while (CaptureClock::now() < due_ && !stop_)
            QThread::msleep(5);
        if (stop_)
            return std::nullopt;
        const VideoPacket& p = packets_[n_++ % packets_.size()];
        Frame f;
        f.time = due_;
        f.packet = p.data;
        f.keyFrame = p.keyFrame;
        return f;
    }
    void interrupt() override { stop_ = true; }
    QString error() const override { return {}; }

private:
    std::vector<VideoPacket> packets_;
    std::atomic<bool> stop_{false};
    std::size_t n_ = 0;
    CaptureClock::time_point due_;
};

class GopBackend : public VideoBackend {
public:
    std::vector<VideoPacket> packets;
    QList<VideoDeviceInfo> devices() override
    {
        VideoDeviceInfo d;
        d.name = QStringLiteral("North tower");
        d.id = QStringLiteral("rtsp://127.0.0.1/north");
        d.formats = {VideoFormatInfo{QStringLiteral("H.264"), {}, {QSize(64, 48)}, {25}}};
        return {d};
    }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo&, const VideoOpenRequest&, QString&) override
    {
        return std::make_unique<GopCamera>(packets);
    }
};

// A long-group camera on the component, connected, recording to north.avi.
class LongGroupCamera : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto backend = std::make_shared<GopBackend>();
        backend->packets = longGopH264(QSize(64, 48), 100, 10);
        if (backend->packets.empty())
            GTEST_SKIP() << "libx264 is not in this build";
        FfmpegCaptureOptions o;
        o.videoBackend = backend;
        o.audioBackend = std::make_shared<NoSound>();
        o.devicePollMs = 0;
        component = std::make_unique<FfmpegCaptureComponent>(o);
        ASSERT_FALSE(component->connectDevice(0));
        file = dir.filePath("north.avi");
        ASSERT_FALSE(component->setCaptureFileName(file));
    }
    QTemporaryDir dir;
    QString file;
    std::unique_ptr<FfmpegCaptureComponent> component;
};

TEST_F(LongGroupCamera, HeldBeforeStartBeginsTheFileWithAKeyFrame)
{
    FfmpegCaptureComponent& c = *component;
    ASSERT_FALSE(c.setFrameRate(25));
    ASSERT_FALSE(c.setTimeLimit(1));
    ASSERT_FALSE(c.setPreRecording(2));
    QTest::qWait(3000);
    QSignalSpy codes(&c, &CaptureComponent::statusCode);
    ASSERT_FALSE(c.startCapture());
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 20000));
    // At least the 2 s asked for, reaching back to the key frame before them (at most 9 more).
    const long frames = c.statistics().framesCaptured;
    EXPECT_GE(frames, 75);
    EXPECT_LE(frames, 84);
    bool key = false;
    EXPECT_FALSE(firstVideoPacket(file, &key).isEmpty());
    EXPECT_TRUE(key);
    VideoReader reader;
    ASSERT_TRUE(reader.open(file));
    QString why;
    EXPECT_FALSE(reader.frame(0, &why).isNull()) << why.toStdString();
}

// Without pre-recording too: a long-group camera's file begins at the last key frame before
// Start, not at the next one after it, and no slot before that key frame is an empty chunk.
// It runs at the camera's rate whatever the recording asked: no packet can be left out.
TEST_F(LongGroupCamera, WithoutPreRecordingStillBeginsAtTheKeyFrameBeforeStart)
{
    FfmpegCaptureComponent& c = *component;
    ASSERT_FALSE(c.setFrameRate(10));   // the camera sends 25: its packets are all kept
    ASSERT_FALSE(c.setTimeLimit(1));
    ASSERT_FALSE(c.setPreview(true));
    QTest::qWait(1000);
    QSignalSpy codes(&c, &CaptureComponent::statusCode);
    ASSERT_FALSE(c.startCapture());
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 20000));
    // The second asked for and at most the 9 pictures since the key frame before it.
    const CaptureStatistics st = c.statistics();
    EXPECT_GE(st.framesCaptured, 25);
    EXPECT_LE(st.framesCaptured, 34);
    EXPECT_EQ(st.framesDropped, 0);
    bool key = false;
    EXPECT_FALSE(firstVideoPacket(file, &key).isEmpty());
    EXPECT_TRUE(key);
    VideoReader reader;
    ASSERT_TRUE(reader.open(file));
    EXPECT_EQ(reader.frameRateValue(), 25.0);
}

FfmpegCaptureOptions rehearsal()
{
    FfmpegCaptureOptions o;
    o.rehearsal = true;
    o.videoBackend = std::make_shared<JpegBackend>();
    o.audioBackend = std::make_shared<NoSound>();
    o.devicePollMs = 0;
    return o;
}

int rehearsalIndex(const CaptureComponent& c)
{
    for (int i = 0; i < c.videoDeviceCount(); ++i)
        if (c.videoDeviceName(i) == kRehearsalCameraName)
            return i;
    return -1;
}

TEST(PreRecording, AStartAfterTheLandingStillYieldsAFileHoldingIt)
{
    QTemporaryDir dir;
    FfmpegCaptureComponent c(rehearsal());
    ASSERT_FALSE(c.connectDevice(rehearsalIndex(c)));
    for (int i = 0; i < c.resolutionCount(); ++i)
        if (c.resolutionName(i) == QLatin1String("320x240"))
            ASSERT_FALSE(c.setResolution(i));
    const QString file = dir.filePath("late.avi");
    ASSERT_FALSE(c.setCaptureFileName(file));
    ASSERT_FALSE(c.setFrameRate(25));
    ASSERT_FALSE(c.setTimeLimit(1));
    ASSERT_FALSE(c.setPreRecording(2));
    EXPECT_EQ(c.preRecording(), 2);
    // The jump plays from when the camera starts holding pictures: contact after 1 s. Start
    // comes 1.5 s after it.
    QTest::qWait(2500);
    QSignalSpy codes(&c, &CaptureComponent::statusCode);
    ASSERT_FALSE(c.startCapture());
    EXPECT_EQ(c.setPreRecording(3)->number, CaptureError::Busy);
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 20000));
    // 2 s held, then the 1 s of the time limit.
    EXPECT_EQ(c.statistics().framesCaptured, 75);
    EXPECT_EQ(c.statistics().elapsedMs, 3000);

    QFile truthFile(dir.filePath("late.truth.json"));
    ASSERT_TRUE(truthFile.open(QIODevice::ReadOnly));
    const int contact = QJsonDocument::fromJson(truthFile.readAll()).object()["contactFrame"].toInt();
    EXPECT_GT(contact, 0);
    EXPECT_LT(contact, 50);   // among the held pictures
    // The file's pictures are the jump's: 5 frames after the contact the splash is as the
    // renderer draws frame 30 of the jump (contact at frame 25), not the quiet lake.
    VideoReader reader;
    ASSERT_TRUE(reader.open(file));
    EXPECT_EQ(reader.frameCount(), 75);
    const QImage got = reader.frame(contact + 5);
    RehearsalRenderer renderer(QSize(320, 240), RehearsalScript{});
    const auto differs = [&](const QImage& want) {
        double sum = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                sum += std::abs(qRed(got.pixel(x, y)) - qRed(want.pixel(x, y)));
        return sum / (320 * 240);
    };
    EXPECT_LT(differs(renderer.render(30, 25)), differs(renderer.render(-1, 25)));
    EXPECT_LT(differs(renderer.render(30, 25)), differs(renderer.render(45, 25)));
}

TEST(PreRecording, OffByDefaultAndRefusedOutsideTwoToTenSeconds)
{
    FfmpegCaptureComponent c(rehearsal());
    EXPECT_EQ(c.preRecording(), 0);
    EXPECT_EQ(c.setPreRecording(11)->number, CaptureError::Unsupported);
    EXPECT_EQ(c.setPreRecording(-1)->number, CaptureError::Unsupported);
    EXPECT_EQ(c.preRecording(), 0);
    // Without a camera the choice is kept for when one is connected.
    EXPECT_FALSE(c.setPreRecording(4));
    EXPECT_EQ(c.preRecording(), 4);
    EXPECT_FALSE(c.setPreRecording(0));
}

TEST(CliRecord, PreSecondsOutsideTwoToTenIsBadUsage)
{
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    EXPECT_EQ(runCli({QStringLiteral("record"), QStringLiteral("x.avi"), QStringLiteral("--pre-seconds"), QStringLiteral("1")}, out, err),
              kCliUsage);
    err.flush();
    EXPECT_TRUE(errText.contains(QStringLiteral("--pre-seconds must be a whole number from 2 to 10")));
}

} // namespace
} // namespace tarvex
